// The window as a real X server shows it. A widget's grab() paints it afresh, so it cannot see a
// repaint that never reached the screen; these tests read the pixels back from the server.
#include "slotmachine/Rules.h"
#include "tests/Pixels.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/FormMain.h"
#include "window/Pictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xproto.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>

using namespace sm;

namespace {

// Why there is no X server to test on; empty when there is one.
QString NoServer;

using TReply = std::unique_ptr<void, decltype(&std::free)>;

// What the server shows in a rectangle of a window, as 32-bit pixels.
QImage ReadBack(xcb_connection_t* Connection, xcb_window_t Window, const QRect& Area) {
    const auto Cookie =
        xcb_get_image(Connection, XCB_IMAGE_FORMAT_Z_PIXMAP, Window, static_cast<int16_t>(Area.x()),
                      static_cast<int16_t>(Area.y()), static_cast<uint16_t>(Area.width()),
                      static_cast<uint16_t>(Area.height()), ~0u);
    xcb_get_image_reply_t* Reply = xcb_get_image_reply(Connection, Cookie, nullptr);
    const TReply Owner(Reply, &std::free);
    if (!Reply || xcb_get_image_data_length(Reply) != Area.width() * Area.height() * 4)
        return {};
    return QImage(xcb_get_image_data(Reply), Area.width(), Area.height(),
                  qsizetype{Area.width()} * 4, QImage::Format_RGB32)
        .copy();
}

// Read through Qt's own connection, so the server has taken every picture Qt sent before.
QImage OnScreen(const QWidget* Widget) {
    auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    const QWidget* Window = Widget->window();
    return ReadBack(X11->connection(), static_cast<xcb_window_t>(Window->winId()),
                    QRect(Widget->mapTo(Window, QPoint(0, 0)), Widget->size()));
}

// The clock's next screen frame: the machine catches up with the test's wall clock, the barrels
// are repainted and Qt flushes them to the server.
void NextScreenFrame(TSlotMachine& Window) {
    Window.Clock().Frame();
    QCoreApplication::sendPostedEvents();
}

// A barrel on screen shows the picture of the frame its machine says, within rounding.
void VerifyBarrelShows(const TSlotMachine& Window, int Barrel, int Frame) {
    const QList<TFrameImage*> Barrels = {Window.Barrel1, Window.Barrel2, Window.Barrel3};
    const QImage Shown = OnScreen(Barrels[Barrel]);
    QVERIFY2(!Shown.isNull(), "the server gave no picture");
    const int Difference = LargestChannelDifference(Shown, BarrelFrames()[Frame].toImage());
    QVERIFY2(Difference <= 2, qPrintable(QStringLiteral("barrel %1 on frame %2: difference %3")
                                             .arg(Barrel + 1)
                                             .arg(Frame)
                                             .arg(Difference)));
}

// The inside of the slot indicator: all white while open, white hatch on black while closed.
bool ShowsSolid(const QImage& Indicator) {
    for (int Y = 1; Y < Indicator.height() - 1; ++Y)
        for (int X = 1; X < Indicator.width() - 1; ++X)
            if (qGray(Indicator.pixel(X, Y)) < 128)
                return false;
    return true;
}

} // namespace

class ScreenTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void barrelsTurnAndStopOnScreen();
    void barrelsTurnAtEverySpeed_data();
    void barrelsTurnAtEverySpeed();
    void slotIndicatorOnScreen();
    void programTurnsItsBarrels();
};

void ScreenTest::init() {
    if (!NoServer.isEmpty())
        QSKIP(qPrintable(NoServer));
}

void ScreenTest::barrelsTurnAndStopOnScreen() {
    TSlotMachine Window;
    int64_t Wall = 0;
    Window.Clock().SetWallClock([&Wall] { return Wall; });
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    ClickCoin(Window);
    Click(Window.iPlay);
    TMachine& Machine = Window.Machine();
    QSet<int> Seen;
    for (int Frame = 0; Frame < 12; ++Frame) {
        Wall += TMachineClock::FrameMs;
        NextScreenFrame(Window);
        for (int Barrel = 0; Barrel < 3; ++Barrel) {
            VerifyBarrelShows(Window, Barrel, Machine.Displays().Barrels[Barrel]);
            if (QTest::currentTestFailed())
                return;
            Seen.insert(Machine.Displays().Barrels[Barrel]);
        }
    }
    QVERIFY(Seen.size() >= 12);
    // The stops, one step after another; after the last the barrels show the digits of the game.
    Click(Window.iPlay);
    while (Window.Clock().Step())
        QCoreApplication::sendPostedEvents();
    for (int Barrel = 0; Barrel < 3; ++Barrel) {
        const int Digit = SymbolOfFrame(Machine.Displays().Barrels[Barrel]);
        VerifyBarrelShows(Window, Barrel, SnapFrameOf(Digit));
    }
}

