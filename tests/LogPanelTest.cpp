#include "window/LogPanel.h"

#include "slotmachine/WindowFont.h"
#include "tests/PaintCounter.h"
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QMenu>
#include <QScrollBar>

#include <QTest>

#include <memory>

using namespace sm;

namespace {

QFont PanelFont(int Pixels = WindowFontPixels) {
    QFont Font(QString::fromLatin1(WindowFontFamily));
    Font.setPixelSize(Pixels);
    return Font;
}

// Messages like the automata write, 60 to 150 characters.
QString Message(int Index) {
    static const QString Names[] = {QStringLiteral("Игровая машина"),
                                    QStringLiteral("Монетоприемник"),
                                    QStringLiteral("Игровые барабаны")};
    static const QString States[] = {QStringLiteral("Ожидание"), QStringLiteral("Прием жетонов"),
                                     QStringLiteral("Барабаны запущены")};
    const int A = Index % 3;
    return QStringLiteral("Автомат A%1 \"%2\" запущен в состоянии %3 \"%4\" с событием e%5 "
                          "\"Опущен жетон\"")
        .arg(A)
        .arg(Names[A])
        .arg(Index % 3)
        .arg(States[(Index / 3) % 3])
        .arg(10 + Index % 7);
}

void AppendMessages(TLogPanel& Panel, int Count, int From = 0, int Repeat = 1) {
    const QString Stamp = QStringLiteral("09.03.2026 19:05:03:");
    for (int I = From; I < From + Count; ++I) {
        Panel.AppendLine(Stamp);
        QString Text = Message(I);
        for (int R = 1; R < Repeat; ++R)
            Text += u' ' + Message(I + R);
        Panel.AppendLine(Text);
        Panel.AppendLine(QString());
    }
}

std::unique_ptr<TLogPanel> MakePanel(QSize Size = {353, 289}) {
    auto Panel = std::make_unique<TLogPanel>();
    Panel->setFont(PanelFont());
    Panel->resize(Size);
    return Panel;
}

bool ShowPanel(TLogPanel& Panel) {
    Panel.show();
    return QTest::qWaitForWindowExposed(&Panel);
}

QImage Grab(TLogPanel& Panel) {
    return Panel.viewport()->grab().toImage();
}

// Anything but the white background inside the rectangle.
bool HasInk(const QImage& Image, const QRect& Rect) {
    const QRect Area = Rect.intersected(Image.rect());
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            if (Image.pixel(X, Y) != qRgb(255, 255, 255))
                return true;
    return false;
}

bool HasColour(const QImage& Image, QColor Colour) {
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) == Colour.rgb())
                return true;
    return false;
}

bool Inside(const QRect& Inner, const QRect& Outer) {
    return !Inner.isEmpty() && Outer.contains(Inner);
}

// Delivers the pending update requests, so a scheduled repaint happens now.
void Flush() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

int RowsOf(const TLogPanel& Panel, qsizetype Index) {
    return Panel.LineRect(Index).height() / QFontMetrics(Panel.font()).lineSpacing();
}

} // namespace

class LogPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    // Contents
    void linesKeptInOrder_data();
    void linesKeptInOrder();
    void clearStartsAnew();

    // Following the end
    void followsEnd_data();
    void followsEnd();
    void staysWhenScrolledUp_data();
    void staysWhenScrolledUp();
    void resumesFollowingAtEnd_data();
    void resumesFollowingAtEnd();
    void caretKeys_data();
    void caretKeys();
    void caretKeysOnAnEmptyPanel();

    // Wrapping and font
    void wrapsLongLines_data();
    void wrapsLongLines();
    void rowHeightFollowsFont_data();
    void rowHeightFollowsFont();

    // Selection and read-only
    void selectAllAndCopy_data();
    void selectAllAndCopy();
    void mouseSelects_data();
    void mouseSelects();
    void contextMenuCopiesAndSelectsAll();
    void selectionDrawnInHighlight();
    void typingChangesNothing_data();
    void typingChangesNothing();

    // Assistive technology
    void readsTextAndSelection_data();
    void readsTextAndSelection();
    void tellsNewMessagesAndSelection();
};

void LogPanelTest::init() {
    QGuiApplication::clipboard()->setText(QStringLiteral("<before>"));
}

