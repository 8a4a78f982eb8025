#include "cacheserver/core/entry_freshness.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 2026-12-10 12:00:00 GMT
constexpr long long kNow = 1796904000;
const char kNowDate[] = "Thu, 10 Dec 2026 12:00:00 GMT";

CdnAnswerFields Fields(const std::vector<std::pair<const char*, const char*>>& fields)
{
    CdnAnswerFields answer;
    for (const auto& field : fields)
        answer.Add(field.first, field.second);
    return answer;
}

TEST(EntryFreshness, HttpDatesInTheirThreeFormsAndNothingElse)
{
    struct Case {
        const char* text;
        bool ok;
        long long seconds;
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
        {"Sun Nov  6 08:49:37 1994", true, 784111777},
        {kNowDate, true, kNow},
        {"Tue, 29 Feb 2028 23:59:59 GMT", true, 1835481599},
        {"Sun, 06 Nov 1994 08:49:37 UTC", false, 0},
        {"Sun, 06 Nov 1994 08:49:37 GMT extra", false, 0},
        {"Sun, 6 Nov 1994 08:49:37 GMT", false, 0},
        {"Sun, 06 Foo 1994 08:49:37 GMT", false, 0},
        {"Sun, 06 Nov 1994 24:00:00 GMT", false, 0},
        {"0", false, 0},
        {"-1", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        long long seconds = 0;
        EXPECT_EQ(ParseHttpDate(c.text, &seconds), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

TEST(EntryFreshness, LifetimeFromMaxAgeExpiresOrLastModified)
{
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> fields;
        long long freshFor;
        bool noCache;
        bool mustRevalidate;
    };
    const Case cases[] = {
        {"max-age", {{"Cache-Control", "public, max-age=600"}}, 600, false, false},
        {"max-age beats Expires", {{"Cache-Control", "max-age=60"}, {"Expires", "Thu, 10 Dec 2026 13:00:00 GMT"},
                                   {"Date", kNowDate}}, 60, false, false},
        {"Expires minus Date", {{"Expires", "Thu, 10 Dec 2026 13:00:00 GMT"}, {"Date", kNowDate}}, 3600, false, false},
        {"Expires 0 means ask each time", {{"Expires", "0"}, {"ETag", "\"a\""}}, 0, true, false},
        {"two Expires: expired", {{"Expires", "Thu, 10 Dec 2026 13:00:00 GMT"},
                                  {"Expires", "Thu, 10 Dec 2026 14:00:00 GMT"}}, 0, true, false},
        {"max-age=0 means ask each time", {{"Cache-Control", "max-age=0"}}, 0, true, false},
        {"invalid max-age is stale", {{"Cache-Control", "max-age=ten"}}, 0, true, false},
        {"repeated max-age is stale", {{"Cache-Control", "max-age=600"}, {"Cache-Control", "max-age=60"}}, 0, true,
         false},
        {"huge max-age is capped", {{"Cache-Control", "max-age=99999999999999999999"}}, 2147483648LL, false, false},
        {"no-cache", {{"Cache-Control", "no-cache"}, {"ETag", "\"a\""}}, 0, true, false},
        {"no-cache naming fields", {{"Cache-Control", "no-cache=\"Set-Cookie\", max-age=600"}}, 0, true, false},
        {"must-revalidate", {{"cache-control", "MAX-AGE=30, Must-Revalidate"}}, 30, false, true},
        {"tenth since Last-Modified", {{"Last-Modified", "Thu, 10 Dec 2026 02:00:00 GMT"}, {"Date", kNowDate}}, 3600,
         false, false},
        {"tenth capped at a day", {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}, {"Date", kNowDate}}, 86400,
         false, false},
        {"Last-Modified ahead of Date", {{"Last-Modified", "Fri, 11 Dec 2026 00:00:00 GMT"}, {"Date", kNowDate}}, 0,
         false, false},
        {"ETag alone: stale at once", {{"ETag", "W/\"v1\""}}, 0, false, false},
        {"nothing at all: for good", {{"Content-Type", "text/css"}}, kFreshForGood, false, false},
        {"private changes nothing here", {{"Cache-Control", "private"}}, kFreshForGood, false, false},
    };
    for (const Case& c : cases) {
        const EntryMeta meta = MetaOfAnswer(Fields(c.fields), kNow);
        EXPECT_EQ(meta.freshFor, c.freshFor) << c.what;
        EXPECT_EQ(meta.noCache, c.noCache) << c.what;
        EXPECT_EQ(meta.mustRevalidate, c.mustRevalidate) << c.what;
    }
}

TEST(EntryFreshness, WhatIsNeverStored)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> fields;
        bool store;
    };
    const Case cases[] = {
        {{{"Cache-Control", "max-age=60, no-store"}}, false},
        {{{"Vary", "Accept-Encoding, *"}}, false},
        {{{"Content-Encoding", "gzip"}}, false},
        {{{"Content-Encoding", "Identity"}}, true},
        {{{"Vary", "Accept-Encoding"}}, true},
        {{{"Cache-Control", "private"}, {"Set-Cookie", "a=b"}}, true},
    };
    // A no-store past a flood of fields is not lost.
    CdnAnswerFields flood;
    for (int i = 0; i < 2000; ++i)
        flood.Add("Cache-Control", "public");
    flood.Add("Cache-Control", "no-store");
    EXPECT_FALSE(MayStore(flood));
    for (const Case& c : cases)
        EXPECT_EQ(MayStore(Fields(c.fields)), c.store) << c.fields.front().first << ": " << c.fields.front().second;
}

