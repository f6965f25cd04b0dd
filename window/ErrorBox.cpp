#include "window/ErrorBox.h"

#include <QMessageBox>
#include <QTimer>

namespace sm {

TErrorBox& TErrorBox::Instance() {
    static TErrorBox Box;
    return Box;
}

TErrorBox::TErrorBox() {
    Presenter = [this](const QString& Text) {
        QMessageBox::critical(Owner, QStringLiteral("SlotMachine"), Text);
    };
}

void TErrorBox::Report(const std::exception& Error) {
    Report(QString::fromUtf8(Error.what()));
}

void TErrorBox::Report(const QString& Text) {
    // A fault on a fast timer repeats every tick: one box per distinct text is enough.
    if (!FPending.contains(Text))
        FPending.append(Text);
    if (FShowing || FScheduled)
        return;
    FScheduled = true;
    QTimer::singleShot(0, this, &TErrorBox::ShowPending);
}

void TErrorBox::ShowPending() {
    FScheduled = false;
    FShowing = true;
    while (!FPending.isEmpty()) {
        const QString Text = FPending.takeFirst();
        Presenter(Text);
    }
    FShowing = false;
}

} // namespace sm
