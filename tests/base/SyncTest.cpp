#include "BaseTest.h"

#include "base/Sync.h"

#include <string>

using SyncTest = CModuleTest;

TEST_F(SyncTest, OwnersReleaseWhatTheyHeldAndKeepTheErrorCode)
{
    // A lock passed by an exception is left: another thread takes the section. Static, so that a
    // thread left waiting by a fault never meets a destroyed section.
    static CCriticalSection section;
    EXPECT_EQ(1, ThrownCode([] { static_cast<void>(CCriticalSectionLock(section)), throw 1; }));
    EXPECT_TRUE(RunOnThreads(1, 10000, [](int) { CCriticalSectionLock lock(section); }));
    // A second Create releases the named event held before; the end of an owner's scope leaves
    // the last error as it was.
    const std::string name = "VantorTest-event-" + std::to_string(GetCurrentProcessId());
    {
        CNamedEvent event;
        CNamedFileMapping mapping;
        ASSERT_EQ(0u, event.Create(true, false, name.c_str()));
        ASSERT_EQ(0u, event.Create(true, true, nullptr)); // unnamed, initially signalled
        EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.GetHandle(), 0));
        ASSERT_TRUE(mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, nullptr));
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(183u, GetLastError());
    // A page-file mapping of 4 GiB + 4 KiB: only the high word of the size tells it from 4 KiB.
    CNamedFileMapping huge;
    if (!huge.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0x100001000ull, nullptr))
        GTEST_SKIP() << "the system refuses a reserved mapping of this size: " << GetLastError();
    void* high = huge.MapView(FILE_MAP_READ, 0x100000000ull, 0x1000);
    EXPECT_NE(nullptr, high);
    UnmapViewOfFile(high);
}
