// Cases that need a process of their own: the language and the help control are loaded once per
// process, and the Windows 98 mode is chosen per program. Each OptionsInChild test arranges the
// registry and the files, runs the matching OptionsChild test in a child and checks what it left;
// the children are skipped in every other run. They are plain tests: the language they load
// stays for the process, so heap counts would not return to their start.
#include "OptionsTestSupport.h"

#include "lang/Language.h"
#include "options/HtmlHelp.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"

namespace
{
using OptionsInChild = COptionsTest;

const wchar_t kProductKey[] = L"Software\\VANTOR";

bool IsChild()
{
    return GetEnvironmentVariableW(L"VANTOR_OPTIONS_CHILD", nullptr, 0) != 0;
}

// Runs OptionsChild.<test> in this program or, for settings that Wine takes per program name
// (HKCU\Software\Wine\AppDefaults\<copyName>), in a copy of it. The child marks its end in the
// registry, so that a filter matching nothing cannot pass.
void RunChild(const std::wstring& test, const CScratchFolder& scratch, const wchar_t* copyName = nullptr)
{
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    if (copyName != nullptr)
    {
        program = std::wstring(scratch.Path().Ptr()) + copyName;
        ASSERT_TRUE(CopyFileW(self, program.c_str(), FALSE));
    }
    SetEnvironmentVariableW(L"VANTOR_OPTIONS_CHILD", L"1");
    HANDLE child = StartProgram(L"\"" + program + L"\" --gtest_brief=1 --gtest_filter=OptionsChild." + test);
    SetEnvironmentVariableW(L"VANTOR_OPTIONS_CHILD", nullptr);
    EXPECT_EQ(0u, FinishProgram(child, INFINITE));
    EXPECT_EQ(1u, StoredNumber(L"OptionsChildRan", HKEY_CURRENT_USER, kProductKey)) << "the child ran to its end";
}

// Shows the sheet through the plug-in's exports and marks the child's end.
void ShowInChild(CSheetDriver::CScript script)
{
    ShowOptionsWith(std::move(script));
    SetNumber(L"OptionsChildRan", 1, HKEY_CURRENT_USER, kProductKey);
}

// UTF-8 language file: some ids translated, 0x01000210 left out, 0x02000103 translated empty.
const char kGermanFile[] = ";!@Lang@!UTF-8! test\n"
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
// Caption and titles with characters inside (the euro sign, e grave) and outside (Cyrillic) the
// ANSI code page 1252.
const char kTitlesFile[] = ";!@Lang@!UTF-8! test\n"
                           "01000000 = \"Options \xE2\x82\xAC\"\n"
                           "01000300 = \"Syst\xC3\xA8me\"\n"
                           "01000200 = \"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB8\"\n";
} // namespace

