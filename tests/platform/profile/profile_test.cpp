#include "platform/profile.h"

#include <gtest/gtest.h>

using platform::profile::IniDocument;

TEST(IniDocument, ReadsLikeTheProfileFunctions)
{
    const IniDocument doc = IniDocument::parse("\xEF\xBB\xBF"
                                               "; comment=no\r\n"
                                               "[General]\r\n"
                                               "Profile = my profile \r\n"
                                               "[publish]\r\n"
                                               "url=\"rtmp://a/b\"\r\n"
                                               "PlayPath='k'\r\n"
                                               "LastSaveDir=C:\\Users\\a\\Videos\r\n"
                                               "noequals\r\n"
                                               "[Publish]\r\n"
                                               "URL=second section is never read\r\n");
    EXPECT_TRUE(doc.hasBom());
    EXPECT_EQ(doc.value("general", "PROFILE"), "my profile");
    EXPECT_EQ(doc.value("Publish", "URL"), "rtmp://a/b");
    EXPECT_EQ(doc.value("Publish", "PlayPath"), "k");
    // Backslashes are data, not escapes.
    EXPECT_EQ(doc.value("Publish", "LastSaveDir"), "C:\\Users\\a\\Videos");
    EXPECT_FALSE(doc.value("Publish", "noequals"));
    EXPECT_FALSE(doc.value("Missing", "URL"));
    EXPECT_FALSE(doc.value("; comment", "no"));
}

TEST(IniDocument, EditKeepsEveryOtherByte)
{
    const std::string original = "\xEF\xBB\xBF[General]\n"
                                 "Name=未命名\n"
                                 "\n"
                                 "[Publish]\n"
                                 "; keep me\n"
                                 "  url  =old\n"
                                 "Other=1\n"
                                 "\n"
                                 "[Tail]\n"
                                 "X=y";
    IniDocument doc = IniDocument::parse(original);
    EXPECT_EQ(doc.text(), original);

    doc.setValue("PUBLISH", "URL", "new");
    doc.setValue("Publish", "PlayPath", "key");
    doc.setValue("Tail", "Z", "1");
    doc.setValue("New", "K", "v");
    EXPECT_EQ(doc.text(), "\xEF\xBB\xBF[General]\n"
                          "Name=未命名\n"
                          "\n"
                          "[Publish]\n"
                          "; keep me\n"
                          "url=new\n"
                          "Other=1\n"
                          "PlayPath=key\n"
                          "\n"
                          "[Tail]\n"
                          "X=y\n"
                          "Z=1\n"
                          "[New]\n"
                          "K=v\n");
}

TEST(IniDocument, NewFileUsesCrLfAndValuesCannotInjectLines)
{
    IniDocument doc(true);
    doc.setValue("Publish", "Mode", "0");
    doc.setValue("Publish", "URL", "rtmp://x\r\n[General]\nProfile=evil");
    doc.setValue("Publish", "PlayPath", std::string("a\0b", 3));
    EXPECT_EQ(doc.text(), "\xEF\xBB\xBF[Publish]\r\nMode=0\r\nURL=rtmp://x[General]Profile=evil\r\nPlayPath=ab\r\n");
    EXPECT_FALSE(IniDocument::parse(doc.text()).value("General", "Profile"));
}
