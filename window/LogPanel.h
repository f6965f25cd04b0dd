#pragma once

#include "slotmachine/Protocol.h"
#include "window/ProtocolLines.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QKeySequence>
#include <QPoint>
#include <QRect>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

class QAccessibleEvent;
class QAction;
class QMenu;
class QTextLayout;

namespace sm {

// The window's protocol panel: read-only lines that only ever grow at the end, wrapped at the
// panel's width. It scrolls in whole lines (the scroll bar's value is the index of the top line)
// and lays out only the lines in view, so neither an append nor a paint depends on how many lines
// there are.
class TLogPanel : public QAbstractScrollArea, public TLineSink {
    Q_OBJECT

public:
    explicit TLogPanel(QWidget* Parent = nullptr);
    ~TLogPanel() override;

    void AppendLine(const QString& Line) override;
    // Empties the panel for a new session: no text, the caret at the end again.
    void Clear();
    // Held, it keeps the lines it is given without laying them out, so that a run of many inputs
    // at once lays out only what shows at its end; released, it shows what it would have.
    void Hold(bool Held);
    // Drops the lines from Count on, as a session that forked leaves them behind.
    void Truncate(qsizetype Count);
    // The lines from First on were written after the moment the machine went back to: they stay
    // readable, dimmed below a mark. -1: none, the machine is at its latest moment.
    void SetPresent(qsizetype First);
    qsizetype Present() const { return FPresent; }

    qsizetype LineCount() const;
    // An empty string for an index out of range.
    QString Line(qsizetype Index) const;
    QString Text() const;

    QString SelectedText() const;
    bool HasSelection() const;
    void SelectAll();
    void Copy() const;

    // Offsets count the characters of Text(), the line breaks included; assistive technology
    // reads the panel through them.
    qsizetype CharacterCount() const;
    QString Text(qsizetype Start, qsizetype End) const;
    // The line that holds the offset, its line break included; where a line starts (past the
    // last line, the end of the text).
    qsizetype LineAt(qsizetype Offset) const;
    qsizetype LineStart(qsizetype Index) const;
    // The keyboard caret, the selection's moving end; until the user puts it somewhere (a click,
    // a key, a selection), the end of the text, where messages arrive.
    qsizetype CaretOffset() const;
    // Start and end of the selection, in order; both the caret's offset without a selection.
    std::pair<qsizetype, qsizetype> SelectionOffsets() const;
    void Select(qsizetype Anchor, qsizetype Caret);
    // The character's box in viewport coordinates; empty when it is out of view.
    QRect CharacterRect(qsizetype Offset) const;
    // The character under a viewport point; -1 outside the viewport or without text.
    qsizetype OffsetAt(QPoint Point) const;

    // Qt hands accessibility events on only while a screen reader runs, which nothing public can
    // pretend; a test sets this to receive the panel's events itself.
    std::function<void(QAccessibleEvent*)> AccessibilityReceiver;

    // True while the view is at the end and keeps there as lines arrive.
    bool FollowsEnd() const;
    // Where the line's rows are drawn, in viewport coordinates (the top and bottom line may stick
    // out of the viewport); an empty rectangle when the line is out of view.
    QRect LineRect(qsizetype Index) const;
    // The line holding Text, counted from the end and passing over Skip such lines first; -1
    // when there is none.
    qsizetype FindFromEnd(const QString& Text, qsizetype Skip) const;
    // Selects the whole line and scrolls it into view, as a click on a chart's arrow asks.
    void ShowMessage(qsizetype Index);
    // The panel's own context menu; the caller owns it.
    QMenu* CreateContextMenu(QWidget* Parent);
    // An action of the window that the context menu offers after the panel's own.
    void AddMenuAction(QAction* Action);

protected:
    bool event(QEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    // The row height and the margins for the font.
    void Measure();
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void timerEvent(QTimerEvent* Event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery Query) const override;

private:
    using TPosition = TProtocolLines::TPosition;
    struct TLaidOut {
        std::unique_ptr<QTextLayout> Layout;
        int Rows = 1;
    };
    struct TPlaced {
        qsizetype Index;
        int Top;
        int Rows;
    };

    int WrapWidth() const;
    int TextHeight() const;
    void SyncLayoutWidth() const;
    const TLaidOut& LaidOut(const QString& Text) const;
    int RowsOf(qsizetype Index) const;
    void TrimLayouts() const;
    void RebuildTail();
    void UpdateScrollRange();
    void Relayout();
    std::vector<TPlaced> Placement() const;
    TPosition PositionAt(QPoint Point, bool OnCharacter) const;
    void DragTo(QPoint Point);
    void SetSelection(TPosition Anchor, TPosition Cursor);
    TPosition Caret() const;
    void MoveCaret(QKeySequence::StandardKey Move, bool Extend);
    TPosition RowsAway(TPosition From, int Rows) const;
    void ShowLine(qsizetype Index);
    // Someone receives accessibility events: a screen reader or a test.
    bool Listened() const;
    void Announce(QAccessibleEvent& Event);

    TProtocolLines FLines;

    struct THashText {
        std::size_t operator()(const QString& Text) const { return qHash(Text); }
    };
    // Layouts of the texts recently in view or at the end, for the current wrap width. Keyed by
    // text, since the same few messages come again and again.
    mutable std::unordered_map<QString, TLaidOut, THashText> FLayouts;
    mutable int FLayoutWidth = -1;
    int FRowHeight = 1;
    int FMarginX = 3; // around the text, as the font's size asks
    int FMarginY = 2;

    // The longest run of last lines that fits the viewport whole; its first index is the
    // scroll bar's maximum. Kept up to date per append while the panel is shown.
    std::deque<int> FTailRows;
    int FTailHeight = 0;
    qsizetype FTailFirst = 0;
    bool FTailValid = false;
    bool FHeld = false;

    bool FFollow = true;

    TPosition FAnchor;
    TPosition FCursor;
    bool FCaretPlaced = false;
    bool FSelecting = false;
    QPoint FDragPoint;
    QBasicTimer FAutoScroll;
    QList<QAction*> FMenuActions;
    qsizetype FPresent = -1;
};

} // namespace sm
