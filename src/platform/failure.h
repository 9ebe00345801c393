#pragma once
// The one exception type of the program. Every failure except the missing pin
// assignment file travels as a Failure from where it happens to the program's
// entry point, which shows the failure report and ends the program.

#include <cstdint>
#include <string>

enum class FailureKind : std::uint8_t {
    FileCannotBeOpened,   // the pin assignment file vanished after the existence test, or access is refused
    InputPastEndOfFile,   // the pin assignment file has fewer than 24 lines
    TypeMismatch,         // a value that must be a number is not one (empty text included)
    Overflow,             // a number beyond the range of the field that holds it
    SubscriptOutOfRange,  // a pin number outside 0..17
    PortLibraryNotFound,  // no port library at any place searched at the first port write
    PortLibraryNotLoadable,  // a port library is there but cannot be loaded (detail: the file and why)
    EntryPointNotFound,   // the port library has no Out32
    PortInUse,            // another copy of the program drives the same port (detail: the port, what to do)
    PortDriverNotOpen,    // the port library is loaded, but says its kernel driver is not open: no write would
                          // reach the connector
    PortFailed,           // the port library says a write or read failed, or the port cannot be had (detail:
                          // its words: the address, the device, the reason, the ports there are)
    PortRejectsValues,    // the port read back another value than the drive wrote (detail: the port, both
                          // values, the lines that differ, the likely cause and what to do)
    InputsCannotBeRead,   // the wiring file names stop inputs, and the port library has no Inp32 to read them
    OutOfMemory,          // a request for memory failed (a line of hundreds of megabytes)
    WindowCannotBeOpened, // the system refused the drive window, without which no stop could be asked for
    PinAssignmentMissing, // no "Pinbelegung.txt" beside the program (detail: the path searched); not a
                          // failure report: the entry point shows the program's own "Datei fehlt!" message
    Unexpected,           // any other exception: a fault of the program, never of the user's file
};

struct Failure {
    FailureKind kind;
    std::string detail;  // where it happened and what was read, in German, for the user
};

// The kind's German name as the failure report shows it, e.g. "Typen unverträglich".
const char* FailureKindName(FailureKind kind);

// The failure report's text: the kind's name on the first line, the detail on the second.
std::string FailureReportText(const Failure& failure);

// Text read from a file or the environment, made fit to stand inside „…“ in a report:
// control bytes and bytes that are not UTF-8 are shown as \xNN, and a long text is cut
// after 40 characters with "…", so that a broken file cannot garble the report.
std::string QuoteForReport(const std::string& text);

// Text read from a file, fit to show as a name in a line: blanks around it
// left out, UTF-8 as it is, other bytes from 0xA0 on read as Latin-1 (the
// German letters of the Windows code page the file is written in), control
// bytes as "?", cut after 40 characters with "…".
std::string TextToShow(const std::string& text);
