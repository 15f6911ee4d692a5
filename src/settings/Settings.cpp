#include "settings/Settings.h"

#include "base/TextConvert.h"
#include "settings/RegistryKey.h"

CCriticalSection g_SettingsLock;
// The archiver and the file manager read and write the same key.
const char kSettingsRootPath[] = "Software\\VANTOR";

namespace
{
const char kExtractionKey[] = "Extraction";
const char kCompressionKey[] = "Compression";
const char kOptionsKey[] = "Options";

const char kPathHistoryKey[] = "PathHistory";
const char kArcHistoryKey[] = "ArcHistory";
const char kFormatOptionsKey[] = "Options"; // below Compression; not the Options key of the root

// The stored name has always been spelled so; the archiver reads the same value.
const char kExtractModeValue[] = "ExtarctMode";
const char kOverwriteModeValue[] = "OverwriteMode";
const char kShowPasswordValue[] = "ShowPassword";
const char kLevelValue[] = "Level";
const char kArchiverValue[] = "Archiver";
const char kEncryptHeadersValue[] = "EncryptHeaders";
const char kWorkDirTypeValue[] = "WorkDirType";
const wchar_t kWorkDirPathValue[] = L"WorkDirPath";
const char kTempRemovableOnlyValue[] = "TempRemovableOnly";
const char kCascadedMenuValue[] = "CascadedMenu";
const char kContextMenuValue[] = "ContextMenu";

const DWORD kExtractModeCount = 3;
const DWORD kOverwriteModeCount = 5;
const DWORD kWorkDirTypeCount = 3;
const DWORD kDefaultExtractMode = 1;
const DWORD kDefaultOverwriteMode = 0;
const DWORD kDefaultLevel = 5;
const wchar_t kDefaultArchiver[] = L"VNTX";

// The texts and numbers of one format record, in the order they are read and written.
struct CFormatTextValue
{
    const wchar_t* Name;
    CWideString CFormatOptions::*Field;
};
struct CFormatNumberValue
{
    const char* Name;
    DWORD CFormatOptions::*Field;
};
const CFormatTextValue kFormatTextValues[] = {
    {L"Options", &CFormatOptions::Options},
    {L"Method", &CFormatOptions::Method},
    {L"EncryptionMethod", &CFormatOptions::EncryptionMethod},
};
const CFormatNumberValue kFormatNumberValues[] = {
    {"Level", &CFormatOptions::Level},           {"Dictionary", &CFormatOptions::Dictionary},
    {"Order", &CFormatOptions::Order},           {"BlockSize", &CFormatOptions::BlockSize},
    {"NumThreads", &CFormatOptions::NumThreads},
};

// A history entry is named by its index in decimal, without leading zeros.
CWideString HistoryValueName(unsigned index)
{
    wchar_t digits[11];
    int start = 10;
    digits[start] = 0;
    do
    {
        digits[--start] = static_cast<wchar_t>(L'0' + index % 10);
        index /= 10;
    } while (index != 0);
    return CWideString(digits + start);
}

// Reads the entries 0, 1, 2, ... up to the first one that cannot be read; later entries
// after a gap are not part of the list.
void ReadHistory(CRegistryKey& parent, const char* subKeyName, COwningVector<CWideString>& list)
{
    CRegistryKey key;
    if (key.Open(parent, subKeyName, KEY_READ) != ERROR_SUCCESS)
        return;
    CWideString entry;
    for (unsigned index = 0;; index++)
    {
        if (key.QueryValue(HistoryValueName(index).Ptr(), entry) != ERROR_SUCCESS)
            return;
        list.Add(entry);
    }
}

// The sub-key is rebuilt from scratch, so no stale entry beyond the new end survives.
void SaveHistory(CRegistryKey& parent, const char* subKeyName, const COwningVector<CWideString>& list)
{
    parent.RecursiveDeleteSubKey(subKeyName);
    CRegistryKey key;
    if (key.Create(parent, subKeyName) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < list.Count(); i++)
        key.SetValue(HistoryValueName(static_cast<unsigned>(i)).Ptr(), list[i].Ptr());
}

void ReadFormatOptions(CRegistryKey& compression, COwningVector<CFormatOptions>& records)
{
    CRegistryKey optionsKey;
    if (optionsKey.Open(compression, kFormatOptionsKey, KEY_READ) != ERROR_SUCCESS)
        return;
    // An enumeration error other than the end keeps the names gathered so far.
    COwningVector<CNarrowString> names;
    optionsKey.EnumKeys(names);
    for (int i = 0; i < names.Count(); i++)
    {
        CFormatOptions record;
        record.FormatName = names[i];
        CRegistryKey formatKey;
        if (formatKey.Open(optionsKey, record.FormatName, KEY_READ) != ERROR_SUCCESS)
            continue;
        for (const CFormatTextValue& value : kFormatTextValues)
            formatKey.QueryValue(value.Name, record.*value.Field);
        // A failed read leaves NotSet, the record's starting value.
        for (const CFormatNumberValue& value : kFormatNumberValues)
            formatKey.QueryValue(value.Name, record.*value.Field);
        records.Add(record);
    }
}

// A record must name a single sub-key: an empty name would write into the Options key itself
// and a name with a backslash into a nested key that is never read back as a record.
bool IsStorableFormatName(const CNarrowString& name)
{
    return !name.IsEmpty() && name.FindChar('\\') < 0;
}

void SaveFormatOptions(CRegistryKey& compression, const COwningVector<CFormatOptions>& records)
{
    compression.RecursiveDeleteSubKey(kFormatOptionsKey);
    CRegistryKey optionsKey;
    if (optionsKey.Create(compression, kFormatOptionsKey) != ERROR_SUCCESS)
        return;
    for (int i = 0; i < records.Count(); i++)
    {
        const CFormatOptions& record = records[i];
        if (!IsStorableFormatName(record.FormatName))
            continue;
        CRegistryKey formatKey;
        if (formatKey.Create(optionsKey, record.FormatName) != ERROR_SUCCESS)
            continue;
        // Nothing stored stands for an empty text or NotSet.
        for (const CFormatTextValue& value : kFormatTextValues)
        {
            const CWideString& text = record.*value.Field;
            if (text.IsEmpty())
                formatKey.DeleteValue(value.Name);
            else
                formatKey.SetValue(value.Name, text.Ptr());
        }
        for (const CFormatNumberValue& value : kFormatNumberValues)
        {
            const DWORD number = record.*value.Field;
            if (number == NotSet)
                formatKey.DeleteValue(value.Name);
            else
                formatKey.SetValue(value.Name, number);
        }
    }
}

LONG OpenForReading(CRegistryKey& key, const char* subKeyName)
{
    return key.Open(HKEY_CURRENT_USER, MakeSettingsKeyPath(subKeyName), KEY_READ);
}

LONG CreateForWriting(CRegistryKey& key, const char* subKeyName)
{
    return key.Create(HKEY_CURRENT_USER, MakeSettingsKeyPath(subKeyName));
}
} // namespace

