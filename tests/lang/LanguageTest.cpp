// Text lookup, formatting, re-texting dialogs, and which file "Lang" selects. The language loads
// once per process, so each selection case runs in a fresh copy of this program.
#include "LangTestIds.h"
#include "TestSupport.h"

#include "lang/Language.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"

namespace
{
// Tests that fill the process-wide table empty it, its slot storage included, before the leak check.
class LangLookup : public CModuleTest
{
protected:
    void TearDown() override
    {
        g_LangTable.Entries.ClearAndRelease();
        CModuleTest::TearDown();
    }
    // A language file: the signature line followed by `body`.
    CWideString AddLangFile(const wchar_t* name, const std::string& body)
    {
        const std::string bytes = ";!@Lang@!UTF-8!\n" + body;
        return Scratch.AddFile(name, bytes.data(), bytes.size());
    }
    CScratchFolder Scratch;
};

TEST_F(LangLookup, FormatArgFillsEveryPlaceholderOnce)
{
    const struct
    {
        const wchar_t *Text, *Argument, *Expected;
    } cases[] = {{L"Extract to {0}", L"\"report\\\"", L"Extract to \"report\\\""},
                 {L"{0} and {0}", L"a", L"a and a"},
                 {L"{0}{0}{0}", L"xy", L"xyxyxy"},
                 {L"Add to {0}", L"{0}", L"Add to {0}"},
                 {L"{0} / {0}", L"<{0}>", L"<{0}> / <{0}>"},
                 {L"{0}", L"{", L"{"},
                 {L"{{0}0}", L"x", L"{x0}"},
                 {L"{1} {0 } {0", L"x", L"{1} {0 } {0"},
                 {L"{0}", L"", L""},
                 {L"", L"x", L""}};
    for (const auto& item : cases)
        EXPECT_EQ(CWideString(item.Expected), FormatArg(item.Text, item.Argument)) << item.Text;
}

INT_PTR CALLBACK TestDialogProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST_F(LangLookup, TranslationsWinEvenWhenEmpty)
{
    ASSERT_TRUE(g_LangTable.LoadFromFile(
        AddLangFile(L"lookup.txt", "2000103 = \"Archiv \303\266ffnen\"\n2000104 = \"\"\n"
                                   "01009001 = \"Erste Zeile \303\244\"\n01009003 = \"\"\n01009009 = \"ghost\"\n")));
    EXPECT_EQ(CWideString(L"Archiv \u00F6ffnen"), LangTextOr(IDS_OPEN_TITLE, 0x02000103));
    EXPECT_EQ(CWideString(L""), LangTextOr(IDS_OPEN_HELP, 0x02000104));                     // an empty one stands
    EXPECT_EQ(CWideString(L"Extract files..."), LangTextOr(IDS_EXTRACT_TITLE, 0x02000105)); // none: built in
    EXPECT_EQ(CWideString(L""), LangText(0x02000105));                                      // no fallback
    const CLangControlMap map[] = {
        {IDC_LANG_TEST_LABEL, 0x01009001},  // translated
        {IDC_LANG_TEST_BUTTON, 0x01009002}, // no translation: the template text stays
        {IDC_LANG_TEST_ABSENT, 0x01009009}, // no such control: nothing happens
        {IDC_LANG_TEST_CHECK, 0x01009003},  // an empty translation empties the control
    };
    const HWND dialog =
        CreateDialogParamW(g_ModuleInstance, MAKEINTRESOURCEW(IDD_LANG_TEST), nullptr, &TestDialogProcedure, 0);
    ASSERT_NE(nullptr, dialog);
    ApplyLangToDialog(dialog, map, 4);
    std::wstring texts;
    for (const int id : {IDC_LANG_TEST_LABEL, IDC_LANG_TEST_BUTTON, IDC_LANG_TEST_CHECK})
    {
        wchar_t text[64] = {};
        GetDlgItemTextW(dialog, id, text, 64);
        texts += std::wstring(text) + L"|";
    }
    DestroyWindow(dialog);
    EXPECT_EQ(L"Erste Zeile \u00E4|Beta||", texts);
}

// The child side: loads as a fresh process would and expects "name|entries|text" to be what
// VANTOR_LANG_CHILD_EXPECTED says. It stands in the folder VANTOR_LANG_CHILD_CURRENT_FOLDER names,
// takes the ANSI paths with VANTOR_LANG_CHILD_ANSI, and cannot know its own folder with
// VANTOR_LANG_CHILD_NO_MODULE.
std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? value : L"";
}

