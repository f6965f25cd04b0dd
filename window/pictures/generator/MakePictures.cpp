// Draws every picture of window/pictures; run it again after changing a picture here.
//   QT_QPA_PLATFORM=offscreen makepictures <output folder>

#include "slotmachine/Rules.h"
#include "window/Pictures.h"

#include <QDir>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

using namespace sm;

namespace {

// The window later makes this colour transparent, so the coins must never use it.
constexpr QRgb CoinBackground = qRgb(221, 220, 224);

const QColor DarkBrown(64, 36, 8);
const QColor GoldLight(255, 243, 176);
const QColor Gold(234, 184, 58);
const QColor GoldDark(150, 98, 14);

// Fonts are asked for by name and checked, so the pictures never silently change with a fallback.
QFont OutlineFont(const QString& Family, bool Bold) {
    QFont Font(Family);
    Font.setPixelSize(200);
    Font.setWeight(Bold ? QFont::Bold : QFont::Normal);
    Font.setHintingPreference(QFont::PreferNoHinting);
    Font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::NoFontMerging));
    if (QFontInfo(Font).family() != Family)
        throw std::runtime_error("font missing: " + Family.toStdString());
    return Font;
}

QPainterPath TextPath(const QFont& Font, const QString& Text) {
    QPainterPath Path;
    Path.addText(0, 0, Font, Text);
    return Path;
}

// Scales the path to the given height (condensing it if it would be wider than MaxWidth) and
// centres its bounding box on Centre.
QPainterPath Fitted(const QPainterPath& Path, double Height, QPointF Centre,
                    double MaxWidth = 1e9) {
    const QRectF Box = Path.boundingRect();
    const double ScaleY = Height / Box.height();
    const double ScaleX = std::min(ScaleY, MaxWidth / Box.width());
    QTransform Move;
    Move.translate(Centre.x(), Centre.y());
    Move.scale(ScaleX, ScaleY);
    Move.translate(-Box.center().x(), -Box.center().y());
    return Move.map(Path);
}

QImage NewImage(int Width, int Height, int Scale, QImage::Format Format) {
    QImage Image(Width * Scale, Height * Scale, Format);
    Image.fill(Qt::transparent);
    return Image;
}

void BeginPainting(QPainter& Painter, int Scale) {
    Painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    Painter.scale(Scale, Scale);
}

// ---- Coins -----------------------------------------------------------------------------------

constexpr QPointF CoinCentre(16, 16);

void DrawCoinBody(QPainter& Painter) {
    Painter.setPen(Qt::NoPen);
    // A dark edge sets the coin off the light background.
    Painter.setBrush(DarkBrown);
    Painter.drawEllipse(CoinCentre, 15, 15);
    // The rim stands up and catches the light from the top left...
    QLinearGradient Rim(QPointF(6, 4), QPointF(26, 28));
    Rim.setColorAt(0, GoldLight);
    Rim.setColorAt(0.5, Gold);
    Rim.setColorAt(1, GoldDark);
    Painter.setBrush(Rim);
    Painter.drawEllipse(CoinCentre, 14.2, 14.2);
    // ...while the field is sunk, so its inner edge is lit the other way round.
    QLinearGradient Edge(QPointF(8, 6), QPointF(24, 26));
    Edge.setColorAt(0, GoldDark);
    Edge.setColorAt(1, GoldLight);
    Painter.setBrush(Edge);
    Painter.drawEllipse(CoinCentre, 11.8, 11.8);
    QRadialGradient Field(CoinCentre, 11, CoinCentre + QPointF(-3.5, -4));
    Field.setColorAt(0, QColor(255, 232, 140));
    Field.setColorAt(1, QColor(222, 164, 44));
    Painter.setBrush(Field);
    Painter.drawEllipse(CoinCentre, 10.9, 10.9);
}

// Struck lettering: a light lower-right edge under a dark face.
void DrawStruck(QPainter& Painter, const QPainterPath& Face) {
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(255, 246, 196));
    Painter.drawPath(Face.translated(0.6, 0.6));
    Painter.setBrush(QColor(112, 64, 4));
    Painter.drawPath(Face);
}

