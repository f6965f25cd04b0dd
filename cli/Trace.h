#pragma once

#include "cli/Replay.h"

#include <QString>

#include <optional>
#include <ostream>

namespace sm {

// What a trace is written as: a JSON object per step, a sequence chart for mscgen, a Value
// Change Dump for GTKWave, the sequence chart drawn as the window draws it.
enum class TTraceFormat { Jsonl, Msc, Vcd, Svg };

std::optional<TTraceFormat> TraceFormatNamed(const QString& Name);
// "jsonl, msc, vcd и svg", as a message lists them.
QString TraceFormatNames();

// Plays the script as the replay does, with the same outcome, and writes the steps the automata
// took in the given format instead of the protocol.
TReplayOutcome Trace(const TScript& Script, const TReplayOptions& Options, TTraceFormat Format,
                     std::ostream& Out);
// The same on a given start-up machine: a test's machine with a planted fault.
TReplayOutcome Trace(const TScript& Script, const TReplayOptions& Options, TTraceFormat Format,
                     std::ostream& Out, const TMachine& StartUp);

} // namespace sm
