// Costs of the protocol panel next to a plain read-only QPlainTextEdit, from the same run:
// a burst of 27 lines with the repaint it causes, at several lengths, and memory per message.
#include "slotmachine/WindowFont.h"
#include "window/LogPanel.h"

#include "tests/PaintCounter.h"
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <QTest>

#include <malloc.h>

#include <memory>
#include <string>
#include <vector>

using namespace sm;

namespace {

constexpr int MessagesPerBurst = 9;

// Message texts like the automata write: a few dozen, 60 to 150 characters, as UTF-8.
const std::vector<std::string>& Texts() {
    static const std::vector<std::string> Result = [] {
        const char* const Names[] = {"Игровая машина", "Монетоприемник", "Игровые барабаны"};
        const char* const States[] = {"Ожидание",
                                      "Прием жетонов",
                                      "Игра",
                                      "Монетоприёмник пуст",
                                      "Барабаны запущены",
                                      "Второй барабан остановлен"};
        const char* const Events[] = {"Опущен жетон", "Нажата кнопка 'Игра'",
                                      "Сработал таймер первого барабана",
                                      "(от автомата A0) Перевести деньги в банк"};
        std::vector<std::string> Texts;
        for (int A = 0; A < 3; ++A)
            for (int S = 0; S < 6; S += 2)
                for (int E = 0; E < 4; ++E) {
                    std::string Prefix = "Автомат A" + std::to_string(A) + " \"" + Names[A] + "\" ";
                    Texts.push_back(Prefix + "запущен в состоянии " + std::to_string(S) + " \"" +
                                    States[S] + "\" с событием e" + std::to_string(10 + E) + " \"" +
                                    Events[E] + "\"");
                    if (E == 0)
                        Texts.push_back(Prefix + "перешел из состояния " + std::to_string(S) +
                                        " в состояние " + std::to_string(S + 1) + " \"" +
                                        States[S + 1] + "\"");
                }
        return Texts;
    }();
    return Result;
}

// The widget under measurement, fed line by line.
class TSubject {
public:
    virtual ~TSubject() = default;
    virtual QAbstractScrollArea& Widget() = 0;
    virtual void Append(const QString& Line) = 0;
    // Lines already present before the measurement; the fastest way each widget takes them.
    virtual void Fill(const QStringList& Lines) {
        for (const QString& Line : Lines)
            Append(Line);
    }
};

class TPanelSubject final : public TSubject {
public:
    QAbstractScrollArea& Widget() override { return Panel; }
    void Append(const QString& Line) override { Panel.AppendLine(Line); }

private:
    TLogPanel Panel;
};

class TPlainSubject final : public TSubject {
public:
    TPlainSubject() {
        Edit.setReadOnly(true);
        Edit.setUndoRedoEnabled(false);
        Edit.setLineWrapMode(QPlainTextEdit::WidgetWidth);
        Edit.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        Edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Edit.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    QAbstractScrollArea& Widget() override { return Edit; }
    void Append(const QString& Line) override { Edit.appendPlainText(Line); }
    // Line by line this takes minutes for 300,000 lines.
    void Fill(const QStringList& Lines) override { Edit.setPlainText(Lines.join(u'\n')); }

private:
    QPlainTextEdit Edit;
};

// Only collects the lines, to hand them over at once.
class TRecorder final : public TSubject {
public:
    QAbstractScrollArea& Widget() override { Q_UNREACHABLE(); }
    void Append(const QString& Line) override { Lines.append(Line); }
    QStringList Lines;
};

std::unique_ptr<TSubject> MakeSubject(const QString& Kind) {
    std::unique_ptr<TSubject> Subject;
    if (Kind == QLatin1String("panel"))
        Subject = std::make_unique<TPanelSubject>();
    else
        Subject = std::make_unique<TPlainSubject>();
    QFont Font(QString::fromLatin1(WindowFontFamily));
    Font.setPixelSize(WindowFontPixels);
    Subject->Widget().setFont(Font);
    Subject->Widget().resize(353, 289);
    return Subject;
}

// Nine messages within one second, each written as the protocol writer does: the shared stamp,
// the text converted anew from UTF-8, an empty line.
void Burst(TSubject& Subject, int& Second) {
    const QString Stamp = QStringLiteral("09.03.2026 19:%1:%2:")
                              .arg(Second / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(Second % 60, 2, 10, QLatin1Char('0'));
    for (int I = 0; I < MessagesPerBurst; ++I) {
        const std::string& Text = Texts()[(Second * MessagesPerBurst + I) % Texts().size()];
        Subject.Append(Stamp);
        Subject.Append(QString::fromStdString(Text));
        Subject.Append(QString());
    }
    ++Second;
}

qint64 ResidentBytes() {
    QFile Status(QStringLiteral("/proc/self/status"));
    if (!Status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray Line = Status.readLine(); !Line.isEmpty(); Line = Status.readLine())
        if (Line.startsWith("VmRSS:"))
            return Line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

qint64 HeapInUse() {
    return static_cast<qint64>(mallinfo2().uordblks);
}

} // namespace

class LogPanelBenchmark : public QObject {
    Q_OBJECT

private slots:
    // First, while the heap is fresh.
    void memoryPerMessage_data();
    void memoryPerMessage();
    void burstAndPaint_data();
    void burstAndPaint();
};

void LogPanelBenchmark::memoryPerMessage_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("panel") << "panel";
    QTest::newRow("plain") << "plain";
}

void LogPanelBenchmark::memoryPerMessage() {
    QFETCH(QString, kind);
    constexpr int Messages = 100'000;
    auto Subject = MakeSubject(kind);
    Subject->Widget().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Subject->Widget()));
    int Second = 0;
    Burst(*Subject, Second);
    QCoreApplication::sendPostedEvents();
    malloc_trim(0);
    const qint64 ResidentBefore = ResidentBytes();
    const qint64 HeapBefore = HeapInUse();
    int Written = 0;
    for (; Written < Messages; Written += MessagesPerBurst) {
        Burst(*Subject, Second);
        QCoreApplication::sendPostedEvents();
    }
    const double Resident = double(ResidentBytes() - ResidentBefore) / Written;
    const double Heap = double(HeapInUse() - HeapBefore) / Written;
    qInfo().noquote() << QStringLiteral("%1: %2 bytes of RSS, %3 bytes of heap per message (%4 "
                                        "messages)")
                             .arg(kind)
                             .arg(Resident, 0, 'f', 1)
                             .arg(Heap, 0, 'f', 1)
                             .arg(Written);
}

