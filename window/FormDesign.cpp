#include "window/FormMain.h"

#include "slotmachine/PlayerActions.h"
#include "window/Application.h"
#include "window/ErrorBox.h"
#include "window/LogSettingsItems.h"
#include "window/Pictures.h"

#include <algorithm>

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

    FTimerDriver = std::make_unique<TTimerDriver>(this);
    TimerSync1 = FTimerDriver->Timer(TTimerId::TimerSync1);
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
    TimerB1 = FTimerDriver->Timer(TTimerId::TimerB1);
    TimerB2 = FTimerDriver->Timer(TTimerId::TimerB2);
    TimerB3 = FTimerDriver->Timer(TTimerId::TimerB3);
    JackTimer = FTimerDriver->Timer(TTimerId::JackTimer);
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
        Token->setAccessibleName(QStringLiteral("Жетон"));
        Token->SetPicture(TokenPixmap());
        Images[static_cast<size_t>(Number - 1)] = Token;
    }
    Shape1 = Place(new TShape(Panel1), "Shape1", 248, 32, 9, 49);
    Label5 = MakeLabel(Panel1, "Label5", QStringLiteral("Ставка: "), 184, 16, 42, 13);
    edStake = Place(new TNumberField(Panel1), "edStake", 184, 38, 49, 19);
    TimerSync2 = FTimerDriver->Timer(TTimerId::TimerSync2);
    TimerSync3 = FTimerDriver->Timer(TTimerId::TimerSync3);
    edJackPot = Place(new TNumberField(Panel1), "edJackPot", 184, 86, 49, 19);
    Label6 = MakeLabel(Panel1, "Label6", QStringLiteral("Выигрыш"), 184, 64, 48, 13);
    iBadCoin = Place(new TImage(this), "iBadCoin", 240, 264, 32, 32);
    iBadCoin->setAccessibleName(QStringLiteral("Фальшивый жетон"));
    iBadCoin->SetPicture(BadTokenPixmap());
    iPlay = Place(new TImage(Panel1), "iPlay", 8, 88, 64, 32);
    iPlay->setAccessibleName(QStringLiteral("Игра"));
    iPlay->SetPicture(PlayPixmap());
    iReturn = Place(new TImage(Panel1), "iReturn", 96, 88, 64, 32);
    iReturn->setAccessibleName(QStringLiteral("Возврат"));
    iReturn->SetPicture(ReturnPixmap());
    edUser = Place(new TNumberField(this), "edUser", 160, 278, 49, 19);
    Label7 = MakeLabel(this, "Label7", QStringLiteral("Игрок:"), 160, 264, 34, 13);
    btnTechReset = Place(new QPushButton(QStringLiteral("Тех. сброс"), Panel1), "btnTechReset", 200,
                         112, 65, 17);
    btnTechReset->setFocusPolicy(Qt::NoFocus);

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
    Log->AddMenuAction(FAutomataAction);
    // Shift+F10 opens a context menu wherever the Menu key does, in every window of the program.
    auto* MenuKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this);
    MenuKey->setContext(Qt::ApplicationShortcut);
    connect(MenuKey, &QShortcut::activated, this, &TApplication::OpenContextMenu);

    // Keys a player would guess play the whole machine; the tab order stays the design's.
    const struct {
        QWidget* Control;
        QList<QKeySequence> Keys;
        QString Name;
    } Keyboard[] = {
        {Images[0], {Qt::Key_Plus, Qt::Key_Insert}, QStringLiteral("Жетон")},
        {iBadCoin, {Qt::Key_Minus}, QStringLiteral("Фальшивый жетон")},
        {iPlay, {Qt::Key_Return, Qt::Key_Enter}, QStringLiteral("Игра")},
        {iReturn, {Qt::Key_Backspace}, QStringLiteral("Возврат")},
        {btnTechReset, {QKeySequence(Qt::CTRL | Qt::Key_R)}, QStringLiteral("Тех. сброс")},
    };
    for (const auto& [Control, Keys, Name] : Keyboard) {
        auto* Action = new QAction(Name, this);
        Action->setShortcuts(Keys);
        Action->setShortcutContext(Qt::WindowShortcut);
        addAction(Action);
        QStringList Texts;
        for (const QKeySequence& Key : Keys)
            Texts << Key.toString(QKeySequence::NativeText);
        const QString Hint = QStringLiteral("%1 (%2)").arg(Name, Texts.join(QStringLiteral(", ")));
        if (Control == Images[0]) {
            for (TImage* Token : Images)
                Token->setToolTip(Hint);
        } else {
            Control->setToolTip(Hint);
        }
        FKeyActions.push_back(Action);
    }
}

