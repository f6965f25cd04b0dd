// Figures of speed and memory for the README; each is printed beside its goal.
//   MachineBenchmark            all figures
//   MachineBenchmark --startup  (internal) one start-up measured by a child process
#include "benchmarks/Figures.h"
#include "benchmarks/ProtocolLines.h"
#include "sessions/Session.h"
#include "slotmachine/Machine.h"
#include "slotmachine/Protocol.h"
#include "window/Application.h"
#include "window/FormMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

using namespace sm;

namespace {

// Plays one whole game through the machine's inputs: three tokens, a win of one token, its
// pay-out. A window that shows the machine follows every input.
void PlayGame(TMachine& M) {
    for (int Token = 0; Token < 3; ++Token)
        M.Image1Click();
    M.iPlayClick();
    M.iPlayClick();
    M.SetFrameIndex(1, 54); // 9 1 2: one token
    M.TimerB1Timer();
    M.SetFrameIndex(2, 60);
    M.TimerB2Timer();
    M.SetFrameIndex(3, 7);
    M.TimerB3Timer();
    while (M.Interval(JackTimer) != 0)
        M.JackTimerTimer();
}

// Waits until the widget has been painted, handling events the way the loop does.
void WaitForPaint(QWidget* Widget) {
    struct TFilter : QObject {
        bool Painted = false;
        bool eventFilter(QObject*, QEvent* Event) override {
            Painted |= Event->type() == QEvent::Paint;
            return false;
        }
    } Filter;
    Widget->installEventFilter(&Filter);
    for (int Round = 0; Round < 1000 && !Filter.Painted; ++Round)
        QCoreApplication::processEvents();
    Widget->removeEventFilter(&Filter);
}

void Responsiveness() {
    double Empty = 0;
    for (const int Lines : {0, 100000, 300000}) {
        TSlotMachine M;
        M.show();
        (void)QTest::qWaitForWindowExposed(&M);
        AppendTransitions(*M.Log, Lines);
        QCoreApplication::processEvents();
        std::vector<double> Times;
        const QPoint Play = M.iPlay->mapTo(&M, QPoint(32, 16));
        for (int Round = 0; Round < 40; ++Round) {
            M.Image1Click();
            WaitForPaint(M.Log->viewport());
            const double Start = MonotonicMs();
            QTest::mouseClick(M.windowHandle(), Qt::LeftButton, {}, Play);
            WaitForPaint(M.Log->viewport());
            Times.push_back(MonotonicMs() - Start);
            PlayGame(M.Machine()); // back to Waiting, untimed
        }
        const double Time = Median(Times);
        if (Lines == 0)
            Empty = Time;
        const QByteArray What =
            QStringLiteral("play in Accepting, click to painted, %1 lines (median)")
                .arg(Lines)
                .toUtf8();
        Report(What.constData(), Time, "ms", "<= 16 ms", Time <= 16);
        if (Lines == 300000)
            Report("  300,000 lines against an empty panel", Time / Empty, "x", "<= 1.5 x",
                   Time / Empty <= 1.5);
    }
}

void Spinning() {
    TSlotMachine M;
    M.show();
    (void)QTest::qWaitForWindowExposed(&M);
    // Frames shown: each change of the first barrel's picture.
    int Shown = 0;
    int Last = M.Barrel2->FrameIndex();
    QObject::connect(&M.Clock(), &TMachineClock::Moved, [&] {
        if (M.Barrel2->FrameIndex() != Last)
            ++Shown;
        Last = M.Barrel2->FrameIndex();
    });
    M.Image1Click();
    M.iPlayClick();
    const int64_t Machine = M.Clock().Now();
    const double Cpu = CpuMs();
    const double Start = MonotonicMs();
    QEventLoop Loop;
    QTimer::singleShot(3000, &Loop, &QEventLoop::quit);
    Loop.exec();
    M.Clock().CatchUp();
    const double Wall = MonotonicMs() - Start;
    const double Load = 100 * (CpuMs() - Cpu) / Wall;
    const double Pace = 100 * double(M.Clock().Now() - Machine) / Wall;
    Report("machine time against the wall clock over 3 s", Pace, "%", ">= 99 %", Pace >= 99);
    const double Frames = Shown * 1000 / Wall;
    Report("pictures of a spinning barrel shown a second", Frames, "/s", ">= 50 /s", Frames >= 50);
    Report("CPU while the three barrels spin", Load, "%", "<= 8 % of a core", Load <= 8);
}

void ProtocolMemory() {
    // One stamp shared by every message, as a second's messages share theirs.
    const QString Now = Stamp(QLocale(), QDateTime::currentDateTime());
    const auto Measure = [&Now](TLineSink& Sink) {
        // Real messages: a whole game's protocol.
        TMemorySink Scratch;
        TProtocolWriter Writer(Scratch, [Shared = &Now] { return *Shared; });
        TMachine M;
        M.SetSink(&Writer);
        PlayGame(M);
        const QStringList Game = Scratch.Lines;
        const double Before = RssKb();
        const qsizetype Messages = 100000;
        for (qsizetype Line = 0; Line < Messages * 3; ++Line) {
            const QString& Text = Game[Line % Game.size()];
            Sink.AppendLine(Line % 3 == 0 ? Now : QString(Text));
        }
        return (RssKb() - Before) * 1024 / Messages;
    };
    {
        TSlotMachine M;
        M.show();
        const double Bytes = Measure(*M.Log);
        Report("protocol memory per message, 100,000 messages", Bytes, "B", "<= 1536 B",
               Bytes <= 1536);
    }
    struct TPlain : TLineSink {
        QPlainTextEdit Edit;
        TPlain() {
            Edit.setReadOnly(true);
            Edit.setUndoRedoEnabled(false);
            Edit.resize(353, 289);
            Edit.show();
        }
        void AppendLine(const QString& Line) override { Edit.appendPlainText(Line); }
    } Plain;
    const double PlainBytes = Measure(Plain);
    Report("  the same into a plain QPlainTextEdit, for comparison", PlainBytes, "B", "-", true);
}

// The median time of a whole game with its protocol in memory, stamped as the window stamps it.
double GameTime(TMachine& M) {
    TMemorySink Sink;
    const TVirtualTime Time;
    TVirtualStamp Stamp(QDateTime::currentDateTime(), QLocale(), Time);
    TProtocolWriter Writer(Sink, [&Stamp] { return Stamp.Now(); });
    M.SetSink(&Writer);
    std::vector<double> Times;
    for (int Round = 0; Round < 2000; ++Round) {
        Sink.Lines.clear();
        const double Start = MonotonicMs();
        PlayGame(M);
        Times.push_back((MonotonicMs() - Start) * 1000);
    }
    M.SetSink(nullptr);
    return Median(Times);
}

void WholeGame() {
    TMachine Headless;
    const double Time = GameTime(Headless);
    Report("a whole game in the headless machine, protocol in memory", Time, "us", "<= 50 us",
           Time <= 50);
    TSlotMachine Window;
    const double Shown = GameTime(Window.Machine());
    Report("  the same shown by a window", Shown, "us", "<= 50 us", Shown <= 50);
}

void StartUp(const char* Program) {
    std::vector<double> Times;
    std::vector<double> Rss;
    for (int Run = 0; Run < 5; ++Run) {
        QProcess Child;
        Child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const double Start = MonotonicMs();
        Child.start(QString::fromLocal8Bit(Program),
                    {QStringLiteral("--startup"), QString::number(Start, 'f', 3)});
        Child.waitForFinished(30000);
        const QList<QByteArray> Figures = Child.readAllStandardOutput().trimmed().split(' ');
        if (Figures.size() != 2)
            continue;
        Times.push_back(Figures[0].toDouble());
        Rss.push_back(Figures[1].toDouble() / 1024);
    }
    if (Times.empty())
        return;
    Report("start-up: process start to the window shown (median)", Median(Times), "ms", "<= 200 ms",
           Median(Times) <= 200);
    Report("  RSS with the window shown", Median(Rss), "MB", "<= 40 MB", Median(Rss) <= 40);
}

} // namespace

int main(int Argc, char** Argv) {
    if (Argc == 3 && QByteArray(Argv[1]) == "--startup") {
        // As the program's own entry does, up to the window shown.
        TApplication Application(Argc, Argv);
        TSlotMachine Window;
        Window.show();
        (void)QTest::qWaitForWindowExposed(&Window);
        WaitForPaint(&Window);
        std::printf("%.3f %.0f\n", MonotonicMs() - std::atof(Argv[2]), RssKb());
        return 0;
    }
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    WholeGame();
    Responsiveness();
    Spinning();
    ProtocolMemory();
    StartUp(Argv[0]);
    return 0;
}
