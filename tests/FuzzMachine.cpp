// libFuzzer entry points: every input is a sequence of actions played on a fresh window.
#include "tests/ActionInterpreter.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

TActionInterpreter* Interpreter = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The widgets need an application; Qt may rewrite its arguments, so it gets its own.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int Argc = 1;
    static char Name[] = "FuzzMachine";
    static char* Argv[] = {Name, nullptr};
    // Never destroyed: the process ends inside libFuzzer, with the application still in use.
    new QApplication(Argc, Argv);
    Interpreter = new TActionInterpreter;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const TMachineActions Actions = DecodeActions({Data, Size});
    const TFailure Failure = Interpreter->Run(Actions);
    if (!Failure)
        return 0;
    const size_t Step = static_cast<size_t>(Failure.Step);
    std::fprintf(stderr, "broken invariant after step %zu (%s): %s\n", Step,
                 Step < Actions.size() ? qPrintable(ActionText(Actions[Step])) : "closing",
                 qPrintable(Failure.What));
    const TMachineActions Short = ShrinkFailure(Actions);
    std::fprintf(stderr,
                 "shrunk, for regressions_data():\n    QTest::newRow(\"fuzz\") << "
                 "QStringLiteral(\"%s\");\n",
                 qPrintable(ActionsText(Short)));
    std::abort();
}
