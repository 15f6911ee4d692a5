#include "TestSupport.h"

#include "base/TextConvert.h"
#include "settings/RegistryKey.h"
#include "settings/Settings.h"

#include <memory>
#include <tuple>

namespace
{
const std::wstring kScratch = kSettingsRoot + L"\\KeyTest";

class RegistryKeyTest : public CSettingsRegistryTest
{
protected:
    void SetUp() override
    {
        CSettingsRegistryTest::SetUp();
        ASSERT_EQ(ERROR_SUCCESS, _key.Create(HKEY_CURRENT_USER, MakeSettingsKeyPath("KeyTest")));
    }
    CRegistryKey _key;
};

// A failed open keeps the held key; a successful one, and the owner's end, close it (closing it
// again then fails).
TEST_F(RegistryKeyTest, AHeldKeyLivesUntilAnotherIsOpenedOrItsOwnerEnds)
{
    const HKEY first = _key.Get();
    ASSERT_EQ(ERROR_SUCCESS, _key.Open(HKEY_CURRENT_USER, kSettingsRootPath, KEY_READ));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(first)) << "the replaced key was closed, not leaked";
    HKEY held = _key.Get();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, _key.Open(HKEY_CURRENT_USER, MakeSettingsKeyPath("KeyTest\\Missing"), KEY_READ));
    EXPECT_EQ(held, _key.Get());
    auto owner = std::make_unique<CRegistryKey>();
    ASSERT_EQ(ERROR_SUCCESS, owner->Open(HKEY_CURRENT_USER, MakeSettingsKeyPath("KeyTest"), KEY_READ));
    held = owner->Get();
    owner.reset();
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(held));
}

// Under a wide name and as the default value: a null name, which the ANSI path must not convert.
TEST_F(RegistryKeyTest, WideTextsAreWrittenReadAndDeletedInBothWidths)
{
    const wchar_t mixed[] = L"\u4E2D mega \u00E9t\u00E9";
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        // Windows 98: characters outside the ANSI code page become "_", the rest survives.
        const wchar_t* stored = wide ? mixed : L"_ mega \u00E9t\u00E9";
        for (const wchar_t* name : {L"Caf\u00E9", static_cast<const wchar_t*>(nullptr)})
            EXPECT_EQ(ERROR_SUCCESS, _key.SetValue(name, mixed));
        EXPECT_EQ((CValues{{L"Caf\u00E9", Text(stored)}, {L"", Text(stored)}}), RawValues(HKEY_CURRENT_USER, kScratch));
        for (const wchar_t* name : {L"Caf\u00E9", static_cast<const wchar_t*>(nullptr)})
        {
            CWideString text(L"stale");
            EXPECT_EQ(ERROR_SUCCESS, _key.QueryValue(name, text));
            EXPECT_EQ(CWideString(stored), text);
            EXPECT_EQ(ERROR_SUCCESS, _key.DeleteValue(name));
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, _key.DeleteValue(name));
        }
    }
}

// Every program of the user may write HKCU: a text may lack its terminator, have an odd byte count
// or an embedded zero; guarded blocks make a read or write past the buffer fault at once. Numbers
// are read without type check, only when they fit; a failed read leaves the caller's number and flag.
TEST_F(RegistryKeyTest, CarelesslyWrittenValuesAreReadSafely)
{
    const std::tuple<const char*, CStored, LONG, DWORD> numbers[] = {
        {"Dword", Dword(0x3F37), ERROR_SUCCESS, 0x3F37},
        {"Zero", Dword(0), ERROR_SUCCESS, 0},
        {"Binary", {REG_BINARY, {0x78, 0x56, 0x34, 0x12}}, ERROR_SUCCESS, 0x12345678},
        // A short value gives its own bytes and zeros, never bytes of the caller's variable.
        {"Short", {REG_BINARY, {0x37, 0x3F}}, ERROR_SUCCESS, 0x3F37},
        {"Byte", {REG_BINARY, {0x01}}, ERROR_SUCCESS, 1},
        {"Long", {REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8}}, ERROR_MORE_DATA, 0xA5A5A5A5},
        {"Missing", kNoValue, ERROR_FILE_NOT_FOUND, 0xA5A5A5A5},
    };
    AllocHooks::SetGuarded(true);
    for (const auto& [name, value, result, expected] : numbers)
    {
        SCOPED_TRACE(name);
        SetRaw(HKEY_CURRENT_USER, kScratch, WideFromSystemText(name).Ptr(), value);
        DWORD number = 0xA5A5A5A5;
        EXPECT_EQ(result, _key.QueryValue(name, number));
        EXPECT_EQ(expected, number);
        bool flag = expected == 0;
        EXPECT_EQ(result, _key.QueryValue(name, flag));
        EXPECT_EQ(result == ERROR_SUCCESS && expected != 0, flag);
    }
    const std::wstring longText(3000, L'x');
    const std::tuple<const wchar_t*, CStored, const wchar_t*> texts[] = {
        {L"NoTerminator", Text(L"abc", 6), L"abc"},
        {L"OddCount", Text(L"abcd", 7), L"abc"},
        {L"OneByte", Text(L"a", 1), L""},
        {L"Empty", Text(L"", 0), L""},
        {L"Embedded", Text(std::wstring(L"ab\0cd", 5), 10), L"ab"},
        {L"LongNoTerminator", Text(longText, longText.size() * 2), longText.c_str()},
        {L"Missing", kNoValue, L""},
    };
    for (const auto& [name, value, expected] : texts)
        SetRaw(HKEY_CURRENT_USER, kScratch, name, value);
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        for (const auto& [name, value, expected] : texts)
        {
            SCOPED_TRACE(testing::Message() << SystemTextFromWide(name).Ptr() << " wide " << wide);
            CWideString text(L"stale");
            EXPECT_EQ(value == kNoValue ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS, _key.QueryValue(name, text));
            EXPECT_EQ(CWideString(expected), text);
        }
    }
}

// Another program rewrites the value while we read it (the long form unterminated): each read gives
// a stored text whole, or ERROR_MORE_DATA with an empty text, never a torn or unterminated one.
TEST_F(RegistryKeyTest, AValueRewrittenDuringTheReadGivesAWholeTextOrACleanError)
{
    const std::wstring shortText = L"short", longText(5000, L'L');
    SetRaw(HKEY_CURRENT_USER, kScratch, L"Growing", Text(shortText));
    volatile LONG done = 0, whole = 0, bad = 0;
    AllocHooks::SetGuarded(true);
    const auto writeOrRead = [&](int thread)
    {
        for (unsigned i = 0; thread == 0 && !done; i++)
            SetRaw(HKEY_CURRENT_USER, kScratch, L"Growing", (i & 1) ? Text(longText, 10000) : Text(shortText));
        for (int i = 0; thread == 1 && i < 400; i++)
        {
            CWidePathScope widePath((i & 1) != 0);
            CWideString text;
            const LONG result = _key.QueryValue(L"Growing", text);
            if (result == ERROR_SUCCESS && (text == shortText.c_str() || text == longText.c_str()))
                InterlockedIncrement(&whole);
            else if (result != ERROR_MORE_DATA || !text.IsEmpty())
                InterlockedIncrement(&bad);
        }
        InterlockedExchange(&done, 1);
    };
    ASSERT_TRUE(RunOnThreads(2, 60000, writeOrRead));
    EXPECT_EQ(0, bad);
    EXPECT_GT(whole, 0);
}
} // namespace
