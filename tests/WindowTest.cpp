#include "automaton/Automaton.h"
#include "slotmachine/Rules.h"
#include "slotmachine/atmSlotMachine.h"
#include "tests/MachineEdit.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/AutomataWindow.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QAccessible>
#include <QDir>
#include <QFontInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyle>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

using namespace sm;

namespace {

// Clicks through the window, so that Qt decides which control is hit.
void ClickAt(QWidget* Control, QPoint Point) {
    QWidget* Window = Control->window();
    QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {}, Control->mapTo(Window, Point));
}

// Light text on dark bases, as a dark desktop theme gives.
QPalette DarkPalette() {
    QPalette Dark = QApplication::palette();
    for (const auto Role : {QPalette::Window, QPalette::Base, QPalette::Button})
        Dark.setColor(Role, QColor(40, 40, 40));
    for (const auto Role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        Dark.setColor(Role, QColor(235, 235, 235));
    return Dark;
}

// The contrast ratio of the pixel in the area that stands out most from the background.
double LargestContrast(const QImage& Picture, const QRect& Area, const QColor& Background) {
    const auto Luminance = [](QColor Colour) {
        const auto Linear = [](double Channel) {
            return Channel <= 0.04045 ? Channel / 12.92 : std::pow((Channel + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * Linear(Colour.redF()) + 0.7152 * Linear(Colour.greenF()) +
               0.0722 * Linear(Colour.blueF());
    };
    const double Back = Luminance(Background);
    double Largest = 1;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X) {
            const double Here = Luminance(Picture.pixelColor(X, Y));
            Largest =
                std::max(Largest, (std::max(Here, Back) + 0.05) / (std::min(Here, Back) + 0.05));
        }
    return Largest;
}

QPoint CheckBoxOf(TCheckList* List, int Item) {
    const QRect Rect = List->visualItemRect(List->item(Item));
    const int Indicator = List->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, List);
    return List->viewport()->mapTo(List,
                                   QPoint(Rect.left() + 3 + Indicator / 2, Rect.center().y()));
}

// The design's places, in the parent's coordinates; the coins follow below.
const struct {
    const char* Name;
    const char* Parent;
    QRect Rect;
} DesignRects[] = {
    {"Panel1", "SlotMachine", {8, 8, 265, 129}},
    {"Log", "SlotMachine", {280, 8, 353, 289}},
    {"Label1", "SlotMachine", {640, 16, 110, 13}}, // design 108: widened to hold its text
    {"cbA0LogSettings", "SlotMachine", {640, 32, 249, 73}},
    {"Label2", "SlotMachine", {640, 112, 112, 13}},
    {"cbA1LogSettings", "SlotMachine", {640, 128, 249, 73}},
    {"Label3", "SlotMachine", {640, 208, 122, 13}}, // design 120
    {"cbA2LogSettings", "SlotMachine", {638, 224, 249, 73}},
    {"iBadCoin", "SlotMachine", {240, 264, 32, 32}},
    {"Label7", "SlotMachine", {160, 264, 34, 13}},
    {"edUser", "SlotMachine", {160, 278, 49, 19}},
    {"Barrel1", "Panel1", {11, 20, 30, 45}},
    {"Barrel2", "Panel1", {43, 20, 30, 45}},
    {"Barrel3", "Panel1", {75, 20, 30, 45}},
    {"Label4", "Panel1", {120, 16, 25, 13}},
    {"edBank", "Panel1", {120, 38, 49, 19}},
    {"Label5", "Panel1", {184, 16, 43, 13}}, // design 42
    {"edStake", "Panel1", {184, 38, 49, 19}},
    {"Label6", "Panel1", {184, 64, 49, 13}}, // design 48
    {"edJackPot", "Panel1", {184, 86, 49, 19}},
    {"Shape1", "Panel1", {248, 32, 9, 49}},
    {"iPlay", "Panel1", {8, 88, 64, 32}},
    {"iReturn", "Panel1", {96, 88, 64, 32}},
    {"btnTechReset", "Panel1", {200, 112, 65, 17}},
};

QRect CoinRect(int Number) {
    return {8 + 8 * ((Number - 1) % 30), 144 + 40 * ((Number - 1) / 30), 32, 32};
}

// The displays in one line, with the coins of the stack: the lowest ones, -1 for a gap.
QString Text(const TDisplays& Shown, int Coins) {
    return QStringLiteral("bank %1 stake %2 win %3 user %4 coins %5 counterfeit %6 slot %7 "
                          "barrels %8 %9 %10")
        .arg(Shown.edBank)
        .arg(Shown.edStake)
        .arg(Shown.edJackPot)
        .arg(Shown.edUser)
        .arg(Coins)
        .arg(Shown.iBadCoin)
        .arg(Shown.Shape1 == TBrushStyle::bsSolid ? "open" : "closed")
        .arg(Shown.Barrels[0])
        .arg(Shown.Barrels[1])
        .arg(Shown.Barrels[2]);
}

QString Text(const TDisplays& Shown) {
    return Text(Shown, std::clamp(Shown.edUser, 0, TMachine::TokenImages));
}

// What the window's widgets show.
QString Text(const TSlotMachine& Window) {
    int Coins = 0;
    for (int Number = 1; Number <= TSlotMachine::TokenImages; ++Number)
        if (!Window.Image(Number)->isHidden())
            Coins = Coins == Number - 1 ? Number : -1;
    TDisplays Shown;
    Shown.edBank = Window.edBank->text().toInt();
    Shown.edStake = Window.edStake->text().toInt();
    Shown.edJackPot = Window.edJackPot->text().toInt();
    Shown.edUser = Window.edUser->text().toInt();
    Shown.iBadCoin = !Window.iBadCoin->isHidden();
    Shown.Shape1 = Window.Shape1->BrushStyle();
    Shown.Barrels = {Window.Barrel1->FrameIndex(), Window.Barrel2->FrameIndex(),
                     Window.Barrel3->FrameIndex()};
    return Text(Shown, Coins);
}

// The items of each check list: how the text ends and the switch it sets.
const struct {
    const char* Label;
    const char* Name;
    bool TAutomaton::*Field;
} CheckListItems[] = {{"запуска", "FLogStart", &TAutomaton::FLogStart},
                      {"изменения состояния", "FLogTransition", &TAutomaton::FLogTransition},
                      {"завершеня", "FLogFinish", &TAutomaton::FLogFinish},
                      {"входных параметров", "FLogInput", &TAutomaton::FLogInput},
                      {"выходных действий", "FLogOutput", &TAutomaton::FLogOutput}};

// The switches that are on, read from each automaton's own fields.
QStringList SwitchesOn(const TMachine& Machine) {
    const TAutomaton* Automata[] = {&Machine.AutomatonSlotMachine(), &Machine.AutomatonMoneyTray(),
                                    &Machine.AutomatonBarrelsEngine()};
    QStringList On;
    for (int Number = 0; Number < 3; ++Number)
        for (const auto& Item : CheckListItems)
            if (Automata[Number]->*Item.Field)
                On << QStringLiteral("A%1.%2").arg(Number).arg(QLatin1String(Item.Name));
    return On;
}

// A game won on 2 2 2 and paid out, then a counterfeit token and a reset; one step a row. The
// fields lag behind the accounts where the machine refreshes them later.
const struct {
    const char* Name;
    void (*Play)(TSlotMachine&);
    bool Lags = false;
} Script[] = {
    {"token", [](TSlotMachine& W) { ClickCoin(W); }},
    {"play", [](TSlotMachine& W) { Click(W.iPlay); }},
    {"spin ticks",
     [](TSlotMachine& W) {
         Fire<&TMachine::TimerSync1Timer>(W);
         Fire<&TMachine::TimerSync2Timer>(W);
         Fire<&TMachine::TimerSync3Timer>(W);
     }},
    {"play again", [](TSlotMachine& W) { Click(W.iPlay); }},
    {"first barrel stops",
     [](TSlotMachine& W) {
         W.Machine().SetFrameIndex(1, 5);
         W.Machine().SetFrameIndex(2, 9);
         W.Machine().SetFrameIndex(3, 7);
         Fire<&TMachine::TimerB1Timer>(W);
     }},
    {"second barrel stops", Fire<&TMachine::TimerB2Timer>},
    {"third barrel stops, the first token paid", Fire<&TMachine::TimerB3Timer>, true},
    {"a pay tick", Fire<&TMachine::JackTimerTimer>},
    {"paid out",
     [](TSlotMachine& W) {
         while (W.Machine().Interval(JackTimer) != 0)
             Fire<&TMachine::JackTimerTimer>(W);
     }},
    {"counterfeit token", [](TSlotMachine& W) { Click(W.iBadCoin); }},
    {"technical reset", [](TSlotMachine& W) { Click(W.btnTechReset); }},
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TSlotMachine> M;
    QStringList FErrors;

private slots:
    void init();
    void cleanup();

    void fontResolves();
    void windowGeometry();
    void controlAtItsDesignPlace_data();
    void controlAtItsDesignPlace();
    void widgetsShowTheDisplays_data();
    void widgetsShowTheDisplays();
    void coinStackFollowsTheCount_data();
    void coinStackFollowsTheCount();
    void slotIndicatorOnThePanel();
    void topmostCoinTakesTheClick();
    void buttonsDeliverTheirEvents();
    void checkListToggles_data();
    void checkListToggles();
    void checkBoxSetsItsOwnSwitch_data();
    void checkBoxSetsItsOwnSwitch();
    void handlerErrorReachesTheBoxAndTheLoopGoesOn();
    void errorsWaitForTheOpenBox();
    void noTextIsCutShort();
    void readableInADarkTheme();
    void keysPlayTheMachine();
    void focusFrameAndNames();
    void tabOrder();
    void dialogButtonsInRussian();
    void screenReaderHearsTheMachine();
    void keysReachEveryWindow();
    void focusMarksShow();
    void checkListMarksStandOut_data();
    void checkListMarksStandOut();
};

void WindowTest::init() {
    M = std::make_unique<TSlotMachine>();
    M->show();
    QVERIFY(QTest::qWaitForWindowExposed(M.get()));
    FErrors.clear();
    TErrorBox::Instance().Presenter = [this](const QString& Text) { FErrors << Text; };
}

void WindowTest::cleanup() {
    M.reset();
}

void WindowTest::fontResolves() {
    const QFontInfo Info(M->font());
    QCOMPARE(Info.family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(Info.pixelSize(), 11);
    QVERIFY(!Info.fixedPitch());
    QCOMPARE(QFontInfo(M->Label7->font()).family(), QStringLiteral("Liberation Sans"));
}

void WindowTest::windowGeometry() {
    QCOMPARE(M->size(), QSize(895, 303));
    QCOMPARE(M->windowTitle(), QStringLiteral("SlotMachine"));
    // The icon's pictures are decoded once the window has painted.
    QTRY_COMPARE(M->windowIcon().availableSizes().size(), 5);
    // Every control of the window and of its panel has a row in the design table; the clock's
    // state line, not the design's, is hidden while the clock runs at 1×.
    qsizetype Controls = 0;
    for (const QWidget* Parent : {static_cast<QWidget*>(M.get()), M->Panel1})
        for (const QWidget* Control : Parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            Controls += Control->objectName() == QLatin1String("ClockState") ? 0 : 1;
    QVERIFY(M->findChild<QWidget*>(QStringLiteral("ClockState"))->isHidden());
    QCOMPARE(Controls, qsizetype(std::size(DesignRects)) + TSlotMachine::TokenImages);
}

void WindowTest::controlAtItsDesignPlace_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("rect");
    for (const auto& Control : DesignRects)
        QTest::newRow(Control.Name) << QString::fromLatin1(Control.Parent) << Control.Rect;
    for (int Number = 1; Number <= TSlotMachine::TokenImages; ++Number)
        QTest::addRow("Image%d", Number) << "SlotMachine" << CoinRect(Number);
}

void WindowTest::controlAtItsDesignPlace() {
    QFETCH(QString, parent);
    QFETCH(QRect, rect);
    const auto* Control = M->findChild<QWidget*>(QLatin1String(QTest::currentDataTag()));
    QVERIFY(Control);
    QCOMPARE(Control->parentWidget()->objectName(), parent);
    QCOMPARE(Control->geometry(), rect);
    M->resize(1200, 600); // the controls stay where they are
    QCOMPARE(Control->geometry(), rect);
}

void WindowTest::widgetsShowTheDisplays_data() {
    QTest::addColumn<int>("steps");
    QTest::addColumn<bool>("lags"); // some field differs from its account
    for (size_t Step = 0; Step < std::size(Script); ++Step)
        QTest::newRow(Script[Step].Name) << int(Step + 1) << Script[Step].Lags;
}

void WindowTest::widgetsShowTheDisplays() {
    QFETCH(int, steps);
    QFETCH(bool, lags);
    for (int Step = 0; Step < steps; ++Step)
        Script[Step].Play(*M);
    const TMachine& Machine = M->Machine();
    QCOMPARE(Text(*M), Text(Machine.Displays()));
    TDisplays Accounts = Machine.Displays();
    Accounts.edBank = Machine.Bank();
    Accounts.edStake = Machine.Stake();
    Accounts.edJackPot = Machine.JackPot();
    Accounts.edUser = Machine.UserTokens();
    QCOMPARE(Text(*M) != Text(Accounts), lags);
}

void WindowTest::coinStackFollowsTheCount_data() {
    QTest::addColumn<int>("user");
    for (const int User : {0, 1, 31, 99, 100, 120, -3})
        QTest::addRow("%d", User) << User;
}

void WindowTest::coinStackFollowsTheCount() {
    QFETCH(int, user);
    // The machine put into a state that differs only in what it shows.
    EditMachine(M->Machine(), [user](TMachineSnapshot& S) { S.FDisplays.edUser = user; });
    QCOMPARE(Text(*M), Text(M->Machine().Displays()));
}

void WindowTest::slotIndicatorOnThePanel() {
    // Light and dark pixels inside Shape1's outline, grabbed with the panel as the player sees it.
    const QRect Fill = M->Shape1->geometry().adjusted(1, 1, -1, -1);
    const auto LightAndDark = [&] {
        const QImage Panel = M->Panel1->grab().toImage();
        int Light = 0;
        for (int Y = Fill.top(); Y <= Fill.bottom(); ++Y)
            for (int X = Fill.left(); X <= Fill.right(); ++X)
                Light += qGray(Panel.pixel(X, Y)) >= 128;
        return std::pair(Light, Fill.width() * Fill.height() - Light);
    };
    const int Area = Fill.width() * Fill.height();
    QCOMPARE(LightAndDark(), std::pair(Area, 0)); // open: a white bar

    for (int Coin = 0; Coin < 3; ++Coin)
        ClickCoin(*M);
    Click(M->iPlay);
    for (int Tick = 0; Tick < 5; ++Tick)
        Fire<&TMachine::TimerSync2Timer>(*M);
    QCOMPARE(M->Shape1->BrushStyle(), TBrushStyle::bsDiagCross);
    // Closed: white hatch lines with the dark panel between them.
    const auto [Light, Dark] = LightAndDark();
    QVERIFY2(Light > Area / 8 && Dark > Area / 2, qPrintable(QString::number(Light)));
    // The picture for the README, in this state.
    const QString Folder = QStringLiteral(SCREENSHOT_FOLDER);
    QVERIFY(QDir().mkpath(Folder));
    QVERIFY(M->grab().save(Folder + QStringLiteral("/window.png")));

    M->Shape1->hide();
    QCOMPARE(LightAndDark(), std::pair(0, Area)); // the bare panel shows nothing
}

void WindowTest::topmostCoinTakesTheClick() {
    QSignalSpy Fiftieth(M->Image(50), &TImage::Click);
    QSignalSpy FortyNinth(M->Image(49), &TImage::Click);
    // The top-left corner of coin 50 is transparent and lies over coin 49.
    ClickAt(M->Image(50), QPoint(1, 1));
    QCOMPARE(Fiftieth.size(), 1);
    QCOMPARE(FortyNinth.size(), 0);
    QCOMPARE(M->Machine().UserTokens(), 49);
    QVERIFY(M->Image(50)->isHidden());
    ClickAt(M->Image(50), QPoint(1, 1)); // now the coin below takes it
    QCOMPARE(Fiftieth.size(), 1);
    QCOMPARE(FortyNinth.size(), 1);
    QCOMPARE(M->Machine().Stake(), 2);
}

void WindowTest::buttonsDeliverTheirEvents() {
    ClickAt(M->Image(50), QPoint(20, 16));
    ClickAt(M->iPlay, QPoint(32, 16));
    QCOMPARE(M->Machine().State(A0), TAutomatonSlotMachine::Game);
    ClickAt(M->iPlay, QPoint(32, 16));
    QVERIFY(M->Machine().Interval(TimerB1) != 0);
    const qsizetype Lines = M->Log->LineCount();
    ClickAt(M->iReturn, QPoint(32, 16));
    ClickAt(M->btnTechReset, QPoint(30, 8));
    // Both are relayed to A2 in the game: two presses, four messages each, three lines each.
    QCOMPARE(M->Log->LineCount(), Lines + 24);
    QVERIFY(
        M->Log->Line(Lines + 1).endsWith(QStringLiteral("e2 \"Нажата кнопка 'Возврат денег'\"")));
    QVERIFY(M->Log->Line(Lines + 13).endsWith(QStringLiteral("e3 \"Нажата кнопка 'Тех. Сброс'\"")));
    QCOMPARE(M->btnTechReset->focusPolicy(), Qt::NoFocus);
}

void WindowTest::checkListToggles_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("click on the box") << "box" << true;
    QTest::newRow("space on the selected item") << "space" << true;
    QTest::newRow("click on the text") << "text" << false;
    QTest::newRow("tick from the program") << "program" << false;
    QTest::newRow("toggle action of a screen reader") << "action" << true;
}

void WindowTest::checkListToggles() {
    QFETCH(QString, how);
    QFETCH(bool, toggles);
    TCheckList* List = M->cbA2LogSettings;
    const int Item = 3; // input parameters: a switch that changes no output
    if (how == "box") {
        ClickAt(List, CheckBoxOf(List, Item));
    } else if (how == "space") {
        List->setFocus();
        List->setCurrentRow(Item);
        QTest::keyClick(List, Qt::Key_Space);
    } else if (how == "text") {
        const QRect Rect = List->visualItemRect(List->item(Item));
        ClickAt(List, List->viewport()->mapTo(List, QPoint(Rect.left() + 120, Rect.center().y())));
    } else if (how == "action") {
        QAccessibleInterface* Entry = QAccessible::queryAccessibleInterface(List)->child(Item);
        QCOMPARE(Entry->actionInterface()->actionNames(),
                 QStringList{QAccessibleActionInterface::toggleAction()});
        Entry->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(Entry->state().checked);
    } else {
        List->SetChecked(Item, true);
    }
    QCOMPARE(List->Checked(Item), toggles || how == "program");
    QCOMPARE(M->Machine().AutomatonBarrelsEngine().FLogInput, toggles);
}

void WindowTest::checkBoxSetsItsOwnSwitch_data() {
    QTest::addColumn<int>("list");
    QTest::addColumn<int>("item");
    for (int List = 0; List < 3; ++List)
        for (int Item = 0; Item < int(std::size(CheckListItems)); ++Item)
            QTest::addRow("A%d.%s", List, CheckListItems[Item].Name) << List << Item;
}

void WindowTest::checkBoxSetsItsOwnSwitch() {
    QFETCH(int, list);
    QFETCH(int, item);
    TCheckList* List = std::array{M->cbA0LogSettings, M->cbA1LogSettings, M->cbA2LogSettings}[list];
    QVERIFY(List->item(item)->text().endsWith(QString::fromUtf8(CheckListItems[item].Label)));
    // A click on the box flips that one switch: the data tag names it.
    const QString Switch = QLatin1String(QTest::currentDataTag());
    QStringList Expected = SwitchesOn(M->Machine());
    if (!Expected.removeOne(Switch))
        Expected << Switch;
    ClickAt(List, CheckBoxOf(List, item));
    QStringList On = SwitchesOn(M->Machine());
    On.sort();
    Expected.sort();
    QCOMPARE(On, Expected);
}

void WindowTest::handlerErrorReachesTheBoxAndTheLoopGoesOn() {
    // Without its event names every message fails with the list's own error.
    TStringList& Names = TMachineTestSeam::Dispatcher(M->Machine()).FEventNames;
    const TStringList Kept = Names;
    Names = TStringList();
    ClickAt(M->iPlay, QPoint(32, 16));
    QTRY_COMPARE(FErrors, QStringList{QStringLiteral("List index out of bounds (1)")});

    Names = Kept;
    ClickAt(M->Image(50), QPoint(20, 16));
    QCOMPARE(M->Machine().State(A0), TAutomatonSlotMachine::Accepting);
    QCOMPARE(M->Log->LineCount(), 6 * 3);
}

void WindowTest::errorsWaitForTheOpenBox() {
    // While one box is open, errors from ticks queue up instead of opening more boxes.
    int Depth = 0;
    int Deepest = 0;
    TErrorBox& Box = TErrorBox::Instance();
    Box.Presenter = [&](const QString& Text) {
        FErrors << Text;
        Deepest = std::max(Deepest, ++Depth);
        if (FErrors.size() == 1) {
            Box.Report(QStringLiteral("second"));
            Box.Report(QStringLiteral("second"));
            Box.Report(QStringLiteral("third"));
            QCoreApplication::processEvents(); // a nested loop, as a modal box runs
        }
        --Depth;
    };
    Box.Report(QStringLiteral("first"));
    QTRY_COMPARE(FErrors.size(), 3);
    QCOMPARE(FErrors, (QStringList{"first", "second", "third"}));
    QCOMPARE(Deepest, 1);
}

void WindowTest::noTextIsCutShort() {
    for (const QLabel* Label : M->findChildren<QLabel*>())
        QVERIFY2(Label->fontMetrics().horizontalAdvance(Label->text()) <= Label->width(),
                 qPrintable(Label->objectName()));
    for (const TCheckList* List : M->findChildren<TCheckList*>())
        for (int Item = 0; Item < List->count(); ++Item) {
            const QRect Rect = List->visualItemRect(List->item(Item));
            const int Box = List->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, List);
            const int Text = List->fontMetrics().horizontalAdvance(List->item(Item)->text());
            QVERIFY2(Rect.height() >= List->fontMetrics().height() - 1 &&
                         Box + 8 + Text <= List->viewport()->width(),
                     qPrintable(List->item(Item)->text()));
        }
    const QPushButton* Reset = M->btnTechReset;
    QVERIFY(Reset->fontMetrics().horizontalAdvance(Reset->text()) < Reset->width());
}

void WindowTest::readableInADarkTheme() {
    // Light text on dark bases, as a dark desktop theme gives; our fixed backgrounds stay light.
    const QPalette Before = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    const auto Restore = qScopeGuard([&Before] { QApplication::setPalette(Before); });
    TSlotMachine Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    ClickCoin(Window);
    for (QWidget* Shown :
         {static_cast<QWidget*>(Window.Log), static_cast<QWidget*>(Window.edBank)}) {
        const QImage Picture = Shown->grab().toImage().copy(Shown->rect().adjusted(3, 3, -20, -3));
        int Darkest = 255;
        int Lightest = 0;
        for (int Y = 0; Y < Picture.height(); ++Y)
            for (int X = 0; X < Picture.width(); ++X) {
                const int Grey = qGray(Picture.pixel(X, Y));
                Darkest = std::min(Darkest, Grey);
                Lightest = std::max(Lightest, Grey);
            }
        // The text stands out from its background by most of the grey scale.
        QVERIFY2(
            Lightest - Darkest > 150,
            qPrintable(
                QStringLiteral("%1: %2..%3").arg(Shown->objectName()).arg(Darkest).arg(Lightest)));
    }
}

void WindowTest::keysPlayTheMachine() {
    // Through the window, with the focus where a player leaves it: on a check list.
    M->activateWindow();
    M->cbA1LogSettings->setFocus();
    const TMachine& Machine = M->Machine();
    const auto Press = [this](Qt::Key Key, Qt::KeyboardModifiers Modifiers = {}) {
        QTest::keyClick(M->windowHandle(), Key, Modifiers);
    };
    const auto Last = [this] { return M->Log->Line(M->Log->LineCount() - 2); };
    Press(Qt::Key_Plus);
    Press(Qt::Key_Insert);
    QCOMPARE(Machine.Stake(), 2);
    Press(Qt::Key_Backspace);
    QCOMPARE(Machine.UserTokens(), 50);
    Press(Qt::Key_Minus);
    QCOMPARE(Machine.State(A0), TAutomatonSlotMachine::Error);
    Press(Qt::Key_Minus); // the counterfeit token is in the slot: nothing to press
    Press(Qt::Key_R, Qt::ControlModifier);
    QVERIFY(Last().contains(QStringLiteral("e3 \"Нажата кнопка 'Тех. Сброс'\"")));
    Press(Qt::Key_Backspace);
    Press(Qt::Key_Plus);
    Press(Qt::Key_Enter);
    Press(Qt::Key_Return);
    QCOMPARE(Machine.State(A0), TAutomatonSlotMachine::Game);
    QVERIFY(Machine.Interval(TimerB1) != 0);
    QCOMPARE(M->iPlay->toolTip(), QStringLiteral("Игра (Return, Enter)"));
    // A screen reader sees a button it can press.
    QAccessibleInterface* Return = QAccessible::queryAccessibleInterface(M->iReturn);
    QVERIFY(Return && Return->actionInterface());
    QCOMPARE(Return->role(), QAccessible::Button);
    QCOMPARE(Return->text(QAccessible::Name), QStringLiteral("Возврат"));
    const qsizetype Lines = M->Log->LineCount();
    Return->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QVERIFY(M->Log->LineCount() > Lines);
}

void WindowTest::focusFrameAndNames() {
    // The protocol panel's frame shows the focus; a screen reader hears each field's label.
    const auto Frame = [this] { return M->Log->grab().toImage().pixelColor(0, 100); };
    M->activateWindow();
    M->cbA0LogSettings->setFocus();
    const QColor Unfocused = Frame();
    M->Log->setFocus();
    QCOMPARE(Frame(), M->Log->palette().color(QPalette::Highlight));
    QVERIFY(Frame() != Unfocused);
    M->cbA0LogSettings->setFocus();
    QCOMPARE(Frame(), Unfocused);
    const std::pair<QWidget*, const char*> Named[] = {{M->edBank, "Банк"},
                                                      {M->edStake, "Ставка"},
                                                      {M->edJackPot, "Выигрыш"},
                                                      {M->edUser, "Игрок"},
                                                      {M->cbA1LogSettings, "A1 (Жетоноприёмник)"}};
    for (const auto& [Control, Name] : Named)
        QCOMPARE(QAccessible::queryAccessibleInterface(Control)->text(QAccessible::Name),
                 QString::fromUtf8(Name));
}

void WindowTest::tabOrder() {
    QWidget* Expected[] = {M->cbA0LogSettings, M->Log,       M->edBank,
                           M->edStake,         M->edJackPot, M->cbA1LogSettings,
                           M->cbA2LogSettings, M->edUser};
    M->activateWindow();
    M->cbA0LogSettings->setFocus();
    for (QWidget* Control : Expected) {
        QCOMPARE(QApplication::focusWidget(), Control);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(QApplication::focusWidget(), M->cbA0LogSettings); // and round again
}

void WindowTest::dialogButtonsInRussian() {
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
}

void WindowTest::screenReaderHearsTheMachine() {
    const auto Name = [](QWidget* Control) {
        return QAccessible::queryAccessibleInterface(Control)->text(QAccessible::Name);
    };
    QAccessibleInterface* Frame = QAccessible::queryAccessibleInterface(M.get());
    QCOMPARE(Frame->role(), QAccessible::Window);
    QCOMPARE(Frame->text(QAccessible::Name), QStringLiteral("SlotMachine"));
    QCOMPARE(QAccessible::queryAccessibleInterface(M->Shape1)->role(), QAccessible::StaticText);
    QCOMPARE(Name(M->Shape1), QStringLiteral("Щель для жетонов: открыта"));
    QCOMPARE(Name(M->Barrel2), QStringLiteral("Барабан 2: 7"));
    ClickCoin(*M);
    Click(M->iPlay);
    QCOMPARE(Name(M->Shape1), QStringLiteral("Щель для жетонов: закрыта"));
    QCOMPARE(Name(M->Barrel3), QStringLiteral("Барабан 3: вращается"));
    for (int Tick = 0; Tick < 5; ++Tick)
        Fire<&TMachine::TimerSync1Timer>(*M);
    Click(M->iPlay);
    Fire<&TMachine::TimerB1Timer>(*M);
    const int Digit = SymbolOfFrame(M->Machine().Displays().Barrels[0]);
    QCOMPARE(Name(M->Barrel1), QStringLiteral("Барабан 1: %1").arg(Digit));
    QCOMPARE(Name(M->Barrel2), QStringLiteral("Барабан 2: вращается"));

    // Items can be ticked whether ticked or not; only the focused list has a focused item.
    M->activateWindow();
    M->cbA1LogSettings->setFocus();
    int Focused = 0;
    for (TCheckList* List : {M->cbA0LogSettings, M->cbA1LogSettings, M->cbA2LogSettings}) {
        List->setCurrentRow(2);
        QAccessibleInterface* Items = QAccessible::queryAccessibleInterface(List);
        QCOMPARE(Items->childCount(), 5);
        for (int Item = 0; Item < 5; ++Item) {
            const QAccessible::State State = Items->child(Item)->state();
            QVERIFY(State.checkable);
            QCOMPARE(bool(State.checked), List->Checked(Item));
            Focused += State.focused;
        }
        QCOMPARE(Items->child(3)->role(), QAccessible::CheckBox);
        QCOMPARE(Items->child(3)->text(QAccessible::Name), List->item(3)->text());
    }
    QCOMPARE(Focused, 1);
}

void WindowTest::keysReachEveryWindow() {
    // Shift+F10 opens the protocol's menu as the Menu key does.
    M->activateWindow();
    M->Log->setFocus();
    QTest::keyClick(M->windowHandle(), Qt::Key_F10, Qt::ShiftModifier);
    QWidget* Menu = QApplication::activePopupWidget();
    QVERIFY(Menu);
    Menu->close();
    // The game keys play the machine from «Автоматы».
    M->ShowAutomata();
    QWidget* Automata = M->AutomataWindow();
    Automata->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Automata));
    QTest::keyClick(Automata->windowHandle(), Qt::Key_Insert);
    QTest::keyClick(Automata->windowHandle(), Qt::Key_Return);
    QCOMPARE(M->Machine().Bank(), 51);
    QCOMPARE(QAccessible::queryAccessibleInterface(Automata)->role(), QAccessible::Window);
}

