#include "window/Recovery.h"

#include "sessions/Files.h"
#include "sessions/Quoted.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"
#include "window/SessionReading.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace sm {

TSaveAnswer AskToSave(QWidget* Parent, const QString& Title, const QString& Text) {
    QMessageBox Box(QMessageBox::Question, Title, Text, QMessageBox::NoButton, Parent);
    QPushButton* Save = Box.addButton(QStringLiteral("Сохранить"), QMessageBox::AcceptRole);
    QPushButton* Discard =
        Box.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
    QPushButton* Cancel = Box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    Box.setDefaultButton(Save);
    Box.setEscapeButton(Cancel);
    Box.exec();
    if (Box.clickedButton() == Save)
        return TSaveAnswer::Save;
    if (Box.clickedButton() == Discard)
        return TSaveAnswer::Discard;
    return TSaveAnswer::Cancel;
}

TRecovery::TRecovery(TSlotMachine& Window) : FWindow(Window) {
    FTimer.setInterval(FlushMs);
    connect(&FTimer, &QTimer::timeout, this, &TRecovery::Flush);
    FTimer.start();
    // A pause is where a user steps away: what it shows is kept at once.
    connect(&Window.Clock(), &TMachineClock::Moved, this, [this] {
        if (FWindow.Clock().Paused())
            Flush();
    });
}

// Only a crash or a kill leaves the file: a window torn down in order (after its close, or one
// that a test or a benchmark made) keeps nothing in the user's state folder.
TRecovery::~TRecovery() {
    if (FFile)
        FFile->Remove();
}

void TRecovery::Begin() {
    if (FFile)
        FFile->Begin();
    FTicked = false;
}

void TRecovery::Flush() {
    const TSessionRecorder& Recorder = FWindow.Recorder();
    // Nothing to keep before the first move; an idle clock changes nothing worth a write.
    const bool Ticking = FWindow.Clock().Ticking();
    if (!Recorder.Recorded())
        return;
    if (FFile && FFile->Written() == Recorder.Lines().size() && !Ticking && !FTicked &&
        !FWindow.Clock().Paused())
        return;
    if (!FFile) {
        QString Problem;
        FFile = std::make_unique<TRecoveryFile>(Problem);
        if (!Problem.isEmpty() && !std::exchange(FReported, true))
            TErrorBox::Instance().Report(Problem);
    }
    if (!FFile->IsOpen())
        return;
    FTicked = Ticking;
    if (QString Problem = FFile->Flush(Recorder, FWindow.Clock().Now());
        !Problem.isEmpty() && !std::exchange(FReported, true))
        TErrorBox::Instance().Report(Problem);
}

bool TRecovery::MayClose() {
    if (FWindow.Recorder().Recorded()) {
        Flush();
        switch (AskToSave(&FWindow, QStringLiteral("SlotMachine"),
                          QStringLiteral("Сохранить сеанс?"))) {
        case TSaveAnswer::Save:
            if (!FWindow.ChooseAndSaveSession())
                return false;
            break;
        case TSaveAnswer::Discard:
            break;
        case TSaveAnswer::Cancel:
            return false;
        }
    }
    FTimer.stop();
    if (FFile)
        FFile->Remove();
    return true;
}

QString TRecovery::Path() const {
    return FFile ? FFile->Path() : QString();
}

namespace {

bool HasMoves(const TScript& Script) {
    for (const TCommand Command : Script.Commands)
        if (Command.Kind == TCommandKind::Player || Command.Kind == TCommandKind::Log)
            return true;
    return false;
}

void Delete(const QString& Path) {
    QFile::remove(Path);
}

} // namespace

void RestoreSession(TSlotMachine& Window, const TScript& Script, const QString& Name) {
    TMachineClock& Clock = Window.Clock();
    Window.PlayScript(Script, Name);
    Clock.SetPaused(true);
    Clock.RunToEnd();
}

void OfferLeftSession(TSlotMachine& Window) {
    const QStringList Left = LeftRecoveryFiles();
    if (Left.isEmpty())
        return;
    const QString& Path = Left.first();
    QFile File(Path);
    if (File.open(QIODevice::ReadOnly) && File.size() == 0) {
        Delete(Path); // made, and killed before its first write
        return;
    }
    File.close();
    QString Problem;
    const std::optional<TScript> Script = ReadSessionShowingProgress(&Window, Path, Problem);
    if (!Script && Problem.isEmpty())
        return; // cancelled: offered again at the next start
    if (!Script) {
        QString Moved = SetAside(Path, Problem);
        TErrorBox::Instance().Report(
            Moved.isEmpty()
                ? Problem
                : QStringLiteral("Сеанс, оставшийся от прошлого запуска, не восстановить: %1\n\n"
                                 "Файл отложен: %2")
                      .arg(Problem, Escaped(Moved)));
        return;
    }
    if (!HasMoves(*Script)) {
        Delete(Path);
        return;
    }
    QMessageBox Box(QMessageBox::Question, QStringLiteral("SlotMachine"),
                    QStringLiteral("Прошлый сеанс закончился без сохранения: окно закрылось "
                                   "аварийно.\n\nВосстановить его?"),
                    QMessageBox::NoButton, &Window);
    QPushButton* Restore = Box.addButton(QStringLiteral("Восстановить"), QMessageBox::AcceptRole);
    QPushButton* Save = Box.addButton(QStringLiteral("Сохранить в файл…"), QMessageBox::ActionRole);
    QPushButton* Discard = Box.addButton(QStringLiteral("Удалить"), QMessageBox::DestructiveRole);
    Box.setDefaultButton(Restore);
    Box.exec();
    // Closed without an answer, it is offered again at the next start.
    if (Box.clickedButton() == Restore) {
        RestoreSession(Window, *Script, Path);
        Delete(Path);
    } else if (Box.clickedButton() == Save) {
        const QString To = QFileDialog::getSaveFileName(
            &Window, QStringLiteral("Сохранить сеанс"), QStringLiteral("сеанс.session"),
            QStringLiteral("Сеансы (*.session);;Все файлы (*)"));
        if (To.isEmpty())
            return;
        QFile Kept(Path);
        if (!Kept.open(QIODevice::ReadOnly))
            return;
        if (QString Failed = WriteFile(To, Kept.readAll()); !Failed.isEmpty()) {
            TErrorBox::Instance().Report(Failed);
            return;
        }
        Delete(Path);
    } else if (Box.clickedButton() == Discard) {
        Delete(Path);
    }
}

} // namespace sm
