#include "slotmachine/Diagram.h"
#include "diagram/Graphviz.h"
#include "slotmachine/Machine.h"
#include "slotmachine/WindowFont.h"
#include "tests/MachineEdit.h"

#include <gvc.h>

#include <QTest>
#include <QXmlStreamReader>

#include <memory>

using namespace sm;

namespace {

const TDiagramFont WindowDiagramFont{WindowFontFamily, WindowFontPixels};

// A row of the table an automaton runs, reduced to what its edge must show.
struct TRowFacts {
    int32_t From, To, Event;
    bool Guarded;
    int Actions;
    bool Sends;
};

template <class T> std::vector<TRowFacts> Facts(std::span<const TRow<T>> Rows) {
    std::vector<TRowFacts> Result;
    for (const TRow<T>& Row : Rows) {
        TRowFacts Facts{Row.State, Row.Next, Row.Event, Row.Guard != nullptr, 0, false};
        for (const TAction<T>& Action : Row.Actions) {
            Facts.Actions += static_cast<bool>(Action);
            Facts.Sends |= Action.Send != nullptr;
        }
        Result.push_back(Facts);
    }
    return Result;
}

template <class T> std::vector<int> EntryCounts() {
    std::vector<int> Counts(T::StateCount, 0);
    for (const TEntry<T>& Entry : T::Entries())
        for (const TAction<T>& Action : Entry.Actions)
            Counts.at(static_cast<size_t>(Entry.State)) += static_cast<bool>(Action);
    return Counts;
}

std::vector<TRowFacts> TableOf(const TMachine& Machine, int32_t Automaton) {
    switch (Automaton) {
    case A0:
        return Facts(Machine.AutomatonSlotMachine().RowTable());
    case A1:
        return Facts(Machine.AutomatonMoneyTray().RowTable());
    default:
        return Facts(Machine.AutomatonBarrelsEngine().RowTable());
    }
}

std::vector<int> EntriesOf(int32_t Automaton) {
    switch (Automaton) {
    case A0:
        return EntryCounts<TAutomatonSlotMachine>();
    case A1:
        return EntryCounts<TAutomatonMoneyTray>();
    default:
        return EntryCounts<TAutomatonBarrelsEngine>();
    }
}

// What Graphviz itself reads from DOT text: node ids, and each edge's id with its ends' ids.
struct TParsed {
    QStringList Nodes;
    QMap<QString, QPair<QString, QString>> Edges;
};

TParsed Parse(const std::string& Dot) {
    TParsed Result;
    const std::unique_ptr<Agraph_t, int (*)(Agraph_t*)> Graph(agmemread(Dot.c_str()), agclose);
    if (!Graph)
        return Result;
    char Id[] = "id";
    for (Agnode_t* Node = agfstnode(Graph.get()); Node; Node = agnxtnode(Graph.get(), Node)) {
        Result.Nodes << QString::fromUtf8(agget(Node, Id));
        // The edges that only hold a loop's label beside it have no id.
        for (Agedge_t* Edge = agfstout(Graph.get(), Node); Edge; Edge = agnxtout(Graph.get(), Edge))
            if (const QString EdgeName = QString::fromUtf8(agget(Edge, Id)); !EdgeName.isEmpty())
                Result.Edges[EdgeName] = {QString::fromUtf8(agget(agtail(Edge), Id)),
                                          QString::fromUtf8(agget(aghead(Edge), Id))};
    }
    return Result;
}

QString Id(const std::string& Text) {
    return QString::fromStdString(Text);
}

TLabelSizes SomeSizes(const TDiagram& Diagram) {
    TLabelSizes Sizes;
    for (size_t Node = 0; Node < Diagram.Nodes.size(); ++Node)
        Sizes.Nodes.push_back({90.0 + 10 * static_cast<double>(Node), 30});
    for (size_t Edge = 0; Edge < Diagram.Edges.size(); ++Edge)
        Sizes.Edges.push_back({60.5, 26});
    return Sizes;
}

} // namespace

