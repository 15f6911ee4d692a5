#include "settings/RegistryKey.h"

#include "base/Module.h"
#include "base/TextConvert.h"
#include "settings/RegistryRefusal.h"

static_assert(sizeof(DWORD) == 4, "REG_DWORD values are exactly 4 bytes");

namespace
{
// Room for a sub-key name: the registry allows 255 characters; the buffer is the classic MAX_PATH + 1.
const DWORD kKeyNameBufferSize = 261;
static_assert(kKeyNameBufferSize == MAX_PATH + 1, "sub-key names are enumerated into MAX_PATH + 1 characters");

// Read and write access, enough to enumerate a key and delete below it.
const REGSAM kDeleteTreeAccess = KEY_READ | KEY_WRITE;
static_assert(kDeleteTreeAccess == 0x2001F, "recursive delete opens with read and write access");

// Any program of the user may rewrite a value between the size query and the read. Each read
// that reports ERROR_MORE_DATA is retried with the new size, a bounded number of times.
const int kMaxTextReadAttempts = 8;

// The largest text value we are prepared to hold; beyond it the size cannot be a string
// buffer's length and counts as exhausted memory.
const DWORD kMaxTextValueBytes = 0x10000000;

// Reads a text value into a buffer reserved in `text`. `unitSize` is 1 for ANSI and 2 for wide
// data. The stored bytes are untrusted: the value may lack its terminating zero, have an odd
// byte count (wide), or grow between the size query and the read. The buffer always holds one
// unit more than the registry is told, so the text is terminated inside it whatever came back.
template <typename TUnit, typename TQuery> LONG ReadTextValue(CStringT<TUnit>& text, TQuery query)
{
    text.ClearText();
    DWORD size = 0;
    LONG result = query(nullptr, &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return result;
    for (int attempt = 0; attempt < kMaxTextReadAttempts; attempt++)
    {
        if (size > kMaxTextValueBytes)
            throw CNewException();
        const int units = static_cast<int>((size + sizeof(TUnit) - 1) / sizeof(TUnit));
        TUnit* buffer = text.BufferForWrite(units);
        DWORD got = static_cast<DWORD>(units * sizeof(TUnit));
        result = query(reinterpret_cast<BYTE*>(buffer), &got);
        if (result == ERROR_MORE_DATA)
        {
            // The value grew. The registry reports the size it needs now; never trust a size
            // that would not make progress.
            size = got > size ? got : size + sizeof(TUnit);
            continue;
        }
        if (result != ERROR_SUCCESS)
        {
            text.ClearText();
            return result;
        }
        // An odd trailing byte of a wide value is no character; a missing terminator is added.
        DWORD gotUnits = got / sizeof(TUnit);
        if (gotUnits > static_cast<DWORD>(units))
            gotUnits = units;
        buffer[gotUnits] = 0;
        text.CommitBuffer();
        return ERROR_SUCCESS;
    }
    text.ClearText();
    return result;
}
} // namespace

LONG CRegistryKey::Create(HKEY parent, const char* name, char* keyClass, DWORD options, REGSAM access,
                          SECURITY_ATTRIBUTES* security, DWORD* disposition)
{
    HKEY key = nullptr;
    DWORD created = 0;
    LONG result = RegistryWriteRefusal(parent, access | KEY_CREATE_SUB_KEY);
    if (result == ERROR_SUCCESS)
        result = RegCreateKeyExA(parent, name, 0, keyClass, options, access, security, &key, &created);
    if (disposition != nullptr)
        *disposition = created;
    if (result != ERROR_SUCCESS)
        return result;
    Close();
    _key = key;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::Open(HKEY parent, const char* name, REGSAM access)
{
    HKEY key = nullptr;
    LONG result = RegistryWriteRefusal(parent, access);
    if (result == ERROR_SUCCESS)
        result = RegOpenKeyExA(parent, name, 0, access, &key);
    if (result != ERROR_SUCCESS)
        return result;
    Close();
    _key = key;
    return ERROR_SUCCESS;
}

LONG CRegistryKey::Close()
{
    if (_key == nullptr)
        return ERROR_SUCCESS;
    // Closing happens on cleanup paths too; the caller's last error survives it.
    const DWORD lastError = GetLastError();
    const LONG result = RegCloseKey(_key);
    _key = nullptr;
    SetLastError(lastError);
    return result;
}

LONG CRegistryKey::DeleteSubKey(const char* name)
{
    const LONG refused = RegistryWriteRefusal(_key, DELETE);
    return refused != ERROR_SUCCESS ? refused : RegDeleteKeyA(_key, name);
}

LONG CRegistryKey::RecursiveDeleteSubKey(const char* name)
{
    CRegistryKey key;
    LONG result = key.Open(_key, name, kDeleteTreeAccess);
    if (result != ERROR_SUCCESS)
        return result;
    for (;;)
    {
        // Always index 0: each deleted child moves the next one to the front.
        char child[kKeyNameBufferSize];
        DWORD size = kKeyNameBufferSize;
        FILETIME written;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
        {
            key.Close();
            return DeleteSubKey(name);
        }
        result = key.RecursiveDeleteSubKey(child);
        if (result != ERROR_SUCCESS)
            return result;
    }
}

LONG CRegistryKey::DeleteValue(const char* name)
{
    return RegDeleteValueA(_key, name);
}

LONG CRegistryKey::DeleteValue(const wchar_t* name)
{
    if (g_WideApisAvailable)
        return RegDeleteValueW(_key, name);
    if (name == nullptr)
        return RegDeleteValueA(_key, nullptr);
    return RegDeleteValueA(_key, SystemTextFromWide(name));
}

LONG CRegistryKey::SetValue(const char* name, DWORD value)
{
    return RegSetValueExA(_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG CRegistryKey::SetValue(const char* name, bool value)
{
    return SetValue(name, static_cast<DWORD>(value ? 1 : 0));
}

LONG CRegistryKey::SetValue(const char* name, const char* value)
{
    if (value == nullptr)
        value = "";
    const DWORD size = static_cast<DWORD>(CNarrowString::UnitCount(value) + 1);
    return RegSetValueExA(_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
}

LONG CRegistryKey::SetValue(const wchar_t* name, const wchar_t* value)
{
    if (value == nullptr)
        value = L"";
    if (g_WideApisAvailable)
    {
        const DWORD size = static_cast<DWORD>((CWideString::UnitCount(value) + 1) * sizeof(wchar_t));
        return RegSetValueExW(_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size);
    }
    // Windows 98 has no wide registry calls: characters outside the ANSI code page become "_".
    const CNarrowString text = SystemTextFromWide(value);
    if (name == nullptr)
        return SetValue(static_cast<const char*>(nullptr), text.Ptr());
    return SetValue(SystemTextFromWide(name).Ptr(), text.Ptr());
}

LONG CRegistryKey::QueryValue(const char* name, DWORD& value)
{
    // Read into a word of our own that starts at zero: a stored value shorter than 4 bytes
    // must not leave bytes of the caller's variable in the number, and a failed read (a
    // longer value, a missing one) must not touch it at all.
    DWORD number = 0;
    DWORD size = sizeof(number);
    const LONG result = RegQueryValueExA(_key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
    if (result == ERROR_SUCCESS)
        value = number;
    return result;
}

LONG CRegistryKey::QueryValue(const char* name, bool& value)
{
    DWORD number = 0;
    const LONG result = QueryValue(name, number);
    if (result == ERROR_SUCCESS)
        value = number != 0;
    return result;
}

LONG CRegistryKey::QueryValue(const char* name, CNarrowString& value)
{
    const HKEY key = _key;
    return ReadTextValue(value, [key, name](BYTE* data, DWORD* size)
                         { return RegQueryValueExA(key, name, nullptr, nullptr, data, size); });
}

LONG CRegistryKey::QueryValue(const wchar_t* name, CWideString& value)
{
    if (g_WideApisAvailable)
    {
        const HKEY key = _key;
        return ReadTextValue(value, [key, name](BYTE* data, DWORD* size)
                             { return RegQueryValueExW(key, name, nullptr, nullptr, data, size); });
    }
    value.ClearText();
    CNarrowString text;
    LONG result;
    if (name == nullptr)
        result = QueryValue(static_cast<const char*>(nullptr), text);
    else
        result = QueryValue(SystemTextFromWide(name).Ptr(), text);
    if (result == ERROR_SUCCESS)
        value = WideFromSystemText(text);
    return result;
}

LONG CRegistryKey::EnumKeys(COwningVector<CNarrowString>& names)
{
    names.Clear();
    for (DWORD index = 0;; index++)
    {
        char name[kKeyNameBufferSize];
        DWORD size = kKeyNameBufferSize;
        FILETIME written;
        const LONG result = RegEnumKeyExA(_key, index, name, &size, nullptr, nullptr, nullptr, &written);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS)
            return result;
        if (size >= kKeyNameBufferSize)
            size = kKeyNameBufferSize - 1;
        names.Add(CNarrowString(name, static_cast<int>(size)));
    }
}
