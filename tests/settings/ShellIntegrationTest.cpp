#include "RegistryTestSupport.h"

#include "base/TextConvert.h"
#include "settings/ShellIntegration.h"

#include <string>
#include <vector>

namespace
{
const wchar_t kClassId[] = L"{23170F69-40C1-439B-1000-000100020000}";
const wchar_t* const kClasses[] = {L"*", L"Folder", L"Directory", L"Drive"};

std::wstring MenuKey(const std::wstring& className)
{
    return className + L"\\shellex\\ContextMenuHandlers\\VANTOR";
}

std::wstring DragKey(const std::wstring& className)
{
    return className + L"\\shellex\\DragDropHandlers\\VANTOR";
}

std::vector<std::wstring> AllHandlerKeys()
{
    std::vector<std::wstring> keys;
    for (const wchar_t* className : kClasses)
    {
        keys.push_back(MenuKey(className));
        keys.push_back(DragKey(className));
    }
    return keys;
}

// The four keys the handler registers, in the order of the check.
const std::vector<std::wstring> kRegisteredKeys = {MenuKey(L"Directory"), MenuKey(L"*"), DragKey(L"Directory"),
                                                   DragKey(L"Drive")};

void WriteHandlerKey(const std::wstring& path, const wchar_t* value)
{
    RawRegistry::SetText(HKEY_CLASSES_ROOT, path, nullptr, value);
}

class ShellIntegrationTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        for (const std::wstring& key : AllHandlerKeys())
            DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
    }

private:
    CClassesRootGuard _guard{AllHandlerKeys()};
};

TEST_F(ShellIntegrationTest, AHandlerKeyCountsOnlyWithTheClassIdAsItsDefaultValue)
{
    const struct
    {
        const wchar_t* Value; // null: key without a default value
        bool Registered;
    } cases[] = {
        {L"{23170F69-40C1-439B-1000-000100020000}", true},
        {L"{23170f69-40c1-439b-1000-000100020000}", true},
        {L" {23170F69-40C1-439B-1000-000100020000}", false},
        {L"{23170F69-40C1-439B-1000-000100020000} ", false},
        {L"23170F69-40C1-439B-1000-000100020000", false},
        {L"{23170F69-40C1-439B-1000-000100020001}", false},
        {L"", false},
        {nullptr, false},
    };
    const std::wstring key = MenuKey(L"*");
    for (const auto& c : cases)
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
        if (c.Value != nullptr)
            WriteHandlerKey(key, c.Value);
        else
            RawRegistry::CreateKey(HKEY_CLASSES_ROOT, key);
        EXPECT_EQ(c.Registered, IsHandlerKeyRegistered("*\\shellex\\ContextMenuHandlers\\VANTOR"))
            << (c.Value ? SystemTextFromWide(c.Value).Ptr() : "(no value)");
    }
    DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_FALSE(IsHandlerKeyRegistered("*\\shellex\\ContextMenuHandlers\\VANTOR"));
}

TEST_F(ShellIntegrationTest, IntegratedOnlyWhenAllFourRegisteredKeysArePresent)
{
    // Bit i: the i-th of the four registered keys is present.
    for (unsigned present = 0; present < 16; present++)
    {
        for (const std::wstring& key : AllHandlerKeys())
            DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
        for (unsigned i = 0; i < 4; i++)
            if (present & (1u << i))
                WriteHandlerKey(kRegisteredKeys[i], kClassId);
        EXPECT_EQ(present == 15, IsShellIntegrated()) << "present mask " << present;
    }
    // The keys we never register play no part: "Folder" absent, "Drive" context menu absent.
    EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, DragKey(L"Folder")));
    EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, MenuKey(L"Drive")));
}

TEST_F(ShellIntegrationTest, RegisteringReplacesStaleKeysWithTheClassIdAlone)
{
    const std::wstring stale = MenuKey(L"*");
    WriteHandlerKey(stale, L"{00000000-0000-0000-0000-000000000000}");
    RawRegistry::SetText(HKEY_CLASSES_ROOT, stale, L"Extra", L"left over");
    RawRegistry::SetNumber(HKEY_CLASSES_ROOT, stale + L"\\Child\\Grandchild", L"Deep", 1);

    RegisterShellIntegration();

    EXPECT_TRUE(IsShellIntegrated());
    for (const std::wstring& key : kRegisteredKeys)
    {
        EXPECT_EQ(std::vector<std::wstring>{L""}, RawRegistry::ValueNames(HKEY_CLASSES_ROOT, key))
            << SystemTextFromWide(key.c_str()).Ptr();
        EXPECT_EQ(std::vector<std::wstring>{}, RawRegistry::SubKeyNames(HKEY_CLASSES_ROOT, key));
        const RawRegistry::CValue value = RawRegistry::GetValue(HKEY_CLASSES_ROOT, key, nullptr);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.Type);
        EXPECT_EQ(WideTextBytes(kClassId), value.Data);
    }
    // Only the four keys of the table are written.
    for (const std::wstring& key : {MenuKey(L"Folder"), MenuKey(L"Drive"), DragKey(L"*"), DragKey(L"Folder")})
        EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, key)) << SystemTextFromWide(key.c_str()).Ptr();
}

TEST_F(ShellIntegrationTest, UnregisteringRemovesEveryHandlerKeyWholeAndNothingElse)
{
    for (const std::wstring& key : AllHandlerKeys())
    {
        WriteHandlerKey(key, kClassId);
        RawRegistry::SetNumber(HKEY_CLASSES_ROOT, key + L"\\Sub\\Deeper", L"Deep", 1);
    }
    const std::wstring neighbour = L"Directory\\shellex\\ContextMenuHandlers\\VantorTestNeighbour";
    WriteHandlerKey(neighbour, L"{11111111-2222-3333-4444-555555555555}");

    UnregisterShellIntegration();

    for (const std::wstring& key : AllHandlerKeys())
        EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, key)) << SystemTextFromWide(key.c_str()).Ptr();
    EXPECT_TRUE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, neighbour));
    EXPECT_FALSE(IsShellIntegrated());
    DeleteRegistryTree(HKEY_CLASSES_ROOT, neighbour.c_str());
}

TEST_F(ShellIntegrationTest, UnregisteringWithNothingRegisteredCreatesNothing)
{
    UnregisterShellIntegration();
    for (const std::wstring& key : AllHandlerKeys())
        EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CLASSES_ROOT, key));
    EXPECT_FALSE(IsShellIntegrated());
}
} // namespace
