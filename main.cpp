#include "sessions/Files.h"
#include "sessions/Quoted.h"
#include "window/Application.h"
#include "window/FormMain.h"
#include "window/Recovery.h"

#include <QByteArray>
#include <QTimer>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

using namespace sm;

namespace {

// Qt ends with a fatal message when its platform cannot start, such as a display that cannot be
// opened; name the display instead of Qt's advice to reinstall, and exit without a core dump.
QtMessageHandler QtHandler = nullptr;

void ReportFatal(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Type != QtFatalMsg) {
        if (QtHandler)
            QtHandler(Type, Context, Message);
        return;
    }
    const QByteArray Display =
        qgetenv("WAYLAND_DISPLAY").isEmpty() ? qgetenv("DISPLAY") : qgetenv("WAYLAND_DISPLAY");
    std::fprintf(stderr,
                 "slotmachine: cannot open the display \"%s\"; start it in a desktop session, or "
                 "in a virtual one with xvfb-run -a\n",
                 Display.constData());
    std::_Exit(2);
}

// Long enough for the first paint, too short for a user to have begun.
constexpr int OfferDelayMs = 100;

const char Usage[] = "Использование: slotmachine [СЕАНС]\n"
                     "Игровой автомат с тремя барабанами. СЕАНС — сценарий сеанса, как его читает "
                     "slotmachine-cli replay;\nон проигрывается в окне с запуска.\n";

void Print(std::FILE* Stream, const QString& Text) {
    std::fputs(Text.toUtf8().constData(), Stream);
}

// The session named on the command line, read and checked whole before any window opens; or the
// exit code when there is none to play.
std::optional<int> ReadArguments(int Argc, char** Argv, std::optional<TScript>& Session,
                                 QString& Name) {
    QStringList Words;
    for (int Index = 1; Index < Argc; ++Index)
        Words << TextOfBytes(QByteArray(Argv[Index]));
    if (Words.contains(QStringLiteral("--help")) || Words.contains(QStringLiteral("-h"))) {
        Print(stdout, QString::fromUtf8(Usage));
        return 0;
    }
    if (Words.size() > 1) {
        Print(stderr, QStringLiteral("slotmachine: сеанс проигрывается один, а не %1\n%2")
                          .arg(Words.size())
                          .arg(QString::fromUtf8(Usage)));
        return 2;
    }
    if (Words.isEmpty())
        return std::nullopt;
    if (Words[0].startsWith(u'-') && Words[0].size() > 1) {
        Print(stderr, QStringLiteral("slotmachine: неизвестный ключ %1\n%2")
                          .arg(Quoted(Words[0]), QString::fromUtf8(Usage)));
        return 2;
    }
    Name = Words[0];
    TScriptReader Reader;
    if (QString Problem = ReadScriptFile(Name, Reader); !Problem.isEmpty()) {
        Print(stderr, QStringLiteral("slotmachine: %1\n").arg(Problem));
        return 2;
    }
    TParsedScript Parsed = Reader.Finish();
    if (Parsed.Error) {
        Print(stderr, ScriptErrorText(Name, *Parsed.Error) + u'\n');
        return 2;
    }
    Session = std::move(Parsed.Script);
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    // Asked without a display too, as the companion answers it.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("slotmachine " SLOTMACHINE_VERSION "\n", stdout);
        return 0;
    }
    // Qt aborts without a display; say what is wrong instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("slotmachine: no display; start it in a desktop session, or in a virtual one "
                   "with xvfb-run -a\n",
                   stderr);
        return 2;
    }
    QtHandler = qInstallMessageHandler(ReportFatal);
    TApplication Application(argc, argv);
    qInstallMessageHandler(QtHandler);
    // Qt has taken its own options out of the arguments by now.
    std::optional<TScript> Session;
    QString Name;
    if (const auto Exit = ReadArguments(argc, argv, Session, Name))
        return *Exit;
    TSlotMachine Window;
    Window.show();
    // A session left by a crash is offered once the window is painted: the start waits for no
    // folder.
    if (Session)
        Window.PlayScript(*Session, Name);
    else
        QTimer::singleShot(OfferDelayMs, &Window, [&Window] { OfferLeftSession(Window); });
    // Closing the window ends the loop whatever the machine is doing.
    Application.exec();
    return 0;
}
