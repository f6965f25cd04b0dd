#pragma once

#include "slotmachine/Machine.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace sm {

// Where protocol lines go: the window's log panel, or memory when there is no window.
class TLineSink {
public:
    virtual ~TLineSink() = default;
    virtual void AppendLine(const QString& Line) = 0;
};

class TMemorySink final : public TLineSink {
public:
    void AppendLine(const QString& Line) override { Lines.append(Line); }
    QStringList Lines;
};

// The locale's long time format with the time zone and what only framed it taken out.
QString TimeFormatWithoutZone(const QLocale& Locale);

// "<short date> <long time without zone>:"
QString Stamp(const QLocale& Locale, const QDateTime& Moment);

// Messages come in bursts within one second: the stamp is composed once per second and locale.
class TStampCache {
public:
    QString StampAt(const QLocale& Locale, qint64 MsecsSinceEpoch);

private:
    qint64 FSecond = -1;
    QLocale FLocale;
    QString FStamp;
};

// The stamp for this moment in the user's locale. The clock is read once, so a message written
// across midnight cannot get the old date with the new time.
QString CurrentStamp();

// Three lines: the stamp, the message, an empty line.
void WriteProtocol(TLineSink& Sink, const QString& Stamp, const std::string& Message);

// The machine's protocol laid out in lines, each message under the stamp of its moment.
class TProtocolWriter final : public TProtocolSink {
public:
    explicit TProtocolWriter(TLineSink& Lines, std::function<QString()> StampNow = CurrentStamp)
        : FLines(Lines), FStampNow(std::move(StampNow)) {}
    void Message(const std::string& Text) override { WriteProtocol(FLines, FStampNow(), Text); }

private:
    TLineSink& FLines;
    std::function<QString()> FStampNow;
};

} // namespace sm
