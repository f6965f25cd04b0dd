#pragma once

#include "sessions/RecoveryFile.h"
#include "sessions/Script.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QWidget;

namespace sm {

class TSlotMachine;

// What the user chose when asked to save the session before it goes.
enum class TSaveAnswer { Save, Discard, Cancel };

// The question with «Сохранить» first, then «Не сохранять», then «Отмена», which Esc gives too.
TSaveAnswer AskToSave(QWidget* Parent, const QString& Title, const QString& Text);

// Nothing lost: the window's session is kept in a recovery file as it is recorded, flushed once a
// second while anything changes and at every pause. The file goes only when the user has chosen
// to save the session or not; a crash or a kill leaves it for the next start to offer.
class TRecovery : public QObject {
    Q_OBJECT

public:
    static constexpr int FlushMs = 1000;

    explicit TRecovery(TSlotMachine& Window);
    ~TRecovery() override;

    // The window recorded a new session from its start.
    void Begin();
    // The session so far to the disk. The file is made at the first flush: start-up writes
    // nothing.
    void Flush();
    // Whether the window may close: a session with moves is asked about first. Once it may, the
    // file goes.
    bool MayClose();
    // The file, once made.
    QString Path() const;

private:
    TSlotMachine& FWindow;
    std::unique_ptr<TRecoveryFile> FFile;
    QTimer FTimer;
    bool FTicked = false;   // the clock ran at the last flush: its end is still to be written
    bool FReported = false; // a failed write is told once
};

// At start-up: the newest session that a crashed or killed window left is offered, to restore
// (played to its last moment and paused), to save as a file, or to delete. A damaged one is set
// aside and reported; one with no moves goes quietly.
void OfferLeftSession(TSlotMachine& Window);

// Plays the session to its end at once; the clock stays paused there.
void RestoreSession(TSlotMachine& Window, const TScript& Script, const QString& Name);

} // namespace sm
