#include "sessions/Coverage.h"

#include "slotmachine/Diagram.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace sm {

namespace {

// Rows before this one with the same state and event, and how many there are in all.
struct TRowPlace {
    int Before = 0;
    int Alike = 0;
};

TRowPlace PlaceOf(const TDiagram& Diagram, int Row) {
    const TDiagramEdge& Edge = Diagram.Edges.at(static_cast<size_t>(Row));
    TRowPlace Place;
    for (const TDiagramEdge& Other : Diagram.Edges)
        if (Other.From == Edge.From && Other.Event == Edge.Event) {
            Place.Before += Other.Row < Row ? 1 : 0;
            ++Place.Alike;
        }
    return Place;
}

QString NodeName(const TDiagram& Diagram, int32_t State) {
    return State >= 0 && static_cast<size_t>(State) < Diagram.Nodes.size()
               ? QString::fromStdString(Diagram.Nodes[static_cast<size_t>(State)].Name)
               : QString::number(State);
}

bool CanReach(const std::vector<bool>& Known, size_t Index) {
    return Known.empty() || Index >= Known.size() || Known[Index];
}

// "7 из 9 переходов (77 %)"; the share is rounded down, so that 100 % means every one.
QString Share(int64_t Taken, int64_t Of, const QString& Noun) {
    const QString Percent =
        Of == 0 ? QStringLiteral("—") : QStringLiteral("%1 %").arg(Taken * 100 / Of);
    return QStringLiteral("%1 из %2 %3 (%4)").arg(Taken).arg(Of).arg(Noun, Percent);
}

} // namespace

TCoverageCounts StartCounts(const TMachine& Machine) {
    TCoverageCounts Counts;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagram Diagram = DiagramOf(Machine, Automaton);
        TAutomatonCoverage& Each = Counts[static_cast<size_t>(Automaton)];
        Each.Rows.assign(Diagram.Edges.size(), 0);
        Each.States.assign(Diagram.Nodes.size(), 0);
        const int32_t State = Machine.State(Automaton);
        if (State >= 0 && static_cast<size_t>(State) < Each.States.size())
            ++Each.States[static_cast<size_t>(State)];
    }
    return Counts;
}

void CountStep(TCoverageCounts& Counts, const TStep& Step) {
    if (Step.Automaton < A0 || Step.Automaton > A2)
        return;
    TAutomatonCoverage& Each = Counts[static_cast<size_t>(Step.Automaton)];
    if (Step.Row >= 0 && static_cast<size_t>(Step.Row) < Each.Rows.size())
        ++Each.Rows[static_cast<size_t>(Step.Row)];
    if (Step.To != Step.From && Step.To >= 0 && static_cast<size_t>(Step.To) < Each.States.size())
        ++Each.States[static_cast<size_t>(Step.To)];
}

TCoverage::TCoverage(TMachine& Machine) : FMachine(Machine), FCounts(StartCounts(Machine)) {
    FMachine.AddObserver(this);
}

TCoverage::~TCoverage() {
    FMachine.RemoveObserver(this);
}

void TCoverage::MachineChanged(unsigned Changes) noexcept {
    if (Changes & ChangedSteps)
        for (const TStep& Step : FMachine.Steps())
            CountStep(FCounts, Step);
}

QString RowTarget(const TDiagram& Diagram, int Row) {
    const TDiagramEdge& Edge = Diagram.Edges.at(static_cast<size_t>(Row));
    QString Target =
        QStringLiteral("A%1 row %2 e%3").arg(Diagram.Automaton).arg(Edge.From).arg(Edge.Event);
    if (const TRowPlace Place = PlaceOf(Diagram, Row); Place.Alike > 1)
        Target += QStringLiteral(" #%1").arg(Place.Before + 1);
    return Target;
}

// "2 Игра — e5 [выигрыш=0] → 0 Ожидание", as the diagram labels the arrow.
QString RowText(const TDiagram& Diagram, int Row) {
    const TDiagramEdge& Edge = Diagram.Edges.at(static_cast<size_t>(Row));
    QString Label = QStringLiteral("e%1").arg(Edge.Event);
    if (!Edge.Guard.empty())
        Label += QStringLiteral(" [%1]").arg(QString::fromStdString(Edge.Guard));
    return QStringLiteral("%1 — %2 → %3")
        .arg(NodeName(Diagram, Edge.From), Label, NodeName(Diagram, Edge.To));
}

