#include "window/LogPanel.h"

#include "slotmachine/WindowFont.h"
#include "window/LogPanelAccessible.h"

#include <QAccessible>
#include <QApplication>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace sm {

namespace {

// At the window's font; a larger font (the window scaled up) widens them alike.
constexpr int DesignMarginX = 3;
constexpr int DesignMarginY = 2;
// Several times the lines a view shows; past that all are dropped and the next paint lays out
// again only what it shows.
constexpr std::size_t MaxLayouts = 128;
constexpr int AutoScrollMs = 50;

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
    Measure();

    QScrollBar* Bar = verticalScrollBar();
    Bar->setRange(0, 0);
    Bar->setSingleStep(1);
    connect(Bar, &QScrollBar::valueChanged, this,
            [this, Bar](int Value) { FFollow = Value == Bar->maximum(); });
}

TLogPanel::~TLogPanel() = default;

void TLogPanel::AppendLine(const QString& Line) {
    const qsizetype End = CharacterCount();
    FLines.Append(Line);
    // Told, not shown: neither the caret nor the view nor the focus moves for a new message.
    if (Listened()) {
        const QString Inserted = LineCount() > 1 ? u'\n' + Line : Line;
        if (!Inserted.isEmpty()) {
            QAccessibleTextInsertEvent Event(this, ToInt(End), Inserted);
            Event.setCursorPosition(ToInt(CaretOffset()));
            Announce(Event);
        }
    }
    if (!isVisible() || FHeld) {
        // Laid out at the real size when shown or released.
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

void TLogPanel::Hold(bool Held) {
    FHeld = Held;
    if (!FHeld && !FTailValid && isVisible())
        Relayout();
}

void TLogPanel::Clear() {
    if (FLines.IsEmpty())
        return;
    const QString Before = Listened() ? Text() : QString();
    FLines.Clear();
    FLayouts.clear();
    FTailValid = false;
    FFollow = true;
    FAnchor = FCursor = {};
    FCaretPlaced = false;
    FSelecting = false;
    FAutoScroll.stop();
    if (Listened()) {
        QAccessibleTextRemoveEvent Event(this, 0, Before);
        Event.setCursorPosition(0);
        Announce(Event);
    }
    Relayout();
}

void TLogPanel::Truncate(qsizetype Count) {
    if (Count <= 0)
        return Clear();
    if (Count >= LineCount())
        return;
    // The line break before the first line dropped goes with it.
    const qsizetype From = LineStart(Count) - 1;
    const QString Removed = Listened() ? Text(From, CharacterCount()) : QString();
    FLines.Truncate(Count);
    FLayouts.clear();
    FTailValid = false;
    const TPosition End = FLines.EndOfText();
    FAnchor = std::min(FAnchor, End);
    FCursor = std::min(FCursor, End);
    if (Listened()) {
        QAccessibleTextRemoveEvent Event(this, ToInt(From), Removed);
        Event.setCursorPosition(ToInt(CaretOffset()));
        Announce(Event);
    }
    Relayout();
}

void TLogPanel::SetPresent(qsizetype First) {
    if (First >= LineCount())
        First = -1;
    if (First == FPresent)
        return;
    FPresent = First;
    setAccessibleDescription(FPresent < 0 ? QString()
                                          : QStringLiteral("Сообщения после отметки написаны "
                                                           "позже выбранного момента"));
    viewport()->update();
}

qsizetype TLogPanel::LineCount() const {
    return FLines.Count();
}

QString TLogPanel::Line(qsizetype Index) const {
    return FLines.Line(Index);
}

QString TLogPanel::Text() const {
    return FLines.Text();
}

QString TLogPanel::SelectedText() const {
    if (!HasSelection())
        return QString();
    const auto [Start, End] = std::minmax(FAnchor, FCursor);
    return FLines.Between(Start, End);
}

bool TLogPanel::HasSelection() const {
    return FAnchor != FCursor;
}

void TLogPanel::SelectAll() {
    if (!FLines.IsEmpty())
        SetSelection({}, FLines.EndOfText());
}

void TLogPanel::Copy() const {
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

qsizetype TLogPanel::CharacterCount() const {
    return FLines.CharacterCount();
}

QString TLogPanel::Text(qsizetype Start, qsizetype End) const {
    return FLines.Text(Start, End);
}

qsizetype TLogPanel::LineAt(qsizetype Offset) const {
    return FLines.LineAt(Offset);
}

qsizetype TLogPanel::LineStart(qsizetype Index) const {
    return FLines.LineStart(Index);
}

qsizetype TLogPanel::CaretOffset() const {
    return FLines.OffsetOf(Caret());
}

TLogPanel::TPosition TLogPanel::Caret() const {
    return FCaretPlaced ? FCursor : FLines.EndOfText();
}

std::pair<qsizetype, qsizetype> TLogPanel::SelectionOffsets() const {
    const qsizetype Caret = CaretOffset();
    const qsizetype Anchor = HasSelection() ? FLines.OffsetOf(FAnchor) : Caret;
    return {std::min(Anchor, Caret), std::max(Anchor, Caret)};
}

void TLogPanel::Select(qsizetype Anchor, qsizetype Caret) {
    SetSelection(FLines.PositionOf(Anchor), FLines.PositionOf(Caret));
}

QRect TLogPanel::CharacterRect(qsizetype Offset) const {
    if (Offset < 0 || Offset > CharacterCount())
        return QRect();
    const TPosition Position = FLines.PositionOf(Offset);
    // Empty for a line out of view, and for the first line of an empty panel.
    const QRect Rect = LineRect(Position.Line);
    if (Rect.isEmpty())
        return QRect();
    const QString& Text = FLines.At(Position.Line);
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
    if (FLines.IsEmpty() || !viewport()->rect().contains(Point))
        return -1;
    return FLines.OffsetOf(PositionAt(Point, true));
}

bool TLogPanel::FollowsEnd() const {
    return FFollow;
}

QRect TLogPanel::LineRect(qsizetype Index) const {
    for (const TPlaced& Placed : Placement())
        if (Placed.Index == Index)
            return QRect(FMarginX, Placed.Top, WrapWidth(), Placed.Rows * FRowHeight);
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
    AllAction->setEnabled(!FLines.IsEmpty());
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
    return std::max(1, viewport()->width() - 2 * FMarginX);
}

int TLogPanel::TextHeight() const {
    return std::max(1, viewport()->height() - 2 * FMarginY);
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
    const QString& Text = FLines.At(Index);
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
    if (FLines.IsEmpty())
        return Result;
    SyncLayoutWidth();
    const QScrollBar* Bar = verticalScrollBar();
    const int Height = viewport()->height();
    if (Bar->value() == Bar->maximum() && Bar->maximum() > 0) {
        // At the end the last line sits on the bottom edge, however the lines above wrap.
        int Bottom = FMarginY + TextHeight();
        for (qsizetype I = LineCount() - 1; I >= 0 && Bottom > 0; --I) {
            const int Rows = RowsOf(I);
            Bottom -= Rows * FRowHeight;
            Result.push_back({I, Bottom, Rows});
        }
        std::reverse(Result.begin(), Result.end());
    } else {
        int Top = FMarginY;
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
        return {Placed.back().Index, FLines.At(Placed.back().Index).size()};
    if (FLines.At(Hit->Index).isEmpty())
        return {Hit->Index, 0};
    const QTextLayout& Layout = *LaidOut(FLines.At(Hit->Index)).Layout;
    const int Row = std::clamp((Point.y() - Hit->Top) / FRowHeight, 0, Layout.lineCount() - 1);
    const int Column = Layout.lineAt(Row).xToCursor(
        Point.x() - FMarginX,
        OnCharacter ? QTextLine::CursorOnCharacter : QTextLine::CursorBetweenCharacters);
    return {Hit->Index, Column};
}

void TLogPanel::DragTo(QPoint Point) {
    FDragPoint = Point;
    SetSelection(FAnchor, PositionAt(Point, false));
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

void TLogPanel::Measure() {
    FRowHeight = std::max(1, QFontMetrics(font()).lineSpacing());
    const qreal Scale = qreal(QFontInfo(font()).pixelSize()) / WindowFontPixels;
    FMarginX = std::max(DesignMarginX, static_cast<int>(std::lround(DesignMarginX * Scale)));
    FMarginY = std::max(DesignMarginY, static_cast<int>(std::lround(DesignMarginY * Scale)));
}

void TLogPanel::changeEvent(QEvent* Event) {
    QAbstractScrollArea::changeEvent(Event);
    if (Event->type() == QEvent::FontChange) {
        Measure();
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

    // Half the text's colour on the panel's own white: readable, but plainly set apart.
    QColor Later = Colours.color(Group, QPalette::Text);
    Later.setAlpha(110);
    for (const TPlaced& Placed : Placement()) {
        const int Bottom = Placed.Top + Placed.Rows * FRowHeight;
        if (Bottom <= Clip.top() || Placed.Top > Clip.bottom())
            continue;
        const bool Past = FPresent >= 0 && Placed.Index >= FPresent;
        Painter.setPen(Past ? Later : Colours.color(Group, QPalette::Text));
        if (Placed.Index == FPresent)
            Painter.fillRect(QRect(0, Placed.Top - 1, viewport()->width(), 2),
                             Colours.color(Group, QPalette::Highlight));
        const QString& Text = FLines.At(Placed.Index);
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
            Layout->draw(&Painter, QPointF(FMarginX, Placed.Top), Ranges, Clip);
        }
        // A selected line break shows as a space-wide block after the line's text.
        if (InSelection && Placed.Index < End.Line) {
            qreal X = 0;
            if (Layout) {
                const QTextLine Last = Layout->lineAt(Layout->lineCount() - 1);
                X = Last.cursorToX(ToInt(Text.size()));
            }
            Painter.fillRect(QRectF(FMarginX + X, Bottom - FRowHeight, SpaceWidth, FRowHeight),
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
    if (FLines.IsEmpty())
        return; // nothing to move over
    const TPosition From = Caret();
    TPosition To = From;
    const qsizetype LastLine = LineCount() - 1;
    const int Page = std::max(1, viewport()->height() / FRowHeight - 1);
    switch (Move) {
    case QKeySequence::MoveToNextChar:
        if (From.Column < FLines.At(From.Line).size())
            ++To.Column;
        else if (From.Line < LastLine)
            To = {From.Line + 1, 0};
        break;
    case QKeySequence::MoveToPreviousChar:
        if (From.Column > 0)
            --To.Column;
        else if (From.Line > 0)
            To = {From.Line - 1, FLines.At(From.Line - 1).size()};
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
        To.Column = FLines.At(From.Line).size();
        break;
    case QKeySequence::MoveToStartOfDocument:
        To = {};
        break;
    default:
        To = FLines.EndOfText();
        break;
    }
    SetSelection(Extend ? (FCaretPlaced ? FAnchor : From) : To, To);
    ShowLine(To.Line);
}

// Rows, not lines: a wrapped message is walked row by row, keeping the caret's column on screen.
TLogPanel::TPosition TLogPanel::RowsAway(TPosition From, int Rows) const {
    if (FLines.IsEmpty())
        return From;
    const auto RowOf = [this](TPosition At) {
        if (FLines.At(At.Line).isEmpty())
            return std::pair(0, 0.0);
        const QTextLayout& Layout = *LaidOut(FLines.At(At.Line)).Layout;
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
            return Rows > 0 ? FLines.EndOfText() : TPosition{};
        }
    }
    if (FLines.At(Line).isEmpty())
        return {Line, 0};
    const QTextLayout& Layout = *LaidOut(FLines.At(Line)).Layout;
    return {Line, Layout.lineAt(Row).xToCursor(X)};
}

// Scrolls the least that brings the whole line into view (its top, if it is taller than the view).
qsizetype TLogPanel::FindFromEnd(const QString& Text, qsizetype Skip) const {
    for (qsizetype Index = LineCount(); Index-- > 0;)
        if (FLines.At(Index).contains(Text) && Skip-- == 0)
            return Index;
    return -1;
}

void TLogPanel::ShowMessage(qsizetype Index) {
    if (Index < 0 || Index >= LineCount())
        return;
    const qsizetype Start = LineStart(Index);
    Select(Start, Start + FLines.At(Index).size());
    ShowLine(Index);
}

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
    const auto [Start, End] = FLines.WordAt(Position);
    SetSelection(Start, End);
    // The release that follows must not turn the word back into a caret.
    FSelecting = false;
}

void TLogPanel::contextMenuEvent(QContextMenuEvent* Event) {
    // A right click with nothing selected puts the caret on the message clicked, for the
    // actions that read it; a selection stays for «Копировать».
    if (Event->reason() == QContextMenuEvent::Mouse && !HasSelection() &&
        viewport()->rect().contains(Event->pos())) {
        const TPosition At = PositionAt(Event->pos(), true);
        SetSelection(At, At);
    }
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

} // namespace sm
