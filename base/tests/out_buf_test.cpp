#include "base/core/out_buf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string TempPath(const char* name)
{
    return std::string(::testing::TempDir()) + "kestrun_outbuf_" + std::to_string(getpid()) + "_" + name;
}

} // namespace

TEST(OutBuf, GrowsInWholeStepsFromNothing)
{
    COutBuf buf;
    EXPECT_TRUE(buf.Write("", 0));
    EXPECT_EQ(buf.GetData(), nullptr);
    EXPECT_EQ(buf.GetCapacity(), 0);

    EXPECT_TRUE(buf.PutByte('x'));
    EXPECT_EQ(buf.GetCapacity(), 256);
    std::string filler(199, 'y');
    buf.Write(filler.data(), 199);
    EXPECT_EQ(buf.GetLength(), 200);
    std::string more(100, 'z');
    buf.Write(more.data(), 100);
    EXPECT_EQ(buf.GetLength(), 300);
    EXPECT_EQ(buf.GetCapacity(), 512);
    EXPECT_EQ(std::string(buf.GetData(), 1), "x");
    EXPECT_EQ(std::string(buf.GetData() + 200, 100), more);
}

TEST(OutBuf, LargeAppendsKeepStepMultiplesAndContents)
{
    COutBuf buf;
    buf.SetGrowBy(1000);
    std::string piece(16384, '\0');
    for (int i = 0; i < 200; ++i) {
        std::memset(&piece[0], 'a' + i % 26, piece.size());
        ASSERT_TRUE(buf.Write(piece.data(), static_cast<int>(piece.size())));
        EXPECT_EQ(buf.GetCapacity() % 1000, 0);
        EXPECT_GE(buf.GetCapacity(), buf.GetLength());
    }
    EXPECT_EQ(buf.GetLength(), 200 * 16384);
    EXPECT_EQ(buf.GetData()[199 * 16384], 'a' + 199 % 26);
    EXPECT_FALSE(buf.Write("x", -1));
    EXPECT_EQ(buf.GetLength(), 200 * 16384);
}

TEST(OutBuf, GetStringTerminatesWithoutCounting)
{
    COutBuf empty;
    ASSERT_NE(empty.GetString(), nullptr);
    EXPECT_EQ(empty.GetLength(), 0);
    EXPECT_EQ(empty.GetCapacity(), 256);
    EXPECT_EQ(empty.GetString()[0], '\0');

    COutBuf full;
    full.SetGrowBy(4);
    full.PutString("abcd");
    EXPECT_EQ(full.GetCapacity(), 4);
    EXPECT_STREQ(full.GetString(), "abcd");
    EXPECT_EQ(full.GetLength(), 4);
}

TEST(OutBuf, FormattingIntegersAlignmentAndAppend)
{
    COutBuf buf;
    buf.PutInt(0x01020304);
    EXPECT_EQ(std::memcmp(buf.GetData(), "\x04\x03\x02\x01", 4), 0);
    buf.PutByte('q');
    buf.Align(4);
    EXPECT_EQ(buf.GetLength(), 8);
    EXPECT_EQ(buf.GetData()[7], '\0');

    COutBuf text;
    text.Printf("%s=%d", "len", 42);
    EXPECT_EQ(std::string(text.GetData(), text.GetLength()), "len=42");
    const std::string big(10000, 'b');
    text.Printf("[%s]", big.c_str());
    EXPECT_EQ(text.GetLength(), 6 + 10002);

    buf.Append(&text);
    EXPECT_EQ(buf.GetLength(), 8 + text.GetLength());
    EXPECT_EQ(std::string(buf.GetData() + 8, 6), "len=42");
}

TEST(OutBuf, FilesRoundTripIncludingEmptyAndMissing)
{
    const std::string path = TempPath("roundtrip");
    COutBuf out;
    std::string body;
    for (int i = 0; i < 70000; ++i)
        body.push_back(static_cast<char>(i * 7));
    out.Write(body.data(), static_cast<int>(body.size()));
    ASSERT_TRUE(out.SaveFile(path.c_str()));

    COutBuf in;
    ASSERT_TRUE(in.LoadFile(path.c_str()));
    EXPECT_EQ(in.GetLength(), 70000);
    EXPECT_EQ(in.GetCapacity(), 70000);
    EXPECT_EQ(std::string(in.GetData(), in.GetLength()), body);

    COutBuf empty;
    ASSERT_TRUE(empty.SaveFile(path.c_str()));
    COutBuf loaded;
    EXPECT_TRUE(loaded.LoadFile(path.c_str()));
    EXPECT_TRUE(loaded.IsEmpty());
    EXPECT_EQ(loaded.GetData(), nullptr);
    std::remove(path.c_str());

    EXPECT_FALSE(loaded.LoadFile(path.c_str()));
    EXPECT_FALSE(out.SaveFile("/nonexistent-folder/x"));
}

TEST(OutBuf, ExtendAndTruncateReuseTheStorage)
{
    COutBuf buf;
    buf.PutString("head");
    char* tail = buf.Extend(1000);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(tail, buf.GetData() + 4);
    EXPECT_EQ(buf.GetLength(), 1004);
    EXPECT_EQ(buf.Extend(-1), nullptr);
    EXPECT_EQ(buf.GetLength(), 1004);
    const int capacity = buf.GetCapacity();
    const char* storage = buf.GetData();
    buf.Truncate(4);
    EXPECT_EQ(buf.GetLength(), 4);
    EXPECT_EQ(std::string(buf.GetData(), 4), "head");
    buf.Truncate(10); // never grows
    EXPECT_EQ(buf.GetLength(), 4);
    buf.Truncate(0);
    EXPECT_EQ(buf.GetCapacity(), capacity);
    EXPECT_EQ(buf.GetData(), storage);
}
