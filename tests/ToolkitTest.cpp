#include "window/Controls.h"
#include "window/Images.h"
#include "window/Timer.h"

#include "tests/PaintCounter.h"

#include <QAccessible>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

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
    void fastFramesRepaintOncePerScreenFrame();
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
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    TPaintCounter Counter(Barrel);
    Barrel->SetFrameIndex(index);
    // A change right after the last repaint waits for the next screen frame; let it come.
    TRepaintPacer::Of(Barrel)->Flush();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Barrel->FrameIndex(), shown);
    QCOMPARE(Counter.Paints > 0, repainted);
    QCOMPARE(Barrel->grab().toImage().pixel(15, 22), QColor::fromHsv(shown * 5, 200, 200).rgb());
}

void ToolkitTest::fastFramesRepaintOncePerScreenFrame() {
    // Three barrels of one window, stepped by their own timers.
    QWidget Window;
    std::vector<std::unique_ptr<TPaintCounter>> Counters;
    for (int Left : {0, 32, 64}) {
        auto* Barrel = new TFrameImage(61, &Window);
        Barrel->setGeometry(Left, 0, 30, 45);
        Barrel->SetFrames(ColouredFrames(61));
    }
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    const auto Barrels = Window.findChildren<TFrameImage*>();
    for (TFrameImage* Barrel : Barrels)
        Counters.push_back(std::make_unique<TPaintCounter>(Barrel));
    TRepaintPacer* Pacer = TRepaintPacer::Of(Barrels[0]);
    for (int Frame = 1; Frame <= 10; ++Frame) // ten 1 ms ticks in a row, the others between
        for (TFrameImage* Barrel : Barrels)
            Barrel->SetFrameIndex(Frame);
    QCoreApplication::sendPostedEvents();
    // The first change at once, everything after it waits for the next screen frame.
    QCOMPARE(Counters[0]->Paints, 1);
    QCOMPARE(Counters[1]->Paints + Counters[2]->Paints, 0);
    QVERIFY(Pacer->Waiting());
    Pacer->Flush(); // the screen frame comes
    QCoreApplication::sendPostedEvents();
    for (const auto& Counter : Counters)
        QCOMPARE(Counter->Paints, Counter == Counters[0] ? 2 : 1);
    // What is painted last is the latest frame.
    QCOMPARE(Barrels[2]->grab().toImage().pixel(15, 22), QColor::fromHsv(10 * 5, 200, 200).rgb());
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
