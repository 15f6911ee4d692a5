// Text lookup, formatting, re-texting dialogs, the "Lang" setting and the built-in string table.
#include "LangTestSupport.h"
#include "LangTestIds.h"

#include "base/UiWrappers.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"
#include "settings/RegistryKey.h"

namespace
{
class LangLookup : public CLangTableUser
{
protected:
    void Load(const std::string& body)
    {
        ASSERT_TRUE(g_LangTable.LoadFromFile(AddBytesFile(Scratch, L"lookup.txt", LangFileBytes(body))));
    }

    CScratchFolder Scratch;
};

TEST_F(LangLookup, EmptyTableGivesBuiltInTexts)
{
    EXPECT_EQ(L"", ToStd(LangText(0x02000103)));
    EXPECT_EQ(L"Open archive", ToStd(LangTextOr(IDS_OPEN_TITLE, 0x02000103)));
    EXPECT_EQ(L"", ToStd(LangText(0x01000300))); // the System tab keeps its template caption
}

TEST_F(LangLookup, TranslationWinsEvenWhenEmpty)
{
    Load("2000103 = \"Archiv \xC3\xB6"
         "ffnen\"\n2000104 = \"\"\n");
    struct
    {
        UINT ResourceId;
        UINT LangId;
        const wchar_t* Expected;
    } const cases[] = {
        {IDS_OPEN_TITLE, 0x02000103,
         L"Archiv \x00F6"
         L"ffnen"},
        {IDS_OPEN_HELP, 0x02000104, L""},
        {IDS_EXTRACT_TITLE, 0x02000105, L"Extract files..."},
        {IDS_ERROR, 0x02000605, L"Error"},
    };
    for (const auto& item : cases)
    {
        EXPECT_EQ(item.Expected, ToStd(LangTextOr(item.ResourceId, item.LangId))) << std::hex << item.LangId;
        // LangText knows no fallback: a missing id and an empty translation look alike.
        EXPECT_EQ(item.LangId <= 0x02000104 ? std::wstring(item.Expected) : std::wstring(),
                  ToStd(LangText(item.LangId)))
            << std::hex << item.LangId;
    }
}

TEST_F(LangLookup, FormatArgFillsEveryPlaceholderOnce)
{
    struct
    {
        const wchar_t* Text;
        const wchar_t* Argument;
        const wchar_t* Expected;
    } const cases[] = {
        {L"Extract to {0}", L"\"report\\\"", L"Extract to \"report\\\""},
        {L"{0} and {0}", L"a", L"a and a"},
        {L"{0}{0}{0}", L"xy", L"xyxyxy"},
        {L"Add to {0}", L"{0}", L"Add to {0}"},
        {L"{0} / {0}", L"<{0}>", L"<{0}> / <{0}>"},
        {L"{0}", L"{", L"{"},
        {L"{{0}0}", L"x", L"{x0}"},
        {L"no placeholder", L"x", L"no placeholder"},
        {L"{1} {0 } {0", L"x", L"{1} {0 } {0"},
        {L"{0}", L"", L""},
        {L"", L"x", L""},
    };
    for (const auto& item : cases)
        EXPECT_EQ(item.Expected, ToStd(FormatArg(item.Text, item.Argument))) << item.Text;
}

// Owner of a dialog window of the tests.
class CTestDialog
{
public:
    CTestDialog()
    {
        _window = CreateDialogParamW(g_ModuleInstance, MAKEINTRESOURCEW(IDD_LANG_TEST), nullptr, &Procedure, 0);
    }
    ~CTestDialog()
    {
        if (_window != nullptr)
            DestroyWindow(_window);
    }
    CTestDialog(const CTestDialog&) = delete;
    CTestDialog& operator=(const CTestDialog&) = delete;

    HWND Get() const { return _window; }
    std::wstring ItemText(int id) const
    {
        wchar_t text[256] = {};
        GetDlgItemTextW(_window, id, text, 256);
        return text;
    }

private:
    static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

