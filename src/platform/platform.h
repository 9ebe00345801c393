#pragma once
// The host operations that the program calls. One implementation per host is
// linked in: posix/ on Linux, win32/ on Windows, and a recording fake in the
// unit tests. Operations that can fail throw a Failure (platform/failure.h).

#include <cstdint>
#include <string>
#include <vector>

#include "port_library.h"
#include "way/plan.h"

namespace host {

// ---- Message box ------------------------------------------------------------

enum class Buttons : std::uint8_t { Ok, OkCancel };  // with OkCancel, OK is the default button
enum class Icon : std::uint8_t { None, Critical };

constexpr int kOk = 1;
constexpr int kCancel = 2;

// Shows a modal message box and returns the button chosen: kOk or kCancel.
// Closing the box without choosing (Esc, the close button, the end of input on
// a console) gives kCancel. Lines of text are joined by a carriage return ('\r').
// Texts are UTF-8. Nothing typed before the box appears answers it.
// On a console, a request to stop (Ctrl+C, Ctrl+\, or a stop signal such as SIGTERM) while the box waits
// ends the program at once with status 128 + signal, the terminal as it was:
// the answer is OK or Cancel, and any answer but Cancel counts as OK, so a stop
// cannot travel back through it. No box is ever shown after the first port
// write, so nothing is on then.
int ShowMessageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon);

// ---- Files ------------------------------------------------------------------

// The path of the file with this name in the directory that holds the running
// executable (never the working directory).
std::string PathInProgramDirectory(const std::string& name);

// Whether an ordinary file is found at path; a directory of that name is not one.
bool IsOrdinaryFile(const std::string& path);

struct TextFile;

// Opens a file for reading line by line. Throws FileCannotBeOpened with the path
// and the system's reason.
TextFile* OpenTextFile(const std::string& path);

// Reads the next line, without its line end, bytes as they are. Lines end with
// CR LF or a bare LF; a last line may lack its line end; a UTF-8 byte-order mark
// before the first line is skipped. Returns false at the end of the file.
bool ReadTextLine(TextFile* file, std::string& line);

void CloseTextFile(TextFile* file);

// ---- The wiring, before anything moves ----------------------------------------

// The expected way as a picture shows it: its plan (the rising edge's way,
// planned once for every drawing of it), with where the carriages should stand
// after 0, 1, ... 4 sides as plan.also.
struct WayPicture {
    way::PicturePlan plan;
    long long perSide = 0;  // steps a side, for where they should stand during the drive
};

// What the program made of the wiring file, each fact in the user's words.
struct WiringFacts {
    std::string path;  // where the file was read
    struct Axis {
        std::string step, dir;  // "Pin 2 (D0)", "Pin 12 (keine Datenleitung)"
    } x, y, z;
    std::string port;       // "Port 888 (0x378)", or "Port „LPT1“ (keine gültige Adresse)"
    std::string portShort;  // "Port 0x378", or as port when it is no address
    std::string steps;      // "100 Schritte je Seite, 400 Schritte in etwa 6 s"
    // "Eingang Pin 11 (BUSY): Endschalter X rechts, hält an bei 0", one for each stop input
    std::vector<std::string> inputs;
    // The same in one line, for a window short of room: "Stoppeingänge: Pin 11 „Endschalter X rechts“
    // bei 0, …"; empty for none
    std::string inputsLine;
    std::vector<std::string> warnings;  // "Achtung: …", one for each thing that cannot work as meant
    // "Erwarteter Weg: …", and "Signal: …" where a step is not clean for the
    // driver; none when the step count cannot be read.
    std::vector<std::string> way;
    WayPicture picture;
};

// Tells the user what the program made of the wiring file, and the way the
// machine should take, each host in its own layout, before the confirmation.
// On a console, on standard output at once: "Verdrahtung aus <path>:", a line
// for each axis, the port and the steps, the stop inputs, the warnings, then the way's lines. On
// Windows, whose confirmation keeps its fixed text, in the program's window,
// which opens here titled "Testfahrt vorbereiten" and stays until the program
// ends: the pins and the port in one line ("X: Pin 2 (D0) / Pin 3 (D1) · Y: …
// · Port 0x378") with the stop inputs' line below it, the warnings, the way's lines and the way as a picture. The
// boxes from then on are owned by the window; the confirmation stands beside
// the picture. Throws WindowCannotBeOpened when the window cannot be opened.
void ShowWiring(const WiringFacts& wiring);

