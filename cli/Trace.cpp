#include "cli/Trace.h"

#include "cli/Streams.h"
#include "diagram/SequenceDrawing.h"
#include "sessions/StepRecord.h"
#include "slotmachine/Protocol.h"
#include "slotmachine/WindowFont.h"

#include <QGuiApplication>
#include <QIODevice>

#include <array>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

namespace sm {

namespace {

struct TFormatName {
    TTraceFormat Format;
    const char* Name;
};
constexpr TFormatName FormatNames[] = {{TTraceFormat::Jsonl, "jsonl"},
                                       {TTraceFormat::Msc, "msc"},
                                       {TTraceFormat::Vcd, "vcd"},
                                       {TTraceFormat::Svg, "svg"}};

// The protocol's stamp of any moment of the session, composed once per second as the replay's.
class TStampAt {
public:
    TStampAt(const QDateTime& Start, const QLocale& Locale)
        : FStart(Start), FLocale(Locale), FStartMilliseconds(Start.time().msec()) {}
    const std::string& operator()(int64_t Moment) {
        const int64_t Second = (FStartMilliseconds + Moment) / 1000;
        if (Second != FSecond) {
            FStamp = Stamp(FLocale, FStart.addMSecs(Moment)).toStdString();
            FSecond = Second;
        }
        return FStamp;
    }

private:
    QDateTime FStart;
    QLocale FLocale;
    int64_t FStartMilliseconds;
    int64_t FSecond = -1;
    std::string FStamp;
};

// The names the protocol shows; a number outside the lists (a planted table) shows as a number.
class TNames {
public:
    explicit TNames(const TMachine& Machine) : FNames(Machine.AutomatonsDispatcher()) {}
    std::string Event(int32_t Event) const {
        return Event >= 0 && Event < FNames.FEventNames.Count() ? FNames.FEventNames.Get(Event)
                                                                : std::to_string(Event);
    }
    std::string State(int32_t Automaton, int32_t State) const {
        const auto& Lists = FNames.FStateNames;
        if (Automaton < 0 || static_cast<size_t>(Automaton) >= Lists.size())
            return std::to_string(State);
        const TStringList& Names = Lists[static_cast<size_t>(Automaton)];
        return State >= 0 && State < Names.Count() ? Names.Get(State) : std::to_string(State);
    }
    const std::string& Automaton(int32_t Number) const {
        return FNames.FAutomata.at(static_cast<size_t>(Number))->FName;
    }

private:
    const TAutomatonsDispatcher& FNames;
};

class TTraceWriter : public TMachineObserver {
public:
    explicit TTraceWriter(TBufferedOut& Out) : FOut(Out.Buffer()), FTraceOut(Out) {}
    virtual void Begin() {}
    virtual void Write(const TRecordedStep& Step) = 0;
    virtual void End(int64_t /*Now*/) {}
    void MachineChanged(unsigned /*Changes*/) noexcept override {}

protected:
    std::string& FOut;
    TBufferedOut& FTraceOut;
};

void AppendJson(std::string& Out, std::string_view Text) {
    Out += '"';
    for (const char Char : Text) {
        const auto Byte = static_cast<unsigned char>(Char);
        if (Char == '"' || Char == '\\') {
            Out += '\\';
            Out += Char;
        } else if (Byte < 0x20) {
            char Escape[8];
            std::snprintf(Escape, sizeof Escape, "\\u%04x", Byte);
            Out += Escape;
        } else {
            Out += Char; // UTF-8 passes as it is
        }
    }
    Out += '"';
}

class TJsonlWriter final : public TTraceWriter {
public:
    TJsonlWriter(TBufferedOut& Out, TStampAt& StampAt) : TTraceWriter(Out), FStampAt(StampAt) {}
    void Write(const TRecordedStep& Step) override {
        FOut += "{\"t\":" + std::to_string(Step.Moment) + ",\"stamp\":";
        AppendJson(FOut, FStampAt(Step.Moment));
        FOut += ",\"automaton\":" + std::to_string(Step.Automaton) + ",\"event\":\"e" +
                std::to_string(Step.Event) + "\",\"from\":" + std::to_string(Step.From) +
                ",\"to\":" + std::to_string(Step.To) +
                ",\"row\":" + (Step.Row ? std::to_string(*Step.Row) : std::string("null")) +
                ",\"sender\":";
        const std::string Sender = SenderName(Step.Sender);
        if (Sender.empty())
            FOut += "null";
        else
            AppendJson(FOut, Sender);
        if (Step.Sender.Kind == TStepSender::TKind::Player) {
            FOut += ",\"action\":";
            AppendJson(FOut, ScriptName(Step.Sender.Action));
        }
        FOut += ",\"depth\":" + std::to_string(Step.Depth) + ",\"messages\":[";
        for (size_t Index = 0; Index < Step.Messages.size(); ++Index) {
            if (Index > 0)
                FOut += ',';
            AppendJson(FOut, Step.Messages[Index]);
        }
        FOut += "]}\n";
    }

private:
    TStampAt& FStampAt;
};

// mscgen's quoted string.
std::string MscString(std::string_view Text) {
    std::string Quoted = "\"";
    for (const char Char : Text) {
        if (Char == '"' || Char == '\\')
            Quoted += '\\';
        Quoted += Char;
    }
    return Quoted + '"';
}

// The sequence chart: an arc from the sender to the receiver for every event, a box for every
// change of state once the step and the steps it sent are over, a divider with the stamp before
// each input's cascade.
class TMscWriter final : public TTraceWriter {
public:
    TMscWriter(TBufferedOut& Out, TStampAt& StampAt, const TMachine& Machine)
        : TTraceWriter(Out), FStampAt(StampAt), FNames(Machine) {}
    void Begin() override {
        FOut += "msc {\n  hscale = \"2\";\n  player [label=\"Игрок\"]";
        for (int32_t Number = A0; Number <= A2; ++Number)
            FOut += ", A" + std::to_string(Number) + " [label=" +
                    MscString("A" + std::to_string(Number) + " " + FNames.Automaton(Number)) + "]";
        FOut += ", timers [label=\"Таймеры\"];\n";
    }
    void Write(const TRecordedStep& Step) override {
        CloseTo(Step.Depth);
        // The parent changed state after the steps its row sent, before those of its entry.
        if (!FOpen.empty() && FOpen.back().Sent == FOpen.back().Step.SentBeforeChange)
            Box(FOpen.back());
        if (Step.Depth == 0) {
            std::string Divider = FStampAt(Step.Moment);
            if (Step.Sender.Kind == TStepSender::TKind::Player)
                Divider += std::string(" ") + std::string(ScriptName(Step.Sender.Action));
            FOut += "  --- [label=" + MscString(Divider) + "];\n";
        }
        std::string Label =
            "e" + std::to_string(Step.Event) + " «" + FNames.Event(Step.Event) + "»";
        if (Step.Sender.Kind == TStepSender::TKind::Timer)
            Label = SenderName(Step.Sender) + ": " + Label;
        FOut += "  " + Entity(Step.Sender) + " => A" + std::to_string(Step.Automaton) +
                " [label=" + MscString(Label) + "];\n";
        for (TOpen& Each : FOpen)
            ++Each.Sent;
        FOpen.push_back({Step, 0, Step.From != Step.To});
        FOpen.back().Step.Messages.clear();
    }
    void End(int64_t /*Now*/) override {
        CloseTo(0);
        FOut += "}\n";
    }

private:
    static std::string Entity(const TStepSender& Sender) {
        switch (Sender.Kind) {
        case TStepSender::TKind::Timer:
            return "timers";
        case TStepSender::TKind::Automaton:
            return SenderName(Sender);
        case TStepSender::TKind::Player:
        case TStepSender::TKind::Unknown:
            break;
        }
        return "player";
    }
    struct TOpen {
        TRecordedStep Step;
        size_t Sent; // the nested steps written so far
        bool BoxDue;
    };
    void Box(TOpen& Open) {
        if (!Open.BoxDue)
            return;
        Open.BoxDue = false;
        const TRecordedStep& Step = Open.Step;
        const std::string Name = "A" + std::to_string(Step.Automaton);
        FOut += "  " + Name + " box " + Name + " [label=" +
                MscString(std::to_string(Step.From) + " → " + std::to_string(Step.To) + " " +
                          FNames.State(Step.Automaton, Step.To)) +
                "];\n";
    }
    void CloseTo(int Depth) {
        while (!FOpen.empty() && FOpen.back().Step.Depth >= Depth) {
            Box(FOpen.back());
            FOpen.pop_back();
        }
    }

