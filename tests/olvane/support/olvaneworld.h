#pragma once
// The world of an Olvane test binary: one simulator, with this process's
// environment pointed at it and its CA trusted, from the first suite that
// asks until after the last test. On top of it, each optional: the
// program's hub initialised against the simulator (it cannot start again
// after its shutdown, so it too lives for the binary), a logic listener set
// on the hub, and a settings object; a test links the last two as the main
// window's with its ScopedMainWindowLink. Suites that build their own hub or
// LoginManager take the simulator alone.
//
//   class MyTest : public OlvaneWorld
//   {
//   protected:
//       static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(startHub()); }
//   };

#include "simulator.h"

#include <gtest/gtest.h>

class AppConfig;
class UILogicListener;
class ZvLogicFW;

class OlvaneWorld : public ::testing::Test
{
public:
    // Set by startSimulator() until after the last test.
    static inline zavmo::test::Simulator* sim = nullptr;

protected:
    static void SetUpTestSuite() { ASSERT_NO_FATAL_FAILURE(startSimulator()); }
    // Every test starts with the simulator's modes and request log reset.
    void SetUp() override { sim->reset(); }

    static void startSimulator();
    // The simulator too; the program's hub, initialised once.
    static ZvLogicFW* startHub();
    // The hub too; a listener on it.
    static UILogicListener* startListener();
    // A settings object for the binary.
    static AppConfig* sharedConfig();
    // Where process scans look (ZAVMO_PROC_ROOT): "" the real /proc, a
    // missing folder makes them fail. Set first before the hub's monitor
    // thread runs, then changed in place only, so the environment never grows
    // under that thread. A scan reads the value once: one in progress never
    // sees half of each folder.
    static void setProcessFolder(const char* folder);
};
