#include "window/LogPanel.h"

#include <QAccessibleWidget>
#include <QApplication>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <climits>

namespace {

constexpr int MarginX = 3;
constexpr int MarginY = 2;
// Message texts repeat; longer lines are rare and not worth hashing.
constexpr qsizetype MaxInternedLength = 512;
constexpr qsizetype MaxInterned = 1024;
// Several times the lines a view shows; past that all are dropped and the next paint lays out
// again only what it shows.
constexpr std::size_t MaxLayouts = 128;
constexpr int AutoScrollMs = 50;

int ToInt(qsizetype Value) {
    return static_cast<int>(std::min<qsizetype>(Value, INT_MAX));
}

// The word (or run of blanks or punctuation) that holds the character at Column.
std::pair<qsizetype, qsizetype> WordAt(const QString& Text, qsizetype Column) {
    if (Text.isEmpty())
        return {0, 0};
    Column = std::clamp<qsizetype>(Column, 0, Text.size() - 1);
    QTextBoundaryFinder Finder(QTextBoundaryFinder::Word, Text);
    Finder.setPosition(Column);
    qsizetype Start = Finder.isAtBoundary() ? Column : Finder.toPreviousBoundary();
    Finder.setPosition(Column);
    qsizetype End = Finder.toNextBoundary();
    return {std::max<qsizetype>(Start, 0), End < 0 ? Text.size() : End};
}

// Qt's boundary helpers read all the text they are given, and a long protocol is megabytes. Lines,
// words and sentences end at line breaks, and the protocol has no two blank lines in a row, so two
// lines on either side of the offset are enough.
class TLinesAround final : public QAccessibleTextInterface {
public:
    TLinesAround(const TLogPanel& Panel, qsizetype Offset) {
        const qsizetype Line = Panel.LineAt(Offset);
        FFirst = Panel.LineStart(Line - 2);
        FText = Panel.Text(FFirst, Panel.LineStart(Line + 3));
    }
    qsizetype First() const { return FFirst; }

