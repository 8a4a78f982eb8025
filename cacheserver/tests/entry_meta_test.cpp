#include "cacheserver/core/entry_meta.h"

#include "cacheserver/core/body_checksum.h"

#include <gtest/gtest.h>

#include <string>

namespace {

EntryMeta Sample()
{
    EntryMeta meta;
    meta.length = 123456;
    meta.checksum = 0x0123456789abcdefULL;
    meta.storedAt = 1796904000;
    meta.freshFor = 600;
    meta.mustRevalidate = true;
    meta.contentType = "text/css; charset=utf-8";
    meta.etag = "W/\"v1\"";
    meta.lastModified = "Thu, 10 Dec 2026 12:00:00 GMT";
    return meta;
}

TEST(EntryMeta, WrittenTextReadsBackToTheSameEntry)
{
    EntryMeta forGood;
    forGood.freshFor = kFreshForGood;
    forGood.noCache = true;
    for (const EntryMeta& original : {Sample(), forGood}) {
        EntryMeta read;
        ASSERT_TRUE(ParseEntryMeta(FormatEntryMeta(original), &read)) << FormatEntryMeta(original);
        EXPECT_EQ(read.length, original.length);
        EXPECT_EQ(read.checksum, original.checksum);
        EXPECT_EQ(read.storedAt, original.storedAt);
        EXPECT_EQ(read.freshFor, original.freshFor);
        EXPECT_EQ(read.noCache, original.noCache);
        EXPECT_EQ(read.mustRevalidate, original.mustRevalidate);
        EXPECT_EQ(read.contentType, original.contentType);
        EXPECT_EQ(read.etag, original.etag);
        EXPECT_EQ(read.lastModified, original.lastModified);
    }
}

TEST(EntryMeta, AnythingButWhatIsWrittenIsRefused)
{
    const std::string good = FormatEntryMeta(Sample());
    auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"another first line", replaced("kestrun-entry 1", "kestrun-entry 2")},
        {"cut before the last line end", good.substr(0, good.size() - 1)},
        {"cut mid-way", good.substr(0, good.find("fresh"))},
        {"a field twice", good + "etag \"x\"\n"},
        {"an unknown field", good + "colour blue\n"},
        {"a negative length", replaced("length 123456", "length -5")},
        {"a leading zero", replaced("length 123456", "length 0123456")},
        {"a length past 18 digits", replaced("length 123456", "length 1234567890123456789")},
        {"a short checksum", replaced("0123456789abcdef", "0123456789abcde")},
        {"an upper-case checksum", replaced("0123456789abcdef", "0123456789ABCDEF")},
        {"an unknown flag", replaced("flags must-revalidate", "flags immutable")},
        {"a repeated flag", replaced("flags must-revalidate", "flags must-revalidate must-revalidate")},
        {"flags out of order", replaced("flags must-revalidate", "flags must-revalidate no-cache")},
        {"a control character", replaced("text/css", "text/\tcss")},
        {"a CR in a value", replaced("text/css", "text/css\r")},
        {"a line without a value", replaced("etag W/\"v1\"\n", "etag\n")},
        {"too long", good + std::string(kMaxEntryMetaBytes, 'x') + "\n"},
    };
    for (const Case& c : cases) {
        EntryMeta read;
        EXPECT_FALSE(ParseEntryMeta(c.text, &read)) << c.what;
    }
    // Fields in another order are still the file's.
    const std::string reordered = "kestrun-entry 1\nflags -\nfresh -1\nstored 5\nchecksum 00000000000000ff\nlength 3\n";
    EntryMeta read;
    ASSERT_TRUE(ParseEntryMeta(reordered, &read));
    EXPECT_EQ(read.checksum, 0xffu);
    EXPECT_EQ(read.freshFor, kFreshForGood);
}

TEST(EntryMeta, ValuesThatCannotGoIntoAHeaderAreLeftOut)
{
    EntryMeta meta = Sample();
    meta.etag = "\"a\"\r\nSet-Cookie: x";
    meta.contentType = std::string(2000, 'a');
    EntryMeta read;
    ASSERT_TRUE(ParseEntryMeta(FormatEntryMeta(meta), &read));
    EXPECT_EQ(read.etag, "");
    EXPECT_EQ(read.contentType, "");
    EXPECT_EQ(read.lastModified, meta.lastModified);
}

TEST(EntryMeta, ChecksumIsTheKnownOneWhateverThePieces)
{
    // Published values of this 64-bit checksum, seed 0.
    EXPECT_EQ(BodyChecksumOf("", 0), 0xef46db3751d8e999ULL);
    EXPECT_EQ(BodyChecksumOf("abc", 3), 0x44bc2cf5ad770999ULL);
    std::string body;
    for (int i = 0; i < 1000; ++i)
        body += static_cast<char>(i * 7 + 3);
    const uint64_t whole = BodyChecksumOf(body.data(), body.size());
    for (size_t piece : {1u, 5u, 31u, 32u, 33u, 999u}) {
        CBodyChecksum sum;
        for (size_t at = 0; at < body.size(); at += piece)
            sum.Add(body.data() + at, std::min(piece, body.size() - at));
        EXPECT_EQ(sum.Value(), whole) << piece;
    }
    std::string flipped = body;
    flipped[500] ^= 1;
    EXPECT_NE(BodyChecksumOf(flipped.data(), flipped.size()), whole);
}

} // namespace
