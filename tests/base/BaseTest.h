#pragma once

#include "TestSupport.h"

#include <functional>
#include <tuple>
#include <utility>

// Runs each test once through the wide entry points and once through the ANSI ones.
class CBothWidthsTest : public CModuleTest, public ::testing::WithParamInterface<bool>
{
protected:
    CWidePathScope Width{GetParam()};
};

#define INSTANTIATE_BOTH_WIDTHS(Suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(BothWidths, Suite, ::testing::Values(true, false),                                        \
                             [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Wide" : "Ansi"; })

// The integer code an operation throws, or 0 when it throws none.
template <typename TOperation> int ThrownCode(TOperation operation)
{
    try
    {
        operation();
    }
    catch (int code)
    {
        return code;
    }
    return 0;
}

// Puts the file APIs in OEM or ANSI mode for one scope; ANSI, the default, again at its end.
class COemFileApisScope
{
public:
    explicit COemFileApisScope(bool oem) { (oem ? SetFileApisToOEM : SetFileApisToANSI)(); }
    ~COemFileApisScope() { SetFileApisToANSI(); }
};

// Runs a function on a thread of its own; the end of the scope waits for it.
class CThread
{
public:
    explicit CThread(std::function<void()> work) : _work(std::move(work)) {}
    ~CThread()
    {
        WaitForSingleObject(_handle, INFINITE);
        CloseHandle(_handle);
    }
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

private:
    static DWORD WINAPI Run(void* self) { return static_cast<CThread*>(self)->_work(), 0; }
    std::function<void()> _work;
    HANDLE _handle = CreateThread(nullptr, 0, Run, this, 0, nullptr);
};
