#pragma once

#include "sessions/Session.h"
#include "window/FormMain.h"

#include <QTest>

#include <algorithm>
#include <memory>

namespace sm {

// A left click where the control is shown, as a player makes it.
inline void Click(QWidget* Control) {
    QTest::mouseClick(Control, Qt::LeftButton, {}, Control->rect().center());
}

// A click on the topmost coin the window shows; false when it shows none.
inline bool ClickCoin(TSlotMachine& Window) {
    for (int Number = TSlotMachine::TokenImages; Number > 0; --Number)
        if (!Window.Image(Number)->isHidden()) {
            Click(Window.Image(Number));
            return true;
        }
    return false;
}

// A token and «Игра» twice: the barrels spin and the first stop is armed.
inline void ClickGame(TSlotMachine& Window) {
    ClickCoin(Window);
    Click(Window.iPlay);
    Click(Window.iPlay);
}

// One of the machine's own timers fires at the present moment of the window's clock, as the
// clock fires it when it falls due; the test chooses the moment and the barrels' frames.
template <void (TMachine::*Timer)()> void Fire(TSlotMachine& Window) {
    Window.Clock().Do([](TMachine& Machine) { (Machine.*Timer)(); });
}

// Plays a window as a user does, on a wall clock that only the test moves: the event loop runs
// no frame in between, each Pass catches the machine up as the frames would.
class TWindowPlayer {
public:
    explicit TWindowPlayer(TSlotMachine& Window) : FWindow(Window) {
        Window.Clock().SetWallClock([Wall = FWall] { return *Wall; });
    }

    void Click(QWidget* Control) { sm::Click(Control); }
    bool Coin() { return ClickCoin(FWindow); }
    void Game() { ClickGame(FWindow); }
    void Key(int Key, Qt::KeyboardModifiers Modifiers = {}) {
        QTest::keyClick(FWindow.windowHandle(), Qt::Key(Key), Modifiers);
    }

    // Wall time passes in screen frames, each catching the machine up.
    void Pass(int64_t Milliseconds) {
        for (; Milliseconds > 0; Milliseconds -= TMachineClock::FrameMs) {
            *FWall += std::min<int64_t>(Milliseconds, TMachineClock::FrameMs);
            FWindow.Clock().CatchUp();
        }
    }
    // Wall time passes with no frame.
    void Idle(int64_t Milliseconds) { *FWall += Milliseconds; }
    int64_t Wall() const { return *FWall; }

    // The wall clock runs on to each stop or pay-out tick until none runs: empty, or why the
    // machine would never come to rest.
    QString Settle() {
        TMachineClock& Clock = FWindow.Clock();
        if (QString Never = WhyNotSettle(FWindow.Machine()); !Never.isEmpty())
            return Never;
        for (int Events = 0; !Settled(FWindow.Machine()); ++Events) {
            const auto Next = Clock.Time().NextEvent();
            if (Events == SettleLimit || !Next)
                return QStringLiteral("the machine never comes to rest: %1 stops and pay-out ticks")
                    .arg(Events);
            Pass(std::max<int64_t>(*Clock.Time().Due(*Next) - Clock.Reading(), 1));
        }
        return {};
    }
    // Frames until a script played has ended and no timer runs; false if that never comes.
    bool RunOut() {
        for (int Frame = 0; Frame < 100000; ++Frame) {
            if (!FWindow.Clock().Playing() && !Running())
                return true;
            Pass(TMachineClock::FrameMs);
        }
        return false;
    }
    bool Running() const {
        for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
            if (FWindow.Machine().Interval(TTimerId(Timer)) != 0)
                return true;
        return false;
    }

    QStringList Lines() const {
        QStringList Lines;
        for (qsizetype Line = 0; Line < FWindow.Log->LineCount(); ++Line)
            Lines << FWindow.Log->Line(Line);
        return Lines;
    }

    // More stops and pay-out ticks than any game needs.
    static constexpr int SettleLimit = 10'000;

private:
    TSlotMachine& FWindow;
    // Shared with the window's clock, which may outlive the player.
    std::shared_ptr<int64_t> FWall = std::make_shared<int64_t>(0);
};

struct TOwnWindow {
    TSlotMachine Window;
};

// A window of its own, played by the test.
class TPlayedWindow : public TOwnWindow, public TWindowPlayer {
public:
    TPlayedWindow() : TWindowPlayer(Window) {}
};

} // namespace sm
