// The slot machine beside the same window built from stock Qt widgets, seen from outside both
// processes through the X server: start until the window is mapped and painted, memory once shown,
// and processor time while the barrels spin. The stock window turns its three barrel pictures on
// one 60 Hz timer. Runs take the programs in turn, so that a slower moment of the machine hits all
// alike. A bare window is measured too, for context: empty with three bare timers, and with one
// line of text, the least that any window showing text pays for its fonts.
//
// With --chart the slot machine opens «Автоматы» (F2), its sequence chart in front, once its
// memory is read and before the barrels spin, so that the processor time includes the chart's.
//
//   SideBySide [--runs N] [--spin-seconds S] [--chart] <slotmachine> <stock-window> <bare-window>
#include "benchmarks/Figures.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int InsertKeysym = 0xff63;
constexpr int ReturnKeysym = 0xff0d;
constexpr int F2Keysym = 0xffbf;
constexpr double PaintTimeoutMs = 20000;
constexpr double SettleMs = 500;

struct TFigures {
    double StartMs = 0;
    double StartCpuMs = 0; // the processor time the start took, which others' load hardly changes
    double RssKb = 0;
    double CpuPercent = 0;
    int SpinRepaints = 0;
};

// Processor time of every thread of the process, in nanoseconds, from the scheduler's own count.
double CpuNs(pid_t Pid) {
    const std::string Tasks = "/proc/" + std::to_string(Pid) + "/task";
    double Total = 0;
    if (DIR* Dir = opendir(Tasks.c_str())) {
        while (const dirent* Entry = readdir(Dir)) {
            if (Entry->d_name[0] == '.')
                continue;
            std::ifstream Stat(Tasks + "/" + Entry->d_name + "/schedstat");
            double OnCpu = 0;
            if (Stat >> OnCpu)
                Total += OnCpu;
        }
        closedir(Dir);
    }
    return Total;
}

class TDisplay {
public:
    TDisplay() {
        FConnection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(FConnection))
            throw std::runtime_error("cannot open the display; run it under xvfb-run -a");
        FRoot = xcb_setup_roots_iterator(xcb_get_setup(FConnection)).data->root;
        const xcb_query_extension_reply_t* Damage =
            xcb_get_extension_data(FConnection, &xcb_damage_id);
        if (!Damage || !Damage->present)
            throw std::runtime_error("the X server has no DAMAGE extension");
        FDamageEvent = Damage->first_event;
        xcb_discard_reply(FConnection, xcb_damage_query_version(FConnection, 1, 1).sequence);
        const uint32_t Mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(FConnection, FRoot, XCB_CW_EVENT_MASK, &Mask);
        xcb_flush(FConnection);
        FInsert = Keycode(InsertKeysym);
        FReturn = Keycode(ReturnKeysym);
        FF2 = Keycode(F2Keysym);
    }
    ~TDisplay() { xcb_disconnect(FConnection); }
    TDisplay(const TDisplay&) = delete;
    TDisplay& operator=(const TDisplay&) = delete;

    TFigures Measure(const std::vector<const char*>& Command, double SpinSeconds,
                     bool OpenChart = false) {
        TFigures Figures;
        FWindows.clear();
        FShown = XCB_NONE;
        FPainted = false;
        FRepaints = 0;
        // A state folder of each run's own: a run killed after its moves leaves its session for
        // the next start to offer, which would then start with a question.
        const std::string State =
            std::string(std::getenv("XDG_STATE_HOME")) + "/run-" + std::to_string(++FStarts);
        mkdir(State.c_str(), 0700);
        const std::string Common = std::getenv("XDG_STATE_HOME");
        setenv("XDG_STATE_HOME", State.c_str(), 1);
        const double Start = MonotonicMs();
        std::vector<char*> Argv;
        Argv.reserve(Command.size() + 1);
        for (const char* Arg : Command)
            Argv.push_back(const_cast<char*>(Arg));
        Argv.push_back(nullptr);
        pid_t Pid = 0;
        const int Spawned = posix_spawn(&Pid, Argv[0], nullptr, nullptr, Argv.data(), environ);
        setenv("XDG_STATE_HOME", Common.c_str(), 1);
        if (Spawned != 0)
            throw std::runtime_error(std::string("cannot start ") + Argv[0]);
        try {
            while (!FPainted)
                Wait(Pid, Start + PaintTimeoutMs - MonotonicMs(), true);
            Figures.StartMs = MonotonicMs() - Start;
            Figures.StartCpuMs = CpuNs(Pid) / 1e6;
            WaitFor(Pid, SettleMs);
            Figures.RssKb = RssKb(Pid);
            if (OpenChart) {
                xcb_set_input_focus(FConnection, XCB_INPUT_FOCUS_POINTER_ROOT, FShown,
                                    XCB_CURRENT_TIME);
                Press(FF2);
                // Graphviz lays the diagrams out and the explorer, on a thread of its own, seeks
                // the rows no session takes: a few seconds of work, whose thread then ends and
                // would take its time out of the sum. The spin is measured once the program idles.
                for (int Round = 0; Round < 60; ++Round) {
                    const double Before = CpuNs(Pid);
                    WaitFor(Pid, SettleMs);
                    if ((CpuNs(Pid) - Before) / 1e6 < 0.1 * SettleMs)
                        break;
                }
            }

            xcb_set_input_focus(FConnection, XCB_INPUT_FOCUS_POINTER_ROOT, FShown,
                                XCB_CURRENT_TIME);
            // A token, then play: the barrels spin until play is pressed again.
            for (xcb_keycode_t Key : {FInsert, FReturn})
                Press(Key);
            WaitFor(Pid, SettleMs);
            FRepaints = 0;
            const double FromNs = CpuNs(Pid);
            const double From = MonotonicMs();
            WaitFor(Pid, SpinSeconds * 1000);
            Figures.CpuPercent = (CpuNs(Pid) - FromNs) / 1e6 / (MonotonicMs() - From) * 100;
            Figures.SpinRepaints = FRepaints;
        } catch (...) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
            throw;
        }
        kill(Pid, SIGTERM);
        waitpid(Pid, nullptr, 0);
        return Figures;
    }

