// Cases that need a process of their own: the language and the help control are loaded once per
// process, and the Windows 98 mode is chosen per program. Each OptionsInChild test arranges the
// registry and the files, runs this program again with VANTOR_OPTIONS_CHILD set, and checks what
// the child left; the matching OptionsChild test is skipped in every other run. The children
// are plain tests: the language table they load stays for the process, so heap counts would not
// return to their start.
#include "OptionsTestSupport.h"
#include "SheetDriver.h"

#include "lang/Language.h"
#include "options/HtmlHelp.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"

#include <string>
#include <vector>

namespace
{
const wchar_t kProductKey[] = L"Software\\VANTOR";
// Written by a child that ran to its end, so that a filter matching nothing cannot pass.
const wchar_t kChildRanValue[] = L"OptionsChildRan";

void MarkChildRan()
{
    Reg::SetNumber(HKEY_CURRENT_USER, kProductKey, kChildRanValue, 1);
}

bool ChildRan()
{
    DWORD ran = 0;
    return Reg::GetNumber(HKEY_CURRENT_USER, kProductKey, kChildRanValue, ran) && ran == 1;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Runs another program with a gtest filter and one extra environment variable.
DWORD RunProgram(const std::wstring& program, const wchar_t* filter, const wchar_t* name, const wchar_t* value)
{
    std::wstring commandLine = L"\"" + program + L"\" --gtest_brief=1 --gtest_filter=" + filter;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    SetEnvironmentVariableW(name, value);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 0xFFFFFFFF;
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    {
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
    }
    SetEnvironmentVariableW(name, nullptr);
    return exitCode;
}

// A copy of this program in the scratch folder, for settings that Wine takes per program name.
CWideString CopyOfThisProgram(const CScratchFolder& scratch, const wchar_t* name)
{
    const CWideString copy = scratch.Path() + name;
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(CopyFileW(self, copy, FALSE));
    return copy;
}

// As the test run does for this program: without a window manager Wine would wait for each
// closed window to be withdrawn.
void LeaveWindowsUnmanaged(const wchar_t* appDefaults)
{
    Reg::SetText(HKEY_CURRENT_USER, (std::wstring(appDefaults) + L"\\X11 Driver").c_str(), L"Managed", L"N");
}

class OptionsInChild : public COptionsTest
{
};

// UTF-8 language file: some ids translated, 0x01000210 left out, 0x02000103 translated empty.
const char kLanguageFile[] = ";!@Lang@!UTF-8! test\n"
                             "01000000 = \"Vantor-Optionen\"\n"
                             "01000300 = \"Syst\xC3\xA8me\"\n"
                             "01000200 = \"Ordner\"\n"
                             "01000301 = \"In das Kontextmen\xC3\xBC integrieren\"\n"
                             "01000302 = \"Kaskadiertes Kontextmen\xC3\xBC\"\n"
                             "01000310 = \"Eintr\xC3\xA4ge:\"\n"
                             "01000211 = \"&Systemordner\"\n"
                             "01000212 = \"&Aktueller\"\n"
                             "01000213 = \"Angegeben:\"\n"
                             "01000214 = \"Nur f\xC3\xBCr Wechseldatentr\xC3\xA4ger\"\n"
                             "0200010F = \"Hinzuf\xC3\xBCgen zu {0}\"\n"
                             "02000141 = \"<Archiv>\"\n"
                             "02000107 = \"Zu einem Archiv hinzuf\xC3\xBCgen...\"\n"
                             "02000103 = \"\"\n";
} // namespace

TEST_F(OptionsInChild, TranslatedSheet)
{
    CScratchFolder scratch;
    const CWideString file = scratch.AddFile(L"Deutsch.txt", kLanguageFile);
    // A value with a backslash is used as the path it is.
    Reg::SetText(HKEY_CURRENT_USER, kProductKey, L"Lang", file.Ptr());
    EXPECT_EQ(0u, RunThisProgram(L"OptionsChild.TranslatedSheet", L"VANTOR_OPTIONS_CHILD=lang"));
    EXPECT_TRUE(ChildRan());
    EXPECT_FALSE(Reg::KeyExists(HKEY_CURRENT_USER, kOptionsKey)) << "the child cancelled";
}

TEST(OptionsChild, TranslatedSheet)
{
    if (ChildMode() != L"lang")
        GTEST_SKIP() << "runs as the child of OptionsInChild.TranslatedSheet";

    // Even a refused call loads the language, before it looks at its arguments.
    ASSERT_FALSE(g_LangLoaded);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CreateObject(&CLSID_OptionsPlugin, &IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_TRUE(g_LangLoaded);
    EXPECT_EQ(L"Syst\u00E8me", std::wstring(LangText(0x01000300).Ptr()));

    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    IPluginOptions* plugin = static_cast<IPluginOptions*>(object);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            EXPECT_EQ(L"Vantor-Optionen", WindowText(d.Sheet()));
            EXPECT_EQ(L"Syst\u00E8me", d.TabTitle(0));
            EXPECT_EQ(L"Ordner", d.TabTitle(1));
            EXPECT_EQ(L"In das Kontextmen\u00FC integrieren", WindowText(d.PageItem(IDC_SYSTEM_INTEGRATE)));
            EXPECT_EQ(L"Kaskadiertes Kontextmen\u00FC", WindowText(d.PageItem(IDC_SYSTEM_CASCADED)));
            EXPECT_EQ(L"Eintr\u00E4ge:", WindowText(d.PageItem(IDC_SYSTEM_ITEMS_LABEL)));
            struct Row
            {
                int Index;
                const wchar_t* Text;
            };
            const Row rows[] = {
                {0, L""}, // an empty translation stands
                {3, L"Extract to <Folder>"},
                {5, L"Hinzuf\u00FCgen zu <Archiv>.zip"},
                {6, L"Compress to <Archiv>.zip and email"},
                {7, L"Hinzuf\u00FCgen zu <Archiv>.VNTX"},
                {9, L"Zu einem Archiv hinzuf\u00FCgen..."},
                {10, L"Compress and email..."},
            };
            for (const Row& row : rows)
                EXPECT_EQ(row.Text, d.ListText(row.Index)) << "row " << row.Index;
            d.SelectTab(1);
            EXPECT_EQ(L"&Working folder", WindowText(d.PageItem(IDC_FOLDERS_GROUP))) << "not in the file";
            EXPECT_EQ(L"&Systemordner", WindowText(d.PageItem(IDC_FOLDERS_SYSTEM_TEMP)));
            EXPECT_EQ(L"&Aktueller", WindowText(d.PageItem(IDC_FOLDERS_CURRENT)));
            EXPECT_EQ(L"Angegeben:", WindowText(d.PageItem(IDC_FOLDERS_SPECIFIED)));
            EXPECT_EQ(L"Nur f\u00FCr Wechseldatentr\u00E4ger", WindowText(d.PageItem(IDC_FOLDERS_REMOVABLE_ONLY)));
            EXPECT_FALSE(d.ApplyEnabled());
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, plugin->ShowOptions(nullptr, 0));
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
    plugin->Release();
    MarkChildRan();
}

TEST_F(OptionsInChild, HelpAsksForThePagesTopics)
{
    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"help.log";
    CRegistryPathGuard guard(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    Reg::SetText(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey, nullptr,
                 std::wstring(TestProgramFolder().Ptr()) + L"vantor_fake_hhctrl.dll");
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", log);
    EXPECT_EQ(0u, RunThisProgram(L"OptionsChild.HelpAsksForThePagesTopics", L"VANTOR_OPTIONS_CHILD=help"));
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", nullptr);
    EXPECT_TRUE(ChildRan());
    const std::string help = Narrow(std::wstring(TestProgramFolder().Ptr())) + "Vantor.chm::/fm/plugins/Vantor/";
    EXPECT_EQ("0|" + help + "options.htm#system|0|0\n" + "0|" + help + "options.htm#folders|0|0\n", ReadAll(log));
}

TEST(OptionsChild, HelpAsksForThePagesTopics)
{
    if (ChildMode() != L"help")
        GTEST_SKIP() << "runs as the child of OptionsInChild.HelpAsksForThePagesTopics";
    void* object = nullptr;
    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    IPluginOptions* plugin = static_cast<IPluginOptions*>(object);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.PressHelp();
            d.SelectTab(1);
            d.PressHelp();
            d.PressCancel();
        });
    EXPECT_EQ(S_OK, plugin->ShowOptions(nullptr, 0));
    driver.Finish();
    plugin->Release();
    EXPECT_EQ(1, g_HtmlHelpControl.LoadAttempts());
    MarkChildRan();
}