void LogPanelBenchmark::burstAndPaint_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("present");
    for (const char* Kind : {"panel", "plain"})
        for (const int Count : {0, 100'000, 300'000})
            QTest::addRow("%s, %d lines", Kind, Count) << QString::fromLatin1(Kind) << Count;
}

void LogPanelBenchmark::burstAndPaint() {
    QFETCH(QString, kind);
    QFETCH(int, present);
    auto Subject = MakeSubject(kind);
    int Second = 0;
    {
        TRecorder Recorder;
        while (Recorder.Lines.size() < present)
            Burst(Recorder, Second);
        // Filled while hidden, which neither widget needs to lay out.
        Subject->Fill(Recorder.Lines);
    }
    QAbstractScrollArea& Widget = Subject->Widget();
    Widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Widget));
    QCoreApplication::sendPostedEvents();
    QScrollBar* Bar = Widget.verticalScrollBar();
    // QPlainTextEdit shown with many lines stops one short of the end; start both at the end.
    Bar->setValue(Bar->maximum());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Widget.viewport()->height(), 287);

    TPaintCounter Painted(Widget.viewport());
    int Rounds = 0;
    QBENCHMARK {
        Burst(*Subject, Second);
        // The update request the burst posted: one real paint of the shown widget.
        QCoreApplication::sendPostedEvents();
        ++Rounds;
    }
    // Each round really painted, and the view followed the end.
    QCOMPARE(Painted.Paints, Rounds);
    if (kind == QLatin1String("panel"))
        QCOMPARE(Bar->value(), Bar->maximum());
    else if (Bar->value() != Bar->maximum())
        qInfo("QPlainTextEdit stopped following the end: %d of %d", Bar->value(), Bar->maximum());
}

QTEST_MAIN(LogPanelBenchmark)
#include "LogPanelBenchmark.moc"
