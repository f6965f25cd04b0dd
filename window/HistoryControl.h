#pragma once

#include "sessions/History.h"
#include "sessions/SessionRecorder.h"
#include "slotmachine/Machine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QWidget;

namespace sm {

class TLogPanel;
class TMachineClock;

// Going back in the window's session: a jump to any moment, a step back, and going on from
// there. In the past the machine runs the recorded future as a playback on its clock (F5, F10
// and pausing work as on any playback) and writes no protocol: the panel keeps the later
// messages, dimmed below a mark. An input there forks the session once the user agrees.
class THistoryControl : public QObject {
    Q_OBJECT

public:
    // Asked before a fork drops that many of the player's recorded commands; true goes on.
    using TAsk = std::function<bool(size_t Dropped)>;

    THistoryControl(TMachineClock& Clock, TLogPanel& Log, QWidget* Window);
    ~THistoryControl() override;

    // The sink the machine writes to: the protocol's writer, except while the past replays.
    TProtocolSink& Sink(TProtocolSink& Writer);
    // A new session from the machine as it stands, its commands written down by the recorder.
    void Begin(TSessionRecorder& Recorder);

    const THistory& History() const { return *FHistory; }
    bool InPast() const { return FPast; }
    // The moment the machine stands at, or has last passed.
    size_t Present() const;
    // The latest moment of the session in milliseconds: where the present is, even from the past.
    int64_t End() const;

    // Each empty, or why not (then nothing changed).
    QString JumpTo(size_t Moment);
    QString StepBack();
    // To the latest moment, at once, recording again.
    QString GoToEnd();
    // The moment of the protocol's line at the caret.
    QString JumpToCaret();
    // Before an input in the past: the later history is dropped, the panel's later lines too,
    // and recording goes on from here. False when the user declined: the input is not taken.
    bool Fork();
    void SetAsk(TAsk Ask) { FAsk = std::move(Ask); }

    // «Перейти к этому моменту», Ctrl+Enter at the protocol's caret.
    QAction* JumpAction() const { return FJumpAction; }

signals:
    // The present or the history changed: a timeline shows it anew.
    void Moved();
    // The machine leaves its latest moment, and comes back to it (run there, or forked): what
    // was recorded in between was the past replayed.
    void PastEntered();
    void PresentReturned();
    // The later history was dropped: what kept the session so far must start it anew.
    void Forked();
    // A jump or step refused, with why: a timeline says it.
    void Refused(const QString& Why);

private:
    class TFilter;
    // Back to recording at the latest moment.
    void ToPresent();
    void MarkPresent();
    QString Refuse(const QString& Why);

    TMachineClock& FClock;
    TLogPanel& FLog;
    QWidget* FWindow;
    std::unique_ptr<TFilter> FFilter;
    TSessionRecorder* FRecorder = nullptr;
    std::unique_ptr<THistory> FHistory;
    // The commands the recorded future has replayed since the jump; they came after FBase others.
    std::unique_ptr<TSessionRecorder> FReplayed;
    size_t FBase = 0;
    int64_t FEnd = 0;
    bool FPast = false;
    TAsk FAsk;
    QAction* FJumpAction;
};

} // namespace sm
