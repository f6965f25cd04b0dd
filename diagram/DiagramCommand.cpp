#include "diagram/DiagramCommand.h"

#include "diagram/Graphviz.h"
#include "slotmachine/Machine.h"
#include "slotmachine/Quoted.h"

#include <exception>
#include <vector>

namespace {

const char* const Usage =
    R"(Использование: slotmachine-cli diagram [--format dot|svg] [A0|A1|A2|all]

Диаграммы состояний автоматов, построенные по тем же таблицам, по которым
работает машина: текст DOT или SVG, который рисует Graphviz.

  --format dot|svg  формат вывода (по умолчанию dot)
  A0|A1|A2|all      какой автомат (по умолчанию все три)
)";

int UsageError(QTextStream& Err, const QString& Problem) {
    Err << "slotmachine-cli: " << Problem << "\nСправка: slotmachine-cli diagram --help\n";
    Err.flush();
    return 2;
}

} // namespace

int RunDiagramCommand(const QStringList& Arguments, QTextStream& Out, QTextStream& Err) {
    QString Format = QStringLiteral("dot");
    QString Which;
    bool FormatGiven = false;
    for (qsizetype Index = 0; Index < Arguments.size(); ++Index) {
        const QString& Argument = Arguments[Index];
        if (Argument == QLatin1String("-h") || Argument == QLatin1String("--help")) {
            Out << Usage;
            Out.flush();
            return 0;
        }
        const bool IsFormat = Argument == QLatin1String("--format") ||
                              Argument.startsWith(QLatin1String("--format="));
        if (IsFormat && FormatGiven)
            return UsageError(Err, QStringLiteral("параметр «--format» задан дважды"));
        FormatGiven = FormatGiven || IsFormat;
        if (Argument == QLatin1String("--format")) {
            if (++Index == Arguments.size())
                return UsageError(Err, QStringLiteral("после --format нужен dot или svg"));
            Format = Arguments[Index];
        } else if (Argument.startsWith(QLatin1String("--format="))) {
            Format = Argument.mid(9);
        } else if (Argument.startsWith(QLatin1Char('-')) || !Which.isEmpty()) {
            return UsageError(Err, QStringLiteral("лишнее слово %1").arg(Quoted(Argument)));
        } else {
            Which = Argument;
        }
    }
    if (Format != QLatin1String("dot") && Format != QLatin1String("svg"))
        return UsageError(
            Err, QStringLiteral("неизвестный формат %1: есть dot и svg").arg(Quoted(Format)));

    std::vector<int32_t> Automata;
    if (Which.isEmpty() || Which.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        Automata = {A0, A1, A2};
    else if (const QStringList Names = {"A0", "A1", "A2"};
             Names.contains(Which, Qt::CaseInsensitive))
        Automata = {static_cast<int32_t>(Names.indexOf(Which.toUpper()))};
    else
        return UsageError(
            Err, QStringLiteral("нет автомата %1: есть A0, A1, A2 и all").arg(Quoted(Which)));

    const TMachine Machine;
    std::vector<TDiagram> Diagrams;
    Diagrams.reserve(Automata.size());
    for (const int32_t Automaton : Automata)
        Diagrams.push_back(DiagramOf(Machine, Automaton));
    const std::string Dot = DotText(Diagrams);
    try {
        // Only SVG needs Graphviz's context and its start-up cost.
        const std::string Text = Format == QLatin1String("svg") ? TGraphviz().Svg(Dot) : Dot;
        Out << QString::fromStdString(Text);
        Out.flush();
    } catch (const std::exception& Error) {
        Err << "slotmachine-cli: Graphviz не смог нарисовать диаграмму: " << Error.what() << '\n';
        Err.flush();
        return 1;
    }
    return 0;
}