class DiagramTest : public QObject {
    Q_OBJECT

private:
    TMachine FMachine;

private slots:
    void diagramFollowsTheTables_data();
    void diagramFollowsTheTables();
    void dotParsesIntoTheSameGraph_data();
    void dotParsesIntoTheSameGraph();
    void relayIsWhatTheGameDoes_data();
    void relayIsWhatTheGameDoes();
    void labelsReadCompactly();
    void layoutPlacesEverything();
    void svgHasEveryRow_data();
    void svgHasEveryRow();
    void dotCarriesTitles_data();
    void dotCarriesTitles();
};

void DiagramTest::diagramFollowsTheTables_data() {
    QTest::addColumn<int>("automaton");
    for (int Automaton = A0; Automaton <= A2; ++Automaton)
        QTest::addRow("A%d", Automaton) << Automaton;
}

void DiagramTest::diagramFollowsTheTables() {
    QFETCH(int, automaton);
    const TDiagram Diagram = DiagramOf(FMachine, automaton);
    const std::vector<TRowFacts> Rows = TableOf(FMachine, automaton);
    QCOMPARE(Diagram.Edges.size(), Rows.size());
    for (size_t Row = 0; Row < Rows.size(); ++Row) {
        const TDiagramEdge& Edge = Diagram.Edges[Row];
        QCOMPARE(Edge.Row, int(Row));
        QCOMPARE(Edge.From, Rows[Row].From);
        QCOMPARE(Edge.To, Rows[Row].To);
        QCOMPARE(Edge.Event, Rows[Row].Event);
        QCOMPARE(!Edge.Guard.empty(), Rows[Row].Guarded);
        QCOMPARE(int(Edge.Actions.size()), Rows[Row].Actions);
        QCOMPARE(Edge.Sends(), Rows[Row].Sends);
    }
    const TStringList& Names = FMachine.AutomatonsDispatcher().FStateNames[size_t(automaton)];
    const std::vector<int> Entries = EntriesOf(automaton);
    QCOMPARE(Diagram.Nodes.size(), Entries.size());
    for (size_t State = 0; State < Entries.size(); ++State) {
        const TDiagramNode& Node = Diagram.Nodes[State];
        QCOMPARE(Node.Name, std::to_string(State) + " " + Names.Get(int32_t(State)));
        QCOMPARE(int(Node.Entry.size()), Entries[State]);
    }
    // Every guard and action of the tables has its words.
    QVERIFY(!QString::fromStdString(DotText({&Diagram, 1}, WindowDiagramFont)).contains(u'?'));
}

void DiagramTest::dotParsesIntoTheSameGraph_data() {
    QTest::addColumn<QList<int>>("automata");
    QTest::addColumn<bool>("sized");
    for (int Automaton = A0; Automaton <= A2; ++Automaton) {
        QTest::addRow("A%d as text", Automaton) << QList<int>{Automaton} << false;
        QTest::addRow("A%d sized", Automaton) << QList<int>{Automaton} << true;
    }
    QTest::newRow("all") << QList<int>{A0, A1, A2} << false;
}

void DiagramTest::dotParsesIntoTheSameGraph() {
    QFETCH(QList<int>, automata);
    QFETCH(bool, sized);
    std::vector<TDiagram> Diagrams;
    for (const int Automaton : automata)
        Diagrams.push_back(DiagramOf(FMachine, Automaton));
    const TParsed Parsed = Parse(sized ? DotText(Diagrams[0], SomeSizes(Diagrams[0]))
                                       : DotText(Diagrams, WindowDiagramFont));
    QStringList Nodes;
    QMap<QString, QPair<QString, QString>> Edges;
    for (const int Automaton : automata) {
        const std::vector<TRowFacts> Rows = TableOf(FMachine, Automaton);
        for (size_t Row = 0; Row < Rows.size(); ++Row) {
            Edges[Id(EdgeId(Automaton, int(Row)))] = {Id(NodeId(Automaton, Rows[Row].From)),
                                                      Id(NodeId(Automaton, Rows[Row].To))};
            if (Rows[Row].From == Rows[Row].To)
                Nodes << Id(LabelId(Automaton, int(Row)));
        }
        for (size_t State = 0; State < EntriesOf(Automaton).size(); ++State)
            Nodes << Id(NodeId(Automaton, int32_t(State)));
    }
    QStringList ParsedNodes = Parsed.Nodes;
    ParsedNodes.sort();
    Nodes.sort();
    QCOMPARE(ParsedNodes, Nodes);
    QCOMPARE(Parsed.Edges, Edges);
}

