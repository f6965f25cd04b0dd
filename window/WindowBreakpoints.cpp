#include "window/WindowBreakpoints.h"

#include "window/MachineClock.h"

#include <algorithm>

namespace sm {

TWindowBreakpoints::TWindowBreakpoints(TMachineClock& Clock, QObject* Parent)
    : QObject(Parent), FClock(Clock), FBreakpoints(Clock.Machine()) {
    FBreakpoints.OnHit = [this](const std::vector<size_t>& Indices) { Hits(Indices); };
    connect(&FClock, &TMachineClock::Halted, this, [this] {
        if (FLastHit)
            emit Hit(FLastHitText);
    });
    connect(&FClock, &TMachineClock::Moved, this, [this] {
        if (FLastHit && !FClock.Paused()) {
            FLastHit.reset();
            emit Changed();
        }
    });
}

TWindowBreakpoints::~TWindowBreakpoints() = default;

void TWindowBreakpoints::Hits(const std::vector<size_t>& Indices) {
    // In the middle of an input: only noted here, the clock pauses once it is over.
    FLastHit = Indices.front();
    FLastHitText =
        QStringLiteral("Остановка: %1").arg(HitText(FClock.Machine(), List().at(Indices.front())));
    FClock.Halt();
    QMetaObject::invokeMethod(this, &TWindowBreakpoints::Changed, Qt::QueuedConnection);
}

void TWindowBreakpoints::ListChanged() {
    FLastHit.reset();
    FClock.SetHaltable(std::any_of(List().begin(), List().end(),
                                   [](const TBreakpoint& Each) { return Each.Enabled; }));
    emit Changed();
}

void TWindowBreakpoints::Add(TBreakpoint Breakpoint) {
    FBreakpoints.List().push_back(std::move(Breakpoint));
    ListChanged();
}

void TWindowBreakpoints::Remove(size_t Index) {
    if (Index >= List().size())
        return;
    FBreakpoints.List().erase(FBreakpoints.List().begin() + static_cast<std::ptrdiff_t>(Index));
    ListChanged();
}

void TWindowBreakpoints::SetEnabled(size_t Index, bool Enabled) {
    if (Index >= List().size() || List()[Index].Enabled == Enabled)
        return;
    FBreakpoints.List()[Index].Enabled = Enabled;
    ListChanged();
}

void TWindowBreakpoints::Toggle(const TTarget& Target) {
    const TBreakKind Kind = Target.IsRow ? TBreakKind::Row : TBreakKind::State;
    for (size_t Index = 0; Index < List().size(); ++Index) {
        const TBreakpoint& Each = List()[Index];
        if (Each.Kind == Kind && Each.Automaton == Target.Automaton && Each.Index == Target.Index &&
            Each.Conditions.empty()) {
            Remove(Index);
            return;
        }
    }
    Add(Target.IsRow ? RowBreakpoint(FClock.Machine(), Target.Automaton, Target.Index)
                     : StateBreakpoint(Target.Automaton, Target.Index));
}

void TWindowBreakpoints::SetAll(std::vector<TBreakpoint> Breakpoints) {
    FBreakpoints.List() = std::move(Breakpoints);
    ListChanged();
}

QByteArray TWindowBreakpoints::ScriptLines() const {
    QByteArray Lines;
    for (const TBreakpoint& Each : List()) {
        // A disabled one is kept as a comment, so that the file still holds it.
        if (!Each.Enabled)
            Lines += "# ";
        Lines += "break " + Each.Text.toUtf8() + '\n';
    }
    return Lines;
}

} // namespace sm