void TSlotMachine::ConnectHandlers() {
    // An error in a handler is shown and the loop goes on.
    const auto Handler = [this](void (TSlotMachine::*Method)(QObject*)) {
        return Guarded([this, Method](QObject* Sender) { (this->*Method)(Sender); });
    };
    for (TImage* Token : Images)
        connect(Token, &TImage::Click, this, Handler(&TSlotMachine::Image1Click));
    connect(iBadCoin, &TImage::Click, this, Handler(&TSlotMachine::iBadCoinClick));
    connect(iPlay, &TImage::Click, this, Handler(&TSlotMachine::iPlayClick));
    connect(iReturn, &TImage::Click, this, Handler(&TSlotMachine::iReturnClick));
    connect(btnTechReset, &QPushButton::clicked, this,
            [this, Reset = Handler(&TSlotMachine::btnTechResetClick)] { Reset(btnTechReset); });
    connect(JackTimer, &TTimer::Timer, this, Handler(&TSlotMachine::JackTimerTimer));
    connect(TimerSync1, &TTimer::Timer, this, Handler(&TSlotMachine::TimerSync1Timer));
    connect(TimerSync2, &TTimer::Timer, this, Handler(&TSlotMachine::TimerSync2Timer));
    connect(TimerSync3, &TTimer::Timer, this, Handler(&TSlotMachine::TimerSync3Timer));
    connect(TimerB1, &TTimer::Timer, this, Handler(&TSlotMachine::TimerB1Timer));
    connect(TimerB2, &TTimer::Timer, this, Handler(&TSlotMachine::TimerB2Timer));
    connect(TimerB3, &TTimer::Timer, this, Handler(&TSlotMachine::TimerB3Timer));
    connect(cbA0LogSettings, &TCheckList::ClickCheck, this,
            Handler(&TSlotMachine::cbA0LogSettingsClickCheck));
    connect(cbA1LogSettings, &TCheckList::ClickCheck, this,
            Handler(&TSlotMachine::cbA1LogSettingsClickCheck));
    connect(cbA2LogSettings, &TCheckList::ClickCheck, this,
            Handler(&TSlotMachine::cbA2LogSettingsClickCheck));
    // A key does what a click on its control would, and only while the control is shown.
    const auto Key = [this](QAction* Action, auto Click) {
        connect(Action, &QAction::triggered, this, [Press = Guarded(Click)] { Press(); });
    };
    Key(FKeyActions[0], [this] {
        if (CanTake(Machine(), TPlayerAction::Coin))
            Image1Click(Image(1));
    });
    Key(FKeyActions[1], [this] {
        if (CanTake(Machine(), TPlayerAction::Bad))
            iBadCoinClick(iBadCoin);
    });
    Key(FKeyActions[2], [this] { iPlayClick(iPlay); });
    Key(FKeyActions[3], [this] { iReturnClick(iReturn); });
    Key(FKeyActions[4], [this] { btnTechResetClick(btnTechReset); });
    connect(FAutomataAction, &QAction::triggered, this,
            [Show = Guarded([this] { ShowAutomata(); })] { Show(); });
}

} // namespace sm
