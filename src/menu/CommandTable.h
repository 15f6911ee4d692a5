#pragma once

#include "menu/ShellMenuHandler.h"

#include <windows.h>

// One command the handler can offer.
struct CMenuCommandInfo
{
    DWORD Flag;          // its bit in the "ContextMenu" mask
    UINT CommandId;      // 1 to 11
    const wchar_t* Verb; // appended to g_MainVerb
    UINT TitleId;        // string resource of the menu text
    UINT HelpId;         // string resource of the help text
    UINT LangId;         // lang id of the menu text; the help text's is LangId + 1
};

const int kMenuCommandCount = 11;
extern const CMenuCommandInfo g_MenuCommands[kMenuCommandCount];
extern const wchar_t g_MainVerb[];

// Row index 0 to 10, or -1.
int FindCommandRow(UINT commandId);
// Fills the entry's CommandId, Verb and HelpText and the menu text (with "{0}" still in place).
void FillCommandEntry(UINT commandId, CWideString& menuText, CCommandMapEntry& entry);
