#include "window/FormMain.h"

#include "sessions/Files.h"
#include "sessions/Quoted.h"
#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"
#include "window/AutomataWindow.h"
#include "window/ClockState.h"
#include "window/ControlsAccessible.h"
#include "window/ErrorBox.h"
#include "window/Placement.h"
#include "window/Recovery.h"
#include "window/SessionReading.h"
#include "window/SessionTimeline.h"
#include "window/WindowBreakpoints.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>

#include <algorithm>

namespace sm {

TSlotMachine::TSlotMachine(QWidget* Parent)
    : QWidget(Parent), FClock(std::make_unique<TMachineClock>()),
      FBreakpoints(std::make_unique<TWindowBreakpoints>(*FClock)) {
    // Before the first control exists: a screen reader that already runs asks for each at once.
    QAccessible::installFactory(ControlsAccessibility);
    CreateControls();
    ConnectHandlers();
    FormCreate();
}

TSlotMachine::~TSlotMachine() {
    FormDestroy();
    if (TErrorBox::Instance().Owner == this)
        TErrorBox::Instance().Owner = nullptr;
}

void TSlotMachine::FormCreate() {
    FProtocolWriter = std::make_unique<TProtocolWriter>(*Log, [this] { return FStamp->Now(); });
    FHistory = std::make_unique<THistoryControl>(*FClock, *Log, this);
    Machine().SetSink(&FHistory->Sink(*FProtocolWriter));
    Machine().AddObserver(this);
    connect(FClock.get(), &TMachineClock::PlaybackEnded, this, &TSlotMachine::PlaybackEnded,
            Qt::QueuedConnection);
    connect(FClock.get(), &TMachineClock::Moved, this, &TSlotMachine::PaintBarrels);
    FRecovery = std::make_unique<TRecovery>(*this);
    // A fork cuts the recorded lines short: the recovery file is written anew, and the counts
    // are the kept session's.
    connect(FHistory.get(), &THistoryControl::Forked, this, [this] {
        FRecovery->Begin();
        FRecovery->Flush();
        FCoverage = FHistory->History().CountsTo(FHistory->History().Latest());
        if (FAutomataWindow)
            FAutomataWindow->Forked(FClock->Now());
    });
    // The stamps and the machine's time start together.
    FClock->StartNow();
    BeginSession(StartReading(QDateTime::currentDateTime()));
    MachineChanged(ChangedFields | ChangedBarrels | ChangedTimers | ChangedSwitches);
}

void TSlotMachine::FormDestroy() {
    // Nothing may reach the machine once it is gone.
    FAutomataWindow.reset();
    FHistory.reset();
    FBreakpoints.reset();
    FRecovery.reset();
    if (FClock) {
        Machine().RemoveObserver(this);
        Machine().SetSink(nullptr);
    }
    FClock.reset();
}

void TSlotMachine::BeginSession(const QDateTime& Start) {
    // The stamps read the machine's clock from the wall clock's reading at start-up.
    FStamp = std::make_unique<TVirtualStamp>(Start, QLocale(), FClock->Time());
    FSessionStart = Start;
    FRecorder = std::make_unique<TSessionRecorder>(Machine().RandSeed(), Start);
    FCoverage = StartCounts(Machine());
    FClock->Door().Record(FRecorder.get());
    FHistory->Begin(*FRecorder);
    if (FRecovery)
        FRecovery->Begin();
}

// --- The view ---------------------------------------------------------------------------------

void TSlotMachine::MachineChanged(unsigned Changes) noexcept {
    // Counted here, the first of the machine's observers, so that «Автоматы» reads them whole.
    // A replay of the recorded past is no new step of the session.
    if ((Changes & ChangedSteps) && !(FHistory && FHistory->InPast()))
        for (const TStep& Step : Machine().Steps())
            CountStep(FCoverage, Step);
    // Running to the end, the displays are shown once, at the end.
    if (FHeldChanges) {
        *FHeldChanges |= Changes;
        return;
    }
    if (Changes & ChangedFields)
        ShowFields();
    if (Changes & ChangedBarrels)
        ShowBarrels();
    // A barrel starts and stops with its spin timer: only then its name changes.
    if (Changes & ChangedTimers)
        NameBarrels();
    if (Changes & ChangedSwitches)
        ShowSwitches();
}

namespace {

// Qt tells a screen reader of every name set, the same name too: only a change is news.
void Rename(QWidget* Control, const QString& Name) {
    if (Control->accessibleName() != Name)
        Control->setAccessibleName(Name);
}

} // namespace

void TSlotMachine::ShowFields() {
    const TDisplays& Shown = Machine().Displays();
    edBank->ShowNumber(Shown.edBank);
    edStake->ShowNumber(Shown.edStake);
    edJackPot->ShowNumber(Shown.edJackPot);
    edUser->ShowNumber(Shown.edUser);
    for (int Number = 1; Number <= TokenImages; ++Number)
        Image(Number)->setVisible(Shown.edUser >= Number);
    iBadCoin->setVisible(Shown.iBadCoin);
    Shape1->SetBrushStyle(Shown.Shape1);
    Rename(Shape1, Shown.Shape1 == TBrushStyle::bsSolid
                       ? QStringLiteral("Щель для жетонов: открыта")
                       : QStringLiteral("Щель для жетонов: закрыта"));
}

// A screen reader hears each barrel's digit once it stands, and that it spins while it spins.
void TSlotMachine::NameBarrels() {
    const std::array<TFrameImage*, 3> Barrels = {Barrel1, Barrel2, Barrel3};
    for (size_t Index = 0; Index < Barrels.size(); ++Index) {
        const QString Number = QString::number(Index + 1);
        Rename(Barrels[Index], Machine().Interval(TTimerId(TTimerId::TimerSync1 + Index)) != 0
                                   ? QStringLiteral("Барабан %1: вращается").arg(Number)
                                   : QStringLiteral("Барабан %1: %2")
                                         .arg(Number)
                                         .arg(SymbolOfFrame(Machine().Displays().Barrels[Index])));
    }
}

void TSlotMachine::ShowBarrels() {
    const TDisplays& Shown = Machine().Displays();
    Barrel1->SetFrameIndex(Shown.Barrels[0]);
    Barrel2->SetFrameIndex(Shown.Barrels[1]);
    Barrel3->SetFrameIndex(Shown.Barrels[2]);
    // Told in the middle of an input, before the clock knows whether a frame follows: that is
    // asked once the input is over.
    if (!std::exchange(FBarrelsAsked, true))
        QMetaObject::invokeMethod(this, &TSlotMachine::PaintBarrelsUnlessFrameComing,
                                  Qt::QueuedConnection);
}

// The barrels are painted on the clock's frames, at most once a frame and all together; a change
// with no frame coming is painted as soon as the input that made it is over.
void TSlotMachine::PaintBarrels() {
    for (TFrameImage* Barrel : {Barrel1, Barrel2, Barrel3})
        Barrel->UpdateFrame();
}

void TSlotMachine::PaintBarrelsUnlessFrameComing() {
    FBarrelsAsked = false;
    if (FClock && !FClock->FrameComing())
        PaintBarrels();
}

TCheckList* TSlotMachine::LogSettings(int32_t Automaton) const {
    const std::array<TCheckList*, 3> Lists = {cbA0LogSettings, cbA1LogSettings, cbA2LogSettings};
    return Lists.at(static_cast<size_t>(Automaton));
}

void TSlotMachine::ShowSwitches() {
    // Ticks set here call no handler.
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TLogSwitches Switches = Machine().LogSwitches(Automaton);
        for (int32_t Item = 0; Item < LogItems; ++Item)
            LogSettings(Automaton)->SetChecked(Item, Switches[static_cast<size_t>(Item)]);
    }
}

