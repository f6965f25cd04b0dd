#pragma once

#include "slotmachine/Machine.h"
#include "window/DiagramView.h"

#include <QBasicTimer>
#include <QWidget>

#include <array>
#include <functional>

// «Автоматы»: the state diagrams of A0, A1 and A2 side by side, following one machine. It
// watches the machine itself, not its protocol, so switching messages off does not blind it.
// Laid out once when made; closing it only hides it.
class TAutomataWindow : public QWidget, private TMachineObserver {
    Q_OBJECT

public:
    using TClock = std::function<qint64()>;
    static constexpr int FrameMs = 50;
    // Steps of one input light up one after another, in the order of the protocol.
    static constexpr qint64 StepDelayMs = 150;

    TAutomataWindow(TMachine& Machine, QWidget* Parent = nullptr);
    ~TAutomataWindow() override;

    TDiagramView* View(int32_t Automaton) const;
    // Milliseconds from any fixed moment; a test gives its own.
    void SetClock(TClock Clock);
    // The fade timer's handler: moves the glows on, and stops the timer once all are dark.
    void Tick();
    bool Fading() const { return FFade.isActive(); }

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void timerEvent(QTimerEvent* Event) override;

private:
    void MachineChanged(unsigned Changes) noexcept override;
    void LightSteps();
    void ShowStates();

    TMachine& FMachine;
    std::array<TDiagramView*, 3> FViews{};
    TClock FClock;
    QBasicTimer FFade;
};
