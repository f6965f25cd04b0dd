#include "automaton/Automaton.h"
#include "slotmachine/atmSlotMachine.h"
#include "window/Application.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QDir>
#include <QFontInfo>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

#include <memory>

namespace {

// Clicks through the window, so that Qt decides which control is hit.
void ClickAt(QWidget* Control, QPoint Point) {
    QWidget* Window = Control->window();
    QTest::mouseClick(Window->windowHandle(), Qt::LeftButton, {}, Control->mapTo(Window, Point));
}

QPoint CheckBoxOf(TCheckList* List, int Item) {
    const QRect Rect = List->visualItemRect(List->item(Item));
    const int Indicator = List->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, List);
    return List->viewport()->mapTo(List,
                                   QPoint(Rect.left() + 3 + Indicator / 2, Rect.center().y()));
}

void ClickItem(TCheckList* List, int Item, QPoint Point) {
    QTest::mouseClick(List->window()->windowHandle(), Qt::LeftButton, {},
                      List->mapTo(List->window(), Point));
    Q_UNUSED(Item);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TSlotMachine> M;
    QStringList FErrors;

    // A whole game with a win, through the handlers.
    void PlayGame() {
        M->Image1Click(nullptr);
        M->iPlayClick(nullptr);
        M->iPlayClick(nullptr);
        M->TimerB1Timer(nullptr);
        M->TimerB2Timer(nullptr);
        M->TimerB3Timer(nullptr);
        while (M->JackTimer->Interval() != 0)
            M->JackTimerTimer(nullptr);
    }

private slots:
    void init();
    void cleanup();

    void fontResolves();
    void windowGeometry();
    void coinStackFollowsTheCount();
    void topmostCoinTakesTheClick();
    void buttonsDeliverTheirEvents();
    void checkListToggles_data();
    void checkListToggles();
    void uncheckedStartItemSilencesOneAutomaton();
    void allItemsUncheckedWriteNothing();
    void handlerErrorReachesTheBoxAndTheLoopGoesOn();
    void errorsWaitForTheOpenBox();
    void closingWhileTheMachineRuns();
    void tabOrder();
    void dialogButtonsInRussian();
    void screenshot();
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
    // Every control lies inside the area from 8, 8 to 889, 297.
    for (QWidget* Child : M->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (Child->isWindow())
            continue;
        QVERIFY2(QRect(8, 8, 882, 290).contains(Child->geometry()),
                 qPrintable(Child->objectName()));
    }
    // Resizing leaves the controls where they are.
    const QRect Log = M->Log->geometry();
    M->resize(1200, 600);
    QCOMPARE(M->Log->geometry(), Log);
}

void WindowTest::coinStackFollowsTheCount() {
    M->FUserTokens = 31;
    M->RefreshPlayer();
    QCOMPARE(M->Image(31)->geometry(), QRect(8, 184, 32, 32));
    QVERIFY(M->Image(31)->isVisible() && M->Image(32)->isHidden());
    M->FUserTokens = 120;
    M->RefreshPlayer();
    QCOMPARE(M->Image(100)->geometry(), QRect(80, 264, 32, 32));
    QVERIFY(M->Image(100)->isVisible());
    M->FUserTokens = -3;
    M->RefreshPlayer();
    QVERIFY(M->Image(1)->isHidden());
}

void WindowTest::topmostCoinTakesTheClick() {
    QSignalSpy Fiftieth(M->Image(50), &TImage::Click);
    QSignalSpy FortyNinth(M->Image(49), &TImage::Click);
    // The top-left corner of coin 50 is transparent and lies over coin 49.
    ClickAt(M->Image(50), QPoint(1, 1));
    QCOMPARE(Fiftieth.size(), 1);
    QCOMPARE(FortyNinth.size(), 0);
    QCOMPARE(M->FUserTokens, 49);
    QVERIFY(M->Image(50)->isHidden());
    ClickAt(M->Image(50), QPoint(1, 1)); // now the coin below takes it
    QCOMPARE(Fiftieth.size(), 1);
    QCOMPARE(FortyNinth.size(), 1);
    QCOMPARE(M->FStake, 2);
}

void WindowTest::buttonsDeliverTheirEvents() {
    ClickAt(M->Image(50), QPoint(20, 16));
    ClickAt(M->iPlay, QPoint(32, 16));
    QCOMPARE(M->FAutomatonSlotMachine->FState, TAutomatonSlotMachine::Game);
    ClickAt(M->iPlay, QPoint(32, 16));
    QVERIFY(M->TimerB1->Interval() != 0);
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
}

