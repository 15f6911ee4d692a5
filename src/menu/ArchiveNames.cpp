#include "menu/ArchiveNames.h"

#include "base/FileNames.h"
#include "base/FileSystem.h"
#include "launch/Launch.h"

// clang-format off
const wchar_t* const g_ArchiveExtensions[kArchiveExtensionCount] = {
    // Archive types ("VNTX" keeps the product's own spelling).
    L"VNTX", L"bz2", L"gz", L"rar", L"zip",
    // Types that are never archives.
    L"txt", L"htm", L"html", L"xml", L"xsd", L"xsl", L"xslt", L"asp", L"aspx", L"css", L"shtml",
    L"bmp", L"gif", L"jpeg", L"jpg", L"png", L"tiff", L"ico",
    L"3gp", L"avi", L"mov", L"mpeg", L"mpg", L"mpe", L"wmv",
    L"aac", L"ape", L"fla", L"flac", L"la", L"mp3", L"m4a", L"mp4", L"ofr", L"ogg", L"pac", L"ra",
    L"rm", L"rka", L"shn", L"swa", L"tta", L"wv", L"wma", L"wav",
    L"ps", L"eps",
    L"inl", L"inc", L"idl", L"h", L"hpp", L"hxx", L"c", L"cpp", L"cxx", L"rc", L"java", L"cs",
    L"pas", L"bas", L"vb", L"cls", L"ctl", L"frm", L"dlg", L"def",
    L"f77", L"f", L"f90", L"f95",
    L"asm", L"sql", L"manifest", L"dep", L"mak", L"clw", L"csproj", L"vcproj", L"sln", L"dsp", L"dsw",
    L"bat", L"cmd",
    L"awk", L"sed", L"hta", L"js", L"php", L"php3", L"php4", L"php5", L"phptml", L"pl", L"pm",
    L"py", L"pyo", L"rb", L"sh", L"tcl", L"vbs",
    L"tex", L"ans", L"asc", L"srt", L"reg", L"ini", L"rtf", L"pdf",
};
// clang-format on