    QString text(int Start, int End) const override { return FText.mid(Start, End - Start); }
    int characterCount() const override { return ToInt(FText.size()); }
    // Nothing but the text is asked of it.
    void selection(int, int* Start, int* End) const override { *Start = *End = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int*, int*) const override { return QString(); }

private:
    qsizetype FFirst = 0;
    QString FText;
};

// Read-only text to assistive technology: its lines, the selection and new messages.
class TLogPanelAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    // A text role, as Qt gives its own read-only text views: screen readers then offer their
    // reading commands, and the read-only state keeps them from offering to type.
    explicit TLogPanelAccessible(TLogPanel* Panel)
        : QAccessibleWidget(Panel, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType Type) override {
        if (Type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(Type);
    }
    QString text(QAccessible::Text Type) const override {
        const QString Text = QAccessibleWidget::text(Type);
        return Type == QAccessible::Name && Text.isEmpty() ? QStringLiteral("Протокол") : Text;
    }
    QAccessible::State state() const override {
        QAccessible::State State = QAccessibleWidget::state();
        State.readOnly = true;
        State.multiLine = true;
        State.focusable = true;
        State.selectableText = true;
        return State;
    }

    void selection(int Index, int* Start, int* End) const override {
        *Start = *End = 0;
        if (Index == 0 && Panel().HasSelection()) {
            const auto [From, To] = Panel().SelectionOffsets();
            *Start = ToInt(From);
            *End = ToInt(To);
        }
    }
    int selectionCount() const override { return Panel().HasSelection() ? 1 : 0; }
    void addSelection(int Start, int End) override { setSelection(0, Start, End); }
    void removeSelection(int Index) override {
        if (Index == 0)
            Panel().Select(Panel().CaretOffset(), Panel().CaretOffset());
    }
    void setSelection(int Index, int Start, int End) override {
        if (Index == 0)
            Panel().Select(Start, End);
    }
    int cursorPosition() const override { return ToInt(Panel().CaretOffset()); }
    void setCursorPosition(int Offset) override { Panel().Select(Offset, Offset); }

    QString text(int Start, int End) const override { return Panel().Text(Start, End); }
    int characterCount() const override { return ToInt(Panel().CharacterCount()); }
    QString textBeforeOffset(int Offset, QAccessible::TextBoundaryType Boundary, int* Start,
                             int* End) const override {
        return Around(&QAccessibleTextInterface::textBeforeOffset, Offset, Boundary, Start, End);
    }
    QString textAfterOffset(int Offset, QAccessible::TextBoundaryType Boundary, int* Start,
                            int* End) const override {
        return Around(&QAccessibleTextInterface::textAfterOffset, Offset, Boundary, Start, End);
    }
    QString textAtOffset(int Offset, QAccessible::TextBoundaryType Boundary, int* Start,
                         int* End) const override {
        // The whole text, when that is what is asked for.
        if (Boundary == QAccessible::NoBoundary)
            return QAccessibleTextInterface::textAtOffset(0, Boundary, Start, End);
        return Around(&QAccessibleTextInterface::textAtOffset, Offset, Boundary, Start, End);
    }

    QRect characterRect(int Offset) const override {
        const QRect Rect = Panel().CharacterRect(Offset);
        return Rect.isEmpty() ? Rect : Rect.translated(Panel().viewport()->mapToGlobal(QPoint()));
    }
    int offsetAtPoint(const QPoint& Point) const override {
        return ToInt(Panel().OffsetAt(Panel().viewport()->mapFromGlobal(Point)));
    }
    // Moving the view would stop it following the end; the text is read through the offsets.
    void scrollToSubstring(int, int) override {}
    // One run without attributes: the whole text.
    QString attributes(int, int* Start, int* End) const override {
        *Start = 0;
        *End = characterCount();
        return QString();
    }

private:
    using TQuery = QString (QAccessibleTextInterface::*)(int, QAccessible::TextBoundaryType, int*,
                                                         int*) const;

    TLogPanel& Panel() const { return *static_cast<TLogPanel*>(widget()); }

    QString Around(TQuery Query, int Offset, QAccessible::TextBoundaryType Boundary, int* Start,
                   int* End) const {
        // By convention -1 is the end of the text and -2 the caret.
        if (Offset == -1)
            Offset = characterCount();
        else if (Offset == -2)
            Offset = cursorPosition();
        *Start = *End = -1;
        if (Offset < 0 || Offset > characterCount())
            return QString();
        const TLinesAround Lines(Panel(), Offset);
        QString Result = (Lines.*Query)(ToInt(Offset - Lines.First()), Boundary, Start, End);
        if (*Start >= 0)
            *Start += ToInt(Lines.First());
        if (*End >= 0)
            *End += ToInt(Lines.First());
        return Result;
    }
};

QAccessibleInterface* LogPanelAccessibility(const QString& Class, QObject* Object) {
    if (Class == QLatin1String("TLogPanel"))
        return new TLogPanelAccessible(static_cast<TLogPanel*>(Object));
    return nullptr;
}

} // namespace

TLogPanel::TLogPanel(QWidget* Parent) : QAbstractScrollArea(Parent) {
    // Before anything can ask for the panel's interface: a screen reader keeps the first one it
    // gets, and a panel made on its own is read as text too. A second install changes nothing.
    QAccessible::installFactory(LogPanelAccessibility);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    QPalette Palette = palette();
    Palette.setColor(QPalette::Base, Qt::white);
    // A fixed background takes a fixed text colour with it, or a dark theme writes white on white.
    Palette.setColor(QPalette::Text, Qt::black);
    setPalette(Palette);
    viewport()->setCursor(Qt::IBeamCursor);
    FRowHeight = std::max(1, QFontMetrics(font()).lineSpacing());

    QScrollBar* Bar = verticalScrollBar();
    Bar->setRange(0, 0);
    Bar->setSingleStep(1);
    connect(Bar, &QScrollBar::valueChanged, this,
            [this, Bar](int Value) { FFollow = Value == Bar->maximum(); });
}

TLogPanel::~TLogPanel() = default;

QString TLogPanel::Interned(const QString& Line) {
    if (Line.isEmpty())
        return QString();
    if (Line.size() > MaxInternedLength)
        return Line;
    if (const auto It = FInterned.constFind(Line); It != FInterned.cend())
        return *It;
    // Stamps change every second; forgetting all now and then keeps the set small.
    if (FInterned.size() >= MaxInterned)
        FInterned.clear();
    FInterned.insert(Line);
    return Line;
}

