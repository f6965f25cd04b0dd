#pragma once

#include "sessions/Coverage.h"
#include "sessions/WayThere.h"
#include "slotmachine/Machine.h"
#include "window/DiagramView.h"

#include <QBasicTimer>
#include <QDateTime>
#include <QMainWindow>
#include <QScrollArea>

#include <array>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QAction;
class QDockWidget;
class QMenu;
class QToolBar;

namespace sm {

class TClockStrip;
class TMachineClock;
class TSequenceChart;
class TStateTimeline;
class TStepRecord;
class TWatchesDock;
class TWindowBreakpoints;

// «Автоматы»: the state diagrams of A0, A1 and A2 side by side, following one machine. It
// watches the machine itself, not its protocol, so switching messages off does not blind it.
// Laid out once when made; closing it only hides it. The text never shrinks below the window's
// font unless asked to: a window too small for the diagrams scrolls, and Ctrl with the wheel,
// plus, minus or 0 zooms. A tool bar above the diagrams shows the machine's clock and runs it;
// the other panes are docks the user moves, closes and brings back from «Панели», and the
// arrangement is kept for the next start.
class TAutomataWindow : public QMainWindow, private TMachineObserver {
    Q_OBJECT

public:
    using TClock = std::function<qint64()>;
    static constexpr int FrameMs = 50;
    // Wall milliseconds after the user scrolled the diagrams during which a lit step does not
    // scroll them into sight.
    static constexpr qint64 UserScrollMs = 3000;

    static constexpr double MinScale = 0.1;
    static constexpr double MaxScale = 3;
    static constexpr double ZoomStep = 1.25;
    // Below this scale the diagrams' text is too small to read at a glance.
    static constexpr double UsefulScale = 0.6;

    // The strip drives the clock by the machine's window's clock actions and tells the time of
    // day from the session's start.
    TAutomataWindow(TMachineClock& Clock, const std::vector<QAction*>& ClockActions,
                    std::function<QDateTime()> SessionStart, QWidget* Parent = nullptr);
    ~TAutomataWindow() override;

    // The scale of the diagrams: on its own, as large as fits but never below 1 nor above 2;
    // once zoomed, as zoomed; after ZoomToFit, whatever shows them whole, following the window.
    double Scale() const { return FScale; }
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    QScrollArea* ScrollArea() const { return FScroll; }
    TClockStrip* Strip() const { return FStrip; }
    TSequenceChart* Chart() const { return FChart; }
    QDockWidget* ChartDock() const { return FChartDock; }
    TStateTimeline* Timeline() const { return FTimeline; }
    QDockWidget* TimelineDock() const { return FTimelineDock; }
    QMenu* PanesMenu() const { return FPanes; }
    // The session's timeline, a dock under the clock's strip that «Панели» lists.
    void AddSessionTimeline(QWidget* Timeline);
    QDockWidget* SessionDock() const { return FSessionDock; }
    // While this says the machine re-runs its recorded past, the chart and the state timeline
    // take no steps: they have them already.
    void SetReplaying(std::function<bool()> Replaying) { FReplaying = std::move(Replaying); }
    // Before the machine goes back, the steps so far go to the chart, shown or not; once it is
    // at its latest moment again, the steps it replayed meanwhile are dropped.
    void PastBegins() { FeedChart(); }
    void PastEnded();
    // The session forked at the moment: the chart and the timeline drop the future it left.
    void Forked(int64_t Moment);
    // The settings' keys of the arrangement.
    static constexpr const char* GeometryKey = "Automata/Geometry";
    static constexpr const char* StateKey = "Automata/State";
    void SaveArrangement() const;
    // Held, it shows nothing of the inputs it is told of; released, it shows the last one's steps
    // and all that changed, as if it had followed each.
    void Hold(bool Held);
    // A machine started anew, its clock back at 0: no glow of the old one may linger.
    void StartAnew();
    // The strip and the diagrams whole at 1.
    QSize sizeHint() const override;
    // The least size worth opening at: the diagrams whole at a scale still read with ease.
    QSize UsefulSize() const;
    // Whether it took the place and size the user left it at, from the settings.
    bool GeometryRestored() const { return FGeometryRestored; }

    TDiagramView* View(int32_t Automaton) const;
    // Milliseconds from any fixed moment; the machine's clock's reading unless a test gives its
    // own, so that lit steps fade with the machine's time and a paused machine keeps them lit.
    void SetClock(TClock Clock);
    // The fade timer's handler: moves the glows on, and stops the timer once all are dark.
    void Tick();
    bool Fading() const { return FFade.isActive(); }

    // Coverage: the session's counts come from the machine's window, which keeps them from the
    // session's start whether this window is shown or not.
    using TCoverageSource = std::function<const TCoverageCounts&()>;
    void SetCoverage(TCoverageSource Source);
    // What finds the rows no session can take: the explorer on the start-up machine, run once on
    // a thread of its own when first shown; a test gives a quicker one before any window is made.
    using TExplorer = std::function<TReachable()>;
    static void SetExplorer(TExplorer Explorer);
    bool ReachableKnown() const { return FReachable.has_value(); }
    // Shows the counts as they are now.
    void ShowCoverage();

