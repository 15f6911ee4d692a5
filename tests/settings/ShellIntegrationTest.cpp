#include "TestSupport.h"

#include "base/TextConvert.h"
#include "settings/ShellIntegration.h"

#include <memory>

namespace
{
const wchar_t kClassId[] = L"{23170F69-40C1-439B-1000-000100020000}";

std::wstring MenuKey(const std::wstring& className)
{
    return className + L"\\shellex\\ContextMenuHandlers\\VANTOR";
}

std::wstring DragKey(const std::wstring& className)
{
    return className + L"\\shellex\\DragDropHandlers\\VANTOR";
}

// The four keys the handler registers, in the order of the check, then the four it never writes.
const std::vector<std::wstring> kHandlerKeys = {MenuKey(L"Directory"), MenuKey(L"*"),      DragKey(L"Directory"),
                                                DragKey(L"Drive"),     MenuKey(L"Folder"), MenuKey(L"Drive"),
                                                DragKey(L"*"),         DragKey(L"Folder")};
const size_t kRegisteredCount = 4;

void DeleteHandlerKeys()
{
    for (const std::wstring& key : kHandlerKeys)
        DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
}

// Each test starts without any handler key of ours and leaves HKEY_CLASSES_ROOT as found.
class ShellIntegrationTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        for (const std::wstring& path : kHandlerKeys)
            _snapshots.emplace_back(new CRegistrySnapshot(HKEY_CLASSES_ROOT, path));
        DeleteHandlerKeys();
    }

private:
    std::vector<std::unique_ptr<CRegistrySnapshot>> _snapshots;
};

TEST_F(ShellIntegrationTest, AHandlerKeyCountsOnlyWithTheClassIdAsItsDefaultValue)
{
    const struct
    {
        CStored Value;
        bool Registered;
    } cases[] = {
        {Text(kClassId), true},
        // Class ids compare without regard to case.
        {Text(L"{23170f69-40c1-439b-1000-000100020000}"), true},
        {Text(L" {23170F69-40C1-439B-1000-000100020000}"), false},
        {Text(L"{23170F69-40C1-439B-1000-000100020000} "), false},
        {Text(L"23170F69-40C1-439B-1000-000100020000"), false},
        {Text(L"{23170F69-40C1-439B-1000-000100020001}"), false},
        {Text(L""), false},
        {kNoValue, false},
    };
    const std::wstring key = MenuKey(L"*");
    for (const auto& c : cases)
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
        SetRaw(HKEY_CLASSES_ROOT, key, L"", c.Value);
        EXPECT_EQ(c.Registered, IsHandlerKeyRegistered("*\\shellex\\ContextMenuHandlers\\VANTOR"))
            << c.Value.second.size() << " bytes";
    }
    DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_FALSE(IsHandlerKeyRegistered("*\\shellex\\ContextMenuHandlers\\VANTOR"));
}

// Among the masks: only "*" present is false; all four present with "Folder" absent is true.
TEST_F(ShellIntegrationTest, IntegratedOnlyWhenAllFourRegisteredKeysArePresent)
{
    for (unsigned present = 0; present < 16; present++)
    {
        DeleteHandlerKeys();
        for (unsigned i = 0; i < kRegisteredCount; i++)
            if (present & (1u << i))
                SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[i], L"", Text(kClassId));
        EXPECT_EQ(present == 15, IsShellIntegrated()) << "present mask " << present;
    }
}

TEST_F(ShellIntegrationTest, RegisteringReplacesStaleKeysWithTheClassIdAlone)
{
    const std::wstring stale = MenuKey(L"*");
    SetRaw(HKEY_CLASSES_ROOT, stale, L"", Text(L"{00000000-0000-0000-0000-000000000000}"));
    SetRaw(HKEY_CLASSES_ROOT, stale, L"Extra", Text(L"left over"));
    SetRaw(HKEY_CLASSES_ROOT, stale + L"\\Child\\Grandchild", L"Deep", Dword(1));

    RegisterShellIntegration();

    EXPECT_TRUE(IsShellIntegrated());
    for (size_t i = 0; i < kHandlerKeys.size(); i++)
    {
        SCOPED_TRACE(SystemTextFromWide(kHandlerKeys[i].c_str()).Ptr());
        EXPECT_EQ(i < kRegisteredCount, RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
        EXPECT_EQ((i < kRegisteredCount ? CValues{{L"", Text(kClassId)}} : CValues{}),
                  RawValues(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
        EXPECT_EQ(std::vector<std::wstring>{}, RawSubKeys(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
    }
}

// Also the keys we never write, sub-keys and all; a second run finds nothing and creates nothing.
TEST_F(ShellIntegrationTest, UnregisteringRemovesEveryHandlerKeyWholeAndNothingElse)
{
    for (const std::wstring& key : kHandlerKeys)
    {
        SetRaw(HKEY_CLASSES_ROOT, key, L"", Text(kClassId));
        SetRaw(HKEY_CLASSES_ROOT, key + L"\\Sub\\Deeper", L"Deep", Dword(1));
    }
    const std::wstring neighbour = L"Directory\\shellex\\ContextMenuHandlers\\VantorTestNeighbour";
    SetRaw(HKEY_CLASSES_ROOT, neighbour, L"", Text(L"{11111111-2222-3333-4444-555555555555}"));
    for (int run = 0; run < 2; run++)
    {
        UnregisterShellIntegration();
        for (const std::wstring& key : kHandlerKeys)
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, key)) << SystemTextFromWide(key.c_str()).Ptr();
        EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, neighbour));
        EXPECT_FALSE(IsShellIntegrated());
    }
    DeleteRegistryTree(HKEY_CLASSES_ROOT, neighbour.c_str());
}
} // namespace
