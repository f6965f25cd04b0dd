#include "window/PictureFile.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>

namespace sm {

namespace {

const QString SvgFilter = QStringLiteral("Рисунок SVG (*.svg)");
const QString PngFilter = QStringLiteral("Рисунок PNG (*.png)");

bool IsSvg(const QString& File) {
    return File.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive);
}

} // namespace

bool WritePicture(const TPicture& Picture, const QString& File, QString& Error) {
    // Written beside the file and moved over it at the end: a failure leaves the old one.
    QSaveFile Out(File);
    if (!Out.open(QIODevice::WriteOnly)) {
        Error = Out.errorString();
        return false;
    }
    bool Written = false;
    if (IsSvg(File)) {
        Written = Picture.WriteSvg(Out, QFileInfo(File).completeBaseName());
        // A failed write is remembered by the file; the generator does not report it.
        if (!Written || Out.error() != QFileDevice::NoError)
            Error = Out.errorString();
        Written = Written && Out.error() == QFileDevice::NoError;
    } else {
        QImageWriter Writer(&Out, "png");
        Written = Writer.write(Picture.Image());
        if (!Written)
            Error = Writer.errorString();
    }
    if (!Written) {
        Out.cancelWriting();
        return false;
    }
    if (!Out.commit()) {
        Error = Out.errorString();
        return false;
    }
    return true;
}

bool SavePicture(QWidget* Parent, const TPicture& Picture, const QString& Suggested) {
    QString Filter = SvgFilter;
    QString File = QFileDialog::getSaveFileName(
        Parent, QStringLiteral("Сохранить рисунок"), Suggested + QStringLiteral(".svg"),
        SvgFilter + QStringLiteral(";;") + PngFilter, &Filter);
    if (File.isEmpty())
        return false;
    // A name typed without a suffix takes that of the kind chosen.
    if (!IsSvg(File) && !File.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
        File += Filter == PngFilter ? QStringLiteral(".png") : QStringLiteral(".svg");
    QString Error;
    if (WritePicture(Picture, File, Error))
        return true;
    QMessageBox::warning(Parent, QStringLiteral("Сохранить рисунок"),
                         QStringLiteral("Не удалось записать %1: %2").arg(File, Error));
    return false;
}

} // namespace sm
