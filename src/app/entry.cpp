#include "app/app.h"
#include "platform/failure.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // First of all: from here on a stop signal cannot kill the program with a line left on.
    host::StartUp();
    try {
        return RunProgram(host::ProgramArguments(argc, argv));
    } catch (...) {
        // Not even a std::exception: still a report, never std::terminate.
        host::ReportFailure(FailureReportText({FailureKind::Unexpected, "unbekannte Ausnahme"}));
        return 1;
    }
}
