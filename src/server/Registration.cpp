#include "server/Registration.h"

#include "base/ComIds.h"
#include "base/Module.h"
#include "base/ShellObjects.h"
#include "base/TextConvert.h"
#include "settings/RegistryKey.h"

#include <objbase.h>
#include <olectl.h>

const wchar_t kShellExtensionName[] = L"Vantor Shell Extension";
const char kApprovedExtensionsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

namespace
{
// One value of the class registration. A null Data stands for this module's file path.
struct CRegistrationRow
{
    HKEY Root;
    const char* KeyPattern;   // wsprintfA pattern taking the class-id text
    const wchar_t* ValueName; // null: the key's default value
    const wchar_t* Data;
};

const CRegistrationRow kClassRows[] = {
    {HKEY_CLASSES_ROOT, "CLSID\\%s", nullptr, kShellExtensionName},
    {HKEY_CLASSES_ROOT, "CLSID\\%s\\InprocServer32", nullptr, nullptr},
    // Explorer calls every handler on its own STA threads.
    {HKEY_CLASSES_ROOT, "CLSID\\%s\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {nullptr, nullptr, nullptr, nullptr},
};

// Room for the longest pattern around the longest class-id text.
const int kKeyNameSize = kClassIdTextSize + 32;
static_assert(sizeof("CLSID\\\\InprocServer32") <= 32, "patterns fit around the class-id text");

void FormatKeyName(char (&name)[kKeyNameSize], const char* pattern, const char* classIdText)
{
    wsprintfA(name, pattern, classIdText);
}

// Every failure of the class registration, also exhausted memory, is reported the way
// regsvr32 and the options sheet understand: anything but S_OK means "not registered".
HRESULT RegistrationResultOfCaughtException() noexcept
{
    try
    {
        throw;
    }
    catch (const CNewException&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return SELFREG_E_CLASS;
    }
}

HRESULT RegisterClassRows(const char* classIdText)
{
    CWideString modulePath;
    if (!GetModuleFilePath(g_ModuleInstance, modulePath))
        return SELFREG_E_CLASS;
    for (const CRegistrationRow* row = kClassRows; row->Root != nullptr; row++)
    {
        char keyName[kKeyNameSize];
        FormatKeyName(keyName, row->KeyPattern, classIdText);
        CRegistryKey key;
        if (key.Create(row->Root, keyName, nullptr, 0, KEY_WRITE) != ERROR_SUCCESS)
            return SELFREG_E_CLASS; // the rows written so far stay
        // A class key without its value is no registration: report it instead of S_OK.
        const wchar_t* data = row->Data != nullptr ? row->Data : modulePath.Ptr();
        if (key.SetValue(row->ValueName, data) != ERROR_SUCCESS)
            return SELFREG_E_CLASS;
    }
    return S_OK;
}

// Deletes a key of ours unless another program put a sub-key below it. The NT family refuses to
// delete a key with sub-keys anyway; Windows 95, 98 and Me would delete the whole tree, the other
// program's keys included, so the sub-keys are counted first.
void DeleteKeyWithoutSubKeys(const char* path)
{
    {
        CRegistryKey key;
        if (key.Open(HKEY_CLASSES_ROOT, path, KEY_READ) != ERROR_SUCCESS)
            return;
        DWORD subKeys = 0;
        if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS ||
            subKeys != 0)
            return;
    }
    CRegistryKey root;
    root.Attach(HKEY_CLASSES_ROOT);
    root.DeleteSubKey(path);
    root.Detach(); // a predefined root is given back, never closed
}

// Windows NT runs only the shell extensions listed as approved (when the administrator asks
// for it); Windows 95 and 98 have no such list. Without the rights to write it the class is
// still registered, so a failure here is passed over.
void ApproveClass(const char* classIdText)
{
    CRegistryKey key;
    if (key.Create(HKEY_LOCAL_MACHINE, kApprovedExtensionsKey, nullptr, 0, KEY_WRITE) != ERROR_SUCCESS)
        return;
    const CWideString valueName = WideFromSystemText(CNarrowString(classIdText));
    key.SetValue(valueName.Ptr(), kShellExtensionName);
}
} // namespace

bool FormatClassIdText(REFCLSID classId, char* text)
{
    text[0] = 0;
    LPOLESTR wide = nullptr;
    if (StringFromIID(classId, &wide) != S_OK || wide == nullptr)
        return false;
    const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, kClassIdTextSize, nullptr, nullptr);
    CoTaskMemFree(wide);
    text[kClassIdTextSize - 1] = 0;
    if (written == 0)
    {
        // Never a half-converted name for a registry key.
        text[0] = 0;
        return false;
    }
    return true;
}

STDAPI DllRegisterServer()
{
    try
    {
        char classIdText[kClassIdTextSize];
        if (!FormatClassIdText(CLSID_ShellMenuHandler, classIdText))
            return SELFREG_E_CLASS;
        const HRESULT result = RegisterClassRows(classIdText);
        if (result != S_OK)
            return result;
        if (IsNtPlatform())
            ApproveClass(classIdText);
        return S_OK;
    }
    catch (...)
    {
        return RegistrationResultOfCaughtException();
    }
}

STDAPI DllUnregisterServer()
{
    try
    {
        char classIdText[kClassIdTextSize];
        if (!FormatClassIdText(CLSID_ShellMenuHandler, classIdText))
            return SELFREG_E_CLASS;
        // Inner key first; a class key that another program extended stays with what that
        // program put there.
        char keyName[kKeyNameSize];
        FormatKeyName(keyName, "CLSID\\%s\\InprocServer32", classIdText);
        DeleteKeyWithoutSubKeys(keyName);
        FormatKeyName(keyName, "CLSID\\%s", classIdText);
        DeleteKeyWithoutSubKeys(keyName);
        if (IsNtPlatform())
        {
            CRegistryKey key;
            if (key.Open(HKEY_LOCAL_MACHINE, kApprovedExtensionsKey, KEY_SET_VALUE) == ERROR_SUCCESS)
                key.DeleteValue(classIdText);
        }
        return S_OK;
    }
    catch (...)
    {
        return RegistrationResultOfCaughtException();
    }
}
