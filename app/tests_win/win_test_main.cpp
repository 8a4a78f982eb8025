// Entry point of the Win32 test runner (runs under wine64 here).
#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    CoInitialize(nullptr);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