private:
    void Press(xcb_keycode_t Key) {
        xcb_test_fake_input(FConnection, XCB_KEY_PRESS, Key, XCB_CURRENT_TIME, FRoot, 0, 0, 0);
        xcb_test_fake_input(FConnection, XCB_KEY_RELEASE, Key, XCB_CURRENT_TIME, FRoot, 0, 0, 0);
        xcb_flush(FConnection);
    }

    xcb_keycode_t Keycode(xcb_keysym_t Keysym) {
        const xcb_setup_t* Setup = xcb_get_setup(FConnection);
        const int Count = Setup->max_keycode - Setup->min_keycode + 1;
        xcb_get_keyboard_mapping_reply_t* Map = xcb_get_keyboard_mapping_reply(
            FConnection, xcb_get_keyboard_mapping(FConnection, Setup->min_keycode, Count), nullptr);
        xcb_keycode_t Found = 0;
        if (Map) {
            const xcb_keysym_t* Syms = xcb_get_keyboard_mapping_keysyms(Map);
            for (int Key = 0; Key < Count && !Found; ++Key)
                if (Syms[static_cast<std::ptrdiff_t>(Key) * Map->keysyms_per_keycode] == Keysym)
                    Found = static_cast<xcb_keycode_t>(Setup->min_keycode + Key);
            std::free(Map);
        }
        if (!Found)
            throw std::runtime_error("the keyboard has no key for a keysym the benchmark presses");
        return Found;
    }

    void WaitFor(pid_t Pid, double Ms) {
        const double Until = MonotonicMs() + Ms;
        for (double Left = Ms; Left > 0; Left = Until - MonotonicMs())
            Wait(Pid, Left, false);
    }

    // Handles the X events that arrive within Ms; throws when the program ends or, if Needed, when
    // nothing arrives in time.
    void Wait(pid_t Pid, double Ms, bool Needed) {
        if (waitpid(Pid, nullptr, WNOHANG) == Pid)
            throw std::runtime_error("the program ended before it was measured");
        if (Needed && Ms <= 0)
            throw std::runtime_error("no window was painted in time");
        pollfd Fd{xcb_get_file_descriptor(FConnection), POLLIN, 0};
        poll(&Fd, 1, std::max(1, static_cast<int>(Ms)));
        while (xcb_generic_event_t* Event = xcb_poll_for_event(FConnection)) {
            Handle(Event);
            std::free(Event);
        }
        if (xcb_connection_has_error(FConnection))
            throw std::runtime_error("the connection to the display broke");
    }

    void Handle(const xcb_generic_event_t* Event) {
        const int Type = Event->response_type & 0x7f;
        if (Type == XCB_CREATE_NOTIFY) {
            // Watch every top-level window from its creation, before anything can draw in it.
            const auto* Created = reinterpret_cast<const xcb_create_notify_event_t*>(Event);
            if (Created->parent != FRoot)
                return;
            FWindows.insert(Created->window);
            xcb_damage_create(FConnection, xcb_generate_id(FConnection), Created->window,
                              XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
            xcb_flush(FConnection);
        } else if (Type == XCB_MAP_NOTIFY) {
            const auto* Mapped = reinterpret_cast<const xcb_map_notify_event_t*>(Event);
            if (FShown == XCB_NONE && FWindows.contains(Mapped->window))
                FShown = Mapped->window;
        } else if (Type == FDamageEvent + XCB_DAMAGE_NOTIFY) {
            const auto* Damage = reinterpret_cast<const xcb_damage_notify_event_t*>(Event);
            if (FShown != XCB_NONE && Damage->drawable == FShown) {
                FPainted = true;
                ++FRepaints;
            }
        }
    }

    xcb_connection_t* FConnection = nullptr;
    xcb_window_t FRoot = XCB_NONE;
    uint8_t FDamageEvent = 0;
    xcb_keycode_t FInsert = 0;
    xcb_keycode_t FReturn = 0;
    xcb_keycode_t FF2 = 0;
    std::set<xcb_window_t> FWindows;
    xcb_window_t FShown = XCB_NONE;
    bool FPainted = false;
    int FRepaints = 0;
    int FStarts = 0;
};