// --- Player's actions ----------------------------------------------------------------------------

void TSlotMachine::PlayerInput(TPlayerAction Action) {
    if (UserInput())
        FClock->Door().Take(Action);
}

void TSlotMachine::Image1Click() {
    PlayerInput(TPlayerAction::Coin);
}

void TSlotMachine::iBadCoinClick() {
    PlayerInput(TPlayerAction::Bad);
}

void TSlotMachine::iPlayClick() {
    PlayerInput(TPlayerAction::Play);
}

void TSlotMachine::iReturnClick() {
    PlayerInput(TPlayerAction::Return);
}

void TSlotMachine::btnTechResetClick() {
    PlayerInput(TPlayerAction::Reset);
}

bool TSlotMachine::UserInput() {
    FClock->CatchUp();
    if (!FHistory->Fork())
        return false;
    if (FClock->Playing()) {
        FClock->StopPlayback();
        FPlaying.clear();
        FClockState->Refresh();
    }
    return true;
}

// --- Log settings -----------------------------------------------------------------------------

TLogSwitches TSlotMachine::Ticked(int32_t Automaton) const {
    const TCheckList* List = LogSettings(Automaton);
    TLogSwitches Switches{};
    for (int32_t Item = 0; Item < LogItems; ++Item)
        Switches[static_cast<size_t>(Item)] = List->Checked(Item);
    return Switches;
}

