#include "sessions/Coverage.h"
#include "sessions/Files.h"
#include "tests/WindowPlayer.h"
#include "window/AutomataWindow.h"
#include "window/BreakpointsDock.h"
#include "window/ClockStrip.h"
#include "window/ErrorBox.h"
#include "window/WatchesDock.h"
#include "window/WindowBreakpoints.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace sm;

namespace {

// Random lines that the window would take, so that the session runs to its end.
QByteArray RandomScript(quint32 Seed, int Length) {
    QRandomGenerator Random(Seed);
    const char* const Words[] = {"coin", "coin",   "coin",  "bad",    "play",
                                 "play", "return", "reset", "settle", "wait 700"};
    TSession Session(TMachine(), Seed);
    QByteArray Script = "seed " + QByteArray::number(Seed) + '\n';
    for (int Line = 0; Line < Length; ++Line) {
        const QByteArray Word = Words[Random.bounded(int(std::size(Words)))];
        if (Session.Run(*ParseScript(Word).Script.Commands.begin()).isEmpty())
            Script += Word + '\n';
    }
    return Script;
}

// Where a script first hits its breakpoints in virtual time, played straight through: the moment
// and the show line once that input is over; none when it never hits.
std::optional<std::pair<int64_t, QString>> FirstHit(const TScript& Script) {
    TSession Session(TMachine(), Script.Seed);
    TBreakpoints Breakpoints(Session.Machine());
    Breakpoints.List() = Script.Breakpoints;
    std::optional<std::pair<int64_t, QString>> Hit;
    Breakpoints.OnHit = [&](const std::vector<size_t>&) {
        if (!Hit)
            Hit = {Session.Time().Now(), Session.ShowLine()};
    };
    for (const TCommand& Command : Script.Commands)
        if (!Session.Run(Command).isEmpty())
            break;
    return Hit;
}

} // namespace

class BreakpointsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void hitPausesAtItsMoment_data();
    void hitPausesAtItsMoment();
    void setFromTheDiagrams_data();
    void setFromTheDiagrams();
    void savedWithTheSession();
    void watchesAreTheMachines();
    void playersSessionPausesAtTheStop();

private:
    TSlotMachine& W() const { return Played->Window; }
    TAutomataWindow* Open() {
        W().ShowAutomata();
        return W().AutomataWindow();
    }
    std::unique_ptr<TPlayedWindow> Played;
};

void BreakpointsWindowTest::init() {
    TAutomataWindow::SetExplorer([] { return TReachable(); });
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QCoreApplication::applicationName(), QCoreApplication::applicationName()).clear();
    TErrorBox::Instance().Presenter = [](const QString& Text) { QFAIL(qPrintable(Text)); };
    Played = std::make_unique<TPlayedWindow>();
}

void BreakpointsWindowTest::cleanup() {
    Played.reset();
}

// A session played in the window brings its breakpoints; the first hit pauses the clock at the
// moment the same script hits in virtual time, with the machine as it then is, and is said.
void BreakpointsWindowTest::hitPausesAtItsMoment_data() {
    QTest::addColumn<QByteArray>("breaks");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QString>("said"); // empty: not checked
    QTest::newRow("a counterfeit token")
        << QByteArray("break A1 state 2\n") << 1u
        << QStringLiteral("Остановка: A1 вошёл в состояние 2 \"Жетон не распознан\"");
    QTest::newRow("a stop, mid-settle") << QByteArray("break A2 row 1 e22\n") << 2u << QString();
    QTest::newRow("a token with a condition")
        << QByteArray("break A1 event e10 if stake >= 2 and A0 = 1\n") << 3u << QString();
    QTest::newRow("a reset") << QByteArray("break A0 event e3\n") << 4u
                             << QStringLiteral("Остановка: A0 получил событие e3 \"Нажата "
                                               "кнопка 'Тех. Сброс'\"");
    QTest::newRow("disabled") << QByteArray("# break A1 state 2\n") << 1u << QString();
}

