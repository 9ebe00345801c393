#include "app/app.h"
#include "platform/failure.h"
#include "platform/platform.h"

int main() {
    try {
        return RunProgram();
    } catch (...) {
        // Not even a std::exception: still a report, never std::terminate.
        host::ReportFailure(FailureReportText({FailureKind::Unexpected, "unbekannte Ausnahme"}));
        return 1;
    }
}
