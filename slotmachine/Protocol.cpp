#include "slotmachine/Protocol.h"

#include <QRegularExpression>

QString TimeFormatWithoutZone(const QLocale& Locale) {
    static const QRegularExpression Zone(QStringLiteral(R"(\G(?:[(\[]\s*t\s*[)\]]|t))"));
    const QString Format = Locale.timeFormat(QLocale::LongFormat);
    QString Result;
    bool Quoted = false;
    for (qsizetype I = 0; I < Format.size();) {
        const QChar C = Format[I];
        if (C == u'\'') {
            Quoted = !Quoted;
        } else if (!Quoted) {
            if (const auto Match = Zone.match(Format, I); Match.hasMatch()) {
                I += Match.capturedLength();
                continue;
            }
            // One blank where the zone left two.
            if (C.isSpace() && !Result.isEmpty() && Result.back().isSpace()) {
                ++I;
                continue;
            }
        }
        Result += C;
        ++I;
    }
    // A separator that only led to the zone ("HH:mm:ss, t") goes with it.
    static const QRegularExpression Ends(QStringLiteral(R"(^[\s,]+|[\s,]+$)"));
    return Result.remove(Ends);
}

QString Stamp(const QLocale& Locale, const QDateTime& Moment) {
    return Locale.toString(Moment.date(), QLocale::ShortFormat) + u' ' +
           Locale.toString(Moment.time(), TimeFormatWithoutZone(Locale)) + u':';
}

QString CurrentStamp() {
    // Messages come in bursts within one second; the stamp is composed once per second.
    static qint64 CachedSecond = -1;
    static QLocale CachedLocale;
    static QString Cached;
    const qint64 Msecs = QDateTime::currentMSecsSinceEpoch();
    const qint64 Second = Msecs / 1000;
    const QLocale Locale;
    if (Second != CachedSecond || Locale != CachedLocale || Cached.isEmpty()) {
        Cached = Stamp(Locale, QDateTime::fromMSecsSinceEpoch(Msecs));
        CachedSecond = Second;
        CachedLocale = Locale;
    }
    return Cached;
}

void WriteProtocol(TLineSink& Sink, const std::string& Message) {
    Sink.AppendLine(CurrentStamp());
    Sink.AppendLine(QString::fromStdString(Message));
    Sink.AppendLine(QString());
}
