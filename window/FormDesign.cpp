#include "window/FormMain.h"

#include "sessions/PlayerActions.h"
#include "window/Application.h"
#include "window/ClockState.h"
#include "window/ErrorBox.h"
#include "window/HelpWindow.h"
#include "window/LogSettingsItems.h"
#include "window/Pictures.h"
#include "window/WindowScale.h"

#include <algorithm>

#include <QAbstractButton>
#include <QAction>
#include <QShortcut>

namespace sm {

namespace {

template <class TControl>
TControl* Place(TControl* Control, const QString& Name, int Left, int Top, int Width, int Height) {
    Control->setObjectName(Name);
    Control->setGeometry(Left, Top, Width, Height);
    return Control;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Text, int Left, int Top,
                  int Width, int Height) {
    auto* Label = Place(new QLabel(Text, Parent), Name, Left, Top, Width, Height);
    Label->setFocusPolicy(Qt::NoFocus);
    // The design's widths were measured with another font: never cut the text short.
    Label->resize(std::max(Width, Label->sizeHint().width()), Height);
    return Label;
}

// "Пауза (F6, Pause)": an action's name with its keys, as its tooltip says it.
QString WithKeys(const QString& Name, const QList<QKeySequence>& Keys) {
    QStringList Texts;
    for (const QKeySequence& Key : Keys)
        Texts << Key.toString(QKeySequence::NativeText);
    return QStringLiteral("%1 (%2)").arg(Name, Texts.join(QStringLiteral(", ")));
}

} // namespace

// Every control at its place with its start-up content; the window's look is set here too.
void TSlotMachine::CreateControls() {
    setObjectName(QStringLiteral("SlotMachine"));
    setWindowTitle(QStringLiteral("SlotMachine"));
    setFont(TApplication::WindowFont());
    // The window manager draws the frame: 903 x 330 outside leaves 895 x 303 inside.
    move(96, 183);
    resize(895, 303);
    TErrorBox::Instance().Owner = this;

    Panel1 = Place(new QWidget(this), "Panel1", 8, 8, 265, 129);
    Panel1->setAutoFillBackground(true);
    QPalette Black = Panel1->palette();
    Black.setColor(QPalette::Window, Qt::black);
    Panel1->setPalette(Black);
    Barrel1 = Place(new TFrameImage(BarrelFrameCount, Panel1), "Barrel1", 11, 20, 30, 45);
    Barrel2 = Place(new TFrameImage(BarrelFrameCount, Panel1), "Barrel2", 43, 20, 30, 45);
    Barrel3 = Place(new TFrameImage(BarrelFrameCount, Panel1), "Barrel3", 75, 20, 30, 45);
    for (TFrameImage* Barrel : {Barrel1, Barrel2, Barrel3}) {
        Barrel->SetFrames(BarrelFrames());
        Barrel->setAttribute(Qt::WA_OpaquePaintEvent); // every frame covers the whole control
    }
    Log = Place(new TLogPanel(this), "Log", 280, 8, 353, 289);
    cbA0LogSettings =
        Place(new TCheckList(LogSettingsItems(), this), "cbA0LogSettings", 640, 32, 249, 73);
    Label1 = MakeLabel(this, "Label1", QStringLiteral("A0 (Игровая машина)"), 640, 16, 108, 13);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("A1 (Жетоноприёмник)"), 640, 112, 112, 13);
    cbA1LogSettings =
        Place(new TCheckList(LogSettingsItems(), this), "cbA1LogSettings", 640, 128, 249, 73);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("A2 (Игровые барабаны)"), 640, 208, 120, 13);
    cbA2LogSettings =
        Place(new TCheckList(LogSettingsItems(), this), "cbA2LogSettings", 638, 224, 249, 73);
    edBank = Place(new TNumberField(Panel1), "edBank", 120, 38, 49, 19);
    Label4 = MakeLabel(Panel1, "Label4", QStringLiteral("Банк"), 120, 16, 25, 13);
    for (int Number = 1; Number <= TokenImages; ++Number) {
        const int Left = 8 + 8 * ((Number - 1) % 30);
        const int Top = 144 + 40 * ((Number - 1) / 30);
        auto* Token =
            Place(new TImage(this), QStringLiteral("Image%1").arg(Number), Left, Top, 32, 32);
        Token->SetPicture(TokenPixmap());
        Images[static_cast<size_t>(Number - 1)] = Token;
    }
    Shape1 = Place(new TShape(Panel1), "Shape1", 248, 32, 9, 49);
    Label5 = MakeLabel(Panel1, "Label5", QStringLiteral("Ставка: "), 184, 16, 42, 13);
    edStake = Place(new TNumberField(Panel1), "edStake", 184, 38, 49, 19);
    edJackPot = Place(new TNumberField(Panel1), "edJackPot", 184, 86, 49, 19);
    Label6 = MakeLabel(Panel1, "Label6", QStringLiteral("Выигрыш"), 184, 64, 48, 13);
    iBadCoin = Place(new TImage(this), "iBadCoin", 240, 264, 32, 32);
    iBadCoin->SetPicture(BadTokenPixmap());
    iPlay = Place(new TImage(Panel1), "iPlay", 8, 88, 64, 32);
    iPlay->SetPicture(PlayPixmap());
    iReturn = Place(new TImage(Panel1), "iReturn", 96, 88, 64, 32);
    iReturn->SetPicture(ReturnPixmap());
    edUser = Place(new TNumberField(this), "edUser", 160, 278, 49, 19);
    Label7 = MakeLabel(this, "Label7", QStringLiteral("Игрок:"), 160, 264, 34, 13);
    btnTechReset = Place(new QPushButton(Panel1), "btnTechReset", 200, 112, 65, 17);
    btnTechReset->setFocusPolicy(Qt::NoFocus);
    // Not the design's: the clock's state in the panel's free top line, shown only when it is news.
    FClockState = Place(new TClockState(
                            *FClock, [this] { return FPlaying; }, Panel1),
                        "ClockState", 8, 1, 249, 15);

    // Each label names its field or list, for a screen reader too.
    const std::pair<QLabel*, QWidget*> Named[] = {
        {Label1, cbA0LogSettings}, {Label2, cbA1LogSettings}, {Label3, cbA2LogSettings},
        {Label4, edBank},          {Label5, edStake},         {Label6, edJackPot},
        {Label7, edUser}};
    for (const auto& [Label, Control] : Named) {
        Label->setBuddy(Control);
        Control->setAccessibleName(Label->text().remove(u':').trimmed());
    }

    // White labels on the black panel.
    QPalette White = Label4->palette();
    White.setColor(QPalette::WindowText, Qt::white);
    for (QLabel* Label : {Label4, Label5, Label6})
        Label->setPalette(White);

    setTabOrder(cbA0LogSettings, Log);
    setTabOrder(Log, edBank);
    setTabOrder(edBank, edStake);
    setTabOrder(edStake, edJackPot);
    setTabOrder(edJackPot, cbA1LogSettings);
    setTabOrder(cbA1LogSettings, cbA2LogSettings);
    setTabOrder(cbA2LogSettings, edUser);

    // F2 and the context menus open the automata's diagrams; no control shows on the face.
    FAutomataAction = new QAction(QStringLiteral("Автоматы"), this);
    FAutomataAction->setObjectName(QStringLiteral("actAutomata"));
    FAutomataAction->setShortcut(QKeySequence(Qt::Key_F2));
    FAutomataAction->setShortcutContext(Qt::WindowShortcut);
    addAction(FAutomataAction);
    CreateFileActions();
    for (QAction* Action : MenuActions())
        Log->AddMenuAction(Action);
    // Shift+F10 and the Menu key open the context menu of whatever has the focus, in every window
    // of the program, on every platform (not all of them turn the Menu key into one).
    auto* MenuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    MenuKey->setKeys({QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)});
    MenuKey->setContext(Qt::ApplicationShortcut);
    connect(MenuKey, &QShortcut::activated, this, &TApplication::OpenContextMenu);

    // Keys a player would guess play the whole machine; the tab order stays the design's.
    BindPlayerActions();
    CreateClockActions();
    AddHelp(*this);
    new TWindowScale(*this); // last: it takes every control's place as the design's
    // What a newcomer finds first, wherever no control has its own tooltip.
    setToolTip(QStringLiteral("F1 — справка; правый щелчок — меню"));
}

