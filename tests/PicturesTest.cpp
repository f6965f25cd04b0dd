#include "window/Pictures.h"
#include "slotmachine/Rules.h"
#include "tests/Pixels.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace sm;

namespace {

constexpr QRgb CoinBackground = qRgb(221, 220, 224);

QImage Resource(const QString& Name) {
    return QImage(QStringLiteral(":/pictures/") + Name).convertToFormat(QImage::Format_ARGB32);
}

QString Suffixed(const QString& Name, int Scale) {
    return Name + (Scale > 1 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
}

QImage BarrelFrame(int Scale, int Frame) {
    const QImage Strip = Resource(Suffixed(QStringLiteral("barrel"), Scale));
    return Strip.copy(0, Frame * 45 * Scale, 30 * Scale, 45 * Scale);
}

// Ink is what is much darker than the brightest drum in its row, so the drum's own shading
// (darker rows at the rims, darker sides) never counts as ink however the light is tuned.
QList<QList<bool>> Ink(const QImage& Frame) {
    QList<QList<bool>> Rows;
    for (int Y = 0; Y < Frame.height(); ++Y) {
        int Brightest = 0;
        for (int X = 0; X < Frame.width(); ++X)
            Brightest = std::max(Brightest, qGray(Frame.pixel(X, Y)));
        QList<bool> Row;
        for (int X = 0; X < Frame.width(); ++X)
            Row.append(qGray(Frame.pixel(X, Y)) < Brightest * 0.6);
        Rows.append(Row);
    }
    return Rows;
}

QList<int> InkPerRow(const QImage& Frame) {
    QList<int> Counts;
    for (const QList<bool>& Row : Ink(Frame))
        Counts.append(int(Row.count(true)));
    return Counts;
}

QRect InkBox(const QImage& Frame) {
    QRect Box;
    const QList<QList<bool>> Rows = Ink(Frame);
    for (int Y = 0; Y < Rows.size(); ++Y)
        for (int X = 0; X < Rows[Y].size(); ++X)
            if (Rows[Y][X])
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

// The upward shift (in pixels) that best carries the ink rows of Before onto those of After.
int UpwardShift(const QImage& Before, const QImage& After) {
    const QList<int> From = InkPerRow(Before);
    const QList<int> To = InkPerRow(After);
    const int Limit = int(From.size()) / 3;
    int Best = 0;
    double BestScore = std::numeric_limits<double>::max();
    for (int Shift = -Limit; Shift <= Limit; ++Shift) {
        double Sum = 0;
        int Rows = 0;
        for (int Y = 0; Y < To.size(); ++Y) {
            if (Y + Shift < 0 || Y + Shift >= From.size())
                continue;
            Sum += std::pow(To[Y] - From[Y + Shift], 2);
            ++Rows;
        }
        if (Sum / Rows < BestScore) {
            BestScore = Sum / Rows;
            Best = Shift;
        }
    }
    return Best;
}

QPixmap Coin(const QString& Name, qreal Ratio) {
    return Name == QLatin1String("token") ? TokenPixmap(Ratio) : BadTokenPixmap(Ratio);
}

double DistanceFromCoinCentre(int X, int Y, int Scale) {
    return std::hypot((X + 0.5) / Scale - 16, (Y + 0.5) / Scale - 16);
}

} // namespace

class PicturesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // The compiled-in files.
    void resourceHasItsSize_data();
    void resourceHasItsSize();
    void opaquePictureHasNoTransparency_data();
    void opaquePictureHasNoTransparency();
    void coinStandsOnItsGrey_data();
    void coinStandsOnItsGrey();

    // The loaders.
    void coinPixmapIsTransparentAroundTheCoin_data();
    void coinPixmapIsTransparentAroundTheCoin();
    void platePixmapHasItsSize_data();
    void platePixmapHasItsSize();
    void barrelFramesAreTheStripCut_data();
    void barrelFramesAreTheStripCut();
    void loadersReturnTheSamePicturesAgain();
    void applicationIconHasEverySize();

    // The barrel's drawing.
    void barrelDigitIsCentredAlone_data();
    void barrelDigitIsCentredAlone();
    void barrelTurnsUpward_data();
    void barrelTurnsUpward();
    void barrelFullTurnShowsTheFirstFrameAgain_data();
    void barrelFullTurnShowsTheFirstFrameAgain();

    // The generator.
    void generatorReproducesPicture_data();
    void generatorReproducesPicture();
    void generatorWritesNoOtherPicture();

private:
    QTemporaryDir FGenerated;
    QString FGeneratorError;
};

void PicturesTest::initTestCase() {
    // Run once; every picture is then compared on its own.
    QVERIFY(FGenerated.isValid());
    QProcess Generator;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Generator.setProcessEnvironment(Environment);
    Generator.start(QStringLiteral(MAKEPICTURES_PATH), {FGenerated.path()});
    if (!Generator.waitForFinished(60000) || Generator.exitStatus() != QProcess::NormalExit ||
        Generator.exitCode() != 0)
        FGeneratorError = QStringLiteral("generator failed: ") +
                          QString::fromLocal8Bit(Generator.readAllStandardError()) +
                          Generator.errorString();
}

void PicturesTest::resourceHasItsSize_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const struct {
        const char* Name;
        QSize Size;
    } Pictures[] = {{"token", {32, 32}},
                    {"badtoken", {32, 32}},
                    {"play", {64, 32}},
                    {"return", {64, 32}},
                    {"barrel", {30, 45 * 61}}};
    for (const auto& Picture : Pictures)
        for (const int Scale : {1, 2}) {
            const QString Name = Suffixed(QLatin1String(Picture.Name), Scale);
            QTest::newRow(qPrintable(Name)) << Name << Picture.Size * Scale;
        }
    QTest::newRow("icon.png") << "icon.png" << QSize(256, 256);
    for (const int Size : {32, 48, 64, 128}) {
        const QString Name = QStringLiteral("icon_%1.png").arg(Size);
        QTest::newRow(qPrintable(Name)) << Name << QSize(Size, Size);
    }
}

