#include "window/FocusMark.h"

#include <QEvent>
#include <QPainter>

namespace sm {

TFocusMark::TFocusMark(QWidget* Control) : QWidget(Control), FControl(Control) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    Control->installEventFilter(this);
    setGeometry(Control->rect());
    setVisible(Control->hasFocus());
}

bool TFocusMark::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FControl) {
        switch (Event->type()) {
        case QEvent::Resize:
            setGeometry(FControl->rect());
            break;
        case QEvent::FocusIn:
            setGeometry(FControl->rect());
            show();
            raise();
            break;
        case QEvent::FocusOut:
            hide();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TFocusMark::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    Painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

} // namespace sm
