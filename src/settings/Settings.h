#pragma once

#include "base/Sync.h"
#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>

// Every read and save of the settings below holds this lock for its whole duration.
extern CCriticalSection g_SettingsLock;

// The product's key under HKEY_CURRENT_USER, "Software\VANTOR": the keys of the records below, and
// the values "Lang" and "LargePages" that the module reads from the key itself.
extern const char kSettingsRootPath[];
// kSettingsRootPath + "\" + name.
CNarrowString MakeSettingsKeyPath(const char* subKeyName);

// Mask of the enabled context-menu commands when nothing is stored: all eleven.
const DWORD kDefaultContextMenuFlags = 0x3F37;
// A number of a format record that is not stored.
const DWORD NotSet = 0xFFFFFFFF;

enum EWorkDirType : DWORD
{
    WorkDirSystemTemp = 0,
    WorkDirCurrent = 1,
    WorkDirSpecified = 2,
};

struct CExtractSettings
{
    DWORD ExtractMode = 1;
    DWORD OverwriteMode = 0;
    COwningVector<CWideString> PathHistory;
    bool ShowPassword = false;
};

struct CFormatOptions
{
    CNarrowString FormatName;
    CWideString Options;
    CWideString Method;
    CWideString EncryptionMethod;
    DWORD Level = NotSet;
    DWORD Dictionary = NotSet;
    DWORD Order = NotSet;
    DWORD BlockSize = NotSet;
    DWORD NumThreads = NotSet;
};

struct CCompressSettings
{
    COwningVector<CWideString> ArcHistory;
    DWORD Level = 5;
    CWideString Archiver = L"VNTX";
    COwningVector<CFormatOptions> FormatOptions;
    bool ShowPassword = false;
    bool EncryptHeaders = false;
};

struct CWorkFolderSettings
{
    DWORD WorkDirType = WorkDirSystemTemp;
    CWideString WorkDirPath;
    bool TempRemovableOnly = true;
};

void ReadExtractSettings(CExtractSettings& settings);
void SaveExtractSettings(const CExtractSettings& settings);
void ReadCompressSettings(CCompressSettings& settings);
void SaveCompressSettings(const CCompressSettings& settings);
void ReadWorkFolderSettings(CWorkFolderSettings& settings);
void SaveWorkFolderSettings(const CWorkFolderSettings& settings);
// True when nothing is stored.
bool ReadCascadedMenu();
void SaveCascadedMenu(bool cascaded);
// True when a stored mask was read into `flags`; callers use kDefaultContextMenuFlags otherwise.
bool ReadContextMenuFlags(DWORD& flags);
void SaveContextMenuFlags(DWORD flags);
// The two settings every context menu reads, from one opening of their key under one hold of the
// lock: the cascade setting (true when nothing is stored) and the command mask
// (kDefaultContextMenuFlags when nothing is stored).
void ReadMenuSettings(bool& cascaded, DWORD& flags);
