#include "window/Controls.h"

#include "window/ControlsAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QPainter>

namespace sm {

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
    // A read-only field shows no caret, and a new value clears the selection: the focus needs a
    // mark of its own, black on the grey as the border is.
    if (hasFocus()) {
        Painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        Painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void TNumberField::ShowNumber(int Value) {
    const QString Text = QString::number(Value);
    if (text() != Text)
        setText(Text);
}

TShape::TShape(QWidget* Parent) : QWidget(Parent) {
    QAccessible::installFactory(ControlsAccessibility);
}

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
        // A press on the box is taken here, so the view would not move its current item there:
        // the focus mark follows the click all the same.
        if (Event->type() == QEvent::MouseButtonPress)
            FList->selectionModel()->setCurrentIndex(Index, QItemSelectionModel::NoUpdate);
        const bool Handled = QStyledItemDelegate::editorEvent(Event, Model, Option, Index);
        if (Index.data(Qt::CheckStateRole) != Before)
            emit FList->ClickCheck(FList);
        return Handled;
    }

    // The style's own box and focus rectangle fade into some palettes (a light grey frame on a
    // dark base, a pale dotted focus box on white); both are drawn in the text colour instead.
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override {
        QStyleOptionViewItem Plain = Option;
        Plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(Painter, Plain, Index);
        QStyleOptionViewItem Item = Option;
        initStyleOption(&Item, Index);
        const QWidget* Widget = Option.widget;
        const QStyle* Style = Widget ? Widget->style() : QApplication::style();
        const bool Selected = Option.state & QStyle::State_Selected;
        const QColor Ink = Option.palette.color(QPalette::Text);
        Painter->save();
        if (Item.features & QStyleOptionViewItem::HasCheckIndicator) {
            const QRect Box =
                Style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Item, Widget)
                    .adjusted(1, 1, -1, -1);
            Painter->fillRect(Box, Option.palette.color(QPalette::Base));
            Painter->setPen(QPen(Ink, 1));
            Painter->drawRect(Box.adjusted(0, 0, -1, -1));
            if (Item.checkState == Qt::Checked) {
                Painter->setRenderHint(QPainter::Antialiasing);
                Painter->setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                const QRectF In = QRectF(Box).adjusted(2.5, 2.5, -2.5, -2.5);
                Painter->drawPolyline(QPolygonF({QPointF(In.left(), In.center().y()),
                                                 QPointF(In.left() + In.width() * 0.4, In.bottom()),
                                                 QPointF(In.right(), In.top())}));
            }
        }
        if (Option.state & QStyle::State_HasFocus) {
            Painter->setRenderHint(QPainter::Antialiasing, false);
            Painter->setPen(QPen(Selected ? Option.palette.color(QPalette::HighlightedText) : Ink,
                                 1, Qt::DotLine));
            Painter->drawRect(Option.rect.adjusted(0, 0, -1, -1));
        }
        Painter->restore();
    }

private:
    TCheckList* FList;
};

TCheckList::TCheckList(const QStringList& Items, QWidget* Parent) : QListWidget(Parent) {
    QAccessible::installFactory(ControlsAccessibility);
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
    connect(this, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* Item) { AnnounceTick(this, row(Item)); });
}

void TCheckList::SetChecked(int Index, bool Checked) {
    item(Index)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
}

bool TCheckList::Checked(int Index) const {
    return item(Index)->checkState() == Qt::Checked;
}

void TCheckList::ToggleByUser(int Index) {
    if (Index < 0 || Index >= count())
        return;
    SetChecked(Index, !Checked(Index));
    emit ClickCheck(this);
}

} // namespace sm