    TStampAt& FStampAt;
    TNames FNames;
    std::vector<TOpen> FOpen;
};

// A Value Change Dump over the machine's milliseconds, sampled whenever an input has been handled.
class TVcdWriter final : public TTraceWriter {
public:
    TVcdWriter(TBufferedOut& Out, const TVirtualTime& Time) : TTraceWriter(Out), FTime(Time) {}
    void Begin() override {
        FOut += "$version slotmachine-cli trace $end\n$timescale 1 ms $end\n"
                "$scope module machine $end\n";
        for (size_t Index = 0; Index < Signals.size(); ++Index)
            FOut += std::string("$var ") + (Signals[Index].Width == 1 ? "wire" : "reg") + " " +
                    std::to_string(Signals[Index].Width) + " " + Code(Index) + " " +
                    Signals[Index].Name + " $end\n";
        FOut += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
        FValues = Read();
        for (size_t Index = 0; Index < Signals.size(); ++Index)
            Put(Index);
        FOut += "$end\n";
    }
    void Write(const TRecordedStep& /*Step*/) override {}
    void MachineChanged(unsigned /*Changes*/) noexcept override {
        const TValues Now = Read();
        for (size_t Index = 0; Index < Signals.size(); ++Index) {
            if (Now[Index] == FValues[Index])
                continue;
            Mark(FTime.Now());
            FValues[Index] = Now[Index];
            Put(Index);
        }
        FTraceOut.FlushWhenFull();
    }
    void End(int64_t Now) override { Mark(Now); }

private:
    struct TSignal {
        const char* Name;
        int Width;
        int64_t (*Read)(const TMachine&);
    };
    static constexpr std::array<TSignal, 15> Signals = {{
        {"A0", 8, [](const TMachine& M) -> int64_t { return M.State(A0); }},
        {"A1", 8, [](const TMachine& M) -> int64_t { return M.State(A1); }},
        {"A2", 8, [](const TMachine& M) -> int64_t { return M.State(A2); }},
        {"bank", 32, [](const TMachine& M) -> int64_t { return M.Bank(); }},
        {"stake", 32, [](const TMachine& M) -> int64_t { return M.Stake(); }},
        {"win", 32, [](const TMachine& M) -> int64_t { return M.JackPot(); }},
        {"player", 32, [](const TMachine& M) -> int64_t { return M.UserTokens(); }},
        {"slot_open", 1, [](const TMachine& M) -> int64_t { return !M.TrayClosed(); }},
        {"TimerSync1", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerSync1) != 0; }},
        {"TimerSync2", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerSync2) != 0; }},
        {"TimerSync3", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerSync3) != 0; }},
        {"TimerB1", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerB1) != 0; }},
        {"TimerB2", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerB2) != 0; }},
        {"TimerB3", 1, [](const TMachine& M) -> int64_t { return M.Interval(TimerB3) != 0; }},
        {"JackTimer", 1, [](const TMachine& M) -> int64_t { return M.Interval(JackTimer) != 0; }},
    }};
    using TValues = std::array<int64_t, Signals.size()>;

    static std::string Code(size_t Index) { return std::string(1, char('!' + Index)); }
    TValues Read() const {
        TValues Values{};
        for (size_t Index = 0; Index < Signals.size(); ++Index)
            Values[Index] = Signals[Index].Read(FTime.Machine());
        return Values;
    }
    // A moment is written once, before its first change.
    void Mark(int64_t Moment) {
        if (Moment == FMarked)
            return;
        FOut += '#' + std::to_string(Moment) + '\n';
        FMarked = Moment;
    }
    void Put(size_t Index) {
        const auto Value = static_cast<uint32_t>(FValues[Index]);
        if (Signals[Index].Width == 1) {
            FOut += Value ? '1' : '0';
        } else {
            std::string Bits;
            for (uint32_t Rest = Value; Rest != 0; Rest >>= 1)
                Bits.insert(Bits.begin(), char('0' + (Rest & 1)));
            FOut += 'b' + (Bits.empty() ? std::string("0") : Bits) + ' ';
        }
        FOut += Code(Index) + '\n';
    }

    const TVirtualTime& FTime;
    TValues FValues{};
    int64_t FMarked = 0;
};

