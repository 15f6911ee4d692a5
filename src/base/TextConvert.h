#pragma once

#include "base/WideString.h"

#include <windows.h>

// Integer codes thrown when the system refuses a code-page conversion of non-empty text.
const int kErrorMultiByteToWide = 0x44E74;
const int kErrorWideToMultiByte = 0x44E75;

CWideString WideFromMultiByte(const CNarrowString& narrow, UINT codePage);
// Characters the code page cannot spell exactly become `replacement`, never a look-alike of the
// system's best fit ("\x03A9" is not "O", a full-width quote or backslash is no real one);
// `usedReplacement` (may be null) tells whether any did.
CNarrowString MultiByteFromWide(const CWideString& wide, UINT codePage, char replacement, bool* usedReplacement);
CNarrowString MultiByteFromWide(const CWideString& wide, UINT codePage);
// A name for a file-system call in `codePage`. False, with the last error ERROR_FILE_NOT_FOUND,
// when the code page cannot spell it: with a replaced character it would name another file, which
// may well exist.
bool FileNameFromWide(const CWideString& name, UINT codePage, CNarrowString& narrow);

// CP_ACP while the file APIs are in ANSI mode, CP_OEMCP otherwise; asked anew each time.
UINT FileApiCodePage();

// Text that is not a file-system name: menus, window texts, resources, registry, drop lists.
CWideString WideFromSystemText(const CNarrowString& narrow);
CNarrowString SystemTextFromWide(const CWideString& wide);
// Names handed to or received from file-system entry points.
CWideString WideFromFileApiText(const CNarrowString& narrow);
CNarrowString FileApiTextFromWide(const CWideString& wide);

// Upper-case form of one UTF-16 unit, also where the wide case mapping is not implemented.
wchar_t CharToUpper(wchar_t unit);
