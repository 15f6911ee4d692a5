// The file manager's plug-in exports, the HTML Help control, and the sheet in a process of its own
// (translated, with help, on Windows 98 too).
#include "OptionsTestSupport.h"

#include "lang/Language.h"
#include "options/HtmlHelp.h"
#include "resources/ResourceIds.h"
#include "server/Module.h"
#include "settings/ShellIntegration.h"

#include <oleauto.h>

#include <fstream>

namespace
{
using PluginExports = COptionsTest;

const char kFake[] = "vantor_fake_hhctrl.dll";
const char kTestClassKey[] = "CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}";
const wchar_t kTestInprocKey[] = L"CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}\\InprocServer32";

std::string ReadAll(const CWideString& path)
{
    std::ifstream file(path.Ptr(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
} // namespace

// Properties replace the held value: the name and the class id (its bytes in memory order), the
// others empty. CreateObject refuses wrong identifiers and null arguments; the object answers
// IUnknown only and holds no module lock.
TEST_F(PluginExports, PropertiesAndTheObject)
{
    const std::string name(reinterpret_cast<const char*>(L"Vantor"), 12),
        classId("\x69\x0F\x17\x23\xC1\x40\x8D\x27\x10\0\0\1\0\2\0", 16);
    const std::pair<ULONG, std::string> properties[] = {{0, name}, {3, classId}, {1, ""}, {2, ""}, {4, ""}, {100, ""}};
    for (const auto& [id, expected] : properties)
    {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"held before");
        EXPECT_EQ(S_OK, GetPluginProperty(id, &value));
        EXPECT_EQ(expected.empty() ? VT_EMPTY : VT_BSTR, value.vt) << id;
        EXPECT_EQ(expected, value.vt != VT_BSTR
                                ? std::string()
                                : std::string(reinterpret_cast<char*>(value.bstrVal), SysStringByteLen(value.bstrVal)));
        VariantClear(&value);
    }
    EXPECT_EQ(E_POINTER, GetPluginProperty(0, nullptr));
    GUID otherClass = CLSID_OptionsPlugin, otherInterface = IID_IPluginOptions;
    otherClass.Data4[7] = 1;
    otherInterface.Data1 ^= 0x100;
    const HRESULT kNoClass = static_cast<HRESULT>(0x80040111);
    const GUID *plugin = &CLSID_OptionsPlugin, *options = &IID_IPluginOptions, *unknown = &IID_IUnknown;
    const std::tuple<const GUID*, const GUID*, HRESULT> cases[] = {
        {&otherClass, options, kNoClass}, {options, options, kNoClass}, {&otherClass, unknown, kNoClass},
        {nullptr, options, E_POINTER},    {plugin, nullptr, E_POINTER}, {plugin, &otherInterface, E_NOINTERFACE},
        {plugin, unknown, E_NOINTERFACE}};
    for (const auto& [classGuid, interfaceGuid, expected] : cases)
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(std::make_pair(expected, static_cast<void*>(nullptr)),
                  std::make_pair(CreateObject(classGuid, interfaceGuid, &object), object))
            << classGuid << ", " << interfaceGuid;
    }
    EXPECT_EQ(E_POINTER, CreateObject(plugin, options, nullptr));
    // The sweep of CreateObject's allocations runs in the server tests, with the first language load.
    const LONG liveBefore = g_LiveObjectCount;
    IUnknown* made = nullptr;
    ASSERT_EQ(S_OK, CreateObject(plugin, options, reinterpret_cast<void**>(&made)));
    EXPECT_EQ(liveBefore, g_LiveObjectCount);
    EXPECT_EQ(0u, made->Release());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, Plugin->QueryInterface(IID_IPluginOptions, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, Plugin->QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IUnknown*>(Plugin), object);
    EXPECT_EQ(1u, Plugin->Release());
    EXPECT_EQ(E_NOTIMPL, Plugin->ReservedOperation(0));
}

// The control's path is always terminated and fits the old 260-byte buffer (it was once read
// without room for a missing terminator). The registry's path is loaded first, the name in the
// system folder second (never in the program's own or the current folder); a failure is never
// retried.
TEST_F(PluginExports, HtmlHelpControlPathAndLoading)
{
    Guard(HKEY_CLASSES_ROOT, kTestInprocKey); // a class key of the tests' own, not the process-wide one
    const std::wstring a259(259, L'A'), a260(260, L'A');
    const std::pair<CStored, std::wstring> paths[] = {{Text(L"C:\\hh.ocx"), L"C:\\hh.ocx"},
                                                      {Text(L"C:\\hh.ocx", 18), L"C:\\hh.ocx"}, // no terminator
                                                      {Text(a259, 518), a259},
                                                      {Text(a260, 520), L""},
                                                      {Text(a260), L""},
                                                      {CStored{REG_BINARY, {'C', ':', '\\', 'b'}}, L"C:\\b"},
                                                      {Text(L""), L""},
                                                      {kNoValue, L""}}; // no key
    for (const auto& [stored, expected] : paths)
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
        if (stored != kNoValue)
            SetRaw(HKEY_CLASSES_ROOT, kTestInprocKey, L"", stored);
        CNarrowString path("stale");
        EXPECT_EQ(!expected.empty(), CHtmlHelpControl(kTestClassKey, kFake).FindControlPath(path)) << expected.size();
        EXPECT_EQ(std::string(expected.begin(), expected.end()), std::string(path.Ptr(), path.Length()));
    }
    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"help.log";
    CEnvironmentVariable logVariable(L"VANTOR_FAKE_HELP_LOG", log);
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    // {registry path ("": no key), name in the system folder, load attempts}; only the first loads,
    // the last names a module without HtmlHelpA at ordinal 14.
    const std::tuple<std::wstring, const char*, int> cases[] = {
        {std::wstring(TestProgramFolder().Ptr()) + L"vantor_fake_hhctrl.dll", "none.ocx", 1},
        {L"C:\\nowhere\\hhctrl.ocx", kFake, 2},
        {L"", "none.ocx", 1},
        {self, "none.ocx", 1}};
    for (const auto& [registryPath, fallback, attempts] : cases)
    {
        const bool loads = &registryPath == &std::get<0>(cases[0]);
        DeleteFileW(log);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
        if (!registryPath.empty())
            SetRaw(HKEY_CLASSES_ROOT, kTestInprocKey, L"", Text(registryPath));
        CHtmlHelpControl control(kTestClassKey, fallback);
        for (int call = 0; call < 2; call++)
            EXPECT_EQ(nullptr, control.Call(reinterpret_cast<HWND>(0x1234), "C:\\x.chm::/a.htm", 15, 7));
        EXPECT_EQ(
            std::make_tuple(attempts, !loads, loads),
            std::make_tuple(control.LoadAttempts(), control.LoadFailed(), control.Module() == GetModuleHandleA(kFake)))
            << CWideString(registryPath.c_str());
        EXPECT_EQ(loads ? "4660|C:\\x.chm::/a.htm|15|7\n4660|C:\\x.chm::/a.htm|15|7\n" : "", ReadAll(log));
    }
}

