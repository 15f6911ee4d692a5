// Text lookup, formatting, re-texting dialogs, the built-in string table, and which file "Lang"
// selects. The language loads once per process, so each selection case runs in a fresh copy of this
// program, where LanguageChild.Load reports through a file; run normally, it is skipped.
#include "LangTestSupport.h"
#include "LangTestIds.h"

#include "base/UiWrappers.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"
#include "settings/RegistryKey.h"

namespace
{
void SetLang(const char* keyPath, const wchar_t* value)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, keyPath));
    if (value == nullptr)
        key.DeleteValue(L"Lang");
    else
        ASSERT_EQ(ERROR_SUCCESS, key.SetValue(L"Lang", value));
}

DWORD WINAPI LoadOnceThread(void* startEvent)
{
    if (startEvent != nullptr)
        WaitForSingleObject(startEvent, INFINITE);
    LoadLanguageOnce();
    return 0;
}

// Tests that fill the process-wide table empty it, its slot storage included, before the leak check.
class LangLookup : public CModuleTest
{
protected:
    void TearDown() override
    {
        g_LangTable.Entries.ClearAndRelease();
        CModuleTest::TearDown();
    }
    CScratchFolder Scratch;
};

TEST_F(LangLookup, FormatArgFillsEveryPlaceholderOnce)
{
    const struct
    {
        const wchar_t* Text;
        const wchar_t* Argument;
        const wchar_t* Expected;
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
        EXPECT_EQ(item.Expected, ToStd(FormatArg(item.Text, item.Argument))) << item.Text;
}

INT_PTR CALLBACK TestDialogProcedure(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

TEST_F(LangLookup, TranslationsWinEvenWhenEmpty)
{
    ASSERT_TRUE(g_LangTable.LoadFromFile(
        AddBytesFile(Scratch, L"lookup.txt",
                     LangFileBytes("2000103 = \"Archiv \303\266ffnen\"\n2000104 = \"\"\n"
                                   "01009001 = \"Erste Zeile \303\244\"\n01009003 = \"\"\n01009009 = \"ghost\"\n"))));
    const struct
    {
        UINT ResourceId;
        UINT LangId;
        const wchar_t* Expected;
    } cases[] = {
        {IDS_OPEN_TITLE, 0x02000103, L"Archiv \u00F6ffnen"},
        {IDS_OPEN_HELP, 0x02000104, L""},
        {IDS_EXTRACT_TITLE, 0x02000105, L"Extract files..."},
    };
    for (const auto& item : cases)
        EXPECT_EQ(item.Expected, ToStd(LangTextOr(item.ResourceId, item.LangId))) << std::hex << item.LangId;
    // LangText knows no fallback.
    EXPECT_EQ(L"", ToStd(LangText(0x02000105)));

    const CLangControlMap map[] = {
        {IDC_LANG_TEST_LABEL, 0x01009001},  // translated
        {IDC_LANG_TEST_BUTTON, 0x01009002}, // no translation: the template text stays
        {IDC_LANG_TEST_ABSENT, 0x01009009}, // no such control: nothing happens
        {IDC_LANG_TEST_CHECK, 0x01009003},  // an empty translation empties the control
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
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
        EXPECT_EQ(L"Erste Zeile \u00E4|Beta||", texts) << (wide ? "wide" : "ANSI");
    }
}

TEST_F(LangLookup, ExhaustedMemoryDuringALoadLeavesNoEntriesNoBlocksAndNoLock)
{
    CRegistrySnapshot snapshot(HKEY_CURRENT_USER, L"Software\\VANTOR");
    SetLang("Software\\VANTOR",
            AddBytesFile(Scratch, L"oom.txt", LangFileBytes("3 = \"c\"\n1 = \"a \\\"x\\\"\"\n2 = \"b\"\n")));
    int failures = 0;
    for (long n = 1;; n++)
    {
        SCOPED_TRACE(testing::Message() << "failure at allocation " << n);
        const long blocks = AllocHooks::LiveBlocks();
        g_LangLoaded = false; // as in a process that has not loaded yet
        AllocHooks::FailNth(n);
        bool threw = false;
        try
        {
            LoadLanguageOnce();
        }
        catch (const CNewException&)
        {
            threw = true;
        }
        const bool pending = AllocHooks::FailurePending();
        AllocHooks::FailNth(0);
        // Another thread gets through the lock (the section is re-entrant for this one) and loads
        // nothing more: a load that failed is not tried again in the process.
        const HANDLE other = CreateThread(nullptr, 0, &LoadOnceThread, nullptr, 0, nullptr);
        const bool passed = WaitForSingleObject(other, 10000) == WAIT_OBJECT_0;
        if (!passed)
            TerminateThread(other, 1);
        CloseHandle(other);
        EXPECT_TRUE(passed);
        EXPECT_EQ(threw ? 0 : 3, g_LangTable.Entries.Count());
        g_LangTable.Entries.ClearAndRelease();
        EXPECT_EQ(blocks, AllocHooks::LiveBlocks());
        if (!threw)
        {
            // The armed failure lay beyond the last allocation of a load: every one has been tried.
            EXPECT_TRUE(pending);
            break;
        }
        failures++;
    }
    EXPECT_GT(failures, 10);
    g_LangLoaded = false;
    g_LangName.ClearText();
}

TEST(StringTable, HoldsEveryBuiltInEnglishText)
{
    // A text and the one of the next id (nullptr: not checked); for a command, its title and help text.
    const struct
    {
        UINT Id;
        const wchar_t* Text;
        const wchar_t* NextText;
    } strings[] = {
        // No string stands behind the tab titles (101, 141, 162): the dialog captions are their built-in form.
        {100, L"Error", L""},
        {102, L"Vantor Options", L"Specify a location for temporary archive files."},
        {141, L"", nullptr},
        {142, L"Extract files...", L"Extracts files from the selected archive."},
        {144, L"Add to archive...", L"Adds the selected items to archive."},
        {146, L"Open archive", L"Opens the selected archive."},
        {148, L"Test archive", L"Tests integrity of the selected archive."},
        {150, L"Vantor commands", L"Vantor"},
        {152, L"Extract Here", L"Extracts files from the selected archive to current folder."},
        {154, L"Extract to {0}", L"Extracts files to subfolder."},
        {156, L"Add to {0}", L"Adds the selected items to archive."},
        {158, L"Compress and email...", L"Compresses the selected items to archive and sends archive via email."},
        {160, L"Compress to {0} and email", L"Compresses the selected items to archive and sends archive via email."},
        {162, L"", nullptr},
        {170, L"<Folder>", L"<Archive>"},
    };
    for (const bool wide : {true, false})
    {
        CWidePathScope scope(wide);
        for (const auto& item : strings)
        {
            SCOPED_TRACE(testing::Message() << item.Id << (wide ? " wide" : " ANSI"));
            EXPECT_EQ(item.Text, ToStd(LoadModuleString(item.Id)));
            if (item.NextText != nullptr)
            {
                EXPECT_EQ(item.NextText, ToStd(LoadModuleString(item.Id + 1)));
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The child side: loads as a fresh process would and reports "name|entries|text".

const wchar_t kOutVariable[] = L"VANTOR_LANG_CHILD_OUT";
const wchar_t kAnsiVariable[] = L"VANTOR_LANG_CHILD_ANSI";
// A folder for the child to stand in, with files planted where a current-folder lookup would find
// them; and whether it cannot know its own folder.
const wchar_t kCurrentFolderVariable[] = L"VANTOR_LANG_CHILD_CURRENT_FOLDER";
const wchar_t kNoModuleVariable[] = L"VANTOR_LANG_CHILD_NO_MODULE";

std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length < 1024 ? value : L"";
}

class LanguageChild : public LangLookup
{
protected:
    void SetUp() override
    {
        LangLookup::SetUp();
        if (EnvironmentValue(kOutVariable).empty())
            GTEST_SKIP() << "runs only in a process started by the LanguageSelection tests";
        g_WideApisAvailable = g_WideApisAvailable && EnvironmentValue(kAnsiVariable).empty();
    }
};

TEST_F(LanguageChild, Load)
{
    const std::wstring currentFolder = EnvironmentValue(kCurrentFolderVariable);
    const HINSTANCE moduleInstance = g_ModuleInstance;
    if (!currentFolder.empty())
        SetCurrentDirectoryW(currentFolder.c_str());
    if (!EnvironmentValue(kNoModuleVariable).empty())
        g_ModuleInstance = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(0x10)); // no such module
    // The allocations of one load, counted once g_LangName has its final size; two threads that
    // call LoadLanguageOnce at once make just as many between them.
    LoadLanguage();
    long before = AllocHooks::AllocationCount();
    LoadLanguage();
    const long oneLoad = AllocHooks::AllocationCount() - before;
    const HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE threads[] = {CreateThread(nullptr, 0, &LoadOnceThread, start, 0, nullptr),
                              CreateThread(nullptr, 0, &LoadOnceThread, start, 0, nullptr)};
    Sleep(50);
    before = AllocHooks::AllocationCount();
    SetEvent(start);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, threads, TRUE, 30000));
    EXPECT_EQ(oneLoad, AllocHooks::AllocationCount() - before);
    for (const HANDLE handle : {start, threads[0], threads[1]})
        CloseHandle(handle);
    g_ModuleInstance = moduleInstance;
    const std::wstring report =
        ToStd(g_LangName) + L"|" + std::to_wstring(g_LangTable.Entries.Count()) + L"|" + ToStd(LangText(0x02000103));
    const HANDLE file =
        CreateFileW(EnvironmentValue(kOutVariable).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
}

// ---------------------------------------------------------------------------------------------
// The parent side.

using LanguageSelection = CModuleTest;

// Each case in a fresh process, where two threads load the language at once.
TEST_F(LanguageSelection, LangValueNamesTheFile)
{
    CRegistrySnapshot snapshot(HKEY_CURRENT_USER, L"Software\\VANTOR");
    CScratchFolder scratch;
    // Lang\German.txt beside the module comes with the build; "-" must not be taken as a name.
    const std::wstring dash = ToStd(TestProgramFolder()) + L"Lang\\-.txt";
    ASSERT_TRUE(CopyFileW(AddBytesFile(scratch, L"-.txt", LangFileBytes("2000103 = \"dash\"\n")), dash.c_str(), FALSE));
    const std::wstring custom = ToStd(AddBytesFile(scratch, L"Custom", LangFileBytes("2000103 = \"custom\"\n")));
    AddBytesFile(scratch, L"Custom.txt", LangFileBytes("2000103 = \"custom txt\"\n"));
    scratch.AddFolder(L"Lang");
    for (const wchar_t* planted : {L"Planted.txt", L"Lang\\German.txt"})
        AddBytesFile(scratch, planted, LangFileBytes("2000103 = \"planted\"\n"));
    std::string body; // long enough for the two loading threads to meet
    for (int i = 0; i < 3000; i++)
        body += std::to_string(3000 - i) + " = \"text number " + std::to_string(i) + "\"\n";
    const std::wstring big = ToStd(AddBytesFile(scratch, L"big.txt", LangFileBytes(body)));
    // The file manager's own sub-key is not where the module looks.
    SetLang("Software\\VANTOR\\FM", L"German");
    const std::wstring ansi = std::wstring(L";") + kAnsiVariable + L"=1";
    const std::wstring noModule = std::wstring(L";") + kNoModuleVariable + L"=1";
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
        {L"Planted", noModule, L"Planted|0|"},
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(testing::Message() << (item.Value ? item.Value : L"<none>") << item.Environment);
        SetLang("Software\\VANTOR", item.Value);
        const std::wstring out = ToStd(scratch.Path()) + L"report";
        DeleteFileW(out.c_str());
        // Every child stands in the scratch folder, where the planted files wait.
        const std::wstring environment = kOutVariable + (L"=" + out) + L";" + kCurrentFolderVariable + L"=" +
                                         ToStd(scratch.Path()) + item.Environment;
        EXPECT_EQ(0u, RunThisProgram(L"LanguageChild.Load", environment.c_str()));
        wchar_t report[512] = {};
        DWORD read = 0;
        const HANDLE file = CreateFileW(out.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ReadFile(file, report, sizeof(report) - sizeof(wchar_t), &read, nullptr);
        CloseHandle(file);
        EXPECT_EQ(item.Expected, std::wstring(report));
    }
    DeleteFileW(dash.c_str());
}
} // namespace
