#include "BaseTest.h"

#include "base/Sync.h"

#include <string>

using SyncTest = CModuleTest;

namespace
{
std::string UniqueName(const char* stem)
{
    static LONG counter = 0;
    return std::string("VantorTest-") + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter));
}

// Whether another thread can take the section within a second (this thread may hold it).
bool OtherThreadCanTake(CCriticalSection& section)
{
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool result;
    {
        CThread prober(
            [&]
            {
                CCriticalSectionLock lock(section);
                SetEvent(taken);
            });
        result = WaitForSingleObject(taken, 1000) == WAIT_OBJECT_0;
        if (!result)
            section.Leave(); // let the prober finish
    }
    if (!result)
        section.Enter();
    CloseHandle(taken);
    return result;
}
} // namespace

TEST_F(SyncTest, ALockIsLeftWhenAnExceptionPassesItsScope)
{
    CCriticalSection section;
    {
        CCriticalSectionLock lock(section);
        EXPECT_FALSE(OtherThreadCanTake(section));
    }
    try
    {
        CCriticalSectionLock lock(section);
        throw CNewException();
    }
    catch (const CNewException&)
    {
    }
    EXPECT_TRUE(OtherThreadCanTake(section));
}

TEST_F(SyncTest, ANamedEventCreatedTwiceIsTheSameEventAndReports183AndCreateReleasesTheOldOne)
{
    const std::string name = UniqueName("event");
    CNamedEvent first;
    EXPECT_EQ(0u, first.Create(true, false, name.c_str()));
    EXPECT_EQ(0u, GetLastError());
    CNamedEvent second;
    EXPECT_EQ(0u, second.Create(true, false, name.c_str()));
    EXPECT_EQ(183u, GetLastError());
    ASSERT_NE(nullptr, second.GetHandle());
    SetEvent(second.GetHandle());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.GetHandle(), 0));

    // Creating again releases the event held before.
    const std::string other = UniqueName("other");
    ASSERT_EQ(0u, second.Create(false, false, other.c_str()));
    ASSERT_EQ(0u, first.Create(true, true, nullptr)); // unnamed, initially signalled
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.GetHandle(), 0));
    EXPECT_EQ(0u, first.Close());
    EXPECT_EQ(nullptr, first.GetHandle());
    EXPECT_EQ(0u, first.Close()); // nothing held

    // A name taken by an object of another kind, and a name with a path that does not exist.
    CNamedFileMapping mapping;
    const std::string taken = UniqueName("taken");
    ASSERT_TRUE(mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, taken.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), second.Create(false, false, taken.c_str()));
    EXPECT_EQ(nullptr, second.GetHandle());
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), second.Create(false, false, "VantorTest\\no\\such\\path"));
    EXPECT_EQ(nullptr, second.GetHandle());
}

TEST_F(SyncTest, ANamedMappingCreatedTwiceReports183AndOwnersKeepTheErrorCode)
{
    const std::string name = UniqueName("mapping");
    {
        CNamedFileMapping first, second;
        ASSERT_TRUE(first.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x10000, name.c_str()));
        EXPECT_EQ(0u, GetLastError());
        ASSERT_TRUE(second.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x10000, name.c_str()));
        EXPECT_EQ(183u, GetLastError());
        CNamedEvent event;
        ASSERT_EQ(0u, event.Create(false, false, nullptr));
        EXPECT_TRUE(second.Close());
        EXPECT_EQ(nullptr, second.GetHandle());
        EXPECT_TRUE(second.Close()); // nothing held
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(183u, GetLastError()); // closing the first mapping and the event did not change it

    // A page-file mapping of 4 GiB + 4 KiB: only the high word of the size tells it from 4 KiB.
    CNamedFileMapping huge;
    if (!huge.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0x100001000ull, nullptr))
        GTEST_SKIP() << "the system refuses a reserved mapping of this size: " << GetLastError();
    void* high = huge.MapView(FILE_MAP_READ, 0x100000000ull, 0x1000);
    EXPECT_NE(nullptr, high);
    UnmapViewOfFile(high);
}
