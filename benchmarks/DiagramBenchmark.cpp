// What the «Автоматы» window costs the machine's window; each figure is printed beside its goal.
#include "benchmarks/Figures.h"
#include "benchmarks/ProtocolLines.h"
#include "sessions/Script.h"
#include "sessions/Session.h"
#include "sessions/StepRecord.h"
#include "window/Application.h"
#include "window/AutomataWindow.h"
#include "window/FormMain.h"
#include "window/SequenceChart.h"
#include "window/StateTimeline.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace sm;

namespace {

void Info(const char* What, double Value, const char* Unit) {
    std::printf("%-62s %9.3f %-4s\n", What, Value, Unit);
    std::fflush(stdout);
}

// The rest of a game after a press of «Игра» in Accepting, back to Waiting: no win.
void FinishGame(TSlotMachine& M) {
    M.iPlayClick();
    for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
        M.Machine().SetFrameIndex(Barrel, 47 + 7 * (Barrel - 1)); // 8 9 1
    // The stops fire at the present moment, as the clock fires them when they fall due.
    M.Clock().Do([](TMachine& Machine) {
        Machine.TimerB1Timer();
        Machine.TimerB2Timer();
        Machine.TimerB3Timer();
    });
}

// When each watched widget has first been painted after Arm(): the paint done, on the given clock.
class TPaintTimes : public QObject {
public:
    TPaintTimes(std::initializer_list<QWidget*> Widgets, const QElapsedTimer& Clock)
        : FWidgets(Widgets), FPainted(Widgets.size(), false), FTimes(Widgets.size(), -1),
          FClock(Clock) {
        for (QWidget* Widget : FWidgets)
            Widget->installEventFilter(this);
    }
    void Arm() {
        std::fill(FPainted.begin(), FPainted.end(), false);
        std::fill(FTimes.begin(), FTimes.end(), -1);
    }
    // Handles events the way the loop does until every widget has been painted.
    void Wait() {
        for (int Round = 0; Round < 100000 && *std::min_element(FTimes.begin(), FTimes.end()) < 0;
             ++Round) {
            QCoreApplication::processEvents();
            for (size_t Index = 0; Index < FWidgets.size(); ++Index)
                if (FPainted[Index] && FTimes[Index] < 0)
                    FTimes[Index] = static_cast<double>(FClock.nsecsElapsed()) / 1e6;
        }
    }
    double Time(size_t Index) const { return FTimes[Index]; }

protected:
    bool eventFilter(QObject* Object, QEvent* Event) override {
        if (Event->type() == QEvent::Paint)
            for (size_t Index = 0; Index < FWidgets.size(); ++Index)
                FPainted[Index] = FPainted[Index] || FWidgets[Index] == Object;
        return false;
    }

private:
    std::vector<QWidget*> FWidgets;
    std::vector<bool> FPainted;
    std::vector<double> FTimes;
    const QElapsedTimer& FClock;
};

// The explorer's one search, made when «Автоматы» is first shown, is not what is measured.
void AwaitExplorer(const TSlotMachine& M) {
    while (!M.AutomataWindow()->ReachableKnown())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void PlayToPainted() {
    constexpr int Lines = 300000;
    for (const bool Open : {false, true}) {
        TSlotMachine M;
        M.show();
        (void)QTest::qWaitForWindowExposed(&M);
        M.activateWindow();
        (void)QTest::qWaitForWindowActive(&M);
        AppendTransitions(*M.Log, Lines);
        if (Open) {
            QElapsedTimer First;
            First.start();
            M.ShowAutomata();
            Info("opening «Автоматы» the first time: Graphviz, three layouts",
                 static_cast<double>(First.nsecsElapsed()) / 1e6, "ms");
            (void)QTest::qWaitForWindowExposed(M.AutomataWindow());
            AwaitExplorer(M);
        }
        QCoreApplication::processEvents();
        const QPoint Play = M.iPlay->mapTo(&M, QPoint(32, 16));
        QElapsedTimer Clock;
        TPaintTimes Log({M.Log->viewport()}, Clock);
        std::unique_ptr<TPaintTimes> Diagram;
        if (Open)
            Diagram = std::make_unique<TPaintTimes>(
                std::initializer_list<QWidget*>{M.AutomataWindow()->View(A2)}, Clock);
        std::vector<double> ToLog;
        std::vector<double> ToAll;
        for (int Round = 0; Round < 40; ++Round) {
            M.Image1Click();
            Log.Arm();
            Log.Wait();
            Log.Arm();
            if (Diagram)
                Diagram->Arm();
            Clock.start();
            QTest::mouseClick(M.windowHandle(), Qt::LeftButton, {}, Play);
            Log.Wait();
            ToLog.push_back(Log.Time(0));
            if (Diagram) {
                Diagram->Wait();
                ToAll.push_back(std::max(Log.Time(0), Diagram->Time(0)));
            }
            FinishGame(M);
        }
        if (Open) {
            Report("play, click to protocol painted, 300,000 lines, «Автоматы» open", Median(ToLog),
                   "ms", "<= 16 ms", Median(ToLog) <= 16);
            Info("  the same, click to the diagrams painted too", Median(ToAll), "ms");
        } else {
            Info("play, click to protocol painted, 300,000 lines, «Автоматы» closed", Median(ToLog),
                 "ms");
        }
    }
}

// CPU over three seconds of spinning, from the press of «Игра» on.
double SpinningLoad(bool Open) {
    TSlotMachine M;
    M.show();
    (void)QTest::qWaitForWindowExposed(&M);
    if (Open) {
        M.ShowAutomata();
        (void)QTest::qWaitForWindowExposed(M.AutomataWindow());
        AwaitExplorer(M);
    }
    QCoreApplication::processEvents();
    M.Image1Click();
    QCoreApplication::processEvents();
    const double Cpu = CpuMs();
    QElapsedTimer Wall;
    Wall.start();
    M.iPlayClick();
    QEventLoop Loop;
    QTimer::singleShot(3000, &Loop, &QEventLoop::quit);
    Loop.exec();
    return 100 * (CpuMs() - Cpu) / static_cast<double>(Wall.elapsed());
}

void Spinning() {
    // Alternated in pairs, so that other load on the machine falls on both alike.
    std::vector<double> Closed;
    std::vector<double> Open;
    std::vector<double> Above;
    for (int Round = 0; Round < 5; ++Round) {
        Closed.push_back(SpinningLoad(false));
        Open.push_back(SpinningLoad(true));
        Above.push_back(Open.back() - Closed.back());
    }
    Info("CPU while the barrels spin, «Автоматы» closed (median of 5)", Median(Closed), "%");
    Info("CPU while the barrels spin, «Автоматы» open (median of 5)", Median(Open), "%");
    Report("  open above closed (median of the 5 pairs)", Median(Above), "pt", "<= 1 point",
           Median(Above) <= 1);
}

// The sequence chart of 100,000 events, scrolled to places all over it, one frame each.
void ChartScrolling() {
    constexpr int Events = 100000;
    const TMachine Machine;
    TSequenceChart Chart(Machine);
    Chart.resize(1000, 300);
    Chart.show();
    (void)QTest::qWaitForWindowExposed(&Chart);
    std::vector<TRecordedStep> Steps;
    for (int Index = 0; Index < Events; ++Index) {
        // Cascades as «Игра» makes them: the player's event, then two sent inside it.
        const int Depth = Index % 3 == 0 ? 0 : 1;
        TRecordedStep Step;
        Step.Moment = int64_t{Index} * 10;
        Step.Automaton = Depth == 0 ? A0 : (Index % 3 == 1 ? A1 : A2);
        Step.Event = Depth == 0 ? e1 : (Index % 3 == 1 ? e12 : e0);
        Step.From = 1;
        Step.To = 2;
        Step.Row = 0;
        Step.Depth = Depth;
        Step.Messages = {"A0: начало обработки события e1 в состоянии 1"};
        Step.Sender.Kind = Depth == 0 ? TStepSender::TKind::Player : TStepSender::TKind::Automaton;
        Step.Sender.Automaton = A0;
        Steps.push_back(std::move(Step));
    }
    QElapsedTimer Fed;
    Fed.start();
    Chart.Append(std::move(Steps));
    Info("the chart takes 100,000 events at once", static_cast<double>(Fed.nsecsElapsed()) / 1e6,
         "ms");
    QScrollBar* Bar = Chart.verticalScrollBar();
    std::vector<double> Frames;
    for (int Place = 0; Place <= 200; ++Place) {
        QElapsedTimer Frame;
        Frame.start();
        Bar->setValue(static_cast<int>(static_cast<qint64>(Bar->maximum()) * Place / 200));
        Chart.viewport()->repaint();
        Frames.push_back(static_cast<double>(Frame.nsecsElapsed()) / 1e6);
    }
    Report("chart of 100,000 events, a scroll to anywhere painted (median of 201)", Median(Frames),
           "ms", "<= 16 ms", Median(Frames) <= 16);
    const double Worst = *std::max_element(Frames.begin(), Frames.end());
    Report("  the slowest of them", Worst, "ms", "<= 16 ms", Worst <= 16);

    // The same steps on the timeline, a state every 10 ms over 1,000 s, scrolled and zoomed.
    const TVirtualTime Time{TMachine()};
    TStateTimeline Timeline(Time);
    Timeline.resize(1000, 300);
    Timeline.show();
    (void)QTest::qWaitForWindowExposed(&Timeline);
    std::vector<TRecordedStep> Changes(static_cast<size_t>(Events));
    for (int Index = 0; Index < Events; ++Index) {
        TRecordedStep& Step = Changes[static_cast<size_t>(Index)];
        Step.Moment = int64_t{Index} * 10;
        Step.Automaton = Index % 3;
        Step.To = (Index / 3) % 4;
    }
    Timeline.Append(Changes);
    Timeline.SetNow(int64_t{Events} * 10);
    std::vector<double> Scrolls;
    for (int Place = 0; Place <= 200; ++Place) {
        QElapsedTimer Frame;
        Frame.start();
        // Every tenth frame zoomed out a step, so that more and more of the session is in view.
        if (Place % 10 == 0)
            Timeline.SetScale(Timeline.Scale() * 0.7);
        QScrollBar* Across = Timeline.horizontalScrollBar();
        Across->setValue(static_cast<int>(static_cast<qint64>(Across->maximum()) * Place / 200));
        Timeline.viewport()->repaint();
        Scrolls.push_back(static_cast<double>(Frame.nsecsElapsed()) / 1e6);
    }
    Report("timeline of 100,000 changes, scrolled and zoomed, a frame (median of 201)",
           Median(Scrolls), "ms", "<= 16 ms", Median(Scrolls) <= 16);
    const double Slowest = *std::max_element(Scrolls.begin(), Scrolls.end());
    Report("  the slowest of them", Slowest, "ms", "<= 16 ms", Slowest <= 16);
}

// What the chart and the timeline keep for 100,000 events of real games, beyond the protocol's
// own: the heap in use with both fed, less the heap before.
void ChartMemory() {
    constexpr size_t Events = 100000;
    TSession Session(TMachine(), 1);
    TStepRecord Record(Session.Time());
    const TParsedScript Game = ParseScript("coin\nplay\nplay\nsettle\nreset\n");
    std::vector<TRecordedStep> Steps;
    while (Steps.size() < Events) {
        for (const TCommand& Command : Game.Script.Commands)
            (void)Session.Run(Command);
        for (TRecordedStep& Step : Record.TakeFinished())
            Steps.push_back(std::move(Step));
    }
    Steps.resize(Events);
    // Large blocks, a long vector's, are mapped apart from the heap and counted apart.
    const auto Heap = [] {
        const struct mallinfo2 Now = mallinfo2();
        return static_cast<double>(Now.uordblks + Now.hblkhd);
    };
    const double Before = Heap();
    auto Chart = std::make_unique<TSequenceChart>(Session.Machine());
    auto Timeline = std::make_unique<TStateTimeline>(Session.Time());
    const double Empty = Heap();
    // As the window feeds them: in the batches of the inputs; the copy stands for the steps the
    // record hands over.
    for (size_t First = 0; First < Events; First += 10) {
        std::vector<TRecordedStep> Batch(Steps.begin() + static_cast<std::ptrdiff_t>(First),
                                         Steps.begin() + static_cast<std::ptrdiff_t>(First + 10));
        Timeline->Append(Batch);
        Chart->Append(std::move(Batch));
    }
    const double Fed = Heap();
    Info("the chart and the timeline, empty", (Empty - Before) / 1e6, "MB");
    Report("the chart and the timeline of 100,000 events, beyond the protocol",
           (Fed - Before) / 1e6, "MB", "<= 30 MB", Fed - Before <= 30e6);
}

} // namespace

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    // «Автоматы» keeps its arrangement in the settings: not the user's.
    QStandardPaths::setTestModeEnabled(true);
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    ChartMemory();
    ChartScrolling();
    PlayToPainted();
    Spinning();
    return 0;
}
