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

// Three lines: the stamp, the message, an empty line.
void WriteProtocol(TLineSink& Sink, const QString& Stamp, const std::string& Message);

// The machine's protocol laid out in lines, each message under the stamp of its moment.
class TProtocolWriter final : public TProtocolSink {
public:
    explicit TProtocolWriter(TLineSink& Lines, std::function<QString()> StampNow)
        : FLines(Lines), FStampNow(std::move(StampNow)) {}
    void Message(const std::string& Text) override { WriteProtocol(FLines, FStampNow(), Text); }

private:
    TLineSink& FLines;
    std::function<QString()> FStampNow;
};

} // namespace sm
