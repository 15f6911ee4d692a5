#include "RegistryTestSupport.h"

#include "base/TextConvert.h"
#include "settings/RegistryKey.h"

#include <string>

namespace
{
const std::wstring kScratch = std::wstring(kSettingsRoot) + L"\\KeyTest";
const char kScratchA[] = "Software\\VANTOR\\KeyTest";

class RegistryKeyTest : public CSettingsRegistryTest
{
protected:
    void SetUp() override
    {
        CSettingsRegistryTest::SetUp();
        RawRegistry::CreateKey(HKEY_CURRENT_USER, kScratch);
    }

    // The scratch key, opened through the class under test.
    void OpenScratch(CRegistryKey& key) { ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, kScratchA)); }
};

TEST_F(RegistryKeyTest, OpenReplacesTheHeldKeyOnSuccessAndKeepsItOnFailure)
{
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\First", L"Marker", 1);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\Second", L"Marker", 2);
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, "Software\\VANTOR\\KeyTest\\First", KEY_READ));
    const HKEY first = key.Get();

    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, "Software\\VANTOR\\KeyTest\\Second", KEY_READ));
    DWORD marker = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue("Marker", marker));
    EXPECT_EQ(2u, marker);
    // The replaced handle was closed, not leaked.
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(first, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr));

    const HKEY second = key.Get();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, "Software\\VANTOR\\KeyTest\\Missing", KEY_READ));
    EXPECT_EQ(second, key.Get());
    marker = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.QueryValue("Marker", marker));
    EXPECT_EQ(2u, marker);
}

TEST_F(RegistryKeyTest, RecursiveDeleteRemovesAThreeLevelTree)
{
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\Tree\\A\\B\\C", L"Deep", 3);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\Tree\\A\\B2", L"Mid", 2);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\Tree\\A2", L"Top", 1);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch + L"\\Tree", L"Root", 0);
    RawRegistry::CreateKey(HKEY_CURRENT_USER, kScratch + L"\\Sibling");
    CRegistryKey key;
    OpenScratch(key);

    EXPECT_EQ(ERROR_SUCCESS, key.RecursiveDeleteSubKey("Tree"));
    EXPECT_FALSE(RawRegistry::KeyExists(HKEY_CURRENT_USER, kScratch + L"\\Tree"));
    EXPECT_EQ(std::vector<std::wstring>{L"Sibling"}, RawRegistry::SubKeyNames(HKEY_CURRENT_USER, kScratch));
}

TEST_F(RegistryKeyTest, RecursiveDeleteOfAMissingKeyReturnsTheOpenErrorAndChangesNothing)
{
    RawRegistry::CreateKey(HKEY_CURRENT_USER, kScratch + L"\\Sibling");
    CRegistryKey key;
    OpenScratch(key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.RecursiveDeleteSubKey("Missing"));
    EXPECT_EQ(std::vector<std::wstring>{L"Sibling"}, RawRegistry::SubKeyNames(HKEY_CURRENT_USER, kScratch));
}

TEST_F(RegistryKeyTest, EnumKeysListsSubKeysAndNothingForALeaf)
{
    CRegistryKey key;
    OpenScratch(key);
    COwningVector<CNarrowString> names;
    names.Add(CNarrowString("stale"));
    EXPECT_EQ(ERROR_SUCCESS, key.EnumKeys(names));
    EXPECT_EQ(0, names.Count());

    RawRegistry::CreateKey(HKEY_CURRENT_USER, kScratch + L"\\zip");
    RawRegistry::CreateKey(HKEY_CURRENT_USER, kScratch + L"\\7z");
    EXPECT_EQ(ERROR_SUCCESS, key.EnumKeys(names));
    ASSERT_EQ(2, names.Count());
    EXPECT_TRUE((names[0] == "7z" && names[1] == "zip") || (names[0] == "zip" && names[1] == "7z"));
}

