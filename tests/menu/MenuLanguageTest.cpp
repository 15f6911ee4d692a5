#include "MenuTestSupport.h"
#include "TestSupport.h"

#include "lang/Language.h"
#include "menu/ShellMenuHandler.h"

// The language is read once per process, so the translated menus are checked in a fresh run of
// this program (the child below), which the parent starts with "Lang" pointing at a file of its own.
namespace
{
const wchar_t kChildVariable[] = L"VANTOR_MENU_LANG_CHILD";

// Translates the submenu, Open (into letters the ANSI code page lacks), Extract to and its help;
// everything else stays English.
const char kLanguageFile[] = ";!@Lang@!UTF-8! test language\n"
                             "2000101 = \"Vantor-Men\xC3\xBC\"\n"
                             "2000103 = \"\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2\"\n"
                             "200010D = \"Entpacken nach {0}\"  200010E = \"Entpackt in Unterordner.\"\n";

} // namespace

class MenuLanguageTest : public CModuleTest
{
};

TEST_F(MenuLanguageTest, ATranslationChangesMenuAndHelpTextsAndMissingIdsStayEnglish)
{
    CRegistrySnapshot settings(HKEY_CURRENT_USER, L"Software\\VANTOR");
    CScratchFolder scratch;
    const CWideString languageFile = scratch.AddFile(L"Test.lng", kLanguageFile);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VANTOR", 0, nullptr, 0, KEY_SET_VALUE,
                                             nullptr, &key, nullptr));
    RegSetValueExW(key, L"Lang", 0, REG_SZ, reinterpret_cast<const BYTE*>(languageFile.Ptr()),
                   static_cast<DWORD>((languageFile.Length() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    const std::wstring environment = std::wstring(kChildVariable) + L"=" + scratch.Path().Ptr();
    EXPECT_EQ(0u, RunThisProgram(L"MenuLanguageChild.*", environment.c_str()));
}

class MenuLanguageChild : public CModuleTest
{
protected:
    void SetUp() override
    {
        wchar_t folder[MAX_PATH] = {};
        if (GetEnvironmentVariableW(kChildVariable, folder, MAX_PATH) != 0)
            LoadLanguageOnce(); // stays loaded for the whole process
        CModuleTest::SetUp();
        if (folder[0] == 0)
            GTEST_SKIP() << "runs only as the child of MenuLanguageTest";
        Folder = folder;
    }
    std::wstring Folder;
};

TEST_F(MenuLanguageChild, TranslatedMenuInBothCharacterWidths)
{
    ASSERT_FALSE(g_LangTable.Entries.IsEmpty()) << "language file not loaded";
    const std::wstring archive = Folder + L"report.zip";
    HANDLE file = CreateFileW(archive.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);

    CShellMenuHandler* handler = new CShellMenuHandler;
    handler->AddRef();
    const wchar_t* names[] = {archive.c_str()};
    handler->InitContextMenu(0, names, 1);
    for (bool ansi : {false, true})
    {
        CWidePathScope platform(!ansi);
        HMENU menu = CreatePopupMenu();
        ASSERT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 12), handler->QueryContextMenu(menu, 0, 1, 100, 0));
        const std::vector<CShownItem> items = ReadMenu(menu, ansi);
        ASSERT_EQ(12u, items.size());
        EXPECT_EQ(L"Vantor-Men\u00fc", items[0].Text);
        // Windows 98 shows what its code page cannot hold as "_".
        EXPECT_EQ(ansi ? L"_____" : L"\u0410\u0440\u0445\u0438\u0432", items[1].Text);
        EXPECT_EQ(L"Extract files...", items[2].Text);
        EXPECT_EQ(L"Entpacken nach \"report\\\"", items[4].Text);
        EXPECT_EQ(L"Add to \"report.zip\"", items[6].Text);
        EXPECT_EQ(CWideString(L"Entpackt in Unterordner."), handler->CommandMap[4].HelpText);
        EXPECT_EQ(CWideString(L"Extracts files from the selected archive."), handler->CommandMap[2].HelpText);
        EXPECT_EQ(CWideString(L"Vantor commands"), handler->CommandMap[0].HelpText);
        DestroyMenu(menu);
    }
    handler->Release();
}
