// The window in a lecture: help at F1 that names every key as the tooltips do, the file keys.
#include "tests/Boxes.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/FormMain.h"
#include "window/HelpWindow.h"

#include <QAction>
#include <QTest>
#include <QTextBrowser>

using namespace sm;

class ClassroomTest : public QObject {
    Q_OBJECT

private slots:
    void helpNamesEveryKey();
    void fileKeysOpenTheirDialogs_data();
    void fileKeysOpenTheirDialogs();
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

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    ClassroomTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "ClassroomTest.moc"