void TLogPanel::AppendLine(const QString& Line) {
    const qsizetype End = CharacterCount();
    FStarts.push_back(FLines.empty() ? 0 : End + 1);
    FLines.push_back(Interned(Line));
    // Told, not shown: neither the caret nor the view nor the focus moves for a new message.
    if (Listened()) {
        const QString Inserted = FLines.size() > 1 ? u'\n' + Line : Line;
        if (!Inserted.isEmpty()) {
            QAccessibleTextInsertEvent Event(this, ToInt(End), Inserted);
            Event.setCursorPosition(ToInt(CaretOffset()));
            Announce(Event);
        }
    }
    if (!isVisible()) {
        // Laid out at the real size when shown.
        FTailValid = false;
        return;
    }
    SyncLayoutWidth();
    TrimLayouts();
    if (!FTailValid) {
        RebuildTail();
    } else {
        const int Rows = RowsOf(LineCount() - 1);
        FTailRows.push_back(Rows);
        FTailHeight += Rows * FRowHeight;
        while (FTailRows.size() > 1 && FTailHeight > TextHeight()) {
            FTailHeight -= FTailRows.front() * FRowHeight;
            FTailRows.pop_front();
            ++FTailFirst;
        }
    }
    const bool WasFollowing = FFollow;
    UpdateScrollRange();
    // Above the end the new line is out of view: only the scroll bar changes.
    if (WasFollowing)
        viewport()->update();
}

qsizetype TLogPanel::LineCount() const {
    return static_cast<qsizetype>(FLines.size());
}

QString TLogPanel::Line(qsizetype Index) const {
    return Index >= 0 && Index < LineCount() ? FLines[Index] : QString();
}

QString TLogPanel::Text() const {
    qsizetype Size = 0;
    for (const QString& Each : FLines)
        Size += Each.size() + 1;
    QString Result;
    Result.reserve(Size);
    for (qsizetype I = 0; I < LineCount(); ++I) {
        if (I > 0)
            Result += u'\n';
        Result += FLines[I];
    }
    return Result;
}

QString TLogPanel::SelectedText() const {
    if (!HasSelection())
        return QString();
    const auto [Start, End] = std::minmax(FAnchor, FCursor);
    return Between(Start, End);
}

QString TLogPanel::Between(TPosition Start, TPosition End) const {
    if (FLines.empty() || !(Start < End))
        return QString();
    if (Start.Line == End.Line)
        return FLines[Start.Line].mid(Start.Column, End.Column - Start.Column);
    QString Result = FLines[Start.Line].mid(Start.Column);
    for (qsizetype I = Start.Line + 1; I < End.Line; ++I)
        Result += u'\n' + FLines[I];
    Result += u'\n' + FLines[End.Line].left(End.Column);
    return Result;
}

bool TLogPanel::HasSelection() const {
    return FAnchor != FCursor;
}

void TLogPanel::SelectAll() {
    if (!FLines.empty())
        SetSelection({}, {LineCount() - 1, FLines.back().size()});
}

