#pragma once

#include <QWidget>

namespace sm {

// A dotted frame over a control while it has the focus, for a control whose style shows none
// (a scroll area without a frame). It lies on top and lets every click through.
class TFocusMark : public QWidget {
    Q_OBJECT

public:
    explicit TFocusMark(QWidget* Control);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;

private:
    QWidget* FControl;
};

} // namespace sm