TEST_F(OptionsInChild, HelpWithoutControlLoadsNothingTheSecondTime)
{
    CRegistryPathGuard guard(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    Reg::SetText(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey, nullptr, L"C:\\nowhere\\hhctrl.ocx");
    // Wine's own control is kept from loading by name, as on a system that has none. Wine
    // takes such overrides per program, so the child is a copy of this program under a name
    // of its own.
    CScratchFolder scratch;
    const CWideString copy = CopyOfThisProgram(scratch, L"vantor_options_nohelp.exe");
    const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\vantor_options_nohelp.exe";
    CRegistryPathGuard wineGuard(HKEY_CURRENT_USER, appDefaults);
    Reg::SetText(HKEY_CURRENT_USER, (std::wstring(appDefaults) + L"\\DllOverrides").c_str(), L"hhctrl.ocx", L"");
    LeaveWindowsUnmanaged(appDefaults);
    EXPECT_EQ(0u, RunProgram(copy.Ptr(), L"OptionsChild.HelpWithoutControlLoadsNothingTheSecondTime",
                             L"VANTOR_OPTIONS_CHILD", L"nohelp"));
    EXPECT_TRUE(ChildRan());
}

TEST(OptionsChild, HelpWithoutControlLoadsNothingTheSecondTime)
{
    if (ChildMode() != L"nohelp")
        GTEST_SKIP() << "runs as the child of OptionsInChild.HelpWithoutControlLoadsNothingTheSecondTime";
    ASSERT_EQ(nullptr, LoadLibraryA("hhctrl.ocx")) << "the control must not be loadable here";
    void* object = nullptr;
    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    IPluginOptions* plugin = static_cast<IPluginOptions*>(object);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            d.PressHelp();
            // The registry's path, then the name.
            EXPECT_EQ(2, g_HtmlHelpControl.LoadAttempts());
            EXPECT_TRUE(g_HtmlHelpControl.LoadFailed());
            d.PressHelp();
            d.SelectTab(1);
            d.PressHelp();
            EXPECT_EQ(2, g_HtmlHelpControl.LoadAttempts());
            d.PressOK();
        });
    EXPECT_EQ(S_OK, plugin->ShowOptions(nullptr, 0));
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
    plugin->Release();
    MarkChildRan();
}