void TLogPanel::Copy() const {
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

qsizetype TLogPanel::CharacterCount() const {
    return FLines.empty() ? 0 : FStarts.back() + FLines.back().size();
}

QString TLogPanel::Text(qsizetype Start, qsizetype End) const {
    return Between(PositionOf(Start), PositionOf(End));
}

qsizetype TLogPanel::LineAt(qsizetype Offset) const {
    return PositionOf(Offset).Line;
}

qsizetype TLogPanel::LineStart(qsizetype Index) const {
    Index = std::clamp<qsizetype>(Index, 0, LineCount());
    return Index == LineCount() ? CharacterCount() : FStarts[Index];
}

qsizetype TLogPanel::CaretOffset() const {
    return OffsetOf(Caret());
}

TLogPanel::TPosition TLogPanel::Caret() const {
    return FCaretPlaced ? FCursor : EndOfText();
}

TLogPanel::TPosition TLogPanel::EndOfText() const {
    return FLines.empty() ? TPosition{} : TPosition{LineCount() - 1, FLines.back().size()};
}

std::pair<qsizetype, qsizetype> TLogPanel::SelectionOffsets() const {
    const qsizetype Caret = CaretOffset();
    const qsizetype Anchor = HasSelection() ? OffsetOf(FAnchor) : Caret;
    return {std::min(Anchor, Caret), std::max(Anchor, Caret)};
}

void TLogPanel::Select(qsizetype Anchor, qsizetype Caret) {
    SetSelection(PositionOf(Anchor), PositionOf(Caret));
}

QRect TLogPanel::CharacterRect(qsizetype Offset) const {
    if (Offset < 0 || Offset > CharacterCount())
        return QRect();
    const TPosition Position = PositionOf(Offset);
    // Empty for a line out of view, and for the first line of an empty panel.
    const QRect Rect = LineRect(Position.Line);
    if (Rect.isEmpty())
        return QRect();
    const QString& Text = FLines[Position.Line];
    // A line break (or the end) is as wide as a space, as a selection shows it.
    const int SpaceWidth = QFontMetrics(font()).horizontalAdvance(u' ');
    if (Text.isEmpty())
        return QRect(Rect.topLeft(), QSize(SpaceWidth, FRowHeight));
    const QTextLayout& Layout = *LaidOut(Text).Layout;
    const int Column = ToInt(Position.Column);
    QTextLine Row = Layout.lineForTextPosition(Column);
    if (!Row.isValid())
        Row = Layout.lineAt(Layout.lineCount() - 1);
    const qreal Left = Row.cursorToX(Column);
    const qreal Right = Column < Text.size() ? Row.cursorToX(Column + 1) : Left + SpaceWidth;
    return QRect(Rect.left() + qRound(Left), Rect.top() + Row.lineNumber() * FRowHeight,
                 std::max(1, qRound(Right - Left)), FRowHeight);
}

qsizetype TLogPanel::OffsetAt(QPoint Point) const {
    if (FLines.empty() || !viewport()->rect().contains(Point))
        return -1;
    return OffsetOf(PositionAt(Point, true));
}

bool TLogPanel::FollowsEnd() const {
    return FFollow;
}

QRect TLogPanel::LineRect(qsizetype Index) const {
    for (const TPlaced& Placed : Placement())
        if (Placed.Index == Index)
            return QRect(MarginX, Placed.Top, WrapWidth(), Placed.Rows * FRowHeight);
    return QRect();
}

QMenu* TLogPanel::CreateContextMenu(QWidget* Parent) {
    auto* Menu = new QMenu(Parent);
    QAction* CopyAction = Menu->addAction(QStringLiteral("Копировать"), this, &TLogPanel::Copy);
    CopyAction->setShortcut(QKeySequence::Copy);
    CopyAction->setEnabled(HasSelection());
    QAction* AllAction =
        Menu->addAction(QStringLiteral("Выделить все"), this, &TLogPanel::SelectAll);
    AllAction->setShortcut(QKeySequence::SelectAll);
    AllAction->setEnabled(!FLines.empty());
    if (!FMenuActions.isEmpty()) {
        Menu->addSeparator();
        Menu->addActions(FMenuActions);
    }
    return Menu;
}

void TLogPanel::AddMenuAction(QAction* Action) {
    FMenuActions.append(Action);
}

int TLogPanel::WrapWidth() const {
    return std::max(1, viewport()->width() - 2 * MarginX);
}

int TLogPanel::TextHeight() const {
    return std::max(1, viewport()->height() - 2 * MarginY);
}

void TLogPanel::SyncLayoutWidth() const {
    if (FLayoutWidth != WrapWidth()) {
        FLayouts.clear();
        FLayoutWidth = WrapWidth();
    }
}

const TLogPanel::TLaidOut& TLogPanel::LaidOut(const QString& Text) const {
    auto [It, Added] = FLayouts.try_emplace(Text);
    if (Added) {
        auto Layout = std::make_unique<QTextLayout>(Text, font(), viewport());
        QTextOption Option;
        Option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        Layout->setTextOption(Option);
        // Keeps the shaped glyphs for the paints to come.
        Layout->setCacheEnabled(true);
        int Rows = 0;
        Layout->beginLayout();
        for (QTextLine Row = Layout->createLine(); Row.isValid(); Row = Layout->createLine()) {
            Row.setLineWidth(FLayoutWidth);
            Row.setPosition(QPointF(0, Rows * FRowHeight));
            ++Rows;
        }
        Layout->endLayout();
        It->second = {std::move(Layout), std::max(1, Rows)};
    }
    return It->second;
}

int TLogPanel::RowsOf(qsizetype Index) const {
    // An empty line takes one row and needs no layout.
    const QString& Text = FLines[Index];
    return Text.isEmpty() ? 1 : LaidOut(Text).Rows;
}

void TLogPanel::TrimLayouts() const {
    // Only where no layout is in use.
    if (FLayouts.size() > MaxLayouts)
        FLayouts.clear();
}

void TLogPanel::RebuildTail() {
    SyncLayoutWidth();
    FTailRows.clear();
    FTailHeight = 0;
    qsizetype First = LineCount();
    while (First > 0) {
        const int Rows = RowsOf(First - 1);
        if (!FTailRows.empty() && FTailHeight + Rows * FRowHeight > TextHeight())
            break;
        FTailRows.push_front(Rows);
        FTailHeight += Rows * FRowHeight;
        --First;
    }
    FTailFirst = First;
    FTailValid = true;
}

void TLogPanel::UpdateScrollRange() {
    QScrollBar* Bar = verticalScrollBar();
    Bar->setPageStep(std::max(1, ToInt(static_cast<qsizetype>(FTailRows.size())) - 1));
    // A shrinking range can only move the value onto the maximum, so following stays as it was.
    Bar->setRange(0, ToInt(FTailFirst));
    if (FFollow)
        Bar->setValue(Bar->maximum());
}

void TLogPanel::Relayout() {
    RebuildTail();
    UpdateScrollRange();
    viewport()->update();
}

std::vector<TLogPanel::TPlaced> TLogPanel::Placement() const {
    std::vector<TPlaced> Result;
    if (FLines.empty())
        return Result;
    SyncLayoutWidth();
    const QScrollBar* Bar = verticalScrollBar();
    const int Height = viewport()->height();
    if (Bar->value() == Bar->maximum() && Bar->maximum() > 0) {
        // At the end the last line sits on the bottom edge, however the lines above wrap.
        int Bottom = MarginY + TextHeight();
        for (qsizetype I = LineCount() - 1; I >= 0 && Bottom > 0; --I) {
            const int Rows = RowsOf(I);
            Bottom -= Rows * FRowHeight;
            Result.push_back({I, Bottom, Rows});
        }
        std::reverse(Result.begin(), Result.end());
    } else {
        int Top = MarginY;
        for (qsizetype I = std::min<qsizetype>(Bar->value(), LineCount() - 1);
             I < LineCount() && Top < Height; ++I) {
            const int Rows = RowsOf(I);
            Result.push_back({I, Top, Rows});
            Top += Rows * FRowHeight;
        }
    }
    return Result;
}

TLogPanel::TPosition TLogPanel::PositionAt(QPoint Point, bool OnCharacter) const {
    const std::vector<TPlaced> Placed = Placement();
    if (Placed.empty())
        return {};
    auto Hit = std::find_if(Placed.begin(), Placed.end(), [&](const TPlaced& Each) {
        return Point.y() < Each.Top + Each.Rows * FRowHeight;
    });
    if (Hit == Placed.end())
        return {Placed.back().Index, FLines[Placed.back().Index].size()};
    if (FLines[Hit->Index].isEmpty())
        return {Hit->Index, 0};
    const QTextLayout& Layout = *LaidOut(FLines[Hit->Index]).Layout;
    const int Row = std::clamp((Point.y() - Hit->Top) / FRowHeight, 0, Layout.lineCount() - 1);
    const int Column = Layout.lineAt(Row).xToCursor(
        Point.x() - MarginX,
        OnCharacter ? QTextLine::CursorOnCharacter : QTextLine::CursorBetweenCharacters);
    return {Hit->Index, Column};
}

void TLogPanel::DragTo(QPoint Point) {
    FDragPoint = Point;
    SetSelection(FAnchor, PositionAt(Point, false));
}

TLogPanel::TPosition TLogPanel::PositionOf(qsizetype Offset) const {
    if (FLines.empty())
        return {};
    Offset = std::clamp<qsizetype>(Offset, 0, CharacterCount());
    const qsizetype Line =
        std::upper_bound(FStarts.begin(), FStarts.end(), Offset) - FStarts.begin() - 1;
    return {Line, Offset - FStarts[Line]};
}

qsizetype TLogPanel::OffsetOf(TPosition Position) const {
    return FLines.empty() ? 0 : FStarts[Position.Line] + Position.Column;
}

void TLogPanel::SetSelection(TPosition Anchor, TPosition Cursor) {
    if (Anchor == FAnchor && Cursor == FCursor && FCaretPlaced)
        return;
    const bool Tell = Listened();
    const auto SelectionBefore = Tell ? SelectionOffsets() : std::pair<qsizetype, qsizetype>();
    const qsizetype CaretBefore = Tell ? CaretOffset() : 0;
    FAnchor = Anchor;
    FCursor = Cursor;
    FCaretPlaced = true;
    viewport()->update();
    if (!Tell)
        return;
    const auto Selection = SelectionOffsets();
    const qsizetype Caret = CaretOffset();
    if (Selection != SelectionBefore) {
        QAccessibleTextSelectionEvent Event(this, ToInt(Selection.first), ToInt(Selection.second));
        Event.setCursorPosition(ToInt(Caret));
        Announce(Event);
    }
    if (Caret != CaretBefore) {
        QAccessibleTextCursorEvent Event(this, ToInt(Caret));
        Announce(Event);
    }
}

bool TLogPanel::Listened() const {
    return AccessibilityReceiver || QAccessible::isActive();
}

void TLogPanel::Announce(QAccessibleEvent& Event) {
    if (AccessibilityReceiver)
        AccessibilityReceiver(&Event);
    else
        QAccessible::updateAccessibility(&Event);
}

bool TLogPanel::event(QEvent* Event) {
    // Copy and select all belong to the panel while it has the focus, not to window shortcuts.
    if (Event->type() == QEvent::ShortcutOverride) {
        const auto* Key = static_cast<QKeyEvent*>(Event);
        if (Key->matches(QKeySequence::Copy) || Key->matches(QKeySequence::SelectAll)) {
            Event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(Event);
}

void TLogPanel::changeEvent(QEvent* Event) {
    QAbstractScrollArea::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        FRowHeight = std::max(1, QFontMetrics(font()).lineSpacing());
        FLayouts.clear();
        if (isVisible())
            Relayout();
        else
            FTailValid = false;
    } else if (Event->type() == QEvent::PaletteChange ||
               Event->type() == QEvent::ActivationChange ||
               Event->type() == QEvent::EnabledChange) {
        viewport()->update();
    }
}

void TLogPanel::showEvent(QShowEvent* Event) {
    QAbstractScrollArea::showEvent(Event);
    if (!FTailValid)
        Relayout();
}

void TLogPanel::resizeEvent(QResizeEvent* Event) {
    QAbstractScrollArea::resizeEvent(Event);
    Relayout();
}

// The frame takes the highlight colour while the panel has the focus, so a keyboard user sees
// where Ctrl+A and Ctrl+C act; nothing else moves.
void TLogPanel::focusInEvent(QFocusEvent* Event) {
    QPalette Focused = palette();
    Focused.setColor(QPalette::WindowText, Focused.color(QPalette::Highlight));
    setPalette(Focused);
    QAbstractScrollArea::focusInEvent(Event);
}

void TLogPanel::focusOutEvent(QFocusEvent* Event) {
    QPalette Unfocused = palette();
    Unfocused.setColor(QPalette::WindowText,
                       QApplication::palette(this).color(QPalette::WindowText));
    setPalette(Unfocused);
    QAbstractScrollArea::focusOutEvent(Event);
}

void TLogPanel::paintEvent(QPaintEvent* Event) {
    TrimLayouts();
    QPainter Painter(viewport());
    const QPalette::ColorGroup Group = !isEnabled()       ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const QPalette& Colours = palette();
    Painter.setPen(Colours.color(Group, QPalette::Text));
    QTextCharFormat Selected;
    Selected.setBackground(Colours.brush(Group, QPalette::Highlight));
    Selected.setForeground(Colours.brush(Group, QPalette::HighlightedText));
    const auto [Start, End] = std::minmax(FAnchor, FCursor);
    const bool AnySelected = Start != End;
    const QRect Clip = Event->rect();
    const int SpaceWidth = QFontMetrics(font()).horizontalAdvance(u' ');

    for (const TPlaced& Placed : Placement()) {
        const int Bottom = Placed.Top + Placed.Rows * FRowHeight;
        if (Bottom <= Clip.top() || Placed.Top > Clip.bottom())
            continue;
        const QString& Text = FLines[Placed.Index];
        const bool InSelection =
            AnySelected && Placed.Index >= Start.Line && Placed.Index <= End.Line;
        const QTextLayout* Layout = Text.isEmpty() ? nullptr : LaidOut(Text).Layout.get();
        if (Layout) {
            QList<QTextLayout::FormatRange> Ranges;
            if (InSelection) {
                const qsizetype From = Placed.Index == Start.Line ? Start.Column : 0;
                const qsizetype To = Placed.Index == End.Line ? End.Column : Text.size();
                if (To > From)
                    Ranges.append({ToInt(From), ToInt(To - From), Selected});
            }
            Layout->draw(&Painter, QPointF(MarginX, Placed.Top), Ranges, Clip);
        }
        // A selected line break shows as a space-wide block after the line's text.
        if (InSelection && Placed.Index < End.Line) {
            qreal X = 0;
            if (Layout) {
                const QTextLine Last = Layout->lineAt(Layout->lineCount() - 1);
                X = Last.cursorToX(ToInt(Text.size()));
            }
            Painter.fillRect(QRectF(MarginX + X, Bottom - FRowHeight, SpaceWidth, FRowHeight),
                             Selected.background());
        }
    }
    // A steady caret: the keyboard reads from it, and a blink would repaint for nothing.
    if (hasFocus()) {
        const QRect At = CharacterRect(CaretOffset());
        if (!At.isEmpty())
            Painter.fillRect(QRect(At.left(), At.top(), 1, At.height()),
                             Colours.color(Group, QPalette::Text));
    }
}

void TLogPanel::scrollContentsBy(int, int) {
    // Lines wrap differently at the top and at the end, so the view is drawn anew, not shifted.
    viewport()->update();
}

void TLogPanel::keyPressEvent(QKeyEvent* Event) {
    if (Event->matches(QKeySequence::Copy)) {
        Copy();
        Event->accept();
        return;
    }
    if (Event->matches(QKeySequence::SelectAll)) {
        SelectAll();
        Event->accept();
        return;
    }
    // The caret moves as in any text view; Shift takes the selection along. The text stays.
    using K = QKeySequence::StandardKey;
    static constexpr std::pair<K, K> Moves[] = {
        {K::MoveToNextChar, K::SelectNextChar},
        {K::MoveToPreviousChar, K::SelectPreviousChar},
        {K::MoveToNextLine, K::SelectNextLine},
        {K::MoveToPreviousLine, K::SelectPreviousLine},
        {K::MoveToNextPage, K::SelectNextPage},
        {K::MoveToPreviousPage, K::SelectPreviousPage},
        {K::MoveToStartOfLine, K::SelectStartOfLine},
        {K::MoveToEndOfLine, K::SelectEndOfLine},
        {K::MoveToStartOfDocument, K::SelectStartOfDocument},
        {K::MoveToEndOfDocument, K::SelectEndOfDocument},
    };
    for (const auto& [Move, Select] : Moves) {
        const bool Extend = Event->matches(Select);
        if (Extend || Event->matches(Move)) {
            MoveCaret(Move, Extend);
            Event->accept();
            return;
        }
    }
    // Read-only: every other key goes on to the parent.
    Event->ignore();
}

void TLogPanel::MoveCaret(QKeySequence::StandardKey Move, bool Extend) {
    const TPosition From = Caret();
    TPosition To = From;
    const qsizetype LastLine = LineCount() - 1;
    const int Page = std::max(1, viewport()->height() / FRowHeight - 1);
    switch (Move) {
    case QKeySequence::MoveToNextChar:
        if (From.Column < FLines[From.Line].size())
            ++To.Column;
        else if (From.Line < LastLine)
            To = {From.Line + 1, 0};
        break;
    case QKeySequence::MoveToPreviousChar:
        if (From.Column > 0)
            --To.Column;
        else if (From.Line > 0)
            To = {From.Line - 1, FLines[From.Line - 1].size()};
        break;
    case QKeySequence::MoveToNextLine:
        To = RowsAway(From, 1);
        break;
    case QKeySequence::MoveToPreviousLine:
        To = RowsAway(From, -1);
        break;
    case QKeySequence::MoveToNextPage:
        To = RowsAway(From, Page);
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case QKeySequence::MoveToPreviousPage:
        To = RowsAway(From, -Page);
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case QKeySequence::MoveToStartOfLine:
        To.Column = 0;
        break;
    case QKeySequence::MoveToEndOfLine:
        To.Column = FLines.empty() ? 0 : FLines[From.Line].size();
        break;
    case QKeySequence::MoveToStartOfDocument:
        To = {};
        break;
    default:
        To = EndOfText();
        break;
    }
    SetSelection(Extend ? (FCaretPlaced ? FAnchor : From) : To, To);
    ShowLine(To.Line);
}

// Rows, not lines: a wrapped message is walked row by row, keeping the caret's column on screen.
TLogPanel::TPosition TLogPanel::RowsAway(TPosition From, int Rows) const {
    if (FLines.empty())
        return From;
    const auto RowOf = [this](TPosition At) {
        if (FLines[At.Line].isEmpty())
            return std::pair(0, 0.0);
        const QTextLayout& Layout = *LaidOut(FLines[At.Line]).Layout;
        QTextLine Row = Layout.lineForTextPosition(ToInt(At.Column));
        if (!Row.isValid())
            Row = Layout.lineAt(Layout.lineCount() - 1);
        return std::pair(Row.lineNumber(), Row.cursorToX(ToInt(At.Column)));
    };
    auto [Row, X] = RowOf(From);
    qsizetype Line = From.Line;
    for (int Step = 0; Step < std::abs(Rows); ++Step) {
        if (Rows > 0 && Row + 1 < RowsOf(Line)) {
            ++Row;
        } else if (Rows > 0 && Line + 1 < LineCount()) {
            ++Line;
            Row = 0;
        } else if (Rows < 0 && Row > 0) {
            --Row;
        } else if (Rows < 0 && Line > 0) {
            --Line;
            Row = RowsOf(Line) - 1;
        } else {
            return Rows > 0 ? EndOfText() : TPosition{};
        }
    }
    if (FLines[Line].isEmpty())
        return {Line, 0};
    const QTextLayout& Layout = *LaidOut(FLines[Line]).Layout;
    return {Line, Layout.lineAt(Row).xToCursor(X)};
}

// Scrolls the least that brings the whole line into view (its top, if it is taller than the view).
void TLogPanel::ShowLine(qsizetype Index) {
    QScrollBar* Bar = verticalScrollBar();
    const int Height = viewport()->height();
    for (int Step = 0; Step < 1000; ++Step) {
        const QRect Rect = LineRect(Index);
        if (!Rect.isEmpty() && Rect.top() >= 0 && (Rect.bottom() < Height || Bar->value() == Index))
            return;
        if (Rect.isEmpty() ? Index < Bar->value() : Rect.top() < 0) {
            Bar->setValue(ToInt(Index));
            return;
        }
        if (Bar->value() >= Bar->maximum())
            return;
        // Far below: jump to about a view above it first.
        Bar->setValue(std::max(Bar->value() + 1, ToInt(Index) - Height / FRowHeight));
    }
}

QVariant TLogPanel::inputMethodQuery(Qt::InputMethodQuery Query) const {
    if (Query != Qt::ImCursorRectangle)
        return QAbstractScrollArea::inputMethodQuery(Query);
    // The Menu key and Shift+F10 open the context menu here: at the caret, or mid-panel.
    const QRect At = CharacterRect(CaretOffset());
    return At.isEmpty() ? QRect(rect().center(), QSize(1, 1))
                        : QRect(viewport()->mapTo(this, At.topLeft()), QSize(1, At.height()));
}

void TLogPanel::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton) {
        // A right click keeps the selection for the context menu.
        QAbstractScrollArea::mousePressEvent(Event);
        return;
    }
    const TPosition Position = PositionAt(Event->position().toPoint(), false);
    SetSelection(Event->modifiers() & Qt::ShiftModifier ? FAnchor : Position, Position);
    FSelecting = true;
}

