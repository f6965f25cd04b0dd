#include "window/AutomataWindow.h"
#include "sessions/Coverage.h"
#include "sessions/Explore.h"
#include "sessions/Files.h"
#include "sessions/Session.h"
#include "tests/Boxes.h"
#include "tests/PaintCounter.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/ClockStrip.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"
#include "window/LogPanel.h"
#include "window/PictureFile.h"
#include "window/SequenceChart.h"
#include "window/StateTimeline.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDockWidget>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <future>
#include <memory>

using namespace sm;

Q_DECLARE_METATYPE(sm::TTarget)

namespace {

// A game won on 2 2 2 and paid out, then a counterfeit token and a reset; one step a row.
const struct {
    const char* Name;
    void (*Play)(TSlotMachine&);
} Script[] = {
    {"token", [](TSlotMachine& W) { ClickCoin(W); }},
    {"second token", [](TSlotMachine& W) { ClickCoin(W); }},
    {"play", [](TSlotMachine& W) { Click(W.iPlay); }},
    {"play again", [](TSlotMachine& W) { Click(W.iPlay); }},
    {"first barrel stops",
     [](TSlotMachine& W) {
         W.Machine().SetFrameIndex(1, 5);
         W.Machine().SetFrameIndex(2, 9);
         W.Machine().SetFrameIndex(3, 7);
         Fire<&TMachine::TimerB1Timer>(W);
     }},
    {"second barrel stops", Fire<&TMachine::TimerB2Timer>},
    {"third barrel stops", Fire<&TMachine::TimerB3Timer>},
    {"a pay tick", Fire<&TMachine::JackTimerTimer>},
    {"paid out",
     [](TSlotMachine& W) {
         while (W.Machine().Interval(JackTimer) != 0)
             Fire<&TMachine::JackTimerTimer>(W);
     }},
    {"counterfeit token", [](TSlotMachine& W) { Click(W.iBadCoin); }},
    {"technical reset", [](TSlotMachine& W) { Click(W.btnTechReset); }},
};

bool NearFill(QRgb Pixel) {
    const QColor Fill = TDiagramView::CurrentFill();
    return std::abs(qRed(Pixel) - Fill.red()) <= 4 && std::abs(qGreen(Pixel) - Fill.green()) <= 4 &&
           std::abs(qBlue(Pixel) - Fill.blue()) <= 4;
}

// The automata whose diagrams show a lit edge at the moment.
QList<int> LitAutomata(const TAutomataWindow& Window) {
    QList<int> Lit;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagramView* View = Window.View(Automaton);
        for (const TDiagramEdge& Edge : View->Diagram().Edges)
            if (View->EdgeGlow(Edge.Row) > 0) {
                Lit << Automaton;
                break;
            }
    }
    return Lit;
}

// Where an edge runs: its curves sampled finely, then the arrowhead's line to its tip.
std::vector<QPointF> Trace(const TEdgePlace& Place) {
    std::vector<QPointF> Points;
    const auto At = [](const std::vector<TDiagramPoint>& Curve, size_t First, double T) {
        const double U = 1 - T;
        const double Weights[] = {U * U * U, 3 * U * U * T, 3 * U * T * T, T * T * T};
        QPointF Point;
        for (size_t Index = 0; Index < 4; ++Index)
            Point += Weights[Index] * QPointF(Curve[First + Index].X, Curve[First + Index].Y);
        return Point;
    };
    for (const auto& Curve : Place.Curves)
        for (size_t First = 0; First + 3 < Curve.size(); First += 3)
            for (int Step = 0; Step <= 64; ++Step)
                Points.push_back(At(Curve, First, Step / 64.0));
    if (Place.Arrow && !Points.empty())
        for (int Step = 1; Step <= 8; ++Step)
            Points.push_back(Points.back() +
                             (QPointF(Place.Tip.X, Place.Tip.Y) - Points.back()) * Step / 8.0);
    return Points;
}

// Rows from the top to the bottom of the dark pixels: text is darker than anything else there.
int InkHeight(const QImage& Picture) {
    int Top = -1;
    int Bottom = -1;
    for (int Y = 0; Y < Picture.height(); ++Y)
        for (int X = 0; X < Picture.width(); ++X)
            if (qGray(Picture.pixel(X, Y)) < 160) {
                Top = Top < 0 ? Y : Top;
                Bottom = Y;
                break;
            }
    return Top < 0 ? 0 : Bottom - Top + 1;
}

// A label's lines in the window's font at 1, as the window draws them.
QImage Reference(const TLabel& Label) {
    const QFont Font = TApplication::WindowFont();
    const QFontMetricsF Metrics(Font);
    QImage Picture(400, int(double(Label.size() + 1) * Metrics.lineSpacing()),
                   QImage::Format_RGB32);
    Picture.fill(Qt::white);
    QPainter Painter(&Picture);
    Painter.setFont(Font);
    Painter.setPen(Qt::black);
    for (size_t Line = 0; Line < Label.size(); ++Line)
        Painter.drawText(QPointF(2, Metrics.ascent() + double(Line) * Metrics.lineSpacing()),
                         QString::fromStdString(PlainText(Label[Line])));
    return Picture;
}

// Timers by name: those the strip lists, with their milliseconds to go, or those running, with
// their intervals.
QMap<QString, int> Listed(const TClockStrip& Strip) {
    static const QRegularExpression Entry(QStringLiteral("(\\w+):\\D*(\\d+) мс"));
    QMap<QString, int> Timers;
    for (const auto& Match : Entry.globalMatch(Strip.TimersLabel()->text()))
        Timers[Match.captured(1)] = Match.captured(2).toInt();
    return Timers;
}

QMap<QString, int> Intervals(const TMachine& Machine) {
    QMap<QString, int> Timers;
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        if (const int Interval = Machine.Interval(TTimerId(Timer)))
            Timers[QString::fromLatin1(TimerName(TTimerId(Timer)))] = Interval;
    return Timers;
}

} // namespace

class AutomataWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TSlotMachine> M;
    qint64 FNow = 0;

    TAutomataWindow* Open() {
        QTest::keyClick(M.get(), Qt::Key_F2);
        TAutomataWindow* Window = M->AutomataWindow();
        if (Window) {
            Window->SetClock([this] { return FNow; });
            Window->resize(Window->sizeHint()); // every diagram at its own size
        }
        return Window;
    }
    // Opened at 500 × 400 and active, so that it takes the zoom keys.
    TAutomataWindow* OpenSmall() {
        TAutomataWindow* Window = Open();
        if (Window) {
            Window->resize(500, 400);
            Window->activateWindow();
            QCoreApplication::processEvents();
        }
        return Window;
    }
    // Time goes on and the fade timer fires, as often as the loop would let it.
    void Pass(TAutomataWindow& Window, qint64 Milliseconds) {
        for (const qint64 End = FNow + Milliseconds; FNow < End;) {
            FNow = std::min(End, FNow + TAutomataWindow::FrameMs);
            Window.Tick();
        }
    }

private slots:
    void init();
    void cleanup();

    void f2OpensOneWindow();
    void contextMenusOfferIt_data();
    void contextMenusOfferIt();
    void followsAScriptedGame_data();
    void followsAScriptedGame();
    void stepsLightInProtocolOrder_data();
    void stepsLightInProtocolOrder();
    void switchesOffDoNotBlindIt();
    void spinTicksPaintNothing();
    void noEdgeCrossesALabel_data();
    void noEdgeCrossesALabel();
    void labelsKeepTheWindowFont_data();
    void labelsKeepTheWindowFont();
    void zooms_data();
    void zooms();
    void fitFollowsTheWindow_data();
    void fitFollowsTheWindow();
    void loopLightsNoEntry_data();
    void loopLightsNoEntry();
    void startStateOnTop_data();
    void startStateOnTop();
    void mainWindowUnchanged();
    void closingTheMachineEndsTheLoop();
    void stripFollowsTheClock_data();
    void stripFollowsTheClock();
    void stripFollowsInputs_data();
    void stripFollowsInputs();
    void stripShowsTheMachineTime_data();
    void stripShowsTheMachineTime();
    void litStepsHoldWhilePaused_data();
    void litStepsHoldWhilePaused();
    void aSessionPlayedStartsDark();
    void chartNestsACascade_data();
    void chartNestsACascade();
    void anArrowShowsItsMessage_data();
    void anArrowShowsItsMessage();
    void arrangementIsKept();
    void timelineFollowsStates_data();
    void timelineFollowsStates();
    void aBarShowsItsMessage_data();
    void aBarShowsItsMessage();
    void picturesAreWholeOrNothing_data();
    void picturesAreWholeOrNothing();
    void screenshot();
    void coverageIsTheReplays_data();
    void coverageIsTheReplays();
    void coverageStartsAnew();
    void unreachableRowsLeftOut();
    void theWayTakesItsTarget_data();
    void theWayTakesItsTarget();
    void closingWhileSearching();
};