// The language and the help control are loaded once per process, and Wine shows Windows 98 per
// program: the sheet runs in a child, as it is and on Windows 98, where the module takes every
// ANSI path (PropertySheetA and the registry's ANSI calls included).
TEST_F(PluginExports, TranslatedSheetWithHelpSavesOnEitherPathInAChild)
{
    CScratchFolder scratch;
    // 0x01000210 left out, 0x02000103 translated empty; the euro sign and e grave lie inside the
    // ANSI code page 1252, Cyrillic outside. A Lang value with a backslash is the path it names.
    const char file[] = ";!@Lang@!UTF-8! test\n01000000 = \"Optionen \xE2\x82\xAC\"\n01000300 = \"Syst\xC3\xA8me\"\n"
                        "01000200 = \"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB8\"\n01000301 = \"Integrieren\"\n"
                        "01000213 = \"Angegeben:\"\n0200010F = \"Hinzuf\xC3\xBCgen zu {0}\"\n"
                        "02000141 = \"<Archiv>\"\n02000103 = \"\"\n";
    SetRaw(HKEY_CURRENT_USER, L"Software\\VANTOR", L"Lang", Text(scratch.AddFile(L"Test.txt", file).Ptr()));
    const std::wstring folder(TestProgramFolder().Ptr());
    const wchar_t helpKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    Guard(HKEY_CLASSES_ROOT, helpKey);
    SetRaw(HKEY_CLASSES_ROOT, helpKey, L"", Text(folder + L"vantor_fake_hhctrl.dll"));
    const CWideString log = scratch.Path() + L"help.log";
    const std::wstring environment = L"VANTOR_FAKE_HELP_LOG=" + std::wstring(log.Ptr());
    const std::string help = std::string(folder.begin(), folder.end()) + "Vantor.chm::/fm/plugins/Vantor/options.htm#";
    for (bool windows98 : {false, true})
    {
        SCOPED_TRACE(windows98 ? "Windows 98" : "NT");
        DeleteFileW(log);
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        UnregisterShellIntegration();
        EXPECT_EQ(0u, windows98 ? RunThisProgramOnWindows98(L"OptionsChild.*", environment.c_str())
                                : RunThisProgram(L"OptionsChild.*", environment.c_str()));
        EXPECT_EQ("0|" + help + "system|0|0\n0|" + help + "folders|0|0\n", ReadAll(log));
        EXPECT_EQ(std::make_tuple(Dword(0x3F37 & ~0x20), Dword(1), Text(L"C:\\Arbeitsmappe \u00FC")),
                  std::make_tuple(Option(L"ContextMenu"), Option(L"WorkDirType"), Option(L"WorkDirPath")));
        EXPECT_EQ(Text(folder + L"test_options.exe"),
                  RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey + std::wstring(L"\\InprocServer32"), L""));
        const std::wstring keys = HandlerKeys();
        RegisterShellIntegration();
        EXPECT_EQ(HandlerKeys(), keys) << "the child registered every key";
    }
}

