#include "quv/QuvByteBuffer.h"
#include "quv/QuvString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

TEST(QuvByteBufferTest, GrowsToTwiceTheNeedInWholeGranules)
{
    QuvByteBuffer b;
    EXPECT_EQ(b.Data(), nullptr);
    const uint8_t one = 7;
    ASSERT_NE(b.Append(&one, 1), nullptr);
    EXPECT_EQ(b.Capacity(), 8192);
    const uint8_t* storage = b.Data();
    std::vector<uint8_t> more(8191, 0x42);
    ASSERT_NE(b.Append(more.data(), 8191), nullptr);
    EXPECT_EQ(b.Capacity(), 8192);
    EXPECT_EQ(b.Data(), storage);
    EXPECT_EQ(b.Length(), 8192);
    ASSERT_NE(b.Append(&one, 1), nullptr);
    EXPECT_EQ(b.Capacity(), 24576);
    EXPECT_EQ(b.Length(), 8193);
    // Contents survive the reallocation.
    EXPECT_EQ(b.Data()[0], 7);
    EXPECT_EQ(b.Data()[8191], 0x42);
    EXPECT_EQ(b.Data()[8192], 7);

    QuvByteBuffer sized(10000);
    EXPECT_EQ(sized.Capacity(), 16384);
    EXPECT_EQ(sized.Length(), 10000);
    const char text[] = "hello";
    QuvByteBuffer copied(text, 5);
    EXPECT_EQ(copied.Capacity(), 8192);
    EXPECT_EQ(std::memcmp(copied.Data(), "hello", 5), 0);

    // Shrinking the length keeps the capacity; Clear frees everything.
    ASSERT_TRUE(sized.Resize(3));
    EXPECT_EQ(sized.Capacity(), 16384);
    ASSERT_TRUE(sized.Reserve(16384));
    EXPECT_EQ(sized.Capacity(), 16384);
    EXPECT_EQ(sized.Length(), 3);
    sized.Clear();
    EXPECT_EQ(sized.Data(), nullptr);
    EXPECT_EQ(sized.Capacity(), 0);
    EXPECT_EQ(sized.Length(), 0);
}

TEST(QuvByteBufferTest, RefusesSizesThatCannotBeHeld)
{
    QuvByteBuffer b("abc", 3);
    const uint8_t* storage = b.Data();
    EXPECT_FALSE(b.Resize(-1));
    EXPECT_FALSE(b.Reserve(INT32_MAX));
    EXPECT_EQ(b.Append("x", -5), nullptr);
    EXPECT_EQ(b.Data(), storage);
    EXPECT_EQ(b.Length(), 3);
    EXPECT_EQ(b.Capacity(), 8192);

    QuvByteBuffer failed(-1);
    EXPECT_EQ(failed.Length(), 0);
    EXPECT_EQ(failed.Data(), nullptr);
}

TEST(QuvByteBufferTest, Erasing)
{
    QuvByteBuffer b("0123456789", 10);
    b.EraseRange(b.Data() + 2, b.Data() + 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Data()), b.Length()), "0156789");
    b.EraseFront(b.Data());
    EXPECT_EQ(b.Length(), 7);
    b.EraseFront(b.Data() + 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Data()), b.Length()), "56789");
    // Positions outside the used bytes are ignored.
    b.EraseRange(b.Data() + 3, b.Data() + 6);
    b.EraseRange(b.Data() + 3, b.Data() + 1);
    EXPECT_EQ(b.Length(), 5);
    b.EraseFront(b.Data() + b.Length());
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 8192);
}

TEST(QuvByteBufferTest, AppendSmall)
{
    QuvByteBuffer b;
    const uint8_t two[] = {0xE4, 0xB8};
    b.AppendSmall(two, 1, true);
    b.AppendSmall(two, 2, true);
    b.AppendSmall("xyz", 3, false);
    ASSERT_EQ(b.Length(), 6);
    EXPECT_EQ(std::memcmp(b.Data(), "\xE4\xE4\xB8xyz", 6), 0);
}

TEST(QuvStringBuffTest, CollectsUtf8)
{
    QuvStringBuff sb(100);
    EXPECT_EQ(sb.Capacity(), 8192);
    sb.Append("ab");
    sb.AppendWChar(0x4E2D);
    sb.AppendChar('c');
    QuvString target("old");
    EXPECT_EQ(sb.ToString(&target), &target);
    EXPECT_STREQ(target.GetUtf8(), "ab\xE4\xB8\xAD"
                                   "c");
    EXPECT_EQ(std::u16string(target.GetWide()), u"ab中c");

    // Reusable: empty and unallocated again.
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), 0);
    sb.AppendWide(u"é");
    sb.AppendBytes("!?", 2);
    sb.Append(nullptr);
    std::unique_ptr<QuvString> made(sb.ToString(nullptr));
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->GetUtf8(), "\xC3\xA9!?");

    QuvStringBuff none;
    EXPECT_EQ(none.Capacity(), 0);
    std::unique_ptr<QuvString> empty(none.ToString(nullptr));
    EXPECT_STREQ(empty->GetUtf8(), "");
}

TEST(QuvStringBuffTest, PairsArriveOneUnitAtATime)
{
    QuvStringBuff sb;
    sb.AppendWChar(0xD83D);
    sb.AppendWChar(0xDE00);
    sb.AppendWChar(u'a');
    // Unpaired: before another unit, before bytes, at the end.
    sb.AppendWChar(0xD83D);
    sb.AppendWChar(u'b');
    sb.AppendWChar(0xDE00);
    sb.AppendWChar(0xD83D);
    sb.AppendChar('c');
    sb.AppendWChar(0xD83D);
    QuvString out;
    sb.ToString(&out);
    EXPECT_STREQ(out.GetUtf8(), "\xF0\x9F\x98\x80"
                                "a\xEF\xBF\xBD"
                                "b\xEF\xBF\xBD\xEF\xBF\xBD"
                                "c\xEF\xBF\xBD");
    // Nothing is held over into the next text.
    sb.AppendWChar(0xDE00);
    sb.ToString(&out);
    EXPECT_STREQ(out.GetUtf8(), "\xEF\xBF\xBD");
}
