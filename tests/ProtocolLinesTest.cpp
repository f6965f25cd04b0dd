#include "window/ProtocolLines.h"

#include <QTest>

using namespace sm;

class ProtocolLinesTest : public QObject {
    Q_OBJECT

private slots:
    void offsetsAndPositions_data();
    void offsetsAndPositions();
    void equalTextsShareStorage();
};

void ProtocolLinesTest::offsetsAndPositions_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    const QStringList Lines = {QStringLiteral("alpha beta"), QString(), QStringLiteral("gamma")};
    QTest::newRow("start") << Lines << 0 << 0 << 0;
    QTest::newRow("within a line") << Lines << 6 << 0 << 6;
    QTest::newRow("on a line break") << Lines << 10 << 0 << 10;
    QTest::newRow("empty line") << Lines << 11 << 1 << 0;
    QTest::newRow("last line") << Lines << 12 << 2 << 0;
    QTest::newRow("end") << Lines << 17 << 2 << 5;
    QTest::newRow("before the start") << Lines << -3 << 0 << 0;
    QTest::newRow("past the end") << Lines << 99 << 2 << 5;
    QTest::newRow("no lines") << QStringList() << 5 << 0 << 0;
}

void ProtocolLinesTest::offsetsAndPositions() {
    QFETCH(QStringList, lines);
    QFETCH(int, offset);
    QFETCH(int, line);
    QFETCH(int, column);
    TProtocolLines Lines;
    for (const QString& Each : lines)
        Lines.Append(Each);
    const QString Text = lines.join(u'\n');
    QCOMPARE(Lines.Text(), Text);
    QCOMPARE(Lines.CharacterCount(), Text.size());
    const TProtocolLines::TPosition Position = Lines.PositionOf(offset);
    QCOMPARE(Position, (TProtocolLines::TPosition{line, column}));
    QCOMPARE(Lines.LineAt(offset), line);
    const qsizetype Clamped = std::clamp<qsizetype>(offset, 0, Text.size());
    QCOMPARE(Lines.OffsetOf(Position), Clamped);
    QCOMPARE(Lines.LineStart(line) + column, Clamped);
    QCOMPARE(Lines.LineStart(Lines.Count()), Text.size());
    QCOMPARE(Lines.Text(offset, Text.size()), Text.mid(Clamped));
    QCOMPARE(Lines.Text(0, offset) + Lines.Text(offset, Text.size()), Text);
}

void ProtocolLinesTest::equalTextsShareStorage() {
    // Every message arrives as a new string; equal ones must not cost memory again.
    TProtocolLines Lines;
    for (int Pass = 0; Pass < 2; ++Pass)
        for (int Message = 5; Message < 7; ++Message) {
            Lines.Append(QStringLiteral("09.03.2026 19:05:03:"));
            Lines.Append(QStringLiteral("message %1").arg(Message));
            Lines.Append(QString());
        }
    QCOMPARE(Lines.Line(1), Lines.Line(7));
    QCOMPARE(Lines.Line(1).constData(), Lines.Line(7).constData());
    QCOMPARE(Lines.Line(4).constData(), Lines.Line(10).constData());
}

QTEST_GUILESS_MAIN(ProtocolLinesTest)
#include "ProtocolLinesTest.moc"