// Writes in both widths store exactly what the shell and the archiver read back.
TEST_F(RegistryKeyTest, WritesStoreTheFixedTypesAndLengths)
{
    struct CCase
    {
        bool Wide;
        const wchar_t* Text;
        std::vector<BYTE> Expected; // as the wide calls read it
    };
    const CCase cases[] = {
        {true, L"C:\\Temp", WideTextBytes(L"C:\\Temp")},
        {true, L"", WideTextBytes(L"")},
        {true, L"\u4E2D mega \u00E9t\u00E9", WideTextBytes(L"\u4E2D mega \u00E9t\u00E9")},
        // Windows 98: characters outside the ANSI code page become "_", the rest survives.
        {false, L"\u4E2D mega \u00E9t\u00E9", WideTextBytes(L"_ mega \u00E9t\u00E9")},
        {false, L"", WideTextBytes(L"")},
    };
    for (const CCase& c : cases)
    {
        CWidePathScope widePath(c.Wide);
        CRegistryKey key;
        OpenScratch(key);
        EXPECT_EQ(ERROR_SUCCESS, key.SetValue(L"Text", c.Text));
        const RawRegistry::CValue stored = RawRegistry::GetValue(HKEY_CURRENT_USER, kScratch, L"Text");
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.Type);
        EXPECT_EQ(c.Expected, stored.Data) << "wide calls: " << c.Wide;
    }

    CRegistryKey key;
    OpenScratch(key);
    EXPECT_EQ(ERROR_SUCCESS, key.SetValue("Number", static_cast<DWORD>(0xDEADBEEF)));
    EXPECT_EQ(ERROR_SUCCESS, key.SetValue("On", true));
    EXPECT_EQ(ERROR_SUCCESS, key.SetValue("Off", false));
    EXPECT_EQ(ERROR_SUCCESS, key.SetValue("Narrow", "VNTX"));
    EXPECT_EQ(ERROR_SUCCESS, key.SetValue(static_cast<const char*>(nullptr), "{default}"));
    const struct
    {
        const wchar_t* Name;
        DWORD Type;
        std::vector<BYTE> Bytes;
    } stored[] = {
        {L"Number", REG_DWORD, DwordBytes(0xDEADBEEF)},
        {L"On", REG_DWORD, DwordBytes(1)},
        {L"Off", REG_DWORD, DwordBytes(0)},
        {L"Narrow", REG_SZ, WideTextBytes(L"VNTX")},
        {nullptr, REG_SZ, WideTextBytes(L"{default}")},
    };
    for (const auto& s : stored)
    {
        const RawRegistry::CValue value = RawRegistry::GetValue(HKEY_CURRENT_USER, kScratch, s.Name);
        EXPECT_EQ(s.Type, value.Type) << (s.Name ? SystemTextFromWide(s.Name).Ptr() : "(default)");
        EXPECT_EQ(s.Bytes, value.Data) << (s.Name ? SystemTextFromWide(s.Name).Ptr() : "(default)");
    }
}

TEST_F(RegistryKeyTest, WideValueNamesAndTheDefaultValueWorkInBothWidths)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        CRegistryKey key;
        OpenScratch(key);
        EXPECT_EQ(ERROR_SUCCESS, key.SetValue(L"Caf\u00E9", L"value"));
        EXPECT_EQ(ERROR_SUCCESS, key.SetValue(static_cast<const wchar_t*>(nullptr), L"default"));
        CWideString text;
        EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(L"Caf\u00E9", text));
        EXPECT_EQ(CWideString(L"value"), text);
        EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(static_cast<const wchar_t*>(nullptr), text));
        EXPECT_EQ(CWideString(L"default"), text);

        EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue(L"Caf\u00E9"));
        EXPECT_EQ(ERROR_SUCCESS, key.DeleteValue(static_cast<const wchar_t*>(nullptr)));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.DeleteValue(L"Caf\u00E9"));
        EXPECT_EQ(std::vector<std::wstring>{}, RawRegistry::ValueNames(HKEY_CURRENT_USER, kScratch)) << wide;
    }
}

