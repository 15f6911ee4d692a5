#include "menu/CommandTable.h"

#include "lang/Language.h"
#include "resources/ResourceIds.h"

const wchar_t g_MainVerb[] = L"Vantor";

// Rows are found by command id; their order is not the menu's order. The zip and VNTX variants
// share their texts: the archive name put in for "{0}" tells them apart.
const CMenuCommandInfo g_MenuCommands[kMenuCommandCount] = {
    {0x20, 1, L"Open", IDS_OPEN_TITLE, IDS_OPEN_HELP, 0x02000103},
    {0x1, 2, L"Extract", IDS_EXTRACT_TITLE, IDS_EXTRACT_HELP, 0x02000105},
    {0x2, 3, L"ExtractHere", IDS_EXTRACT_HERE_TITLE, IDS_EXTRACT_HERE_HELP, 0x0200010B},
    {0x4, 4, L"ExtractTo", IDS_EXTRACT_TO_TITLE, IDS_EXTRACT_TO_HELP, 0x0200010D},
    {0x10, 5, L"Test", IDS_TEST_TITLE, IDS_TEST_HELP, 0x02000109},
    {0x1000, 10, L"CompressToZip", IDS_COMPRESS_TO_TITLE, IDS_COMPRESS_TO_HELP, 0x0200010F},
    {0x2000, 11, L"CompressToZipEmail", IDS_COMPRESS_TO_EMAIL_TITLE, IDS_COMPRESS_TO_EMAIL_HELP, 0x02000113},
    {0x200, 8, L"CompressToVNTX", IDS_COMPRESS_TO_TITLE, IDS_COMPRESS_TO_HELP, 0x0200010F},
    {0x800, 9, L"CompressToVNTXEmail", IDS_COMPRESS_TO_EMAIL_TITLE, IDS_COMPRESS_TO_EMAIL_HELP, 0x02000113},
    {0x100, 6, L"Compress", IDS_COMPRESS_TITLE, IDS_COMPRESS_HELP, 0x02000107},
    {0x400, 7, L"CompressEmail", IDS_COMPRESS_EMAIL_TITLE, IDS_COMPRESS_EMAIL_HELP, 0x02000111},
};

int FindCommandRow(UINT commandId)
{
    for (int row = 0; row < kMenuCommandCount; row++)
        if (g_MenuCommands[row].CommandId == commandId)
            return row;
    return -1;
}

void FillCommandEntry(UINT commandId, CWideString& menuText, CCommandMapEntry& entry)
{
    const int row = FindCommandRow(commandId);
    if (row < 0)
        return;
    const CMenuCommandInfo& info = g_MenuCommands[row];
    // The verb is what the shell hands back to InvokeCommand, whatever the language.
    CWideString verb(g_MainVerb);
    verb.Append(info.Verb);
    CWideString helpText = LangTextOr(info.HelpId, info.LangId + 1);
    CWideString title = LangTextOr(info.TitleId, info.LangId);
    entry.CommandId = info.CommandId;
    entry.Verb = verb;
    entry.HelpText = helpText;
    menuText = title;
}
