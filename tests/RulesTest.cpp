#include "slotmachine/Rules.h"
#include "slotmachine/Random.h"

#include <QTest>

using namespace sm;

class RulesTest : public QObject {
    Q_OBJECT

private slots:
    void win_data();
    void win();
    void winDistributionOverAllTriples();
    void snapping_data();
    void snapping();
    void everySpinFrameSnapsOntoItsSymbol();
    void spinCycleSkipsFrameZero();
    void generator_data();
    void generator();
};

void RulesTest::win_data() {
    QTest::addColumn<int>("s1");
    QTest::addColumn<int>("s2");
    QTest::addColumn<int>("s3");
    QTest::addColumn<int>("stake");
    QTest::addColumn<int>("win");
    // Worked examples with a stake of 3.
    QTest::newRow("777") << 7 << 7 << 7 << 3 << 30;
    QTest::newRow("555") << 5 << 5 << 5 << 3 << 15;
    QTest::newRow("234") << 2 << 3 << 4 << 3 << 21;
    QTest::newRow("828") << 8 << 2 << 8 << 3 << 12;
    QTest::newRow("114") << 1 << 1 << 4 << 3 << 12;
    QTest::newRow("712") << 7 << 1 << 2 << 3 << 4;
    QTest::newRow("912") << 9 << 1 << 2 << 3 << 1;
    QTest::newRow("321 is no combination") << 3 << 2 << 1 << 3 << 1;
    QTest::newRow("213") << 2 << 1 << 3 << 3 << 0;
    QTest::newRow("456 is not the fifth combination") << 4 << 5 << 6 << 3 << 0;
    // One of each rule at other stakes.
    QTest::newRow("777 stake 1") << 7 << 7 << 7 << 1 << 10;
    QTest::newRow("678") << 6 << 7 << 8 << 2 << 14;
    QTest::newRow("789 first on 7") << 7 << 8 << 9 << 2 << 3;
    QTest::newRow("567 first odd") << 5 << 6 << 7 << 2 << 1;
    QTest::newRow("451") << 4 << 5 << 1 << 2 << 14;
    QTest::newRow("145") << 1 << 4 << 5 << 2 << 1;
    QTest::newRow("121 pair outside") << 1 << 2 << 1 << 2 << 8;
    QTest::newRow("252") << 2 << 5 << 2 << 2 << 8;
    QTest::newRow("997") << 9 << 9 << 7 << 2 << 8;
    QTest::newRow("377") << 3 << 7 << 7 << 2 << 8;
    QTest::newRow("7 alone stake 5") << 7 << 1 << 3 << 5 << 6;
    QTest::newRow("812 nothing") << 8 << 1 << 2 << 5 << 0;
}

void RulesTest::win() {
    QFETCH(int, s1);
    QFETCH(int, s2);
    QFETCH(int, s3);
    QFETCH(int, stake);
    QFETCH(int, win);
    QCOMPARE(WinFor(s1, s2, s3, stake), win);
}

void RulesTest::winDistributionOverAllTriples() {
    // With a stake of 1000 every rule pays a different amount.
    QMap<int, int> Count;
    for (int S1 = 1; S1 <= 9; ++S1)
        for (int S2 = 1; S2 <= 9; ++S2)
            for (int S3 = 1; S3 <= 9; ++S3)
                ++Count[WinFor(S1, S2, S3, 1000)];
    const QMap<int, int> Expected = {{10000, 1}, {5000, 8}, {7000, 5}, {4000, 216},
                                     {1001, 56}, {1, 222},  {0, 221}};
    QCOMPARE(Count, Expected);
}

void RulesTest::snapping_data() {
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("symbol");
    QTest::addColumn<int>("snap");
    QTest::newRow("0 like 60") << 0 << 1 << 60;
    QTest::newRow("1") << 1 << 1 << 60;
    QTest::newRow("3") << 3 << 1 << 60;
    QTest::newRow("4") << 4 << 2 << 7;
    QTest::newRow("10") << 10 << 2 << 7;
    QTest::newRow("11") << 11 << 3 << 14;
    QTest::newRow("16") << 16 << 3 << 14;
    QTest::newRow("17") << 17 << 4 << 21;
    QTest::newRow("23") << 23 << 4 << 21;
    QTest::newRow("24") << 24 << 5 << 27;
    QTest::newRow("30") << 30 << 5 << 27;
    QTest::newRow("31") << 31 << 6 << 34;
    QTest::newRow("37") << 37 << 6 << 34;
    QTest::newRow("38") << 38 << 7 << 40;
    QTest::newRow("42") << 42 << 7 << 40;
    QTest::newRow("43 stays a 7") << 43 << 7 << 40;
    QTest::newRow("44") << 44 << 8 << 47;
    QTest::newRow("49") << 49 << 8 << 47;
    QTest::newRow("50") << 50 << 9 << 54;
    QTest::newRow("56") << 56 << 9 << 54;
    QTest::newRow("57") << 57 << 1 << 60;
    QTest::newRow("60") << 60 << 1 << 60;
}

void RulesTest::snapping() {
    QFETCH(int, frame);
    QFETCH(int, symbol);
    QFETCH(int, snap);
    QCOMPARE(SymbolOfFrame(frame), symbol);
    QCOMPARE(SnapFrameOf(symbol), snap);
}

void RulesTest::everySpinFrameSnapsOntoItsSymbol() {
    for (int Frame = 1; Frame <= 60; ++Frame) {
        const int Symbol = SymbolOfFrame(Frame);
        QVERIFY(Symbol >= 1 && Symbol <= 9);
        const int Snap = SnapFrameOf(Symbol);
        QCOMPARE(SymbolOfFrame(Snap), Symbol); // snapping again moves nothing
        QVERIFY2(std::abs(Snap - Frame) <= 4 || Symbol == 1, qPrintable(QString::number(Frame)));
    }
}

void RulesTest::spinCycleSkipsFrameZero() {
    QCOMPARE(NextSpinFrame(60), 1);
    QCOMPARE(NextSpinFrame(59), 60);
    int Frame = 40;
    for (int Tick = 0; Tick < 60; ++Tick) {
        Frame = NextSpinFrame(Frame);
        QVERIFY(Frame >= 1 && Frame <= 60);
    }
    QCOMPARE(Frame, 40);
}

void RulesTest::generator_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<QList<int>>("ranges");
    QTest::addColumn<QList<int>>("draws");
    QTest::addColumn<uint>("finalSeed");
    // seed := seed * 134775813 + 1; draw := (seed * range) >> 32
    QTest::newRow("zero") << 0u << QList<int>{1000, 1000, 1000, 1000, 1000, 1000}
                          << QList<int>{0, 31, 861, 202, 272, 671} << 2884733762u;
    QTest::newRow("mixed ranges") << 123456789u << QList<int>{1000, 1000, 10, 1, 7}
                                  << QList<int>{543, 395, 3, 0, 5} << 3478552678u;
}

void RulesTest::generator() {
    QFETCH(uint, seed);
    QFETCH(QList<int>, ranges);
    QFETCH(QList<int>, draws);
    QFETCH(uint, finalSeed);
    TRandom Generator{seed};
    QList<int> Actual;
    for (const int Range : ranges)
        Actual << Generator.Random(Range);
    QCOMPARE(Actual, draws);
    QCOMPARE(uint(Generator.RandSeed), finalSeed);
}

QTEST_GUILESS_MAIN(RulesTest)
#include "RulesTest.moc"
