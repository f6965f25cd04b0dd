#pragma once

#include "sessions/Breakpoints.h"
#include "sessions/Coverage.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace sm {

class TMachineClock;

// The window's breakpoints: those the user sets and those a played session brings, tested at
// every step of the clock's machine whether «Автоматы» is open or not. A hit pauses the clock at
// its moment, once the input that hit has been handled whole, and is said.
class TWindowBreakpoints : public QObject {
    Q_OBJECT

public:
    explicit TWindowBreakpoints(TMachineClock& Clock, QObject* Parent = nullptr);
    ~TWindowBreakpoints() override;

    const std::vector<TBreakpoint>& List() const { return FBreakpoints.List(); }
    void Add(TBreakpoint Breakpoint);
    void Remove(size_t Index);
    void SetEnabled(size_t Index, bool Enabled);
    // The breakpoint on a state or a row with no condition: set when there is none, else cleared.
    void Toggle(const TTarget& Target);
    // Those a played session brings, in place of all.
    void SetAll(std::vector<TBreakpoint> Breakpoints);
    // As a session's break lines, for a saved session.
    QByteArray ScriptLines() const;
    // The last hit while the clock stays paused by it; none once it goes on or the list changes.
    std::optional<size_t> LastHit() const { return FLastHit; }
    // «Остановка: A1 вошёл в состояние 2 "Жетон не распознан"».
    QString LastHitText() const { return FLastHitText; }

signals:
    // The list, a switch, a hit count or the last hit changed.
    void Changed();
    // The clock has paused at a hit.
    void Hit(const QString& Text);

private:
    void Hits(const std::vector<size_t>& Indices);
    void ListChanged();

    TMachineClock& FClock;
    TBreakpoints FBreakpoints;
    std::optional<size_t> FLastHit;
    QString FLastHitText;
};

} // namespace sm
