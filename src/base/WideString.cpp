#include "base/WideString.h"

#include "base/TextConvert.h"

template <> void CStringT<wchar_t>::ToLowerInPlace()
{
    SetLastError(0);
    if (CharLowerW(_text) != nullptr || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return;
    // No wide case mapping on this system: lower-case through the ANSI code page.
    CNarrowString narrow = SystemTextFromWide(*this);
    char* bytes = narrow.BufferForWrite(narrow.Length());
    CharLowerA(bytes);
    *this = WideFromSystemText(narrow);
}

template <> int CStringT<wchar_t>::CompareIgnoreCase(const wchar_t* other) const
{
    // Raw units first: upper-casing happens only where the texts differ.
    for (int i = 0;; i++)
    {
        const wchar_t a = _text[i];
        const wchar_t b = other[i];
        if (a == b)
        {
            if (a == 0)
                return 0;
            continue;
        }
        const unsigned short upperA = static_cast<unsigned short>(CharToUpper(a));
        const unsigned short upperB = static_cast<unsigned short>(CharToUpper(b));
        if (upperA != upperB)
            return upperA < upperB ? -1 : 1;
    }
}