QList<QWidget*> TSlotMachine::ControlsOf(const TPlayerActionRow& Row) const {
    auto* Control = findChild<QWidget*>(QLatin1String(Row.Control));
    if (!Control)
        qFatal("no control %s for the action %s", Row.Control, Row.Script.data());
    if (Control == Images[0])
        return {Images.begin(), Images.end()};
    return {Control};
}

void TSlotMachine::BindPlayerActions() {
    for (const TPlayerActionRow& Row : PlayerActionRows) {
        const QString Name = Row.Name.toString();
        QList<QKeySequence> Keys;
        for (const QKeyCombination Key : Row.Keys)
            if (Key.key() != Qt::Key_unknown)
                Keys << QKeySequence(Key);
        // An error in a handler is shown and the loop goes on.
        const auto Input = [Take = Guarded([this, Action = Row.Action] { PlayerInput(Action); })] {
            Take();
        };
        const QString Hint = WithKeys(Name, Keys);
        for (QWidget* Control : ControlsOf(Row)) {
            Control->setToolTip(Hint);
            if (auto* Image = qobject_cast<TImage*>(Control)) {
                Image->setAccessibleName(Name);
                connect(Image, &TImage::Click, this, Input);
            } else if (auto* Button = qobject_cast<QAbstractButton*>(Control)) {
                Button->setText(Name); // its face says its name
                connect(Button, &QAbstractButton::clicked, this, Input);
            }
        }
        // A key does what a click on the control would, and only while the window shows it.
        auto* Action = new QAction(Name, this);
        Action->setShortcuts(Keys);
        Action->setShortcutContext(Qt::WindowShortcut);
        addAction(Action);
        connect(Action, &QAction::triggered, this, Input);
        FKeyActions.push_back(Action);
    }
}

