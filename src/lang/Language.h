#pragma once

#include "base/Sync.h"
#include "base/WideString.h"
#include "lang/LangTable.h"

#include <windows.h>

// The language chosen by "Lang", loaded at most once per process.
extern CLangTable g_LangTable;
extern CWideString g_LangName;
extern bool g_LangLoaded;
extern CCriticalSection g_LangLock;

// One row of a dialog's lang map.
struct CLangControlMap
{
    UINT ControlId;
    UINT LangId;
};

void LoadLanguageOnce();
void LoadLanguage();
void ReadLangSetting(CWideString& name);
// The folder of this module, ending with a backslash.
bool GetModuleFolder(CWideString& folder);
// The translation, or an empty text.
CWideString LangText(UINT langId);
// The translation when the table has the id (even an empty one), else the module's string.
CWideString LangTextOr(UINT resourceId, UINT langId);
// Every "{0}" replaced by `argument`, which is not expanded again.
CWideString FormatArg(const CWideString& text, const CWideString& argument);
void ApplyLangToDialog(HWND dialog, const CLangControlMap* map, int count);
