#pragma once
// Test-only seams of the engine, set for the length of a scope:
//
//     WriteCallScope full(&failWithNoSpace); // every write of a saved file fails
//     AfterComposeScope hook(&rewriteTheGif); // runs right after a frame is composed
//
// The engine reads them on the thread that saves or decodes, so set them before
// starting that work. One scope of a kind at a time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace engine::testing {
using WriteCall = ssize_t (*)(int, const void *, std::size_t);
extern std::atomic<WriteCall> writeSystemCall;
extern std::atomic<void (*)()> afterCompose;
extern std::atomic<std::uint64_t> frameDecodes; // frames drawn by every image so far
} // namespace engine::testing

namespace fgtest {

class WriteCallScope {
public:
    explicit WriteCallScope(engine::testing::WriteCall call)
        : m_saved(engine::testing::writeSystemCall.exchange(call))
    {
    }
    ~WriteCallScope() { engine::testing::writeSystemCall.store(m_saved); }
    WriteCallScope(const WriteCallScope &) = delete;
    WriteCallScope &operator=(const WriteCallScope &) = delete;

private:
    engine::testing::WriteCall m_saved;
};

class AfterComposeScope {
public:
    explicit AfterComposeScope(void (*hook)()) : m_saved(engine::testing::afterCompose.exchange(hook)) {}
    ~AfterComposeScope() { engine::testing::afterCompose.store(m_saved); }
    AfterComposeScope(const AfterComposeScope &) = delete;
    AfterComposeScope &operator=(const AfterComposeScope &) = delete;

private:
    void (*m_saved)();
};

} // namespace fgtest
