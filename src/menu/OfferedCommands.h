#pragma once

#include "base/Vector.h"
#include "base/WideString.h"
#include "menu/CommandTable.h"

#include <windows.h>

// What a selection offers and what carrying a command out does, whichever front end shows the
// commands: the classic context menu (MenuBuilder.cpp, CommandInvoke.cpp) or the Explorer command
// provider of Windows 11's first-level menu (ExplorerCommand.cpp). Both list the same commands
// in the same order with the same texts and names, and hand the archiver the same command lines
// and name lists.

// One command a selection offers: what carrying it out takes, and the text a menu shows for it.
struct COfferedCommand
{
    CCommandMapEntry Entry;
    CWideString Text; // "{0}" replaced by the quoted, shortened name
};

// The ids a classic menu has left for the commands, from the next one to the last one. The block
// of the single item asks for 6 ids beyond the next one, the main block for 10; a front end without
// ids passes kUnlimitedIds.
struct CIdWindow
{
    UINT NextId;
    UINT LastId;
};
const CIdWindow kUnlimitedIds = {0, 0xFFFFFFFF};

// Lists, in menu order, the commands that `names` (full paths) offer under `mask`, a
// "ContextMenu" value: the extract commands when one of the items may be an archive, the compress
// commands always, "Open archive" for a single one. `dropFolder` is null for a right-click; for a
// right-button drag it is the target folder, ending with a backslash (no e-mail commands then).
// E_FAIL, with `offered` empty, when there are no names, one of them cannot be looked up, or the
// folder of the first one cannot be resolved. Throws CNewException when memory runs out.
HRESULT ListOfferedCommands(const COwningVector<CWideString>& names, const CWideString* dropFolder, DWORD mask,
                            CIdWindow window, COwningVector<COfferedCommand>& offered);

// Carries out a command that ListOfferedCommands gave for `names`: starts the archiver or the file
// manager, and returns once the archiver has taken the names. Nothing for the submenu's own entry.
// What the launch returns is not reported: a missing program or a failed hand-over leaves things as
// they were, and the archiver reports its own errors. When the launch cannot be prepared (memory
// ran out) the user sees the error box "Error" and the result says why (E_OUTOFMEMORY); otherwise
// S_OK.
HRESULT CarryOutCommand(const CCommandMapEntry& entry, const COwningVector<CWideString>& names);

// The error box of a command that could not be carried out: "Error" in the user's language, with
// the caption "Vantor" and no owner window.
void ShowCommandError() noexcept;