void ScreenTest::barrelsTurnAtEverySpeed_data() {
    QTest::addColumn<int>("machine");
    QTest::addColumn<int>("wall");
    for (const TMachineClock::TSpeed Speed : TMachineClock::Speeds)
        QTest::addRow("%d/%d", Speed.Machine, Speed.Wall) << Speed.Machine << Speed.Wall;
}

// However slow the machine runs, each barrel's picture on screen changes as often as its spin
// timer ticks in the wall time, within a frame: a slow frame moves the machine a fraction of a
// millisecond, and the fractions must add up.
void ScreenTest::barrelsTurnAtEverySpeed() {
    QFETCH(int, machine);
    QFETCH(int, wall);
    TSlotMachine Window;
    TWindowPlayer Player(Window);
    Window.Clock().SetSpeed({machine, wall});
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    Player.Coin();
    Player.Click(Window.iPlay);
    const QList<TFrameImage*> Barrels = {Window.Barrel1, Window.Barrel2, Window.Barrel3};
    std::array<int, 3> Bound{}; // frames from one picture to the next, at most
    std::array<int, 3> Since{};
    std::array<QImage, 3> Shown;
    NextScreenFrame(Window);
    for (size_t Barrel = 0; Barrel < 3; ++Barrel) {
        const int SpinWall = SpinIntervals[Barrel] * wall / machine;
        Bound[Barrel] = (SpinWall + TMachineClock::FrameMs - 1) / TMachineClock::FrameMs + 1;
        Shown[Barrel] = OnScreen(Barrels[int(Barrel)]);
        QVERIFY2(!Shown[Barrel].isNull(), "the server gave no picture");
    }
    const int Frames = 3 * *std::max_element(Bound.begin(), Bound.end());
    for (int Frame = 0; Frame < Frames; ++Frame) {
        Player.Pass(TMachineClock::FrameMs);
        NextScreenFrame(Window);
        for (size_t Barrel = 0; Barrel < 3; ++Barrel) {
            QImage Now = OnScreen(Barrels[int(Barrel)]);
            if (LargestChannelDifference(Now, Shown[Barrel]) > 2) {
                Shown[Barrel] = std::move(Now);
                Since[Barrel] = 0;
            }
            QVERIFY2(++Since[Barrel] <= Bound[Barrel],
                     qPrintable(QStringLiteral("barrel %1 still after %2 frames at frame %3")
                                    .arg(Barrel + 1)
                                    .arg(Bound[Barrel])
                                    .arg(Frame)));
        }
    }
}

void ScreenTest::slotIndicatorOnScreen() {
    TSlotMachine Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    NextScreenFrame(Window);
    QVERIFY2(ShowsSolid(OnScreen(Window.Shape1)), "the open slot is not solid");
    ClickCoin(Window);
    Click(Window.iPlay); // the stake goes to the bank and the slot closes
    QCOMPARE(Window.Machine().Displays().Shape1, TBrushStyle::bsDiagCross);
    NextScreenFrame(Window);
    const QImage Closed = OnScreen(Window.Shape1);
    QVERIFY2(!ShowsSolid(Closed), "the closed slot is not hatched");
    QVERIFY2(Closed.pixel(Closed.width() / 2, Closed.height() / 2) != 0,
             "the closed slot is not drawn");
}

