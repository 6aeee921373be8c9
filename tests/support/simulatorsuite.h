#pragma once
// A test suite that shares one simulator among its tests: started once for
// the suite, and before each test its modes and request log reset, the
// prepared checkUpdate reply dropped and this process pointed at it.
//
//   class MyTest : public zavmo::test::SimulatorSuite {};
//   TEST_F(MyTest, X) { sim_->setMode("pelk2", "stall"); ... }

#include "simulator.h"

#include <gtest/gtest.h>

namespace zavmo::test {

class SimulatorSuite : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { sim_ = new Simulator(); }
    static void TearDownTestSuite()
    {
        delete sim_;
        sim_ = nullptr;
    }
    void SetUp() override
    {
        sim_->reset();
        sim_->removeReply("checkUpdate");
        sim_->setEnvironment();
    }

    static inline Simulator* sim_ = nullptr;
};

} // namespace zavmo::test
