#pragma once
// Run control: the start-up procedure and the program's entry.

// The button chosen in the confirmation box (host::kOk or host::kCancel).
extern int ConfirmResult;

// Loads the pin assignment, asks the user to place the carriages and confirm,
// and on OK drives the test rectangle and ends the program with status 0, or
// with 128 + signal when the drive was asked to stop (every line off then).
// Returns on Cancel, before any port output. Failures from loading and driving
// pass through.
void Main();

// The program's entry. With arguments (a console only): --help or -h prints
// what the program does, --version its version, each with status 0; anything
// else is named on standard error with status 64. Nothing is loaded then.
// Without arguments: runs Main and turns a Failure, or any standard exception
// (std::bad_alloc as OutOfMemory), into the failure report.
// Returns the exit status: 0 after Cancel, 1 after a failure report.
int RunProgram();
