#pragma once

#include "base/Sync.h"
#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>

// Each returns 0, or an error value (0x80004005 or a system error code); callers test for zero.
DWORD CompressFiles(const CWideString& workingFolder, const CWideString& archiveName, const CWideString& archiveType,
                    const COwningVector<CWideString>& names, bool email, bool showDialog, bool waitForExit);
DWORD ExtractArchives(const COwningVector<CWideString>& archiveNames, const CWideString& outputFolder, bool showDialog);
DWORD TestArchives(const COwningVector<CWideString>& archiveNames);
DWORD RunArchiverWithNameList(const COwningVector<CWideString>& names, CWideString& commandLine,
                              const wchar_t* mappingPrefix);
DWORD CreateNameListMapping(const COwningVector<CWideString>& names, const wchar_t* prefix,
                            CNamedFileMapping& mapping, CNamedEvent& endEvent, CWideString& commandLine);
