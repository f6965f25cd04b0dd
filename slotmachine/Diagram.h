#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sm {

class TMachine;

// A piece of a label's line; the sends are drawn apart from the rest.
struct TLabelRun {
    std::string Text;
    bool Send = false;
    bool operator==(const TLabelRun&) const = default;
};
using TLabelLine = std::vector<TLabelRun>;
using TLabel = std::vector<TLabelLine>;

// An output action as a diagram shows it: its words, or "e12→A1" for a send.
struct TDiagramAction {
    std::string Text;
    int32_t Target = -1; // the automaton a send goes to; -1 for a plain action
    bool operator==(const TDiagramAction&) const = default;
};

struct TDiagramNode {
    int32_t State = 0;
    std::string Name; // "0 Ожидание"
    std::vector<TDiagramAction> Entry;
    int32_t RelayTarget = -1; // in this state every event goes first to it; -1 for none
};

// One row of the table the automaton runs.
struct TDiagramEdge {
    int Row = 0;
    int32_t From = 0;
    int32_t To = 0;
    int32_t Event = 0;
    std::string EventName; // as the protocol shows it
    std::string Guard;     // empty for a row without one
    std::vector<TDiagramAction> Actions;
    bool Sends() const;
};

// One automaton's state diagram: a node per state, an edge per row, both in table order.
struct TDiagram {
    int32_t Automaton = 0;
    std::string Title; // "A0 Игровая машина"
    std::vector<TDiagramNode> Nodes;
    std::vector<TDiagramEdge> Edges;
};

// Read from the tables the machine's automaton runs and the names its dispatcher holds.
TDiagram DiagramOf(const TMachine& Machine, int32_t Automaton);

// The lines a node or an edge shows; the first line of a node is its number and name.
TLabel NodeLabel(const TDiagramNode& Node);
TLabel EdgeLabel(const TDiagramEdge& Edge);
std::string PlainText(const TLabelLine& Line);

struct TLabelSize {
    double Width = 0;
    double Height = 0;
};

// Label sizes measured by whoever draws the diagram, in points: a node's whole box, an edge's
// label box, in table order.
struct TLabelSizes {
    std::vector<TLabelSize> Nodes;
    std::vector<TLabelSize> Edges;
};

// Node ids "A0-state-2" and edge ids "A0-row-3", in the DOT text and in the SVG made from it.
std::string NodeId(int32_t Automaton, int32_t State);
std::string EdgeId(int32_t Automaton, int Row);
// A loop's label is a node of its own: "A0-row-9-label".
std::string LabelId(int32_t Automaton, int Row);

// The font a diagram's labels are set in: Graphviz sizes the boxes for it.
struct TDiagramFont {
    std::string Family;
    int Size = 0; // points, which Graphviz's SVG draws as as many pixels
};

// The diagrams as Graphviz DOT with their labels as text in the given font; several diagrams
// become clusters of one graph, side by side.
std::string DotText(std::span<const TDiagram> Diagrams, const TDiagramFont& Font);
// One diagram with boxes of the given sizes and no text, for a layout that the caller draws.
std::string DotText(const TDiagram& Diagram, const TLabelSizes& Sizes);

} // namespace sm
