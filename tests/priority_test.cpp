// The drive's scheduling on Linux, for real: each row runs RaisePriority and
// RestorePriority in a child process with the rights of one kind of user, and
// checks what the kernel says during the drive and that all is back after it.
// Needs root, to make those users.

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <grp.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/posix/posix.h"

namespace {

struct Scheduling {
    std::uint32_t size, policy;  // sched_attr, as far as the drive may change it
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime, deadline, period;
    rlimit realTimeTime;
};

Scheduling Now() {
    Scheduling now{};
    syscall(SYS_sched_getattr, 0, &now, 48, 0);
    getrlimit(RLIMIT_RTTIME, &now.realTimeTime);
    return now;
}

struct Row {
    const char* name;
    bool nobody;              // else root
    rlim_t realTimePriority;  // RLIMIT_RTPRIO
    int startPolicy;          // as started by chrt, at priority 5; SCHED_OTHER: not
    int policy;               // during the drive
    std::uint32_t priority;
};

constexpr rlim_t kRealTimeSoft = 700'000, kRealTimeHard = 900'000;  // us, before the drive

bool TakeRights(const Row& row) {
    const rlimit realTime{kRealTimeSoft, kRealTimeHard}, priority{row.realTimePriority, row.realTimePriority};
    const rlimit noNice{0, 0};
    const sched_param param{5};
    if (setrlimit(RLIMIT_RTTIME, &realTime) != 0 || setpriority(PRIO_PROCESS, 0, 3) != 0 ||
        setrlimit(RLIMIT_RTPRIO, &priority) != 0 || setrlimit(RLIMIT_NICE, &noNice) != 0 ||
        (row.startPolicy != SCHED_OTHER && sched_setscheduler(0, row.startPolicy, &param) != 0))
        return false;
    return !row.nobody || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0);
}

class Priority : public testing::TestWithParam<Row> {};

TEST_P(Priority, DuringTheDriveAndExactlyBackAfter) {
    const Row& row = GetParam();
    if (geteuid() != 0) GTEST_SKIP() << "skipped: making the users needs root";
    const rlimit wanted{row.realTimePriority, row.realTimePriority};
    const pid_t probe = fork();
    if (probe == 0) _exit(setrlimit(RLIMIT_RTPRIO, &wanted) == 0 ? 0 : 1);
    int raised = 0;
    waitpid(probe, &raised, 0);
    if (raised != 0)
        GTEST_SKIP() << "skipped: root here may not raise RLIMIT_RTPRIO (no CAP_SYS_RESOURCE); "
                        "kernel_parport runs this row on an emulated PC";
    struct {
        bool ready, refused;
        Scheduling before, during, after;
    } seen{};
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    if (child == 0) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent", 1);  // rtkit is the rtkit test's
        seen.ready = TakeRights(row);
        seen.before = Now();
        if (seen.ready) host::posix::RaisePriority();
        seen.during = Now();
        seen.refused = !host::posix::RealTimeRefused.empty();
        host::posix::RestorePriority();
        seen.after = Now();
        _exit(write(channel[1], &seen, sizeof seen) == sizeof seen ? 0 : 1);
    }
    close(channel[1]);
    const bool read = ::read(channel[0], &seen, sizeof seen) == sizeof seen;
    close(channel[0]);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(read && seen.ready) << row.name << ": the child could not take the row's rights";

    EXPECT_EQ(static_cast<int>(seen.during.policy), row.policy) << row.name;
    EXPECT_EQ(seen.during.priority, row.priority) << row.name;
    EXPECT_EQ(seen.refused, row.policy == SCHED_OTHER) << row.name;
    const bool taken = row.startPolicy == SCHED_OTHER && row.policy == SCHED_RR;
    if (taken) {
        EXPECT_NE(seen.during.flags & 0x01, 0u) << row.name << ": SCHED_RESET_ON_FORK";
        EXPECT_EQ(seen.during.realTimeTime.rlim_cur, 200'000u) << row.name;
        EXPECT_EQ(seen.during.realTimeTime.rlim_max, kRealTimeHard) << row.name;
    }
    // Only a privileged process may clear SCHED_RESET_ON_FORK again.
    if (taken && row.nobody) seen.after.flags &= ~std::uint64_t{0x01};
    seen.before.size = seen.after.size;
    EXPECT_EQ(std::memcmp(&seen.before, &seen.after, sizeof seen.before), 0)
        << row.name << ": policy " << seen.after.policy << ", nice " << seen.after.nice << ", RLIMIT_RTTIME "
        << seen.after.realTimeTime.rlim_cur << ":" << seen.after.realTimeTime.rlim_max << " after the drive";
}

INSTANTIATE_TEST_SUITE_P(
    Users, Priority,
    testing::Values(Row{"root", false, 0, SCHED_OTHER, SCHED_RR, 10},
                    Row{"RLIMIT_RTPRIO_10", true, 10, SCHED_OTHER, SCHED_RR, 10},
                    Row{"RLIMIT_RTPRIO_5", true, 5, SCHED_OTHER, SCHED_RR, 5},
                    // No right and no rtkit: the drive runs at its nice value, with the short slice.
                    Row{"nobody", true, 0, SCHED_OTHER, SCHED_OTHER, 0},
                    Row{"root_under_chrt_f_5", false, 0, SCHED_FIFO, SCHED_FIFO, 5}),
    [](const testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

}  // namespace