TEST_F(LangLookup, ChildLoad)
{
    const std::wstring expected = EnvironmentValue(L"VANTOR_LANG_CHILD_EXPECTED");
    if (expected.empty())
        GTEST_SKIP() << "runs only in a process started by LangValueNamesTheFile";
    g_WideApisAvailable = EnvironmentValue(L"VANTOR_LANG_CHILD_ANSI").empty();
    SetCurrentDirectoryW(EnvironmentValue(L"VANTOR_LANG_CHILD_CURRENT_FOLDER").c_str());
    const HINSTANCE moduleInstance = g_ModuleInstance;
    if (!EnvironmentValue(L"VANTOR_LANG_CHILD_NO_MODULE").empty())
        g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10)); // no such module
    // The allocations of one load, counted once g_LangName has its final size; two threads that
    // call LoadLanguageOnce at once make just as many between them.
    LoadLanguage();
    long before = AllocHooks::AllocationCount();
    LoadLanguage();
    const long oneLoad = AllocHooks::AllocationCount() - before;
    before = AllocHooks::AllocationCount();
    EXPECT_TRUE(RunOnThreads(2, 30000, [](int) { LoadLanguageOnce(); }));
    EXPECT_EQ(oneLoad, AllocHooks::AllocationCount() - before);
    g_ModuleInstance = moduleInstance;
    EXPECT_EQ(expected, std::wstring(g_LangName.Ptr()) + L"|" + std::to_wstring(g_LangTable.Entries.Count()) + L"|" +
                            LangText(0x02000103).Ptr());
}

// The parent side: each case in a fresh process, where two threads load the language at once.
TEST_F(LangLookup, LangValueNamesTheFile)
{
    CRegistrySnapshot snapshot(HKEY_CURRENT_USER, kSettingsRoot);
    // Lang\German.txt beside the module comes with the build; "-" must not be taken as a name.
    const std::wstring dash = std::wstring(TestProgramFolder().Ptr()) + L"Lang\\-.txt";
    ASSERT_TRUE(CopyFileW(AddLangFile(L"-.txt", "2000103 = \"dash\"\n"), dash.c_str(), FALSE));
    const std::wstring custom = AddLangFile(L"Custom", "2000103 = \"custom\"\n").Ptr();
    AddLangFile(L"Custom.txt", "2000103 = \"custom txt\"\n");
    // Planted where a lookup from the current folder would find them.
    Scratch.AddFolder(L"Lang");
    for (const wchar_t* planted : {L"Planted.txt", L"Lang\\German.txt"})
        AddLangFile(planted, "2000103 = \"planted\"\n");
    std::string body; // long enough for the two loading threads to meet
    for (int i = 0; i < 3000; i++)
        body += std::to_string(3000 - i) + " = \"text number " + std::to_string(i) + "\"\n";
    const std::wstring big = AddLangFile(L"big.txt", body).Ptr();
    const std::wstring ansi = L";VANTOR_LANG_CHILD_ANSI=1";
    const std::wstring german = L"|34|Archiv \u00F6ffnen";
    const struct
    {
        const wchar_t* Value; // nullptr: no value stored
        std::wstring Environment;
        std::wstring Expected;
    } cases[] = {
        {nullptr, L"", L"|0|"},
        {L"", L"", L"|0|"},
        {L"-", L"", L"-|0|"},
        {L"German", L"", L"German" + german},
        {L"German", ansi, L"German" + german},
        {L"German.txt", L"", L"German.txt" + german},             // a name with a dot gets no ".txt"
        {L"Lang\\German.txt", L"", L"Lang\\German.txt" + german}, // relative: from the module's folder
        {L".\\Lang\\German.txt", L"", L".\\Lang\\German.txt" + german},
        {custom.c_str(), L"", custom + L"|1|custom"}, // a backslash: the path as it stands
        {custom.c_str(), ansi, custom + L"|1|custom"},
        {L"VtMissing", L"", L"VtMissing|0|"},
        {big.c_str(), L"", big + L"|3000|"},
        // Without its own folder the module keeps its texts rather than read the current folder.
        {L"Planted", L";VANTOR_LANG_CHILD_NO_MODULE=1", L"Planted|0|"},
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(testing::Message() << (item.Value ? item.Value : L"<none>") << item.Environment);
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        // The file manager's own sub-key is not where the module looks.
        SetRaw(HKEY_CURRENT_USER, std::wstring(kSettingsRoot) + L"\\FM", L"Lang", Text(L"German"));
        if (item.Value != nullptr)
            SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(item.Value));
        const std::wstring environment = L"VANTOR_LANG_CHILD_EXPECTED=" + item.Expected +
                                         L";VANTOR_LANG_CHILD_CURRENT_FOLDER=" + Scratch.Path().Ptr() +
                                         item.Environment;
        EXPECT_EQ(0u, RunThisProgram(L"LangLookup.ChildLoad", environment.c_str()));
    }
    DeleteFileW(dash.c_str());
}
} // namespace
