// One link of a call chain across shared libraries. The same source is built
// into several libraries with different file names; the last link faults, so
// a crash's faulting module and the modules of its callers are known.
#include "chain_link.h"

extern "C" __attribute__((noinline, visibility("default"))) void zavmo_chain_step(const ZavmoChain* chain, int index)
{
    if (index + 1 < chain->count) {
        chain->steps[index + 1](chain, index + 1);
    } else {
        volatile int* volatile target = nullptr;
        *target = 42;
    }
    // Keeps this frame on the stack (no tail call).
    __asm__ volatile("" ::: "memory");
}
