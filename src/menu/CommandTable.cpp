#include "menu/CommandTable.h"

#include "lang/Language.h"
#include "resources/ResourceIds.h"

const wchar_t g_MainVerb[] = L"Vantor";

// Rows are found by command id; their order is not the menu's order. The zip and VNTX variants
// share their texts: the archive name put in for "{0}" tells them apart.
const CMenuCommandInfo g_MenuCommands[kMenuCommandCount] = {
    {0x20, CommandOpen, L"Open", IDS_OPEN_TITLE, IDS_OPEN_HELP, 0x02000103},
    {0x1, CommandExtract, L"Extract", IDS_EXTRACT_TITLE, IDS_EXTRACT_HELP, 0x02000105},
    {0x2, CommandExtractHere, L"ExtractHere", IDS_EXTRACT_HERE_TITLE, IDS_EXTRACT_HERE_HELP, 0x0200010B},
    {0x4, CommandExtractTo, L"ExtractTo", IDS_EXTRACT_TO_TITLE, IDS_EXTRACT_TO_HELP, 0x0200010D},
    {0x10, CommandTest, L"Test", IDS_TEST_TITLE, IDS_TEST_HELP, 0x02000109},
    {0x1000, CommandCompressToZip, L"CompressToZip", IDS_COMPRESS_TO_TITLE, IDS_COMPRESS_TO_HELP, 0x0200010F},
    {0x2000, CommandCompressToZipEmail, L"CompressToZipEmail", IDS_COMPRESS_TO_EMAIL_TITLE, IDS_COMPRESS_TO_EMAIL_HELP,
     0x02000113},
    {0x200, CommandCompressToVNTX, L"CompressToVNTX", IDS_COMPRESS_TO_TITLE, IDS_COMPRESS_TO_HELP, 0x0200010F},
    {0x800, CommandCompressToVNTXEmail, L"CompressToVNTXEmail", IDS_COMPRESS_TO_EMAIL_TITLE, IDS_COMPRESS_TO_EMAIL_HELP,
     0x02000113},
    {0x100, CommandCompress, L"Compress", IDS_COMPRESS_TITLE, IDS_COMPRESS_HELP, 0x02000107},
    {0x400, CommandCompressEmail, L"CompressEmail", IDS_COMPRESS_EMAIL_TITLE, IDS_COMPRESS_EMAIL_HELP, 0x02000111},
};

namespace
{
const UINT kSubmenuTitleLangId = 0x02000101;
const UINT kSubmenuHelpLangId = 0x02000102;

// True when `text` is `head` followed directly by `tail`, unit for unit.
bool IsJoinOf(const wchar_t* text, const wchar_t* head, const wchar_t* tail)
{
    for (; *head != 0; text++, head++)
        if (*text != *head)
            return false;
    for (; *tail != 0; text++, tail++)
        if (*text != *tail)
            return false;
    return *text == 0;
}
} // namespace

int FindCommandRow(UINT commandId)
{
    for (int row = 0; row < kMenuCommandCount; row++)
        if (g_MenuCommands[row].CommandId == commandId)
            return row;
    return -1;
}

int FindCommandRowByVerb(const wchar_t* verb)
{
    if (verb == nullptr)
        return -1;
    for (int row = 0; row < kMenuCommandCount; row++)
        if (IsJoinOf(verb, g_MainVerb, g_MenuCommands[row].Verb))
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

CWideString SubmenuTitle()
{
    return LangTextOr(IDS_SUBMENU_TITLE, kSubmenuTitleLangId);
}

CWideString SubmenuHelpText()
{
    return LangTextOr(IDS_SUBMENU_HELP, kSubmenuHelpLangId);
}
