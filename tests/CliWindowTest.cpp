#include "cli/Replay.h"
#include "sessions/Script.h"
#include "slotmachine/Rules.h"
#include "window/FormMain.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <sstream>

using namespace sm;

namespace {

// Drives the window as a user and the wall clock would: clicks on its controls, ticks in its
// check lists, and the wall clock moved on under the window's clock, which catches up as at a
// screen frame. The event loop never runs, so nothing else moves the machine in between.
class TWindowDriver {
public:
    explicit TWindowDriver(TSlotMachine& Window) : FWindow(Window) {
        Window.Clock().SetWallClock([this] { return FWall; });
    }

    // A click on the control, as the player makes it where the window shows it.
    QString Click(TPlayerAction Action) {
        TSlotMachine& W = FWindow;
        switch (Action) {
        case TPlayerAction::Coin: {
            int Top = TSlotMachine::TokenImages;
            while (Top > 0 && W.Image(Top)->isHidden())
                --Top;
            if (Top == 0)
                return QStringLiteral("no coin shown");
            emit W.Image(Top)->Click(W.Image(Top));
            break;
        }
        case TPlayerAction::Bad:
            if (W.iBadCoin->isHidden())
                return QStringLiteral("no counterfeit token shown");
            emit W.iBadCoin->Click(W.iBadCoin);
            break;
        case TPlayerAction::Play:
            emit W.iPlay->Click(W.iPlay);
            break;
        case TPlayerAction::Return:
            emit W.iReturn->Click(W.iReturn);
            break;
        case TPlayerAction::Reset:
            W.btnTechReset->click();
            break;
        }
        return {};
    }

    // An empty string, or why the window could not take the command.
    QString Run(const TCommand& Command) {
        TSlotMachine& W = FWindow;
        switch (Command.Kind) {
        case TCommandKind::Player:
            if (QString Refused = Click(Command.Action); !Refused.isEmpty())
                return Refused;
            break;
        case TCommandKind::Log: {
            TCheckList* List = std::array{W.cbA0LogSettings, W.cbA1LogSettings,
                                          W.cbA2LogSettings}[size_t(Command.Automaton)];
            if (List->Checked(Command.Item) != Command.On) {
                List->SetChecked(Command.Item, Command.On); // a user's toggle, then its handler
                emit List->ClickCheck(List);
            }
            break;
        }
        case TCommandKind::Wait:
            Pass(Command.Milliseconds);
            break;
        case TCommandKind::Settle:
            if (Running({TimerSync1, TimerSync2, TimerSync3}) &&
                !Running({TimerB1, TimerB2, TimerB3}))
                return QStringLiteral("spinning for ever");
            // The wall clock runs on to each stop or pay-out tick in turn.
            while (const auto Next = FWindow.Clock().Time().NextEvent())
                Pass(*FWindow.Clock().Time().Due(*Next) - FWindow.Clock().Now());
            break;
        case TCommandKind::Show:
            break;
        }
        return {};
    }

    // What the widgets show, in the replay's show line.
    QString ShowLine() const {
        const TSlotMachine& W = FWindow;
        return QStringLiteral("=== bank=%1 stake=%2 win=%3 player=%4 slot=%5 barrels=%6,%7,%8 "
                              "A0=%9 A1=%10 A2=%11")
            .arg(W.edBank->text(), W.edStake->text(), W.edJackPot->text(), W.edUser->text(),
                 W.Shape1->BrushStyle() == TBrushStyle::bsSolid ? QStringLiteral("open")
                                                                : QStringLiteral("closed"))
            .arg(SymbolOfFrame(W.Barrel1->FrameIndex()))
            .arg(SymbolOfFrame(W.Barrel2->FrameIndex()))
            .arg(SymbolOfFrame(W.Barrel3->FrameIndex()))
            .arg(W.Machine().State(A0))
            .arg(W.Machine().State(A1))
            .arg(W.Machine().State(A2));
    }

private:
    bool Running(std::initializer_list<TTimerId> Timers) const {
        for (const TTimerId Timer : Timers)
            if (FWindow.Machine().Interval(Timer) != 0)
                return true;
        return false;
    }

    // Wall time passes; the window's clock catches up as at its next screen frame.
    void Pass(int64_t Milliseconds) {
        FWall += Milliseconds;
        FWindow.Clock().CatchUp();
    }

    TSlotMachine& FWindow;
    int64_t FWall = 0;
};

// Stamps read the same way whatever the moment: every run of digits as one '#'.
QStringList Masked(QStringList Lines) {
    static const QRegularExpression Digits(QStringLiteral(R"(\d+)"));
    for (QString& Line : Lines)
        if (Line.endsWith(u':'))
            Line.replace(Digits, QStringLiteral("#"));
    return Lines;
}

} // namespace

class CliWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowWritesWhatReplayWrites_data();
    void windowWritesWhatReplayWrites();
};

void CliWindowTest::initTestCase() {
    // Both stamp in the default locale: the window with the clock, the replay in virtual time.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void CliWindowTest::windowWritesWhatReplayWrites_data() {
    QTest::addColumn<QByteArray>("script");
    const QDir Examples(QStringLiteral(EXAMPLES_DIR));
    const QStringList Sessions = Examples.entryList({QStringLiteral("*.session")}, QDir::Files);
    QVERIFY(Sessions.size() >= 5);
    for (const QString& Name : Sessions) {
        QFile File(Examples.filePath(Name));
        QVERIFY(File.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(Name)) << File.readAll();
    }
    QTest::newRow("refused: the counterfeit token twice") << QByteArray("coin\nbad\nshow\nbad\n");
    QTest::newRow("refused: spinning with no stop") << QByteArray("coin\nplay\nwait 30\nsettle");
    QTest::newRow("presses while spinning and paying")
        << QByteArray("seed 1\ncoin\ncoin\nplay\nreturn\nreset\nwait 3\nplay\nplay\nwait 1234\n"
                      "coin\nshow\nwait 2000\nbad\nplay\nsettle\nshow\nwait 100\nplay\nshow");
}

void CliWindowTest::windowWritesWhatReplayWrites() {
    QFETCH(QByteArray, script);
    const TParsedScript Parsed = ParseScript(script);
    QVERIFY(!Parsed.Error);

    std::ostringstream Out;
    const TReplayOutcome Replayed = Replay(Parsed.Script, {}, Out);
    QStringList Expected = QString::fromStdString(Out.str()).split(u'\n');
    QCOMPARE(Expected.takeLast(), QString()); // every line ends with a line break

    TSlotMachine Window;
    Window.Machine().Seed(Parsed.Script.Seed);
    TWindowDriver Driver(Window);
    QStringList Shown; // the panel's lines with the show lines where they were asked for
    qsizetype Seen = 0;
    int RefusedAt = 0;
    for (const TCommand& Command : Parsed.Script.Commands) {
        if (!Driver.Run(Command).isEmpty()) {
            RefusedAt = Command.Line;
            break;
        }
        for (; Seen < Window.Log->LineCount(); ++Seen)
            Shown << Window.Log->Line(Seen);
        if (Command.Kind == TCommandKind::Show)
            Shown << Driver.ShowLine();
    }
    QCOMPARE(RefusedAt, Replayed.Line);
    QCOMPARE(Masked(Shown), Masked(Expected));
}

QTEST_MAIN(CliWindowTest)
#include "CliWindowTest.moc"