void DiagramTest::relayIsWhatTheGameDoes_data() {
    QTest::addColumn<int>("state");
    for (int State = 0; State < TAutomatonSlotMachine::StateCount; ++State)
        QTest::addRow("A0 in %d", State) << State;
}

void DiagramTest::relayIsWhatTheGameDoes() {
    QFETCH(int, state);
    TMachine Machine;
    EditMachine(Machine, [state](TMachineSnapshot& S) { S.Automata[A0].FState = state; });
    Machine.btnTechResetClick();
    // A2 hears of the reset first exactly where the diagram draws the relay.
    const bool Relayed = !Machine.Steps().empty() && Machine.Steps().front().Automaton == A2;
    const TDiagram Game = DiagramOf(Machine, A0);
    const TDiagramNode& Node = Game.Nodes[size_t(state)];
    QCOMPARE(Node.RelayTarget == A2, Relayed);
    QCOMPARE(Node.RelayTarget == -1, !Relayed);
}

void DiagramTest::labelsReadCompactly() {
    const TDiagram Game = DiagramOf(FMachine, A0);
    const auto Lines = [](const TLabel& Label) {
        QStringList Result;
        for (const TLabelLine& Line : Label)
            Result << QString::fromStdString(PlainText(Line));
        return Result;
    };
    QCOMPARE(Lines(EdgeLabel(Game.Edges[0])), QStringList{"e11 [A1=1]"});
    QCOMPARE(Lines(EdgeLabel(Game.Edges[3])), (QStringList{"e1 [A1=1]", "/ e12→A1"}));
    QCOMPARE(Lines(EdgeLabel(Game.Edges[9])),
             (QStringList{"e6 [выигрыш>0 и банк>0]", "/ выдать жетон,", "показать выигрыш,",
                          "показать банк"}));
    QCOMPARE(Lines(NodeLabel(Game.Nodes[2])),
             (QStringList{"2 Игра", "вход / e0→A2", "все события → A2"}));
    // Sends stand apart from the rest of their line.
    QCOMPARE(EdgeLabel(Game.Edges[4]),
             (TLabel{{{"e2", false}}, {{"/ закрыть щель,", false}}, {{"e2→A1", true}}}));
}

void DiagramTest::layoutPlacesEverything() {
    TGraphviz Graphviz;
    for (int Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagram Diagram = DiagramOf(FMachine, Automaton);
        const TLabelSizes Sizes = SomeSizes(Diagram);
        const TDiagramLayout Layout = Graphviz.LayOut(Diagram, Sizes);
        const QRectF Bounds(0, 0, Layout.Width, Layout.Height);
        std::vector<QRectF> Boxes;
        for (size_t Node = 0; Node < Layout.Nodes.size(); ++Node) {
            const TNodePlace& Place = Layout.Nodes[Node];
            const QRectF Box(Place.Left, Place.Top, Place.Width, Place.Height);
            // Whole points, never less than asked for.
            QCOMPARE(Box.size(),
                     QSizeF(std::ceil(Sizes.Nodes[Node].Width), Sizes.Nodes[Node].Height));
            QVERIFY(Bounds.adjusted(-1, -1, 1, 1).contains(Box));
            for (const QRectF& Other : Boxes)
                QVERIFY(!Other.intersects(Box));
            Boxes.push_back(Box);
        }
        for (const TEdgePlace& Place : Layout.Edges) {
            QVERIFY(!Place.Curves.empty() && Place.Curves[0].size() >= 4);
            QVERIFY(Place.Arrow);
            QCOMPARE(QSizeF(Place.LabelWidth, Place.LabelHeight), QSizeF(61, 26));
            QVERIFY(Bounds.contains(QPointF(Place.Label.X, Place.Label.Y)));
        }
    }
}