void LogPanelTest::linesKeptInOrder_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("shown");
    const QStringList Protocol = {QStringLiteral("09.03.2026 19:05:03:"), Message(1), QString()};
    const QStringList Blanks = {QString(), QStringLiteral("a"), QString(),
                                QString(), QStringLiteral("b"), QString()};
    const QStringList Spaces = {QStringLiteral("  a  "), QStringLiteral("\tb"),
                                QStringLiteral(" ")};
    for (const bool Shown : {false, true}) {
        const char* Where = Shown ? "shown" : "hidden";
        QTest::addRow("none, %s", Where) << QStringList() << Shown;
        QTest::addRow("one empty line, %s", Where) << QStringList{QString()} << Shown;
        QTest::addRow("empty lines kept, %s", Where) << Blanks << Shown;
        QTest::addRow("protocol message, %s", Where) << Protocol << Shown;
        QTest::addRow("blanks kept, %s", Where) << Spaces << Shown;
    }
}

void LogPanelTest::linesKeptInOrder() {
    QFETCH(QStringList, lines);
    QFETCH(bool, shown);
    auto Panel = MakePanel();
    if (shown)
        QVERIFY(ShowPanel(*Panel));
    for (const QString& Line : lines)
        Panel->AppendLine(Line);
    QCOMPARE(Panel->LineCount(), lines.size());
    for (qsizetype I = 0; I < lines.size(); ++I)
        QCOMPARE(Panel->Line(I), lines[I]);
    QCOMPARE(Panel->Text(), lines.join(u'\n'));
    QCOMPARE(Panel->Line(-1), QString());
    QCOMPARE(Panel->Line(lines.size()), QString());
}

void LogPanelTest::clearStartsAnew() {
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    AppendMessages(*Panel, 60);
    QTest::keyClick(Panel.get(), Qt::Key_PageUp); // the reader puts the caret up there
    QVERIFY(!Panel->FollowsEnd());
    const QString Before = Panel->Text();
    QStringList Told;
    Panel->AccessibilityReceiver = [&Told](QAccessibleEvent* Event) {
        if (Event->type() == QAccessible::TextRemoved) {
            const auto* Removed = static_cast<QAccessibleTextRemoveEvent*>(Event);
            Told << QStringLiteral("remove %1 %2, caret %3")
                        .arg(Removed->changePosition())
                        .arg(Removed->textRemoved().size())
                        .arg(Removed->cursorPosition());
        }
    };
    Panel->Clear();
    QCOMPARE(Told, QStringList{QStringLiteral("remove 0 %1, caret 0").arg(Before.size())});
    QCOMPARE(Panel->LineCount(), 0);
    QCOMPARE(Panel->Text(), QString());
    QVERIFY(Panel->FollowsEnd());
    // The next session's messages are followed, the caret with them.
    AppendMessages(*Panel, 60);
    Flush();
    QScrollBar* Bar = Panel->verticalScrollBar();
    QCOMPARE(Bar->value(), Bar->maximum());
    QCOMPARE(Panel->CaretOffset(), Panel->CharacterCount());
    QVERIFY(Inside(Panel->LineRect(Panel->LineCount() - 1), Panel->viewport()->rect()));
}

void LogPanelTest::followsEnd_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("repeat"); // texts per message: longer messages wrap into more rows
    for (const int Messages : {3, 40, 2000}) {
        for (const int Repeat : {1, 5}) {
            for (const char* How : {"appended while shown", "appended before the first show",
                                    "appended while hidden", "panel made shorter",
                                    "panel made taller", "panel made narrower", "panel made wider"})
                QTest::addRow("%s, %d messages of %d texts", How, Messages, Repeat)
                    << QString::fromLatin1(How) << Messages << Repeat;
        }
    }
}

