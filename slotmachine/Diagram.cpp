#include "slotmachine/Diagram.h"

#include "slotmachine/Machine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace {

// Both the window and Graphviz's own text sizes assume the window's font.
constexpr const char* FontName = "Liberation Sans";
constexpr int FontSize = 11;
// Longer runs of actions are broken after this many, so that no label grows too wide.
constexpr size_t ActionsPerLine = 1;

std::string AutomatonTag(int32_t Automaton) {
    return "A" + std::to_string(Automaton);
}

std::string SendText(int32_t Event, int32_t Target) {
    return "e" + std::to_string(Event) + "→" + AutomatonTag(Target);
}

// A missing label shows as "?", which the table tests look for.
template <class T> TDiagram Build(const T& Automaton, const TAutomatonsDispatcher& Names) {
    const TTableLabels<T> Labels = T::Labels();
    const auto GuardText = [&](bool (T::*Guard)() const) -> std::string {
        if (!Guard)
            return {};
        for (const auto& Label : Labels.Guards)
            if (Label.Guard == Guard)
                return Label.Text;
        return "?";
    };
    const auto ActionsOf = [&](const TActions<T>& Actions) {
        std::vector<TDiagramAction> Result;
        for (const TAction<T>& Action : Actions) {
            if (Action.Plain) {
                const auto Label = std::find_if(
                    Labels.Actions.begin(), Labels.Actions.end(),
                    [&](const TActionLabel<T>& Each) { return Each.Action == Action.Plain; });
                Result.push_back({Label == Labels.Actions.end() ? "?" : Label->Text, -1});
            } else if (Action.Send) {
                const auto Label = std::find_if(
                    Labels.Sends.begin(), Labels.Sends.end(),
                    [&](const TSendLabel<T>& Each) { return Each.Send == Action.Send; });
                if (Label == Labels.Sends.end())
                    Result.push_back({"?", -1});
                else
                    Result.push_back({SendText(Action.Event, Label->Target), Label->Target});
            }
        }
        return Result;
    };

    const int32_t Number = Automaton.FNumber;
    const TStringList& StateNames = Names.FStateNames.at(static_cast<size_t>(Number));
    TDiagram Diagram;
    Diagram.Automaton = Number;
    Diagram.Title = AutomatonTag(Number) + " " + Automaton.FName;
    for (int32_t State = 0; State < T::StateCount; ++State) {
        TDiagramNode Node;
        Node.State = State;
        Node.Name = std::to_string(State) + " " + StateNames.Get(State);
        for (const TEntry<T>& Entry : T::Entries())
            if (Entry.State == State)
                for (TDiagramAction& Action : ActionsOf(Entry.Actions))
                    Node.Entry.push_back(std::move(Action));
        Diagram.Nodes.push_back(std::move(Node));
    }
    if constexpr (requires { T::RelayState; })
        Diagram.Nodes.at(T::RelayState).RelayTarget = T::RelayTarget;
    const TStringList& EventNames = Names.FEventNames;
    int Index = 0;
    for (const TRow<T>& Row : Automaton.RowTable()) {
        const bool Named = Row.Event >= 0 && Row.Event < EventNames.Count();
        Diagram.Edges.push_back({Index++, Row.State, Row.Next, Row.Event,
                                 Named ? EventNames.Get(Row.Event) : std::string(),
                                 GuardText(Row.Guard), ActionsOf(Row.Actions)});
    }
    return Diagram;
}

void Append(TLabelLine& Line, const std::string& Text, bool Send) {
    if (!Line.empty() && Line.back().Send == Send)
        Line.back().Text += Text;
    else
        Line.push_back({Text, Send});
}

// "prefix a, b," then "c": a few actions a line, the prefix on the first.
void AddActionLines(TLabel& Label, const std::string& Prefix,
                    const std::vector<TDiagramAction>& Actions) {
    for (size_t First = 0; First < Actions.size(); First += ActionsPerLine) {
        TLabelLine Line;
        if (First == 0)
            Append(Line, Prefix, false);
        const size_t Last = std::min(Actions.size(), First + ActionsPerLine);
        for (size_t Index = First; Index < Last; ++Index) {
            Append(Line, Actions[Index].Text, Actions[Index].Target >= 0);
            if (Index + 1 < Actions.size())
                Append(Line, Index + 1 < Last ? ", " : ",", false);
        }
        Label.push_back(std::move(Line));
    }
}

