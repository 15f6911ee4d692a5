#include "lang/Language.h"

#include "base/Module.h"
#include "base/ShellObjects.h"
#include "base/UiWrappers.h"
#include "settings/RegistryKey.h"
#include "settings/Settings.h"

CLangTable g_LangTable;
CWideString g_LangName;
bool g_LangLoaded = false;
CCriticalSection g_LangLock;

namespace
{
const wchar_t kLangValue[] = L"Lang";
const wchar_t kNoLanguage[] = L"-";
const wchar_t kLangFolder[] = L"Lang\\";
const wchar_t kLangFileExtension[] = L".txt";
const wchar_t kPlaceholder[] = L"{0}";
const int kPlaceholderLength = 3;

// A path that names its place by itself: a drive with its root (C:\...) or a network or device
// name (\\server\share\..., \\?\...). Anything else depends on a current folder, of the
// process or of a drive.
bool IsFullPath(const CWideString& path)
{
    if (path.Length() >= 2 && path[0] == L'\\' && path[1] == L'\\')
        return true;
    return path.Length() >= 3 && path[1] == L':' && path[2] == L'\\';
}
} // namespace

void LoadLanguageOnce()
{
    // The flag goes up before the load, so a file that fails is not tried again in this
    // process; a second thread waits here and then finds the table complete.
    CCriticalSectionLock lock(g_LangLock);
    if (g_LangLoaded)
        return;
    g_LangLoaded = true;
    LoadLanguage();
}

void LoadLanguage()
{
    ReadLangSetting(g_LangName);
    g_LangTable.Clear();
    if (g_LangName.IsEmpty() || g_LangName == kNoLanguage)
        return;

    CWideString path(g_LangName);
    const bool plainName = path.FindChar(L'\\') < 0;
    // A plain name is a file in the Lang folder beside the module.
    if (plainName && path.FindChar(L'.') < 0)
        path.Append(kLangFileExtension);
    if (plainName || !IsFullPath(path))
    {
        // A plain name and a relative path (Lang\German.txt, .\x.txt) both start at our own
        // folder, never at the host's current folder: that is whatever folder the host process
        // stands in (Explorer's may be a download or network folder), and texts planted there
        // would be shown as the module's own. Without our folder nothing loads.
        CWideString folder;
        if (!GetModuleFolder(folder))
            return;
        path = plainName ? folder + kLangFolder + path : folder + path;
    }
    // A missing or malformed file leaves the built-in texts; nothing is shown.
    g_LangTable.LoadFromFile(path);
}

void ReadLangSetting(CWideString& name)
{
    name.ClearText();
    CRegistryKey key;
    // The file manager keeps "Lang" in the product's main key, not under its own "FM" sub-key.
    if (key.Open(HKEY_CURRENT_USER, kSettingsRootPath, KEY_READ) != ERROR_SUCCESS)
        return;
    if (key.QueryValue(kLangValue, name) != ERROR_SUCCESS)
        name.ClearText();
}

bool GetModuleFolder(CWideString& folder)
{
    CWideString path;
    if (!GetModuleFilePath(g_ModuleInstance, path))
        return false;
    const int slash = path.FindLastChar(L'\\');
    if (slash < 0)
        return false;
    folder = path.Prefix(slash + 1);
    return true;
}

CWideString LangText(UINT langId)
{
    CWideString text;
    g_LangTable.FindText(langId, text);
    return text;
}

CWideString LangTextOr(UINT resourceId, UINT langId)
{
    CWideString text;
    // An empty translation is the translator's choice and stands; only a missing id falls back.
    if (g_LangTable.FindText(langId, text))
        return text;
    return LoadModuleString(resourceId);
}

CWideString FormatArg(const CWideString& text, const CWideString& argument)
{
    CWideString result(text);
    int pos = result.FindText(kPlaceholder);
    while (pos >= 0)
    {
        result.Erase(pos, kPlaceholderLength);
        result.InsertAt(pos, argument);
        // Continue behind the inserted argument: a "{0}" inside it is text, not a placeholder.
        pos = result.FindText(kPlaceholder, pos + argument.Length());
    }
    return result;
}

void ApplyLangToDialog(HWND dialog, const CLangControlMap* map, int count)
{
    if (map == nullptr)
        return;
    for (int i = 0; i < count; i++)
    {
        CWideString text;
        if (g_LangTable.FindText(map[i].LangId, text))
            SetControlText(GetDlgItem(dialog, static_cast<int>(map[i].ControlId)), text);
    }
}