void LogPanelTest::followsEnd() {
    QFETCH(QString, how);
    QFETCH(int, messages);
    QFETCH(int, repeat);
    auto Panel = MakePanel();
    if (how == "appended before the first show") {
        AppendMessages(*Panel, messages, 0, repeat);
        QVERIFY(ShowPanel(*Panel));
    } else if (how == "appended while hidden") {
        QVERIFY(ShowPanel(*Panel));
        AppendMessages(*Panel, 2);
        Panel->hide();
        AppendMessages(*Panel, messages, 2, repeat);
        QVERIFY(ShowPanel(*Panel));
    } else {
        if (how == "panel made taller")
            Panel->resize(353, 100);
        if (how == "panel made wider")
            Panel->resize(150, 289);
        QVERIFY(ShowPanel(*Panel));
        AppendMessages(*Panel, messages, 0, repeat);
        if (how == "panel made shorter")
            Panel->resize(353, 90);
        if (how == "panel made taller" || how == "panel made wider")
            Panel->resize(353, 289);
        if (how == "panel made narrower")
            Panel->resize(160, 289);
    }
    Flush();
    const QScrollBar* Bar = Panel->verticalScrollBar();
    QVERIFY(Panel->FollowsEnd());
    QCOMPARE(Bar->value(), Bar->maximum());
    if (messages > 10)
        QVERIFY(Bar->maximum() > 0);
    // The last line (empty) is whole in view; the last message above it is drawn, whole if
    // both fit.
    const QRect View = Panel->viewport()->rect();
    const int RowHeight = QFontMetrics(Panel->font()).lineSpacing();
    const qsizetype Last = Panel->LineCount() - 1;
    QVERIFY(Inside(Panel->LineRect(Last), View));
    const QRect MessageRect = Panel->LineRect(Last - 1);
    QCOMPARE(MessageRect.bottom() + 1, Panel->LineRect(Last).top());
    if (MessageRect.height() + RowHeight < View.height())
        QVERIFY(Inside(MessageRect, View));
    QVERIFY(HasInk(Grab(*Panel), MessageRect));
    // The end sits at the bottom: less than one row of space is left below it.
    if (Bar->maximum() > 0)
        QVERIFY(View.bottom() - Panel->LineRect(Last).bottom() < RowHeight);
}

void LogPanelTest::staysWhenScrolledUp_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("page up") << int(Qt::Key_PageUp);
    QTest::newRow("caret to the start") << (Qt::ControlModifier | Qt::Key_Home).toCombined();
    QTest::newRow("scroll bar moved") << 0;
    QTest::newRow("wheel") << -1;
}

void LogPanelTest::staysWhenScrolledUp() {
    QFETCH(int, key);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    TPaintCounter Counter(Panel->viewport());
    AppendMessages(*Panel, 100);
    Flush();
    // Following the end repaints, once for the whole burst.
    QVERIFY(Counter.Paints > 0);
    QVERIFY(Counter.Paints <= 2);

    QScrollBar* Bar = Panel->verticalScrollBar();
    if (key > 0) {
        const QKeyCombination Key = QKeyCombination::fromCombined(key);
        QTest::keyClick(Panel.get(), Key.key(), Key.keyboardModifiers());
    } else if (key == 0) {
        Bar->setValue(Bar->maximum() / 2);
    } else {
        const QPoint Centre = Panel->viewport()->rect().center();
        QWheelEvent Wheel(Centre, Panel->viewport()->mapToGlobal(Centre), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(Panel->viewport(), &Wheel);
    }
    Flush();
    QVERIFY(!Panel->FollowsEnd());
    const int Top = Bar->value();
    const int Maximum = Bar->maximum();
    QVERIFY(Top < Maximum);
    const QRect TopRect = Panel->LineRect(Top);
    QVERIFY(!TopRect.isEmpty());
    const QImage Before = Grab(*Panel);

    Counter.Paints = 0;
    AppendMessages(*Panel, 30, 100);
    Flush();
    QCOMPARE(Bar->value(), Top);
    QVERIFY(Bar->maximum() > Maximum);
    QVERIFY(!Panel->FollowsEnd());
    QCOMPARE(Panel->LineRect(Top), TopRect);
    QCOMPARE(Counter.Paints, 0);
    QCOMPARE(Grab(*Panel), Before);
}

void LogPanelTest::resumesFollowingAtEnd_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("caret to the end") << "caret to the end";
    QTest::newRow("page down keys") << "page down keys";
    QTest::newRow("arrow down keys") << "arrow down keys";
    QTest::newRow("scroll bar to the bottom") << "scroll bar to the bottom";
}

