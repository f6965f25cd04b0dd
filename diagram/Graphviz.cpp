#include "diagram/Graphviz.h"

#include <gvc.h>

#include <dlfcn.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace sm {

namespace {

// Graphviz's functions, from its libraries loaded when the diagrams are first needed: linked into
// the window, they would be mapped and searched through at every start although most sessions
// never open «Автоматы». Its data is read through its headers' macros, which call nothing.
struct TGraphvizLibrary {
    decltype(&::gvContext) Context;
    decltype(&::gvLayout) Layout;
    decltype(&::gvFreeLayout) FreeLayout;
    decltype(&::gvRenderData) RenderData;
    decltype(&::gvFreeRenderData) FreeRenderData;
    decltype(&::agmemread) MemRead;
    decltype(&::agclose) Close;
    decltype(&::agget) Get;
    decltype(&::agfstnode) FirstNode;
    decltype(&::agnxtnode) NextNode;
    decltype(&::agfstout) FirstOut;
    decltype(&::agnxtout) NextOut;
};

void* Open(const char* Name) {
    // Global, as when linked: Graphviz's plugins find these libraries' symbols.
    void* Library = dlopen(Name, RTLD_NOW | RTLD_GLOBAL);
    if (!Library)
        throw std::runtime_error(std::string("Graphviz could not be loaded: ") + dlerror());
    return Library;
}

template <class TFunction> void Find(void* Library, const char* Name, TFunction& Function) {
    Function = reinterpret_cast<TFunction>(dlsym(Library, Name));
    if (!Function)
        throw std::runtime_error(std::string("Graphviz lacks ") + Name);
}

TGraphvizLibrary LoadGraphviz() {
    void* Gvc = Open(GVC_SONAME);
    void* Cgraph = Open(CGRAPH_SONAME);
    TGraphvizLibrary L{};
    Find(Gvc, "gvContext", L.Context);
    Find(Gvc, "gvLayout", L.Layout);
    Find(Gvc, "gvFreeLayout", L.FreeLayout);
    Find(Gvc, "gvRenderData", L.RenderData);
    Find(Gvc, "gvFreeRenderData", L.FreeRenderData);
    Find(Cgraph, "agmemread", L.MemRead);
    Find(Cgraph, "agclose", L.Close);
    Find(Cgraph, "agget", L.Get);
    Find(Cgraph, "agfstnode", L.FirstNode);
    Find(Cgraph, "agnxtnode", L.NextNode);
    Find(Cgraph, "agfstout", L.FirstOut);
    Find(Cgraph, "agnxtout", L.NextOut);
    return L;
}

// Loaded once; a failed load is tried again the next time.
const TGraphvizLibrary& Graphviz() {
    static const TGraphvizLibrary Library = LoadGraphviz();
    return Library;
}

// A graph read from DOT text; its layout, if any, goes with it.
class TGraph {
public:
    TGraph(GVC_t* Context, const std::string& DotText)
        : FContext(Context), FGraph(Graphviz().MemRead(DotText.c_str())) {
        if (!FGraph)
            throw std::runtime_error("Graphviz could not read the diagram");
    }
    ~TGraph() {
        if (FLaidOut)
            Graphviz().FreeLayout(FContext, FGraph);
        Graphviz().Close(FGraph);
    }
    TGraph(const TGraph&) = delete;
    TGraph& operator=(const TGraph&) = delete;

    void LayOut() {
        if (Graphviz().Layout(FContext, FGraph, "dot") != 0)
            throw std::runtime_error("Graphviz could not lay the diagram out");
        FLaidOut = true;
    }
    Agraph_t* Get() const { return FGraph; }

private:
    GVC_t* FContext;
    Agraph_t* FGraph;
    bool FLaidOut = false;
};

// One context for the whole process, never freed: Graphviz 2.42's text layout keeps a pointer
// into a context's font table from one graph to the next, so a second context would read the
// first one's freed memory.
GVC_t* SharedContext() {
    static GVC_t* const Context = Graphviz().Context();
    return Context;
}

std::string IdOf(void* Object) {
    char Attribute[] = "id";
    const char* Value = Graphviz().Get(Object, Attribute);
    return Value ? Value : "";
}

} // namespace

