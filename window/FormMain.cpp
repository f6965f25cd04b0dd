#include "window/FormMain.h"

#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"
#include "window/AutomataWindow.h"
#include "window/ControlsAccessible.h"
#include "window/ErrorBox.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>

#include <algorithm>

namespace sm {

TSlotMachine::TSlotMachine(QWidget* Parent) : QWidget(Parent) {
    // Before the first control exists: a screen reader that already runs asks for each at once.
    QAccessible::installFactory(ControlsAccessibility);
    CreateControls();
    ConnectHandlers();
    FormCreate(this);
}

TSlotMachine::~TSlotMachine() {
    FormDestroy(this);
    if (TErrorBox::Instance().Owner == this)
        TErrorBox::Instance().Owner = nullptr;
}

void TSlotMachine::FormCreate(QObject*) {
    FMachine = std::make_unique<TMachine>();
    FProtocolWriter = std::make_unique<TProtocolWriter>(*Log);
    FMachine->SetSink(FProtocolWriter.get());
    FMachine->AddObserver(this);
    MachineChanged(ChangedFields | ChangedBarrels | ChangedTimers | ChangedSwitches);
}

void TSlotMachine::FormDestroy(QObject*) {
    // Nothing may reach the machine once it is gone.
    FAutomataWindow.reset();
    if (FTimerDriver)
        FTimerDriver->StopAll();
    FMachine.reset();
}

// --- The view ---------------------------------------------------------------------------------

void TSlotMachine::MachineChanged(unsigned Changes) noexcept {
    if (Changes & ChangedFields)
        ShowFields();
    if (Changes & ChangedBarrels)
        ShowBarrels();
    if (Changes & ChangedTimers) {
        FTimerDriver->Sync(*FMachine);
        // A barrel starts and stops with its spin timer: only then its name changes.
        NameBarrels();
    }
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
    const TDisplays& Shown = FMachine->Displays();
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
        Rename(Barrels[Index], FMachine->Interval(TTimerId(TTimerId::TimerSync1 + Index)) != 0
                                   ? QStringLiteral("Барабан %1: вращается").arg(Number)
                                   : QStringLiteral("Барабан %1: %2")
                                         .arg(Number)
                                         .arg(SymbolOfFrame(FMachine->Displays().Barrels[Index])));
    }
}

void TSlotMachine::ShowBarrels() {
    const TDisplays& Shown = FMachine->Displays();
    Barrel1->SetFrameIndex(Shown.Barrels[0]);
    Barrel2->SetFrameIndex(Shown.Barrels[1]);
    Barrel3->SetFrameIndex(Shown.Barrels[2]);
}

TCheckList* TSlotMachine::LogSettings(int32_t Automaton) const {
    const std::array<TCheckList*, 3> Lists = {cbA0LogSettings, cbA1LogSettings, cbA2LogSettings};
    return Lists.at(static_cast<size_t>(Automaton));
}

void TSlotMachine::ShowSwitches() {
    // Ticks set here call no handler.
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TLogSwitches Switches = FMachine->LogSwitches(Automaton);
        for (int32_t Item = 0; Item < LogItems; ++Item)
            LogSettings(Automaton)->SetChecked(Item, Switches[static_cast<size_t>(Item)]);
    }
}

// --- Player's actions and ticks ---------------------------------------------------------------

void TSlotMachine::Image1Click(QObject*) {
    FMachine->Image1Click();
}

void TSlotMachine::iBadCoinClick(QObject*) {
    FMachine->iBadCoinClick();
}

void TSlotMachine::iPlayClick(QObject*) {
    FMachine->iPlayClick();
}

void TSlotMachine::iReturnClick(QObject*) {
    FMachine->iReturnClick();
}

void TSlotMachine::btnTechResetClick(QObject*) {
    FMachine->btnTechResetClick();
}

void TSlotMachine::JackTimerTimer(QObject*) {
    FMachine->JackTimerTimer();
}

void TSlotMachine::TimerSync1Timer(QObject*) {
    FMachine->TimerSync1Timer();
}

void TSlotMachine::TimerSync2Timer(QObject*) {
    FMachine->TimerSync2Timer();
}

void TSlotMachine::TimerSync3Timer(QObject*) {
    FMachine->TimerSync3Timer();
}

void TSlotMachine::TimerB1Timer(QObject*) {
    FMachine->TimerB1Timer();
}

void TSlotMachine::TimerB2Timer(QObject*) {
    FMachine->TimerB2Timer();
}

void TSlotMachine::TimerB3Timer(QObject*) {
    FMachine->TimerB3Timer();
}

// --- Log settings -----------------------------------------------------------------------------

void TSlotMachine::CopyTicks(int32_t Automaton) {
    const TCheckList* List = LogSettings(Automaton);
    TLogSwitches Switches{};
    for (int32_t Item = 0; Item < LogItems; ++Item)
        Switches[static_cast<size_t>(Item)] = List->Checked(Item);
    FMachine->SetLogSwitches(Automaton, Switches);
}

void TSlotMachine::cbA0LogSettingsClickCheck(QObject*) {
    CopyTicks(A0);
}

void TSlotMachine::cbA1LogSettingsClickCheck(QObject*) {
    CopyTicks(A1);
}

void TSlotMachine::cbA2LogSettingsClickCheck(QObject*) {
    CopyTicks(A2);
}

// --- The automata's diagrams ------------------------------------------------------------------

// Where the screen has room, below the machine's window or above it, never over it: the player
// watches both. The diagrams scale to fit a shorter window.
void TSlotMachine::PlaceBeside(QWidget& Other) const {
    const QScreen* Screen = screen();
    if (!Screen)
        return;
    const QRect Room = Screen->availableGeometry();
    const QRect Frame = frameGeometry();
    const int Below = Room.bottom() - Frame.bottom();
    const int Above = Frame.top() - Room.top();
    // The other window's frame adds about a title bar to its height.
    const int Decoration = std::max(0, Frame.height() - height());
    const int Space = std::max(Below, Above) - Decoration;
    if (Space < 200) {
        Other.move(Room.topLeft());
        return;
    }
    Other.resize(Other.width(), std::min(Other.height(), Space));
    const int Top = Below >= Above ? Frame.bottom() + 1 : Frame.top() - Other.height() - Decoration;
    const int Left = std::clamp(Frame.left(), Room.left(),
                                std::max(Room.left(), Room.right() + 1 - Other.width()));
    Other.move(Left, Top);
}

void TSlotMachine::ShowAutomata() {
    if (!FAutomataWindow) {
        FAutomataWindow = std::make_unique<TAutomataWindow>(*FMachine, this);
        // The game keys play the machine from there too.
        for (QAction* Action : FKeyActions)
            FAutomataWindow->addAction(Action);
        PlaceBeside(*FAutomataWindow);
    }
    FAutomataWindow->show();
    FAutomataWindow->raise();
}

void TSlotMachine::contextMenuEvent(QContextMenuEvent* Event) {
    // Only the free background offers it: the window itself or the bare panel.
    const QWidget* Under = childAt(Event->pos());
    if (Under && Under != Panel1) {
        Event->ignore();
        return;
    }
    auto* Menu = new QMenu(this);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    Menu->addAction(FAutomataAction);
    Menu->popup(Event->globalPos());
}

} // namespace sm
