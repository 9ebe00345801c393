// The drive's scheduling on Linux, for real: each row runs RaisePriority and
// RestorePriority in a child process of its own, with the rights of a kind of
// user, and compares what the kernel says during the drive and after it with
// what it said before. Needs root, to make those users.

#include <linux/capability.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/posix.h"

namespace {

struct Attributes {  // sched_attr
    std::uint32_t size, policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime, deadline, period;
};

struct Scheduling {
    Attributes attributes{};
    int nice = 0;
    rlimit realTimeTime{};
    // resetOnForkMayStay: only a privileged process may clear SCHED_RESET_ON_FORK again.
    bool Same(const Scheduling& other, bool resetOnForkMayStay) const {
        const std::uint64_t flags = resetOnForkMayStay ? ~std::uint64_t{0x01} : ~std::uint64_t{0};
        return attributes.policy == other.attributes.policy &&
               (attributes.flags & flags) == (other.attributes.flags & flags) &&
               attributes.nice == other.attributes.nice && attributes.priority == other.attributes.priority &&
               attributes.runtime == other.attributes.runtime && nice == other.nice &&
               realTimeTime.rlim_cur == other.realTimeTime.rlim_cur &&
               realTimeTime.rlim_max == other.realTimeTime.rlim_max;
    }
};

Scheduling Now() {
    Scheduling now;
    syscall(SYS_sched_getattr, 0, &now.attributes, sizeof now.attributes, 0);
    now.nice = getpriority(PRIO_PROCESS, 0);
    getrlimit(RLIMIT_RTTIME, &now.realTimeTime);
    return now;
}

struct Seen {
    bool ready = false;  // the child could take the row's rights
    Scheduling before, during, after;
    bool refused = false;  // RealTimeRefused said why rtkit gave nothing
};

struct Row {
    const char* name;
    bool nobody;        // else root
    bool capSysNice;    // nobody keeps CAP_SYS_NICE
    rlim_t realTimePriority;  // RLIMIT_RTPRIO, soft and hard
    int startPolicy;    // as started by chrt, at priority 5; SCHED_OTHER: not
    int policy;         // during the drive
    std::uint32_t priority;
};

constexpr rlim_t kStartRealTimeSoft = 700'000, kStartRealTimeHard = 900'000;  // us
constexpr int kStartNice = 3;

bool TakeRights(const Row& row) {
    const rlimit realTime{kStartRealTimeSoft, kStartRealTimeHard};
    const rlimit priority{row.realTimePriority, row.realTimePriority};
    const rlimit noNice{0, 0};
    if (setrlimit(RLIMIT_RTTIME, &realTime) != 0 || setpriority(PRIO_PROCESS, 0, kStartNice) != 0 ||
        setrlimit(RLIMIT_RTPRIO, &priority) != 0 || setrlimit(RLIMIT_NICE, &noNice) != 0)
        return false;
    if (row.startPolicy != SCHED_OTHER) {
        const sched_param param{5};
        if (sched_setscheduler(0, row.startPolicy, &param) != 0) return false;
    }
    if (!row.nobody) return true;
    if (prctl(PR_SET_KEEPCAPS, 1) != 0 || setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
        return false;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (row.capSysNice) data[0].effective = data[0].permitted = 1U << CAP_SYS_NICE;
    return syscall(SYS_capset, &header, data) == 0;
}

Seen RunRow(const Row& row) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        // rtkit is the rtkit test's; here the bus is never there.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/plottertest-bus", 1);
        Seen seen;
        seen.ready = TakeRights(row);
        if (seen.ready) {
            seen.before = Now();
            host::posix::RaisePriority();
            seen.during = Now();
            seen.refused = !host::posix::RealTimeRefused.empty();
            host::posix::RestorePriority();
            seen.after = Now();
        }
        const bool written = write(channel[1], &seen, sizeof seen) == sizeof seen;
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    Seen seen;
    const bool read = ::read(channel[0], &seen, sizeof seen) == sizeof seen;
    close(channel[0]);
    waitpid(child, nullptr, 0);
    return read ? seen : Seen{};
}

class Priority : public testing::TestWithParam<Row> {};

TEST_P(Priority, DuringTheDriveAndExactlyBackAfter) {
    const Row& row = GetParam();
    if (geteuid() != 0) GTEST_SKIP() << "skipped: making the users needs root";
    if (row.realTimePriority > 0) {
        rlimit now{};
        getrlimit(RLIMIT_RTPRIO, &now);
        if (now.rlim_max < row.realTimePriority)
            GTEST_SKIP() << "skipped: root here may not raise RLIMIT_RTPRIO (no CAP_SYS_RESOURCE); "
                            "kernel_parport drives as such a user";
    }
    const Seen seen = RunRow(row);
    ASSERT_TRUE(seen.ready) << row.name << ": the child could not take the row's rights";

    const int policy = static_cast<int>(seen.during.attributes.policy);
    EXPECT_EQ(policy, row.policy) << row.name;
    EXPECT_EQ(seen.during.attributes.priority, row.priority) << row.name;
    const bool taken = row.startPolicy == SCHED_OTHER && row.policy == SCHED_RR;
    if (taken) {
        EXPECT_NE(seen.during.attributes.flags & 0x01, 0u) << row.name << ": SCHED_RESET_ON_FORK";
        EXPECT_EQ(seen.during.realTimeTime.rlim_cur, 200'000u) << row.name;
        EXPECT_EQ(seen.during.realTimeTime.rlim_max, kStartRealTimeHard) << row.name;
    }
    EXPECT_EQ(seen.refused, row.policy == SCHED_OTHER) << row.name;
    const bool unprivileged = row.nobody && !row.capSysNice;
    EXPECT_TRUE(seen.after.Same(seen.before, unprivileged && taken)) << row.name << ": policy " << seen.after.attributes.policy << "/"
                                           << seen.before.attributes.policy << ", nice " << seen.after.nice << "/"
                                           << seen.before.nice << ", RLIMIT_RTTIME "
                                           << seen.after.realTimeTime.rlim_cur << ":"
                                           << seen.after.realTimeTime.rlim_max << "/"
                                           << seen.before.realTimeTime.rlim_cur << ":"
                                           << seen.before.realTimeTime.rlim_max;
}

INSTANTIATE_TEST_SUITE_P(
    Users, Priority,
    testing::Values(Row{"root", false, false, 0, SCHED_OTHER, SCHED_RR, 10},
                    Row{"nobody with CAP_SYS_NICE", true, true, 0, SCHED_OTHER, SCHED_RR, 10},
                    Row{"nobody with RLIMIT_RTPRIO 10", true, false, 10, SCHED_OTHER, SCHED_RR, 10},
                    Row{"nobody with RLIMIT_RTPRIO 5", true, false, 5, SCHED_OTHER, SCHED_RR, 5},
                    // No right and no rtkit: the drive runs at its nice value, with the short slice.
                    Row{"nobody without rights", true, false, 0, SCHED_OTHER, SCHED_OTHER, 0},
                    Row{"root under chrt -f 5", false, false, 0, SCHED_FIFO, SCHED_FIFO, 5},
                    Row{"nobody under chrt -r 5", true, false, 0, SCHED_RR, SCHED_RR, 5}),
    [](const testing::TestParamInfo<Row>& row) {
        std::string name = row.param.name;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
