// Fault plans: the N-th call of a kind fails, once or from then on.
#include <cerrno>

#include "platform/host/machine.h"

namespace platform {
namespace host {

// Looked up without inserting, so the tool's threads, which never arm a
// plan, only ever read the map.
bool FaultFires(FaultKind kind, int posixError) {
    const auto found = TheMachine().faults.find(kind);
    if (found == TheMachine().faults.end()) return false;
    FaultPlan& plan = found->second;
    if (plan.countdown <= 0) return false;
    if (plan.countdown > 1) {
        --plan.countdown;
        return false;
    }
    // A persistent plan stays at 1 and so fails every call from here on.
    if (!plan.persistent) plan.countdown = 0;
    ++plan.fired;
    errno = posixError;
    return true;
}

}  // namespace host

void HostPlanFault(FaultKind kind, int countdown, bool persistent) {
    host::FaultPlan& plan = host::TheMachine().faults[kind];
    plan.countdown = countdown;
    plan.persistent = persistent;
}

int HostFaultsFired(FaultKind kind) { return host::TheMachine().faults[kind].fired; }

void HostClearFaults() {
    host::TheMachine().faults.clear();
    host::TheMachine().allocationLimit = 0;
}

void HostLimitAllocation(std::size_t limit) { host::TheMachine().allocationLimit = limit; }

}  // namespace platform
