#include "BenchHarness.h"

#include "base/WideString.h"

#include <cstring>

namespace
{
const int kUnits = 1000000;

// One unit at a time, as the language loader and the name derivation build their texts: the
// growth policy decides how often the buffer is copied.
void AppendUnits()
{
    CWideString text;
    for (int i = 0; i < kUnits; i++)
        text.Append(static_cast<wchar_t>(L'a' + i % 26));
    BenchKeep(text.Ptr());
}

// The same bytes moved in one block: the floor any string building can reach.
void CopyBytes()
{
    static wchar_t source[kUnits];
    static wchar_t target[kUnits + 1];
    std::memcpy(target, source, sizeof(source));
    target[kUnits] = 0;
    BenchKeep(target);
}
} // namespace

VANTOR_BENCH(StringAppendMillionUnits, "append 1,000,000 units one by one to a CWideString", AppendUnits,
             "memcpy of the same 2,000,000 bytes", CopyBytes);