void LogPanelTest::resumesFollowingAtEnd() {
    QFETCH(QString, how);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    AppendMessages(*Panel, 60);
    QScrollBar* Bar = Panel->verticalScrollBar();
    for (int I = 0; I < 3; ++I)
        QTest::keyClick(Panel.get(), Qt::Key_PageUp);
    QVERIFY(!Panel->FollowsEnd());

    if (how == "caret to the end") {
        QTest::keyClick(Panel.get(), Qt::Key_End, Qt::ControlModifier);
    } else if (how == "scroll bar to the bottom") {
        Bar->setValue(Bar->maximum());
    } else {
        const Qt::Key Key = how == "page down keys" ? Qt::Key_PageDown : Qt::Key_Down;
        for (int I = 0; I < 1000 && Bar->value() < Bar->maximum(); ++I)
            QTest::keyClick(Panel.get(), Key);
    }
    QVERIFY(Panel->FollowsEnd());
    AppendMessages(*Panel, 20, 60);
    Flush();
    QCOMPARE(Bar->value(), Bar->maximum());
    const qsizetype Last = Panel->LineCount() - 1;
    QVERIFY(Inside(Panel->LineRect(Last), Panel->viewport()->rect()));
    QVERIFY(HasInk(Grab(*Panel), Panel->LineRect(Last - 1)));
}

void LogPanelTest::caretKeys_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("line");   // from the end when negative: -1 is the last line
    QTest::addColumn<int>("column"); // -1: any, -2: the line's end
    QTest::addColumn<bool>("viewAtEnd");
    QTest::addColumn<bool>("selected");
    const int Shift = Qt::ShiftModifier, Control = Qt::ControlModifier;
    QTest::newRow("left") << QList<int>{Qt::Key_Left} << -2 << -2 << true << false;
    QTest::newRow("up") << QList<int>{Qt::Key_Up} << -2 << -1 << true << false;
    QTest::newRow("left, home") << QList<int>{Qt::Key_Left, Qt::Key_Home} << -2 << 0 << true
                                << false;
    QTest::newRow("shift+up") << QList<int>{Shift | Qt::Key_Up} << -2 << -1 << true << true;
    QTest::newRow("ctrl+home") << QList<int>{Control | Qt::Key_Home} << 0 << 0 << false << false;
    QTest::newRow("ctrl+home, right, shift+down")
        << QList<int>{Control | Qt::Key_Home, Qt::Key_Right, Shift | Qt::Key_Down} << 1 << -1
        << false << true;
    QTest::newRow("page up, ctrl+end")
        << QList<int>{Qt::Key_PageUp, Control | Qt::Key_End} << -1 << 0 << true << false;
}

void LogPanelTest::caretKeys() {
    QFETCH(QList<int>, keys);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(bool, viewAtEnd);
    QFETCH(bool, selected);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    Panel->setFocus();
    AppendMessages(*Panel, 50);
    int Told = -1;
    Panel->AccessibilityReceiver = [&Told](QAccessibleEvent* Event) {
        if (Event->type() == QAccessible::TextCaretMoved)
            Told = static_cast<QAccessibleTextCursorEvent*>(Event)->cursorPosition();
    };
    const QString Before = Panel->Text();
    const qsizetype End = Panel->CharacterCount();
    for (const int Key : keys) {
        const QKeyCombination Combination = QKeyCombination::fromCombined(Key);
        QTest::keyClick(Panel.get(), Combination.key(), Combination.keyboardModifiers());
    }
    const qsizetype Caret = Panel->CaretOffset();
    const qsizetype Line = Panel->LineAt(Caret);
    QCOMPARE(Panel->Text(), Before);
    QCOMPARE(Line, line < 0 ? Panel->LineCount() + line : line);
    if (column != -1)
        QCOMPARE(Caret - Panel->LineStart(Line),
                 column == -2 ? Panel->Line(Line).size() : qsizetype(column));
    const QScrollBar* Bar = Panel->verticalScrollBar();
    QCOMPARE(Bar->value() == Bar->maximum(), viewAtEnd);
    // The view keeps the caret in sight, drawn in the text's colour.
    const QRect At = Panel->CharacterRect(Caret);
    QVERIFY(!At.isEmpty());
    QCOMPARE(Panel->viewport()->grab().toImage().pixelColor(At.left(), At.center().y()),
             Panel->palette().color(QPalette::Text));
    QCOMPARE(Panel->HasSelection(), selected);
    if (selected) // from where the caret was to where it is
        QVERIFY(Panel->SelectionOffsets() == std::pair(Caret, End) ||
                Panel->SelectionOffsets() == std::pair(qsizetype(1), Caret));
    QCOMPARE(Told, int(Caret));
}

