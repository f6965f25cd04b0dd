// libFuzzer entry point: every input is a sequence of actions played on a fresh machine in
// virtual time.
#include "tests/ActionInterpreter.h"

#include <cstdio>
#include <cstdlib>

using namespace sm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // One interpreter for the whole run: each input starts a fresh machine in it.
    static TActionInterpreter Interpreter;
    const TMachineActions Actions = DecodeActions({Data, Size});
    const TFailure Failure = Interpreter.Run(Actions);
    if (!Failure)
        return 0;
    std::fprintf(stderr, "broken invariant after step %d (%s): %s\n", Failure.Step,
                 qPrintable(ActionText(Actions[static_cast<size_t>(Failure.Step)])),
                 qPrintable(Failure.What));
    std::fprintf(stderr,
                 "shrunk, for regressions_data():\n    QTest::newRow(\"fuzz\") << "
                 "QStringLiteral(\"%s\");\n",
                 qPrintable(ActionsText(ShrinkFailure(Actions))));
    std::abort();
}