void WindowTest::focusMarksShow() {
    // A number field with the focus keeps its mark after its value changes.
    M->activateWindow();
    const auto Field = [this] { return M->grab(M->edUser->geometry()).toImage(); };
    ClickCoin(*M);
    const QImage Unfocused = Field();
    M->edUser->setFocus();
    ClickCoin(*M);
    ClickCoin(*M);
    Click(M->iReturn);
    ClickCoin(*M);
    QCOMPARE(M->edUser->text(), QStringLiteral("49"));
    QVERIFY(Field() != Unfocused);
}

void WindowTest::checkListMarksStandOut_data() {
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

void WindowTest::checkListMarksStandOut() {
    // Boxes, ticks and the focus mark against the list's base, as the window shows the list.
    QFETCH(bool, dark);
    const QPalette Before = QApplication::palette();
    const auto Restore = qScopeGuard([&Before] { QApplication::setPalette(Before); });
    if (dark)
        QApplication::setPalette(DarkPalette());
    TSlotMachine Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    Window.activateWindow();
    TCheckList* List = Window.cbA1LogSettings;
    List->setFocus();
    List->selectionModel()->setCurrentIndex(List->model()->index(1, 0),
                                            QItemSelectionModel::NoUpdate);
    const QImage Shown = Window.grab(List->geometry()).toImage();
    const QColor Base = List->palette().color(QPalette::Base);
    const auto Box = [List](int Item) {
        QStyleOptionViewItem Option;
        Option.rect = List->visualItemRect(List->item(Item));
        Option.features = QStyleOptionViewItem::HasCheckIndicator;
        const QRect Indicator =
            List->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, List);
        return Indicator.translated(List->viewport()->mapTo(List, QPoint(0, 0)));
    };
    const QRect Focused =
        List->visualItemRect(List->item(1)).translated(List->viewport()->mapTo(List, QPoint(0, 0)));
    const std::pair<const char*, QRect> Marks[] = {
        {"unticked box", Box(3)},
        {"tick", Box(0).adjusted(3, 3, -3, -3)},
        {"focus mark", Focused.adjusted(Box(1).right() + 2, 0, 0, 1 - Focused.height())}};
    for (const auto& [What, Area] : Marks) {
        const double Contrast = LargestContrast(Shown, Area, Base);
        QVERIFY2(Contrast >= 3, qPrintable(QStringLiteral("%1: %2:1").arg(What).arg(Contrast)));
    }
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    // «Автоматы» keeps its arrangement in the settings: not the user's.
    QStandardPaths::setTestModeEnabled(true);
    WindowTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "WindowTest.moc"