void LogPanelTest::caretKeysOnAnEmptyPanel() {
    // Nothing to move over: every key leaves the caret at the start, with nothing selected.
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    Panel->setFocus();
    for (const Qt::Key Key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_End, Qt::Key_Home, Qt::Key_Down,
                              Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Up})
        for (const Qt::KeyboardModifiers Modifiers : {Qt::NoModifier, Qt::ShiftModifier}) {
            QTest::keyClick(Panel.get(), Key, Modifiers);
            QCOMPARE(Panel->CaretOffset(), 0);
            QVERIFY(!Panel->HasSelection());
        }
}

void LogPanelTest::wrapsLongLines_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("slack"); // rows beyond the fewest possible that wrapping may waste
    const QString Words = Message(0) + u' ' + Message(1) + u' ' + Message(2);
    const QString OneWord = QString(240, u'Ж');
    for (const int Width : {353, 150}) {
        QTest::addRow("words, %d px", Width) << Words << Width << 6;
        // Broken anywhere, a word wastes less than a letter per row.
        QTest::addRow("one long word, %d px", Width) << OneWord << Width << 1;
    }
}

void LogPanelTest::wrapsLongLines() {
    QFETCH(QString, line);
    QFETCH(int, width);
    QFETCH(int, slack);
    auto Panel = MakePanel({width, 289});
    QVERIFY(ShowPanel(*Panel));
    Panel->AppendLine(QStringLiteral("first"));
    Panel->AppendLine(line);
    Panel->AppendLine(QStringLiteral("last"));
    QVERIFY(!Panel->horizontalScrollBar()->isVisible());

    const QRect Rect = Panel->LineRect(1);
    QVERIFY(Rect.right() < Panel->viewport()->width());
    const int Advance = QFontMetrics(Panel->font()).horizontalAdvance(line);
    const int Fewest = (Advance + Rect.width() - 1) / Rect.width();
    const int Rows = RowsOf(*Panel, 1);
    QVERIFY(Fewest >= 2);
    QVERIFY2(Rows >= Fewest && Rows <= Fewest + slack,
             qPrintable(QStringLiteral("%1 rows, at least %2").arg(Rows).arg(Fewest)));
    // The rows are drawn: the last one holds text too, and the next line starts below.
    const int RowHeight = QFontMetrics(Panel->font()).lineSpacing();
    const QImage Image = Grab(*Panel);
    QVERIFY(
        HasInk(Image, QRect(Rect.left(), Rect.bottom() - RowHeight + 1, Rect.width(), RowHeight)));
    QCOMPARE(Panel->LineRect(2).top(), Rect.bottom() + 1);

    // Wider, the same line takes fewer rows.
    Panel->resize(width * 2, 289);
    QVERIFY(RowsOf(*Panel, 1) < Rows);
    QVERIFY(!Panel->horizontalScrollBar()->isVisible());
}

void LogPanelTest::rowHeightFollowsFont_data() {
    QTest::addColumn<int>("pixels");
    QTest::newRow("11 px") << 11;
    QTest::newRow("16 px") << 16;
    QTest::newRow("24 px") << 24;
}

void LogPanelTest::rowHeightFollowsFont() {
    QFETCH(int, pixels);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    AppendMessages(*Panel, 30);
    Panel->setFont(PanelFont(pixels));
    const QFontMetrics Metrics(Panel->font());
    const qsizetype Last = Panel->LineCount() - 1;
    QCOMPARE(Panel->LineRect(Last).height(), Metrics.lineSpacing());
    QCOMPARE(Panel->LineRect(Last - 2).height(), Metrics.lineSpacing());
    // Still at the end after the change.
    QVERIFY(Inside(Panel->LineRect(Last), Panel->viewport()->rect()));
    const int Advance = Metrics.horizontalAdvance(Panel->Line(Last - 1));
    QVERIFY(RowsOf(*Panel, Last - 1) >=
            (Advance + Panel->LineRect(Last).width() - 1) / Panel->LineRect(Last).width());
}

void LogPanelTest::selectAllAndCopy_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("shown");
    const QStringList Protocol = {QStringLiteral("09.03.2026 19:05:03:"), Message(2), QString(),
                                  QStringLiteral("09.03.2026 19:05:04:"), Message(3), QString()};
    QTest::newRow("protocol, shown") << Protocol << true;
    QTest::newRow("protocol, hidden") << Protocol << false;
    QTest::newRow("one line") << QStringList{QStringLiteral("abc")} << true;
    QTest::newRow("only empty lines") << QStringList{QString(), QString()} << true;
}

