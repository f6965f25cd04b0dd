#include "window/Controls.h"
#include "window/FormMain.h"
#include "window/Images.h"

#include "tests/PaintCounter.h"
#include "tests/WindowPlayer.h"

#include <QAccessible>
#include <QTest>

using namespace sm;

namespace {

QList<QPixmap> ColouredFrames(int Count) {
    QList<QPixmap> Frames;
    for (int Frame = 0; Frame < Count; ++Frame) {
        QPixmap Picture(30, 45);
        Picture.fill(QColor::fromHsv(Frame * 5, 200, 200));
        Frames << Picture;
    }
    return Frames;
}

} // namespace

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void frameIndex_data();
    void frameIndex();
    void barrelsPaintOnTheClocksFrames();
    void picturesToAssistiveTechnology();
    void shapeRepaintsOnAStyleChange_data();
    void shapeRepaintsOnAStyleChange();
};

void ToolkitTest::frameIndex_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("shown");
    QTest::addColumn<bool>("repainted");
    QTest::newRow("current") << 40 << 40 << false;
    QTest::newRow("next") << 41 << 41 << true;
    QTest::newRow("first") << 0 << 0 << true;
    QTest::newRow("last") << 60 << 60 << true;
    QTest::newRow("past the last") << 61 << 40 << false;
    QTest::newRow("negative") << -1 << 40 << false;
}

void ToolkitTest::frameIndex() {
    QFETCH(int, index);
    QFETCH(int, shown);
    QFETCH(bool, repainted);
    QWidget Window;
    auto* Barrel = new TFrameImage(61, &Window);
    Barrel->setGeometry(0, 0, 30, 45);
    Barrel->SetFrames(ColouredFrames(61));
    Barrel->SetFrameIndex(40);
    Barrel->UpdateFrame();
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    TPaintCounter Counter(Barrel);
    Barrel->SetFrameIndex(index);
    Barrel->UpdateFrame();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Barrel->FrameIndex(), shown);
    QCOMPARE(Counter.Paints > 0, repainted);
    QCOMPARE(Barrel->grab().toImage().pixel(15, 22), QColor::fromHsv(shown * 5, 200, 200).rgb());
}

// However often the machine turns a barrel between two of the clock's frames, it is painted once,
// on the frame; when no frame follows, once the input that turned it is over.
void ToolkitTest::barrelsPaintOnTheClocksFrames() {
    TPlayedWindow Played;
    TSlotMachine& Window = Played.Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    Played.Game(); // spinning, the first stop set
    QCoreApplication::sendPostedEvents();
    TPaintCounter Counter(Window.Barrel2); // turned every millisecond
    for (int Input = 0; Input < 5; ++Input, Played.Idle(3)) {
        Window.Clock().CatchUp(); // as every input does first
        QCoreApplication::sendPostedEvents();
    }
    QCOMPARE(Counter.Paints, 0);
    Window.Clock().Frame();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Counter.Paints, 1);
    // An input whose catch-up takes the last stops of a lost game (2 4 6): the frames end.
    Window.Clock().Do([](TMachine& M) {
        M.SetFrameIndex(1, 5);
        M.SetFrameIndex(2, 20);
        M.SetFrameIndex(3, 34);
        M.TimerB1Timer();
        M.TimerB2Timer();
        M.TimerB3Timer();
    });
    QVERIFY(!Window.Clock().Ticking());
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Counter.Paints, 2);
}

void ToolkitTest::picturesToAssistiveTechnology() {
    // Made alone, as a screen reader that already runs sees each picture the moment it exists.
    TImage Picture;
    TFrameImage Barrel(61);
    int Clicks = 0;
    connect(&Picture, &TImage::Click, this, [&Clicks] { ++Clicks; });
    Picture.show();
    QAccessibleInterface* Button = QAccessible::queryAccessibleInterface(&Picture);
    QCOMPARE(Button->role(), QAccessible::Button);
    Button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(Clicks, 1);
    QAccessibleInterface* Shown = QAccessible::queryAccessibleInterface(&Barrel);
    QCOMPARE(Shown->role(), QAccessible::Graphic); // a barrel takes no clicks
    QVERIFY(!Shown->actionInterface() || Shown->actionInterface()->actionNames().isEmpty());
}

void ToolkitTest::shapeRepaintsOnAStyleChange_data() {
    QTest::addColumn<bool>("closedBefore");
    QTest::addColumn<bool>("closedAfter");
    QTest::newRow("closing") << false << true;
    QTest::newRow("opening") << true << false;
    QTest::newRow("open again") << false << false;
    QTest::newRow("closed again") << true << true;
}

void ToolkitTest::shapeRepaintsOnAStyleChange() {
    QFETCH(bool, closedBefore);
    QFETCH(bool, closedAfter);
    const auto Style = [](bool Closed) {
        return Closed ? TBrushStyle::bsDiagCross : TBrushStyle::bsSolid;
    };
    QWidget Window;
    auto* Shape = new TShape(&Window);
    Shape->setGeometry(0, 0, 9, 49);
    Shape->SetBrushStyle(Style(closedBefore));
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    QCoreApplication::sendPostedEvents();
    TPaintCounter Counter(Shape);
    Shape->SetBrushStyle(Style(closedAfter));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Shape->BrushStyle(), Style(closedAfter));
    QCOMPARE(Counter.Paints > 0, closedBefore != closedAfter);
}

QTEST_MAIN(ToolkitTest)
#include "ToolkitTest.moc"
