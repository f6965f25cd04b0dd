#include "window/PictureFile.h"

#include <QFileDialog>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>

namespace sm {

bool WritePicture(const QImage& Picture, const QString& File, QString& Error) {
    // Written beside the file and moved over it at the end: a failure leaves the old one.
    QSaveFile Out(File);
    if (!Out.open(QIODevice::WriteOnly)) {
        Error = Out.errorString();
        return false;
    }
    QImageWriter Writer(&Out, "png");
    if (!Writer.write(Picture)) {
        Error = Writer.errorString();
        Out.cancelWriting();
        return false;
    }
    if (!Out.commit()) {
        Error = Out.errorString();
        return false;
    }
    return true;
}

bool SavePicture(QWidget* Parent, const QImage& Picture, const QString& Suggested) {
    const QString File =
        QFileDialog::getSaveFileName(Parent, QStringLiteral("Сохранить рисунок"), Suggested,
                                     QStringLiteral("Рисунок PNG (*.png)"));
    if (File.isEmpty())
        return false;
    QString Error;
    if (WritePicture(Picture, File, Error))
        return true;
    QMessageBox::warning(Parent, QStringLiteral("Сохранить рисунок"),
                         QStringLiteral("Не удалось записать %1: %2").arg(File, Error));
    return false;
}

} // namespace sm