// The program itself, played by keys through the server: its barrels visibly turn.
void ScreenTest::programTurnsItsBarrels() {
    xcb_connection_t* Connection = xcb_connect(qgetenv("DISPLAY").constData(), nullptr);
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> Owner(Connection,
                                                                             &xcb_disconnect);
    QVERIFY(!xcb_connection_has_error(Connection));
    const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(Connection)).data->root;
    QProcess Program;
    // A state folder of its own: a run killed after its moves leaves its session, which the next
    // start would offer to restore before the keys reach the machine.
    const QTemporaryDir StateFolder;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("XDG_STATE_HOME"), StateFolder.path());
    Program.setProcessEnvironment(Environment);
    Program.start(QStringLiteral(SLOTMACHINE_PATH), {});
    QVERIFY(Program.waitForStarted());
    const auto Stop = qScopeGuard([&Program] {
        Program.kill();
        Program.waitForFinished();
    });

    // Its window is the mapped top-level one that carries its process id.
    const auto PidAtom =
        TReply(xcb_intern_atom_reply(Connection, xcb_intern_atom(Connection, 0, 11, "_NET_WM_PID"),
                                     nullptr),
               &std::free);
    QVERIFY(PidAtom);
    const xcb_atom_t Pid = static_cast<xcb_intern_atom_reply_t*>(PidAtom.get())->atom;
    xcb_window_t Window = XCB_NONE;
    const auto FindWindow = [&] {
        const TReply Tree(
            xcb_query_tree_reply(Connection, xcb_query_tree(Connection, Root), nullptr),
            &std::free);
        const auto* Reply = static_cast<xcb_query_tree_reply_t*>(Tree.get());
        const xcb_window_t* Children = xcb_query_tree_children(Reply);
        for (int Child = 0; Child < xcb_query_tree_children_length(Reply); ++Child) {
            const TReply Property(
                xcb_get_property_reply(
                    Connection,
                    xcb_get_property(Connection, 0, Children[Child], Pid, XCB_ATOM_CARDINAL, 0, 1),
                    nullptr),
                &std::free);
            const auto* Value = static_cast<xcb_get_property_reply_t*>(Property.get());
            if (Value && xcb_get_property_value_length(Value) == 4 &&
                *static_cast<const uint32_t*>(xcb_get_property_value(Value)) ==
                    static_cast<uint32_t>(Program.processId())) {
                const TReply Attributes(xcb_get_window_attributes_reply(
                                            Connection,
                                            xcb_get_window_attributes(Connection, Children[Child]),
                                            nullptr),
                                        &std::free);
                const auto* State =
                    static_cast<xcb_get_window_attributes_reply_t*>(Attributes.get());
                if (State && State->map_state == XCB_MAP_STATE_VIEWABLE)
                    Window = Children[Child];
            }
        }
        return Window != XCB_NONE;
    };
    QVERIFY2(QTest::qWaitFor(FindWindow, 20000), "the program showed no window");
    // The three barrels, in the window's pixels, once it has painted them.
    const QRect Barrels(19, 28, 94, 45);
    const auto Painted = [&] {
        const QImage Picture = ReadBack(Connection, Window, Barrels);
        return !Picture.isNull() && Picture.pixel(15, 22) != Picture.pixel(0, 0);
    };
    QVERIFY2(QTest::qWaitFor(Painted, 20000), "the program painted no barrels");

    // A token, then play, pressed on the keyboard of the window.
    xcb_set_input_focus(Connection, XCB_INPUT_FOCUS_POINTER_ROOT, Window, XCB_CURRENT_TIME);
    const xcb_setup_t* Setup = xcb_get_setup(Connection);
    const int Count = Setup->max_keycode - Setup->min_keycode + 1;
    const TReply Map(
        xcb_get_keyboard_mapping_reply(
            Connection,
            xcb_get_keyboard_mapping(Connection, Setup->min_keycode, static_cast<uint8_t>(Count)),
            nullptr),
        &std::free);
    const auto* Keys = static_cast<xcb_get_keyboard_mapping_reply_t*>(Map.get());
    QVERIFY(Keys);
    for (const xcb_keysym_t Keysym : {0xff63u /* Insert */, 0xff0du /* Return */}) {
        const xcb_keysym_t* Syms = xcb_get_keyboard_mapping_keysyms(Keys);
        for (int Key = 0; Key < Count; ++Key)
            if (Syms[std::ptrdiff_t{Key} * Keys->keysyms_per_keycode] == Keysym) {
                const auto Code = static_cast<uint8_t>(Setup->min_keycode + Key);
                xcb_test_fake_input(Connection, XCB_KEY_PRESS, Code, XCB_CURRENT_TIME, Root, 0, 0,
                                    0);
                xcb_test_fake_input(Connection, XCB_KEY_RELEASE, Code, XCB_CURRENT_TIME, Root, 0, 0,
                                    0);
                break;
            }
    }
    xcb_flush(Connection);
    QSet<size_t> Pictures;
    const auto Turning = [&] {
        const QImage Picture = ReadBack(Connection, Window, Barrels);
        if (!Picture.isNull())
            Pictures.insert(
                qHashBits(Picture.constBits(), static_cast<size_t>(Picture.sizeInBytes())));
        return Pictures.size() >= 5;
    };
    QVERIFY2(QTest::qWaitFor(Turning, 5000),
             qPrintable(QStringLiteral("%1 pictures of the barrels in 5 s").arg(Pictures.size())));
}

int main(int argc, char* argv[]) {
    // The X server the test fixture started, or why there is none.
    QFile Server(QStringLiteral(XSERVER_FOLDER "/display"));
    QFile Reason(QStringLiteral(XSERVER_FOLDER "/reason"));
    if (Server.open(QIODevice::ReadOnly)) {
        qputenv("DISPLAY", Server.readAll().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        NoServer = Reason.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(Reason.readAll().trimmed())
                       : QStringLiteral("no X server: run the test through ctest");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    TApplication Application(argc, argv);
    ScreenTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "ScreenTest.moc"
