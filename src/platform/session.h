#pragma once
// What a drive takes of the system: each host keeps its own list
// (posix/session.cpp, win32/session.cpp); session.cpp takes it from BeginDrive
// in the list's order and gives it back from EndDrive in the reverse order.

namespace host {

// How many entries the host's list has.
extern const int kHeldCount;

// Takes entry `held` (0 to kHeldCount - 1) for a drive of totalSteps steps.
// An entry counts as held once this returns: one whose Take throws is not
// given back, those before it are.
void Take(int held, long long totalSteps);

// Gives back entry `held`, which Take took; never fails.
void GiveBack(int held);

}  // namespace host
