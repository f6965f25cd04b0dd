#include "window/BreakpointsDock.h"

#include "window/WindowBreakpoints.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace sm {

TBreakpointsDock::TBreakpointsDock(TWindowBreakpoints& Breakpoints, const TMachine& Machine,
                                   QWidget* Parent)
    : QWidget(Parent), FBreakpoints(Breakpoints), FMachine(Machine) {
    setObjectName(QStringLiteral("BreakpointsPane"));
    FTable = new QTableWidget(0, 2, this);
    FTable->setObjectName(QStringLiteral("BreakpointsTable"));
    FTable->setAccessibleName(QStringLiteral("Точки остановки"));
    FTable->setHorizontalHeaderLabels({QStringLiteral("Точка"), QStringLiteral("Попаданий")});
    FTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    FTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    FTable->verticalHeader()->hide();
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(FTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* Item) {
        if (Item->column() == 0)
            FBreakpoints.SetEnabled(static_cast<size_t>(Item->row()),
                                    Item->checkState() == Qt::Checked);
    });
    auto* Delete = new QShortcut(QKeySequence::Delete, FTable);
    Delete->setContext(Qt::WidgetShortcut);
    connect(Delete, &QShortcut::activated, this, &TBreakpointsDock::DeleteSelected);

    FNew = new QLineEdit(this);
    FNew->setObjectName(QStringLiteral("NewBreakpoint"));
    FNew->setPlaceholderText(QStringLiteral("A0 state 3 if bank = 0"));
    FNew->setAccessibleName(QStringLiteral("Новая точка остановки"));
    FNew->setToolTip(QStringLiteral("Как в сценарии после «break»: A1 state 2, A0 event e5, "
                                    "A0 row 2 e5 #2, с условием if bank = 0 and stake >= 3"));
    connect(FNew, &QLineEdit::returnPressed, this, [this] { AddTyped(); });
    FDelete = new QPushButton(QStringLiteral("Удалить"), this);
    FDelete->setObjectName(QStringLiteral("DeleteBreakpoint"));
    connect(FDelete, &QPushButton::clicked, this, &TBreakpointsDock::DeleteSelected);
    FProblem = new QLabel(this);
    FProblem->setObjectName(QStringLiteral("BreakpointProblem"));
    FProblem->setWordWrap(true);
    FProblem->hide();

    auto* Row = new QHBoxLayout;
    Row->addWidget(FNew, 1);
    Row->addWidget(FDelete);
    auto* Column = new QVBoxLayout(this);
    Column->setContentsMargins(2, 2, 2, 2);
    Column->addWidget(FTable, 1);
    Column->addLayout(Row);
    Column->addWidget(FProblem);
    connect(&FBreakpoints, &TWindowBreakpoints::Changed, this, &TBreakpointsDock::Refresh);
    Refresh();
}

void TBreakpointsDock::Refresh() {
    const QSignalBlocker Quiet(FTable);
    const auto& List = FBreakpoints.List();
    FTable->setRowCount(static_cast<int>(List.size()));
    for (size_t Index = 0; Index < List.size(); ++Index) {
        const TBreakpoint& Each = List[Index];
        const int Row = static_cast<int>(Index);
        auto* What = FTable->item(Row, 0);
        if (!What) {
            What = new QTableWidgetItem;
            What->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            FTable->setItem(Row, 0, What);
            FTable->setItem(Row, 1, new QTableWidgetItem);
        }
        What->setText(Each.Text);
        What->setCheckState(Each.Enabled ? Qt::Checked : Qt::Unchecked);
        QFont Font = FTable->font();
        Font.setBold(FBreakpoints.LastHit() == Index);
        What->setFont(Font);
        FTable->item(Row, 1)->setText(QString::number(Each.Hits));
    }
}

QString TBreakpointsDock::AddTyped() {
    QString Problem;
    int At = 0;
    auto Breakpoint = ParseBreakpoint(FMachine, FNew->text(), Problem, At);
    if (Breakpoint) {
        FBreakpoints.Add(std::move(*Breakpoint));
        FNew->clear();
        Problem.clear();
    } else {
        FNew->setCursorPosition(At);
    }
    FProblem->setText(Problem);
    FProblem->setVisible(!Problem.isEmpty());
    return Problem;
}

void TBreakpointsDock::DeleteSelected() {
    const int Row = FTable->currentRow();
    if (Row >= 0)
        FBreakpoints.Remove(static_cast<size_t>(Row));
}

} // namespace sm