// A program of Qt Core alone gets a Gui application for the drawing, on the offscreen platform:
// the companion draws with no display.
class TOffscreenGui {
public:
    TOffscreenGui() {
        if (QCoreApplication::instance() != nullptr)
            return;
        // Its start-up warnings (no runtime folder, say) are about a desktop the companion does
        // not use: they would only clutter the error stream that reports the session.
        const QtMessageHandler Previous =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        FApplication = std::make_unique<QGuiApplication>(Argc, Arguments.data());
        qInstallMessageHandler(Previous);
    }

private:
    inline static char Program[] = "slotmachine-cli";
    inline static char Platform[] = "-platform";
    inline static char Offscreen[] = "offscreen";
    inline static std::array<char*, 4> Arguments = {Program, Platform, Offscreen, nullptr};
    inline static int Argc = 3;
    std::unique_ptr<QGuiApplication> FApplication;
};

// The sequence chart as the window draws it, in the window's font, rendered as SVG once the
// session is over: the drawing needs the whole chart, so memory grows with the session.
class TSvgWriter final : public TTraceWriter {
public:
    TSvgWriter(TBufferedOut& Out, const TVirtualTime& Time)
        : TTraceWriter(Out), FDrawing(Time.Machine(), WindowFont()) {}
    void Write(const TRecordedStep& Step) override { FDrawing.Append({Step}); }
    void End(int64_t Now) override {
        TOutDevice Svg(FTraceOut);
        Svg.open(QIODevice::WriteOnly);
        FDrawing.Picture(0, QGuiApplication::palette(), -1, Now)
            .WriteSvg(Svg, QStringLiteral("Последовательность событий"));
    }

private:
    // The trace's output as a device, passed on as it comes; its failures are the output's own.
    class TOutDevice final : public QIODevice {
    public:
        explicit TOutDevice(TBufferedOut& Out) : FOut(Out) {}

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* Data, qint64 Size) override {
            FOut.Buffer().append(Data, static_cast<size_t>(Size));
            FOut.FlushWhenFull();
            // A reader that went away stops the drawing too.
            return FOut.WriteError() == 0 ? Size : -1;
        }

