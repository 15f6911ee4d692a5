#pragma once

#include "TestSupport.h"

#include "options/OptionsPlugin.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// Raw registry access for arranging and checking what the pages store.
namespace Reg
{
void SetNumber(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value);
void SetText(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text);
void SetBytes(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size);
// False when the value is missing or not 4 bytes long.
bool GetNumber(HKEY root, const wchar_t* path, const wchar_t* name, DWORD& value);
bool GetText(HKEY root, const wchar_t* path, const wchar_t* name, std::wstring& text);
bool ValueExists(HKEY root, const wchar_t* path, const wchar_t* name);
bool KeyExists(HKEY root, const wchar_t* path);
} // namespace Reg

const wchar_t kOptionsKey[] = L"Software\\VANTOR\\Options";
const wchar_t kHandlerClassKey[] = L"CLSID\\{23170F69-40C1-439B-1000-000100020000}";
const wchar_t kHtmlHelpInprocKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// Keeps a registry path as found: the highest key of the path that does not exist yet (or the
// path itself) is saved and put back, so keys created on the way are removed again.
class CRegistryPathGuard
{
public:
    CRegistryPathGuard(HKEY root, const std::wstring& path);

private:
    std::unique_ptr<CRegistrySnapshot> _snapshot;
};

// Every test of the options sheet keeps the settings root, the handler's class key, the shell's
// handler keys and the approval list as found, and starts without stored options. The language
// is loaded before the heap is counted: it stays for the process.
class COptionsTest : public CModuleTest
{
protected:
    void SetUp() override;

    // CreateObject for the options interface; the test owns the reference.
    IPluginOptions* CreatePlugin();
    // ShowOptions with a fresh object, released afterwards.
    HRESULT ShowOptionsOnce();

private:
    std::vector<std::unique_ptr<CRegistryPathGuard>> _guards;
};

// Keys of the shell handler under the four classes, as the registry holds them.
bool AnyHandlerKeyPresent();
bool AllRegisteredHandlerKeysPresent();

// The bytes of a file; empty when it cannot be read.
std::string ReadAll(const CWideString& path);

// Whether this process runs as the child of a test (RunThisProgram with VANTOR_OPTIONS_CHILD).
std::wstring ChildMode();