std::string Number(double Value) {
    char Buffer[32];
    const auto Result =
        std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, 5);
    return std::string(Buffer, Result.ptr);
}

std::string Quoted(const std::string& Text) {
    std::string Result = "\"";
    for (const char Character : Text) {
        if (Character == '"' || Character == '\\')
            Result += '\\';
        Result += Character;
    }
    return Result + "\"";
}

// A record label's text inside a DOT string: field separators, brackets, quotes and backslashes
// escaped, lines ending in "\n".
std::string RecordText(const TLabel& Label, size_t First, size_t End) {
    std::string Result;
    for (size_t Index = First; Index < End; ++Index) {
        for (const char Character : PlainText(Label[Index])) {
            if (std::string_view("{}|<>\\\"").find(Character) != std::string_view::npos)
                Result += '\\';
            Result += Character;
        }
        if (Index + 1 < End)
            Result += "\\n";
    }
    return Result;
}

std::string Lines(const TLabel& Label) {
    std::string Result;
    for (const TLabelLine& Line : Label) {
        if (!Result.empty())
            Result += '\n';
        Result += PlainText(Line);
    }
    return Result;
}

// A DOT string: quotes and backslashes escaped, line breaks as "\n".
std::string DotString(const std::string& Text) {
    std::string Result = "\"";
    for (const char Character : Text) {
        if (Character == '\n') {
            Result += "\\n";
            continue;
        }
        if (Character == '"' || Character == '\\')
            Result += '\\';
        Result += Character;
    }
    return Result + "\"";
}

constexpr const char* SendColour = "#1f5fbf";

// Appends the pieces in order.
template <class... TPieces> void Add(std::string& Out, const TPieces&... Pieces) {
    ((Out += Pieces), ...);
}

void AddGraphDefaults(std::string& Out) {
    const std::string Font =
        "fontname=" + Quoted(FontName) + ", fontsize=" + std::to_string(FontSize);
    Add(Out, "  graph [charset=\"UTF-8\", ", Font, ", nodesep=0.3, ranksep=0.4, labelloc=t];\n");
    Add(Out, "  node [shape=Mrecord, ", Font, ", margin=\"0.1,0.05\"];\n");
    Add(Out, "  edge [", Font, ", arrowsize=0.7];\n");
}

void AddBody(std::string& Out, const TDiagram& Diagram, const std::string& Indent) {
    for (const TDiagramNode& Node : Diagram.Nodes) {
        const TLabel Label = NodeLabel(Node);
        std::string Record = RecordText(Label, 0, 1);
        if (Label.size() > 1) {
            Record.insert(0, "{");
            Add(Record, "|", RecordText(Label, 1, Label.size()), "}");
        }
        const std::string Id = Quoted(NodeId(Diagram.Automaton, Node.State));
        // Already escaped for a record inside a DOT string.
        Add(Out, Indent, Id, " [id=", Id, ", label=\"", Record, "\"];\n");
    }
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        Add(Out, Indent, Quoted(NodeId(Diagram.Automaton, Edge.From)), " -> ",
            Quoted(NodeId(Diagram.Automaton, Edge.To)),
            " [id=", Quoted(EdgeId(Diagram.Automaton, Edge.Row)),
            ", label=", DotString(Lines(EdgeLabel(Edge))));
        if (!Edge.EventName.empty())
            Add(Out, ", tooltip=", Quoted("e" + std::to_string(Edge.Event) + " " + Edge.EventName));
        if (Edge.Sends())
            Add(Out, ", color=\"", SendColour, "\", fontcolor=\"", SendColour, "\"");
        Out += "];\n";
    }
}

} // namespace

bool TDiagramEdge::Sends() const {
    return std::any_of(Actions.begin(), Actions.end(),
                       [](const TDiagramAction& Action) { return Action.Target >= 0; });
}

TDiagram DiagramOf(const TMachine& Machine, int32_t Automaton) {
    const TAutomatonsDispatcher& Names = Machine.FAutomatonsDispatcher;
    switch (Automaton) {
    case A0:
        return Build(Machine.FAutomatonSlotMachine, Names);
    case A1:
        return Build(Machine.FAutomatonMoneyTray, Names);
    case A2:
        return Build(Machine.FAutomatonBarrelsEngine, Names);
    default:
        throw std::out_of_range("no automaton A" + std::to_string(Automaton));
    }
}