TEST_F(RegistryKeyTest, NumbersAreReadWithoutTypeCheckAndOnlyWhenTheyFit)
{
    struct CCase
    {
        const wchar_t* Name;
        DWORD Type;
        std::vector<BYTE> Data;
        LONG Result;
        DWORD Number; // starting value 0xA5A5A5A5 when the read fails
    };
    const CCase cases[] = {
        {L"Dword", REG_DWORD, DwordBytes(0x3F37), ERROR_SUCCESS, 0x3F37},
        {L"Binary", REG_BINARY, DwordBytes(0x12345678), ERROR_SUCCESS, 0x12345678},
        {L"Zero", REG_DWORD, DwordBytes(0), ERROR_SUCCESS, 0},
        // A short value gives its own bytes and zeros, never bytes of the caller's variable.
        {L"Short", REG_BINARY, {0x37, 0x3F}, ERROR_SUCCESS, 0x3F37},
        {L"Byte", REG_BINARY, {0x01}, ERROR_SUCCESS, 1},
        {L"Long", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}, ERROR_MORE_DATA, 0xA5A5A5A5},
    };
    for (const CCase& c : cases)
        RawRegistry::SetBytes(HKEY_CURRENT_USER, kScratch, c.Name, c.Type, c.Data.data(),
                              static_cast<DWORD>(c.Data.size()));
    CRegistryKey key;
    OpenScratch(key);
    for (const CCase& c : cases)
    {
        const CNarrowString name = SystemTextFromWide(c.Name);
        DWORD number = 0xA5A5A5A5;
        EXPECT_EQ(c.Result, key.QueryValue(name, number)) << name.Ptr();
        EXPECT_EQ(c.Number, number) << name.Ptr();
    }
    DWORD number = 0xA5A5A5A5;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue("Missing", number));
    EXPECT_EQ(0xA5A5A5A5u, number);
}

TEST_F(RegistryKeyTest, FlagsReadAnyNonZeroNumberAndStayUnchangedWhenMissing)
{
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch, L"Seven", 7);
    RawRegistry::SetNumber(HKEY_CURRENT_USER, kScratch, L"Zero", 0);
    CRegistryKey key;
    OpenScratch(key);
    for (const bool start : {true, false})
    {
        bool flag = start;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue("Missing", flag));
        EXPECT_EQ(start, flag);
        EXPECT_EQ(ERROR_SUCCESS, key.QueryValue("Seven", flag));
        EXPECT_TRUE(flag);
        EXPECT_EQ(ERROR_SUCCESS, key.QueryValue("Zero", flag));
        EXPECT_FALSE(flag);
    }
}

// HKCU is writable by every program of the user: a text value may lack its terminator, carry
// an odd number of bytes, or stop early at an embedded zero. Guarded blocks make any read or
// write past the buffer fault at once.
TEST_F(RegistryKeyTest, CarelessTextValuesAreReadWithinTheBufferAndTerminated)
{
    const std::wstring longText(3000, L'x');
    struct CCase
    {
        const wchar_t* Name;
        std::vector<BYTE> Data;
        const wchar_t* Expected;
    };
    auto bytes = [](const std::wstring& text, size_t count)
    {
        const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
        return std::vector<BYTE>(p, p + count);
    };
    const CCase cases[] = {
        {L"NoTerminator", bytes(L"abc", 6), L"abc"},
        {L"OddCount", bytes(L"abcd", 7), L"abc"},
        {L"OneByte", bytes(L"a", 1), L""},
        {L"Empty", {}, L""},
        {L"Embedded", bytes(std::wstring(L"ab\0cd", 5), 10), L"ab"},
        {L"LongNoTerminator", bytes(longText, longText.size() * 2), longText.c_str()},
        {L"Proper", WideTextBytes(L"C:\\Work"), L"C:\\Work"},
    };
    for (const CCase& c : cases)
        RawRegistry::SetBytes(HKEY_CURRENT_USER, kScratch, c.Name, REG_SZ, c.Data.data(),
                              static_cast<DWORD>(c.Data.size()));

    AllocHooks::SetGuarded(true);
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        CRegistryKey key;
        OpenScratch(key);
        for (const CCase& c : cases)
        {
            CWideString text(L"stale");
            EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(c.Name, text)) << SystemTextFromWide(c.Name).Ptr();
            EXPECT_EQ(CWideString(c.Expected), text) << SystemTextFromWide(c.Name).Ptr() << " wide " << wide;
            CNarrowString narrow("stale");
            EXPECT_EQ(ERROR_SUCCESS, key.QueryValue(SystemTextFromWide(c.Name), narrow));
            EXPECT_EQ(SystemTextFromWide(c.Expected), narrow) << SystemTextFromWide(c.Name).Ptr();
        }
        CWideString text(L"stale");
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue(L"Missing", text));
        EXPECT_TRUE(text.IsEmpty());
        CNarrowString narrow("stale");
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryValue("Missing", narrow));
        EXPECT_TRUE(narrow.IsEmpty());
    }
    AllocHooks::SetGuarded(false);
}

