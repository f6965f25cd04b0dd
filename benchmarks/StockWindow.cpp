// The yardstick for the side-by-side benchmark: the machine's window as anyone would build it from
// stock Qt widgets, with the same pictures, font and geometry, and no machine behind it. Enter
// starts one 60 Hz timer that turns the three barrels a frame a tick; Insert does nothing.
#include "slotmachine/Rules.h"
#include "slotmachine/WindowFont.h"
#include "window/LogSettingsItems.h"
#include "window/Pictures.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>

using namespace sm;

namespace {

constexpr int TokenImages = 100;
constexpr int TokensShown = 50;

template <class TControl>
TControl* Place(TControl* Control, int Left, int Top, int Width, int Height) {
    Control->setGeometry(Left, Top, Width, Height);
    return Control;
}

QLabel* MakeLabel(QWidget* Parent, const QString& Text, int Left, int Top, int Width, int Height) {
    auto* Label = Place(new QLabel(Text, Parent), Left, Top, Width, Height);
    // As in the machine's window: the design's widths were measured with another font.
    Label->resize(std::max(Width, Label->sizeHint().width()), Height);
    return Label;
}

QLabel* MakePicture(QWidget* Parent, const QPixmap& Picture, int Left, int Top, int Width,
                    int Height) {
    auto* Label = Place(new QLabel(Parent), Left, Top, Width, Height);
    Label->setPixmap(Picture);
    return Label;
}

QLineEdit* MakeNumber(QWidget* Parent, int Value, int Left, int Top) {
    auto* Field = Place(new QLineEdit(QString::number(Value), Parent), Left, Top, 49, 19);
    Field->setReadOnly(true);
    QPalette Grey = Field->palette();
    Grey.setColor(QPalette::Base, QColor(0xc0, 0xc0, 0xc0));
    Grey.setColor(QPalette::Text, Qt::black);
    Field->setPalette(Grey);
    return Field;
}

QListWidget* MakeCheckList(QWidget* Parent, int Left, int Top) {
    auto* List = Place(new QListWidget(Parent), Left, Top, 249, 73);
    List->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    List->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QStringList& Items = sm::LogSettingsItems();
    for (int Row = 0; Row < Items.size(); ++Row) {
        auto* Item = new QListWidgetItem(Items[Row], List);
        Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        // The machine starts logging starts, changes of state and finishes.
        Item->setCheckState(Row < 3 ? Qt::Checked : Qt::Unchecked);
        Item->setSizeHint(QSize(0, 13));
    }
    return List;
}

class TStockWindow : public QWidget {
public:
    TStockWindow() {
        setWindowTitle(QStringLiteral("SlotMachine"));
        QFont Font(QString::fromLatin1(WindowFontFamily));
        Font.setPixelSize(WindowFontPixels);
        setFont(Font);
        move(96, 183);
        resize(895, 303);

        auto* Panel = Place(new QWidget(this), 8, 8, 265, 129);
        Panel->setAutoFillBackground(true);
        QPalette Black = Panel->palette();
        Black.setColor(QPalette::Window, Qt::black);
        Panel->setPalette(Black);
        FFrames = BarrelFrames();
        for (int Barrel = 0; Barrel < 3; ++Barrel) {
            FBarrels[static_cast<size_t>(Barrel)] =
                MakePicture(Panel, FFrames[StartFrame], 11 + 32 * Barrel, 20, 30, 45);
            FFrameIndex[static_cast<size_t>(Barrel)] = StartFrame;
        }
        auto* Protocol = Place(new QPlainTextEdit(this), 280, 8, 353, 289);
        Protocol->setReadOnly(true);
        MakeCheckList(this, 640, 32);
        MakeLabel(this, QStringLiteral("A0 (Игровая машина)"), 640, 16, 108, 13);
        MakeLabel(this, QStringLiteral("A1 (Жетоноприёмник)"), 640, 112, 112, 13);
        MakeCheckList(this, 640, 128);
        MakeLabel(this, QStringLiteral("A2 (Игровые барабаны)"), 640, 208, 120, 13);
        MakeCheckList(this, 638, 224);
        MakeNumber(Panel, 50, 120, 38);
        QPalette White = Panel->palette();
        White.setColor(QPalette::WindowText, Qt::white);
        MakeLabel(Panel, QStringLiteral("Банк"), 120, 16, 25, 13)->setPalette(White);
        const QPixmap Token = TokenPixmap();
        for (int Number = 1; Number <= TokenImages; ++Number) {
            QLabel* Coin = MakePicture(this, Token, 8 + 8 * ((Number - 1) % 30),
                                       144 + 40 * ((Number - 1) / 30), 32, 32);
            Coin->setVisible(Number <= TokensShown);
        }
        // The token slot, open: a white bar.
        auto* Slot = Place(new QFrame(Panel), 248, 32, 9, 49);
        Slot->setAutoFillBackground(true);
        QPalette Bar = Slot->palette();
        Bar.setColor(QPalette::Window, Qt::white);
        Slot->setPalette(Bar);
        MakeLabel(Panel, QStringLiteral("Ставка: "), 184, 16, 42, 13)->setPalette(White);
        MakeNumber(Panel, 0, 184, 38);
        MakeNumber(Panel, 0, 184, 86);
        MakeLabel(Panel, QStringLiteral("Выигрыш"), 184, 64, 48, 13)->setPalette(White);
        MakePicture(this, BadTokenPixmap(), 240, 264, 32, 32);
        MakePicture(Panel, PlayPixmap(), 8, 88, 64, 32);
        MakePicture(Panel, ReturnPixmap(), 96, 88, 64, 32);
        MakeNumber(this, 50, 160, 278);
        MakeLabel(this, QStringLiteral("Игрок:"), 160, 264, 34, 13);
        Place(new QPushButton(QStringLiteral("Тех. сброс"), Panel), 200, 112, 65, 17);

        FSpin.setInterval(16);
        connect(&FSpin, &QTimer::timeout, this, [this] { Turn(); });
        for (const Qt::Key Key : {Qt::Key_Return, Qt::Key_Enter})
            connect(new QShortcut(QKeySequence(Key), this), &QShortcut::activated, &FSpin,
                    qOverload<>(&QTimer::start));
    }

protected:
    // As the machine's window does: the icon's sizes are decoded once the window is painted.
    void paintEvent(QPaintEvent*) override {
        if (FIconSet)
            return;
        FIconSet = true;
        QMetaObject::invokeMethod(
            this, [] { QApplication::setWindowIcon(ApplicationIcon()); }, Qt::QueuedConnection);
    }

private:
    void Turn() {
        for (size_t Barrel = 0; Barrel < FBarrels.size(); ++Barrel) {
            FFrameIndex[Barrel] = (FFrameIndex[Barrel] + 1) % static_cast<int>(FFrames.size());
            FBarrels[Barrel]->setPixmap(FFrames[FFrameIndex[Barrel]]);
        }
    }

    QList<QPixmap> FFrames;
    std::array<QLabel*, 3> FBarrels{};
    std::array<int, 3> FFrameIndex{};
    QTimer FSpin;
    bool FIconSet = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication Application(argc, argv);
    TStockWindow Window;
    Window.show();
    return Application.exec();
}
