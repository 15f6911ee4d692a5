#include "options/HtmlHelp.h"

#include "base/TextConvert.h"
#include "lang/Language.h"
#include "settings/RegistryKey.h"

const char kHtmlHelpClassKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}";
CHtmlHelpControl g_HtmlHelpControl(kHtmlHelpClassKey, "hhctrl.ocx");

namespace
{
// The control's HtmlHelpA, asked for by its ordinal as the control's own import library does.
const WORD kHtmlHelpAOrdinal = 14;
// A control path fits the classic 260-byte registry buffer, its terminator included.
const int kControlPathBufferSize = 260;
const wchar_t kHelpFileName[] = L"Vantor.chm::/";

typedef HWND(WINAPI* CHtmlHelpAEntry)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);
} // namespace

bool CHtmlHelpControl::FindControlPath(CNarrowString& path) const
{
    path.ClearText();
    CNarrowString keyPath(_classKey);
    keyPath.Append("\\InprocServer32");
    CRegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, keyPath, KEY_READ) != ERROR_SUCCESS)
        return false;
    // The stored text need not end with a zero byte (a value written with the length of its
    // characters only, or of another type); the text read here is always terminated, and a
    // value that would not have fit the buffer with its terminator is not a path to load.
    if (key.QueryValue(static_cast<const char*>(nullptr), path) != ERROR_SUCCESS)
    {
        path.ClearText();
        return false;
    }
    if (path.IsEmpty() || path.Length() >= kControlPathBufferSize)
    {
        path.ClearText();
        return false;
    }
    return true;
}

HMODULE CHtmlHelpControl::LoadControl(const char* name)
{
    _loadAttempts++;
    return LoadLibraryA(name);
}

bool CHtmlHelpControl::FindFallbackPath(CNarrowString& path) const
{
    path.ClearText();
    char* buffer = path.BufferForWrite(MAX_PATH);
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
    {
        path.ClearText();
        return false;
    }
    path.CommitBuffer(static_cast<int>(length));
    path.Append('\\');
    path.Append(_fallbackName);
    return true;
}

HWND CHtmlHelpControl::Call(HWND caller, const char* file, UINT command, DWORD_PTR data)
{
    if (_loadFailed)
        return nullptr;
    if (_module == nullptr)
    {
        CNarrowString path;
        if (FindControlPath(path))
            _module = LoadControl(path);
        // The name alone would be looked for in the host's current folder first, where anyone
        // may have put a file of that name: only the system folder's copy is taken.
        if (_module == nullptr && FindFallbackPath(path))
            _module = LoadControl(path);
        if (_module == nullptr)
        {
            _loadFailed = true;
            return nullptr;
        }
    }
    if (_entry == nullptr)
    {
        _entry = GetProcAddress(_module, MAKEINTRESOURCEA(kHtmlHelpAOrdinal));
        if (_entry == nullptr)
        {
            _loadFailed = true;
            return nullptr;
        }
    }
    return reinterpret_cast<CHtmlHelpAEntry>(reinterpret_cast<void*>(_entry))(caller, file, command, data);
}

HWND CallHtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data)
{
    return g_HtmlHelpControl.Call(caller, file, command, data);
}

void ShowHelpTopic(const CWideString& topic)
{
    CWideString path;
    if (!GetModuleFolder(path))
        return;
    path.Append(kHelpFileName);
    path.Append(topic);
    // A missing help file or topic is reported by the control itself.
    CallHtmlHelp(nullptr, SystemTextFromWide(path), kHtmlHelpDisplayTopic, 0);
}
