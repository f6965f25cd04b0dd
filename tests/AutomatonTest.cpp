#include "automaton/Automaton.h"

#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace sm;

namespace {

using TLines = std::vector<std::string>;

// An automaton whose transition function and entry actions a test supplies; its protocol goes
// into a shared list so that the order of nested messages shows.
class TProbe : public TAutomaton {
public:
    TProbe(int32_t Number, std::string Name, TLines& Log)
        : TAutomaton(Number, std::move(Name)), FLog(Log) {}

    std::function<void(int32_t)> OnStep;
    std::function<void()> OnEnter;
    int EnterCount = 0;

protected:
    void Step(int32_t Event) override {
        if (OnStep)
            OnStep(Event);
    }
    void EnterState() override {
        ++EnterCount;
        if (OnEnter)
            OnEnter();
    }
    void WriteLog(const std::string& Message) override { FLog.push_back(Message); }

private:
    TLines& FLog;
};

void SwitchAll(TAutomaton& Automaton, bool On) {
    Automaton.FLogStart = Automaton.FLogTransition = Automaton.FLogFinish = On;
}

// Two registered automata with a few names; event 4 has an empty name.
struct TWorld {
    TLines Log;
    TAutomatonsDispatcher Dispatcher;
    TProbe X{0, "Икс", Log};
    TProbe Y{1, "Игрек", Log};

    TWorld() {
        Dispatcher.AddAutomaton(&X);
        Dispatcher.AddAutomaton(&Y);
        for (const char* Name : {"Ноль", "Один", "Два"})
            Dispatcher.FStateNames[0].Add(Name);
        for (const char* Name : {"Пусто", ""})
            Dispatcher.FStateNames[1].Add(Name);
        for (int I = 0; I < 6; ++I)
            Dispatcher.FEventNames.Add("");
        Dispatcher.FEventNames.Put(1, "Первое");
        Dispatcher.FEventNames.Put(2, "Второе");
        SwitchAll(X, true);
        SwitchAll(Y, true);
    }
};

QString Joined(const TLines& Lines) {
    QStringList Result;
    for (const auto& Line : Lines)
        Result << QString::fromStdString(Line);
    return Result.join(u'\n');
}

} // namespace

class AutomatonTest : public QObject {
    Q_OBJECT

private slots:
    void stringListBounds_data();
    void stringListBounds();
    void messages_data();
    void messages();
    void literalsUseLatinLettersWhereDesigned();
    void nestedDeliveryWritesOneReentrancyMessage();
    void reentrancyFromAnEntryAction();
    void errorInStartMessageChangesNothing();
    void errorInFinishMessageLeavesHandlingDone();
    void errorInsideStepKeepsBusyUntilNextEvent();
    void switchesOffNeedNoNames();
    void dispatcherRegistersInOrderAndOwnsOnlyNames();
};

void AutomatonTest::stringListBounds_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("error");
    QTest::newRow("negative") << -1 << "List index out of bounds (-1)";
    QTest::newRow("count") << 2 << "List index out of bounds (2)";
    QTest::newRow("far") << 1000 << "List index out of bounds (1000)";
    QTest::newRow("first") << 0 << "";
    QTest::newRow("last") << 1 << "";
}

void AutomatonTest::stringListBounds() {
    QFETCH(int, index);
    QFETCH(QString, error);
    TStringList List;
    List.Add("a");
    List.Add("b");
    for (const bool Replace : {false, true}) {
        QString Caught;
        try {
            if (Replace)
                List.Put(index, "c");
            else
                (void)List.Get(index);
        } catch (const EListError& Error) {
            Caught = QString::fromStdString(Error.what());
        }
        QCOMPARE(Caught, error);
    }
    QCOMPARE(List.Count(), 2);
}

void AutomatonTest::messages_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("nextState");
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("finish");
    QTest::addColumn<QString>("expected");

    QTest::newRow("state unchanged: start and finish only")
        << 0 << "Икс" << 1 << 0 << true << true
        << "Автомат A0 \"Икс\" запущен в состоянии 0 \"Ноль\" с событием e1 \"Первое\"\n"
           "Автомат A0 \"Икс\" завершил обработку события e1 \"Первое\" в состоянии 0 \"Ноль\"";
    QTest::newRow("state changed: transition between")
        << 0 << "Икс" << 2 << 2 << true << true
        << "Автомат A0 \"Икс\" запущен в состоянии 0 \"Ноль\" с событием e2 \"Второе\"\n"
           "Автомат A0 \"Икс\" перешел из состояния 0 в состояние 2\n"
           "Автомат A0 \"Икс\" завершил обработку события e2 \"Второе\" в состоянии 2 \"Два\"";
    QTest::newRow("empty names show as a blank and two quotes")
        << 0 << "" << 4 << 0 << true << true
        << "Автомат A0 \"\" запущен в состоянии 0 \"Ноль\" с событием e4 \"\"\n"
           "Автомат A0 \"\" завершил обработку события e4 \"\" в состоянии 0 \"Ноль\"";
    QTest::newRow("negative state in the transition message")
        << 0 << "Икс" << 1 << -3 << false << false
        << "Автомат A0 \"Икс\" перешел из состояния 0 в состояние -3";
    QTest::newRow("negative automaton number")
        << -7 << "Икс" << 1 << 1 << false << false
        << "Автомат A-7 \"Икс\" перешел из состояния 0 в состояние 1";
}

