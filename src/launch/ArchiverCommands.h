#pragma once

#include "base/Sync.h"
#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>

#include <cstdlib>

// Each returns 0, or an error value (0x80004005 or a system error code); callers test for zero.
DWORD CompressFiles(const CWideString& workingFolder, const CWideString& archiveName, const CWideString& archiveType,
                    const COwningVector<CWideString>& names, bool email, bool showDialog, bool waitForExit);
DWORD ExtractArchives(const COwningVector<CWideString>& archiveNames, const CWideString& outputFolder, bool showDialog);
DWORD TestArchives(const COwningVector<CWideString>& archiveNames);
DWORD RunArchiverWithNameList(const COwningVector<CWideString>& names, CWideString& commandLine,
                              const wchar_t* mappingPrefix);
// Creates the mapping (prefix + "Mapping" + number) holding the name list and the end event
// (prefix + "MappingEndEvent" + number) and appends "mapping:size:event" to the command line.
// 0x80004005 when the mapping cannot be created or mapped, the system's error code when the
// event cannot be created; what was created stays with the owners passed in.
DWORD CreateNameListMapping(const COwningVector<CWideString>& names, const wchar_t* prefix, CNamedFileMapping& mapping,
                            CNamedEvent& endEvent, CWideString& commandLine);

// Random numbers tried for a free mapping or event name before a launch gives up as if the
// object could not be created.
const unsigned kNameAttemptLimit = 4u * (RAND_MAX + 1u);
// For tests only: replaces the limit above; returns the limit in force before.
unsigned SetNameAttemptLimit(unsigned attempts);

// Bytes of the name-list block: a leading zero unit, then each name with its zero unit.
// 0 when the block would not fit into 2 GB.
DWORD NameListBlockSize(const COwningVector<CWideString>& names);
// Writes the block into `block`, which holds NameListBlockSize(names) bytes.
void WriteNameListBlock(const COwningVector<CWideString>& names, void* block);