CNarrowString MakeSettingsKeyPath(const char* subKeyName)
{
    CNarrowString path(kSettingsRootPath);
    path.Append('\\');
    path.Append(subKeyName);
    return path;
}

void ReadExtractSettings(CExtractSettings& settings)
{
    settings.PathHistory.Clear();
    settings.ExtractMode = kDefaultExtractMode;
    settings.OverwriteMode = kDefaultOverwriteMode;
    settings.ShowPassword = false;

    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kExtractionKey) != ERROR_SUCCESS)
        return;
    ReadHistory(key, kPathHistoryKey, settings.PathHistory);

    DWORD number = 0;
    if (key.QueryValue(kExtractModeValue, number) == ERROR_SUCCESS && number < kExtractModeCount)
        settings.ExtractMode = number;
    if (key.QueryValue(kOverwriteModeValue, number) == ERROR_SUCCESS && number < kOverwriteModeCount)
        settings.OverwriteMode = number;
    key.QueryValue(kShowPasswordValue, settings.ShowPassword);
}

void SaveExtractSettings(const CExtractSettings& settings)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (CreateForWriting(key, kExtractionKey) != ERROR_SUCCESS)
        return;
    SaveHistory(key, kPathHistoryKey, settings.PathHistory);
    key.SetValue(kExtractModeValue, settings.ExtractMode);
    key.SetValue(kOverwriteModeValue, settings.OverwriteMode);
    key.SetValue(kShowPasswordValue, settings.ShowPassword);
}