void AutomataWindowTest::init() {
    // The real search takes seconds; a test that needs its answer gives its own.
    TAutomataWindow::SetExplorer([] { return TReachable(); });
    // The window keeps its arrangement in the settings: a test's own, and empty for each test.
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QCoreApplication::applicationName(), QCoreApplication::applicationName()).clear();
    M = std::make_unique<TSlotMachine>();
    M->show();
    // F2 reaches the window's shortcut only while the window is the active one.
    M->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(M.get()));
    TErrorBox::Instance().Presenter = [](const QString& Text) { QFAIL(qPrintable(Text)); };
    FNow = 0;
}

void AutomataWindowTest::cleanup() {
    M.reset();
}

void AutomataWindowTest::f2OpensOneWindow() {
    QVERIFY(!M->AutomataWindow()); // nothing is laid out until asked for
    TAutomataWindow* Window = Open();
    QVERIFY(Window && Window->isVisible());
    QVERIFY(Window->isWindow());
    QCOMPARE(Window->windowTitle(), QStringLiteral("Автоматы"));
    QCOMPARE(Window->accessibleName(), QStringLiteral("Автоматы"));
    QCOMPARE(Window->accessibleDescription(),
             QStringLiteral("A0: 0 Ожидание; A1: 0 Монетоприёмник пуст; A2: 0 Барабаны "
                            "остановлены"));
    QCOMPARE(Window->View(A1)->accessibleName(), QStringLiteral("A1 Монетоприемник"));
    ClickCoin(*M);
    QVERIFY(Window->View(A1)->accessibleDescription().startsWith(
        QStringLiteral("Текущее состояние: 1 Жетон принят. ")));
    Window->close();
    QVERIFY(!Window->isVisible());
    QCOMPARE(Open(), Window); // the same window, laid out once
    QVERIFY(Window->isVisible());
    QCOMPARE(Window->View(A0)->CurrentState(), int(TAutomatonSlotMachine::Accepting));
}

void AutomataWindowTest::contextMenusOfferIt_data() {
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("offered");
    QTest::newRow("free background") << "SlotMachine" << QPoint(450, 300) << true;
    QTest::newRow("bare panel") << "Panel1" << QPoint(240, 5) << true;
    QTest::newRow("protocol") << "Log" << QPoint(50, 50) << true;
    QTest::newRow("a label") << "Label1" << QPoint(5, 5) << false;
    QTest::newRow("a coin") << "Image1" << QPoint(16, 16) << false;
}

void AutomataWindowTest::contextMenusOfferIt() {
    QFETCH(QString, widget);
    QFETCH(QPoint, point);
    QFETCH(bool, offered);
    QWidget* Target = widget == M->objectName() ? M.get() : M->findChild<QWidget*>(widget);
    QVERIFY(Target);
    if (auto* Area = qobject_cast<QAbstractScrollArea*>(Target))
        Target = Area->viewport();
    QContextMenuEvent Event(QContextMenuEvent::Mouse, point, Target->mapToGlobal(point));
    QApplication::sendEvent(Target, &Event);
    QMenu* Menu = nullptr;
    for (QWidget* Each : QApplication::topLevelWidgets())
        if (Each->isVisible() && qobject_cast<QMenu*>(Each))
            Menu = qobject_cast<QMenu*>(Each);
    QAction* Item = nullptr;
    if (Menu)
        for (QAction* Each : Menu->actions())
            if (Each->text() == QStringLiteral("Автоматы"))
                Item = Each;
    QCOMPARE(Item != nullptr, offered);
    if (!Item)
        return;
    QCOMPARE(Item->shortcut(), QKeySequence(Qt::Key_F2));
    Item->trigger();
    Menu->close();
    QVERIFY(M->AutomataWindow() && M->AutomataWindow()->isVisible());
}

void AutomataWindowTest::followsAScriptedGame_data() {
    QTest::addColumn<int>("steps");
    for (size_t Step = 0; Step <= std::size(Script); ++Step)
        QTest::newRow(Step == 0 ? "start" : Script[Step - 1].Name) << int(Step);
}

void AutomataWindowTest::followsAScriptedGame() {
    QFETCH(int, steps);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    QCoreApplication::processEvents();
    // Painted after every step, as on a screen: what a step does not repaint stays as it was.
    for (int Step = 0; Step < steps; ++Step) {
        Script[Step].Play(*M);
        Pass(*Window, TAutomataWindow::FrameMs);
        QCoreApplication::processEvents();
    }
    Pass(*Window, 2 * TDiagramView::FadeMs); // no glow over the colours read below
    QVERIFY(!Window->Fading());
    QCoreApplication::processEvents();
    // What the window last showed, not painted afresh as grab() would.
    const QImage Picture = Window->screen()->grabWindow(Window->winId()).toImage();
    const qreal Ratio = Picture.devicePixelRatio();
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagramView* View = Window->View(Automaton);
        QCOMPARE(View->CurrentState(), M->Machine().State(Automaton));
        for (const TDiagramNode& Node : View->Diagram().Nodes) {
            const QRectF Box = View->NodeRect(Node.State).translated(View->mapTo(Window, QPoint()));
            int Filled = 0;
            for (int Y = int(Box.top() * Ratio) + 3; Y < int(Box.bottom() * Ratio) - 3; ++Y)
                for (int X = int(Box.left() * Ratio) + 3; X < int(Box.right() * Ratio) - 3; ++X)
                    Filled += NearFill(Picture.pixel(X, Y));
            const bool Current = Node.State == View->CurrentState();
            QVERIFY2(Current ? Filled > Box.width() * Box.height() / 3 : Filled == 0,
                     qPrintable(QStringLiteral("A%1 state %2: %3 filled pixels")
                                    .arg(Automaton)
                                    .arg(Node.State)
                                    .arg(Filled)));
        }
    }
}

void AutomataWindowTest::stepsLightInProtocolOrder_data() {
    QTest::addColumn<int>("before"); // script steps played before the window opens
    QTest::addColumn<int>("step");
    QTest::newRow("token") << 0 << 0;
    QTest::newRow("play") << 2 << 2;
    QTest::newRow("third barrel stops") << 6 << 6;
    QTest::newRow("counterfeit token") << 9 << 9;
}

void AutomataWindowTest::stepsLightInProtocolOrder() {
    QFETCH(int, before);
    QFETCH(int, step);
    for (int Step = 0; Step < before; ++Step)
        Script[Step].Play(*M);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    const qsizetype Seen = M->Log->LineCount();
    Script[step].Play(*M);
    // The automata in the order of their transition messages.
    QList<int> Protocol;
    static const QRegularExpression Transition(QStringLiteral("^Автомат A(\\d) .* перешел "));
    for (qsizetype Line = Seen; Line < M->Log->LineCount(); ++Line)
        if (const auto Match = Transition.match(M->Log->Line(Line)); Match.hasMatch())
            if (const int Automaton = Match.captured(1).toInt(); !Protocol.contains(Automaton))
                Protocol << Automaton;
    QVERIFY(!Protocol.isEmpty());
    // All light at once, whatever the clock does next; all are dark a fade later.
    Window->Tick();
    QList<int> Lit = LitAutomata(*Window);
    std::sort(Protocol.begin(), Protocol.end());
    QCOMPARE(Lit, Protocol);
    QVERIFY(Window->Fading());
    Pass(*Window, TDiagramView::FadeMs);
    QCOMPARE(LitAutomata(*Window), QList<int>{});
    QVERIFY(!Window->Fading());
}

void AutomataWindowTest::switchesOffDoNotBlindIt() {
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        M->Machine().SetLogSwitches(Automaton, TLogSwitches{});
    const qsizetype Lines = M->Log->LineCount();
    ClickCoin(*M);
    QCOMPARE(M->Log->LineCount(), Lines); // not a word in the protocol
    QCOMPARE(Window->View(A1)->CurrentState(), int(TAutomatonMoneyTray::Accepted));
    QCOMPARE(Window->View(A0)->CurrentState(), int(TAutomatonSlotMachine::Accepting));
    QVERIFY(Window->View(A1)->EdgeGlow(0) > 0);
    QVERIFY(Window->View(A1)->EntryGlow(TAutomatonMoneyTray::Accepted) > 0);
}

