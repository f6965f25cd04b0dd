// Nothing lost: a window killed mid-session leaves its session for the next start, which
// restores it as the panel showed it; a damaged file is set aside and reported; closing asks.
#include "window/Recovery.h"
#include "sessions/RecoveryFile.h"
#include "tests/Boxes.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace sm;

namespace {

// Plays the words on a window of its own: coin, bad, play, return, tick (A0's first item), wait N
// (wall milliseconds in frames), pause.
void PlayWords(TPlayedWindow& Played, const QString& Words) {
    const QStringList List = Words.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype Index = 0; Index < List.size(); ++Index) {
        const QString& Word = List[Index];
        if (Word == u"coin")
            Played.Coin();
        else if (Word == u"bad")
            Played.Click(Played.Window.iBadCoin);
        else if (Word == u"play")
            Played.Click(Played.Window.iPlay);
        else if (Word == u"return")
            Played.Click(Played.Window.iReturn);
        else if (Word == u"tick")
            Played.Window.cbA0LogSettings->ToggleByUser(0);
        else if (Word == u"wait")
            Played.Pass(List[++Index].toLongLong());
        else if (Word == u"pause")
            Played.Window.Clock().SetPaused(true);
        else
            qFatal("unknown word %s", qPrintable(Word));
    }
}

// The child: plays the words, tells the panel as it stands, then lives until it is killed.
int KilledChild(const QString& Words) {
    TPlayedWindow Played;
    PlayWords(Played, Words);
    std::printf("%s\n", Played.Window.Log->Text().toUtf8().toBase64().constData());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

QStringList FilesIn(const QString& Folder) {
    return QDir(Folder).entryList(QDir::Files, QDir::Name);
}

QByteArray ReadAll(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

} // namespace

class RecoveryTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void killedSessionIsRestored_data();
    void killedSessionIsRestored();
    void leftFileThatCannotBeRestored_data();
    void leftFileThatCannotBeRestored();
    void closingAsksToSave_data();
    void closingAsksToSave();

private:
    std::unique_ptr<QTemporaryDir> FState;
    QString Folder() const { return FState->path() + QStringLiteral("/slotmachine"); }
    QStringList FReports;
};

void RecoveryTest::init() {
    FState = std::make_unique<QTemporaryDir>();
    qputenv("XDG_STATE_HOME", FState->path().toUtf8());
    FReports.clear();
    TErrorBox::Instance().Presenter = [this](const QString& Text) { FReports << Text; };
}

void RecoveryTest::killedSessionIsRestored_data() {
    QTest::addColumn<QString>("words");
    QTest::newRow("paused while the barrels spin") << "coin coin play play wait 700 pause";
    QTest::newRow("paused after a game") << "coin play play wait 9000 return pause";
    QTest::newRow("a switch, a bad coin") << "tick bad coin wait 300 pause";
}

void RecoveryTest::killedSessionIsRestored() {
    QFETCH(QString, words);
    QProcess Child;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("XDG_STATE_HOME"), FState->path());
    Child.setProcessEnvironment(Environment);
    Child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), words});
    QByteArray Told;
    while (!Told.endsWith('\n') && Child.waitForReadyRead(30000))
        Told += Child.readAllStandardOutput();
    QVERIFY2(Told.endsWith('\n'), Child.readAllStandardError().constData());
    Child.kill(); // SIGKILL: no destructor, no question
    QVERIFY(Child.waitForFinished());
    const QString Panel = QString::fromUtf8(QByteArray::fromBase64(Told.trimmed()));
    QVERIFY(!Panel.isEmpty());
    QCOMPARE(LeftRecoveryFiles().size(), 1);

    TSlotMachine Window;
    AnswerBox(QStringLiteral("Восстановить"));
    OfferLeftSession(Window);
    QCOMPARE(Window.Log->Text(), Panel);
    QVERIFY(Window.Clock().Paused());
    // The restored session is this window's own now: the left file is gone.
    QVERIFY(LeftRecoveryFiles().isEmpty());
    QVERIFY(FReports.isEmpty());
}

void RecoveryTest::leftFileThatCannotBeRestored_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("reported"); // and set aside; otherwise deleted quietly
    QTest::newRow("not a script") << QByteArray("\x7f"
                                                "ELF garbage\n")
                                  << true;
    QTest::newRow("cut in a bad place")
        << QByteArray("seed 7\nstart 2026-12-09 21:00:00\nwa") << true;
    QTest::newRow("made, never written") << QByteArray() << false;
    QTest::newRow("no moves") << QByteArray("seed 7\nwait 500\n") << false;
}

void RecoveryTest::leftFileThatCannotBeRestored() {
    QFETCH(QByteArray, content);
    QFETCH(bool, reported);
    QDir().mkpath(Folder());
    const QString Path = Folder() + QStringLiteral("/recovery-Xy12Ab.session");
    {
        QFile File(Path);
        QVERIFY(File.open(QIODevice::WriteOnly));
        File.write(content);
    }
    TSlotMachine Window;
    OfferLeftSession(Window);
    QCoreApplication::processEvents(); // the error box shows after the handler
    const QStringList Files = FilesIn(Folder());
    if (!reported) {
        QVERIFY(FReports.isEmpty());
        QVERIFY(Files.isEmpty());
        return;
    }
    QCOMPARE(Files, QStringList{QStringLiteral("recovery-Xy12Ab.session.damaged")});
    QCOMPARE(ReadAll(Folder() + u'/' + Files[0]), content);
    QCOMPARE(FReports.size(), 1);
    QVERIFY2(FReports[0].contains(Files[0]), qPrintable(FReports[0]));
    // Kept aside, it is offered and reported no more.
    OfferLeftSession(Window);
    QCoreApplication::processEvents();
    QCOMPARE(FReports.size(), 1);
    QCOMPARE(FilesIn(Folder()), Files);
}

void RecoveryTest::closingAsksToSave_data() {
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("answer"); // empty: no question comes
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("saved");
    QTest::newRow("Сохранить") << "coin play pause"
                               << "Сохранить" << true << true;
    QTest::newRow("Не сохранять") << "coin play pause"
                                  << "Не сохранять" << true << false;
    QTest::newRow("Отмена") << "coin play pause"
                            << "Отмена" << false << false;
    QTest::newRow("no moves") << "wait 100" << QString() << true << false;
}

void RecoveryTest::closingAsksToSave() {
    QFETCH(QString, words);
    QFETCH(QString, answer);
    QFETCH(bool, closed);
    QFETCH(bool, saved);
    TPlayedWindow Played;
    TSlotMachine& Window = Played.Window;
    Window.show();
    PlayWords(Played, words);
    const QByteArray Script = Window.SessionScript();
    const QString SavedPath = FState->path() + QStringLiteral("/saved.session");
    if (!answer.isEmpty())
        AnswerBox(answer);
    if (saved)
        AnswerFileDialog(SavedPath);
    QCOMPARE(Window.close(), closed);
    QCOMPARE(QFile::exists(SavedPath), saved);
    if (saved)
        QCOMPARE(ReadAll(SavedPath), Script);
    // The session is kept on disk exactly while the window stays open.
    QCOMPARE(FilesIn(Folder()).size(), closed ? 0 : 1);
    QVERIFY(LeftRecoveryFiles().isEmpty());
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    if (Argc == 3 && std::strcmp(Argv[1], "--child") == 0)
        return KilledChild(QString::fromUtf8(Argv[2]));
    RecoveryTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "RecoveryTest.moc"