QString StateTarget(int32_t Automaton, int32_t State) {
    return QStringLiteral("A%1 state %2").arg(Automaton).arg(State);
}

QString RowTarget(const TMachine& Machine, int32_t Automaton, int Row) {
    return RowTarget(DiagramOf(Machine, Automaton), Row);
}

std::optional<TTarget> ParseTarget(const TMachine& Machine, const QString& Words) {
    static const QRegularExpression Shape(
        QStringLiteral(
            R"(^\s*A([0-2])\s+(?:state\s+(\d+)|row\s+(\d+)\s+e(\d+)(?:\s+#(\d+))?)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto Match = Shape.match(Words);
    if (!Match.hasMatch())
        return std::nullopt;
    const int32_t Automaton = Match.captured(1).toInt();
    const TDiagram Diagram = DiagramOf(Machine, Automaton);
    if (Match.hasCaptured(2)) {
        bool Fits = false;
        const int State = Match.captured(2).toInt(&Fits);
        if (!Fits || State >= static_cast<int>(Diagram.Nodes.size()))
            return std::nullopt;
        return TTarget{Automaton, false, State};
    }
    const QString Text = Match.captured(0).simplified();
    for (const TDiagramEdge& Edge : Diagram.Edges)
        if (RowTarget(Diagram, Edge.Row).compare(Text, Qt::CaseInsensitive) == 0)
            return TTarget{Automaton, true, Edge.Row};
    return std::nullopt;
}

QString CoverageText(const TMachine& Machine, const TCoverageCounts& Counts,
                     const TReachable& Reachable) {
    struct TLine {
        int64_t Count;
        QString Target;
        QString Text;
        QString Mark; // for an unreachable one
    };
    QString Result;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const auto A = static_cast<size_t>(Automaton);
        const TDiagram Diagram = DiagramOf(Machine, Automaton);
        const TAutomatonCoverage& Each = Counts[A];
        std::vector<TLine> Lines;
        int64_t RowsTaken = 0, RowsReachable = 0, StatesEntered = 0, StatesReachable = 0;
        for (size_t Row = 0; Row < Each.Rows.size() && Row < Diagram.Edges.size(); ++Row) {
            const bool Can = Each.Rows[Row] > 0 || CanReach(Reachable.Rows[A], Row);
            RowsReachable += Can ? 1 : 0;
            RowsTaken += Each.Rows[Row] > 0 ? 1 : 0;
            Lines.push_back({Each.Rows[Row], RowTarget(Diagram, static_cast<int>(Row)),
                             RowText(Diagram, static_cast<int>(Row)),
                             Can ? QString() : QStringLiteral(" — недостижим")});
        }
        for (size_t State = 0; State < Each.States.size(); ++State) {
            const bool Can = Each.States[State] > 0 || CanReach(Reachable.States[A], State);
            StatesReachable += Can ? 1 : 0;
            StatesEntered += Each.States[State] > 0 ? 1 : 0;
            Lines.push_back({Each.States[State],
                             StateTarget(Automaton, static_cast<int32_t>(State)),
                             NodeName(Diagram, static_cast<int32_t>(State)),
                             Can ? QString() : QStringLiteral(" — недостижимо")});
        }
        Result += QStringLiteral("%1: %2, %3\n")
                      .arg(QString::fromStdString(Diagram.Title),
                           Share(RowsTaken, RowsReachable, QStringLiteral("переходов")),
                           Share(StatesEntered, StatesReachable, QStringLiteral("состояний")));
        qsizetype CountWidth = 1, TargetWidth = 0;
        for (const TLine& Line : Lines) {
            CountWidth = std::max(CountWidth, QString::number(Line.Count).size());
            TargetWidth = std::max(TargetWidth, Line.Target.size());
        }
        for (const TLine& Line : Lines)
            Result += QStringLiteral("  %1  %2  %3%4\n")
                          .arg(Line.Count, static_cast<int>(CountWidth))
                          .arg(Line.Target.leftJustified(TargetWidth), Line.Text, Line.Mark);
    }
    return Result;
}

} // namespace sm