void AutomataWindowTest::spinTicksPaintNothing() {
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    QTRY_VERIFY(Window->ReachableKnown()); // its answer repaints once
    Script[0].Play(*M);
    Script[2].Play(*M); // the barrels spin
    Pass(*Window, 2 * TDiagramView::FadeMs);
    QCoreApplication::processEvents();
    std::vector<std::unique_ptr<TPaintCounter>> Counters;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        Counters.push_back(std::make_unique<TPaintCounter>(Window->View(Automaton)));
    M->Clock().SetWallClock([this] { return FNow; });
    for (int Frame = 0; Frame < 100; ++Frame) {
        FNow += TMachineClock::FrameMs;
        M->Clock().Frame();
        QCoreApplication::processEvents();
    }
    for (const auto& Counter : Counters)
        QCOMPARE(Counter->Paints, 0);
    QVERIFY(!Window->Fading());
    // A press while spinning takes A2's row 2, which changes nothing else: still lit.
    Script[3].Play(*M);
    Script[3].Play(*M);
    QVERIFY(Window->View(A2)->EdgeGlow(2) > 0);
    QVERIFY(Window->View(A0)->RelayGlow(TAutomatonSlotMachine::Game) > 0);
}

void AutomataWindowTest::noEdgeCrossesALabel_data() {
    QTest::addColumn<int>("automaton");
    for (int Automaton = A0; Automaton <= A2; ++Automaton)
        QTest::addRow("A%d", Automaton) << Automaton;
}

void AutomataWindowTest::noEdgeCrossesALabel() {
    QFETCH(int, automaton);
    // Laid out as the window lays it out: the labels measured in the window's font.
    const QFont Font = TApplication::WindowFont();
    const QFontMetricsF Metrics(Font);
    const TDiagram Diagram = DiagramOf(M->Machine(), automaton);
    const TDiagramLayout Layout = TGraphviz().LayOut(Diagram, TDiagramView::Measure(Diagram, Font));
    // What no edge may enter: a state's box a point smaller (its edges end on its border), the
    // other edges' label boxes, and every label's text with a clear margin around it.
    struct TBox {
        QString Name;
        QRectF Box;
        int Row; // the edge that may run along it; -1 for none
    };
    std::vector<TBox> Boxes;
    for (const TDiagramNode& Node : Diagram.Nodes) {
        const TNodePlace& Place = Layout.Nodes[size_t(Node.State)];
        Boxes.push_back(
            {QString::fromStdString(Node.Name),
             QRectF(Place.Left, Place.Top, Place.Width, Place.Height).adjusted(1, 1, -1, -1), -1});
    }
    constexpr double Clear = 3;
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const TEdgePlace& Place = Layout.Edges[size_t(Edge.Row)];
        const QPointF Centre(Place.Label.X, Place.Label.Y);
        const TLabel Label = EdgeLabel(Edge);
        const QString Name = QString::fromStdString(PlainText(Label.front()));
        Boxes.push_back({Name, QRectF(0, 0, Place.LabelWidth, Place.LabelHeight), Edge.Row});
        Boxes.back().Box.moveCenter(Centre);
        double Width = 0;
        for (const TLabelLine& Line : Label)
            Width =
                std::max(Width, Metrics.horizontalAdvance(QString::fromStdString(PlainText(Line))));
        QRectF Text(0, 0, Width + 2 * Clear,
                    double(Label.size()) * Metrics.lineSpacing() + 2 * Clear);
        Text.moveCenter(Centre);
        Boxes.push_back({Name + QStringLiteral(" (текст)"), Text, -1});
    }
    QStringList Crossings;
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const std::vector<QPointF> Points = Trace(Layout.Edges[size_t(Edge.Row)]);
        for (const TBox& Box : Boxes)
            if (Box.Row != Edge.Row &&
                std::any_of(Points.begin(), Points.end(),
                            [&Box](const QPointF& Point) { return Box.Box.contains(Point); }))
                Crossings << QStringLiteral("row %1 through «%2»").arg(Edge.Row).arg(Box.Name);
    }
    QVERIFY2(Crossings.isEmpty(), qPrintable(Crossings.join(QStringLiteral("; "))));
}

void AutomataWindowTest::labelsKeepTheWindowFont_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("scrolls");
    // 1280 × 800 is what the window takes, nine tenths of the screen, on such a screen.
    QTest::newRow("1280 × 800 screen") << QSize(1152, 720) << true;
    QTest::newRow("500 wide") << QSize(500, 400) << true;
    QTest::newRow("its own size") << QSize() << false;
}

void AutomataWindowTest::labelsKeepTheWindowFont() {
    QFETCH(QSize, size);
    QFETCH(bool, scrolls);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    Window->resize(size.isValid() ? size : Window->sizeHint());
    QCoreApplication::processEvents();
    Pass(*Window, 2 * TDiagramView::FadeMs);
    const QFont Title = [] {
        QFont Bold = TApplication::WindowFont();
        Bold.setBold(true);
        return Bold;
    }();
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        TDiagramView* View = Window->View(Automaton);
        const QString Name = QString::fromStdString(View->Diagram().Title);
        QVERIFY2(QFontMetrics(Title).horizontalAdvance(Name) < View->width(), qPrintable(Name));
        // Every label as high as the same lines in the window's font, whatever shows of it.
        const QImage Picture = View->grab().toImage();
        for (const TDiagramEdge& Edge : View->Diagram().Edges) {
            // Its own edge may run along the label's sides.
            const QRect Box = View->LabelRect(Edge.Row).toAlignedRect().adjusted(3, 0, -3, 0);
            QVERIFY(View->rect().contains(Box));
            const TLabel Label = EdgeLabel(Edge);
            const int Drawn = InkHeight(Picture.copy(Box));
            const int Wanted = InkHeight(Reference(Label));
            QVERIFY2(Drawn >= Wanted - 1, qPrintable(QStringLiteral("A%1 «%2»: %3 px, not %4")
                                                         .arg(Automaton)
                                                         .arg(PlainText(Label.front()).c_str())
                                                         .arg(Drawn)
                                                         .arg(Wanted)));
        }
    }
    QCOMPARE(Window->ScrollArea()->horizontalScrollBar()->maximum() > 0, scrolls);
}

void AutomataWindowTest::zooms_data() {
    QTest::addColumn<int>("key"); // 0: the wheel
    QTest::addColumn<int>("wheel");
    QTest::addColumn<double>("factor");
    const double Step = TAutomataWindow::ZoomStep;
    QTest::newRow("Ctrl+plus") << int(Qt::Key_Plus) << 0 << Step;
    QTest::newRow("Ctrl+=") << int(Qt::Key_Equal) << 0 << Step;
    QTest::newRow("Ctrl+minus") << int(Qt::Key_Minus) << 0 << 1 / Step;
    QTest::newRow("Ctrl+wheel up") << 0 << 120 << Step;
    QTest::newRow("Ctrl+wheel down") << 0 << -120 << 1 / Step;
    QTest::newRow("Ctrl+wheel, half a notch twice") << 0 << 60 << Step;
}

void AutomataWindowTest::zooms() {
    QFETCH(int, key);
    QFETCH(int, wheel);
    QFETCH(double, factor);
    TAutomataWindow* Window = OpenSmall();
    QVERIFY(Window && Window->isActiveWindow());
    QCOMPARE(Window->Scale(), 1.0); // scrolls rather than shrinks
    // Ctrl+0: everything in sight, smaller than 1 if need be.
    QTest::keyClick(Window, Qt::Key_0, Qt::ControlModifier);
    QCoreApplication::processEvents(); // the scroll bars go
    QVERIFY(Window->Scale() < 1);
    QWidget* Viewport = Window->ScrollArea()->viewport();
    const QRect Seen = Viewport->rect();
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagramView* View = Window->View(Automaton);
        QVERIFY(Seen.contains(QRect(View->mapTo(Viewport, QPoint()), View->size())));
    }
    const double Fit = Window->Scale();
    if (key) {
        QTest::keyClick(Window, Qt::Key(key), Qt::ControlModifier);
    } else {
        // Turned over a diagram, as a mouse would; the window, not the diagram, takes it.
        QWidget* Under = Viewport->childAt(Seen.center());
        QVERIFY(qobject_cast<TDiagramView*>(Under));
        const QPointF Point = Under->mapFrom(Viewport, Seen.center());
        for (int Turn = 0; Turn < 120 / std::abs(wheel); ++Turn) {
            QWheelEvent Event(Point, Under->mapToGlobal(Point), {}, QPoint(0, wheel), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(Under, &Event);
        }
    }
    QCOMPARE(Window->Scale(), Fit * factor);
    // Zoomed by hand, the scale stays when the window changes.
    Window->resize(700, 500);
    QCoreApplication::processEvents();
    QCOMPARE(Window->Scale(), Fit * factor);
    // Ctrl+0 again: whole at the new size, larger now.
    QTest::keyClick(Window, Qt::Key_0, Qt::ControlModifier);
    QVERIFY(Window->Scale() > Fit);
}