    private:
        TBufferedOut& FOut;
    };

    static QFont WindowFont() {
        QFont Font(QString::fromLatin1(WindowFontFamily));
        Font.setPixelSize(WindowFontPixels);
        return Font;
    }
    TOffscreenGui FGui; // before the drawing, which measures its font
    TSequenceDrawing FDrawing;
};

std::unique_ptr<TTraceWriter> WriterFor(TTraceFormat Format, TBufferedOut& Out, TStampAt& StampAt,
                                        const TVirtualTime& Time) {
    switch (Format) {
    case TTraceFormat::Jsonl:
        return std::make_unique<TJsonlWriter>(Out, StampAt);
    case TTraceFormat::Msc:
        return std::make_unique<TMscWriter>(Out, StampAt, Time.Machine());
    case TTraceFormat::Svg:
        return std::make_unique<TSvgWriter>(Out, Time);
    case TTraceFormat::Vcd:
        break;
    }
    return std::make_unique<TVcdWriter>(Out, Time);
}

} // namespace

std::optional<TTraceFormat> TraceFormatNamed(const QString& Name) {
    for (const TFormatName& Each : FormatNames)
        if (Name == QLatin1String(Each.Name))
            return Each.Format;
    return std::nullopt;
}

QString TraceFormatNames() {
    QStringList Names;
    for (const TFormatName& Each : FormatNames)
        Names << QLatin1String(Each.Name);
    const QString Last = Names.takeLast();
    return Names.join(u", ") + QStringLiteral(" и ") + Last;
}

TReplayOutcome Trace(const TScript& Script, const TReplayOptions& Options, TTraceFormat Format,
                     std::ostream& Out) {
    return Trace(Script, Options, Format, Out, TMachine());
}

TReplayOutcome Trace(const TScript& Script, const TReplayOptions& Options, TTraceFormat Format,
                     std::ostream& Out, const TMachine& StartUp) {
    TSession Session(StartUp, Script.Seed);
    TStepRecord Record(Session.Time());
    TBufferedOut Output(Out);
    TStampAt StampAt(Options.StartOf(Script), Options.Locale);
    const std::unique_ptr<TTraceWriter> Writer = WriterFor(Format, Output, StampAt, Session.Time());
    Writer->Begin();
    Session.Machine().AddObserver(Writer.get());
    const auto WriteFinished = [&] {
        for (const TRecordedStep& Step : Record.TakeFinished())
            Writer->Write(Step);
        Output.FlushWhenFull();
    };
    TReplayOutcome Outcome;
    for (const TCommand& Command : Script.Commands) {
        try {
            if (Command.Kind != TCommandKind::Show) {
                if (QString Refused = Session.Run(Command); !Refused.isEmpty()) {
                    Outcome = {ExitRefused, Command.Line, std::move(Refused), {}};
                    break;
                }
            }
            WriteFinished();
            // A reader that went away ends the trace at once, not after the whole script.
            if (Output.WriteError() != 0) {
                Outcome.Line = Command.Line;
                break;
            }
        } catch (const std::exception& Error) {
            Outcome = {ExitFault,
                       Command.Line,
                       QStringLiteral("машина выбросила исключение: %1")
                           .arg(QString::fromUtf8(Error.what())),
                       {}};
            break;
        }
    }
    Session.Machine().RemoveObserver(Writer.get());
    WriteFinished();
    Writer->End(Session.Time().Now());
    if (!Output.Flush())
        Outcome = {ExitOutput,
                   Outcome.Line,
                   QStringLiteral("не удаётся записать трассу в стандартный вывод: %1")
                       .arg(SystemReason(Output.WriteError())),
                   {}};
    return Outcome;
}

} // namespace sm
