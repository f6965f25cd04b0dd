#pragma once

#include <QStringList>
#include <QTextStream>

// `diagram [--format dot|svg] [A0|A1|A2|all]`: the automata's state diagrams, made from the
// tables they run, as DOT text or as SVG rendered by Graphviz. Arguments are those after the
// command's name. Returns the exit code: 0, 1 when Graphviz fails, 2 for a usage error.
int RunDiagramCommand(const QStringList& Arguments, QTextStream& Out, QTextStream& Err);