TEST(OptionsChild, TranslatedSheetWithHelp)
{
    if (!IsTestChild())
        GTEST_SKIP() << "runs in the child of PluginExports.TranslatedSheetWithHelpSavesOnEitherPathInAChild";
    // Even a refused call loads the language, before it looks at its arguments.
    ASSERT_FALSE(g_LangLoaded);
    IPluginOptions* plugin = nullptr;
    EXPECT_EQ(E_NOINTERFACE, CreateObject(&CLSID_OptionsPlugin, &IID_IUnknown, reinterpret_cast<void**>(&plugin)));
    EXPECT_TRUE(g_LangLoaded);
    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, reinterpret_cast<void**>(&plugin)));
    const auto script = [](const CSheet& s)
    {
        // What the ANSI code page lacks arrives as "_"; an empty translation stands.
        std::wstring texts = WindowText(s.Window) + L"|" + s.TabTitle(0) + L"|" + s.TabTitle(1);
        for (int item : {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_CASCADED})
            texts += L"|" + WindowText(s.Item(item));
        for (int row : {0, 3, 6, 7})
            texts += L"|" + s.ListText(row);
        EXPECT_EQ(std::wstring(L"Optionen \u20AC|Syst\u00E8me|") +
                      (IsNtPlatform() ? L"\u041F\u0430\u043F\u043A\u0438" : L"_____") +
                      L"|Integrieren|Cascaded context menu||Extract to <Folder>|Compress to <Archiv>.zip and "
                      L"email|Hinzuf\u00FCgen zu <Archiv>.VNTX",
                  texts);
        s.Press(PSBTN_HELP);
        s.Click(IDC_SYSTEM_INTEGRATE);
        s.Tick(0, false);
        s.SelectTab(1);
        EXPECT_EQ(L"Angegeben:", WindowText(s.Item(IDC_FOLDERS_SPECIFIED)));
        s.Press(PSBTN_HELP);
        s.Click(IDC_FOLDERS_SPECIFIED);
        // Stored as typed: not checked, not completed; another type keeps it.
        SetWindowTextW(s.Item(IDC_FOLDERS_PATH), L"C:\\Arbeitsmappe \u00FC");
        s.Click(IDC_FOLDERS_CURRENT);
        EXPECT_EQ(L"010-<C:\\Arbeitsmappe \u00FC>-b1", s.State());
        s.Press(PSBTN_OK);
    };
    EXPECT_EQ(S_OK, ShowOptionsWith(plugin, script));
    EXPECT_EQ(0u, plugin->Release());
    EXPECT_EQ(1, g_HtmlHelpControl.LoadAttempts());
}
