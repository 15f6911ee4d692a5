#pragma once

#include "base/FileSystem.h"
#include "base/WideString.h"

// Extensions without their dot: the first kArchiveTypeCount are the archive types the archiver
// writes or splits; the rest are types that are never archives, so no extract command is
// offered for them.
const int kArchiveExtensionCount = 114;
const int kArchiveTypeCount = 5;
extern const wchar_t* const g_ArchiveExtensions[kArchiveExtensionCount];

// The name stands for an archive when an extract command might apply, judged by the extension
// alone (no extension, an empty one, or one not known as a non-archive type).
bool MayBeArchiveName(const CWideString& name);
// One of the archive types, ignoring case.
bool IsArchiveTypeExtension(const CWideString& extension);

// Folder name for "Extract to": the name without its extension and without a multi-volume part
// marker; a name without extension gets "~" so the folder cannot collide with the file.
CWideString DeriveExtractFolderName(const CWideString& name);
// Archive name without extension for the compress commands: the selected item's own name for
// one item (as spelled on disk), the name of the folder holding the items for several, and
// "Archive" when neither can be found or the items lie at the root of a drive or network share.
CWideString DeriveArchiveBaseName(const CWideString& path, bool several);
// The same for one item whose entry has been looked up already.
CWideString ArchiveBaseNameOfEntry(const CDirEntry& entry);

// Texts of 64 units or more keep their first and last 32 units around " ... "; a cut never
// separates the two halves of a surrogate pair.
CWideString ElideMiddle(const CWideString& text);
// The shortened text between double quotes, as it replaces "{0}" in a menu text: every "&" is
// doubled, so that it shows as itself instead of marking the next letter as the item's mnemonic.
CWideString QuoteForMenu(const CWideString& text);