// A session bus of the benchmark's own, as a desktop has one (what dbus-run-session starts).
class TSessionBus {
public:
    TSessionBus() {
        FPipe = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        char Address[512] = {};
        char Pid[32] = {};
        if (!FPipe || !std::fgets(Address, sizeof Address, FPipe) ||
            !std::fgets(Pid, sizeof Pid, FPipe))
            throw std::runtime_error("cannot start a session bus (dbus-daemon --session)");
        Address[std::strcspn(Address, "\n")] = 0;
        FPid = static_cast<pid_t>(std::atoi(Pid));
        setenv("DBUS_SESSION_BUS_ADDRESS", Address, 1);
    }
    ~TSessionBus() {
        if (FPid > 0)
            kill(FPid, SIGTERM);
        if (FPipe)
            pclose(FPipe);
    }
    TSessionBus(const TSessionBus&) = delete;
    TSessionBus& operator=(const TSessionBus&) = delete;

private:
    FILE* FPipe = nullptr;
    pid_t FPid = 0;
};

constexpr int Count = 4;
const char* const Names[Count] = {"slotmachine", "stock Qt", "bare Qt", "one label"};

// Every program measured Runs times in turn; the figures and the goals printed.
void MeasureAll(TDisplay& Display, const std::vector<const char*> (&Programs)[Count], int Runs,
                double SpinSeconds, bool OpenChart, const char* Bus) {
    // One unmeasured start of each fills the file and font caches for all.
    for (const auto& Program : Programs)
        Display.Measure(Program, 0.5);
    std::vector<double> Start[Count], StartCpu[Count], Rss[Count], Cpu[Count], Repaints[2];
    for (int Run = 0; Run < Runs; ++Run) {
        for (int Turn = 0; Turn < Count; ++Turn) {
            // Which one goes first changes every run.
            const int Which = (Run + Turn) % Count;
            const TFigures Figures =
                Display.Measure(Programs[Which], SpinSeconds, OpenChart && Which == 0);
            // Both windows with barrels must show them turning, or the CPU compares nothing.
            if (Which < 2 && Figures.SpinRepaints == 0)
                throw std::runtime_error(std::string("the barrels did not spin in ") +
                                         Names[Which] + ": no repaint after the keys");
            Start[Which].push_back(Figures.StartMs);
            StartCpu[Which].push_back(Figures.StartCpuMs);
            Rss[Which].push_back(Figures.RssKb / 1024);
            Cpu[Which].push_back(Figures.CpuPercent);
            if (Which < 2)
                Repaints[Which].push_back(Figures.SpinRepaints / SpinSeconds);
        }
    }
    std::printf("%s: medians of %d runs each, in turn%s\n", Bus, Runs,
                OpenChart ? "; slotmachine with its sequence chart open" : "");
    std::printf("%-32s", "");
    for (const char* Name : Names)
        std::printf(" %12s", Name);
    std::printf("\n");
    const auto Row = [](const char* What, const std::vector<double>* Values) {
        std::printf("%-32s", What);
        for (int Which = 0; Which < Count; ++Which)
            std::printf(" %12.2f", Median(Values[Which]));
        std::printf("\n");
    };
    Row("start to painted window, ms", Start);
    Row("processor time to painted, ms", StartCpu);
    Row("RSS once shown, MB", Rss);
    Row("CPU while spinning, %", Cpu);
    std::printf("%-32s %12.0f %12.0f\n", "repaints a second, spinning", Median(Repaints[0]),
                Median(Repaints[1]));
    const auto Ratio = [](const std::vector<double>* Values, int Base) {
        return Median(Values[0]) / Median(Values[Base]);
    };
    std::printf("ratios against the bare window, for context: start %.2f x, RSS %.2f x, "
                "CPU %.2f x; against the one-label window: start %.2f x, RSS %.2f x\n",
                Ratio(Start, 2), Ratio(Rss, 2), Ratio(Cpu, 2), Ratio(Start, 3), Ratio(Rss, 3));
    const bool StartMet = Ratio(Start, 1) <= 1.05;
    const bool StartCpuMet = Ratio(StartCpu, 1) <= 1.05;
    const bool RssMet = Ratio(Rss, 1) <= 1.05;
    const bool CpuMet = Ratio(Cpu, 1) <= 1.3;
    const std::string Against = std::string(", against the stock window, ") + Bus;
    Report(("start" + Against).c_str(), Ratio(Start, 1), "x", "<= 1.05 x", StartMet);
    Report(("processor time to painted" + Against).c_str(), Ratio(StartCpu, 1), "x", "<= 1.05 x",
           StartCpuMet);
    Report(("RSS once shown" + Against).c_str(), Ratio(Rss, 1), "x", "<= 1.05 x", RssMet);
    Report(("CPU while spinning" + Against).c_str(), Ratio(Cpu, 1), "x", "<= 1.3 x", CpuMet);
}

} // namespace