void TLogPanel::mouseMoveEvent(QMouseEvent* Event) {
    if (!FSelecting || !(Event->buttons() & Qt::LeftButton))
        return;
    const QPoint Point = Event->position().toPoint();
    DragTo(Point);
    // Dragging past the top or bottom edge scrolls on by itself.
    if (Point.y() < 0 || Point.y() >= viewport()->height())
        FAutoScroll.start(AutoScrollMs, this);
    else
        FAutoScroll.stop();
}

void TLogPanel::mouseReleaseEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton)
        return;
    FSelecting = false;
    FAutoScroll.stop();
    QClipboard* Clipboard = QGuiApplication::clipboard();
    if (HasSelection() && Clipboard->supportsSelection())
        Clipboard->setText(SelectedText(), QClipboard::Selection);
}

void TLogPanel::mouseDoubleClickEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton)
        return;
    const TPosition Position = PositionAt(Event->position().toPoint(), true);
    const auto [Start, End] =
        WordAt(FLines.empty() ? QString() : FLines[Position.Line], Position.Column);
    SetSelection({Position.Line, Start}, {Position.Line, End});
    // The release that follows must not turn the word back into a caret.
    FSelecting = false;
}

void TLogPanel::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu* Menu = CreateContextMenu(this);
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    Menu->popup(Event->globalPos());
}

void TLogPanel::timerEvent(QTimerEvent* Event) {
    if (Event->timerId() != FAutoScroll.timerId()) {
        QAbstractScrollArea::timerEvent(Event);
        return;
    }
    verticalScrollBar()->triggerAction(FDragPoint.y() < 0 ? QAbstractSlider::SliderSingleStepSub
                                                          : QAbstractSlider::SliderSingleStepAdd);
    DragTo(FDragPoint);
}
