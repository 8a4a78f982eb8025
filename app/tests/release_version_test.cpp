#include "app/core/release_version.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ReleaseVersion, ParsesDottedDecimalNumbersOnly)
{
    const struct {
        const wchar_t* text;
        std::vector<unsigned long> components; // empty: refused
    } cases[] = {
        {L"1.0.02", {1, 0, 2}},
        {L"7", {7}},
        {L"999999999.0", {999999999, 0}},
        {L"1.0.0000000001", {}}, // ten digits
        {L"", {}}, {L".", {}}, {L"1..0", {}}, {L"1.0.", {}}, {L".1", {}},
        {L"v1.0", {}}, {L"1.0 ", {}}, {L" 1.0", {}}, {L"1,0", {}}, {L"-1", {}}, {L"+1", {}},
        {L"1.0\x0661", {}}, // a digit of another script
    };
    for (const auto& c : cases) {
        std::vector<unsigned long> parsed;
        EXPECT_EQ(ParseReleaseVersion(c.text, parsed), !c.components.empty()) << c.text;
        if (!c.components.empty()) {
            EXPECT_EQ(parsed, c.components) << c.text;
        }
    }
}

TEST(ReleaseVersion, NewerComparesNumberByNumber)
{
    const struct {
        const wchar_t* remote;
        const wchar_t* local;
        bool newer;
    } cases[] = {
        {L"1.0.10", L"1.0.9", true},   {L"1.0.9", L"1.0.10", false}, {L"1.0.02", L"1.0.01", true},
        {L"1.0.01", L"1.0.01", false}, {L"1.0.1", L"1.0.01", false}, {L"1.0.0", L"1.0", false},
        {L"1.0.0.1", L"1.0", true},    {L"2", L"1.99.99", true},     {L"1.0", L"1.0.0.1", false},
        {L"1.0.02", L"", false},       {L"", L"1.0.01", false},      {L"9.9.99x", L"1.0.01", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsNewerRelease(c.remote, c.local), c.newer) << c.remote << " against " << c.local;
}
