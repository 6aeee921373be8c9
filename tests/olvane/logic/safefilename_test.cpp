// File names taken from servers: which pass, and what unsafe ones become.
#include "logic/safefilename.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeFileName, TellsNamesThatStayInTheirFolder)
{
    for (const char* name : {"主播阿梦_middle", "a.b", "...", "name with blanks", "~user"})
        EXPECT_TRUE(isSafeFileName(QString::fromUtf8(name))) << name;
    for (const char* name : {"", ".", "..", "a/b", "../x", "a\\b", "a\nb", "a\x7f"})
        EXPECT_FALSE(isSafeFileName(QString::fromUtf8(name))) << name;
}

TEST(SafeFileName, MakesUnsafeNamesSafeAndKeepsSafeOnes)
{
    EXPECT_EQ(safeFileName(QString::fromUtf8("主播阿梦_middle")), QString::fromUtf8("主播阿梦_middle"));
    EXPECT_EQ(safeFileName("../../etc/passwd_middle"), ".._.._etc_passwd_middle");
    EXPECT_EQ(safeFileName("a\\b\tc\x7f"), "a_b_c_");
    for (const char* name : {"", ".", ".."})
        EXPECT_EQ(safeFileName(name), "_") << name;
    for (const char* name : {"/", "..\\..", "\n", "x/y"})
        EXPECT_TRUE(isSafeFileName(safeFileName(name))) << name;
}

} // namespace