void LogPanelTest::selectAllAndCopy() {
    QFETCH(QStringList, lines);
    QFETCH(bool, shown);
    auto Panel = MakePanel();
    if (shown)
        QVERIFY(ShowPanel(*Panel));
    for (const QString& Line : lines)
        Panel->AppendLine(Line);
    QTest::keyClick(Panel.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Panel.get(), Qt::Key_C, Qt::ControlModifier);
    const QString Expected = lines.join(u'\n');
    QCOMPARE(Panel->SelectedText(), Expected);
    // Only empty lines: the text is one line break, still a selection to copy.
    QCOMPARE(QGuiApplication::clipboard()->text(), Expected);
}

void LogPanelTest::mouseSelects_data() {
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("fromLine");
    QTest::addColumn<int>("fromColumn");
    QTest::addColumn<int>("toLine"); // -1: below the last line
    QTest::addColumn<int>("toColumn");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("nudge"); // pixels added to the press point
    // Lines: "alpha beta gamma", "", "delta epsilon"
    QTest::newRow("drag within a line") << "drag" << 0 << 6 << 0 << 10 << "beta" << 0;
    QTest::newRow("drag backwards") << "drag" << 0 << 10 << 0 << 6 << "beta" << 0;
    QTest::newRow("drag across lines") << "drag" << 0 << 11 << 2 << 5 << "gamma\n\ndelta" << 0;
    QTest::newRow("drag below the last line") << "drag" << 2 << 6 << -1 << 0 << "epsilon" << 0;
    QTest::newRow("press without a drag") << "drag" << 0 << 3 << 0 << 3 << "" << 0;
    QTest::newRow("double click") << "double click" << 0 << 7 << 0 << 7 << "beta" << 0;
    QTest::newRow("double click last word") << "double click" << 2 << 8 << 2 << 8 << "epsilon" << 0;
    QTest::newRow("shift click extends")
        << "shift click" << 0 << 0 << 2 << 5 << "alpha beta gamma\n\ndelta" << 0;
    QTest::newRow("shift click backwards")
        << "shift click" << 2 << 5 << 0 << 6 << "beta gamma\n\ndelta" << 0;
    // On the right half of a word's last letter: still that word, not the blank after it.
    QTest::newRow("double click end of a word")
        << "double click" << 0 << 10 << 0 << 10 << "beta" << -2;
}

void LogPanelTest::mouseSelects() {
    QFETCH(QString, gesture);
    QFETCH(int, fromLine);
    QFETCH(int, fromColumn);
    QFETCH(int, toLine);
    QFETCH(int, toColumn);
    QFETCH(QString, expected);
    QFETCH(int, nudge);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    for (const char* Line : {"alpha beta gamma", "", "delta epsilon"})
        Panel->AppendLine(QString::fromLatin1(Line));
    const QFontMetrics Metrics(Panel->font());
    const auto PointOf = [&](int Line, int Column) {
        if (Line < 0)
            return QPoint(5, Panel->LineRect(Panel->LineCount() - 1).bottom() + 20);
        const QRect Rect = Panel->LineRect(Line);
        return QPoint(Rect.left() + Metrics.horizontalAdvance(Panel->Line(Line).left(Column)),
                      Rect.center().y());
    };
    QWidget* View = Panel->viewport();
    const QPoint From = PointOf(fromLine, fromColumn) + QPoint(nudge, 0);
    const QPoint To = PointOf(toLine, toColumn);
    if (gesture == "drag") {
        QTest::mousePress(View, Qt::LeftButton, {}, From);
        QTest::mouseMove(View, (From + To) / 2);
        QTest::mouseMove(View, To);
        QTest::mouseRelease(View, Qt::LeftButton, {}, To);
    } else if (gesture == "double click") {
        QTest::mouseDClick(View, Qt::LeftButton, {}, From);
    } else {
        QTest::mouseClick(View, Qt::LeftButton, {}, From);
        QTest::mouseClick(View, Qt::LeftButton, Qt::ShiftModifier, To);
    }
    QCOMPARE(Panel->SelectedText(), expected);
    QCOMPARE(Panel->HasSelection(), !expected.isEmpty());
    QTest::keyClick(Panel.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             expected.isEmpty() ? QStringLiteral("<before>") : expected);
}

