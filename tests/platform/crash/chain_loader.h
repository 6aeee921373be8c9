#pragma once
// Loads chain-link libraries (before the crash filter reads the memory map)
// and runs the chain, whose last link faults.
#include <dlfcn.h>

#include <string>
#include <vector>

#include "chain_link.h"

inline bool loadChain(const std::vector<std::string>& libraryPaths, ZavmoChain& chain)
{
    chain.count = 0;
    for (const std::string& path : libraryPaths) {
        if (chain.count == 8)
            return false;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        void* step = dlsym(handle, "zavmo_chain_step");
        if (!step)
            return false;
        chain.steps[chain.count++] = reinterpret_cast<ZavmoChainStep>(step);
    }
    return chain.count > 0;
}

inline void runChain(const ZavmoChain& chain)
{
    chain.steps[0](&chain, 0);
}