void AutomatonTest::messages() {
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(int, event);
    QFETCH(int, nextState);
    QFETCH(bool, start);
    QFETCH(bool, finish);
    QFETCH(QString, expected);
    TWorld World;
    World.X.FNumber = number;
    World.X.FName = name.toStdString();
    World.X.FLogStart = start;
    World.X.FLogFinish = finish;
    World.X.OnStep = [&](int32_t) { World.X.FState = nextState; };
    World.X.HandleEvent(event);
    QCOMPARE(Joined(World.Log), expected);
    QCOMPARE(World.X.EnterCount, nextState == 0 ? 0 : 1);
    QVERIFY(!World.X.FBusy);
}

void AutomatonTest::literalsUseLatinLettersWhereDesigned() {
    TWorld World;
    World.X.OnStep = [&](int32_t Event) {
        if (Event == 2) {
            World.X.FState = 1;
            World.X.HandleEvent(1); // nested: the reentrancy message too
        }
    };
    World.X.HandleEvent(2);
    QCOMPARE(World.Log.size(), size_t(6));
    // Every Latin letter in the messages is the A before a number or the e before an event.
    for (const auto& Line : World.Log) {
        const QString Text = QString::fromStdString(Line);
        for (qsizetype I = 0; I < Text.size(); ++I) {
            if (Text[I].isLetter() && Text[I].unicode() < 128) {
                const bool BeforeNumber = I + 1 < Text.size() && Text[I + 1].isDigit();
                QVERIFY2(BeforeNumber && (Text[I] == u'A' || Text[I] == u'e'), qPrintable(Text));
            }
        }
    }
    QCOMPARE(QString::fromStdString(World.Log[2]),
             "Ошибка реентерабельности в автомате A0 \"Икс\" в состоянии 1 \"Один\" "
             "с событием e1 \"Первое\"");
}

void AutomatonTest::nestedDeliveryWritesOneReentrancyMessage() {
    // X sends to Y; Y sends back to X twice while X is still in its Step.
    TWorld World;
    SwitchAll(World.X, false);
    SwitchAll(World.Y, false);
    World.X.OnStep = [&](int32_t Event) {
        if (Event == 1)
            World.Y.HandleEvent(1);
    };
    World.Y.OnStep = [&](int32_t) {
        World.X.HandleEvent(2);
        QVERIFY(!World.X.FBusy); // the nested call cleared it while the outer one runs
        World.X.HandleEvent(2);
    };
    World.X.HandleEvent(1);
    QCOMPARE(Joined(World.Log),
             "Ошибка реентерабельности в автомате A0 \"Икс\" в состоянии 0 \"Ноль\" "
             "с событием e2 \"Второе\"");
    QVERIFY(!World.X.FBusy);
    QVERIFY(!World.Y.FBusy);
}

void AutomatonTest::reentrancyFromAnEntryAction() {
    // The busy flag covers the entry actions too: an event sent back from there is reentrant.
    TWorld World;
    SwitchAll(World.X, false);
    World.X.OnStep = [&](int32_t Event) { World.X.FState = Event == 1 ? 1 : World.X.FState; };
    World.X.OnEnter = [&] { World.X.HandleEvent(2); };
    World.X.HandleEvent(1);
    QCOMPARE(Joined(World.Log),
             "Ошибка реентерабельности в автомате A0 \"Икс\" в состоянии 1 \"Один\" "
             "с событием e2 \"Второе\"");
    QCOMPARE(World.X.EnterCount, 1);
}

void AutomatonTest::errorInStartMessageChangesNothing() {
    TWorld World;
    bool Stepped = false;
    World.X.OnStep = [&](int32_t) { Stepped = true; };
    QVERIFY_THROWS_EXCEPTION(EListError, World.X.HandleEvent(6));
    try {
        World.X.HandleEvent(-2);
    } catch (const EListError& Error) {
        QCOMPARE(QString(Error.what()), "List index out of bounds (-2)");
    }
    QVERIFY(!Stepped);
    QVERIFY(!World.X.FBusy);
    QCOMPARE(World.X.FState, 0);
    QVERIFY(World.Log.empty());
}

