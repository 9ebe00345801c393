#include "launch.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

// Appends what can be read from fd now; false when there was nothing.
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) into.append(buffer, static_cast<std::size_t>(got));
    return got > 0;
}

void Type(int fd, const std::string& bytes) {
    if (!bytes.empty() && write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot type at the terminal");
}

}  // namespace

Ended RunBuiltProgram(const Launch& launch) {
    int terminal = -1, screen = -1;  // the pty's master and slave side
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    if (launch.onTerminal) {
        if (openpty(&terminal, &screen, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("no pty");
        Type(terminal, launch.typedBefore);
    } else if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
        throw std::runtime_error("no pipe");
    }
    const pid_t child = fork();
    if (child == 0) {
        if (launch.onTerminal) {
            setsid();
            ioctl(screen, TIOCSCTTY, 0);
            for (int fd = 0; fd < 3; ++fd) dup2(screen, fd);
        } else {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
        }
        for (int fd = 3; fd < 256; ++fd) close(fd);
        if (chdir(launch.workDirectory.c_str()) != 0) _exit(126);
        for (const std::string& variable : launch.environment) putenv(const_cast<char*>(variable.c_str()));
        if (launch.memoryLimit > 0) {
            const rlimit limit{static_cast<rlim_t>(launch.memoryLimit), static_cast<rlim_t>(launch.memoryLimit)};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (!launch.user.empty()) {
            const passwd* user = getpwnam(launch.user.c_str());
            const rlimit noNice{0, 0};
            if (user == nullptr || setrlimit(RLIMIT_NICE, &noNice) != 0 || setgroups(0, nullptr) != 0 ||
                setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)
                _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(launch.program.c_str())};
        std::transform(launch.arguments.begin(), launch.arguments.end(), std::back_inserter(argv),
                       [](const std::string& argument) { return const_cast<char*>(argument.c_str()); });
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Ended ended;
    std::vector<int> readFrom;
    if (launch.onTerminal) {
        readFrom = {terminal};
    } else {
        close(in[0]);
        close(out[1]);
        close(err[1]);
        Type(in[1], launch.input);
        close(in[1]);
        readFrom = {out[0], err[0]};
    }
    for (int fd : readFrom) fcntl(fd, F_SETFL, O_NONBLOCK);
    std::size_t next = 0;  // the next action
    const auto start = std::chrono::steady_clock::now();
    int raw = 0;
    for (;;) {
        std::vector<pollfd> fds(readFrom.size());
        std::transform(readFrom.begin(), readFrom.end(), fds.begin(), [](int fd) { return pollfd{fd, POLLIN, 0}; });
        // Every 5 ms while an action waits; else only output or the child's end
        // matters, and a neighbour that wakes every 5 ms would itself make the
        // drive's steps late on a busy machine (bench/step_timing).
        poll(fds.data(), fds.size(), next < launch.actions.size() ? 5 : 50);
        Drain(readFrom[0], ended.out);
        if (readFrom.size() > 1) Drain(readFrom[1], ended.err);
        if (waitpid(child, &raw, WNOHANG) == child) break;
        if (next < launch.actions.size()) {
            const Action& action = launch.actions[next];
            if ((ended.out + ended.err).find(action.waitFor) != std::string::npos) {
                std::this_thread::sleep_for(std::chrono::milliseconds(action.sleepMs));
                if (waitpid(child, &raw, WNOHANG) == child) break;
                Type(terminal, action.type);
                if (action.signal != 0) kill(child, action.signal);
                ended.actionNs.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count());
                ++next;
            }
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) kill(child, SIGKILL);
    }
    ended.endedBeforeLastAction = next < launch.actions.size();
    while (Drain(readFrom[0], ended.out)) {}
    if (readFrom.size() > 1)
        while (Drain(readFrom[1], ended.err)) {}
    ended.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (launch.onTerminal) {
        termios after{};
        tcgetattr(screen, &after);
        ended.terminalRestored = (after.c_lflag & ECHO) && (after.c_lflag & ICANON) && (after.c_iflag & IXON);
        ioctl(screen, FIONREAD, &ended.inputLeft);
        close(screen);
    }
    for (int fd : readFrom) close(fd);
    return ended;
}