// ---- Time and events --------------------------------------------------------

// A monotonic clock in milliseconds with a fractional part. Unaffected by the
// time of day, midnight and daylight-saving changes; only differences count.
double ClockMilliseconds();

// The drive's start, after the confirmation and before the first port write,
// and its end, however it ends (done, stopped, or failed before any further
// box). In between, the host shows the drive and listens for a stop:
// - Windows: the program's window becomes "Testfahrt läuft", with the progress,
//   a button „Anhalten“ and on the picture where the carriages should be; Esc,
//   Enter, space, the button and closing the window ask to stop. Keys pressed
//   before the drive began (the one that answered the confirmation) count for nothing.
// - Linux at a terminal: keys are not echoed, and what is typed is read and
//   dropped, so that it never reaches the shell; Esc, Ctrl+C, Ctrl+\ and Ctrl+Z
//   ask to stop. SIGTSTP asks to stop instead of suspending the program.
// EndDrive gives the terminal back as it was; the window stays, for the boxes after the drive.
void BeginDrive(long long totalSteps);
void EndDrive();

// The SCHED_RR priority the drive takes on Linux where it may, and the nice
// value it asks for where it may not, as far as the program may go.
constexpr int kDriveRealTimePriority = 10;
constexpr int kDriveNice = -10;

// Waits until an event arrives for the program (a key at the terminal, a
// message for the drive window, a stop signal) or until shortly before
// deadlineMs on the clock of ClockMilliseconds, whichever comes first; the
// event itself is left to the next ProcessPendingEvents. How long before the
// deadline the wait ends is the host's own rule, fitted to how precisely its
// timer wakes; the rest is the caller's to spin. Returns false, at once and
// without waiting, when the deadline is already nearer than that.
bool WaitForEvents(double deadlineMs);

// One pass over the events pending for the program. Returns 0, or the number
// of the signal that asks the program to stop: SIGINT (2) for a stop key or
// the drive window, SIGTERM (15) for the end of the Windows session, on Linux
// any signal that StartUp made a stop, such as SIGTERM, SIGHUP (1), SIGQUIT
// (3), SIGXCPU (24) and, during the drive, SIGTSTP (20). Once asked, every
// later pass returns it again.
int ProcessPendingEvents();

// ---- Start-up and console -----------------------------------------------------

// The first thing the program does: on Linux, installs the handlers that turn
// every signal whose default would end the program into a request to stop, or
// ignore it where only output would fail (SIGPIPE, SIGXFSZ), so that no signal
// but SIGKILL and a fault ends the program with a line left on
// (posix/signals.cpp lists them). Nothing on Windows.
void StartUp();

// The words given after the program's name, from main's argc and argv. The
// Windows program reads none and returns none.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Shows how far the drive is, e.g. "Seite 2/4 nach rechts: Schritt 37 von 100"
// after stepsDone of the totalSteps given to BeginDrive: in the drive window
// with a progress bar, or as one line on a terminal (never on a non-terminal),
// updated a few times a second at most. Cheap enough to call after every step.
void ShowProgress(const std::string& text, long long stepsDone);


enum class Channel : std::uint8_t { Output, Error };

// A line for the user at a console: on standard output how a run ended, on
// standard error what stopped it. The Windows program has no console; its
// boxes say all there is, and this shows nothing. A progress line on the
// terminal gives way to it.
void ConsoleLine(Channel channel, const std::string& text);

// Says how a drive left alone ended ("Fertig: …"), after EndDrive: a line on
// standard output; on Windows the drive window's progress line, in which it
// stands until the program ends.
void ReportDone(const std::string& text);

// Says how far a stopped drive came, after EndDrive: a line on standard error,
// on Windows a box "Testfahrt abgebrochen" with OK.
void ReportStop(const std::string& text);

// After a drive that ended without a failure, done or stopped, once its end
// has been said: on Windows the window stays, titled "Testfahrt beendet", with
// the end's words, the port library, all that the drive noted, the inputs and a
// button „Schließen“. Each call waits up to waitMs for the user, and returns
// whether the window still stands: Enter, Esc, the button and the close button
// close it, as does the end of the Windows session. A console has nothing that
// stays: false at once.
bool EndShown(double waitMs);