void AutomataWindowTest::fitFollowsTheWindow_data() {
    QTest::addColumn<QSize>("size"); // the window's after Ctrl+0 at 500 × 400
    QTest::newRow("larger") << QSize(800, 600);
    QTest::newRow("smaller") << QSize(440, 360);
}

void AutomataWindowTest::fitFollowsTheWindow() {
    QFETCH(QSize, size);
    TAutomataWindow* Window = OpenSmall();
    QVERIFY(Window && Window->isActiveWindow());
    QTest::keyClick(Window, Qt::Key_0, Qt::ControlModifier);
    QCoreApplication::processEvents();
    const double Fit = Window->Scale();
    Window->resize(size);
    QCoreApplication::processEvents();
    // Whole at the new size, and no smaller than it needs to be.
    QCOMPARE(Window->Scale() > Fit, size.width() > 500);
    QWidget* Viewport = Window->ScrollArea()->viewport();
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagramView* View = Window->View(Automaton);
        QVERIFY(Viewport->rect().contains(QRect(View->mapTo(Viewport, QPoint()), View->size())));
    }
}

void AutomataWindowTest::loopLightsNoEntry_data() {
    QTest::addColumn<int>("before"); // script steps played before the one watched
    QTest::addColumn<int>("state");  // A1's state after it
    QTest::addColumn<bool>("lit");
    QTest::newRow("first token enters Accepted") << 0 << int(TAutomatonMoneyTray::Accepted) << true;
    QTest::newRow("second token loops in Accepted")
        << 1 << int(TAutomatonMoneyTray::Accepted) << false;
}

void AutomataWindowTest::loopLightsNoEntry() {
    QFETCH(int, before);
    QFETCH(int, state);
    QFETCH(bool, lit);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    for (int Step = 0; Step < before; ++Step)
        Script[Step].Play(*M);
    Pass(*Window, 2 * TDiagramView::FadeMs);
    Script[before].Play(*M);
    Window->Tick();
    const TDiagramView* View = Window->View(A1);
    QCOMPARE(View->CurrentState(), state);
    QVERIFY(!View->Diagram().Nodes[size_t(state)].Entry.empty());
    const auto Row =
        std::find_if(View->Diagram().Edges.begin(), View->Diagram().Edges.end(),
                     [View](const TDiagramEdge& Edge) { return View->EdgeGlow(Edge.Row) > 0; });
    QVERIFY(Row != View->Diagram().Edges.end());
    QCOMPARE(Row->From == Row->To, !lit);
    // A transition that stays in its state runs no entry actions.
    QCOMPARE(View->EntryGlow(state) > 0, lit);
}

void AutomataWindowTest::startStateOnTop_data() {
    QTest::addColumn<int>("automaton");
    for (int Automaton = A0; Automaton <= A2; ++Automaton)
        QTest::addRow("A%d", Automaton) << Automaton;
}

void AutomataWindowTest::startStateOnTop() {
    QFETCH(int, automaton);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    const TDiagramView* View = Window->View(automaton);
    // Graphviz ranks from the top: the state every automaton starts in stands above the rest.
    const QRectF Start = View->NodeRect(0);
    for (const TDiagramNode& Node : View->Diagram().Nodes)
        if (Node.State != 0)
            QVERIFY2(Start.bottom() < View->NodeRect(Node.State).top(),
                     qPrintable(QString::fromStdString(Node.Name)));
}

void AutomataWindowTest::mainWindowUnchanged() {
    // The same game on a twin without the diagrams: same protocol, same displays. Both machines
    // run on the test's clock, so that the barrels spin alike while the windows wait for focus.
    TSlotMachine Twin;
    M->Clock().SetWallClock([this] { return FNow; });
    Twin.Clock().SetWallClock([this] { return FNow; });
    Twin.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Twin));
    M->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(M.get()));
    const QImage Closed = M->grab().toImage();
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    QCOMPARE(M->grab().toImage(), Closed);
    for (const auto& Step : Script) {
        Step.Play(*M);
        Step.Play(Twin);
        Pass(*Window, TAutomataWindow::FrameMs);
    }
    Window->close();
    // Each grabbed as the active window; the protocol's stamps may differ by a second, so its
    // messages are compared below instead.
    const auto Face = [](TSlotMachine& Main) {
        Main.activateWindow();
        (void)QTest::qWaitForWindowActive(&Main);
        QImage Picture = Main.grab().toImage();
        QPainter(&Picture).fillRect(Main.Log->geometry(), Qt::black);
        return Picture;
    };
    QCOMPARE(Face(*M), Face(Twin));
    const auto Messages = [](const TLogPanel& Log) {
        QStringList Result;
        for (qsizetype Line = 0; Line < Log.LineCount(); ++Line)
            if (Log.Line(Line).startsWith(QLatin1String("Автомат")))
                Result << Log.Line(Line);
        return Result;
    };
    QCOMPARE(Messages(*M->Log), Messages(*Twin.Log));
    QVERIFY(M->Machine().Displays() == Twin.Machine().Displays());
}

void AutomataWindowTest::closingTheMachineEndsTheLoop() {
    QVERIFY(Open());
    Script[0].Play(*M);
    Script[2].Play(*M); // the barrels spin and the steps fade
    QTimer::singleShot(0, M.get(), [this] {
        AnswerBox(QStringLiteral("Не сохранять"));
        M->windowHandle()->close();
    });
    QTimer Deadline; // a loop that the diagrams keep alive fails
    connect(&Deadline, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    Deadline.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    M.reset(); // the diagrams go first, then the machine they watch
    QCoreApplication::processEvents();
}

void AutomataWindowTest::stripFollowsTheClock_data() {
    QTest::addColumn<int>("from");          // the slowdown set first, 0 for 2×
    QTest::addColumn<QKeySequence>("keys"); // then pressed
    QTest::addColumn<QString>("control");   // then the strip's own control used
    QTest::addColumn<QString>("speed");
    QTest::addColumn<bool>("paused");
    QTest::newRow("as started") << 1 << QKeySequence() << QString() << "1×" << false;
    QTest::newRow("F7 F7 F8") << 1 << QKeySequence(Qt::Key_F7, Qt::Key_F7, Qt::Key_F8) << QString()
                              << "½×" << false;
    QTest::newRow("by a call") << 10 << QKeySequence() << QString() << "1/10×" << false;
    QTest::newRow("F8 up to 10× and no further")
        << 1 << QKeySequence(Qt::Key_F8, Qt::Key_F8, Qt::Key_F8, Qt::Key_F8) << QString() << "10×"
        << false;
    QTest::newRow("F7 from 2×") << 0 << QKeySequence(Qt::Key_F7) << QString() << "1×" << false;
    QTest::newRow("F7 down to 1/100× and no further")
        << 4 << QKeySequence(Qt::Key_F7, Qt::Key_F7, Qt::Key_F7, Qt::Key_F7) << QString()
        << "1/100×" << false;
    QTest::newRow("up in the box")
        << 1 << QKeySequence() << QStringLiteral("box up") << "2×" << false;
    QTest::newRow("down in the box")
        << 2 << QKeySequence() << QStringLiteral("box") << "¼×" << false;
    QTest::newRow("F6") << 1 << QKeySequence(Qt::Key_F6) << QString() << "1×" << true;
    QTest::newRow("F6 F5") << 1 << QKeySequence(Qt::Key_F6, Qt::Key_F5) << QString() << "1×"
                           << false;
    QTest::newRow("Pause") << 1 << QKeySequence(Qt::Key_Pause) << QString() << "1×" << true;
    QTest::newRow("the button") << 1 << QKeySequence() << QStringLiteral("button") << "1×" << true;
}

void AutomataWindowTest::stripFollowsTheClock() {
    QFETCH(int, from);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, control);
    QFETCH(QString, speed);
    QFETCH(bool, paused);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    // The clock's keys are the window's shortcuts: they reach it while it is active.
    Window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Window));
    const TClockStrip* Strip = Window->Strip();
    M->Clock().SetSpeed(from == 0 ? TMachineClock::TSpeed{2, 1} : TMachineClock::TSpeed{1, from});
    QTest::keySequence(Window, keys);
    if (control == QLatin1String("box"))
        QTest::keyClick(Strip->SpeedBox(), Qt::Key_Down);
    else if (control == QLatin1String("box up"))
        QTest::keyClick(Strip->SpeedBox(), Qt::Key_Up);
    else if (control == QLatin1String("button"))
        QTest::mouseClick(Strip->PauseButton(), Qt::LeftButton);
    QCOMPARE(TClockStrip::SpeedText(M->Clock().Speed()), speed);
    QCOMPARE(Strip->SpeedBox()->currentText(), speed);
    QCOMPARE(M->Clock().Paused(), paused);
    const QToolButton* Pause = Strip->PauseButton();
    QCOMPARE(Pause->isChecked(), paused);
    QCOMPARE(Pause->text(), paused ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    QCOMPARE(Pause->accessibleName(), Pause->text());
    QCOMPARE(Pause->toolTip().contains(QStringLiteral("F5")), paused); // F5 only goes on
    // The reading moves on its own only while the machine runs, and never out of sight.
    QCOMPARE(Strip->Idling(), !paused);
    Window->close();
    QVERIFY(!Strip->Idling());
}

