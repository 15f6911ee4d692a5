#pragma once

#include "MenuListing.h"

#include <string>
#include <vector>

struct CPictureRequest
{
    HMENU Menu = nullptr;
    std::vector<CMenuLine> Lines;       // the menu's items: the submenu, the highlight, the help texts
    std::wstring Folder;                // the folder the window shows
    std::vector<std::wstring> Selected; // names in that folder shown selected
    std::wstring DropTarget;            // name in that folder shown as the drop target, may be empty
    std::wstring HighlightVerb;         // item to move the highlight onto, may be empty
    std::wstring BitmapPath;            // where the 24-bit BMP goes
};

// Shows a folder window with the selection, opens the menu over the selected item as a right-click
// does (TrackPopupMenu), walks into the cascaded submenu with the keyboard, lets the window's status
// bar show the highlighted item's help text as Explorer's does, and saves that part of the screen.
bool ShowMenuPicture(const CPictureRequest& request, std::wstring& error);
