#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace sm {

class TMachine;
class TWindowBreakpoints;

// The breakpoints listed in «Автоматы»: each with its switch, its words and its hits, the one that
// hit marked; a new one typed as a session's break line is written after «break», deleted with
// «Удалить» or the Delete key.
class TBreakpointsDock : public QWidget {
    Q_OBJECT

public:
    TBreakpointsDock(TWindowBreakpoints& Breakpoints, const TMachine& Machine,
                     QWidget* Parent = nullptr);

    QTableWidget* Table() const { return FTable; }
    QLineEdit* NewLine() const { return FNew; }
    QLabel* Problem() const { return FProblem; }
    // The list as it stands.
    void Refresh();
    // The words typed as a new breakpoint; an empty string, or why they are none.
    QString AddTyped();
    void DeleteSelected();

private:
    TWindowBreakpoints& FBreakpoints;
    const TMachine& FMachine;
    QTableWidget* FTable;
    QLineEdit* FNew;
    QPushButton* FDelete;
    QLabel* FProblem;
};

} // namespace sm