// A translated sheet, whose Help asks the stand-in control for each page's topic.
TEST_F(OptionsInChild, TranslatedSheetWithHelp)
{
    CScratchFolder scratch;
    // A value with a backslash is used as the path it is.
    SetText(L"Lang", scratch.AddFile(L"Deutsch.txt", kGermanFile).Ptr(), HKEY_CURRENT_USER, kProductKey);
    const std::wstring folder(TestProgramFolder().Ptr());
    auto guard = GuardRegistryPath(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    SetText(nullptr, folder + L"vantor_fake_hhctrl.dll", HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    const CWideString log = scratch.Path() + L"help.log";
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", log);
    RunChild(L"TranslatedSheetWithHelp", scratch);
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", nullptr);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kOptionsKey)) << "the child cancelled";
    const std::string help = std::string(folder.begin(), folder.end()) + "Vantor.chm::/fm/plugins/Vantor/options.htm#";
    EXPECT_EQ("0|" + help + "system|0|0\n0|" + help + "folders|0|0\n", ReadAll(log));
}

TEST(OptionsChild, TranslatedSheetWithHelp)
{
    if (!IsChild())
        GTEST_SKIP() << "runs as the child of OptionsInChild.TranslatedSheetWithHelp";
    // Even a refused call loads the language, before it looks at its arguments.
    ASSERT_FALSE(g_LangLoaded);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CreateObject(&CLSID_OptionsPlugin, &IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_TRUE(g_LangLoaded);
    ShowInChild(
        [](CSheetDriver& d)
        {
            EXPECT_EQ(L"Vantor-Optionen", WindowText(d.Sheet()));
            EXPECT_EQ(L"Syst\u00E8me", d.TabTitle(0));
            EXPECT_EQ(L"Ordner", d.TabTitle(1));
            struct Text
            {
                int Tab;
                int Item; // -1: a row of the command list
                int Row;
                const wchar_t* Expected;
            } const texts[] = {
                {0, IDC_SYSTEM_INTEGRATE, 0, L"In das Kontextmen\u00FC integrieren"},
                {0, IDC_SYSTEM_CASCADED, 0, L"Kaskadiertes Kontextmen\u00FC"},
                {0, IDC_SYSTEM_ITEMS_LABEL, 0, L"Eintr\u00E4ge:"},
                {0, -1, 0, L""}, // an empty translation stands
                {0, -1, 3, L"Extract to <Folder>"},
                {0, -1, 5, L"Hinzuf\u00FCgen zu <Archiv>.zip"},
                {0, -1, 6, L"Compress to <Archiv>.zip and email"},
                {0, -1, 7, L"Hinzuf\u00FCgen zu <Archiv>.VNTX"},
                {0, -1, 9, L"Zu einem Archiv hinzuf\u00FCgen..."},
                {0, -1, 10, L"Compress and email..."},
                {1, IDC_FOLDERS_GROUP, 0, L"&Working folder"}, // not in the file
                {1, IDC_FOLDERS_SYSTEM_TEMP, 0, L"&Systemordner"},
                {1, IDC_FOLDERS_CURRENT, 0, L"&Aktueller"},
                {1, IDC_FOLDERS_SPECIFIED, 0, L"Angegeben:"},
                {1, IDC_FOLDERS_REMOVABLE_ONLY, 0, L"Nur f\u00FCr Wechseldatentr\u00E4ger"},
            };
            for (const Text& t : texts)
            {
                if (t.Tab != TabCtrl_GetCurSel(d.Tabs())) // Help on each page before leaving it
                    d.Press(PSBTN_HELP);
                d.SelectTab(t.Tab);
                EXPECT_EQ(t.Expected, t.Item < 0 ? d.ListText(t.Row) : d.Text(t.Item)) << t.Item << " " << t.Row;
            }
            d.Press(PSBTN_HELP);
            EXPECT_FALSE(d.ApplyEnabled());
            d.Press(PSBTN_CANCEL);
        });
    EXPECT_EQ(1, g_HtmlHelpControl.LoadAttempts());
}

TEST_F(OptionsInChild, HelpWithoutControlLoadsNothingTheSecondTime)
{
    auto guard = GuardRegistryPath(HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    SetText(nullptr, L"C:\\nowhere\\hhctrl.ocx", HKEY_CLASSES_ROOT, kHtmlHelpInprocKey);
    // Wine's own control is kept from loading by name, as on a system that has none.
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\vantor_options_nohelp.exe\\DllOverrides";
    auto wineGuard = GuardRegistryPath(HKEY_CURRENT_USER, overrides);
    SetText(L"hhctrl.ocx", L"", HKEY_CURRENT_USER, overrides);
    CScratchFolder scratch;
    RunChild(L"HelpWithoutControlLoadsNothingTheSecondTime", scratch, L"vantor_options_nohelp.exe");
}

TEST(OptionsChild, HelpWithoutControlLoadsNothingTheSecondTime)
{
    if (!IsChild())
        GTEST_SKIP() << "runs as the child of OptionsInChild.HelpWithoutControlLoadsNothingTheSecondTime";
    ASSERT_EQ(nullptr, LoadLibraryA("hhctrl.ocx")) << "the control must not be loadable here";
    ShowInChild(
        [](CSheetDriver& d)
        {
            d.Press(PSBTN_HELP);
            // The registry's path, then the name.
            EXPECT_EQ(2, g_HtmlHelpControl.LoadAttempts());
            EXPECT_TRUE(g_HtmlHelpControl.LoadFailed());
            d.Press(PSBTN_HELP);
            d.SelectTab(1);
            d.Press(PSBTN_HELP);
            EXPECT_EQ(2, g_HtmlHelpControl.LoadAttempts());
            d.Press(PSBTN_OK);
        });
}

// The whole program in Windows 98 mode: GetVersionExA reports the 9x platform, so the module
// takes every ANSI path, PropertySheetA and the registry's ANSI calls included.
TEST_F(OptionsInChild, Windows98ModeShowsAndSavesThroughAnsiCalls)
{
    CScratchFolder scratch;
    SetText(L"Lang", scratch.AddFile(L"Titles.txt", kTitlesFile).Ptr(), HKEY_CURRENT_USER, kProductKey);
    const wchar_t appDefaults[] = L"Software\\Wine\\AppDefaults\\vantor_options_win98.exe";
    auto guard = GuardRegistryPath(HKEY_CURRENT_USER, appDefaults);
    SetText(L"Version", L"win98", HKEY_CURRENT_USER, appDefaults);
    RunChild(L"Windows98ModeShowsAndSavesThroughAnsiCalls", scratch, L"vantor_options_win98.exe");
    EXPECT_EQ(0x3F37u & ~0x20u, StoredNumber(L"ContextMenu"));
    EXPECT_EQ(2u, StoredNumber(L"WorkDirType"));
    EXPECT_EQ(L"C:\\Arbeitsmappe \u00FC", StoredText(L"WorkDirPath"));
    EXPECT_TRUE(AllRegisteredHandlerKeysPresent());
    EXPECT_EQ(std::wstring(scratch.Path().Ptr()) + L"vantor_options_win98.exe",
              StoredText(nullptr, HKEY_CLASSES_ROOT, kHandlerServerKey));
}

TEST(OptionsChild, Windows98ModeShowsAndSavesThroughAnsiCalls)
{
    if (!IsChild())
        GTEST_SKIP() << "runs as the child of OptionsInChild.Windows98ModeShowsAndSavesThroughAnsiCalls";
    ASSERT_FALSE(g_WideApisAvailable);
    ShowInChild(
        [](CSheetDriver& d)
        {
            // Caption and titles pass the ANSI code page: what it lacks arrives as "_".
            EXPECT_EQ(L"Options \u20AC", WindowText(d.Sheet()));
            EXPECT_EQ(L"Syst\u00E8me", d.TabTitle(0));
            EXPECT_EQ(L"_____", d.TabTitle(1));
            EXPECT_EQ(L"Compress to <Archive>.VNTX and email", d.ListText(8));
            EXPECT_FALSE(d.ApplyEnabled());
            d.Click(IDC_SYSTEM_INTEGRATE);
            d.SetListChecked(0, false);
            d.SelectTab(1);
            d.Click(IDC_FOLDERS_SPECIFIED);
            SetWindowTextW(d.PageItem(IDC_FOLDERS_PATH), L"C:\\Arbeitsmappe \u00FC");
            EXPECT_TRUE(d.ApplyEnabled());
            d.Press(PSBTN_OK);
        });
}