TLabel NodeLabel(const TDiagramNode& Node) {
    TLabel Label = {{{Node.Name, false}}};
    AddActionLines(Label, "вход / ", Node.Entry);
    if (Node.RelayTarget >= 0)
        Label.push_back({{"все события → " + AutomatonTag(Node.RelayTarget), true}});
    return Label;
}

TLabel EdgeLabel(const TDiagramEdge& Edge) {
    std::string First = "e" + std::to_string(Edge.Event);
    if (!Edge.Guard.empty())
        First += " [" + Edge.Guard + "]";
    TLabel Label = {{{First, false}}};
    AddActionLines(Label, "/ ", Edge.Actions);
    return Label;
}

std::string PlainText(const TLabelLine& Line) {
    std::string Result;
    for (const TLabelRun& Run : Line)
        Result += Run.Text;
    return Result;
}

std::string NodeId(int32_t Automaton, int32_t State) {
    return AutomatonTag(Automaton) + "-state-" + std::to_string(State);
}

std::string EdgeId(int32_t Automaton, int Row) {
    return AutomatonTag(Automaton) + "-row-" + std::to_string(Row);
}

std::string DotText(std::span<const TDiagram> Diagrams) {
    std::string Out;
    if (Diagrams.size() == 1) {
        const TDiagram& Diagram = Diagrams.front();
        Add(Out, "digraph ", Quoted(AutomatonTag(Diagram.Automaton)), " {\n");
        AddGraphDefaults(Out);
        Add(Out, "  label=", Quoted(Diagram.Title), ";\n");
        AddBody(Out, Diagram, "  ");
        return Out + "}\n";
    }
    Out = "digraph \"automata\" {\n";
    AddGraphDefaults(Out);
    for (const TDiagram& Diagram : Diagrams) {
        Add(Out, "  subgraph ", Quoted("cluster_" + AutomatonTag(Diagram.Automaton)), " {\n");
        Add(Out, "    label=", Quoted(Diagram.Title), ";\n");
        AddBody(Out, Diagram, "    ");
        Out += "  }\n";
    }
    return Out + "}\n";
}

std::string DotText(const TDiagram& Diagram, const TLabelSizes& Sizes) {
    if (Sizes.Nodes.size() != Diagram.Nodes.size() || Sizes.Edges.size() != Diagram.Edges.size())
        throw std::invalid_argument("label sizes do not match the diagram");
    // Whole points: Graphviz rounds node sizes to points, and must not round them down.
    const auto Points = [](double Value) { return std::ceil(std::max(Value, 1.0)); };
    std::string Out;
    Add(Out, "digraph ", Quoted(AutomatonTag(Diagram.Automaton)), " {\n",
        "  graph [nodesep=0.3, ranksep=0.4];\n",
        "  node [shape=box, fixedsize=true, label=\"\"];\n", "  edge [arrowsize=0.7];\n");
    for (const TDiagramNode& Node : Diagram.Nodes) {
        const TLabelSize Size = Sizes.Nodes[static_cast<size_t>(Node.State)];
        const std::string Id = Quoted(NodeId(Diagram.Automaton, Node.State));
        Add(Out, "  ", Id, " [id=", Id, ", width=", Number(Points(Size.Width) / 72),
            ", height=", Number(Points(Size.Height) / 72), "];\n");
    }
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const TLabelSize Size = Sizes.Edges[static_cast<size_t>(Edge.Row)];
        // An empty cell of a fixed size stands for the label that the caller draws.
        Add(Out, "  ", Quoted(NodeId(Diagram.Automaton, Edge.From)), " -> ",
            Quoted(NodeId(Diagram.Automaton, Edge.To)),
            " [id=", Quoted(EdgeId(Diagram.Automaton, Edge.Row)),
            ", label=<<TABLE BORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"0\"><TR><TD "
            "FIXEDSIZE=\"TRUE\" WIDTH=\"",
            std::to_string(static_cast<int>(Points(Size.Width))), "\" HEIGHT=\"",
            std::to_string(static_cast<int>(Points(Size.Height))), "\"></TD></TR></TABLE>>];\n");
    }
    return Out + "}\n";
}
