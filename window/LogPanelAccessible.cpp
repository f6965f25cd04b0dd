#include "window/LogPanelAccessible.h"

#include "window/ControlsAccessible.h"
#include "window/LogPanel.h"

#include <QAccessibleWidget>

namespace sm {

namespace {

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

} // namespace

QAccessibleInterface* LogPanelAccessibility(const QString& Class, QObject* Object) {
    if (IsClass<TLogPanel>(Class))
        return new TLogPanelAccessible(static_cast<TLogPanel*>(Object));
    return nullptr;
}

} // namespace sm
