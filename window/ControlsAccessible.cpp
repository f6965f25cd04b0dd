#include "window/ControlsAccessible.h"

#include "window/AutomataWindow.h"
#include "window/Controls.h"
#include "window/FormMain.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

namespace sm {

namespace {

// One item of a check list: a check box in the list, whose one action toggles the tick as
// a click on its box does.
class TCheckItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TCheckItemAccessible(TCheckList* List, int Row) : FList(List), FRow(Row) {}

    bool isValid() const override { return FList && FRow < FList->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return FList ? FList->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return FList ? QAccessible::queryAccessibleInterface(FList.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text Kind) const override {
        return isValid() && Kind == QAccessible::Name ? FList->item(FRow)->text() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid())
            return {};
        const QRect Item = FList->visualItemRect(FList->item(FRow));
        return QRect(FList->viewport()->mapToGlobal(Item.topLeft()), Item.size());
    }
    // A check box: the role itself says that it can be ticked, in every bridge.
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    QAccessible::State state() const override {
        QAccessible::State State;
        if (!isValid()) {
            State.invalid = true;
            return State;
        }
        State.focusable = true;
        State.selectable = true;
        State.checkable = true;
        State.checked = FList->Checked(FRow);
        State.selected = FList->item(FRow)->isSelected();
        // Only the list that has the focus has a focused item.
        State.focused = FList->hasFocus() && FList->currentRow() == FRow;
        State.invisible = !FList->isVisible();
        return State;
    }
    void* interface_cast(QAccessible::InterfaceType Type) override {
        return Type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& Action) override {
        if (Action == toggleAction() && isValid())
            FList->ToggleByUser(FRow);
    }
    QStringList keyBindingsForAction(const QString& Action) const override {
        return Action == toggleAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
    }

private:
    QPointer<TCheckList> FList;
    int FRow;
};

// The list and its items. The items have no object of their own, so the list keeps them, each
// registered once, and lets them go with itself.
class TCheckListAccessible : public QAccessibleWidget {
public:
    explicit TCheckListAccessible(TCheckList* List) : QAccessibleWidget(List, QAccessible::List) {}
    ~TCheckListAccessible() override {
        for (const QAccessible::Id Id : FIds)
            QAccessible::deleteAccessibleInterface(Id);
    }

    int childCount() const override { return List()->count(); }
    QAccessibleInterface* child(int Index) const override {
        if (Index < 0 || Index >= childCount())
            return nullptr;
        while (static_cast<int>(FIds.size()) <= Index)
            FIds.push_back(QAccessible::registerAccessibleInterface(
                new TCheckItemAccessible(List(), static_cast<int>(FIds.size()))));
        return QAccessible::accessibleInterface(FIds[static_cast<size_t>(Index)]);
    }
    int indexOfChild(const QAccessibleInterface* Child) const override {
        for (int Index = 0; Index < static_cast<int>(FIds.size()); ++Index)
            if (QAccessible::accessibleInterface(FIds[static_cast<size_t>(Index)]) == Child)
                return Index;
        return -1;
    }
    QAccessibleInterface* childAt(int X, int Y) const override {
        const QPoint Point = List()->viewport()->mapFromGlobal(QPoint(X, Y));
        const QListWidgetItem* Item = List()->itemAt(Point);
        return Item ? child(List()->row(Item)) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        return List()->hasFocus() ? child(List()->currentRow()) : nullptr;
    }

private:
    TCheckList* List() const { return static_cast<TCheckList*>(widget()); }

    mutable std::vector<QAccessible::Id> FIds;
};

} // namespace

QAccessibleInterface* ControlsAccessibility(const QString& Class, QObject* Object) {
    if (IsClass<TCheckList>(Class))
        return new TCheckListAccessible(static_cast<TCheckList*>(Object));
    if (IsClass<TShape>(Class))
        return new QAccessibleWidget(static_cast<QWidget*>(Object), QAccessible::StaticText);
    if (IsClass<TSlotMachine>(Class) || IsClass<TAutomataWindow>(Class))
        return new QAccessibleWidget(static_cast<QWidget*>(Object), QAccessible::Window);
    return nullptr;
}

void AnnounceTick(TCheckList* List, int Row) {
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface* Item = QAccessible::queryAccessibleInterface(List)->child(Row);
    if (!Item)
        return;
    QAccessible::State Changed;
    Changed.checked = true;
    QAccessibleStateChangeEvent Event(Item, Changed);
    QAccessible::updateAccessibility(&Event);
}

} // namespace sm
