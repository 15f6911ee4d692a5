#pragma once

#include "TestSupport.h"

#include "settings/Settings.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// A stored value as the wide registry calls read it: its type and its bytes.
using CStored = std::pair<DWORD, std::vector<BYTE>>;
// The values of a key by name; "" is the default value.
using CValues = std::map<std::wstring, CStored>;
CStored Dword(DWORD value);
// REG_SZ of the first `bytes` bytes of `text`; by default the whole text with its terminating zero.
CStored Text(const std::wstring& text, size_t bytes = ~size_t(0));
// "Nothing stored" in a table; SetRaw skips it.
const CStored kNoValue{REG_NONE, {}};

// Raw registry access for arranging and checking the stored bytes, independent of the module's
// own key class. Keys are created as needed; sub-key names come sorted.
bool KeyExists(const std::wstring& path, HKEY root = HKEY_CURRENT_USER);
void CreateRawKey(const std::wstring& path, HKEY root = HKEY_CURRENT_USER);
void SetRaw(const std::wstring& path, const std::wstring& name, const CStored& value, HKEY root = HKEY_CURRENT_USER);
CValues RawValues(const std::wstring& path, HKEY root = HKEY_CURRENT_USER);
std::vector<std::wstring> RawSubKeys(const std::wstring& path, HKEY root = HKEY_CURRENT_USER);

// Runs body(threadIndex) on `count` threads; false when they did not all end within `timeoutMs`.
bool RunOnThreads(int count, DWORD timeoutMs, const std::function<void(int)>& body);

// A format record; what is left out stays not set.
CFormatOptions FormatRecord(const char* name, const wchar_t* method = L"", DWORD level = NotSet,
                            const wchar_t* options = L"", const wchar_t* encryption = L"", DWORD dictionary = NotSet,
                            DWORD order = NotSet, DWORD blockSize = NotSet, DWORD threads = NotSet);
void FillList(COwningVector<CWideString>& list, const std::vector<std::wstring>& entries);
// One line per record for exact comparisons: numbers in decimal (NotSet is -1), texts in quotes,
// lists in brackets, format records in braces sorted by name.
std::wstring Describe(const CExtractSettings& settings);
std::wstring Describe(const CCompressSettings& settings);
std::wstring Describe(const CWorkFolderSettings& settings);
template <typename TSettings> std::wstring ReadAndDescribe(void (*read)(TSettings&))
{
    TSettings settings;
    read(settings);
    return Describe(settings);
}

// Every field away from its default: twelve archive names, two format records; texts within the
// ANSI code page.
struct CAllSettings
{
    CAllSettings();
    CExtractSettings Extract;
    CCompressSettings Compress;
    CWorkFolderSettings Work;
};

const wchar_t kSettingsRoot[] = L"Software\\VANTOR";

// Each test starts without the settings root and leaves it as it was found.
class CSettingsRegistryTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
    }

private:
    CRegistrySnapshot _snapshot{HKEY_CURRENT_USER, kSettingsRoot};
};