TEST(EntryFreshness, JudgedByAgeAndTheAgeTheCdnReported)
{
    EntryMeta meta = MetaOfAnswer(Fields({{"Cache-Control", "max-age=100"}, {"Age", "40"}}), kNow);
    struct Case {
        long long later;
        bool mustRevalidate;
        EntryFreshness expected;
    };
    const Case cases[] = {
        {0, false, EntryFreshness::kFresh},
        {59, false, EntryFreshness::kFresh},
        {60, false, EntryFreshness::kStale},
        {60, true, EntryFreshness::kRevalidateFirst},
        {-3600, false, EntryFreshness::kFresh}, // the clock went back
    };
    for (const Case& c : cases) {
        meta.mustRevalidate = c.mustRevalidate;
        EXPECT_EQ(JudgeEntry(meta, kNow + c.later), c.expected) << c.later;
    }
    meta.noCache = true;
    EXPECT_EQ(JudgeEntry(meta, kNow), EntryFreshness::kRevalidateFirst);
}

TEST(EntryFreshness, A304RenewsFromItsOwnFieldsOrTheStoredRules)
{
    EntryMeta stored = MetaOfAnswer(Fields({{"Cache-Control", "max-age=60"}, {"ETag", "\"v1\""},
                                            {"Content-Type", "text/css"}}), kNow);
    stored.length = 5;
    stored.checksum = 77;
    const EntryMeta same = RenewedMeta(stored, Fields({{"ETag", "\"v1\""}}), kNow + 600);
    EXPECT_EQ(same.freshFor, 60);
    EXPECT_EQ(same.storedAt, kNow + 600);
    EXPECT_EQ(JudgeEntry(same, kNow + 630), EntryFreshness::kFresh);
    EXPECT_EQ(same.contentType, "text/css");
    EXPECT_EQ(same.length, 5);
    EXPECT_EQ(same.checksum, 77u);

    const EntryMeta changed = RenewedMeta(stored, Fields({{"Cache-Control", "no-cache"}, {"ETag", "\"v2\""}}), kNow);
    EXPECT_TRUE(changed.noCache);
    EXPECT_EQ(changed.etag, "\"v2\"");
    EXPECT_EQ(ConditionalHeaders(changed), "If-None-Match: \"v2\"\r\n");
}

} // namespace