void PicturesTest::resourceHasItsSize() {
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage Image = Resource(name);
    QVERIFY2(!Image.isNull(), qPrintable(name));
    QCOMPARE(Image.size(), size);
}

void PicturesTest::opaquePictureHasNoTransparency_data() {
    QTest::addColumn<QString>("name");
    for (const char* Name : {"token", "badtoken", "play", "return", "barrel"})
        for (const int Scale : {1, 2}) {
            const QString File = Suffixed(QLatin1String(Name), Scale);
            QTest::newRow(qPrintable(File)) << File;
        }
}

void PicturesTest::opaquePictureHasNoTransparency() {
    QFETCH(QString, name);
    const QImage Image = Resource(name);
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            QVERIFY2(qAlpha(Image.pixel(X, Y)) == 255,
                     qPrintable(QStringLiteral("pixel %1,%2").arg(X).arg(Y)));
}

void PicturesTest::coinStandsOnItsGrey_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    for (const char* Name : {"token", "badtoken"})
        for (const int Scale : {1, 2})
            QTest::newRow(qPrintable(Suffixed(QLatin1String(Name), Scale)))
                << QString::fromLatin1(Name) << Scale;
}

void PicturesTest::coinStandsOnItsGrey() {
    QFETCH(QString, name);
    QFETCH(int, scale);
    const QImage Image = Resource(Suffixed(name, scale));
    const int Last = 32 * scale - 1;
    for (const QPoint Corner : {QPoint(0, Last), QPoint(0, 0), QPoint(Last, 0), QPoint(Last, Last)})
        QCOMPARE(Image.pixel(Corner), CoinBackground);
    // The window clears this grey everywhere, so none may sit on the coin itself.
    for (int Y = 0; Y <= Last; ++Y)
        for (int X = 0; X <= Last; ++X)
            if (DistanceFromCoinCentre(X, Y, scale) < 14)
                QVERIFY2(Image.pixel(X, Y) != CoinBackground,
                         qPrintable(QStringLiteral("pixel %1,%2").arg(X).arg(Y)));
}

void PicturesTest::coinPixmapIsTransparentAroundTheCoin_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("scale");
    for (const char* Name : {"token", "badtoken"}) {
        QTest::addRow("%s plain", Name) << QString::fromLatin1(Name) << 1.0 << 1;
        QTest::addRow("%s at 1.25", Name) << QString::fromLatin1(Name) << 1.25 << 2;
        QTest::addRow("%s double", Name) << QString::fromLatin1(Name) << 2.0 << 2;
    }
}