// A finding about the port during the drive (lines that stood high before the
// first write, an input that changed), between pulses: a line on standard
// error that the progress line gives way to, left out where the terminal
// takes no output now, as the progress line is; on Windows a line in the drive
// window, below the port library's name, from the next event pass on.
void ShowPortNote(const std::string& text);

// The five inputs as the drive last read them, with where each changed
// ("Eingänge: …", a line for each input), whenever that changes: on Windows
// live in the drive window, above the port library's name; at a console only
// with `end`, after EndDrive, as lines on standard output.
void ShowInputs(const std::string& text, bool end);

// A place on the picture of the way, where the carriages should be after
// stepsDone, named with what an input did there ("Endschalter X rechts
// ausgelöst"): on Windows marked on the window's picture; nothing at a console.
void MarkOnWay(long long stepsDone, const std::string& name);

// Says after EndDrive, done or stopped, that steps came late ("Achtung: 3 von
// 400 Schritten kamen …"), with the host's advice: a line on standard error
// that points to --help; on Windows, whose ConsoleLine shows nothing, a box
// "Testfahrt: Schritte zu spät" with OK and the warning icon.
void ReportLateSteps(const std::string& text);

// ---- Failures ---------------------------------------------------------------

// Shows the failure report: the kind's German name and the detail. Does not end
// the program; the entry point does that.
void ReportFailure(const std::string& report);

// ---- Port -------------------------------------------------------------------

// The data-line bits that carry the drive's six signals, as its patterns use
// them; 0 for a pin off the data lines (ports/port_library.h).
using SignalBits = port::SignalBits;

// Keeps the bits for the port library: once it is bound, and before its first
// write, a library that exports SetSignalBits (the simulated port, which draws
// the way from them) is handed them, in the order of the fields. A library
// without that export (the real ones) is used as before. Loads nothing.
void SetSignalBits(const SignalBits& bits);

// Writes value to the I/O port at address through the port library's Out32.
// The library is bound at the first call of Out32 or Inp32 and kept. Throws PortLibraryNotFound
// when there is none at any place searched (naming a 64-bit inpoutx64.dll
// that lies beside the program instead), PortLibraryNotLoadable when one is
// there but does not load (the file, and whether it is of the other word size
// or processor, no library at all, or lacks a library it needs), and
// EntryPointNotFound when it has no Out32, each with the library's name and
// the system's message; on Windows
// PortDriverNotOpen when the library says through IsInpOutDriverOpen that its
// kernel driver is not open, with what to do. Nothing is written then.
// PortFailed, after the call, when the library says through PortError that it
// failed (the ppdev library: a port it cannot claim, a write that failed).
void Out32(short address, short value);

// Writes 0 where the last Out32 went, unless it wrote 0; nothing before the
// first write, nor where the library did not load. Never fails: a failure of
// the library's Out32 here is not reported, nor is the 0 read back. For a drive
// that ends in a failure, which is then the one reported, and for the end of
// the Windows session, which cannot wait for the drive's next pause.
void SwitchPortOff();

// What the I/O port at address reads, through the port library's Inp32: its
// data lines in the low eight bits (0 to 255), or kCannotRead when the library
// has no Inp32. Binds the library as Out32 does, with Out32's failures. Reads
// the data register alone, never the control or an ECP register.
constexpr int kCannotRead = -1;
int Inp32(short address);

// What the status register of the port at address reads: the library's Inp32
// of address + 1, the byte as the register holds it (port/connector.h says
// which bit is which input pin), or kCannotRead when the library has no
// Inp32. Binds the library as Out32 does, with Out32's failures.
int ReadStatus(short address);

// Where the user finds the port's right address on this system, for a port that
// reads back 255 at the address in the file: on Windows the way through Device
// Manager, on Linux the ports the kernel knows. A paragraph of text.
std::string PortAddressHelp();

// What to do when the port library's driver does not work, so that nothing
// reaches the connector (a port that reads back 0 or its address' low byte, an
// inpout32.dll that says its driver is not open). A paragraph beginning „Abhilfe:“.
std::string PortDriverHelp();

}  // namespace host