namespace
{
const wchar_t kFallbackArchiveName[] = L"Archive";
const wchar_t kNoExtensionMark[] = L"~";
const wchar_t kElision[] = L" ... ";
// Units kept on each side of the elision, and the length from which a text is shortened.
const int kElideKeep = 32;
const int kElideFrom = 64;

// "name.part01.rar" and friends: the first volume of a multi-volume archive.
const wchar_t kRarExtension[] = L"rar";
const wchar_t* const kRarVolumeMarkers[] = {L"part001", L"part01", L"part1"};
// "name.zip.001": the first piece of a split archive.
const wchar_t kSplitExtension[] = L"001";

bool IsHighSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A full folder path that names the root of a drive ("C:\") or of a network share
// ("\\server\share\"), also behind the "\\?\" and "\\?\UNC\" prefixes of long paths.
bool IsRootFolder(const CWideString& folder)
{
    int start = 0;
    bool share = false;
    if (folder.FindText(L"\\\\?\\UNC\\") == 0)
    {
        start = 8;
        share = true;
    }
    else if (folder.FindText(L"\\\\?\\") == 0)
        start = 4;
    else if (folder.FindText(L"\\\\") == 0)
    {
        start = 2;
        share = true;
    }
    const int length = folder.Length() - start;
    if (!share)
        return length == 3 && folder[start + 1] == L':' && folder[start + 2] == L'\\';
    // Server and share, each ended by its backslash, and nothing after them.
    const int serverEnd = folder.FindChar(L'\\', start);
    return serverEnd > start && folder.FindChar(L'\\', serverEnd + 1) == folder.Length() - 1 &&
           folder.Length() - 1 > serverEnd + 1;
}
} // namespace

bool MayBeArchiveName(const CWideString& name)
{
    const int dot = name.FindLastChar(L'.');
    if (dot < 0)
        return true;
    CWideString extension = name.SliceFrom(dot + 1);
    extension.ToLowerInPlace();
    for (int i = kArchiveTypeCount; i < kArchiveExtensionCount; i++)
        if (extension.Compare(g_ArchiveExtensions[i]) == 0)
            return false;
    return true;
}

bool IsArchiveTypeExtension(const CWideString& extension)
{
    for (int i = 0; i < kArchiveTypeCount; i++)
        if (extension.CompareIgnoreCase(g_ArchiveExtensions[i]) == 0)
            return true;
    return false;
}

CWideString DeriveExtractFolderName(const CWideString& name)
{
    const int dot = name.FindLastChar(L'.');
    if (dot < 0)
        return name + kNoExtensionMark;
    const CWideString extension = name.SliceFrom(dot + 1);
    CWideString base = name.Prefix(dot);
    base.TrimTrailingBlanks();

    // The volume or piece marker before the last extension goes too, so every volume of a set
    // extracts to the folder named after the set.
    const int innerDot = base.FindLastChar(L'.');
    if (innerDot >= 1)
    {
        const CWideString innerExtension = base.SliceFrom(innerDot + 1);
        bool cut = false;
        if (extension.CompareIgnoreCase(kRarExtension) == 0)
        {
            for (const wchar_t* marker : kRarVolumeMarkers)
                if (innerExtension.CompareIgnoreCase(marker) == 0)
                    cut = true;
        }
        else if (IsArchiveTypeExtension(innerExtension) && extension.CompareIgnoreCase(kSplitExtension) == 0)
            cut = true;
        if (cut)
            base = base.Prefix(innerDot);
        base.TrimTrailingBlanks();
    }
    return base;
}

CWideString ArchiveBaseNameOfEntry(const CDirEntry& entry)
{
    // The entry's own spelling, not the case the shell happened to hand over.
    const CWideString& name = entry.EntryName;
    if (entry.IsFolder())
        return name;
    const int dot = name.FindLastChar(L'.');
    if (dot >= 1)
    {
        const CWideString stem = name.Prefix(dot);
        if (stem.FindChar(L'.') < 0)
            return stem;
    }
    return name;
}

CWideString DeriveArchiveBaseName(const CWideString& path, bool several)
{
    CDirEntry entry;
    if (!several)
        return LookUpEntry(path, entry) ? ArchiveBaseNameOfEntry(entry) : CWideString(kFallbackArchiveName);

    CWideString folder;
    if (!ResolveFullPathFolder(path, folder) || folder.IsEmpty())
        return kFallbackArchiveName;
    if (folder[folder.Length() - 1] != L'\\')
        return kFallbackArchiveName;
    // A root has no name of its own: looking up "C:" would find the host's current folder on that
    // drive (Explorer's is often C:\Windows\System32), and "\\server\share" no entry at all.
    if (IsRootFolder(folder))
        return kFallbackArchiveName;
    folder.Erase(folder.Length() - 1, 1);
    if (!LookUpEntry(folder, entry))
        return kFallbackArchiveName;
    return entry.EntryName;
}

CWideString ElideMiddle(const CWideString& text)
{
    const int length = text.Length();
    if (length < kElideFrom)
        return text;
    // A half of a surrogate pair on its own would show as a box: the cut moves one unit inward
    // instead, so the result never grows beyond the usual 69 units.
    int headCount = kElideKeep;
    if (IsHighSurrogate(text[headCount - 1]))
        headCount--;
    int tailStart = length - kElideKeep;
    if (IsLowSurrogate(text[tailStart]))
        tailStart++;
    CWideString result = text.Prefix(headCount);
    result.Append(kElision);
    result.Append(text.SliceFrom(tailStart));
    return result;
}

CWideString QuoteForMenu(const CWideString& text)
{
    // Shortened by the name's real length first; the doubling belongs to the menu text alone.
    CWideString shown = ElideMiddle(text);
    for (int at = shown.FindChar(L'&'); at >= 0; at = shown.FindChar(L'&', at + 2))
        shown.InsertAt(at, CWideString(L'&'));
    return QuoteArgument(shown);
}
