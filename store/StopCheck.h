#pragma once
// Where a long search asks whether to stop: between pieces of a long text and
// between entries. Made from the stop flag (often implicitly); `Probe`, when
// given, is asked at the same points, so a caller can stop at a chosen one.

#include <atomic>
#include <functional>

namespace dorvanta {

struct TStopCheck {
    TStopCheck(const std::atomic<bool>* flag = nullptr) : Flag(flag) {}
    const std::atomic<bool>* Flag = nullptr;
    std::function<bool()> Probe;

    bool operator()() const {
        return (Flag && Flag->load(std::memory_order_relaxed)) || (Probe && Probe());
    }
};

}  // namespace dorvanta
