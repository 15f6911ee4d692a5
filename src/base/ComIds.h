#pragma once

#include <windows.h>

// True when the 16 bytes of the two identifiers are equal.
bool SameId(const GUID& left, const GUID& right);
