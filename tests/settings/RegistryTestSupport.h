#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Raw registry access for arranging and checking the stored bytes, independent of the module's
// own key class.
namespace RawRegistry
{
bool KeyExists(HKEY root, const std::wstring& path);
void CreateKey(HKEY root, const std::wstring& path);
void SetBytes(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size);
void SetNumber(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value);
// Wide REG_SZ with its terminating zero.
void SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text);

struct CValue
{
    bool Exists = false;
    DWORD Type = 0;
    std::vector<BYTE> Data;
};
CValue GetValue(HKEY root, const std::wstring& path, const wchar_t* name);
// Names of the sub-keys or of the values of a key, sorted; empty when the key is missing.
std::vector<std::wstring> Names(HKEY root, const std::wstring& path, bool subKeys);
inline std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path)
{
    return Names(root, path, false);
}
inline std::vector<std::wstring> SubKeyNames(HKEY root, const std::wstring& path)
{
    return Names(root, path, true);
}
} // namespace RawRegistry

std::vector<BYTE> DwordBytes(DWORD value);
std::vector<BYTE> WideTextBytes(const std::wstring& text); // with the terminating zero

// The settings root, kept as found: each test starts without it and leaves it as it was.
const wchar_t kSettingsRoot[] = L"Software\\VANTOR";

class CSettingsRegistryTest : public CModuleTest
{
protected:
    void SetUp() override;

private:
    CRegistrySnapshot _snapshot{HKEY_CURRENT_USER, kSettingsRoot};
};

// Keeps HKEY_CLASSES_ROOT as found for a set of handler key paths: for each path the highest key
// that does not exist yet (or the path itself) is saved and put back.
class CClassesRootGuard
{
public:
    explicit CClassesRootGuard(const std::vector<std::wstring>& paths);

private:
    std::vector<std::unique_ptr<CRegistrySnapshot>> _snapshots;
};

// Runs `body` on `count` threads made with CreateThread; false when they did not all end within
// `timeoutMs` (a deadlock).
bool RunOnThreads(int count, DWORD timeoutMs, void (*body)(int threadIndex, void* context), void* context);
