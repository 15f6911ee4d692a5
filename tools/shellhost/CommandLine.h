#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the host was asked to do.
struct CHostOptions
{
    std::vector<std::wstring> Paths; // the selection, in the order given
    std::wstring DragTarget;         // non-empty: a right-button drag of Paths onto this folder or drive
    std::wstring OnlyHandler;        // non-empty: only the handler registered under this key name
    UINT QueryFlags = 0;             // CMF_NORMAL unless --flags says otherwise
    bool PrintMenu = true;
    std::wstring InvokeVerb;    // non-empty: carry out the item with this verb
    int InvokeOffset = -1;      // >= 0: carry out this command offset of the first handler with items
    std::wstring PicturePath;   // non-empty: show the menu on screen and save a BMP here
    std::wstring HighlightVerb; // with a picture: the submenu item to highlight
    bool ExplorerItems = false; // with a picture: Explorer's own items around the handlers' ones
    bool Provider = false;      // Windows 11's first-level menu: the registered Explorer commands
    bool ShowHelp = false;
};

// Parses the arguments after the program name. On an error returns false and says why in `error`.
bool ParseHostOptions(const std::vector<std::wstring>& args, CHostOptions& options, std::wstring& error);

// The text --help prints.
const wchar_t* HostUsageText();
