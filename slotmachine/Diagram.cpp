#include "slotmachine/Diagram.h"

#include "slotmachine/Machine.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace sm {

namespace {

// Both the window and Graphviz's own text sizes assume the window's font.
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

// Lines of a label as HTML-like text: markup characters as entities, lines apart by "<BR/>".
std::string HtmlText(const TLabel& Label, size_t First, size_t End) {
    std::string Result;
    for (size_t Index = First; Index < End; ++Index) {
        for (const char Character : PlainText(Label[Index])) {
            switch (Character) {
            case '&':
                Result += "&amp;";
                break;
            case '<':
                Result += "&lt;";
                break;
            case '>':
                Result += "&gt;";
                break;
            case '"':
                Result += "&quot;";
                break;
            default:
                Result += Character;
            }
        }
        if (Index + 1 < End)
            Result += "<BR/>";
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

void AddGraphDefaults(std::string& Out, const TDiagramFont& Font) {
    const std::string Text =
        "fontname=" + Quoted(Font.Family) + ", fontsize=" + std::to_string(Font.Size);
    Add(Out, "  graph [charset=\"UTF-8\", ", Text, ", nodesep=0.3, ranksep=0.4, labelloc=t];\n");
    Add(Out, "  node [shape=box, style=rounded, ", Text, ", margin=\"0.1,0.05\"];\n");
    Add(Out, "  edge [", Text, ", arrowsize=0.7];\n");
}

// Graphviz puts a loop's label beside the loop, where other edges may run through it; as a node
// of its own, on the loop's rank and right of it, the label is a box that edges avoid.
void AddLoopLabel(std::string& Out, const std::string& Indent, int32_t Automaton,
                  const TDiagramEdge& Edge, const std::string& Attributes) {
    const std::string State = Quoted(NodeId(Automaton, Edge.From));
    const std::string Label = Quoted(LabelId(Automaton, Edge.Row));
    Add(Out, Indent, Label, " [id=", Label, ", ", Attributes, "];\n");
    Add(Out, Indent, "{ rank=same; ", State, "; ", Label, "; }\n");
    Add(Out, Indent, State, " -> ", Label, " [style=invis];\n");
}

void AddBody(std::string& Out, const TDiagram& Diagram, const std::string& Indent) {
    for (const TDiagramNode& Node : Diagram.Nodes) {
        const TLabel Label = NodeLabel(Node);
        // A table, not a record: Graphviz cannot set a loop's label beside a record.
        std::string Html;
        if (Label.size() > 1)
            Add(Html, "<TABLE BORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"5\"><TR><TD>",
                HtmlText(Label, 0, 1), "</TD></TR><HR/><TR><TD>", HtmlText(Label, 1, Label.size()),
                "</TD></TR></TABLE>");
        else
            Html = HtmlText(Label, 0, 1);
        const std::string Id = Quoted(NodeId(Diagram.Automaton, Node.State));
        // The table's own padding, so that its rule reaches the box's sides.
        Add(Out, Indent, Id, " [id=", Id, Label.size() > 1 ? ", margin=0" : "", ", label=<", Html,
            ">];\n");
    }
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const std::string Label = "label=" + DotString(Lines(EdgeLabel(Edge)));
        const std::string Colour =
            Edge.Sends() ? ", fontcolor=\"" + std::string(SendColour) + "\"" : std::string();
        if (Edge.From == Edge.To) {
            std::string Attributes = "shape=plaintext, margin=0, ";
            Add(Attributes, Label, Colour);
            AddLoopLabel(Out, Indent, Diagram.Automaton, Edge, Attributes);
        }
        Add(Out, Indent, Quoted(NodeId(Diagram.Automaton, Edge.From)), " -> ",
            Quoted(NodeId(Diagram.Automaton, Edge.To)),
            " [id=", Quoted(EdgeId(Diagram.Automaton, Edge.Row)));
        if (Edge.From != Edge.To)
            Add(Out, ", ", Label);
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
    const TAutomatonsDispatcher& Names = Machine.AutomatonsDispatcher();
    switch (Automaton) {
    case A0:
        return Build(Machine.AutomatonSlotMachine(), Names);
    case A1:
        return Build(Machine.AutomatonMoneyTray(), Names);
    case A2:
        return Build(Machine.AutomatonBarrelsEngine(), Names);
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

std::string LabelId(int32_t Automaton, int Row) {
    return EdgeId(Automaton, Row) + "-label";
}

std::string DotText(std::span<const TDiagram> Diagrams, const TDiagramFont& Font) {
    std::string Out;
    if (Diagrams.size() == 1) {
        const TDiagram& Diagram = Diagrams.front();
        Add(Out, "digraph ", Quoted(AutomatonTag(Diagram.Automaton)), " {\n");
        AddGraphDefaults(Out, Font);
        Add(Out, "  label=", Quoted(Diagram.Title), ";\n");
        AddBody(Out, Diagram, "  ");
        return Out + "}\n";
    }
    Out = "digraph \"automata\" {\n";
    AddGraphDefaults(Out, Font);
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
        const std::string Width = std::to_string(static_cast<int>(Points(Size.Width)));
        const std::string Height = std::to_string(static_cast<int>(Points(Size.Height)));
        if (Edge.From == Edge.To)
            AddLoopLabel(Out, "  ", Diagram.Automaton, Edge,
                         "width=" + Number(Points(Size.Width) / 72) +
                             ", height=" + Number(Points(Size.Height) / 72));
        Add(Out, "  ", Quoted(NodeId(Diagram.Automaton, Edge.From)), " -> ",
            Quoted(NodeId(Diagram.Automaton, Edge.To)),
            " [id=", Quoted(EdgeId(Diagram.Automaton, Edge.Row)));
        // An empty cell of a fixed size stands for the label that the caller draws.
        if (Edge.From != Edge.To)
            Add(Out,
                ", label=<<TABLE BORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"0\"><TR><TD "
                "FIXEDSIZE=\"TRUE\" WIDTH=\"",
                Width, "\" HEIGHT=\"", Height, "\"></TD></TR></TABLE>>");
        Out += "];\n";
    }
    return Out + "}\n";
}

} // namespace sm
