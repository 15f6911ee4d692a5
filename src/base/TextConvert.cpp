#include "base/TextConvert.h"

#include <cstring>

CWideString WideFromMultiByte(const CNarrowString& narrow, UINT codePage)
{
    CWideString result;
    if (narrow.IsEmpty())
        return result;
    wchar_t* buffer = result.BufferForWrite(narrow.Length());
    const int count = MultiByteToWideChar(codePage, 0, narrow.Ptr(), narrow.Length(), buffer, narrow.Length() + 1);
    if (count == 0)
        throw kErrorMultiByteToWide;
    result.CommitBuffer(count);
    return result;
}

namespace
{
// True when `bytes` read back in the code page give exactly `units`: the system's best fit and its
// replacement are the only conversions that do not.
bool ConvertsBack(UINT codePage, const char* bytes, int size, const wchar_t* units, int count)
{
    wchar_t back[8];
    if (count > 8 || MultiByteToWideChar(codePage, 0, bytes, size, back, 8) != count)
        return false;
    return std::memcmp(back, units, static_cast<size_t>(count) * sizeof(wchar_t)) == 0;
}
} // namespace

CNarrowString MultiByteFromWide(const CWideString& wide, UINT codePage, char replacement, bool* usedReplacement)
{
    CNarrowString result;
    if (usedReplacement != nullptr)
        *usedReplacement = false;
    if (wide.IsEmpty())
        return result;
    const int size = 2 * wide.Length() + 1;
    char* buffer = result.BufferForWrite(size);
    const char defaultChar[2] = {replacement, 0};
    BOOL defaultUsed = FALSE;
    const int count =
        WideCharToMultiByte(codePage, 0, wide.Ptr(), wide.Length(), buffer, size, defaultChar, &defaultUsed);
    if (count == 0)
        throw kErrorWideToMultiByte;
    result.CommitBuffer(count);
    if (!defaultUsed && WideFromMultiByte(result, codePage) == wide)
        return result;

    // Something was replaced or fitted: character by character, each one that does not read back
    // as itself becomes the replacement. Windows 95 and 98 know no flag that turns best fit off.
    result.ClearText();
    for (int i = 0; i < wide.Length();)
    {
        const int units = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.Length() && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        char bytes[8];
        BOOL used = FALSE;
        const int length = WideCharToMultiByte(codePage, 0, wide.Ptr() + i, units, bytes, 8, defaultChar, &used);
        if (length > 0 && !used && ConvertsBack(codePage, bytes, length, wide.Ptr() + i, units))
        {
            result.Append(bytes, length);
        }
        else
        {
            result.Append(replacement);
            if (usedReplacement != nullptr)
                *usedReplacement = true;
        }
        i += units;
    }
    return result;
}

bool FileNameFromWide(const CWideString& name, UINT codePage, CNarrowString& narrow)
{
    bool replaced = false;
    narrow = MultiByteFromWide(name, codePage, '_', &replaced);
    if (!replaced)
        return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

CNarrowString MultiByteFromWide(const CWideString& wide, UINT codePage)
{
    return MultiByteFromWide(wide, codePage, '_', nullptr);
}

UINT FileApiCodePage()
{
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

CWideString WideFromSystemText(const CNarrowString& narrow)
{
    return WideFromMultiByte(narrow, CP_ACP);
}

CNarrowString SystemTextFromWide(const CWideString& wide)
{
    return MultiByteFromWide(wide, CP_ACP);
}

CWideString WideFromFileApiText(const CNarrowString& narrow)
{
    return WideFromMultiByte(narrow, FileApiCodePage());
}

CNarrowString FileApiTextFromWide(const CWideString& wide)
{
    return MultiByteFromWide(wide, FileApiCodePage());
}

wchar_t CharToUpper(wchar_t unit)
{
    if (unit == 0)
        return 0;
    SetLastError(0);
    const LPWSTR upper = CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(static_cast<unsigned short>(unit))));
    const UINT_PTR value = reinterpret_cast<UINT_PTR>(upper);
    if (value != 0)
        return static_cast<wchar_t>(value & 0xFFFF);
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return 0;
    // No wide case mapping on this system: go through the ANSI code page.
    char bytes[5] = {};
    const int size = WideCharToMultiByte(CP_ACP, 0, &unit, 1, bytes, 4, nullptr, nullptr);
    if (size <= 0 || size > 4)
        return unit;
    bytes[size] = 0;
    CharUpperA(bytes);
    wchar_t converted = unit;
    if (MultiByteToWideChar(CP_ACP, 0, bytes, size, &converted, 1) == 0)
        return unit;
    return converted;
}