void PicturesTest::coinPixmapIsTransparentAroundTheCoin() {
    QFETCH(QString, name);
    QFETCH(qreal, ratio);
    QFETCH(int, scale);
    const QPixmap Pixmap = Coin(name, ratio);
    QCOMPARE(Pixmap.deviceIndependentSize(), QSizeF(32, 32));
    QCOMPARE(Pixmap.devicePixelRatio(), qreal(scale));
    const QImage Image = Pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(Image.size(), QSize(32, 32) * scale);
    QCOMPARE(qAlpha(Image.pixel(16 * scale, 16 * scale)), 255);
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X) {
            const double Distance = DistanceFromCoinCentre(X, Y, scale);
            const int Alpha = qAlpha(Image.pixel(X, Y));
            const QString Where = QStringLiteral("pixel %1,%2").arg(X).arg(Y);
            if (Distance > 16)
                QVERIFY2(Alpha == 0, qPrintable(Where));
            else if (Distance < 14)
                QVERIFY2(Alpha == 255, qPrintable(Where));
        }
}

void PicturesTest::platePixmapHasItsSize_data() {
    QTest::addColumn<bool>("play");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("scale");
    QTest::newRow("play plain") << true << 1.0 << 1;
    QTest::newRow("play double") << true << 2.0 << 2;
    QTest::newRow("return plain") << false << 1.0 << 1;
    QTest::newRow("return at 1.5") << false << 1.5 << 2;
}

void PicturesTest::platePixmapHasItsSize() {
    QFETCH(bool, play);
    QFETCH(qreal, ratio);
    QFETCH(int, scale);
    const QPixmap Pixmap = play ? PlayPixmap(ratio) : ReturnPixmap(ratio);
    QCOMPARE(Pixmap.deviceIndependentSize(), QSizeF(64, 32));
    QCOMPARE(Pixmap.devicePixelRatio(), qreal(scale));
    QVERIFY(!Pixmap.hasAlpha());
}

void PicturesTest::barrelFramesAreTheStripCut_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("scale");
    QTest::newRow("plain") << 1.0 << 1;
    QTest::newRow("double") << 2.0 << 2;
}

void PicturesTest::barrelFramesAreTheStripCut() {
    QFETCH(qreal, ratio);
    QFETCH(int, scale);
    const QList<QPixmap> Frames = BarrelFrames(ratio);
    QCOMPARE(Frames.size(), 61);
    for (int Frame = 0; Frame < Frames.size(); ++Frame) {
        QCOMPARE(Frames[Frame].deviceIndependentSize(), QSizeF(30, 45));
        QCOMPARE(Frames[Frame].devicePixelRatio(), qreal(scale));
        QCOMPARE(Frames[Frame].toImage().convertToFormat(QImage::Format_ARGB32),
                 BarrelFrame(scale, Frame));
    }
}

void PicturesTest::loadersReturnTheSamePicturesAgain() {
    // Cached: a hundred coins share one picture rather than decoding it a hundred times.
    QCOMPARE(TokenPixmap().cacheKey(), TokenPixmap().cacheKey());
    QCOMPARE(BadTokenPixmap().cacheKey(), BadTokenPixmap().cacheKey());
    QCOMPARE(BarrelFrames()[5].cacheKey(), BarrelFrames()[5].cacheKey());
    QVERIFY(TokenPixmap(1).cacheKey() != TokenPixmap(2).cacheKey());
    QCOMPARE(PlayPixmap().deviceIndependentSize(), QSizeF(64, 32));
    QCOMPARE(TokenPixmap().deviceIndependentSize(), QSizeF(32, 32));
}

void PicturesTest::applicationIconHasEverySize() {
    const QIcon Icon = ApplicationIcon();
    QVERIFY(!Icon.isNull());
    const QList<QSize> Sizes = Icon.availableSizes();
    for (const int Size : {32, 48, 64, 128, 256}) {
        QVERIFY2(Sizes.contains(QSize(Size, Size)), qPrintable(QString::number(Size)));
        QCOMPARE(Icon.pixmap(QSize(Size, Size), 1.0).size(), QSize(Size, Size));
    }
}

void PicturesTest::barrelDigitIsCentredAlone_data() {
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("scale");
    for (std::size_t Digit = 0; Digit < BarrelDigitFrames.size(); ++Digit)
        for (const int Scale : {1, 2})
            QTest::addRow("%d on frame %d, scale %d", int(Digit % 9 + 1), BarrelDigitFrames[Digit],
                          Scale)
                << BarrelDigitFrames[Digit] << Scale;
}

