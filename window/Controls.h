#pragma once

#include "slotmachine/Machine.h"

#include <QLineEdit>
#include <QListWidget>
#include <QStyledItemDelegate>
#include <QWidget>

namespace sm {

// A read-only field that shows a number; the user can still select and copy it.
class TNumberField : public QLineEdit {
    Q_OBJECT

public:
    explicit TNumberField(QWidget* Parent = nullptr);
    // An unchanged number leaves the text, and the user's selection in it, alone.
    void ShowNumber(int Value);

protected:
    void paintEvent(QPaintEvent* Event) override;
};

// A rectangle whose fill shows whether the token slot is open (solid) or closed (cross-hatch).
class TShape : public QWidget {
    Q_OBJECT

public:
    explicit TShape(QWidget* Parent = nullptr);
    void SetBrushStyle(TBrushStyle Style);
    TBrushStyle BrushStyle() const { return FStyle; }

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    TBrushStyle FStyle = TBrushStyle::bsSolid;
};

// A list of check boxes. Ticks set by the program call no handler; a user's toggle stores the
// new tick first and then raises ClickCheck.
class TCheckList : public QListWidget {
    Q_OBJECT

public:
    TCheckList(const QStringList& Items, QWidget* Parent = nullptr);
    void SetChecked(int Index, bool Checked);
    bool Checked(int Index) const;
    // What a click on the item's box does: the tick flips, then ClickCheck.
    void ToggleByUser(int Index);

signals:
    void ClickCheck(QObject* Sender);

private:
    class TDelegate;
};

} // namespace sm
