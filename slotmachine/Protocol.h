#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <string>

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

// The stamp for this moment in the user's locale. The clock is read once, so a message written
// across midnight cannot get the old date with the new time.
QString CurrentStamp();

// Three lines: the stamp, the message, an empty line.
void WriteProtocol(TLineSink& Sink, const std::string& Message);