void BreakpointsWindowTest::hitPausesAtItsMoment() {
    QFETCH(QByteArray, breaks);
    QFETCH(quint32, seed);
    QFETCH(QString, said);
    const TParsedScript Parsed = ParseScript(breaks + RandomScript(seed, 120));
    QVERIFY(!Parsed.Error);
    const auto Expected = FirstHit(Parsed.Script);
    QCOMPARE(Expected.has_value(), !breaks.startsWith('#'));
    TAutomataWindow* Window = Open();
    W().PlayScript(Parsed.Script, QStringLiteral("test"));
    QCOMPARE(W().Breakpoints().List().size(), Parsed.Script.Breakpoints.size());
    for (int Frame = 0; Frame < 1000000 && !W().Clock().Paused() && W().Clock().Playing(); ++Frame)
        Played->Pass(TMachineClock::FrameMs);
    QCoreApplication::processEvents();
    if (!Expected) {
        QVERIFY(!W().Clock().Paused());
        QVERIFY(Window->Strip()->HaltLabel()->isHidden());
        return;
    }
    QVERIFY(W().Clock().Paused());
    QCOMPARE(W().Clock().Now(), Expected->first);
    QCOMPARE(ShowLine(W().Machine()), Expected->second);
    QVERIFY(!Window->Strip()->HaltLabel()->isHidden());
    QVERIFY(Window->Strip()->HaltLabel()->text().startsWith(QStringLiteral("Остановка: ")));
    if (!said.isEmpty())
        QCOMPARE(Window->Strip()->HaltLabel()->text(), said);
    const auto Marks = Window->View(W().Breakpoints().List().front().Automaton)->BreakMarks();
    QVERIFY(std::any_of(Marks.begin(), Marks.end(), [](const auto& Mark) { return Mark.Hit; }));
    // F5 goes on: the mark and the words go (the breakpoint disabled, lest it hit again).
    W().Breakpoints().SetEnabled(0, false);
    W().Clock().SetPaused(false);
    Played->Pass(TMachineClock::FrameMs);
    QVERIFY(Window->Strip()->HaltLabel()->isHidden());
    QVERIFY(!W().Breakpoints().LastHit());
}

// A click picks a state or an arrow, Ctrl+B sets its breakpoint and again clears it; the list
// shows it and the diagram marks it.
void BreakpointsWindowTest::setFromTheDiagrams_data() {
    QTest::addColumn<int>("automaton");
    QTest::addColumn<bool>("row");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("words");
    QTest::newRow("state") << 1 << false << 2 << QStringLiteral("A1 state 2");
    QTest::newRow("row among guarded ones") << 0 << true << 6 << QStringLiteral("A0 row 2 e5 #2");
    QTest::newRow("row") << 2 << true << 1 << QStringLiteral("A2 row 1 e22");
}