void AutomataWindowTest::stripFollowsInputs_data() {
    QTest::addColumn<int>("steps"); // of the script: a token, another, «Игра», «Игра»
    QTest::addColumn<bool>("paused");
    QTest::addColumn<bool>("ahead"); // a stop timer runs
    for (const bool Paused : {false, true}) {
        const char* Clock = Paused ? "paused" : "running";
        QTest::addRow("%s, nothing played", Clock) << 0 << Paused << false;
        QTest::addRow("%s, the barrels spin", Clock) << 3 << Paused << false;
        QTest::addRow("%s, a stop timer runs", Clock) << 4 << Paused << true;
    }
}

void AutomataWindowTest::stripFollowsInputs() {
    QFETCH(int, steps);
    QFETCH(bool, paused);
    QFETCH(bool, ahead);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    M->Clock().SetPaused(paused);
    for (int Step = 0; Step < steps; ++Step)
        Script[Step].Play(*M);
    QCoreApplication::processEvents(); // the strip reads the timers once the input is over
    QToolButton* StepButton = Window->Strip()->StepButton();
    QCOMPARE(StepButton->isEnabled(), ahead);
    // No time passed since they were set: each has its whole interval ahead.
    if (paused)
        QCOMPARE(Listed(*Window->Strip()), Intervals(M->Machine()));
    if (!ahead)
        return;
    QTest::mouseClick(StepButton, Qt::LeftButton); // fires the first stop timer and holds there
    QVERIFY(M->Clock().Paused());
    QCOMPARE(M->Machine().Interval(TimerB1), 0);
    QVERIFY(M->Machine().Interval(TimerB2) != 0);
}

void AutomataWindowTest::stripShowsTheMachineTime_data() {
    QTest::addColumn<int>("slowdown");
    QTest::addColumn<bool>("spinning"); // a token, «Игра», «Игра»: a stop timer runs
    QTest::addColumn<int>("wall");      // wall-clock milliseconds that pass
    QTest::addColumn<int>("machine");   // the machine's milliseconds they make
    QTest::newRow("idle") << 1 << false << 1250 << 1250;
    QTest::newRow("7 ms on") << 1 << true << 7 << 7;
    QTest::newRow("999 ms on, before any stop") << 1 << true << 999 << 999;
    QTest::newRow("at 1/100×") << 100 << true << 50000 << 500;
}

void AutomataWindowTest::stripShowsTheMachineTime() {
    QFETCH(int, slowdown);
    QFETCH(bool, spinning);
    QFETCH(int, wall);
    QFETCH(int, machine);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    TWindowPlayer Player(*M);
    M->Clock().SetSpeed({1, slowdown});
    if (spinning)
        Player.Game();
    const QMap<QString, int> Set = Intervals(M->Machine());
    TClockStrip* Strip = Window->Strip();
    // «09:00:01.250 (1250 мс)»: the time of day and the milliseconds since start-up.
    const auto Read = [Strip] {
        const QStringList Parts = Strip->ClockLabel()->text().split(QLatin1Char(' '));
        return std::pair(QTime::fromString(Parts.value(0), QStringLiteral("HH:mm:ss.zzz")),
                         Parts.value(1).mid(1).toLongLong());
    };
    Strip->Refresh();
    const auto [Time, Milliseconds] = Read();
    Player.Idle(wall);
    // Idle, nothing catches up, yet the reading moves; while a timer runs, frames catch up.
    if (spinning)
        M->Clock().CatchUp();
    Strip->Refresh();
    QCOMPARE(Read().second - Milliseconds, machine);
    QCOMPARE((Time.msecsTo(Read().first) + 86'400'000) % 86'400'000, machine);
    // Every timer set as the barrels started falls due every interval from then on.
    QMap<QString, int> Left;
    for (auto Each = Set.begin(); Each != Set.end(); ++Each)
        Left[Each.key()] = Each.value() - machine % Each.value();
    QCOMPARE(Listed(*Strip), Left);
    QCOMPARE(Strip->TimersLabel()->text() == QStringLiteral("таймеры стоят"), !spinning);
}

void AutomataWindowTest::litStepsHoldWhilePaused_data() {
    QTest::addColumn<bool>("paused");
    QTest::newRow("running: they fade") << false;
    QTest::newRow("paused: they stay lit") << true;
}

void AutomataWindowTest::litStepsHoldWhilePaused() {
    QFETCH(bool, paused);
    // Not Open(): the window's own clock, the machine's, which a test's wall clock paces.
    QTest::keyClick(M.get(), Qt::Key_F2);
    TAutomataWindow* Window = M->AutomataWindow();
    QVERIFY(Window);
    TWindowPlayer Player(*M);
    M->Clock().SetPaused(paused);
    Player.Coin();
    Window->Tick();
    QVERIFY(!LitAutomata(*Window).isEmpty());
    Player.Idle(2 * TDiagramView::FadeMs);
    Window->Tick();
    QCOMPARE(!LitAutomata(*Window).isEmpty(), paused);
}

void AutomataWindowTest::screenshot() {
    // The picture for the README: three tokens and a press of «Игра», the steps still lit.
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    for (int Step = 0; Step < 3; ++Step)
        ClickCoin(*M);
    Pass(*Window, 2 * TDiagramView::FadeMs);
    Click(M->iPlay);
    Pass(*Window, 100);
    QCoreApplication::processEvents();
    const QString Folder = QStringLiteral(SCREENSHOT_FOLDER);
    QVERIFY(QDir().mkpath(Folder));
    QVERIFY(Window->grab().save(Folder + QStringLiteral("/automata.png")));
    Window->TimelineDock()->raise();
    Pass(*Window, 1000);
    Window->Timeline()->SetNow(M->Clock().Now() + 1000);
    QVERIFY(Window->Timeline()->grab().save(Folder + QStringLiteral("/timeline.png")));
}

// Each arrow as "depth sender→receiver event", in the order the chart shows them.
using TArrows = QStringList;

void AutomataWindowTest::chartNestsACascade_data() {
    QTest::addColumn<int>("coins");
    QTest::addColumn<bool>("play");
    QTest::addColumn<TArrows>("arrows");
    QTest::addColumn<QString>("sentence"); // of the cascade's second arrow
    // The first token: A1 takes it and, entering «Жетон принят», tells A0.
    QTest::newRow("a token") << 1 << false << TArrows{"0 player→A1 e10", "1 A1→A0 e11"}
                             << QStringLiteral("A1 посылает A0 событие e11");
    // «Игра»: A0 asks A1 for the stake, then starts the barrels, both inside its own step.
    QTest::newRow("«Игра»") << 1 << true << TArrows{"0 player→A0 e1", "1 A0→A1 e12", "1 A0→A2 e0"}
                            << QStringLiteral("A0 посылает A1 событие e12");
}

