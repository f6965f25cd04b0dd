#pragma once

#include "slotmachine/Diagram.h"

#include <string>
#include <vector>

struct GVC_s; // Graphviz's context, a C type

namespace sm {

// Points from Graphviz's layout, in points (1/72 in), y growing downward from the top left.
struct TDiagramPoint {
    double X = 0;
    double Y = 0;
};

struct TNodePlace {
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
};

struct TEdgePlace {
    // Cubic Bézier pieces: a start point, then three points a segment.
    std::vector<std::vector<TDiagramPoint>> Curves;
    bool Arrow = false;
    TDiagramPoint Tip;   // the arrowhead runs from the last curve's end to here
    TDiagramPoint Label; // the centre of the label's box
    double LabelWidth = 0;
    double LabelHeight = 0;
};

// Where everything of one diagram goes; nodes by state and edges by row, as in the diagram.
struct TDiagramLayout {
    double Width = 0;
    double Height = 0;
    std::vector<TNodePlace> Nodes;
    std::vector<TEdgePlace> Edges;
};

// Graphviz, through the process's one context. The first TGraphviz makes it, loading Graphviz's
// plugins and fonts (tens of milliseconds), so none is made before diagrams are needed.
class TGraphviz {
public:
    TGraphviz();

    // Lays the diagram out with Graphviz's dot, its boxes of the sizes given.
    TDiagramLayout LayOut(const TDiagram& Diagram, const TLabelSizes& Sizes);
    // DOT text laid out and rendered by Graphviz as an SVG document.
    std::string Svg(const std::string& DotText);

private:
    GVC_s* FContext;
};

} // namespace sm
