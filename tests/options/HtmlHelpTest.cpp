#include "OptionsTestSupport.h"

#include "options/HtmlHelp.h"

#include <string>

namespace
{
// A class key of the tests' own, so that the process-wide control stays untouched.
const char kTestClassKey[] = "CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}";
const wchar_t kTestInprocKey[] = L"CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}\\InprocServer32";
const char kFakeControlName[] = "vantor_fake_hhctrl.dll";

class HtmlHelp : public CModuleTest
{
protected:
    void SetUp() override
    {
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
        CModuleTest::SetUp();
    }

    // The default value of the test class's InprocServer32 key, stored through the ANSI call
    // with exactly `size` bytes (a terminator only when the size includes it).
    static void StoreControlPath(DWORD type, const std::string& bytes, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}\\InprocServer32", 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes.c_str()), size);
        RegCloseKey(key);
    }

    static std::string FakeControlPath()
    {
        char path[MAX_PATH + 1] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string text(path);
        return text.substr(0, text.rfind('\\') + 1) + kFakeControlName;
    }

private:
    CRegistryPathGuard _guard{HKEY_CLASSES_ROOT, kTestInprocKey};
};

} // namespace

TEST_F(HtmlHelp, ControlPathIsAlwaysTerminatedAndFitsTheOldBuffer)
{
    struct Case
    {
        const char* Name;
        DWORD Type;
        std::string Bytes;
        DWORD Size;
        bool Found;
        std::string Expected;
    };
    const std::string a259(259, 'A');
    const std::string a260(260, 'A');
    const Case cases[] = {
        {"terminated", REG_SZ, "C:\\Help\\hh.ocx", 15, true, "C:\\Help\\hh.ocx"},
        {"without terminator", REG_SZ, "C:\\Help\\hh.ocx", 14, true, "C:\\Help\\hh.ocx"},
        {"259 characters, no terminator", REG_SZ, a259, 259, true, a259},
        {"260 characters, no terminator", REG_SZ, a260, 260, false, ""},
        {"260 characters and terminator", REG_SZ, a260, 261, false, ""},
        {"binary, no terminator", REG_BINARY, "C:\\b.ocx", 8, true, "C:\\b.ocx"},
        {"empty", REG_SZ, "", 1, false, ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        StoreControlPath(c.Type, c.Bytes, c.Size);
        CHtmlHelpControl control(kTestClassKey, kFakeControlName);
        CNarrowString path("stale");
        EXPECT_EQ(c.Found, control.FindControlPath(path));
        EXPECT_EQ(c.Expected, std::string(path.Ptr()));
        EXPECT_EQ(static_cast<int>(c.Expected.size()), path.Length());
    }
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
    CHtmlHelpControl control(kTestClassKey, kFakeControlName);
    CNarrowString path;
    EXPECT_FALSE(control.FindControlPath(path)) << "no key";
}

TEST_F(HtmlHelp, LoadsTheControlTheRegistryNames)
{
    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"help.log";
    ASSERT_TRUE(SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", log));
    const std::string path = FakeControlPath();
    StoreControlPath(REG_SZ, path, static_cast<DWORD>(path.size() + 1));

    CHtmlHelpControl control(kTestClassKey, "vantor_no_such_control.ocx");
    EXPECT_EQ(nullptr, control.Call(reinterpret_cast<HWND>(0x1234), "C:\\x.chm::/a.htm", 0, 7));
    EXPECT_EQ(nullptr, control.Call(nullptr, "C:\\y.chm", 15, 0));
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", nullptr);
    EXPECT_EQ(1, control.LoadAttempts());
    EXPECT_FALSE(control.LoadFailed());
    EXPECT_EQ(GetModuleHandleA(kFakeControlName), control.Module());
    EXPECT_EQ("4660|C:\\x.chm::/a.htm|0|7\n0|C:\\y.chm|15|0\n", ReadAll(log));
}

TEST_F(HtmlHelp, PathThatFailsToLoadFallsBackToTheName)
{
    CScratchFolder scratch;
    const CWideString log = scratch.Path() + L"help.log";
    ASSERT_TRUE(SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", log));
    const std::string missing = "C:\\nowhere\\hhctrl.ocx";
    StoreControlPath(REG_SZ, missing, static_cast<DWORD>(missing.size() + 1));

    CHtmlHelpControl control(kTestClassKey, kFakeControlName);
    control.Call(nullptr, "C:\\z.chm", 0, 0);
    SetEnvironmentVariableW(L"VANTOR_FAKE_HELP_LOG", nullptr);
    EXPECT_EQ(2, control.LoadAttempts());
    EXPECT_FALSE(control.LoadFailed());
    EXPECT_EQ("0|C:\\z.chm|0|0\n", ReadAll(log));
}

TEST_F(HtmlHelp, FailureIsRememberedAndNeverRetried)
{
    struct Case
    {
        const char* Name;
        std::string RegistryPath; // empty: no key
        const char* Fallback;
        int AttemptsOnFirstCall;
    };
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const Case cases[] = {
        {"nothing to load", "C:\\nowhere\\hhctrl.ocx", "vantor_no_such_control.ocx", 2},
        {"no key, nothing by name", "", "vantor_no_such_control.ocx", 1},
        // A module without HtmlHelpA at ordinal 14 (this program) is no help control.
        {"no entry", self, "vantor_no_such_control.ocx", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kTestInprocKey);
        if (!c.RegistryPath.empty())
            StoreControlPath(REG_SZ, c.RegistryPath, static_cast<DWORD>(c.RegistryPath.size() + 1));
        CHtmlHelpControl control(kTestClassKey, c.Fallback);
        EXPECT_EQ(nullptr, control.Call(nullptr, "C:\\x.chm", 0, 0));
        EXPECT_TRUE(control.LoadFailed());
        EXPECT_EQ(c.AttemptsOnFirstCall, control.LoadAttempts());
        EXPECT_EQ(nullptr, control.Call(nullptr, "C:\\x.chm", 0, 0));
        EXPECT_EQ(c.AttemptsOnFirstCall, control.LoadAttempts()) << "second call loads nothing";
    }
}