void AutomataWindowTest::chartNestsACascade() {
    QFETCH(int, coins);
    QFETCH(bool, play);
    QFETCH(TArrows, arrows);
    QFETCH(QString, sentence);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    for (int Coin = 0; Coin < coins; ++Coin)
        QVERIFY(ClickCoin(*M));
    if (play)
        Click(M->iPlay);
    const TSequenceChart* Chart = Window->Chart();
    const char* const Lifelines[] = {"player", "A0", "A1", "A2", "timers"};
    QVERIFY(Chart->Count() >= arrows.size());
    const qsizetype First = Chart->Count() - arrows.size();
    TArrows Shown;
    for (qsizetype Index = First; Index < Chart->Count(); ++Index) {
        const TSequenceChart::TArrow& Arrow = Chart->Arrow(Index);
        Shown << QStringLiteral("%1 %2→%3 e%4")
                     .arg(Arrow.Depth)
                     .arg(Lifelines[TSequenceChart::SenderLifeline(Arrow.Sender)])
                     .arg(Lifelines[TSequenceChart::LifeA0 + Arrow.Automaton])
                     .arg(Arrow.Event);
        // One block: every later arrow nested in the first one's activation.
        QCOMPARE(Arrow.Parent >= First, Index > First);
    }
    QCOMPARE(Shown, arrows);
    QCOMPARE(Chart->Arrow(First).Last, Chart->Count() - 1);
    QVERIFY2(Chart->Sentence(First + 1).startsWith(sentence),
             qPrintable(Chart->Sentence(First + 1)));
}

void AutomataWindowTest::anArrowShowsItsMessage_data() {
    QTest::addColumn<int>("arrow");
    QTest::addColumn<int>("keys"); // Down presses after the click
    // The second and third tokens write the same messages: the click finds its own.
    QTest::newRow("the second token") << 2 << 0;
    QTest::newRow("the third token") << 3 << 0;
    QTest::newRow("the second, then Down") << 2 << 1;
}

void AutomataWindowTest::anArrowShowsItsMessage() {
    QFETCH(int, arrow);
    QFETCH(int, keys);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    Window->show();
    for (int Coin = 0; Coin < 3; ++Coin)
        QVERIFY(ClickCoin(*M));
    TSequenceChart* Chart = Window->Chart();
    QCOMPARE(Chart->Count(), 4); // the first token's step tells A0
    Pass(*Window, 2 * TDiagramView::FadeMs);
    QVERIFY(!Window->View(A1)->Glowing());
    // The user makes the chart taller and scrolls up to the arrow.
    Window->resizeDocks({Window->ChartDock()}, {300}, Qt::Vertical);
    QCoreApplication::processEvents();
    Chart->verticalScrollBar()->setValue(0);
    const QRect Row = Chart->RowRect(arrow);
    QVERIFY(Chart->viewport()->rect().contains(Row.center()));
    QTest::mouseClick(Chart->viewport(), Qt::LeftButton, {}, Row.center());
    for (int Key = 0; Key < keys; ++Key)
        QTest::keyClick(Chart, Qt::Key_Down);
    const qsizetype Chosen = arrow + keys;
    QCOMPARE(Chart->Selected(), Chosen);
    const TLogPanel* Protocol = M->findChild<TLogPanel*>();
    QVERIFY(Protocol);
    // The n-th token's message is the n-th line from the top that carries its text.
    const QString Message = QString::fromStdString(Chart->Message(Chosen));
    QVERIFY(!Message.isEmpty());
    qsizetype Expected = -1;
    for (qsizetype Line = 0, Seen = 0; Line < Protocol->LineCount() && Expected < 0; ++Line)
        if (Protocol->Line(Line).contains(Message) && Seen++ == Chosen - 2)
            Expected = Line;
    QVERIFY(Expected >= 0);
    QCOMPARE(Protocol->LineAt(Protocol->SelectionOffsets().first), Expected);
    QCOMPARE(Protocol->SelectedText(), Protocol->Line(Expected));
    QCOMPARE(Chart->accessibleDescription(), Chart->Sentence(Chosen));
    // And the step lights up in its diagram.
    QVERIFY(Window->View(Chart->Arrow(Chosen).Automaton)->Glowing());
}

void AutomataWindowTest::timelineFollowsStates_data() {
    QTest::addColumn<bool>("play");
    QTest::addColumn<QList<int>>("a0");  // A0's states from the start, in order
    QTest::addColumn<QList<int>>("now"); // A0, A1, A2 at the present moment
    QTest::addColumn<bool>("spinning");  // TimerB1 runs
    QTest::newRow("a token") << false << QList<int>{0, 1} << QList<int>{1, 1, 0} << false;
    QTest::newRow("«Игра»") << true << QList<int>{0, 1, 2} << QList<int>{2, 0, 1} << true;
}

void AutomataWindowTest::timelineFollowsStates() {
    QFETCH(bool, play);
    QFETCH(QList<int>, a0);
    QFETCH(QList<int>, now);
    QFETCH(bool, spinning);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    QVERIFY(ClickCoin(*M));
    if (play)
        Click(M->iPlay);
    const TStateTimeline* Timeline = Window->Timeline();
    QList<int> Seen;
    for (const TStateTimeline::TChange& Change : Timeline->Changes(A0))
        Seen << Change.State;
    QCOMPARE(Seen, a0);
    const int64_t Moment = M->Clock().Now();
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        QCOMPARE(Timeline->StateAt(Automaton, Moment), now[Automaton]);
    const auto& Spans = Timeline->Spans(TimerSync1);
    QCOMPARE(!Spans.empty() && Spans.back().End < 0, spinning);
}

void AutomataWindowTest::aBarShowsItsMessage_data() {
    QTest::addColumn<int>("automaton");
    QTest::addColumn<int>("bar"); // counted from the automaton's first
    // A second apart: a token, a second token, «Игра».
    QTest::newRow("A1 takes the first token") << 1 << 1;
    QTest::newRow("A0 goes into the game") << 0 << 2;
    QTest::newRow("A2 starts the barrels") << 2 << 1;
}

void AutomataWindowTest::aBarShowsItsMessage() {
    QFETCH(int, automaton);
    QFETCH(int, bar);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    Window->show();
    Window->TimelineDock()->raise();
    M->Clock().SetWallClock([this] { return FNow; });
    for (int Input = 0; Input < 3; ++Input) {
        if (Input < 2)
            QVERIFY(ClickCoin(*M));
        else
            Click(M->iPlay);
        FNow += 1000;
        M->Clock().CatchUp();
    }
    TStateTimeline* Timeline = Window->Timeline();
    Timeline->SetNow(M->Clock().Now());
    Timeline->horizontalScrollBar()->setValue(0);
    QCoreApplication::processEvents();
    const auto& Changes = Timeline->Changes(automaton);
    QVERIFY(Changes.size() > size_t(bar));
    const TStateTimeline::TChange Chosen = Changes[size_t(bar)];
    // A point of the bar, found as the pointer would find it.
    QPoint Point(-1, -1);
    for (int Y = 0; Y < Timeline->viewport()->height() && Point.x() < 0; Y += 2)
        for (int X = 0; X < Timeline->viewport()->width() && Point.x() < 0; X += 2)
            if (const auto Found = Timeline->BarAt({X, Y}); Found && Found->Step == Chosen.Step)
                Point = {X, Y};
    QVERIFY(Point.x() >= 0);
    QTest::mouseClick(Timeline->viewport(), Qt::LeftButton, {}, Point);
    // The step that began the bar: its automaton's, at its moment, from the bar before.
    const TSequenceChart* Chart = Window->Chart();
    QVERIFY(Chart->Selected() >= 0);
    const TSequenceChart::TArrow& Arrow = Chart->Arrow(Chart->Selected());
    QCOMPARE(Arrow.Automaton, automaton);
    QCOMPARE(Arrow.Moment, Chosen.Moment);
    QCOMPARE(Arrow.From, Changes[size_t(bar - 1)].State);
    QCOMPARE(Arrow.To, Chosen.State);
    const TLogPanel* Protocol = M->findChild<TLogPanel*>();
    QVERIFY(Protocol);
    QCOMPARE(Protocol->SelectedText(), QString::fromStdString(Chart->Message(Chart->Selected())));
    QVERIFY(Window->View(automaton)->Glowing());
}