    HWND _window = nullptr;
};

TEST_F(LangLookup, ApplyLangToDialogRetextsMappedControlsOnly)
{
    Load("01009001 = \"Erste Zeile \xC3\xA4\"\n"
         "01009003 = \"\"\n"
         "01009009 = \"ghost\"\n");
    const CLangControlMap map[] = {
        {IDC_LANG_TEST_LABEL, 0x01009001},  // translated
        {IDC_LANG_TEST_BUTTON, 0x01009002}, // no translation: the template text stays
        {IDC_LANG_TEST_ABSENT, 0x01009009}, // no such control: nothing happens
        {IDC_LANG_TEST_CHECK, 0x01009003},  // an empty translation empties the control
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        CTestDialog dialog;
        ASSERT_NE(nullptr, dialog.Get());
        ApplyLangToDialog(dialog.Get(), map, 4);
        EXPECT_EQ(L"Erste Zeile \x00E4", dialog.ItemText(IDC_LANG_TEST_LABEL)) << wide;
        EXPECT_EQ(L"Beta", dialog.ItemText(IDC_LANG_TEST_BUTTON)) << wide;
        EXPECT_EQ(L"", dialog.ItemText(IDC_LANG_TEST_CHECK)) << wide;
    }
}

TEST_F(LangLookup, ApplyLangToDialogWithAnEmptyTableChangesNothing)
{
    const CLangControlMap map[] = {{IDC_LANG_TEST_LABEL, 0x01009001}, {IDC_LANG_TEST_CHECK, 0x01009003}};
    CTestDialog dialog;
    ASSERT_NE(nullptr, dialog.Get());
    ApplyLangToDialog(dialog.Get(), map, 2);
    ApplyLangToDialog(dialog.Get(), nullptr, 2);
    EXPECT_EQ(L"Alpha", dialog.ItemText(IDC_LANG_TEST_LABEL));
    EXPECT_EQ(L"Gamma", dialog.ItemText(IDC_LANG_TEST_CHECK));
}

TEST_F(LangLookup, GermanSampleTranslatesAllButTheWorkingFolder)
{
    ASSERT_TRUE(g_LangTable.LoadFromFile(TestProgramFolder() + L"Lang\\German.txt"));
    EXPECT_EQ(34, g_LangTable.Entries.Count());
    EXPECT_EQ(L"Vantor-Optionen", ToStd(LangTextOr(IDS_OPTIONS_CAPTION, 0x01000000)));
    EXPECT_EQ(L"Entpacken nach <Ordner>", ToStd(FormatArg(LangTextOr(IDS_EXTRACT_TO_TITLE, 0x0200010D),
                                                          LangTextOr(IDS_FOLDER_PLACEHOLDER, 0x02000140))));
    // The group box of the Folders page is left in English: the fallback at work.
    EXPECT_EQ(L"", ToStd(LangText(0x01000210)));
    CWideString text(L"kept");
    EXPECT_FALSE(g_LangTable.FindText(0x01000210, text));
    for (UINT id = 0x02000103; id <= 0x02000114; id++)
        EXPECT_TRUE(g_LangTable.FindText(id, text)) << std::hex << id;
}

class LangSetting : public CModuleTest
{
protected:
    CRegistrySnapshot Snapshot{HKEY_CURRENT_USER, L"Software\\VANTOR"};
};

void SetLangValue(const char* keyPath, const wchar_t* value)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, keyPath));
    if (value == nullptr)
        key.DeleteValue(L"Lang");
    else
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(L"Lang", value));
}

TEST_F(LangSetting, ReadsTheMainKeyOnBothPaths)
{
    struct
    {
        const wchar_t* Stored; // nullptr: no value
        const wchar_t* Expected;
    } const cases[] = {
        {L"German", L"German"},
        {L"-", L"-"},
        {L"", L""},
        {nullptr, L""},
        {L"\x00DC"
         L"bersicht.lng",
         L"\x00DC"
         L"bersicht.lng"},
        {L"C:\\Lang Files\\Deutsch", L"C:\\Lang Files\\Deutsch"},
    };
    // The file manager's own sub-key is not where the module looks.
    SetLangValue("Software\\VANTOR\\FM", L"French");
    for (const auto& item : cases)
    {
        SetLangValue("Software\\VANTOR", item.Stored);
        for (const bool wide : {true, false})
        {
            CWidePathScope scope(wide);
            CWideString name(L"stale");
            ReadLangSetting(name);
            EXPECT_EQ(item.Expected, ToStd(name)) << (wide ? "wide " : "ANSI ") << item.Expected;
        }
    }
}

TEST_F(LangSetting, MissingKeyGivesAnEmptyName)
{
    DeleteRegistryTree(HKEY_CURRENT_USER, L"Software\\VANTOR");
    CWideString name(L"stale");
    ReadLangSetting(name);
    EXPECT_TRUE(name.IsEmpty());
}

class ModuleFolder : public CModuleTest
{
};

TEST_F(ModuleFolder, IsTheFolderOfTheModuleWithItsBackslash)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        CWideString folder;
        ASSERT_TRUE(GetModuleFolder(folder));
        EXPECT_EQ(ToStd(TestProgramFolder()), ToStd(folder)) << wide;
    }
}

TEST_F(ModuleFolder, UnknownModuleHasNoFolder)
{
    const HINSTANCE saved = g_ModuleInstance;
    g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10));
    CWideString folder;
    const bool found = GetModuleFolder(folder);
    g_ModuleInstance = saved;
    EXPECT_FALSE(found);
}

class StringTable : public CModuleTest
{
};

TEST_F(StringTable, HoldsEveryBuiltInEnglishText)
{
    struct
    {
        UINT Id;
        const wchar_t* Text;
    } const strings[] = {
        {100, L"Error"},
        {102, L"Vantor Options"},
        {103, L"Specify a location for temporary archive files."},
        {142, L"Extract files..."},
        {143, L"Extracts files from the selected archive."},
        {144, L"Add to archive..."},
        {145, L"Adds the selected items to archive."},
        {146, L"Open archive"},
        {147, L"Opens the selected archive."},
        {148, L"Test archive"},
        {149, L"Tests integrity of the selected archive."},
        {150, L"Vantor commands"},
        {151, L"Vantor"},
        {152, L"Extract Here"},
        {153, L"Extracts files from the selected archive to current folder."},
        {154, L"Extract to {0}"},
        {155, L"Extracts files to subfolder."},
        {156, L"Add to {0}"},
        {157, L"Adds the selected items to archive."},
        {158, L"Compress and email..."},
        {159, L"Compresses the selected items to archive and sends archive via email."},
        {160, L"Compress to {0} and email"},
        {161, L"Compresses the selected items to archive and sends archive via email."},
        {170, L"<Folder>"},
        {171, L"<Archive>"},
        // No string stands behind the tab titles: the dialog captions are their built-in form.
        {101, L""},
        {141, L""},
        {162, L""},
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        for (const auto& item : strings)
            EXPECT_EQ(item.Text, ToStd(LoadModuleString(item.Id))) << item.Id << (wide ? " wide" : " ANSI");
    }
}
} // namespace
