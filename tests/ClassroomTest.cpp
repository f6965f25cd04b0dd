// The window in a lecture: help at F1 that names every key as the tooltips do, the file keys.
#include "tests/Boxes.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/FormMain.h"
#include "window/HelpWindow.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTextBrowser>

using namespace sm;

class ClassroomTest : public QObject {
    Q_OBJECT

private slots:
    void helpNamesEveryKey();
    void fileKeysOpenTheirDialogs_data();
    void fileKeysOpenTheirDialogs();
    void menuKeysOpenAMenuFromACheckList_data();
    void menuKeysOpenAMenuFromACheckList();
};

void ClassroomTest::helpNamesEveryKey() {
    TPlayedWindow Played;
    TSlotMachine& Window = Played.Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    Played.Key(Qt::Key_F1);
    auto* Help = Window.findChild<THelpWindow*>();
    QVERIFY(Help && Help->isVisible());
    QVERIFY(!Help->Text()->accessibleName().isEmpty());
    const QString Text = Help->Text()->toPlainText();
    QVERIFY(Text.contains(QStringLiteral("man slotmachine")));
    int Bound = 0;
    for (const QAction* Action : Window.actions())
        for (const QKeySequence& Key : Action->shortcuts()) {
            ++Bound;
            QVERIFY2(Text.contains(Key.toString(QKeySequence::NativeText)),
                     qPrintable(Action->text()));
        }
    QVERIFY(Bound >= 10);
    // The tooltips spell the keys as the help does.
    const QString Play = Window.iPlay->toolTip();
    for (const QString& Key : Play.section(u'(', 1).chopped(1).split(QStringLiteral(", ")))
        QVERIFY2(Text.contains(Key), qPrintable(Key));
}

void ClassroomTest::fileKeysOpenTheirDialogs_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("title");
    QTest::newRow("Ctrl+O") << QKeySequence(QKeySequence::Open) << "Открыть сеанс";
    QTest::newRow("Ctrl+S") << QKeySequence(QKeySequence::Save) << "Сохранить сеанс";
}

void ClassroomTest::fileKeysOpenTheirDialogs() {
    QFETCH(QKeySequence, key);
    QFETCH(QString, title);
    TPlayedWindow Played;
    Played.Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&Played.Window));
    QString Shown;
    WhenModal([&Shown](QWidget* Modal) {
        Shown = Modal->windowTitle();
        QMetaObject::invokeMethod(Modal, "reject");
        return true;
    });
    QTest::keySequence(Played.Window.windowHandle(), key);
    QCOMPARE(Shown, title);
}

void ClassroomTest::menuKeysOpenAMenuFromACheckList_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::newRow("Shift+F10") << QKeySequence(Qt::SHIFT | Qt::Key_F10);
    QTest::newRow("Menu") << QKeySequence(Qt::Key_Menu);
}

void ClassroomTest::menuKeysOpenAMenuFromACheckList() {
    QFETCH(QKeySequence, key);
    TPlayedWindow Played;
    TSlotMachine& Window = Played.Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    // A click on a box gives the list the focus and moves its marked item there.
    const QRect Item = Window.cbA1LogSettings->visualItemRect(Window.cbA1LogSettings->item(2));
    QTest::mouseClick(Window.cbA1LogSettings->viewport(), Qt::LeftButton, {},
                      QPoint(Item.left() + 6, Item.center().y()));
    QCOMPARE(QApplication::focusWidget(), Window.cbA1LogSettings);
    QCOMPARE(Window.cbA1LogSettings->currentRow(), 2);
    QTest::keySequence(Window.windowHandle(), key);
    auto* Menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(Menu);
    Menu->close();
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    ClassroomTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "ClassroomTest.moc"
