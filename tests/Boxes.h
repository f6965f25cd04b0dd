#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace sm {

// Once a modal dialog runs its loop, hands it to Answer until Answer takes it (returns true).
// Armed before the call that opens the dialog; gives up after ten seconds.
inline void WhenModal(std::function<bool(QWidget*)> Answer) {
    // The application's child: a box that never came does not leave it behind.
    auto* Timer = new QTimer(QCoreApplication::instance());
    Timer->setInterval(0);
    auto Armed = std::make_shared<QElapsedTimer>();
    Armed->start();
    QObject::connect(Timer, &QTimer::timeout, [Timer, Armed, Answer = std::move(Answer)] {
        QWidget* Modal = QApplication::activeModalWidget();
        if ((Modal && Answer(Modal)) || Armed->hasExpired(10000))
            Timer->deleteLater();
    });
    Timer->start();
}

// The next message box is answered by its button with this text.
inline void AnswerBox(const QString& Button) {
    WhenModal([Button](QWidget* Modal) {
        auto* Box = qobject_cast<QMessageBox*>(Modal);
        if (!Box)
            return false;
        for (QAbstractButton* Each : Box->buttons())
            if (Each->text() == Button) {
                Each->click();
                return true;
            }
        Box->reject(); // the test asked for an answer the box does not offer
        return true;
    });
}

// The next file dialog chooses this file.
inline void AnswerFileDialog(const QString& Path) {
    WhenModal([Path](QWidget* Modal) {
        auto* Dialog = qobject_cast<QFileDialog*>(Modal);
        if (!Dialog)
            return false;
        Dialog->selectFile(Path);
        // accept() is protected in QFileDialog: its Save button does the same.
        QMetaObject::invokeMethod(Dialog, &QDialog::accept);
        return true;
    });
}

} // namespace sm