void AutomataWindowTest::picturesAreWholeOrNothing_data() {
    QTest::addColumn<QString>("what");    // chart, timeline or A1's diagram
    QTest::addColumn<QString>("file");    // under a fresh temporary folder
    QTest::addColumn<QStringList>("has"); // texts an SVG must hold
    QTest::addColumn<bool>("saved");
    const QStringList Lifelines = {"Игрок", "Таймеры", "e1 "};
    QTest::newRow("chart, PNG") << "chart"
                                << "/рисунок.png" << QStringList() << true;
    QTest::newRow("chart, SVG") << "chart"
                                << "/рисунок.svg" << Lifelines << true;
    QTest::newRow("timeline, SVG") << "timeline"
                                   << "/рисунок.SVG" << QStringList{"A2", "JackTimer"} << true;
    QTest::newRow("diagram, SVG") << "diagram"
                                  << "/A1.svg" << QStringList{"A1 Монетоприемник", "Жетон принят"}
                                  << true;
    QTest::newRow("diagram, PNG") << "diagram"
                                  << "/A1.png" << QStringList() << true;
    QTest::newRow("chart, SVG, no such folder") << "chart"
                                                << "/missing/рисунок.svg" << QStringList() << false;
    QTest::newRow("timeline, PNG, no such folder")
        << "timeline"
        << "/missing/рисунок.png" << QStringList() << false;
    QTest::newRow("nothing to draw, PNG") << ""
                                          << "/рисунок.png" << QStringList() << false;
}

