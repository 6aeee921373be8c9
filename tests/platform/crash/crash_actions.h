#pragma once
// Ways for a test child to crash, shared by the crashing test programs.
#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include <unistd.h>

namespace crashtest {

inline std::atomic<bool> g_stopChurn{false};

// Keeps the heap busy until g_stopChurn is set, so a fault can land while
// another thread holds malloc's locks.
inline void churnHeap(unsigned seed)
{
    std::minstd_rand rng(seed);
    std::vector<void*> held(64, nullptr);
    while (!g_stopChurn.load(std::memory_order_relaxed)) {
        size_t slot = rng() % held.size();
        std::free(held[slot]);
        held[slot] = std::malloc(1 + rng() % 4096);
    }
}

inline void nullWrite()
{
    volatile int* volatile target = nullptr;
    *target = 7;
}

// Faults while six other threads take and release malloc's locks.
inline void nullWriteWhileHeapBusy()
{
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < 6; ++i)
        threads.emplace_back(churnHeap, i + 1);
    usleep(100 * 1000);
    nullWrite();
    g_stopChurn = true;
    for (auto& t : threads)
        t.join();
}

} // namespace crashtest
