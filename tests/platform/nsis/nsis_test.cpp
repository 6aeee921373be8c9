// The installer's side of the plug-in interface: its stack, its variables and
// the arguments an export receives.
#include "platform/nsis.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nsis = platform::nsis;

namespace {

struct Seen
{
    int stringSize = 0;
    char* variables = nullptr;
    nsis::StackItem** top = nullptr;
    bool extra = false;
    std::string popped;
} seen;

void ZAVMO_NSIS_CALL recordingExport(nsis::WindowHandle parent, int stringSize, char* variables, nsis::StackItem** top,
                                     nsis::ExtraParameters* extra)
{
    EXPECT_EQ(parent, nullptr);
    seen.stringSize = stringSize;
    seen.variables = variables;
    seen.top = top;
    seen.extra = extra != nullptr;
    // Pops the way a plug-in does: the item is its to free.
    if (top && *top) {
        nsis::StackItem* item = *top;
        seen.popped = item->text;
        *top = item->next;
        nsis::freeItem(item);
    }
}

TEST(NsisInstaller, StackIsLastInFirstOutAndCutToTheStringSize)
{
    nsis::Installer installer(8);
    std::string text;
    EXPECT_FALSE(installer.pop(text));
    installer.push("first");
    installer.push("");
    installer.push("much too long");
    EXPECT_EQ(installer.depth(), 3u);
    ASSERT_TRUE(installer.pop(text));
    EXPECT_EQ(text, "much to");
    ASSERT_TRUE(installer.pop(text));
    EXPECT_EQ(text, "");
    ASSERT_TRUE(installer.pop(text));
    EXPECT_EQ(text, "first");
    EXPECT_EQ(installer.depth(), 0u);
    installer.push("left for the destructor");
}

TEST(NsisInstaller, VariablesAreFixedSizeSlots)
{
    nsis::Installer installer(16);
    installer.setVariable(0, "zero");
    installer.setVariable(24, "a value longer than sixteen");
    installer.setVariable(25, "ignored");
    installer.setVariable(-1, "ignored");
    EXPECT_EQ(installer.variable(0), "zero");
    EXPECT_EQ(installer.variable(24), "a value longer ");
    EXPECT_EQ(installer.variable(25), "");
    installer.setVariable(0, "z");
    EXPECT_EQ(installer.variable(0), "z");
}

TEST(NsisInstaller, CallPassesItsStackAndPushesArgumentsFirstOnTop)
{
    nsis::Installer installer;
    installer.call(recordingExport, {"action", "version", "channel"});
    EXPECT_EQ(seen.stringSize, nsis::kDefaultStringSize);
    EXPECT_EQ(seen.top, installer.stackTop());
    EXPECT_TRUE(seen.extra);
    EXPECT_EQ(seen.popped, "action");
    EXPECT_EQ(installer.depth(), 2u);
    installer.setVariable(1, "one");
    installer.call(recordingExport);
    EXPECT_STREQ(seen.variables + nsis::kDefaultStringSize, "one");
    EXPECT_EQ(seen.popped, "version");
}

TEST(NsisPluginLibrary, ReportsWhatDoesNotLoad)
{
    nsis::PluginLibrary library;
    std::string error;
    EXPECT_FALSE(library.load("/nonexistent/libnothing.so", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(library.exportNamed("Init"), nullptr);
}

} // namespace
