#pragma once

#include <windows.h>

#include <string>

// Copies the rectangle of the screen (screen coordinates) into a bottom-up 24-bit BMP file. The copy
// comes from the screen's device context, so it holds whatever is on the display: menus, property
// sheets and the windows of other processes alike.
bool SaveScreenRectangle(const RECT& area, const std::wstring& path);
