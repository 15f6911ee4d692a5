#pragma once

#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>

// Owner of an open registry key; every registry access of the module goes through it.
// Key paths, sub-key names and numbers always use the ANSI calls; text values use the wide
// calls when g_WideApisAvailable is set and are converted through the ANSI code page otherwise.
// Every operation returns the registry's error code (ERROR_SUCCESS is 0).
class CRegistryKey
{
public:
    CRegistryKey() = default;
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;
    ~CRegistryKey() { Close(); }

    operator HKEY() const { return _key; }
    HKEY Get() const { return _key; }

    // On success the key held before is closed and replaced; on failure it stays held.
    [[nodiscard]] LONG Create(HKEY parent, const char* name, char* keyClass = nullptr, DWORD options = 0,
                              REGSAM access = KEY_ALL_ACCESS, SECURITY_ATTRIBUTES* security = nullptr,
                              DWORD* disposition = nullptr);
    [[nodiscard]] LONG Open(HKEY parent, const char* name, REGSAM access = KEY_ALL_ACCESS);
    LONG Close();
    void Attach(HKEY key) { _key = key; }
    HKEY Detach()
    {
        HKEY key = _key;
        _key = nullptr;
        return key;
    }

    LONG DeleteSubKey(const char* name);
    LONG RecursiveDeleteSubKey(const char* name);
    LONG DeleteValue(const char* name);
    LONG DeleteValue(const wchar_t* name);

    LONG SetValue(const char* name, DWORD value);
    LONG SetValue(const char* name, bool value);
    LONG SetValue(const char* name, const char* value);
    LONG SetValue(const wchar_t* name, const wchar_t* value);

    // The out value is written only by a successful read; the stored type is not checked.
    LONG QueryValue(const char* name, DWORD& value);
    // Keeps the flag on failure.
    LONG QueryValue(const char* name, bool& value);
    // Always leaves a terminated text (empty on failure).
    LONG QueryValue(const char* name, CNarrowString& value);
    LONG QueryValue(const wchar_t* name, CWideString& value);

    // Names of the sub-keys; on an error other than "no more items" the names so far stay.
    LONG EnumKeys(COwningVector<CNarrowString>& names);

private:
    HKEY _key = nullptr;
};
