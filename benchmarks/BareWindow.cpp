// The yardstick for the side-by-side benchmark: an empty window of the machine's size. Enter
// starts the three timers that spin the barrels, doing nothing, as Enter starts the machine's.
// With --text it shows one line in the machine's font: the least any window with text pays.
#include "slotmachine/WindowFont.h"

#include <QApplication>
#include <QByteArray>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>

using namespace sm;

namespace {

class TBareWindow : public QWidget {
public:
    explicit TBareWindow(bool Text) {
        resize(895, 303);
        if (Text) {
            QFont Font(QString::fromLatin1(WindowFontFamily));
            Font.setPixelSize(WindowFontPixels);
            setFont(Font);
            new QLabel(QStringLiteral("A0 (Игровая машина)"), this);
        }
        const int Intervals[3] = {10, 1, 6};
        for (int I = 0; I < 3; ++I) {
            FTimers[I].setTimerType(Qt::PreciseTimer);
            FTimers[I].setInterval(Intervals[I]);
            connect(&FTimers[I], &QTimer::timeout, this, [this] { ++FTicks; });
        }
    }

protected:
    void keyPressEvent(QKeyEvent* Event) override {
        if (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter)
            for (QTimer& Timer : FTimers)
                Timer.start();
    }

private:
    QTimer FTimers[3];
    long FTicks = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication Application(argc, argv);
    TBareWindow Window(argc > 1 && QByteArray(argv[1]) == "--text");
    Window.show();
    return Application.exec();
}
