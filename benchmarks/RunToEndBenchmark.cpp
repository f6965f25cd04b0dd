// Ctrl+F5 on a session of 10,000 games in the window against `slotmachine-cli replay` of it plus
// the time the window takes to paint the end; printed beside its goal. The companion's path is
// the only argument.
#include "benchmarks/Figures.h"
#include "sessions/Files.h"
#include "window/Application.h"
#include "window/FormMain.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sm;

namespace {

// The README's script: a token, «Игра» twice, the stops and the pay-out, a reset.
QByteArray Games(int Count) {
    QByteArray Text = "seed 1\nstart 2026-01-01T09:00:00\n";
    for (int Game = 0; Game < Count; ++Game)
        Text += "coin\nplay\nplay\nsettle\nreset\n";
    return Text;
}

// Milliseconds from Ctrl+F5 to the end painted, with «Автоматы» open or not; Paint is what
// painting the end once more takes on its own.
double WindowRun(const TScript& Script, bool Diagrams, double& Paint) {
    TSlotMachine Window;
    Window.show();
    (void)QTest::qWaitForWindowExposed(&Window);
    if (Diagrams)
        Window.ShowAutomata();
    Window.PlayScript(Script, QStringLiteral("games.session"));
    const double Start = MonotonicMs();
    Window.RunToEnd();
    QCoreApplication::processEvents();
    Window.repaint();
    const double Took = MonotonicMs() - Start;
    const double PaintStart = MonotonicMs();
    Window.repaint();
    Paint = MonotonicMs() - PaintStart;
    return Took;
}

} // namespace

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    QStandardPaths::setTestModeEnabled(true);
    const QTemporaryDir Folder;
    const QString Path = Folder.filePath(QStringLiteral("games.session"));
    if (Argc != 2 || !WriteFile(Path, Games(10'000)).isEmpty())
        return 2;
    const TScript Script = ParseScript(Games(10'000)).Script;
    std::vector<double> Replays;
    std::vector<double> Paints;
    std::vector<double> Runs;
    std::vector<double> WithDiagrams;
    for (int Round = 0; Round < 3; ++Round) {
        QProcess Companion;
        Companion.setStandardOutputFile(QProcess::nullDevice());
        const double Start = MonotonicMs();
        Companion.start(
            QString::fromLocal8Bit(Argv[1]),
            {QStringLiteral("replay"), QStringLiteral("--locale"), QStringLiteral("ru_RU"), Path});
        Companion.waitForFinished(60'000);
        Replays.push_back(MonotonicMs() - Start);
        double Paint = 0;
        Runs.push_back(WindowRun(Script, false, Paint));
        Paints.push_back(Paint);
        WithDiagrams.push_back(WindowRun(Script, true, Paint));
    }
    const double Reference = Median(Replays) + Median(Paints);
    std::printf("%-62s %9.3f ms\n", "slotmachine-cli replay of 10,000 games", Median(Replays));
    std::printf("%-62s %9.3f ms\n", "The window's end painted", Median(Paints));
    std::printf("%-62s %9.3f ms\n", "Ctrl+F5 to the end painted", Median(Runs));
    Report("— against replay + paint", Median(Runs) / Reference, "×", "<= 1",
           Median(Runs) <= Reference);
    std::printf("%-62s %9.3f ms (%.2f ×)\n", "— the same with «Автоматы» open",
                Median(WithDiagrams), Median(WithDiagrams) / Reference);
    return 0;
}
