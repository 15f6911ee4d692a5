#pragma once

#include "HandlerSet.h"

#include <string>
#include <vector>

// One item of a menu as read back from the system, with what its handler says about it.
struct CMenuLine
{
    int Depth = 0;
    UINT Id = 0;
    bool HasId = false;
    bool Separator = false;
    bool Submenu = false;
    bool Grayed = false;
    bool Checked = false;
    std::wstring Text;
    std::wstring Verb; // "-" when no handler owns the id or the handler gives none
    std::wstring Help; // same
};

// Reads `menu` and its submenus, depth first, in item order.
std::vector<CMenuLine> ReadMenuTree(HMENU menu, const CHandlerSet& handlers);

// The table the host prints: a heading and one line per item, columns aligned.
std::wstring FormatMenuTree(const std::vector<CMenuLine>& lines);

// The line whose verb is `verb`, or null.
const CMenuLine* FindLineByVerb(const std::vector<CMenuLine>& lines, const std::wstring& verb);

// The keys a user presses in a freshly opened menu to reach the first handler submenu (Down to its
// item, Right to open it) and then the item with `highlightVerb` in it; in a menu without a submenu,
// Down to that item (or to the first handler item). Separators are skipped, as the menu skips them.
std::vector<UINT> PlanMenuKeys(const std::vector<CMenuLine>& lines, const std::wstring& highlightVerb);
