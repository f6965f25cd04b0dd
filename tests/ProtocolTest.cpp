#include "slotmachine/Protocol.h"
#include "automaton/Automaton.h"
#include "slotmachine/Vocabulary.h"

#include <QTest>
#include <QTimeZone>

using namespace sm;

class ProtocolTest : public QObject {
    Q_OBJECT

private slots:
    void stamp_data();
    void stamp();
    void everyLocaleStampHasSecondsAndNoZone();
    void writeProtocolWritesThreeLines();
    void eventNamesHaveTheirSlots();
    void unknownStateMessage();
};

void ProtocolTest::stamp_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("en_US") << "en_US"
                           << "3/9/26 7:05:03 PM:";
    QTest::newRow("de_DE") << "de_DE"
                           << "09.03.26 19:05:03:";
    QTest::newRow("ru_RU") << "ru_RU"
                           << "09.03.2026 19:05:03:";
    QTest::newRow("zone in brackets") << "eu_ES"
                                      << "26/3/9 19:05:03:";
    QTest::newRow("zone after a comma") << "be_BY"
                                        << "9.03.26 19:05:03:";
    QTest::newRow("zone first") << "my_MM"
                                << "09-03-26 19:05:03:";
}

void ProtocolTest::stamp() {
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    // A zone far from the machine's own: the stamp shows the moment's own date and time.
    const QDateTime Moment(QDate(2026, 3, 9), QTime(19, 5, 3), QTimeZone(QByteArray("Asia/Tokyo")));
    QString Actual = Stamp(QLocale(locale), Moment);
    // Locales may use their own digits; compare with Latin digits.
    for (QChar& C : Actual)
        if (C.isDigit())
            C = QChar(u'0' + C.digitValue());
    QCOMPARE(Actual, expected);
}

void ProtocolTest::everyLocaleStampHasSecondsAndNoZone() {
    const QDateTime Moment(QDate(2026, 12, 31), QTime(23, 59, 58), QTimeZone(QByteArray("UTC")));
    const auto Locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    for (const QLocale& Locale : Locales) {
        const QString Format = TimeFormatWithoutZone(Locale);
        const QString Text = Stamp(Locale, Moment);
        const QString Context =
            Locale.name() + QStringLiteral(" ") + Format + QStringLiteral(" -> ") + Text;
        QVERIFY2(Format.contains(u's'), qPrintable(Context));
        QVERIFY2(!Text.contains(QStringLiteral("UTC")), qPrintable(Context));
        QVERIFY2(Text.endsWith(u':') && !Text.chopped(1).back().isSpace(), qPrintable(Context));
    }
}

void ProtocolTest::writeProtocolWritesThreeLines() {
    TMemorySink Sink;
    int Stamps = 0;
    TProtocolWriter Writer(Sink, [&Stamps] { return QStringLiteral("%1:").arg(++Stamps); });
    Writer.Message("Автомат A0");
    Writer.Message("");
    QCOMPARE(Sink.Lines, QStringList({"1:", "Автомат A0", "", "2:", "", ""}));
}

void ProtocolTest::eventNamesHaveTheirSlots() {
    TAutomatonsDispatcher Dispatcher;
    TAutomaton Automata[] = {
        {A0, AutomatonName[0]}, {A1, AutomatonName[1]}, {A2, AutomatonName[2]}};
    for (auto& Automaton : Automata)
        Dispatcher.AddAutomaton(&Automaton);
    InstallNames(Dispatcher);
    QCOMPARE(Dispatcher.FStateNames[0].Count(), 5);
    QCOMPARE(Dispatcher.FStateNames[1].Count(), 3);
    QCOMPARE(Dispatcher.FStateNames[2].Count(), 4);
    QCOMPARE(Dispatcher.FEventNames.Count(), 24);
    const QList<int> Named = {0, 1, 2, 3, 5, 6, 10, 11, 12, 22, 23};
    for (int Event = 0; Event < 24; ++Event)
        QCOMPARE(Dispatcher.FEventNames.Get(Event).empty(), !Named.contains(Event));

    const auto Name = [&](int Event) {
        return QString::fromStdString(Dispatcher.FEventNames.Get(Event));
    };
    QCOMPARE(Name(0), QStringLiteral("(от автомата \u04100): Начало игры")); // Cyrillic А
    QCOMPARE(Name(11), QStringLiteral("(от автомата A1) Опущен жетон"));     // Latin A
    QCOMPARE(Name(12), QStringLiteral("(от автомата A0) Перевести деньги в банк"));
    QCOMPARE(Name(3), QStringLiteral("Нажата кнопка 'Тех. \u0421брос'")); // capital С
    QCOMPARE(QString::fromStdString(Dispatcher.FStateNames[1].Get(0)),
             QStringLiteral("Монетопри\u0451мник пуст"));
    QCOMPARE(QString(AutomatonName[1]), QStringLiteral("Монетопри\u0435мник"));
}

void ProtocolTest::unknownStateMessage() {
    QCOMPARE(QString::fromStdString(UnknownStateMessage(2, 23, -4)),
             "Ошибка в автомате A2 при обработке события e23: неизвестное состояние -4");
}

QTEST_GUILESS_MAIN(ProtocolTest)
#include "ProtocolTest.moc"