void LogPanelTest::contextMenuCopiesAndSelectsAll() {
    auto Panel = MakePanel();
    AppendMessages(*Panel, 2);
    const auto ActionNamed = [](QMenu& Menu, const QString& Text) -> QAction* {
        for (QAction* Action : Menu.actions())
            if (Action->text() == Text)
                return Action;
        return nullptr;
    };
    std::unique_ptr<QMenu> Menu(Panel->CreateContextMenu(nullptr));
    QAction* CopyAction = ActionNamed(*Menu, QStringLiteral("Копировать"));
    QAction* AllAction = ActionNamed(*Menu, QStringLiteral("Выделить все"));
    QVERIFY(CopyAction && AllAction);
    QVERIFY(!CopyAction->isEnabled());
    QVERIFY(AllAction->isEnabled());
    AllAction->trigger();
    QCOMPARE(Panel->SelectedText(), Panel->Text());

    Menu.reset(Panel->CreateContextMenu(nullptr));
    CopyAction = ActionNamed(*Menu, QStringLiteral("Копировать"));
    QVERIFY(CopyAction && CopyAction->isEnabled());
    CopyAction->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), Panel->Text());
}

void LogPanelTest::selectionDrawnInHighlight() {
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    AppendMessages(*Panel, 3);
    const QColor Highlight = Panel->palette().color(QPalette::Highlight);
    QVERIFY(!HasColour(Grab(*Panel), Highlight));
    Panel->SelectAll();
    const QImage Selected = Grab(*Panel);
    // The message's text runs on a highlight background.
    const QRect FirstRow = Panel->LineRect(1).adjusted(
        0, 0, 0, -(Panel->LineRect(1).height() - QFontMetrics(Panel->font()).lineSpacing()));
    int Marked = 0;
    for (int X = FirstRow.left(); X <= FirstRow.right(); ++X)
        Marked += Selected.pixel(X, FirstRow.bottom()) == Highlight.rgb();
    QVERIFY2(Marked > FirstRow.width() / 2, qPrintable(QString::number(Marked)));
    // Empty lines inside the selection show their line break too.
    const QRect Empty = Panel->LineRect(2);
    bool EmptyMarked = false;
    for (int X = Empty.left(); X < Empty.left() + 3; ++X)
        EmptyMarked = EmptyMarked || Selected.pixel(X, Empty.center().y()) == Highlight.rgb();
    QVERIFY(EmptyMarked);
}

void LogPanelTest::typingChangesNothing_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("letter") << int(Qt::Key_X) << int(Qt::NoModifier);
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier);
    QTest::newRow("delete") << int(Qt::Key_Delete) << int(Qt::NoModifier);
    QTest::newRow("enter") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("paste") << int(Qt::Key_V) << int(Qt::ControlModifier);
    QTest::newRow("cut") << int(Qt::Key_X) << int(Qt::ControlModifier);
    QTest::newRow("undo") << int(Qt::Key_Z) << int(Qt::ControlModifier);
}

void LogPanelTest::typingChangesNothing() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    AppendMessages(*Panel, 3);
    const QString Before = Panel->Text();
    // Everything selected, so that an editor would replace it all.
    Panel->SelectAll();
    QTest::keyClick(Panel.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTest::keyClicks(Panel.get(), QStringLiteral("typed"));
    QCOMPARE(Panel->Text(), Before);
    QCOMPARE(Panel->LineCount(), 9);
}

void LogPanelTest::readsTextAndSelection_data() {
    QTest::addColumn<int>("anchor"); // -1: no selection
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("lines"); // before, at and after the caret
    // Lines start at 0, 11 (empty), 12, 24 and 32; the text ends at 41.
    QTest::newRow("no selection: caret at the end")
        << -1 << 41 << "" << QStringList{"epsilon\n", "eta theta", ""};
    QTest::newRow("within a line")
        << 12 << 17 << "gamma" << QStringList{"\n", "gamma delta\n", "epsilon\n"};
    QTest::newRow("backwards across lines")
        << 17 << 6 << "beta\n\ngamma" << QStringList{"", "alpha beta\n", "\n"};
    QTest::newRow("caret on an empty line")
        << 28 << 11 << "\ngamma delta\nepsi" << QStringList{"alpha beta\n", "\n", "gamma delta\n"};
    QTest::newRow("caret on a line break")
        << 24 << 31 << "epsilon" << QStringList{"gamma delta\n", "epsilon\n", "eta theta"};
}

