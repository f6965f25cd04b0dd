#include "window/Application.h"
#include "window/FormMain.h"

#include <QLabel>
#include <QTest>

using namespace sm;

// The labels over the black panel are drawn light, whatever the theme's text colour.
class PanelLabelsTest : public QObject {
    Q_OBJECT

private slots:
    void labelsOnTheBlackPanelAreLight_data();
    void labelsOnTheBlackPanelAreLight();
};

void PanelLabelsTest::labelsOnTheBlackPanelAreLight_data() {
    QTest::addColumn<QColor>("themeText");
    QTest::newRow("a light theme") << QColor(Qt::black);
    QTest::newRow("a dark theme") << QColor(Qt::white);
}

void PanelLabelsTest::labelsOnTheBlackPanelAreLight() {
    QFETCH(QColor, themeText);
    QPalette Theme = QApplication::palette();
    Theme.setColor(QPalette::WindowText, themeText);
    QApplication::setPalette(Theme);
    TSlotMachine Window;
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    const QImage Panel = Window.Panel1->grab().toImage();
    for (const QLabel* Label : {Window.Label4, Window.Label5, Window.Label6}) {
        QVERIFY(Label->parentWidget() == Window.Panel1);
        // The brightest pixel of the label's text on the black panel.
        int Brightest = 0;
        const QRect Area = Label->geometry().intersected(Panel.rect());
        for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
            for (int X = Area.left(); X <= Area.right(); ++X)
                Brightest = std::max(Brightest, qGray(Panel.pixel(X, Y)));
        QVERIFY2(Brightest > 200, qPrintable(Label->text()));
    }
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    PanelLabelsTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "PanelLabelsTest.moc"
