// Fault injection and call counting. Guarded by a mutex, because the audio
// operations are called from the music feeder thread while a test on the
// main thread arms faults or reads counts.
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"

namespace {

struct Fault {
    std::string operation;
    std::string target;
    FaultMode mode;
    int skip;
    bool spent;
};

struct FaultState {
    std::mutex mutex;
    std::vector<Fault> faults;
    std::map<std::tuple<std::string, std::string, std::string>, int> calls; // operation, source, target
};

FaultState& State() {
    static FaultState state;
    return state;
}

// An empty pattern matches every call; "SRC>DEST" one source and
// destination; anything else the target (for BltFast, the destination).
bool Matches(const std::string& pattern, const std::string& target, const std::string& source) {
    if (pattern.empty())
        return true;
    if (pattern.find('>') != std::string::npos)
        return pattern == source + ">" + target;
    return pattern == target;
}

} // namespace

bool HeadlessFaultHit(const std::string& operation, const std::string& target, const std::string& source) {
    FaultState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls[{operation, source, target}];
    bool fail = false;
    for (Fault& f : s.faults) {
        if (f.spent || f.operation != operation || !Matches(f.target, target, source))
            continue;
        if (f.skip > 0) {
            --f.skip;
            continue;
        }
        if (fail)
            continue; // one fault answers; others keep their own count
        fail = true;
        if (f.mode == FaultMode::Once)
            f.spent = true;
    }
    return fail;
}

void HeadlessInjectFault(const std::string& operation, const std::string& target, FaultMode mode, int skip) {
    FaultState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.faults.push_back(Fault{operation, target, mode, skip < 0 ? 0 : skip, false});
}

void HeadlessClearFaults() {
    FaultState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.faults.clear();
}

int HeadlessCallCount(const std::string& operation, const std::string& target) {
    FaultState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    int count = 0;
    for (const auto& [key, n] : s.calls)
        if (std::get<0>(key) == operation && Matches(target, std::get<2>(key), std::get<1>(key)))
            count += n;
    return count;
}

void HeadlessResetFaults() {
    FaultState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.faults.clear();
    s.calls.clear();
}
