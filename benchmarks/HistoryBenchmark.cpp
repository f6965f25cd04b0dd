// Going back in a long session, in the window: a jump to random moments of a session of 100,000
// automaton events, a step back, and the memory the history holds. Each figure beside its goal.
#include "benchmarks/Figures.h"
#include "window/Application.h"
#include "window/FormMain.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

using namespace sm;

namespace {

constexpr int Events = 100'000;

// Games and tokens taken back, on a wall clock the benchmark moves, until the automata have
// received Events events: an hour of lively play.
void PlayLively(TSlotMachine& Window) {
    auto Wall = std::make_shared<int64_t>(0);
    TMachineClock& Clock = Window.Clock();
    Clock.SetWallClock([Wall] { return *Wall; });
    const THistory& History = Window.History().History();
    size_t Counted = 0;
    int64_t Sum = 0;
    const auto Received = [&] {
        for (; Counted < History.Count(); ++Counted)
            Sum += History.Moment(Counted).Events;
        return Sum;
    };
    for (int Round = 0; Received() < Events; ++Round) {
        *Wall += 700;
        if (Round % 2 == 0 && Window.Machine().Displays().edUser >= 1) {
            Window.Image1Click();
            *Wall += 300;
            Window.iPlayClick();
            *Wall += 900;
            Window.iPlayClick();
            *Wall += 30'000; // the stops and the pay-out
            Clock.CatchUp();
        } else {
            if (Window.Machine().Displays().edUser >= 2) {
                Window.Image1Click();
                Window.Image1Click();
            }
            *Wall += 400;
            Window.iReturnClick();
        }
    }
    std::printf("session: %zu moments, %lld events, %lld protocol lines, %lld ms\n",
                History.Count(), static_cast<long long>(Received()),
                static_cast<long long>(Window.Log->LineCount()),
                static_cast<long long>(Clock.Now()));
}

} // namespace

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    TSlotMachine Window;
    Window.show();
    (void)QTest::qWaitForWindowExposed(&Window);
    const double Before = RssKb();
    PlayLively(Window);
    // What the session left for the loop is no part of a jump.
    QCoreApplication::processEvents();
    THistoryControl& History = Window.History();
    const size_t Latest = History.History().Latest();

    QRandomGenerator Random(24);
    std::vector<double> Jumps;
    std::vector<double> Backs;
    for (int Round = 0; Round < 300; ++Round) {
        const size_t Moment = 1 + Random.bounded(quint32(Latest));
        double Start = MonotonicMs();
        History.JumpTo(Moment);
        QCoreApplication::processEvents();
        Jumps.push_back(MonotonicMs() - Start);
        Start = MonotonicMs();
        History.StepBack();
        QCoreApplication::processEvents();
        Backs.push_back(MonotonicMs() - Start);
    }
    const double Median = ::Median(Jumps);
    const double Worst = *std::max_element(Jumps.begin(), Jumps.end());
    Report("jump to a random moment of 100,000 events (median)", Median, "ms", "<= 16 ms",
           Median <= 16);
    Report("  the worst of 300", Worst, "ms", "<= 50 ms", Worst <= 50);
    const double BackMedian = ::Median(Backs);
    const double BackWorst = *std::max_element(Backs.begin(), Backs.end());
    Report("step back (F9) from a random moment (median)", BackMedian, "ms", "<= 16 ms",
           BackMedian <= 16);
    Report("  the worst of 300", BackWorst, "ms", "<= 50 ms", BackWorst <= 50);
    const double Megabytes = double(History.History().Bytes()) / 1e6;
    Report("history's memory beyond the protocol, 100,000 events", Megabytes, "MB", "<= 40 MB",
           Megabytes <= 40);
    std::printf("  (%zu snapshots; the process grew by %.1f MB with the protocol)\n",
                History.History().Snapshots(), (RssKb() - Before) / 1e3);
    // A fork half way: the later half of the moves and of the panel's lines dropped.
    History.JumpTo(Latest / 2);
    History.SetAsk([](size_t) { return true; });
    const double Start = MonotonicMs();
    Window.iReturnClick();
    QCoreApplication::processEvents();
    Report("a fork half way through it, the input taken and shown", MonotonicMs() - Start, "ms",
           "-", true);
    return 0;
}