int main(int Argc, char** Argv) {
    int Runs = 7;
    double SpinSeconds = 3;
    bool OpenChart = false;
    std::string Buses = "both";
    int Arg = 1;
    for (; Arg + 1 < Argc && Argv[Arg][0] == '-'; Arg += 2) {
        if (std::strcmp(Argv[Arg], "--chart") == 0) {
            OpenChart = true;
            --Arg; // it takes no value
        } else if (std::strcmp(Argv[Arg], "--runs") == 0)
            Runs = std::max(1, std::atoi(Argv[Arg + 1]));
        else if (std::strcmp(Argv[Arg], "--spin-seconds") == 0)
            SpinSeconds = std::max(0.5, std::atof(Argv[Arg + 1]));
        else if (std::strcmp(Argv[Arg], "--bus") == 0)
            Buses = Argv[Arg + 1];
        else
            break;
    }
    if (Argc - Arg != 3 || (Buses != "none" && Buses != "session" && Buses != "both")) {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--spin-seconds S] [--bus none|session|both] [--chart] "
                     "<slotmachine> <stock-window> <bare-window>\n",
                     Argv[0]);
        return 2;
    }
    // Qt warns on every start without a runtime folder; give the programs one of their own.
    char Runtime[] = "/tmp/side-by-side-XXXXXX";
    const bool OwnRuntime = !std::getenv("XDG_RUNTIME_DIR") && mkdtemp(Runtime);
    if (OwnRuntime)
        setenv("XDG_RUNTIME_DIR", Runtime, 1);
    // The program keeps its session in a recovery file and its scale in its settings: folders of
    // the benchmark's own, so that no run finds what another left, and none is offered at start.
    char State[] = "/tmp/side-by-side-state-XXXXXX";
    char Config[] = "/tmp/side-by-side-config-XXXXXX";
    if (mkdtemp(State))
        setenv("XDG_STATE_HOME", State, 1);
    if (mkdtemp(Config))
        setenv("XDG_CONFIG_HOME", Config, 1);
    int Status = 0;
    const std::vector<const char*> Programs[Count] = {
        {Argv[Arg]}, {Argv[Arg + 1]}, {Argv[Arg + 2]}, {Argv[Arg + 2], "--text"}};
    try {
        TDisplay Display;
        // No bus reachable, then on a session bus of its own, as on a desktop.
        if (Buses != "session") {
            setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
            MeasureAll(Display, Programs, Runs, SpinSeconds, OpenChart, "no session bus");
        }
        if (Buses != "none") {
            const TSessionBus Bus;
            MeasureAll(Display, Programs, Runs, SpinSeconds, OpenChart, "on a session bus");
        }
    } catch (const std::exception& Error) {
        std::fprintf(stderr, "SideBySide: %s\n", Error.what());
        Status = 1;
    }
    if (OwnRuntime)
        rmdir(Runtime);
    // Killed at the end of each run, the program leaves its recovery files: they go with the
    // folder.
    const std::string Remove = std::string("rm -rf ") + State + " " + Config;
    if (std::system(Remove.c_str()) != 0)
        std::fprintf(stderr, "SideBySide: cannot remove %s and %s\n", State, Config);
    return Status;
}
