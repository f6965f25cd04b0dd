#pragma once

// A protocol of the given length, as the machine writes it: a stamp, a transition, a blank line.
#include "slotmachine/Protocol.h"

#include <QString>

inline void AppendTransitions(sm::TLineSink& Lines, int Count) {
    const QString Stamp = sm::Stamp(QLocale(), QDateTime::currentDateTime());
    for (int Line = 0; Line < Count; Line += 3) {
        Lines.AppendLine(Stamp);
        Lines.AppendLine(QStringLiteral("Автомат A0 \"Игровая машина\" перешел из состояния "
                                        "1 в состояние %1")
                             .arg(Line % 5));
        Lines.AppendLine(QString());
    }
}
