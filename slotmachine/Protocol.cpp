#include "slotmachine/Protocol.h"

#include <QRegularExpression>

namespace sm {

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

void WriteProtocol(TLineSink& Sink, const QString& Stamp, const std::string& Message) {
    Sink.AppendLine(Stamp);
    Sink.AppendLine(QString::fromStdString(Message));
    Sink.AppendLine(QString());
}

} // namespace sm