void TSlotMachine::CheckListInput(int32_t Automaton) {
    if (UserInput())
        FClock->Door().SetSwitches(Automaton, Ticked(Automaton));
    else
        ShowSwitches(); // the tick goes back
}

void TSlotMachine::cbA0LogSettingsClickCheck() {
    CheckListInput(A0);
}

void TSlotMachine::cbA1LogSettingsClickCheck() {
    CheckListInput(A1);
}

void TSlotMachine::cbA2LogSettingsClickCheck() {
    CheckListInput(A2);
}

// --- The automata's diagrams ------------------------------------------------------------------

// Beside the machine's window where the screen has room for the diagrams at a useful size, over it
// where not: the player watches both as far as the screen lets them.
void TSlotMachine::PlaceBeside(TAutomataWindow& Other) const {
    const QScreen* Screen = screen();
    const QRect Room = FScreenRoom ? FScreenRoom() : Screen ? Screen->availableGeometry() : QRect();
    if (Room.isEmpty())
        return;
    // The other window, not shown yet, will be framed as this one is.
    const QMargins Frame = FrameMargins(frameGeometry(), geometry());
    const QSize Around(Frame.left() + Frame.right(), Frame.top() + Frame.bottom());
    const QRect Place = sm::PlaceBeside(Room, frameGeometry(), Other.sizeHint() + Around,
                                        Other.UsefulSize() + Around);
    Other.resize(Place.size() - Around);
    Other.move(Place.topLeft());
}

void TSlotMachine::ShowAutomata() {
    if (!FAutomataWindow) {
        // Its strip runs the same clock, and its lit steps fade with the machine's time.
        FAutomataWindow = std::make_unique<TAutomataWindow>(
            *FClock, FClockActions, [this] { return SessionStart(); }, this);
        // The game keys and the clock's keys work from there too.
        for (QAction* Action : FKeyActions)
            FAutomataWindow->addAction(Action);
        for (QAction* Action : FClockActions)
            FAutomataWindow->addAction(Action);
        // Where the user put it last time, if anywhere.
        if (!FAutomataWindow->GeometryRestored())
            PlaceBeside(*FAutomataWindow);
        FAutomataWindow->SetCoverage([this]() -> const TCoverageCounts& { return FCoverage; });
        FAutomataWindow->SetPlayer(
            [this](const TScript& Script, const QString& Name) { PlayScript(Script, Name); });
        FAutomataWindow->SetSessionSoFar([this] { return SessionScript(); });
        FAutomataWindow->SetBreakpoints(FBreakpoints.get());
        FAutomataWindow->SetReplaying([this] { return FHistory->InPast(); });
        connect(FHistory.get(), &THistoryControl::PastEntered, FAutomataWindow.get(),
                &TAutomataWindow::PastBegins);
        connect(FHistory.get(), &THistoryControl::PresentReturned, FAutomataWindow.get(),
                &TAutomataWindow::PastEnded);
        FAutomataWindow->AddSessionTimeline(new TSessionTimeline(
            *FHistory, *FClock, [this] { return SessionStart(); }, FAutomataWindow.get()));
    }
    FAutomataWindow->show();
    FAutomataWindow->raise();
}

void TSlotMachine::contextMenuEvent(QContextMenuEvent* Event) {
    // Only the free background offers it: the window itself or the bare panel; from the keyboard,
    // any control that has none of its own.
    const QWidget* Under = childAt(Event->pos());
    if (Under && Under != Panel1 && Event->reason() != QContextMenuEvent::Keyboard) {
        Event->ignore();
        return;
    }
    auto* Menu = new QMenu(this);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* Action : MenuActions())
        Menu->addAction(Action);
    Menu->popup(Event->globalPos());
}

void TSlotMachine::closeEvent(QCloseEvent* Event) {
    if (FRecovery && !FRecovery->MayClose())
        Event->ignore();
}

// --- Sessions ---------------------------------------------------------------------------------

