#include "window/Application.h"

#include "slotmachine/WindowFont.h"
#include "window/ErrorBox.h"
#include "window/Pictures.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <QWidget>

namespace sm {

TApplication::TApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
    setApplicationName(QStringLiteral("slotmachine"));
    setApplicationDisplayName(QStringLiteral("SlotMachine"));
    setDesktopFileName(QStringLiteral("ru.automata.slotmachine"));
    auto* Translator = new QTranslator(this);
    if (Translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(Translator);
}

bool TApplication::notify(QObject* Receiver, QEvent* Event) {
    // Decoding the icon's five sizes takes longer than painting the window: paint first.
    if (!FIconSet && Event->type() == QEvent::Paint) {
        FIconSet = true;
        QMetaObject::invokeMethod(
            this, [] { setWindowIcon(ApplicationIcon()); }, Qt::QueuedConnection);
    }
    // The handlers guard themselves; this is the last net for anything that slips past them.
    try {
        return QApplication::notify(Receiver, Event);
    } catch (const std::exception& Error) {
        TErrorBox::Instance().Report(Error);
    }
    return false;
}

QFont TApplication::WindowFont() {
    QFont Font(QString::fromLatin1(WindowFontFamily));
    Font.setPixelSize(WindowFontPixels);
    return Font;
}

void TApplication::OpenContextMenu() {
    QWidget* Focus = focusWidget();
    if (!Focus)
        Focus = activeWindow();
    if (!Focus)
        return;
    const QPoint At = Focus->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent Event(QContextMenuEvent::Keyboard, At, Focus->mapToGlobal(At));
    sendEvent(Focus, &Event);
}

} // namespace sm
