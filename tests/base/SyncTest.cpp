#include "TestSupport.h"

#include "base/Sync.h"

#include <string>

class SyncTest : public CModuleTest
{
};

namespace
{
std::string UniqueName(const char* stem)
{
    static LONG counter = 0;
    return std::string("VantorTest-") + stem + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter));
}

struct CLockProbe
{
    CCriticalSection* Section;
    HANDLE Taken;
};

DWORD WINAPI TakeLock(void* parameter)
{
    CLockProbe* probe = static_cast<CLockProbe*>(parameter);
    CCriticalSectionLock lock(*probe->Section);
    SetEvent(probe->Taken);
    return 0;
}

// Whether another thread can take the section within a second.
bool OtherThreadCanTake(CCriticalSection& section)
{
    CLockProbe probe = {&section, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, TakeLock, &probe, 0, nullptr);
    const bool taken = WaitForSingleObject(probe.Taken, 1000) == WAIT_OBJECT_0;
    if (!taken)
    {
        // Let the prober finish before its probe goes out of scope.
        section.Leave();
        WaitForSingleObject(thread, INFINITE);
        section.Enter();
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(probe.Taken);
    return taken;
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

TEST_F(SyncTest, ANamedEventCreatedTwiceIsTheSameEventAndReports183)
{
    const std::string name = UniqueName("event");
    CNamedEvent first;
    EXPECT_EQ(0u, first.Create(true, false, name.c_str()));
    EXPECT_EQ(0u, GetLastError());
    CNamedEvent second;
    EXPECT_EQ(0u, second.Create(true, false, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    static_assert(ERROR_ALREADY_EXISTS == 183, "an existing object is reported as 183");
    ASSERT_NE(nullptr, second.GetHandle());
    SetEvent(second.GetHandle());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.GetHandle(), 0));
    EXPECT_EQ(0u, first.Close());
    EXPECT_EQ(nullptr, first.GetHandle());
    EXPECT_EQ(0u, first.Close()); // nothing held
}

TEST_F(SyncTest, EventCreationReportsTheSystemsCode)
{
    CNamedFileMapping mapping;
    const std::string name = UniqueName("taken");
    ASSERT_TRUE(mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 4096, name.c_str()));
    const struct
    {
        const char* Name;
        DWORD Error;
    } cases[] = {
        {name.c_str(), ERROR_INVALID_HANDLE}, // the name belongs to an object of another kind
        {"VantorTest\\no\\such\\path", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases)
    {
        CNamedEvent event;
        EXPECT_EQ(c.Error, event.Create(false, false, c.Name)) << c.Name;
        EXPECT_EQ(nullptr, event.GetHandle());
    }
}

TEST_F(SyncTest, CreatingAgainReleasesTheEventHeldBefore)
{
    const std::string firstName = UniqueName("first");
    const std::string secondName = UniqueName("second");
    CNamedEvent event;
    ASSERT_EQ(0u, event.Create(false, false, firstName.c_str()));
    ASSERT_EQ(0u, event.Create(false, false, secondName.c_str()));
    EXPECT_EQ(nullptr, OpenEventA(SYNCHRONIZE, FALSE, firstName.c_str()));
    HANDLE second = OpenEventA(SYNCHRONIZE, FALSE, secondName.c_str());
    EXPECT_NE(nullptr, second);
    CloseHandle(second);
    ASSERT_EQ(0u, event.Create(true, true, nullptr)); // unnamed, initially signalled
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.GetHandle(), 0));
}

TEST_F(SyncTest, OwnersThatHoldNothingDoNothingAndKeepTheErrorCode)
{
    {
        CNamedEvent event;
        CNamedFileMapping mapping;
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    {
        const std::string name = UniqueName("scope");
        CNamedEvent event;
        ASSERT_EQ(0u, event.Create(false, false, name.c_str()));
        SetLastError(ERROR_ALREADY_EXISTS);
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CNamedFileMapping mapping;
    EXPECT_TRUE(mapping.Close());
}

TEST_F(SyncTest, ANamedMappingIsSharedByName)
{
    const std::string name = UniqueName("mapping");
    CNamedFileMapping writer;
    ASSERT_TRUE(writer.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x10000, name.c_str()));
    EXPECT_EQ(0u, GetLastError());
    char* view = static_cast<char*>(writer.MapView(FILE_MAP_WRITE, 0, 0x10000));
    ASSERT_NE(nullptr, view);
    strcpy(view + 0x8000, "names");

    CNamedFileMapping reader;
    ASSERT_TRUE(reader.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x10000, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    // An offset must be a multiple of the allocation granularity (64 KiB): the second half is
    // reached from the start.
    const char* other = static_cast<const char*>(reader.MapView(FILE_MAP_READ, 0, 0));
    ASSERT_NE(nullptr, other);
    EXPECT_STREQ("names", other + 0x8000);
    EXPECT_EQ(nullptr, reader.MapView(FILE_MAP_READ, 0x20000, 16)); // beyond the end
    UnmapViewOfFile(other);
    UnmapViewOfFile(view);
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(nullptr, writer.GetHandle());
    EXPECT_TRUE(writer.Close());
}

TEST_F(SyncTest, ASizeAboveFourGibibytesIsSplitIntoItsTwoWords)
{
    // A page-file mapping of 4 GiB + 4 KiB: only the high word tells it from 4 KiB.
    CNamedFileMapping mapping;
    if (!mapping.Create(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0x100001000ull, nullptr))
        GTEST_SKIP() << "the system refuses a reserved mapping of this size: " << GetLastError();
    void* view = mapping.MapView(FILE_MAP_READ, 0x100000000ull, 0x1000);
    EXPECT_NE(nullptr, view);
    if (view != nullptr)
        UnmapViewOfFile(view);
}