void DiagramTest::svgHasEveryRow_data() {
    QTest::addColumn<QList<int>>("automata");
    QTest::newRow("all") << QList<int>{A0, A1, A2};
    QTest::newRow("A2") << QList<int>{A2};
}

void DiagramTest::svgHasEveryRow() {
    // A well-formed SVG document with a group for every row of the automata it shows.
    QFETCH(QList<int>, automata);
    std::vector<TDiagram> Diagrams;
    for (const int Automaton : automata)
        Diagrams.push_back(DiagramOf(FMachine, Automaton));
    const QString Svg =
        QString::fromStdString(TGraphviz().Svg(DotText(Diagrams, WindowDiagramFont)));
    QXmlStreamReader Reader(Svg);
    QStringList Ids;
    QString Root;
    while (!Reader.atEnd())
        if (Reader.readNext() == QXmlStreamReader::StartElement) {
            if (Root.isEmpty())
                Root = Reader.name().toString();
            Ids << Reader.attributes().value(QLatin1String("id")).toString();
        }
    QVERIFY2(!Reader.hasError(), qPrintable(Reader.errorString()));
    QCOMPARE(Root, QStringLiteral("svg"));
    for (const int Automaton : automata)
        for (size_t Row = 0; Row < TableOf(FMachine, Automaton).size(); ++Row)
            QVERIFY(Ids.contains(Id(EdgeId(Automaton, int(Row)))));
}

void DiagramTest::dotCarriesTitles_data() {
    QTest::addColumn<QList<int>>("automata");
    QTest::addColumn<QStringList>("titles"); // of the graph, or of its clusters in order
    QTest::newRow("A0") << QList<int>{A0} << QStringList{"A0 Игровая машина"};
    QTest::newRow("A1") << QList<int>{A1} << QStringList{"A1 Монетоприемник"};
    QTest::newRow("A2") << QList<int>{A2} << QStringList{"A2 Игровые барабаны"};
    QTest::newRow("all") << QList<int>{A0, A1, A2}
                         << QStringList{"A0 Игровая машина", "A1 Монетоприемник",
                                        "A2 Игровые барабаны"};
}

void DiagramTest::dotCarriesTitles() {
    QFETCH(QList<int>, automata);
    QFETCH(QStringList, titles);
    std::vector<TDiagram> Diagrams;
    for (const int Automaton : automata)
        Diagrams.push_back(DiagramOf(FMachine, Automaton));
    const std::string Dot = DotText(Diagrams, WindowDiagramFont);
    // As Graphviz reads them: the graph's own label, or each cluster's.
    const std::unique_ptr<Agraph_t, int (*)(Agraph_t*)> Graph(agmemread(Dot.c_str()), agclose);
    QVERIFY(Graph);
    char Label[] = "label";
    QStringList Read;
    if (titles.size() == 1)
        Read << QString::fromUtf8(agget(Graph.get(), Label));
    else
        for (int Automaton = A0; Automaton <= A2; ++Automaton) {
            std::string Name = "cluster_A" + std::to_string(Automaton);
            if (Agraph_t* Cluster = agsubg(Graph.get(), Name.data(), 0))
                Read << QString::fromUtf8(agget(Cluster, Label));
        }
    QCOMPARE(Read, titles);
}

QTEST_GUILESS_MAIN(DiagramTest)
#include "DiagramTest.moc"