QImage Token(int Scale) {
    QImage Image = NewImage(32, 32, Scale, QImage::Format_RGB32);
    Image.fill(CoinBackground);
    QPainter Painter(&Image);
    BeginPainting(Painter, Scale);
    DrawCoinBody(Painter);
    const QFont Font = OutlineFont(QStringLiteral("DejaVu Serif"), true);
    DrawStruck(Painter, Fitted(TextPath(Font, QStringLiteral("5")), 14, CoinCentre));
    return Image;
}

QImage BadToken(int Scale) {
    QImage Image = NewImage(32, 32, Scale, QImage::Format_RGB32);
    Image.fill(CoinBackground);
    QPainter Painter(&Image);
    BeginPainting(Painter, Scale);
    DrawCoinBody(Painter);
    // A ring of beads tells this face from the good coin's at a glance.
    Painter.setBrush(QColor(150, 96, 12));
    constexpr int Beads = 24;
    for (int Bead = 0; Bead < Beads; ++Bead) {
        const double Angle = Bead * 2 * std::numbers::pi / Beads;
        Painter.drawEllipse(CoinCentre + 9.9 * QPointF(std::cos(Angle), std::sin(Angle)), 0.55,
                            0.55);
    }
    const QFont Font = OutlineFont(QStringLiteral("DejaVu Serif"), true);
    // The digit fixes the size; the small letter keeps its own proportion and sits on the line.
    const QPainterPath Digit = TextPath(Font, QStringLiteral("1"));
    const QPainterPath Whole = TextPath(Font, QStringLiteral("1р"));
    const double Scale1 = 10.0 / Digit.boundingRect().height();
    QTransform Move;
    Move.translate(CoinCentre.x() - Scale1 * Whole.boundingRect().center().x(),
                   CoinCentre.y() - Scale1 * Digit.boundingRect().center().y());
    Move.scale(Scale1, Scale1);
    DrawStruck(Painter, Move.map(Whole));
    return Image;
}

// ---- Plates ----------------------------------------------------------------------------------