// The clock's keys are a debugger's: F5 goes on, F6 or Pause pauses and goes on, F10 steps, F9
// steps back; F7 and F8 slow the machine down and speed it up; Ctrl+F5 runs a playback at once
// to its end.
void TSlotMachine::CreateClockActions() {
    const auto Make = [this](const char* Name, const QString& Text,
                             const QList<QKeySequence>& Keys) {
        auto* Action = new QAction(Text, this);
        Action->setObjectName(QLatin1String(Name));
        Action->setShortcuts(Keys);
        Action->setShortcutContext(Qt::WindowShortcut);
        Action->setToolTip(WithKeys(Text, Keys));
        addAction(Action);
        FClockActions.push_back(Action);
        return Action;
    };
    QAction* Pause = Make("actPause", QStringLiteral("Пауза"), {Qt::Key_F6, Qt::Key_Pause});
    Pause->setCheckable(true);
    QAction* GoOn = Make("actGoOn", QStringLiteral("Продолжить"), {Qt::Key_F5});
    QAction* Back = Make("actStepBack", QStringLiteral("Назад"), {Qt::Key_F9});
    QAction* Step = Make("actStep", QStringLiteral("Шаг"), {Qt::Key_F10});
    QAction* Slower = Make("actSlower", QStringLiteral("Медленнее"), {Qt::Key_F7});
    QAction* Faster = Make("actFaster", QStringLiteral("Быстрее"), {Qt::Key_F8});
    QAction* ToEnd =
        Make("actRunToEnd", QStringLiteral("До конца сеанса"), {Qt::CTRL | Qt::Key_F5});
    // Its tick, however it changes: a screen reader's Toggle sets it without a trigger.
    connect(Pause, &QAction::toggled, this, [this](bool Paused) { FClock->SetPaused(Paused); });
    connect(GoOn, &QAction::triggered, this, [this] { FClock->SetPaused(false); });
    connect(Step, &QAction::triggered, this,
            [Step = Guarded([this] { FClock->Step(); })] { Step(); });
    // F9 is the exact inverse of F10: back to the moment before, down to start-up.
    connect(Back, &QAction::triggered, this,
            [Back = Guarded([this] { FHistory->StepBack(); })] { Back(); });
    connect(Slower, &QAction::triggered, this, [this] { FClock->Slower(); });
    connect(Faster, &QAction::triggered, this, [this] { FClock->Faster(); });
    connect(ToEnd, &QAction::triggered, this,
            [ToEnd = Guarded([this] { RunToEnd(); })] { ToEnd(); });
    // The tick follows the clock, whoever paused it.
    connect(FClock.get(), &TMachineClock::Moved, Pause,
            [this, Pause] { Pause->setChecked(FClock->Paused()); });
}

void TSlotMachine::CreateFileActions() {
    FOpenSessionAction = new QAction(QStringLiteral("Открыть сеанс…"), this);
    FOpenSessionAction->setObjectName(QStringLiteral("actOpenSession"));
    FSaveSessionAction = new QAction(QStringLiteral("Сохранить сеанс…"), this);
    FSaveSessionAction->setObjectName(QStringLiteral("actSaveSession"));
    FSaveProtocolAction = new QAction(QStringLiteral("Сохранить протокол…"), this);
    FSaveProtocolAction->setObjectName(QStringLiteral("actSaveProtocol"));
    FOpenSessionAction->setShortcut(QKeySequence::Open);
    FSaveSessionAction->setShortcut(QKeySequence::Save);
    for (QAction* Action : {FOpenSessionAction, FSaveSessionAction}) {
        Action->setShortcutContext(Qt::WindowShortcut);
        addAction(Action);
    }
}

QList<QAction*> TSlotMachine::MenuActions() const {
    return {FAutomataAction, FOpenSessionAction, FSaveSessionAction, FSaveProtocolAction};
}

void TSlotMachine::ConnectHandlers() {
    // An error in a handler is shown and the loop goes on.
    const auto Handler = [](auto Method) { return [Method = Guarded(Method)] { Method(); }; };
    connect(cbA0LogSettings, &TCheckList::ClickCheck, this,
            Handler([this] { cbA0LogSettingsClickCheck(); }));
    connect(cbA1LogSettings, &TCheckList::ClickCheck, this,
            Handler([this] { cbA1LogSettingsClickCheck(); }));
    connect(cbA2LogSettings, &TCheckList::ClickCheck, this,
            Handler([this] { cbA2LogSettingsClickCheck(); }));
    connect(FAutomataAction, &QAction::triggered, this,
            [Show = Guarded([this] { ShowAutomata(); })] { Show(); });
    connect(FOpenSessionAction, &QAction::triggered, this, &TSlotMachine::ChooseAndOpenSession);
    connect(FSaveSessionAction, &QAction::triggered, this, &TSlotMachine::ChooseAndSaveSession);
    connect(FSaveProtocolAction, &QAction::triggered, this, &TSlotMachine::ChooseAndSaveProtocol);
}

} // namespace sm