void AutomatonTest::errorInFinishMessageLeavesHandlingDone() {
    TWorld World;
    World.X.FLogStart = false;
    World.X.OnStep = [&](int32_t) { World.X.FState = 5; }; // a state without a name
    QString Caught;
    try {
        World.X.HandleEvent(1);
    } catch (const EListError& Error) {
        Caught = Error.what();
    }
    QCOMPARE(Caught, "List index out of bounds (5)");
    QCOMPARE(World.X.FState, 5);
    QCOMPARE(World.X.EnterCount, 1);
    QVERIFY(!World.X.FBusy);
    QCOMPARE(Joined(World.Log), "Автомат A0 \"Икс\" перешел из состояния 0 в состояние 5");
}

void AutomatonTest::errorInsideStepKeepsBusyUntilNextEvent() {
    TWorld World;
    SwitchAll(World.X, false);
    World.X.OnStep = [&](int32_t Event) {
        if (Event == 1)
            World.Y.HandleEvent(9); // Y has no name for e9
    };
    QString Caught;
    try {
        World.X.HandleEvent(1);
    } catch (const EListError& Error) {
        Caught = Error.what();
    }
    QCOMPARE(Caught, "List index out of bounds (9)");
    QVERIFY(World.X.FBusy);
    QVERIFY(!World.Y.FBusy); // Y failed in its start message, before its step 3

    World.X.HandleEvent(2);
    World.X.HandleEvent(2);
    QCOMPARE(Joined(World.Log),
             "Ошибка реентерабельности в автомате A0 \"Икс\" в состоянии 0 \"Ноль\" "
             "с событием e2 \"Второе\"");
    QVERIFY(!World.X.FBusy);
}

void AutomatonTest::switchesOffNeedNoNames() {
    TLines Log;
    TProbe Lone(3, "Один", Log); // never registered: no dispatcher, no names
    int32_t Seen = -1;
    Lone.OnStep = [&](int32_t Event) {
        Seen = Event;
        Lone.FState = 8;
    };
    Lone.FLogInput = Lone.FLogOutput = true;
    Lone.HandleEvent(77);
    QCOMPARE(Seen, 77);
    QCOMPARE(Lone.FState, 8);
    QVERIFY(Log.empty());
    // With a switch on, an unregistered automaton reports why instead of crashing.
    Lone.FLogFinish = true;
    QVERIFY_THROWS_EXCEPTION(std::logic_error, Lone.HandleEvent(1));
}

void AutomatonTest::dispatcherRegistersInOrderAndOwnsOnlyNames() {
    TLines Log;
    auto Dispatcher = std::make_unique<TAutomatonsDispatcher>();
    QVERIFY(Dispatcher->FAutomata.empty() && Dispatcher->FStateNames.empty());
    QCOMPARE(Dispatcher->FSpareList1.Count() + Dispatcher->FSpareList2.Count() +
                 Dispatcher->FEventNames.Count(),
             0);
    TProbe First(5, "Пятый", Log);
    TProbe Second(0, "Нулевой", Log);
    Dispatcher->AddAutomaton(&First);
    QCOMPARE(Dispatcher->FAutomata.size(), size_t(1));
    QCOMPARE(Dispatcher->FStateNames.size(), size_t(1));
    Dispatcher->AddAutomaton(&Second);
    QCOMPARE(Dispatcher->FAutomata[0], &First); // registration order, whatever FNumber says
    QCOMPARE(Dispatcher->FAutomata[1], &Second);
    QCOMPARE(Second.FDispatcher, Dispatcher.get());
    QCOMPARE(Dispatcher->FStateNames[1].Count(), 0);

    // First's number has no state-name list: a clear error, not a wild read.
    Dispatcher->FEventNames.Add("");
    First.FLogStart = true;
    try {
        First.HandleEvent(0);
        QFAIL("no error for an automaton numbered past the last name list");
    } catch (const EListError& Error) {
        QCOMPARE(QString(Error.what()), "List index out of bounds (5)");
    }

    Dispatcher.reset(); // frees the lists; the automata live on (the sanitizer build checks)
    First.FLogStart = false;
    First.HandleEvent(0);
    QCOMPARE(First.FName, std::string("Пятый"));
}

QTEST_GUILESS_MAIN(AutomatonTest)
#include "AutomatonTest.moc"