QImage Plate(int Scale, const QColor& Light, const QColor& Dark, const QString& Word) {
    QImage Image = NewImage(64, 32, Scale, QImage::Format_RGB32);
    QPainter Painter(&Image);
    BeginPainting(Painter, Scale);
    Painter.fillRect(QRectF(0, 0, 64, 32), DarkBrown);
    // A bevelled gold frame: light above and left, dark below and right.
    QLinearGradient Frame(QPointF(0, 0), QPointF(12, 40));
    Frame.setColorAt(0, GoldLight);
    Frame.setColorAt(0.45, Gold);
    Frame.setColorAt(1, GoldDark);
    Painter.fillRect(QRectF(1, 1, 62, 30), Frame);
    const QRectF Field(3.5, 3.5, 57, 25);
    QLinearGradient Body(Field.topLeft(), Field.bottomLeft());
    Body.setColorAt(0, Light);
    Body.setColorAt(1, Dark);
    Painter.setPen(QPen(DarkBrown, 1));
    Painter.setBrush(Body);
    Painter.drawRoundedRect(Field, 2.5, 2.5);
    // A soft gloss over the upper half makes it read as a button.
    QLinearGradient Gloss(Field.topLeft(), QPointF(Field.left(), Field.center().y()));
    Gloss.setColorAt(0, QColor(255, 255, 255, 90));
    Gloss.setColorAt(1, QColor(255, 255, 255, 0));
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Gloss);
    Painter.drawRoundedRect(Field.adjusted(1, 1, -1, -Field.height() / 2), 1.5, 1.5);

    const QFont Font = OutlineFont(QStringLiteral("DejaVu Sans"), true);
    const QPainterPath Raw = TextPath(Font, Word);
    // Centre on the capitals, not on the box with the descender.
    const QPainterPath Capital = TextPath(Font, Word.left(1));
    const double Height = 12.5;
    const double ScaleY = Height / Capital.boundingRect().height();
    const double ScaleX = std::min(ScaleY, 50.0 / Raw.boundingRect().width());
    QTransform Move;
    Move.translate(32 - ScaleX * Raw.boundingRect().center().x(),
                   15.5 - ScaleY * Capital.boundingRect().center().y());
    Move.scale(ScaleX, ScaleY);
    const QPainterPath Letters = Move.map(Raw);
    Painter.strokePath(Letters, QPen(DarkBrown, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient Ink(QPointF(0, 9), QPointF(0, 22));
    Ink.setColorAt(0, GoldLight);
    Ink.setColorAt(0.55, QColor(246, 204, 84));
    Ink.setColorAt(1, QColor(214, 150, 30));
    Painter.fillPath(Letters, Ink);
    return Image;
}

// ---- Barrel ----------------------------------------------------------------------------------

// A window onto a drum shows it from 55 degrees above to 55 below the eye's level.
constexpr double HalfView = 55 * std::numbers::pi / 180;
const double DrumRadius = BarrelFrameHeight / 2.0 / std::sin(HalfView);
// Arc length between neighbour digits: wide enough that a centred digit shows alone.
constexpr double DigitPitch = 42;
// Height of a centred digit on screen; odd, so its top and bottom fall on pixel edges.
constexpr double DigitHeight = 25;

// Brightness of the drum where it faces the eye at Angle (radians, 0 straight ahead).
double DrumLight(double Angle) {
    const double Facing = std::pow(std::cos(Angle), 1.6);
    const double Shine = std::exp(-std::pow((Angle + 0.3) / 0.16, 2));
    const double Reflection = std::exp(-std::pow((Angle - 0.45) / 0.12, 2));
    return std::min(1.0, 0.26 + 0.56 * Facing + 0.2 * Shine + 0.06 * Reflection);
}

// A drum seen through Window, its axis horizontal: bands of light, darkest at the rims.
void DrawDrum(QPainter& Painter, const QRectF& Window, const QColor& Metal) {
    QLinearGradient Bands(Window.topLeft(), Window.bottomLeft());
    const double Radius = Window.height() / 2 / std::sin(HalfView);
    constexpr int Stops = 64;
    for (int Stop = 0; Stop <= Stops; ++Stop) {
        const double T = double(Stop) / Stops;
        const double Y = (T - 0.5) * Window.height();
        const double Light = DrumLight(std::asin(Y / Radius));
        Bands.setColorAt(T, QColor::fromRgbF(float(Metal.redF() * Light),
                                             float(Metal.greenF() * Light),
                                             float(Metal.blueF() * Light)));
    }
    Painter.fillRect(Window, Bands);
    // The window's edges shade the drum a little at its sides.
    for (const bool Left : {true, false}) {
        const double X0 = Left ? Window.left() : Window.right();
        const double X1 =
            Left ? Window.left() + Window.width() * 0.2 : Window.right() - Window.width() * 0.2;
        QLinearGradient Side(QPointF(X0, 0), QPointF(X1, 0));
        Side.setColorAt(0, QColor(0, 0, 0, 44));
        Side.setColorAt(1, QColor(0, 0, 0, 0));
        Painter.fillRect(Window, Side);
    }
}

// Lays a flat path (Y measured along the drum's surface from the window's centre line) onto the
// drum, as the eye sees it; points round the back are pressed onto the rim, out of sight.
QPainterPath OntoDrum(const QPainterPath& Flat, double Radius, double CentreY) {
    constexpr double Fine = 16; // flatten curves finely before bending them
    constexpr double Step = 0.1;
    QPainterPath Bent;
    Bent.setFillRule(Flat.fillRule());
    const auto Map = [&](QPointF Point) {
        const double Angle =
            std::clamp(Point.y() / Radius, -std::numbers::pi / 2, std::numbers::pi / 2);
        return QPointF(Point.x(), CentreY + Radius * std::sin(Angle));
    };
    for (const QPolygonF& Outline : Flat.toSubpathPolygons(QTransform::fromScale(Fine, Fine))) {
        QPolygonF Mapped;
        for (qsizetype Index = 0; Index < Outline.size(); ++Index) {
            const QPointF From = Outline[Index] / Fine;
            const QPointF To = Outline[(Index + 1) % Outline.size()] / Fine;
            const QPointF Delta = To - From;
            const int Pieces = std::max(1, int(std::ceil(std::hypot(Delta.x(), Delta.y()) / Step)));
            for (int Piece = 0; Piece < Pieces; ++Piece)
                Mapped.append(Map(From + Delta * (double(Piece) / Pieces)));
        }
        Bent.addPolygon(Mapped);
        Bent.closeSubpath();
    }
    return Bent;
}

// Where the drum stands on Frame, as the arc length turned since the 1 was centred.
double DrumTurn(int Frame) {
    for (std::size_t Digit = 0; Digit + 1 < BarrelDigitFrames.size(); ++Digit) {
        const int From = BarrelDigitFrames[Digit];
        const int To = BarrelDigitFrames[Digit + 1];
        if (Frame >= From && Frame <= To)
            return DigitPitch * (double(Digit) + double(Frame - From) / (To - From));
    }
    throw std::logic_error("frame out of range");
}

QImage Barrel(int Scale) {
    const QFont Font = OutlineFont(QStringLiteral("Liberation Serif"), true);
    // The flat height that the drum's curvature shows DigitHeight high on the centre line.
    const double FlatHeight = 2 * DrumRadius * std::asin(DigitHeight / 2 / DrumRadius);
    QList<QPainterPath> Digits;
    for (int Digit = 1; Digit <= 9; ++Digit)
        Digits.append(Fitted(TextPath(Font, QString::number(Digit)), FlatHeight,
                             QPointF(BarrelFrameWidth / 2.0, 0)));
    constexpr double Round = 9 * DigitPitch;
    const QRectF Window(0, 0, BarrelFrameWidth, BarrelFrameHeight);
    QImage Strip = NewImage(BarrelFrameWidth, BarrelFrameHeight * BarrelFrameCount, Scale,
                            QImage::Format_RGB32);
    QPainter StripPainter(&Strip);
    for (int Frame = 0; Frame < BarrelFrameCount; ++Frame) {
        // Each frame is drawn at the origin, so equal drum positions give equal pixels.
        QImage Image = NewImage(BarrelFrameWidth, BarrelFrameHeight, Scale, QImage::Format_RGB32);
        QPainter Painter(&Image);
        BeginPainting(Painter, Scale);
        DrawDrum(Painter, Window, QColor(234, 237, 244));
        const double Turn = DrumTurn(Frame);
        for (int Digit = 0; Digit < 9; ++Digit) {
            // The digit's place along the surface, taken the short way round.
            double Along = Digit * DigitPitch - Turn;
            while (Along > Round / 2)
                Along -= Round;
            while (Along <= -Round / 2)
                Along += Round;
            if (std::abs(Along) > DrumRadius * std::numbers::pi / 2 + FlatHeight)
                continue;
            Painter.fillPath(
                OntoDrum(Digits[Digit].translated(0, Along), DrumRadius, Window.center().y()),
                QColor(14, 14, 16));
        }
        Painter.end();
        StripPainter.drawImage(0, Frame * BarrelFrameHeight * Scale, Image);
    }
    return Strip;
}

// ---- Application icon ------------------------------------------------------------------------

QImage Icon(int Size) {
    QImage Image = NewImage(Size, Size, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter Painter(&Image);
    Painter.setRenderHints(QPainter::Antialiasing);
    Painter.scale(Size / 256.0, Size / 256.0);

    // Lever first, so the cabinet covers its foot.
    const QPointF Knob(232, 58);
    Painter.setPen(QPen(QColor(90, 90, 98), 10, Qt::SolidLine, Qt::RoundCap));
    Painter.drawLine(QPointF(222, 150), Knob);
    QLinearGradient Rod(QPointF(222, 0), QPointF(236, 0));
    Rod.setColorAt(0, QColor(250, 250, 255));
    Rod.setColorAt(1, QColor(150, 150, 160));
    Painter.setPen(QPen(QBrush(Rod), 6, Qt::SolidLine, Qt::RoundCap));
    Painter.drawLine(QPointF(222, 150), Knob);
    QRadialGradient Ball(Knob, 18, Knob + QPointF(-6, -7));
    Ball.setColorAt(0, QColor(255, 170, 160));
    Ball.setColorAt(0.35, QColor(228, 36, 36));
    Ball.setColorAt(1, QColor(120, 8, 12));
    Painter.setPen(QPen(QColor(70, 6, 8), 2));
    Painter.setBrush(Ball);
    Painter.drawEllipse(Knob, 17, 17);

    // The cabinet: a red plate with a gold border.
    const QRectF Cabinet(10, 36, 206, 190);
    QLinearGradient Border(Cabinet.topLeft(), Cabinet.bottomRight());
    Border.setColorAt(0, GoldLight);
    Border.setColorAt(0.5, Gold);
    Border.setColorAt(1, GoldDark);
    Painter.setPen(QPen(DarkBrown, 3));
    Painter.setBrush(Border);
    Painter.drawRoundedRect(Cabinet, 30, 30);
    const QRectF Front = Cabinet.adjusted(9, 9, -9, -9);
    QLinearGradient Red(Front.topLeft(), Front.bottomLeft());
    Red.setColorAt(0, QColor(222, 48, 52));
    Red.setColorAt(1, QColor(120, 10, 20));
    Painter.setPen(QPen(DarkBrown, 2));
    Painter.setBrush(Red);
    Painter.drawRoundedRect(Front, 22, 22);

    // Three barrels, each showing a red 7.
    const QRectF Panel(26, 76, 174, 108);
    Painter.setPen(QPen(GoldLight, 3));
    Painter.setBrush(QColor(36, 16, 16));
    Painter.drawRoundedRect(Panel, 10, 10);
    const QFont Font = OutlineFont(QStringLiteral("Liberation Serif"), true);
    const QPainterPath Seven = TextPath(Font, QStringLiteral("7"));
    // At least a whole pixel wide, so the sevens still stand out on the smallest icons.
    const double Outline = std::max(5.0, 256.0 / Size);
    for (int Barrel = 0; Barrel < 3; ++Barrel) {
        const QRectF Window(34 + Barrel * 54, 84, 50, 92);
        DrawDrum(Painter, Window, QColor(230, 232, 238));
        const QPainterPath Face = Fitted(Seven, 56, Window.center(), 40);
        Painter.setPen(QPen(QColor(60, 0, 4), Outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        Painter.setBrush(Qt::NoBrush);
        Painter.drawPath(Face);
        QLinearGradient Ink(Window.topLeft(), Window.bottomLeft());
        Ink.setColorAt(0, QColor(255, 80, 70));
        Ink.setColorAt(1, QColor(176, 8, 16));
        Painter.fillPath(Face, Ink);
    }
    // Gloss across the glass of the panel.
    QLinearGradient Glass(Panel.topLeft(), QPointF(Panel.left(), Panel.center().y()));
    Glass.setColorAt(0, QColor(255, 255, 255, 80));
    Glass.setColorAt(1, QColor(255, 255, 255, 0));
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(Glass);
    Painter.drawRoundedRect(Panel.adjusted(4, 4, -4, -Panel.height() / 2), 6, 6);

    // The coin slot under the barrels.
    Painter.setPen(QPen(GoldLight, 2));
    Painter.setBrush(QColor(24, 8, 8));
    Painter.drawRoundedRect(QRectF(88, 196, 50, 12), 6, 6);
    return Image;
}

void Save(const QImage& Image, const QDir& Folder, const QString& Name) {
    const QString Path = Folder.filePath(Name);
    if (!Image.save(Path, "PNG"))
        throw std::runtime_error("cannot write " + Path.toStdString());
}

void SaveBoth(QImage (*Draw)(int), const QDir& Folder, const QString& Name) {
    Save(Draw(1), Folder, Name + QStringLiteral(".png"));
    Save(Draw(2), Folder, Name + QStringLiteral("@2x.png"));
}

QImage PlayPlate(int Scale) {
    return Plate(Scale, QColor(74, 178, 82), QColor(12, 86, 30), QStringLiteral("Игра"));
}

QImage ReturnPlate(int Scale) {
    return Plate(Scale, QColor(226, 72, 64), QColor(122, 14, 14), QStringLiteral("Возврат"));
}

} // namespace

int main(int argc, char* argv[]) {
    // Pictures need no screen; this also keeps the output the same wherever it runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication Application(argc, argv);
    const QStringList Arguments = Application.arguments();
    if (Arguments.size() != 2) {
        std::fputs("usage: makepictures <output folder>\n", stderr);
        return 2;
    }
    const QDir Folder(Arguments[1]);
    try {
        if (!Folder.mkpath(QStringLiteral(".")))
            throw std::runtime_error("cannot create " + Arguments[1].toStdString());
        SaveBoth(Token, Folder, QStringLiteral("token"));
        SaveBoth(BadToken, Folder, QStringLiteral("badtoken"));
        SaveBoth(PlayPlate, Folder, QStringLiteral("play"));
        SaveBoth(ReturnPlate, Folder, QStringLiteral("return"));
        SaveBoth(Barrel, Folder, QStringLiteral("barrel"));
        Save(Icon(256), Folder, QStringLiteral("icon.png"));
        for (const int Size : {32, 48, 64, 128})
            Save(Icon(Size), Folder, QStringLiteral("icon_%1.png").arg(Size));
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "makepictures: %s\n", Error.what());
        return 1;
    }
    return 0;
}