// The whole program in Windows 98 mode: GetVersionExA reports the 9x platform, so the module
// takes every ANSI path, PropertySheetA included.
TEST_F(OptionsInChild, Windows98ModeShowsAndSavesThroughAnsiCalls)
{
    CScratchFolder scratch;
    const CWideString copy = CopyOfThisProgram(scratch, L"vantor_options_win98.exe");
    const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\vantor_options_win98.exe";
    CRegistryPathGuard guard(HKEY_CURRENT_USER, appDefaults);
    Reg::SetText(HKEY_CURRENT_USER, appDefaults, L"Version", L"win98");
    LeaveWindowsUnmanaged(appDefaults);

    EXPECT_EQ(0u, RunProgram(copy.Ptr(), L"OptionsChild.Windows98ModeShowsAndSavesThroughAnsiCalls",
                             L"VANTOR_OPTIONS_CHILD", L"win98"));
    EXPECT_TRUE(ChildRan());
    DWORD mask = 0;
    EXPECT_TRUE(Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, L"ContextMenu", mask));
    EXPECT_EQ(0x3F37u & ~0x20u, mask);
    DWORD type = 0;
    EXPECT_TRUE(Reg::GetNumber(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirType", type));
    EXPECT_EQ(2u, type);
    std::wstring path;
    EXPECT_TRUE(Reg::GetText(HKEY_CURRENT_USER, kOptionsKey, L"WorkDirPath", path));
    EXPECT_EQ(L"C:\\Arbeitsmappe \u00FC", path);
    EXPECT_TRUE(AllRegisteredHandlerKeysPresent());
    std::wstring server;
    EXPECT_TRUE(Reg::GetText(HKEY_CLASSES_ROOT, (std::wstring(kHandlerClassKey) + L"\\InprocServer32").c_str(), nullptr,
                             server));
    EXPECT_EQ(std::wstring(copy.Ptr()), server);
}

TEST(OptionsChild, Windows98ModeShowsAndSavesThroughAnsiCalls)
{
    if (ChildMode() != L"win98")
        GTEST_SKIP() << "runs as the child of OptionsInChild.Windows98ModeShowsAndSavesThroughAnsiCalls";
    ASSERT_FALSE(g_WideApisAvailable);
    void* object = nullptr;
    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    IPluginOptions* plugin = static_cast<IPluginOptions*>(object);
    CSheetDriver driver(
        [](CSheetDriver& d)
        {
            EXPECT_EQ(L"Vantor Options", WindowText(d.Sheet()));
            EXPECT_EQ(L"System", d.TabTitle(0));
            EXPECT_EQ(L"Folders", d.TabTitle(1));
            EXPECT_EQ(L"Compress to <Archive>.VNTX and email", d.ListText(8));
            EXPECT_FALSE(d.ApplyEnabled());
            d.ClickPageItem(IDC_SYSTEM_INTEGRATE);
            d.SetListChecked(0, false);
            d.SelectTab(1);
            d.ClickPageItem(IDC_FOLDERS_SPECIFIED);
            SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), L"C:\\Arbeitsmappe \u00FC");
            EXPECT_TRUE(d.ApplyEnabled());
            d.PressOK();
        });
    EXPECT_EQ(S_OK, plugin->ShowOptions(nullptr, 0));
    driver.Finish();
    EXPECT_TRUE(driver.SawSheet());
    plugin->Release();
    MarkChildRan();
}
