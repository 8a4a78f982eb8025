#include "app/core/release_version.h"

#include <gtest/gtest.h>

TEST(ReleaseVersion, NewerComparesNumberByNumberAndRefusesWhatDoesNotParse)
{
    const struct {
        const wchar_t* remote;
        const wchar_t* local;
        bool newer;
    } cases[] = {
        {L"1.0.10", L"1.0.9", true},   {L"1.0.9", L"1.0.10", false}, {L"1.0.02", L"1.0.01", true},
        {L"1.0.01", L"1.0.01", false}, {L"1.0.1", L"1.0.01", false}, {L"1.0.0", L"1.0", false},
        {L"1.0.0.1", L"1.0", true},    {L"2", L"1.99.99", true},     {L"999999999", L"1", true},
        // Any text that is not dotted numbers of 1 to 9 digits, on either side.
        {L"1.0000000000", L"1", false}, {L"", L"1.0.01", false},   {L"1.0.02", L"", false},
        {L"9.9.99x", L"1", false},      {L"9..9", L"1", false},     {L"9.", L"1", false},
        {L".9", L"1", false},           {L"9 ", L"1", false},       {L"+9", L"1", false},
        {L"9\x0661", L"1", false},      {L"9.0", L"1-beta", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerRelease(c.remote, c.local), c.newer) << c.remote << " against " << c.local;
}
