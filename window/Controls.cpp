#include "window/Controls.h"

#include <QPainter>

TNumberField::TNumberField(QWidget* Parent) : QLineEdit(Parent) {
    setReadOnly(true);
    setFrame(false);
    // Grey with black text and a black border in any theme. Drawn by hand: a style sheet costs
    // the window's start a style of its own for four fields.
    setContentsMargins(1, 1, 1, 1);
    setTextMargins(2, 0, 0, 0);
    QPalette Palette = palette();
    Palette.setColor(QPalette::Base, QColor(0xc0, 0xc0, 0xc0));
    Palette.setColor(QPalette::Text, Qt::black);
    setPalette(Palette);
    setAutoFillBackground(true);
}

void TNumberField::paintEvent(QPaintEvent* Event) {
    QLineEdit::paintEvent(Event);
    QPainter Painter(this);
    Painter.setPen(Qt::black);
    Painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TNumberField::ShowNumber(int Value) {
    const QString Text = QString::number(Value);
    if (text() != Text)
        setText(Text);
}

TShape::TShape(QWidget* Parent) : QWidget(Parent) {}

void TShape::SetBrushStyle(TBrushStyle Style) {
    if (Style == FStyle)
        return;
    FStyle = Style;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.setPen(QPen(Qt::black, 1));
    const Qt::BrushStyle Pattern =
        FStyle == TBrushStyle::bsSolid ? Qt::SolidPattern : Qt::DiagCrossPattern;
    // White either way: a solid bar when open, white hatch lines over the dark panel when
    // closed, so a closed slot never looks like no indicator at all.
    Painter.setBrush(QBrush(Qt::white, Pattern));
    Painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Reports a toggle only when the base delegate really changed the tick, so programmatic ticks
// and clicks beside the box stay silent by construction.
class TCheckList::TDelegate : public QStyledItemDelegate {
public:
    explicit TDelegate(TCheckList* List) : QStyledItemDelegate(List), FList(List) {}

    bool editorEvent(QEvent* Event, QAbstractItemModel* Model, const QStyleOptionViewItem& Option,
                     const QModelIndex& Index) override {
        const QVariant Before = Index.data(Qt::CheckStateRole);
        const bool Handled = QStyledItemDelegate::editorEvent(Event, Model, Option, Index);
        if (Index.data(Qt::CheckStateRole) != Before)
            emit FList->ClickCheck(FList);
        return Handled;
    }

private:
    TCheckList* FList;
};

TCheckList::TCheckList(const QStringList& Items, QWidget* Parent) : QListWidget(Parent) {
    setItemDelegate(new TDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    for (const QString& Text : Items) {
        auto* Item = new QListWidgetItem(Text, this);
        Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        Item->setCheckState(Qt::Unchecked);
        Item->setSizeHint(QSize(0, 13));
    }
}

void TCheckList::SetChecked(int Index, bool Checked) {
    item(Index)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

bool TCheckList::Checked(int Index) const {
    return item(Index)->checkState() == Qt::Checked;
}
