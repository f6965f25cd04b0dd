#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace sm {

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* Widget) { Widget->installEventFilter(this); }
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

} // namespace sm