TGraphviz::TGraphviz() : FContext(SharedContext()) {
    if (!FContext)
        throw std::runtime_error("Graphviz could not start");
}

TDiagramLayout TGraphviz::LayOut(const TDiagram& Diagram, const TLabelSizes& Sizes) {
    TGraph Graph(FContext, DotText(Diagram, Sizes));
    Graph.LayOut();
    std::map<std::string, size_t> Nodes;
    for (size_t Index = 0; Index < Diagram.Nodes.size(); ++Index)
        Nodes[NodeId(Diagram.Automaton, Diagram.Nodes[Index].State)] = Index;
    std::map<std::string, size_t> Edges;
    std::map<std::string, size_t> Labels; // the loops' labels, nodes of their own
    for (size_t Index = 0; Index < Diagram.Edges.size(); ++Index) {
        Edges[EdgeId(Diagram.Automaton, Diagram.Edges[Index].Row)] = Index;
        Labels[LabelId(Diagram.Automaton, Diagram.Edges[Index].Row)] = Index;
    }

    // Graphviz's y grows upward from the bounding box's lower left corner.
    const boxf Box = GD_bb(Graph.Get());
    const auto Flip = [&Box](pointf Point) {
        return TDiagramPoint{Point.x - Box.LL.x, Box.UR.y - Point.y};
    };
    TDiagramLayout Layout;
    Layout.Width = Box.UR.x - Box.LL.x;
    Layout.Height = Box.UR.y - Box.LL.y;
    Layout.Nodes.resize(Diagram.Nodes.size());
    Layout.Edges.resize(Diagram.Edges.size());
    const TGraphvizLibrary& G = Graphviz();
    for (Agnode_t* Node = G.FirstNode(Graph.Get()); Node; Node = G.NextNode(Graph.Get(), Node)) {
        const TDiagramPoint Centre = Flip(ND_coord(Node));
        const double Width = ND_width(Node) * 72;
        const double Height = ND_height(Node) * 72;
        if (const auto Found = Nodes.find(IdOf(Node)); Found != Nodes.end())
            Layout.Nodes[Found->second] = {Centre.X - Width / 2, Centre.Y - Height / 2, Width,
                                           Height};
        if (const auto Found = Labels.find(IdOf(Node)); Found != Labels.end()) {
            TEdgePlace& Place = Layout.Edges[Found->second];
            Place.Label = Centre;
            Place.LabelWidth = Width;
            Place.LabelHeight = Height;
        }
        for (Agedge_t* Edge = G.FirstOut(Graph.Get(), Node); Edge;
             Edge = G.NextOut(Graph.Get(), Edge)) {
            const auto Found = Edges.find(IdOf(Edge));
            if (Found == Edges.end())
                continue;
            TEdgePlace& Place = Layout.Edges[Found->second];
            if (const splines* Splines = ED_spl(Edge)) {
                for (int Piece = 0; Piece < Splines->size; ++Piece) {
                    const bezier& Curve = Splines->list[Piece];
                    std::vector<TDiagramPoint> Points;
                    Points.reserve(static_cast<size_t>(Curve.size));
                    for (int Point = 0; Point < Curve.size; ++Point)
                        Points.push_back(Flip(Curve.list[Point]));
                    Place.Curves.push_back(std::move(Points));
                    if (Curve.eflag) {
                        Place.Arrow = true;
                        Place.Tip = Flip(Curve.ep);
                    }
                }
            }
            if (const textlabel_t* Label = ED_label(Edge)) {
                Place.Label = Flip(Label->pos);
                Place.LabelWidth = Label->dimen.x;
                Place.LabelHeight = Label->dimen.y;
            }
        }
    }
    return Layout;
}

std::string TGraphviz::Svg(const std::string& DotText) {
    TGraph Graph(FContext, DotText);
    Graph.LayOut();
    char* Data = nullptr;
    unsigned int Length = 0;
    if (Graphviz().RenderData(FContext, Graph.Get(), "svg", &Data, &Length) != 0 || !Data)
        throw std::runtime_error("Graphviz could not render the diagram as SVG");
    const std::unique_ptr<char, void (*)(char*)> Owned(Data, Graphviz().FreeRenderData);
    return std::string(Data, Length);
}

} // namespace sm
