// The window in a lecture: help at F1 that names every key as the tooltips do, the file keys.
#include "tests/Boxes.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/FormMain.h"
#include "window/HelpWindow.h"
#include "window/WindowScale.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
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
    void ctrlPlusScalesTheWindowAsOnePicture();
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

namespace {

// How far two pictures of one size differ where they differ most: the mean over the pixels and
// channels of each tile of a grid, from 0 to 255, the largest of them.
double WorstTileDifference(const QImage& First, const QImage& Second, QSize Grid) {
    const QImage A = First.convertToFormat(QImage::Format_RGB32);
    const QImage B = Second.convertToFormat(QImage::Format_RGB32);
    double Worst = 0;
    for (int Row = 0; Row < Grid.height(); ++Row)
        for (int Column = 0; Column < Grid.width(); ++Column) {
            const QRect Tile(
                QPoint(A.width() * Column / Grid.width(), A.height() * Row / Grid.height()),
                QPoint(A.width() * (Column + 1) / Grid.width() - 1,
                       A.height() * (Row + 1) / Grid.height() - 1));
            double Sum = 0;
            for (int Y = Tile.top(); Y <= Tile.bottom(); ++Y)
                for (int X = Tile.left(); X <= Tile.right(); ++X) {
                    const QRgb P = A.pixel(X, Y);
                    const QRgb Q = B.pixel(X, Y);
                    Sum += std::abs(qRed(P) - qRed(Q)) + std::abs(qGreen(P) - qGreen(Q)) +
                           std::abs(qBlue(P) - qBlue(Q));
                }
            Worst = std::max(Worst, Sum / (3.0 * Tile.width() * Tile.height()));
        }
    return Worst;
}

} // namespace

void ClassroomTest::ctrlPlusScalesTheWindowAsOnePicture() {
    QImage Plain;
    {
        TPlayedWindow Played;
        TSlotMachine& Window = Played.Window;
        Window.show();
        QVERIFY(QTest::qWaitForWindowActive(&Window));
        Played.Coin();
        Plain = Window.grab().toImage();
        for (int Press = 0; Press < 4; ++Press)
            Played.Key(Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(Window.findChild<TWindowScale*>()->Scale(), 2.0);
    }
    // Kept for the next start.
    TPlayedWindow Played;
    TSlotMachine& Window = Played.Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    Played.Coin();
    QCOMPARE(Window.size(), Plain.size() * 2);
    // Seen from the back of the hall: glyphs rounded at another size blur into the same grey;
    // a control left at its size does not, even a small field.
    const QSize Far = Plain.size() / 3;
    const auto Seen = [Far](const QImage& Grab) {
        return Grab.scaled(Far, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage Large = Window.grab().toImage();
    const double Difference = WorstTileDifference(Seen(Large), Seen(Plain), QSize(16, 6));
    QVERIFY2(Difference < 19, qPrintable(QString::number(Difference)));
    Played.Key(Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(Window.size(), Plain.size());
}

int main(int Argc, char** Argv) {
    // The scale is kept in the settings: a folder of the test's own, before they are first read.
    QTemporaryDir Config;
    qputenv("XDG_CONFIG_HOME", Config.path().toUtf8());
    TApplication Application(Argc, Argv);
    ClassroomTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "ClassroomTest.moc"