    // «Как сюда попасть?»: the shortest session to a state or row, from start-up or from the
    // present moment, sought on a thread of its own with a busy cursor; closing the window drops
    // the answer. Then it is offered to play (a session from start-up through the player the
    // machine's window gives, one from the present on the running clock) or to save.
    using TPlayer = std::function<void(const TScript&, const QString&)>;
    void SetPlayer(TPlayer Player);
    // The session so far as a script, so that a way from the present can be saved after it.
    using TSessionSoFar = std::function<QByteArray()>;
    void SetSessionSoFar(TSessionSoFar SessionSoFar) { FSessionSoFar = std::move(SessionSoFar); }
    void FindWay(const TTarget& Target, bool FromPresent);
    bool Seeking() const { return FSeeker.joinable(); }
    // The last answer; none when no session reaches the target.
    const std::optional<TWay>& Way() const { return FWay; }
    // Empty, or why the way cannot be played (the machine has moved on since it was sought).
    QString PlayWay();
    QString SaveWay(const QString& Path) const;

    // Breakpoints: listed in their dock, drawn on the diagrams, set and cleared from a state's or
    // an arrow's context menu and with Ctrl+B on the one last clicked; a hit is said on the strip.
    void SetBreakpoints(TWindowBreakpoints* Breakpoints);
    QDockWidget* BreakpointsDock() const { return FBreakpointsDock; }
    QDockWidget* WatchesDock() const { return FWatchesDock; }
    TWatchesDock* Watches() const { return FWatches; }
    // Ctrl+B: the breakpoint on the state or arrow last clicked, set or cleared.
    void ToggleFocusedBreakpoint();

signals:
    void WayFound();

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    // A window made smaller takes the room from the docks first, down to a third each way.
    void resizeEvent(QResizeEvent* Event) override;
    void timerEvent(QTimerEvent* Event) override;
    bool eventFilter(QObject* Object, QEvent* Event) override;

private:
    enum class TZoom { Auto, Fit, Fixed };
    double FitScale() const;
    // The three diagrams side by side at a scale, titles and margins included.
    QSize NeededSize(double Scale) const;
    // Sets the scale, keeping the given point of the viewport over the same spot of the diagrams.
    void Zoom(TZoom Mode, double Scale, QPoint Anchor);
    void Arrange();

    void MachineChanged(unsigned Changes) noexcept override;
    void LightSteps();
    // Scrolls the diagrams so that the steps' labels are in sight, unless the user just scrolled.
    void KeepInSight(const std::vector<TStep>& Steps);
    void ShowStates();
    void Unlight();
    // The steps the record has finished go to the chart.
    void FeedChart();
    // The selected arrow's message, found in the machine's window's protocol.
    void ShowMessage(qsizetype Arrow);
    // A bar of the timeline chosen: its step's arrow chosen in the chart.
    void SelectStep(qsizetype Step);
    // «Сохранить рисунок…» for a diagram's context menu.
    void AddPictureAction(QMenu& Menu, TDiagramView& View);

    TMachine& FMachine;
    TMachineClock& FMachineClock;
    std::unique_ptr<TStepRecord> FRecord;
    TClockStrip* FStrip;
    QToolBar* FStripBar;
    TSequenceChart* FChart;
    QDockWidget* FChartDock;
    TStateTimeline* FTimeline;
    QDockWidget* FTimelineDock;
    TWindowBreakpoints* FBreakpoints = nullptr;
    QDockWidget* FBreakpointsDock;
    TWatchesDock* FWatches;
    QDockWidget* FWatchesDock;
    void ShowBreakMarks();
    QDockWidget* FSessionDock = nullptr;
    bool FSessionPlaced = false;
    std::function<bool()> FReplaying;
    // Moves the present moment on in the chart and the timeline while the window is shown.
    QBasicTimer FPresent;
    bool FDocksPlaced = false;
    bool FGeometryRestored = false;
    static constexpr int PresentMs = 250;
    QMenu* FPanes;
    QScrollArea* FScroll;
    QWidget* FCanvas;
    std::array<TDiagramView*, 3> FViews{};
    TZoom FZoom = TZoom::Auto;
    double FScale = 1;
    int FWheel = 0; // wheel angle not yet turned into a zoom step
    TClock FClock;
    QBasicTimer FFade;
    qint64 FUserScrolled = std::numeric_limits<qint64>::min() / 2; // on the machine's wall clock
    bool FScrolling = false;              // the scroll is ours, not the user's
    std::optional<unsigned> FHeldChanges; // while held: what the inputs changed

    void StartExploring();
    void WayArrived();
    void OfferWay();
    TCoverageSource FCoverage;
    std::optional<TReachable> FReachable;
    std::unique_ptr<TReachable> FFound; // written by the explorer's thread before it posts
    std::thread FExplorer;

    TPlayer FPlayer;
    TSessionSoFar FSessionSoFar;
    QByteArray FWaySession; // the session up to the moment a way from the present was sought
    TTarget FWayTarget;
    bool FWayFromPresent = false;
    bool FWayDropped = false;
    TMachineSnapshot FWayStart; // the machine a way from the present starts from
    int64_t FWayMoment = 0;
    std::optional<TWay> FWay;
    std::unique_ptr<std::optional<TWay>> FSought; // written by the seeker before it posts
    std::thread FSeeker;
};

} // namespace sm
