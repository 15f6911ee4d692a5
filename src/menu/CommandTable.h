#pragma once

#include "base/WideString.h"

#include <windows.h>

// The command table: each command the module can offer, described once. A front end that
// presents the commands finds their rows here, by id or by verb, and adds only how it shows them;
// nothing here needs a handler object.

// The eleven command ids. An invocation is dispatched on the id, never on a row or a menu
// position, so the numbers are fixed.
enum ECommandId : UINT
{
    CommandOpen = 1,
    CommandExtract = 2,
    CommandExtractHere = 3,
    CommandExtractTo = 4,
    CommandTest = 5,
    CommandCompress = 6,
    CommandCompressEmail = 7,
    CommandCompressToVNTX = 8,
    CommandCompressToVNTXEmail = 9,
    CommandCompressToZip = 10,
    CommandCompressToZipEmail = 11,
};
static_assert(sizeof(ECommandId) == 4, "command ids are unsigned 32-bit");

// One row of the table.
struct CMenuCommandInfo
{
    DWORD Flag;           // its bit in the "ContextMenu" mask
    ECommandId CommandId; // 1 to 11
    const wchar_t* Verb;  // appended to g_MainVerb
    UINT TitleId;         // string resource of the menu text
    UINT HelpId;          // string resource of the help text
    UINT LangId;          // lang id of the menu text; the help text's is LangId + 1
};

// What one command offset of a built menu means.
struct CCommandMapEntry
{
    UINT CommandId = 0; // an ECommandId; 0 for the cascaded submenu's own entry
    CWideString Verb;
    CWideString HelpText;
    CWideString Folder;
    CWideString ArchiveName;
    CWideString ArchiveType; // "zip", "VNTX" or empty
};

const int kMenuCommandCount = 11;
extern const CMenuCommandInfo g_MenuCommands[kMenuCommandCount];
extern const wchar_t g_MainVerb[];

// Row index 0 to 10, or -1.
int FindCommandRow(UINT commandId);
// Row index of the command whose verb, g_MainVerb followed by the row's Verb, is `verb` exactly,
// letter case included; -1 for any other text and for null.
int FindCommandRowByVerb(const wchar_t* verb);
// Fills the entry's CommandId, Verb and HelpText and the menu text (with "{0}" still in place).
void FillCommandEntry(UINT commandId, CWideString& menuText, CCommandMapEntry& entry);

// The texts of the item that holds the commands, outside the table: "Vantor" and its help text
// "Vantor commands", as the language file gives them. The cascaded submenu of the classic menu and
// the top item of the Explorer command provider show them.
CWideString SubmenuTitle();
CWideString SubmenuHelpText();
