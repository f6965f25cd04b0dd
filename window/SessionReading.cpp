#include "window/SessionReading.h"

#include "sessions/Files.h"
#include "sessions/Quoted.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace sm {

namespace {

// A file read faster than this shows no box.
constexpr int MomentMs = 400;
constexpr int Steps = 1000;

} // namespace

std::optional<TScript> ReadSessionShowingProgress(QWidget* Parent, const QString& Path,
                                                  QString& Problem) {
    std::atomic<qint64> Done{0};
    std::atomic<qint64> Size{0};
    std::atomic<bool> Cancelled{false};
    std::optional<TScript> Script;
    QString Reason;
    std::unique_ptr<QThread> Reader(QThread::create([&] {
        Script = ReadSession(Path, Reason, [&](qint64 Read, qint64 Total) {
            Done = Read;
            Size = Total;
            return !Cancelled;
        });
    }));
    QEventLoop Loop;
    QObject::connect(Reader.get(), &QThread::finished, &Loop, &QEventLoop::quit);

    QProgressDialog Progress(
        QStringLiteral("Чтение сеанса %1…").arg(Quoted(QFileInfo(Path).fileName())),
        QStringLiteral("Отмена"), 0, Steps, Parent);
    Progress.setWindowTitle(QStringLiteral("Открыть сеанс"));
    Progress.setWindowModality(Qt::WindowModal);
    Progress.setMinimumDuration(MomentMs);
    Progress.setAutoReset(false);
    Progress.setAutoClose(false);
    QObject::connect(&Progress, &QProgressDialog::canceled, [&Cancelled] { Cancelled = true; });
    QTimer Tick;
    QObject::connect(&Tick, &QTimer::timeout, [&] {
        if (Progress.wasCanceled())
            Cancelled = true;
        const qint64 Total = Size;
        Progress.setValue(Total > 0 ? static_cast<int>(Done * Steps / Total) : 0);
    });
    Tick.start(50);

    QApplication::setOverrideCursor(Qt::BusyCursor);
    Reader->start();
    Loop.exec();
    Reader->wait();
    QApplication::restoreOverrideCursor();
    if (Cancelled)
        return std::nullopt;
    Problem = Reason;
    return Script;
}

} // namespace sm
