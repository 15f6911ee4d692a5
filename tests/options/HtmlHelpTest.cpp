// The HTML Help control, found through a class key of the tests' own so that the process-wide
// control stays untouched.
#include "OptionsTestSupport.h"

#include "options/HtmlHelp.h"

namespace
{
const char kTestClassKey[] = "CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}";
const wchar_t kTestInprocKey[] = L"CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}\\InprocServer32";
const char kFake[] = "vantor_fake_hhctrl.dll";
const char kNoSuchControl[] = "vantor_no_such_control.ocx";

// The control path stored through the ANSI call with exactly `size` bytes (a terminator only
// when the size includes it); no key at all when the size is 0.
void StoreControlPath(DWORD type, const std::string& bytes, DWORD size)
{
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
    HKEY key;
    if (size == 0 || RegCreateKeyExA(HKEY_CLASSES_ROOT, (std::string(kTestClassKey) + "\\InprocServer32").c_str(), 0,
                                     nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes.c_str()), size);
    RegCloseKey(key);
}

class HtmlHelp : public CModuleTest
{
    std::unique_ptr<CRegistrySnapshot> _guard = GuardRegistryPath(HKEY_CLASSES_ROOT, kTestInprocKey);
};
} // namespace

// The value was once read into a fixed buffer without room for a missing terminator.
TEST_F(HtmlHelp, ControlPathIsAlwaysTerminatedAndFitsTheOldBuffer)
{
    const std::string a259(259, 'A'), a260(260, 'A');
    struct Case
    {
        const char* Name;
        DWORD Type;
        std::string Bytes;
        DWORD Size;
        bool Found;
        std::string Expected;
    } const cases[] = {
        {"terminated", REG_SZ, "C:\\Help\\hh.ocx", 15, true, "C:\\Help\\hh.ocx"},
        {"without terminator", REG_SZ, "C:\\Help\\hh.ocx", 14, true, "C:\\Help\\hh.ocx"},
        {"259 characters, no terminator", REG_SZ, a259, 259, true, a259},
        {"260 characters, no terminator", REG_SZ, a260, 260, false, ""},
        {"260 characters and terminator", REG_SZ, a260, 261, false, ""},
        {"binary, no terminator", REG_BINARY, "C:\\b.ocx", 8, true, "C:\\b.ocx"},
        {"empty", REG_SZ, "", 1, false, ""},
        {"no key", REG_SZ, "", 0, false, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        StoreControlPath(c.Type, c.Bytes, c.Size);
        CHtmlHelpControl control(kTestClassKey, kFake);
        CNarrowString path("stale");
        EXPECT_EQ(c.Found, control.FindControlPath(path));
        EXPECT_EQ(c.Expected, std::string(path.Ptr()));
        EXPECT_EQ(static_cast<int>(c.Expected.size()), path.Length());
    }
}

// The registry's path first, the name in the system folder second; a failure is remembered and
// never retried.
TEST_F(HtmlHelp, LoadsWhatTheRegistryOrTheNameGivesAndNeverRetriesAFailure)
{
    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"help.log";
    ASSERT_TRUE(SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", log));
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string fakePath = std::string(self, strrchr(self, '\\') + 1) + kFake;
    struct Case
    {
        const char* Name;
        std::string RegistryPath; // empty: no key
        const char* Fallback;
        int Attempts;
        bool Loaded;
    } const cases[] = {
        {"registry names the control", fakePath, kNoSuchControl, 1, true},
        // Found by name only in the system folder, never beside the program or in the current one.
        {"registry path fails, name only in the program's folder", "C:\\nowhere\\hhctrl.ocx", kFake, 2, false},
        {"nothing to load", "C:\\nowhere\\hhctrl.ocx", kNoSuchControl, 2, false},
        {"no key, nothing by name", "", kNoSuchControl, 1, false},
        // A module without HtmlHelpA at ordinal 14 (this program) is no help control.
        {"no entry", self, kNoSuchControl, 1, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        DeleteFileW(log);
        StoreControlPath(REG_SZ, c.RegistryPath, static_cast<DWORD>(c.RegistryPath.size() + !c.RegistryPath.empty()));
        CHtmlHelpControl control(kTestClassKey, c.Fallback);
        for (int call = 0; call < 2; call++)
            EXPECT_EQ(nullptr, control.Call(reinterpret_cast<HWND>(0x1234), "C:\\x.chm::/a.htm", 15, 7));
        EXPECT_EQ(c.Attempts, control.LoadAttempts()) << "the second call loads nothing";
        EXPECT_EQ(!c.Loaded, control.LoadFailed());
        if (c.Loaded)
        {
            EXPECT_EQ(GetModuleHandleA(kFake), control.Module());
        }
        EXPECT_EQ(c.Loaded ? "4660|C:\\x.chm::/a.htm|15|7\n4660|C:\\x.chm::/a.htm|15|7\n" : "", ReadAll(log));
    }
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", nullptr);
}