void AutomataWindowTest::picturesAreWholeOrNothing() {
    QFETCH(QString, what);
    QFETCH(QString, file);
    QFETCH(QStringList, has);
    QFETCH(bool, saved);
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    for (int Coin = 0; Coin < 3; ++Coin)
        QVERIFY(ClickCoin(*M));
    Click(M->iPlay);
    TSequenceChart* Chart = Window->Chart();
    // Scrolled to its top, too small for all: the picture is whole all the same.
    Chart->resize(Chart->width(), Chart->RowHeight() * 3);
    Chart->verticalScrollBar()->setValue(0);
    const TPicture Picture = what == u"chart"      ? Chart->Picture()
                             : what == u"timeline" ? Window->Timeline()->Picture()
                             : what == u"diagram"
                                 ? Window->View(A1)->Picture()
                                 : TPicture{.Size = {},
                                            .Background = Qt::white,
                                            .Draw = [](QPainter&, const QRect&, bool) {}};
    if (what == u"chart")
        QCOMPARE(Picture.Size.height(), Chart->RowHeight() * (Chart->Count() + 2));
    const QTemporaryDir Temporary;
    const QString File = Temporary.path() + file;
    QString Error;
    QCOMPARE(WritePicture(Picture, File, Error), saved);
    QCOMPARE(Error.isEmpty(), saved);
    if (!saved) {
        // Not even an empty file, nor one beside it.
        QCOMPARE(QDir(Temporary.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        return;
    }
    if (!file.endsWith(u".svg", Qt::CaseInsensitive)) {
        QCOMPARE(QImage(File).size(), Picture.Size);
        return;
    }
    // The SVG parses, is as large as the picture and holds its texts, every arrow's among them.
    QFile Svg(File);
    QVERIFY(Svg.open(QIODevice::ReadOnly));
    QXmlStreamReader Reader(&Svg);
    QString Texts;
    QSize Size;
    while (!Reader.atEnd()) {
        if (Reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (Reader.name() == u"svg" && !Size.isValid()) {
            const QStringList Box = Reader.attributes().value("viewBox").toString().split(u' ');
            Size = QSize(Box.value(2).toInt(), Box.value(3).toInt());
        } else if (Reader.name() == u"text") {
            Texts += Reader.readElementText();
        }
    }
    QVERIFY2(!Reader.hasError(), qPrintable(Reader.errorString()));
    QCOMPARE(Size, Picture.Size);
    for (const QString& Text : has)
        QVERIFY2(Texts.contains(Text), qPrintable(Text));
    if (what != u"chart")
        return;
    for (qsizetype Arrow = 0; Arrow < Chart->Count(); ++Arrow)
        QVERIFY2(Texts.contains(QStringLiteral("e%1 \"").arg(Chart->Arrow(Arrow).Event)),
                 qPrintable(Chart->Label(Arrow)));
    QCOMPARE(Texts.count(u"e1 \""), 1); // the press of «Игра», drawn once
}

// Docks moved and closed stay so in the next session's window.
void AutomataWindowTest::arrangementIsKept() {
    TAutomataWindow* Window = Open();
    QVERIFY(Window);
    QVERIFY(Window->ChartDock()->isVisible());
    QCOMPARE(Window->dockWidgetArea(Window->ChartDock()), Qt::BottomDockWidgetArea);
    Window->addDockWidget(Qt::LeftDockWidgetArea, Window->ChartDock());
    Window->ChartDock()->toggleViewAction()->trigger();
    QVERIFY(Window->ChartDock()->isHidden());
    Window->close();
    M.reset();
    M = std::make_unique<TSlotMachine>();
    M->show();
    M->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(M.get()));
    Window = Open();
    QVERIFY(Window);
    QVERIFY(Window->ChartDock()->isHidden());
    QCOMPARE(Window->dockWidgetArea(Window->ChartDock()), Qt::LeftDockWidgetArea);
    Window->ChartDock()->toggleViewAction()->trigger();
    QVERIFY(Window->ChartDock()->isVisible());
}

QTEST_MAIN(AutomataWindowTest)
// A session played starts the machine's clock at 0 again: a glow lit late on the old clock must
// not light up once the new one gets there.
void AutomataWindowTest::aSessionPlayedStartsDark() {
    QTest::keyClick(M.get(), Qt::Key_F2);
    TAutomataWindow* Window = M->AutomataWindow();
    QVERIFY(Window);
    TWindowPlayer Player(*M);
    Player.Pass(60'000);
    Player.Coin();
    Window->Tick();
    QVERIFY(!LitAutomata(*Window).isEmpty());
    M->PlayScript(ParseScript("seed 1\n").Script, QStringLiteral("empty"));
    Player.Pass(60'100);
    Window->Tick();
    QCOMPARE(LitAutomata(*Window), QList<int>());
}

namespace {

// The tooltip the view shows where the mouse rests.
QString TipAt(TDiagramView* View, QRectF Rect) {
    const QPoint At = Rect.center().toPoint();
    QHelpEvent Help(QEvent::ToolTip, At, View->mapToGlobal(At));
    QApplication::sendEvent(View, &Help);
    return QToolTip::text();
}

// The counts as the tooltips say them; -1 where one says none.
TAutomatonCoverage ShownCounts(TDiagramView* View) {
    static const QRegularExpression Count(QStringLiteral("(?:Взят в этом сеансе|Входов в этом "
                                                         "сеансе): (\\d+)"));
    const auto Read = [](const QString& Tip) {
        const QRegularExpressionMatch Match = Count.match(Tip);
        return Match.hasMatch() ? Match.captured(1).toLongLong() : -1;
    };
    TAutomatonCoverage Shown;
    for (const TDiagramEdge& Edge : View->Diagram().Edges)
        Shown.Rows.push_back(Read(TipAt(View, View->LabelRect(Edge.Row))));
    for (const TDiagramNode& Node : View->Diagram().Nodes)
        Shown.States.push_back(Read(TipAt(View, View->NodeRect(Node.State))));
    return Shown;
}

// What a fresh replay of the window's session counts, as the companion counts it.
TCoverageCounts Replayed(TSlotMachine& Window) {
    const TParsedScript Parsed = ParseScript(Window.SessionScript());
    TSession Session(TMachine(), Parsed.Script.Seed);
    TCoverage Coverage(Session.Machine());
    for (const TCommand& Command : Parsed.Script.Commands)
        if (!Session.Run(Command).isEmpty())
            return {};
    return Coverage.Counts();
}

// A session of random clicks and pauses, the same for the same seed.
void PlayAtRandom(TWindowPlayer& Player, TSlotMachine& Window, quint32 Seed) {
    QRandomGenerator Random(Seed);
    for (int Move = 0; Move < 40; ++Move) {
        switch (Random.bounded(6)) {
        case 0:
            Player.Coin();
            break;
        case 1:
            Player.Click(Window.iPlay);
            break;
        case 2:
            Player.Click(Window.iReturn);
            break;
        case 3:
            Player.Click(Window.iBadCoin);
            break;
        case 4:
            Player.Click(Window.btnTechReset);
            break;
        default:
            Player.Pass(Random.bounded(4000));
            break;
        }
    }
}

} // namespace

void AutomataWindowTest::coverageIsTheReplays_data() {
    QTest::addColumn<quint32>("seed");
    for (const quint32 Seed : {1u, 2u, 3u, 4u})
        QTest::addRow("random session %u", Seed) << Seed;
}

void AutomataWindowTest::coverageIsTheReplays() {
    QFETCH(quint32, seed);
    TWindowPlayer Player(*M);
    Player.Pass(1000);
    PlayAtRandom(Player, *M, seed);
    TAutomataWindow* Window = Open(); // opened late: it shows the session from its start
    PlayAtRandom(Player, *M, seed + 100);
    QTRY_VERIFY(Window->ReachableKnown());
    const TCoverageCounts Expected = Replayed(*M);
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        TDiagramView* View = Window->View(Automaton);
        const TAutomatonCoverage& Counts = Expected[static_cast<size_t>(Automaton)];
        QCOMPARE(ShownCounts(View), Counts);
        const auto Taken = std::count_if(Counts.Rows.begin(), Counts.Rows.end(),
                                         [](int64_t Count) { return Count > 0; });
        const QString Title = QStringLiteral("A%1: %2 из %3 переходов")
                                  .arg(Automaton)
                                  .arg(Taken)
                                  .arg(Counts.Rows.size());
        QCOMPARE(View->CoverageTitle(), Title);
        QVERIFY(View->accessibleDescription().contains(Title));
        // Rows never taken are drawn dashed, and named to a screen reader.
        for (const TDiagramEdge& Edge : View->Diagram().Edges) {
            const bool Never = Counts.Rows[static_cast<size_t>(Edge.Row)] == 0;
            QCOMPARE(View->EdgePen(Edge.Row, 0).style(), Never ? Qt::DashLine : Qt::SolidLine);
            QCOMPARE(View->accessibleDescription().contains(RowText(View->Diagram(), Edge.Row)),
                     Never);
        }
        for (const TDiagramNode& Node : View->Diagram().Nodes)
            QCOMPARE(View->NodePen(Node.State, false).style(),
                     Counts.States[static_cast<size_t>(Node.State)] == 0 ? Qt::DashLine
                                                                         : Qt::SolidLine);
    }
}

void AutomataWindowTest::coverageStartsAnew() {
    TAutomataWindow* Window = Open();
    TWindowPlayer Player(*M);
    Player.Pass(1000);
    Player.Game();
    QVERIFY(Player.Settle().isEmpty());
    QVERIFY(ShownCounts(Window->View(A2)) != StartCounts(TMachine())[A2]);
    M->PlayScript(ParseScript("seed 1\n").Script, QStringLiteral("empty"));
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        QCOMPARE(ShownCounts(Window->View(Automaton)),
                 StartCounts(TMachine())[static_cast<size_t>(Automaton)]);
        QVERIFY(Window->View(Automaton)->CoverageTitle().contains(QStringLiteral(": 0 из ")));
    }
}

void AutomataWindowTest::unreachableRowsLeftOut() {
    // The search answers only when the test lets it; it must be let go whatever happens.
    std::promise<TReachable> Answer;
    TAutomataWindow::SetExplorer([Future = Answer.get_future().share()] { return Future.get(); });
    struct TLetGo {
        std::promise<TReachable>& Answer;
        bool Done = false;
        ~TLetGo() {
            if (!Done)
                Answer.set_value({});
        }
    } LetGo{Answer};
    TAutomataWindow* Window = Open();
    TDiagramView* View = Window->View(A1);
    const int Rows = static_cast<int>(View->Diagram().Edges.size());
    const int Never = Rows - 1; // not taken at start-up
    QVERIFY(TipAt(View, View->LabelRect(Never)).contains(QStringLiteral("ещё ищутся")));
    QCOMPARE(View->CoverageTitle(), QStringLiteral("A1: 0 из %1 переходов").arg(Rows));
    QCOMPARE(View->EdgePen(Never, 0).style(), Qt::DashLine);

    TReachable Reachable;
    Reachable.Rows[A1].assign(static_cast<size_t>(Rows), true);
    Reachable.Rows[A1][static_cast<size_t>(Never)] = false;
    Answer.set_value(Reachable);
    LetGo.Done = true;
    QTRY_VERIFY(Window->ReachableKnown());
    QCOMPARE(View->CoverageTitle(), QStringLiteral("A1: 0 из %1 переходов").arg(Rows - 1));
    QCOMPARE(View->EdgePen(Never, 0).style(), Qt::DotLine);
    QCOMPARE(View->EdgePen(0, 0).style(), Qt::DashLine);
    QVERIFY(TipAt(View, View->LabelRect(Never)).contains(QStringLiteral("Недостижим")));
    QVERIFY(!TipAt(View, View->LabelRect(0)).contains(QStringLiteral("ещё ищутся")));
}

void AutomataWindowTest::theWayTakesItsTarget_data() {
    QTest::addColumn<TTarget>("target");
    QTest::addColumn<bool>("fromPresent");
    QTest::addRow("A0 state 2 from start-up") << TTarget{A0, false, 2} << false;
    QTest::addRow("A2 row 0 from start-up") << TTarget{A2, true, 0} << false;
    QTest::addRow("A0 state 2 from a token in") << TTarget{A0, false, 2} << true;
    QTest::addRow("A1 row 0 from a token in") << TTarget{A1, true, 0} << true;
}

void AutomataWindowTest::theWayTakesItsTarget() {
    QFETCH(TTarget, target);
    QFETCH(bool, fromPresent);
    TAutomataWindow* Window = Open();
    TWindowPlayer Player(*M);
    Player.Pass(1000);
    Player.Coin();
    TDiagramView* View = Window->View(target.Automaton);
    const auto Count = [&] {
        const TAutomatonCoverage Shown = ShownCounts(View);
        return (target.IsRow ? Shown.Rows : Shown.States).at(static_cast<size_t>(target.Index));
    };
    const int64_t Before = fromPresent ? Count() : 0;

    // Asked as the user asks: the context menu on the state's box or the row's label.
    const QRectF Where =
        target.IsRow ? View->LabelRect(target.Index) : View->NodeRect(target.Index);
    QContextMenuEvent Event(QContextMenuEvent::Mouse, Where.center().toPoint(),
                            View->mapToGlobal(Where.center().toPoint()));
    QApplication::sendEvent(View, &Event);
    auto* Menu = Window->findChild<QMenu*>();
    QVERIFY(Menu);
    // The way's two come first; the breakpoint's after a separator; the picture last.
    QCOMPARE(Menu->actions().at(0)->text(), QStringLiteral("Как сюда попасть?"));
    QCOMPARE(Menu->actions().at(1)->text(), QStringLiteral("…отсюда"));
    QCOMPARE(Menu->actions().last()->text(), QStringLiteral("Сохранить рисунок…"));
    QSignalSpy Found(Window, &TAutomataWindow::WayFound);
    Menu->actions().at(fromPresent ? 1 : 0)->trigger();
    Menu->close();
    QVERIFY(Found.wait(60'000));
    QVERIFY(Window->Way());

    auto* Box = Window->findChild<QMessageBox*>(QStringLiteral("WayBox"));
    QVERIFY(Box);
    // Saved, from start-up or after the session so far, it replays to the target.
    QTemporaryDir Folder;
    const QString Saved = Folder.filePath(QStringLiteral("way.session"));
    QCOMPARE(Window->SaveWay(Saved), QString());
    QString Problem;
    const std::optional<TScript> Way = ReadSession(Saved, Problem);
    QVERIFY2(Way, qPrintable(Problem));
    TSession Replayed(TMachine(), Way->Seed);
    TCoverage Counted(Replayed.Machine());
    for (const TCommand& Command : Way->Commands)
        QCOMPARE(Replayed.Run(Command), QString());
    const TAutomatonCoverage& Taken = Counted.Counts()[size_t(target.Automaton)];
    QVERIFY((target.IsRow ? Taken.Rows : Taken.States)[size_t(target.Index)] > Before);
    Box->findChild<QPushButton*>(QStringLiteral("Play"))->click();
    for (int Frame = 0; Frame < 100'000 && M->Clock().Playing(); ++Frame)
        Player.Pass(TMachineClock::FrameMs);
    QVERIFY(!M->Clock().Playing());
    QVERIFY(Count() > Before);
}

void AutomataWindowTest::closingWhileSearching() {
    // Searches that end on their own, still running when the window and the program close.
    TAutomataWindow::SetExplorer([] {
        TExploreOptions Small;
        Small.StateLimit = 20'000;
        return ReachableOf(Explore(TMachine(), Small));
    });
    TAutomataWindow* Window = Open();
    Window->FindWay(TTarget{A0, false, 2}, true);
    QVERIFY(Window->Seeking());
    Window->close();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    M.reset();
    QCoreApplication::processEvents(); // answers posted to the window gone go nowhere
}

#include "AutomataWindowTest.moc"
