#pragma once

struct ZavmoChain;
using ZavmoChainStep = void (*)(const ZavmoChain*, int);

struct ZavmoChain
{
    ZavmoChainStep steps[8];
    int count;
};