QByteArray TSlotMachine::SessionScript() {
    FClock->CatchUp();
    // From the past too, the whole history to its latest moment.
    return FRecorder->Script(FHistory->End(), FBreakpoints->ScriptLines());
}

QString TSlotMachine::SaveSession(const QString& Path) {
    return WriteFile(Path, SessionScript());
}

QString TSlotMachine::SaveProtocol(const QString& Path) {
    QString Text = Log->Text();
    if (!Text.isEmpty())
        Text += u'\n';
    return WriteFile(Path, Text.toUtf8());
}

QString TSlotMachine::OpenSession(const QString& Path) {
    QString Problem;
    const std::optional<TScript> Script = ReadSession(Path, Problem);
    if (!Script)
        return Problem;
    PlayScript(*Script, Path);
    return {};
}

void TSlotMachine::PlayScript(const TScript& Script, const QString& Name) {
    FClock->StartAnew(TMachine());
    Machine().Seed(Script.Seed);
    Log->Clear();
    BeginSession(Script.Start.value_or(StartReading(QDateTime::currentDateTime())));
    // After the session's counts start anew.
    if (FAutomataWindow)
        FAutomataWindow->StartAnew();
    FPlaying = Name;
    // A session with break lines brings its own; a way found or a session without them keeps
    // the user's.
    if (!Script.Breakpoints.empty())
        FBreakpoints->SetAll(Script.Breakpoints);
    FClock->Play(Script.Commands);
}

void TSlotMachine::RunToEnd() {
    // The panel lays out only the end it shows, not every line on the way, and the displays show
    // only the end.
    Log->Hold(true);
    if (FAutomataWindow)
        FAutomataWindow->Hold(true);
    FHeldChanges = 0u;
    const auto Release = qScopeGuard([this] {
        Log->Hold(false);
        if (FAutomataWindow)
            FAutomataWindow->Hold(false);
        MachineChanged(*std::exchange(FHeldChanges, std::nullopt) & ~unsigned(ChangedSteps));
    });
    FClock->RunToEnd();
}

namespace {

const QString SessionFilter = QStringLiteral("Сеансы (*.session);;Все файлы (*)");

} // namespace

bool TSlotMachine::ChooseAndSaveSession() {
    const QString Path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить сеанс"), QStringLiteral("сеанс.session"), SessionFilter);
    if (Path.isEmpty())
        return false;
    if (QString Problem = SaveSession(Path); !Problem.isEmpty()) {
        TErrorBox::Instance().Report(Problem);
        return false;
    }
    return true;
}

void TSlotMachine::ChooseAndSaveProtocol() {
    const QString Path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить протокол"), QStringLiteral("протокол.txt"),
        QStringLiteral("Текст (*.txt);;Все файлы (*)"));
    if (Path.isEmpty())
        return;
    if (QString Problem = SaveProtocol(Path); !Problem.isEmpty())
        TErrorBox::Instance().Report(Problem);
}

void TSlotMachine::ChooseAndOpenSession() {
    const QString Path = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть сеанс"),
                                                      QString(), SessionFilter);
    if (Path.isEmpty())
        return;
    // Checked before anything is asked: a script that cannot be played leaves the running
    // session as it was.
    QString Problem;
    const std::optional<TScript> Script = ReadSessionShowingProgress(this, Path, Problem);
    if (!Script) {
        if (!Problem.isEmpty())
            TErrorBox::Instance().Report(Problem);
        return;
    }
    // The session played replaces this one and its protocol: nothing goes unasked.
    if (FRecorder->Recorded())
        switch (AskToSave(this, QStringLiteral("Открыть сеанс"),
                          QStringLiteral("Сеанс из файла заменит текущий сеанс и его "
                                         "протокол. Сохраните их, если они нужны.\n\n"
                                         "Открыть сеанс?"))) {
        case TSaveAnswer::Save:
            if (!ChooseAndSaveSession())
                return;
            break;
        case TSaveAnswer::Discard:
            break;
        case TSaveAnswer::Cancel:
            return;
        }
    PlayScript(*Script, Path);
}

void TSlotMachine::PlaybackEnded(int Line, const QString& Error) {
    const QString Name = std::exchange(FPlaying, QString());
    FClockState->Refresh();
    if (!Error.isEmpty())
        TErrorBox::Instance().Report(
            QStringLiteral("%1:%2: %3").arg(Escaped(Name)).arg(Line).arg(Error));
}

} // namespace sm
