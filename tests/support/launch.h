#pragma once
// Runs the built program in a process of its own, on pipes or on a
// pseudo-terminal, for the end-to-end tests and the benchmark (Linux only).

#include <string>
#include <vector>

// ---- Running the built program ------------------------------------------------

// Something the test does while the program runs, in order: wait until the
// program's output holds waitFor (if any), wait sleepMs, type the bytes, send the signal.
struct Action {
    std::string waitFor;
    int sleepMs = 0;
    std::string type;  // on a terminal only
    int signal = 0;
};

struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    std::string workDirectory;
    std::vector<std::string> environment;  // NAME=value, added to the test's own
    std::string input;                     // standard input, when not on a terminal
    // A pseudo-terminal as standard input, output and error, and as the
    // controlling terminal of a session of its own, as in a terminal window.
    bool onTerminal = false;
    std::string typedBefore;  // typed at that terminal before the program starts
    long long memoryLimit = 0;  // bytes of address space, 0 for none
    // Run as this user, with RLIMIT_NICE 0 so that no priority can be raised
    // (needs root; empty: as the caller).
    std::string user;
    std::vector<Action> actions;
};

struct Ended {
    int status = -1;    // the exit status; -1 when the program was killed by a signal
    std::string out;    // on a terminal: everything the screen showed
    std::string err;
    bool endedBeforeLastAction = false;
    std::vector<long long> actionNs;  // when each action was done, on the port log's clock
    bool terminalRestored = false;  // echo, line editing and flow control on again afterwards
    int inputLeft = -1;             // bytes still in the terminal's input afterwards
};

// Runs the program to its end (killed after 60 s).
Ended RunBuiltProgram(const Launch& launch);
