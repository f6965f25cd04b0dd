#include "window/WatchesDock.h"

#include "window/MachineClock.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace sm {

namespace {

// Columns of the tree.
enum { NameColumn, ValueColumn, ShownColumn };

constexpr int64_t FrameRefreshMs = 100;

} // namespace

TWatchesDock::TWatchesDock(TMachineClock& Clock, QWidget* Parent) : QWidget(Parent), FClock(Clock) {
    setObjectName(QStringLiteral("WatchesPane"));
    FTree = new QTreeWidget(this);
    FTree->setObjectName(QStringLiteral("WatchesTree"));
    FTree->setAccessibleName(QStringLiteral("Значения"));
    FTree->setHeaderLabels(
        {QStringLiteral("Что"), QStringLiteral("В машине"), QStringLiteral("На табло")});
    FTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FTree->setRootIsDecorated(true);
    auto* Column = new QVBoxLayout(this);
    Column->setContentsMargins(2, 2, 2, 2);
    Column->addWidget(FTree);
    // Time left goes down between inputs too.
    connect(&FClock, &TMachineClock::Moved, this, [this] {
        const int64_t Since = FClock.WallNow() - FRefreshed;
        if (isVisible() && (FClock.Paused() || Since < 0 || Since >= FrameRefreshMs))
            Refresh(false);
    });
}

TWatchesDock::~TWatchesDock() {
    FClock.Machine().RemoveObserver(this);
}

void TWatchesDock::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    FClock.Machine().AddObserver(this);
    Refresh(false);
}

void TWatchesDock::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    FClock.Machine().RemoveObserver(this);
}

void TWatchesDock::MachineChanged(unsigned Changes) noexcept {
    // Told in the middle of the input, before the clock has taken up the timers it set.
    if (!(Changes & (ChangedFields | ChangedStates | ChangedSteps | ChangedTimers)) || FPosted)
        return;
    FPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FPosted = false;
            Refresh(true);
        },
        Qt::QueuedConnection);
}

QTreeWidgetItem* TWatchesDock::Item(const QString& Name) const {
    for (int Index = 0; Index < FTree->topLevelItemCount(); ++Index)
        if (FTree->topLevelItem(Index)->data(NameColumn, Qt::UserRole).toString() == Name)
            return FTree->topLevelItem(Index);
    return nullptr;
}

bool TWatchesDock::Marked(const QString& Name) const {
    const QTreeWidgetItem* Found = Item(Name);
    return Found && Found->font(ValueColumn).bold();
}

void TWatchesDock::Refresh(bool AfterInput) {
    FRefreshed = FClock.WallNow();
    std::vector<TWatch> Watches = sm::Watches(FClock.Time());
    // Marked: what differs from the values after the input before.
    if (AfterInput) {
        FBefore = FAfterInput.size() == Watches.size() ? FAfterInput : Watches;
        FAfterInput = Watches;
    } else if (FBefore.size() != Watches.size()) {
        FBefore = FAfterInput = Watches;
    }
    const bool Fresh = FTree->topLevelItemCount() != static_cast<int>(Watches.size());
    if (Fresh)
        FTree->clear();
    for (size_t Index = 0; Index < Watches.size(); ++Index) {
        const TWatch& Each = Watches[Index];
        QTreeWidgetItem* Row = Fresh ? new QTreeWidgetItem(FTree) : FTree->topLevelItem(int(Index));
        if (Fresh) {
            Row->setText(NameColumn, Each.Title);
            Row->setData(NameColumn, Qt::UserRole, Each.Name);
        }
        Row->setText(ValueColumn, Each.Value);
        Row->setText(ShownColumn, Each.Shown);
        // The time left changes with every frame: only a changed interval is marked.
        const bool Changed =
            !Each.Name.endsWith(QLatin1String(" left")) && Each.Value != FBefore[Index].Value;
        QFont Font = FTree->font();
        Font.setBold(Changed);
        Row->setFont(ValueColumn, Font);
        // A display that lags shows in another colour.
        Row->setForeground(ShownColumn, Each.Shown.isEmpty() || Each.Shown == Each.Value
                                            ? FTree->palette().text()
                                            : QBrush(QColor(200, 30, 30)));
        if (Each.Name.size() == 2 && Each.Name.startsWith(u'A')) {
            const QStringList Guards = GuardsNow(FClock.Machine(), Each.Name.mid(1).toInt());
            while (Row->childCount() > Guards.size())
                delete Row->takeChild(Row->childCount() - 1);
            for (qsizetype Guard = 0; Guard < Guards.size(); ++Guard) {
                QTreeWidgetItem* Child = Guard < Row->childCount()
                                             ? Row->child(static_cast<int>(Guard))
                                             : new QTreeWidgetItem(Row);
                Child->setText(NameColumn, Guards[Guard]);
                Child->setFirstColumnSpanned(true);
            }
            if (Fresh)
                Row->setExpanded(true);
        }
    }
}

} // namespace sm
