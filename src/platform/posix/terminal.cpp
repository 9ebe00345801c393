// The terminal during the program: key modes for the boxes and the drive, and
// the keys read during the drive.

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/platform.h"
#include "platform/posix/posix.h"

namespace host::posix {

namespace {

// How long a box waits for a key before it looks for a stop signal again, in ms.
constexpr int kStopCheckMs = 50;

// How often the drive looks at the terminal, in milliseconds: a poll() that
// returns at once costs about a microsecond, nothing next to a 15 ms pause,
// and Esc is still answered within a step.
constexpr double kKeyPollMs = 10;

termios SavedTerminal{};
bool TerminalChanged = false;

double NextKeyPollMs = 0;

}  // namespace

bool DriveKeys = false;

void ReadDriveKeys() {
    const double now = MonotonicMs();
    if (now < NextKeyPollMs) return;
    NextKeyPollMs = now + kKeyPollMs;
    char keys[64];
    // poll() first: read() of an empty terminal waits for the kernel's input
    // worker, and made every pause 13 us longer (median 15.014 ms instead of
    // 15.001 ms in build/bench/step_timing on a pseudo-terminal).
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const ssize_t got = poll(&input, 1, 0) == 1 ? read(STDIN_FILENO, keys, sizeof keys) : 0;
    for (ssize_t i = 0; i < got; ++i) {
        // The terminal sends no signals during the drive: Ctrl+\ and Ctrl+Z
        // would kill or suspend the program with a line on. They stop it as Ctrl+C does.
        if (keys[i] == kCtrlC || keys[i] == kCtrlBackslash || keys[i] == kCtrlZ) RecordStopSignal(SIGINT);
        // An Esc that ends a read is the Esc key, and stops before the next
        // pulse: waiting to see whether a sequence follows would let pulses
        // out meanwhile. An arrow key's sequence arrives in one read and is
        // dropped; one split over a slow link stops the drive, the safe side.
        if (keys[i] == kEsc && i + 1 == got) RecordStopSignal(SIGINT);
        // Every other key is read only to be dropped: nothing typed now may
        // answer anything later, here or in the shell.
    }
}

void KeysArrived() { NextKeyPollMs = 0; }

void RestoreTerminal() {
    if (!TerminalChanged) return;
    // TCSAFLUSH: what was typed while the program ran must not reach the shell.
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedTerminal);
    TerminalChanged = false;
}

bool KeyMode(unsigned char minimum, bool keySignals) {
    if (isatty(STDIN_FILENO) == 0) return false;
    if (!TerminalChanged) {
        if (tcgetattr(STDIN_FILENO, &SavedTerminal) != 0) return false;
        // Also when the program ends by any other way than the drive's end.
        static const bool restoredAtExit = std::atexit(RestoreTerminal) == 0;
        (void)restoredAtExit;
    }
    termios keys = SavedTerminal;
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    // No flow control: Ctrl+S would stop the terminal's output, the next
    // progress line would block the drive with a pattern on, and no stop key
    // could be read until Ctrl+Q. Turning it off also restarts output that
    // an earlier Ctrl+S stopped.
    keys.c_iflag &= static_cast<tcflag_t>(~IXON);
    if (!keySignals) keys.c_lflag &= static_cast<tcflag_t>(~ISIG);
    keys.c_cc[VMIN] = minimum;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &keys) != 0) return false;
    // TCSAFLUSH empties only what the line discipline holds; bytes the kernel
    // has not yet handed to it (typed just before the start, on a busy
    // machine) would arrive afterwards and answer the box.
    tcflush(STDIN_FILENO, TCIFLUSH);
    TerminalChanged = true;
    return true;
}

void EndIfStopped() {
    if (StopSignal == 0) return;
    // The one end away from the entry point: a box answers OK or Cancel, and
    // any answer but Cancel counts as OK, so a stop cannot travel back through
    // it. Nothing has been written while a box waits; the terminal is put back.
    RestoreTerminal();
    std::cout << std::flush;
    std::exit(128 + StopSignal);
}

bool InputWithin(int ms) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    for (;;) {
        EndIfStopped();
        const int ready = poll(&input, 1, ms);
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
        EndIfStopped();
    }
}

int ReadByte() {
    for (;;) {
        // Waiting in short polls, not in read(): a signal that comes just
        // before a blocking read would only be seen after the next key.
        EndIfStopped();
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, kStopCheckMs) <= 0) continue;
        unsigned char byte = 0;
        const ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return EOF;
    }
}

}  // namespace host::posix