void WindowTest::checkListToggles() {
    QFETCH(QString, how);
    QFETCH(bool, toggles);
    TCheckList* List = M->cbA2LogSettings;
    TAutomaton& Engine = *M->FAutomatonBarrelsEngine;
    const int Item = 3; // input parameters: a switch that changes no output
    if (how == "box") {
        ClickItem(List, Item, CheckBoxOf(List, Item));
    } else if (how == "space") {
        List->setFocus();
        List->setCurrentRow(Item);
        QTest::keyClick(List, Qt::Key_Space);
    } else if (how == "text") {
        const QRect Rect = List->visualItemRect(List->item(Item));
        ClickItem(List, Item,
                  List->viewport()->mapTo(List, QPoint(Rect.left() + 120, Rect.center().y())));
    } else {
        List->SetChecked(Item, true);
    }
    QCOMPARE(List->Checked(Item), toggles || how == "program");
    QCOMPARE(Engine.FLogInput, toggles);
    // All five switches equal the ticks after a user toggle.
    QVERIFY(Engine.FLogStart && Engine.FLogTransition && Engine.FLogFinish && !Engine.FLogOutput);
}

void WindowTest::uncheckedStartItemSilencesOneAutomaton() {
    ClickItem(M->cbA1LogSettings, 0, CheckBoxOf(M->cbA1LogSettings, 0));
    QVERIFY(!M->FAutomatonMoneyTray->FLogStart);
    PlayGame();
    QString Text = M->Log->Text();
    QVERIFY(!Text.contains(QStringLiteral("Автомат A1 \"Монетоприемник\" запущен")));
    QVERIFY(Text.contains(QStringLiteral("Автомат A1 \"Монетоприемник\" завершил")));
    QVERIFY(Text.contains(QStringLiteral("Автомат A0 \"Игровая машина\" запущен")));
    QVERIFY(Text.contains(QStringLiteral("Автомат A2 \"Игровые барабаны\" запущен")));
}

void WindowTest::allItemsUncheckedWriteNothing() {
    for (TCheckList* List : {M->cbA0LogSettings, M->cbA1LogSettings, M->cbA2LogSettings})
        for (int Item = 0; Item < 3; ++Item)
            ClickItem(List, Item, CheckBoxOf(List, Item));
    PlayGame();
    QCOMPARE(M->FAutomatonSlotMachine->FState, TAutomatonSlotMachine::Waiting);
    QCOMPARE(M->Log->LineCount(), 0);
}

void WindowTest::handlerErrorReachesTheBoxAndTheLoopGoesOn() {
    // Without its event names every message fails with the list's own error.
    TStringList Names = M->FAutomatonsDispatcher->FEventNames;
    M->FAutomatonsDispatcher->FEventNames = TStringList();
    ClickAt(M->iPlay, QPoint(32, 16));
    QTRY_COMPARE(FErrors, QStringList{QStringLiteral("List index out of bounds (1)")});

    M->FAutomatonsDispatcher->FEventNames = Names;
    ClickAt(M->Image(50), QPoint(20, 16));
    QCOMPARE(M->FAutomatonSlotMachine->FState, TAutomatonSlotMachine::Accepting);
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

void WindowTest::closingWhileTheMachineRuns() {
    PlayGame();
    M->Image1Click(nullptr);
    M->iPlayClick(nullptr);
    M->iPlayClick(nullptr);
    QVERIFY(M->TimerSync2->Interval() != 0);
    M->close();
    M.reset(); // the timers stop before the automata go; the sanitizer build checks the rest
    QVERIFY(SlotMachine == nullptr);
    QCoreApplication::processEvents();
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

void WindowTest::screenshot() {
    for (int Coin = 0; Coin < 3; ++Coin)
        M->Image1Click(nullptr);
    M->iPlayClick(nullptr);
    for (int Tick = 0; Tick < 5; ++Tick)
        M->TimerSync2Timer(nullptr);
    const QString Folder = QStringLiteral(SCREENSHOT_FOLDER);
    QDir().mkpath(Folder);
    QVERIFY(M->grab().save(Folder + QStringLiteral("/window.png")));
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    Application.setQuitOnLastWindowClosed(false);
    WindowTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "WindowTest.moc"
