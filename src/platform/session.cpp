// The drive's session, for both hosts: EndDrive gives back exactly what
// BeginDrive took, so however the drive ends (done, stopped, failed, or failed
// halfway through its start), the system is left as it was found. The drive
// itself switches every line off before EndDrive.

#include "platform/platform.h"
#include "platform/session.h"

namespace host {

namespace {
int Taken = 0;  // the first so many of the host's list are held
}  // namespace

void BeginDrive(long long totalSteps) {
    for (; Taken < kHeldCount; ++Taken) Take(Taken, totalSteps);
}

void EndDrive() {
    while (Taken > 0) GiveBack(--Taken);
}

}  // namespace host