void PicturesTest::barrelDigitIsCentredAlone() {
    QFETCH(int, frame);
    QFETCH(int, scale);
    const QImage Frame = BarrelFrame(scale, frame);
    const QRect Box = InkBox(Frame);
    QVERIFY(!Box.isEmpty());
    const double CentreX = (Box.left() + Box.right() + 1) / 2.0;
    const double CentreY = (Box.top() + Box.bottom() + 1) / 2.0;
    QVERIFY2(std::abs(CentreX - 15 * scale) <= 1, qPrintable(QString::number(CentreX)));
    QVERIFY2(std::abs(CentreY - 22.5 * scale) <= 1, qPrintable(QString::number(CentreY)));
    // One digit: a single unbroken band of ink rows, well clear of the window's edges.
    const QList<int> Rows = InkPerRow(Frame);
    for (int Y = 0; Y < Rows.size(); ++Y) {
        const bool Inside = Y >= Box.top() && Y <= Box.bottom();
        QVERIFY2(Inside == (Rows[Y] > 0), qPrintable(QStringLiteral("row %1").arg(Y)));
    }
    QVERIFY(Box.top() >= 4 * scale);
    QVERIFY(Box.height() >= 20 * scale);
}

void PicturesTest::barrelTurnsUpward_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("scale");
    for (std::size_t Digit = 0; Digit + 1 < BarrelDigitFrames.size(); ++Digit)
        for (const int Scale : {1, 2})
            QTest::addRow("%d to %d, scale %d", int(Digit + 1), int(Digit + 2), Scale)
                << BarrelDigitFrames[Digit] << BarrelDigitFrames[Digit + 1] << Scale;
}

void PicturesTest::barrelTurnsUpward() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, scale);
    for (int Frame = from + 1; Frame <= to; ++Frame) {
        const int Shift = UpwardShift(BarrelFrame(scale, Frame - 1), BarrelFrame(scale, Frame));
        QVERIFY2(Shift > 0, qPrintable(QStringLiteral("frame %1 moved %2").arg(Frame).arg(Shift)));
    }
    // Between two centred digits both are seen in passing.
    int Bands = 0;
    const QList<int> Rows = InkPerRow(BarrelFrame(scale, (from + to) / 2));
    for (int Y = 0; Y < Rows.size(); ++Y)
        if (Rows[Y] > 0 && (Y == 0 || Rows[Y - 1] == 0))
            ++Bands;
    QCOMPARE(Bands, 2);
}

void PicturesTest::barrelFullTurnShowsTheFirstFrameAgain_data() {
    QTest::addColumn<int>("scale");
    QTest::newRow("plain") << 1;
    QTest::newRow("double") << 2;
}

void PicturesTest::barrelFullTurnShowsTheFirstFrameAgain() {
    QFETCH(int, scale);
    QCOMPARE(BarrelFrame(scale, 60), BarrelFrame(scale, 0));
    QVERIFY(BarrelFrame(scale, 59) != BarrelFrame(scale, 0));
}

void PicturesTest::generatorReproducesPicture_data() {
    QTest::addColumn<QString>("name");
    const QStringList Names =
        QDir(QStringLiteral(PICTURES_SOURCE_DIR)).entryList({QStringLiteral("*.png")});
    QVERIFY(Names.size() >= 15);
    for (const QString& Name : Names)
        QTest::newRow(qPrintable(Name)) << Name;
}

void PicturesTest::generatorReproducesPicture() {
    QFETCH(QString, name);
    QVERIFY2(FGeneratorError.isEmpty(), qPrintable(FGeneratorError));
    const QImage Committed = QImage(QDir(QStringLiteral(PICTURES_SOURCE_DIR)).filePath(name));
    const QImage Fresh = QImage(QDir(FGenerated.path()).filePath(name));
    QVERIFY(!Committed.isNull());
    QVERIFY2(!Fresh.isNull(), "the generator no longer draws it");
    // Another processor's vector code may round a blended pixel one unit the other way.
    QCOMPARE(Fresh.size(), Committed.size());
    const int Difference = LargestChannelDifference(Fresh, Committed);
    QVERIFY2(Difference <= 2, qPrintable(QStringLiteral("largest difference %1").arg(Difference)));
}

void PicturesTest::generatorWritesNoOtherPicture() {
    QVERIFY2(FGeneratorError.isEmpty(), qPrintable(FGeneratorError));
    const QStringList Pattern = {QStringLiteral("*.png")};
    QCOMPARE(QDir(FGenerated.path()).entryList(Pattern),
             QDir(QStringLiteral(PICTURES_SOURCE_DIR)).entryList(Pattern));
}

QTEST_MAIN(PicturesTest)
#include "PicturesTest.moc"