void ReadCompressSettings(CCompressSettings& settings)
{
    settings.ArcHistory.Clear();
    settings.FormatOptions.Clear();
    settings.Level = kDefaultLevel;
    settings.Archiver = kDefaultArchiver;
    settings.ShowPassword = false;
    settings.EncryptHeaders = false;

    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kCompressionKey) != ERROR_SUCCESS)
        return;
    ReadHistory(key, kArcHistoryKey, settings.ArcHistory);
    ReadFormatOptions(key, settings.FormatOptions);

    key.QueryValue(kLevelValue, settings.Level);
    // The archiver's name has always been stored in the ANSI character set.
    CNarrowString archiver;
    if (key.QueryValue(kArchiverValue, archiver) == ERROR_SUCCESS)
        settings.Archiver = WideFromSystemText(archiver);
    key.QueryValue(kShowPasswordValue, settings.ShowPassword);
    key.QueryValue(kEncryptHeadersValue, settings.EncryptHeaders);
}

void SaveCompressSettings(const CCompressSettings& settings)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (CreateForWriting(key, kCompressionKey) != ERROR_SUCCESS)
        return;
    SaveHistory(key, kArcHistoryKey, settings.ArcHistory);
    SaveFormatOptions(key, settings.FormatOptions);
    key.SetValue(kLevelValue, settings.Level);
    key.SetValue(kArchiverValue, SystemTextFromWide(settings.Archiver).Ptr());
    key.SetValue(kShowPasswordValue, settings.ShowPassword);
    key.SetValue(kEncryptHeadersValue, settings.EncryptHeaders);
}

void ReadWorkFolderSettings(CWorkFolderSettings& settings)
{
    settings.WorkDirType = WorkDirSystemTemp;
    settings.WorkDirPath.ClearText();
    settings.TempRemovableOnly = true;

    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kOptionsKey) != ERROR_SUCCESS)
        return;
    // Without a stored type the other two values were never saved together with it.
    DWORD type = 0;
    if (key.QueryValue(kWorkDirTypeValue, type) != ERROR_SUCCESS)
        return;
    if (type < kWorkDirTypeCount)
        settings.WorkDirType = type;
    // The text is empty after a failed read; a specified folder without a path is no choice.
    if (key.QueryValue(kWorkDirPathValue, settings.WorkDirPath) != ERROR_SUCCESS &&
        settings.WorkDirType == WorkDirSpecified)
        settings.WorkDirType = WorkDirSystemTemp;
    key.QueryValue(kTempRemovableOnlyValue, settings.TempRemovableOnly);
}

void SaveWorkFolderSettings(const CWorkFolderSettings& settings)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (CreateForWriting(key, kOptionsKey) != ERROR_SUCCESS)
        return;
    key.SetValue(kWorkDirTypeValue, settings.WorkDirType);
    key.SetValue(kWorkDirPathValue, settings.WorkDirPath.Ptr());
    key.SetValue(kTempRemovableOnlyValue, settings.TempRemovableOnly);
}

bool ReadCascadedMenu()
{
    bool cascaded = true;
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kOptionsKey) == ERROR_SUCCESS)
        key.QueryValue(kCascadedMenuValue, cascaded);
    return cascaded;
}

void SaveCascadedMenu(bool cascaded)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (CreateForWriting(key, kOptionsKey) == ERROR_SUCCESS)
        key.SetValue(kCascadedMenuValue, cascaded);
}

bool ReadContextMenuFlags(DWORD& flags)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kOptionsKey) != ERROR_SUCCESS)
        return false;
    // The number is read into a zeroed word of its own, so a stored value shorter than four
    // bytes gives its own bytes and zeros, never leftovers of the caller's variable.
    return key.QueryValue(kContextMenuValue, flags) == ERROR_SUCCESS;
}

void SaveContextMenuFlags(DWORD flags)
{
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (CreateForWriting(key, kOptionsKey) == ERROR_SUCCESS)
        key.SetValue(kContextMenuValue, flags);
}

void ReadMenuSettings(bool& cascaded, DWORD& flags)
{
    cascaded = true;
    flags = kDefaultContextMenuFlags;
    CCriticalSectionLock lock(g_SettingsLock);
    CRegistryKey key;
    if (OpenForReading(key, kOptionsKey) != ERROR_SUCCESS)
        return;
    key.QueryValue(kCascadedMenuValue, cascaded);
    DWORD stored = 0;
    if (key.QueryValue(kContextMenuValue, stored) == ERROR_SUCCESS)
        flags = stored;
}