void BreakpointsWindowTest::setFromTheDiagrams() {
    QFETCH(int, automaton);
    QFETCH(bool, row);
    QFETCH(int, index);
    QFETCH(QString, words);
    TAutomataWindow* Window = Open();
    QVERIFY(QTest::qWaitForWindowExposed(Window));
    TDiagramView* View = Window->View(automaton);
    const QRectF Box = row ? View->LabelRect(index) : View->NodeRect(index);
    Window->ScrollArea()->ensureVisible(View->x() + int(Box.center().x()),
                                        View->y() + int(Box.center().y()));
    QTest::mouseClick(View, Qt::LeftButton, {}, Box.center().toPoint());
    QVERIFY(View->hasFocus());
    QCOMPARE(View->FocusedTarget(), (TTarget{automaton, row, index}));
    QTest::keyClick(View, Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(W().Breakpoints().List().size(), size_t{1});
    QCOMPARE(W().Breakpoints().List().front().Text, words);
    const auto* Table = Window->BreakpointsDock()->findChild<QTableWidget*>();
    QVERIFY(Table);
    QCOMPARE(Table->rowCount(), 1);
    QCOMPARE(Table->item(0, 0)->text(), words);
    QCOMPARE(View->BreakMarks().size(), size_t{1});
    QCOMPARE(View->BreakMarks().front().Target, (TTarget{automaton, row, index}));
    // Unticked in the list: disabled, drawn hollow; Ctrl+B again clears it.
    Table->item(0, 0)->setCheckState(Qt::Unchecked);
    QVERIFY(!W().Breakpoints().List().front().Enabled);
    QVERIFY(!View->BreakMarks().front().Enabled);
    QTest::keyClick(View, Qt::Key_B, Qt::ControlModifier);
    QVERIFY(W().Breakpoints().List().empty());
    QCOMPARE(Table->rowCount(), 0);
    QVERIFY(View->BreakMarks().empty());
    // The arrow keys walk every state and row and come round to the same one.
    const auto Targets = View->Diagram().Nodes.size() + View->Diagram().Edges.size();
    for (size_t Key = 0; Key < Targets; ++Key)
        QTest::keyClick(View, Key % 2 == 0 ? Qt::Key_Right : Qt::Key_Down);
    QTest::keyClick(View, Qt::Key_Right);
    QTest::keyClick(View, Qt::Key_Left);
    QTest::keyClick(View, Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(W().Breakpoints().List().size(), size_t{1});
    QCOMPARE(W().Breakpoints().List().front().Text, words);
}

// The user's breakpoints go into a saved session, and come back when it is played.
void BreakpointsWindowTest::savedWithTheSession() {
    TAutomataWindow* Window = Open();
    auto* Pane = static_cast<TBreakpointsDock*>(Window->BreakpointsDock()->widget());
    Pane->NewLine()->setText(QStringLiteral("A0 state 7"));
    QVERIFY(!Pane->AddTyped().isEmpty());
    QVERIFY(!Pane->Problem()->isHidden());
    for (const char* Typed : {"A0 state 3 if bank = 0", "A1 event e10 if stake>=2 and A0 != 3"}) {
        Pane->NewLine()->setText(QString::fromUtf8(Typed));
        QCOMPARE(Pane->AddTyped(), QString());
    }
    W().Breakpoints().SetEnabled(0, false);
    Played->Coin();
    const TParsedScript Saved = ParseScript(W().SessionScript());
    QVERIFY(!Saved.Error);
    QCOMPARE(Saved.Script.Breakpoints.size(), size_t{1}); // the disabled one as a comment
    QCOMPARE(Saved.Script.Breakpoints.front().Text,
             QStringLiteral("A1 event e10 if stake>=2 and A0 != 3"));
    QVERIFY(W().SessionScript().contains("# break A0 state 3 if bank = 0\n"));
    TPlayedWindow Other;
    Other.Window.PlayScript(Saved.Script, QStringLiteral("saved"));
    QCOMPARE(Other.Window.Breakpoints().List().size(), size_t{1});
    QCOMPARE(Other.Window.Breakpoints().List().front().Conditions,
             Saved.Script.Breakpoints.front().Conditions);
}

// After every step of a session the watches show the machine's own values and its displays',
// as its snapshot holds them.
void BreakpointsWindowTest::watchesAreTheMachines() {
    TAutomataWindow* Window = Open();
    Window->WatchesDock()->raise();
    QVERIFY(QTest::qWaitForWindowExposed(Window));
    TWatchesDock* Watches = Window->Watches();
    QVERIFY(Watches->isVisible());
    const TParsedScript Parsed = ParseScript(RandomScript(5, 60));
    W().PlayScript(Parsed.Script, QStringLiteral("test"));
    const auto Text = [Watches](const char* Name, int Column = 1) {
        const QTreeWidgetItem* Item = Watches->Item(QString::fromLatin1(Name));
        return Item ? Item->text(Column) : QStringLiteral("(none)");
    };
    int Steps = 0;
    TMachineSnapshot Before = W().Machine().Snapshot();
    for (; Steps < 2000 && W().Clock().Step(); ++Steps) {
        QCoreApplication::processEvents();
        const TMachineSnapshot S = W().Machine().Snapshot();
        // What the step changed is marked.
        const std::pair<const char*, bool> Changes[] = {
            {"bank", S.FBank != Before.FBank},
            {"stake", S.FStake != Before.FStake},
            {"win", S.FJackPot != Before.FJackPot},
            {"player", S.FUserTokens != Before.FUserTokens},
            {"A0", S.Automata[0].FState != Before.Automata[0].FState},
            {"A1", S.Automata[1].FState != Before.Automata[1].FState},
            {"A2", S.Automata[2].FState != Before.Automata[2].FState}};
        for (const auto& [Name, Changed] : Changes)
            if (Changed)
                QVERIFY2(Watches->Marked(QString::fromLatin1(Name)), Name);
        Before = S;
        QCOMPARE(Text("bank"), QString::number(S.FBank));
        QCOMPARE(Text("bank", 2), QString::number(S.FDisplays.edBank));
        QCOMPARE(Text("stake"), QString::number(S.FStake));
        QCOMPARE(Text("stake", 2), QString::number(S.FDisplays.edStake));
        QCOMPARE(Text("win"), QString::number(S.FJackPot));
        QCOMPARE(Text("win", 2), QString::number(S.FDisplays.edJackPot));
        QCOMPARE(Text("player"), QString::number(S.FUserTokens));
        QCOMPARE(Text("player", 2), QString::number(S.FDisplays.edUser));
        QCOMPARE(Text("slot"),
                 S.FTrayClosed ? QStringLiteral("закрыта") : QStringLiteral("открыта"));
        QCOMPARE(Text("token good"), S.FTokenGood ? QStringLiteral("да") : QStringLiteral("нет"));
        for (int A = 0; A < 3; ++A) {
            const QString Name = QStringLiteral("A%1").arg(A);
            QVERIFY(
                Text(qPrintable(Name)).startsWith(QString::number(S.Automata[A].FState) + u' '));
            QCOMPARE(Text(qPrintable(Name + QStringLiteral(" busy"))),
                     S.Automata[A].FBusy ? QStringLiteral("да") : QStringLiteral("нет"));
            // One guard line for each guarded row from the current state.
            int Guarded = 0;
            for (const TDiagramEdge& Edge : DiagramOf(W().Machine(), A).Edges)
                Guarded += Edge.From == S.Automata[A].FState && !Edge.Guard.empty() ? 1 : 0;
            QCOMPARE(Watches->Item(Name)->childCount(), Guarded);
        }
        for (int Timer = 0; Timer < TimerCount; ++Timer) {
            const int32_t Interval = S.FTimers[Timer].Interval;
            QCOMPARE(Text(TimerName(TTimerId(Timer))), Interval == 0
                                                           ? QStringLiteral("стоит")
                                                           : QStringLiteral("%1 мс").arg(Interval));
        }
    }
    QVERIFY(Steps > 20);
}

// Played by the user, the clock stops at the moment of the stop that hit, not at the end of the
// screen frame in which it fell due.
void BreakpointsWindowTest::playersSessionPausesAtTheStop() {
    QString Problem;
    int At = 0;
    const auto First = ParseBreakpoint(W().Machine(), QStringLiteral("A2 row 1 e22"), Problem, At);
    QVERIFY(First);
    W().Breakpoints().Add(*First);
    Played->Game();
    const auto Due = W().Clock().Time().Due(TimerB1);
    QVERIFY(Due);
    // A frame that does not end on the stop's moment.
    Played->Pass(5);
    if (*Due % TMachineClock::FrameMs == W().Clock().Now() % TMachineClock::FrameMs)
        Played->Pass(1);
    for (int Frame = 0; Frame < 1000 && !W().Clock().Paused(); ++Frame)
        Played->Pass(TMachineClock::FrameMs);
    QVERIFY(W().Clock().Paused());
    QCOMPARE(W().Clock().Now(), *Due);
    QCOMPARE(W().Machine().State(A2), 2);
    QCOMPARE(W().Breakpoints().List().front().Hits, int64_t{1});
}

QTEST_MAIN(BreakpointsWindowTest)
#include "BreakpointsWindowTest.moc"