void LogPanelTest::readsTextAndSelection() {
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(QString, selected);
    QFETCH(QStringList, lines);
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    for (const char* Line : {"alpha beta", "", "gamma delta", "epsilon", "eta theta"})
        Panel->AppendLine(QString::fromLatin1(Line));
    QAccessibleInterface* Accessible = QAccessible::queryAccessibleInterface(Panel.get());
    QVERIFY(Accessible && Accessible->textInterface() && Accessible->state().readOnly);
    QAccessibleTextInterface* Text = Accessible->textInterface();
    QCOMPARE(Accessible->text(QAccessible::Name), QStringLiteral("Протокол"));
    Panel->setAccessibleName(QStringLiteral("Журнал"));
    QCOMPARE(Accessible->text(QAccessible::Name), QStringLiteral("Журнал"));
    QCOMPARE(Text->characterCount(), 41);
    QCOMPARE(Text->text(0, 41), Panel->Text());

    if (anchor >= 0)
        Text->setSelection(0, anchor, caret);
    QCOMPARE(Panel->SelectedText(), selected);
    QCOMPARE(Text->selectionCount(), anchor >= 0 ? 1 : 0);
    int Start = -1;
    int End = -1;
    Text->selection(0, &Start, &End);
    QCOMPARE(Text->text(Start, End), selected);
    QCOMPARE(Text->cursorPosition(), caret);
    QStringList Read;
    for (const auto Query :
         {&QAccessibleTextInterface::textBeforeOffset, &QAccessibleTextInterface::textAtOffset,
          &QAccessibleTextInterface::textAfterOffset}) {
        Read << (Text->*Query)(caret, QAccessible::LineBoundary, &Start, &End);
        QCOMPARE(Text->text(Start, End), Read.back());
    }
    QCOMPARE(Read, lines);
    QCOMPARE(Text->offsetAtPoint(Text->characterRect(caret).center()), caret);
    Text->removeSelection(0);
    QVERIFY(!Panel->HasSelection());
}

void LogPanelTest::tellsNewMessagesAndSelection() {
    // Qt passes events on only while a screen reader runs, so the test takes them from the panel.
    QStringList Told;
    auto Panel = MakePanel();
    QVERIFY(ShowPanel(*Panel));
    Panel->AccessibilityReceiver = [&Told](QAccessibleEvent* Event) {
        QString Said = QStringLiteral("caret %1")
                           .arg(static_cast<QAccessibleTextCursorEvent*>(Event)->cursorPosition());
        if (Event->type() == QAccessible::TextInserted) {
            const auto* Inserted = static_cast<QAccessibleTextInsertEvent*>(Event);
            Said.prepend(QStringLiteral("insert %1 %2, ")
                             .arg(Inserted->changePosition())
                             .arg(Inserted->textInserted()));
        } else if (Event->type() == QAccessible::TextSelectionChanged) {
            const auto* Selected = static_cast<QAccessibleTextSelectionEvent*>(Event);
            Said.prepend(QStringLiteral("select %1-%2, ")
                             .arg(Selected->selectionStart())
                             .arg(Selected->selectionEnd()));
        }
        Told << Said;
    };
    QAccessibleTextInterface* Text =
        QAccessible::queryAccessibleInterface(Panel.get())->textInterface();
    QVERIFY(Text->characterRect(0).isEmpty()); // nothing to point at yet
    for (const char* Line : {"", "ab", "cd"})
        Panel->AppendLine(QString::fromLatin1(Line));
    Text->setSelection(0, 4, 1);
    Text->setSelection(0, 4, 1);
    // A new message leaves the caret where the reader is, once the reader has put it somewhere.
    Panel->AppendLine(QStringLiteral("ef"));
    QTest::mouseClick(Panel->viewport(), Qt::LeftButton, {}, Panel->LineRect(1).center());
    Panel->AppendLine(QString());
    const QStringList Expected = {"insert 0 \nab, caret 3",
                                  "insert 3 \ncd, caret 6",
                                  "select 1-4, caret 1",
                                  "caret 1",
                                  "insert 6 \nef, caret 1",
                                  "select 3-3, caret 3",
                                  "caret 3",
                                  "insert 9 \n, caret 3"};
    QCOMPARE(Told, Expected);
}

QTEST_MAIN(LogPanelTest)
#include "LogPanelTest.moc"
