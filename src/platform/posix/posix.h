#pragma once
// What the parts of the Linux host share; callers see only platform.h.

#include <csignal>
#include <string>

namespace host::posix {

constexpr char kEsc = '\x1b';
constexpr char kCtrlC = 3;
constexpr char kCtrlBackslash = 0x1c;
constexpr char kCtrlD = 4;
constexpr char kCtrlZ = 0x1a;

// The bytes of an escape sequence (arrow keys, function keys) follow its Esc
// at once; a terminal over a slow link may spread them over some milliseconds.
// At a box, an Esc with nothing after it for this long is the Esc key itself.
constexpr int kEscapeSequenceMs = 50;

// ---- signals.cpp: stop signals -----------------------------------------------------

// The first signal that asked the program to stop, or 0. Set by the handlers
// of every signal that signals.cpp lists as a stop (from the start, and
// SIGTSTP during the drive) and by keys read at the terminal; acted on at the
// next safe point.
extern volatile std::sig_atomic_t StopSignal;
void RecordStopSignal(int signal);

// The signals that ask to stop during the drive.
sigset_t StopSignalSet();

// During the drive SIGTSTP stops it with every line off instead of suspending
// the program with a line on, and SIGTTIN and SIGTTOU are ignored, so that a
// key read or a progress line written from the background (stty tostop)
// cannot suspend it either; afterwards they act as before.
void CatchDriveSignals(bool catchIt);

// ---- terminal.cpp: the terminal's key modes ---------------------------------------

// Keys one by one, without echo and without flow control (Ctrl+S and Ctrl+Q
// are keys like any other); a read waits for at least `minimum` bytes
// (0: returns at once). With keySignals, Ctrl+C, Ctrl+\ and Ctrl+Z raise their
// signals; without, they arrive as bytes. Discards what was typed before.
// False when standard input is no terminal.
bool KeyMode(unsigned char minimum, bool keySignals);

// Back to the terminal as it was, dropping what was typed meanwhile.
void RestoreTerminal();

// During the drive, standard input is a terminal in key mode without signals;
// ReadDriveKeys then reads what was typed, at most every 10 ms: a stop key, or
// an Esc that ends what was read, records SIGINT; everything else is dropped.
extern bool DriveKeys;
void ReadDriveKeys();

// Keys have arrived: the next ReadDriveKeys reads them, however soon it comes.
void KeysArrived();

// At a box, a stop ends the program (128 + signal): nothing has been written.
void EndIfStopped();

// Whether input arrives within ms; ends the program on a stop meanwhile.
bool InputWithin(int ms);

// One byte of standard input, waiting for it; EOF at its end. Ends the program
// on a stop meanwhile.
int ReadByte();

// ---- console.cpp: the progress line --------------------------------------------------

// Decides once whether the drive shows a progress line (standard error is a
// terminal), before the port library is loaded; keysRead says whether Esc is
// read, for the hint in the line.
void PrepareProgressLine(bool keysRead);

// ---- process.cpp: the clock and the drive's scheduling -------------------------------

// The monotonic clock, in milliseconds.
double MonotonicMs();

// For the drive, from BeginDrive, the one place that decides its class:
// nothing in a real-time class (chrt), which already serves it; else SCHED_RR
// at priority 10 where the process may set it itself (root, CAP_SYS_NICE, an
// RLIMIT_RTPRIO of 10, or less for a lower priority), with RLIMIT_RTTIME's
// soft limit lowered to 200 ms first; else nice -10 as far as allowed, with a
// short scheduler slice; and where the nice value cannot be lowered at all,
// SCHED_RR from rtkit over the system bus, within a second. Never a failure:
// refused, the drive runs with the slice alone, and RealTimeRefused says why
// rtkit gave nothing. RestorePriority, from EndDrive, puts policy, priority,
// nice value, slice and RLIMIT_RTTIME back as they were (a hard limit lowered
// for rtkit stays lowered where only root could raise it again).
void RaisePriority();
void RestorePriority();
extern std::string RealTimeRefused;  // "" when rtkit was not asked or granted

// ---- wait.cpp: the timer of the pause's waits, for the drive --------------------------

// A timer slack of 1 ns for the drive, so that a wait ends when asked; put back after.
void OpenWaitTimer();
void CloseWaitTimer();

}  // namespace host::posix
