#include "app/app.h"

#include <exception>
#include <new>

#include "config/pin_assignment.h"
#include "drive/drive.h"
#include "platform/failure.h"
#include "platform/platform.h"

int ConfirmResult = 0;

void Main() {
    LoadPinAssignment();
    // The text names 100 steps whatever the file says: it is the wording users know.
    ConfirmResult = host::ShowMessageBox(
        "Es wird ein Rechteck gefahren mit jeweils 100 Motorschritten nach vorne und 100 Motorschritten nach "
        "rechts!\r"
        "Bitte die Schlitten passend Positionieren , auch die Z-Achse , das geplottet werden kann und auf [OK] "
        "drücken !",
        "Tormal fahren", host::Buttons::OkCancel, host::Icon::None);
    if (ConfirmResult == host::kCancel) return;
    // A stop asked for during the drive ends the program as the signal would
    // have, once every line is off again.
    const int stop = DriveTestRectangle();
    host::EndProgram(stop == 0 ? 0 : 128 + stop);
}

int RunProgram() {
    try {
        Main();
    } catch (const Failure& failure) {
        // Every failure of the drive comes before its first port write (the address
        // and the step count read the same text each time), so no line is left on.
        host::ReportFailure(FailureReportText(failure));
        return 1;
    } catch (const std::bad_alloc&) {
        // The memory the failed request wanted is free again; the report is short.
        host::ReportFailure(FailureReportText(
            {FailureKind::OutOfMemory, "Das Programm hat nicht genug Arbeitsspeicher bekommen."}));
        return 1;
    } catch (const std::exception& error) {
        host::ReportFailure(FailureReportText({FailureKind::Unexpected, QuoteForReport(error.what())}));
        return 1;
    }
    return 0;
}
