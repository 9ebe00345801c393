#pragma once
// Run control: the start-up procedure and the program's entry.

#include <string>
#include <vector>

// The button chosen in the confirmation box (host::kOk or host::kCancel).
extern int ConfirmResult;

// Loads the pin assignment, asks the user to place the carriages and confirm,
// and on OK drives the test rectangle. Returns the program's status: 0 after
// Cancel (before any port output) and after the drive, 3 when a stop input
// stopped the drive or kept it from beginning, 128 + signal when the drive was
// asked to stop (every line off then). Failures from loading and
// driving pass through.
int Main();

// The program's entry, given the words after the program's name. With
// arguments: --help or -h prints what the program does, --version its
// version, each with status 0; anything else is named on standard error with
// status 64. Nothing is loaded then. Without arguments: runs Main; shows the
// "Datei fehlt!" message for a missing pin assignment (status 2) and the
// failure report for any other Failure or standard exception (std::bad_alloc
// as OutOfMemory; status 1). Returns the exit status.
int RunProgram(const std::vector<std::string>& arguments);