// Another program rewrites the value while we read it: each read gives one of the stored texts
// whole, or a clean error with an empty text, never a torn or unterminated one.
struct CGrowingValue
{
    volatile LONG Stop = 0;
    std::wstring Short = L"short";
    std::wstring Long = std::wstring(5000, L'L');
};

DWORD WINAPI RewriteValueUntilStopped(void* context)
{
    CGrowingValue& value = *static_cast<CGrowingValue*>(context);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kScratch.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 1;
    for (unsigned i = 0; !value.Stop; i++)
    {
        // The long form is stored without its terminator.
        const std::wstring& text = (i & 1) ? value.Long : value.Short;
        const DWORD size = static_cast<DWORD>((i & 1) ? text.size() * 2 : (text.size() + 1) * 2);
        RegSetValueExW(key, L"Growing", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), size);
    }
    RegCloseKey(key);
    return 0;
}

TEST_F(RegistryKeyTest, AValueRewrittenDuringTheReadGivesAWholeTextOrACleanError)
{
    RawRegistry::SetText(HKEY_CURRENT_USER, kScratch, L"Growing", L"short");
    CGrowingValue value;
    HANDLE writer = CreateThread(nullptr, 0, RewriteValueUntilStopped, &value, 0, nullptr);
    ASSERT_NE(nullptr, writer);

    AllocHooks::SetGuarded(true);
    int whole = 0;
    for (int i = 0; i < 400; i++)
    {
        CWidePathScope widePath((i & 1) != 0);
        CRegistryKey key;
        OpenScratch(key);
        CWideString text;
        const LONG result = key.QueryValue(L"Growing", text);
        if (result == ERROR_SUCCESS)
        {
            whole++;
            EXPECT_TRUE(text == value.Short.c_str() || text == value.Long.c_str()) << "length " << text.Length();
        }
        else
        {
            EXPECT_EQ(ERROR_MORE_DATA, result);
            EXPECT_TRUE(text.IsEmpty());
        }
    }
    AllocHooks::SetGuarded(false);
    InterlockedExchange(&value.Stop, 1);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(writer, 10000));
    CloseHandle(writer);
    EXPECT_GT(whole, 0);
}

TEST_F(RegistryKeyTest, AKeyHeldLocallyIsClosedWhenMemoryRunsOut)
{
    RawRegistry::SetText(HKEY_CURRENT_USER, kScratch, L"Text", L"some text");
    HKEY held = nullptr;
    try
    {
        CRegistryKey key;
        OpenScratch(key);
        held = key.Get();
        CWideString text;
        AllocHooks::FailNth(1);
        key.QueryValue(L"Text", text);
        ADD_FAILURE() << "the allocation did not fail";
    }
    catch (CNewException&)
    {
    }
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(held, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr));
}
} // namespace
