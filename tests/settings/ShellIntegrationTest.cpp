#include "TestSupport.h"

#include "settings/ShellIntegration.h"

namespace
{
// The four keys the handler registers, in the order of the check, then the four it never writes.
const std::vector<std::wstring> kHandlerKeys = []
{
    std::vector<std::wstring> keys;
    for (const wchar_t* key :
         {L"Directory\\shellex\\ContextMenu", L"*\\shellex\\ContextMenu", L"Directory\\shellex\\DragDrop",
          L"Drive\\shellex\\DragDrop", L"Folder\\shellex\\ContextMenu", L"Drive\\shellex\\ContextMenu",
          L"*\\shellex\\DragDrop", L"Folder\\shellex\\DragDrop"})
        keys.push_back(key + std::wstring(L"Handlers\\VANTOR"));
    return keys;
}();

// The test starts without any handler key of ours and leaves HKEY_CLASSES_ROOT (the neighbour too) as found.
class ShellIntegrationTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        for (const std::wstring& key : kHandlerKeys)
            DeleteRegistryTree(HKEY_CLASSES_ROOT, key.c_str());
    }

private:
    CRegistrySnapshot _shellex[4] = {{HKEY_CLASSES_ROOT, L"*\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Folder\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Directory\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Drive\\shellex"}};
};

// Class ids compare without regard to case. Among the masks: only "*" present is false; all four
// present with "Folder" absent is true.
TEST_F(ShellIntegrationTest, TheShellIsIntegratedExactlyWhenAllFourKeysHoldOurClassId)
{
    const std::wstring& id = kHandlerClassId;
    std::wstring lower = id, nearMiss = id;
    CharLowerW(lower.data());
    nearMiss[id.size() - 2] ^= 1;
    const std::pair<CStored, bool> cases[] = {
        {Text(id), true},
        {Text(lower), true},
        {Text(L" " + id), false},
        {Text(id + L" "), false},
        {Text(id.substr(1, id.size() - 2)), false},
        {Text(nearMiss), false},
        {Text(L""), false},
        {kNoValue, false},
    };
    for (const auto& [value, registered] : cases)
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerKeys[1].c_str());
        SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[1], L"", value);
        EXPECT_EQ(registered, IsHandlerKeyRegistered("*\\shellex\\ContextMenuHandlers\\VANTOR"))
            << value.second.size() << " bytes";
    }
    for (unsigned present = 0; present < 16; present++)
    {
        for (unsigned i = 0; i < 4; i++)
            if (present & (1u << i))
                SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[i], L"", Text(id));
            else
                DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerKeys[i].c_str());
        EXPECT_EQ(present == 15, IsShellIntegrated()) << "present mask " << present;
    }
}

// A stale key gives way to one that holds the class id alone. Unregistering removes every handler
// key of ours whole, also those we never write, and nothing else; a second run finds nothing.
TEST_F(ShellIntegrationTest, RegisteringWritesOurFourKeysAfreshAndUnregisteringRemovesOursOnly)
{
    const std::wstring& id = kHandlerClassId;
    SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[1], L"", Text(L"{00000000-0000-0000-0000-000000000000}"));
    SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[1], L"Extra", Text(L"left over"));
    SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[1] + L"\\Child\\Grandchild", L"Deep", Dword(1));
    RegisterShellIntegration();
    for (size_t i = 0; i < kHandlerKeys.size(); i++)
    {
        SCOPED_TRACE(testing::Message() << "key " << i);
        EXPECT_EQ(i < 4, RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
        EXPECT_EQ((i < 4 ? CValues{{L"", Text(id)}} : CValues{}), RawValues(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
        EXPECT_EQ(std::vector<std::wstring>{}, RawSubKeys(HKEY_CLASSES_ROOT, kHandlerKeys[i]));
        SetRaw(HKEY_CLASSES_ROOT, kHandlerKeys[i] + L"\\Sub\\Deeper", L"Deep", Dword(1));
    }
    const std::wstring neighbour = L"Directory\\shellex\\ContextMenuHandlers\\VantorTestNeighbour";
    SetRaw(HKEY_CLASSES_ROOT, neighbour, L"", Text(L"{11111111-2222-3333-4444-555555555555}"));
    for (int run = 0; run < 2; run++)
    {
        UnregisterShellIntegration();
        for (size_t i = 0; i < kHandlerKeys.size(); i++)
            EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerKeys[i])) << "run " << run << " key " << i;
        EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, neighbour));
    }
}
} // namespace
