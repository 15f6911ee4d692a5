#include "lang/LangTable.h"

#include "base/FileSystem.h"
#include "base/TextConvert.h"

#include <cstring>

namespace
{
const char kLangSignature[] = ";!@Lang@!UTF-8!";
const int kLangSignatureLength = sizeof(kLangSignature) - 1;
static_assert(sizeof(kLangSignature) - 1 == 15, "the signature is 15 bytes");

// A zero byte counts as a blank, so that a body handed over with one inside still parses.
bool IsLangBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
}

// Moves past blanks and comments; a comment runs up to the next line feed or the end.
int SkipBlanksAndComments(const char* text, int length, int pos)
{
    while (pos < length)
    {
        const char c = text[pos];
        if (IsLangBlank(c))
        {
            pos++;
            continue;
        }
        if (c != ';')
            break;
        while (pos < length && text[pos] != '\n')
            pos++;
    }
    return pos;
}

int HexDigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

// Reads the value bytes after its opening quote up to the closing quote, unescaping on the way.
// False when the text ends first.
bool ReadQuotedValue(const char* text, int length, int& pos, CNarrowString& value)
{
    for (;;)
    {
        // Plain bytes go over in runs; only quotes and backslashes need a look.
        const int runStart = pos;
        while (pos < length && text[pos] != '"' && text[pos] != '\\')
            pos++;
        value.Append(text + runStart, pos - runStart);
        if (pos >= length)
            return false;
        if (text[pos] == '"')
        {
            pos++;
            return true;
        }
        if (pos + 1 >= length)
            return false;
        const char next = text[pos + 1];
        switch (next)
        {
        case '"':
            value.Append('"');
            break;
        case '\\':
            value.Append('\\');
            break;
        case 'n':
            value.Append('\n');
            break;
        case 't':
            value.Append('\t');
            break;
        default:
            // Translators write paths like C:\Temp: an unknown escape keeps both bytes.
            value.Append(text + pos, 2);
            break;
        }
        pos += 2;
    }
}
} // namespace

bool ParseLangPairs(const CNarrowString& body, COwningVector<CLangPair>& pairs)
{
    pairs.Clear();
    const char* text = body.Ptr();
    const int length = body.Length();
    // Scratch buffers kept across entries: a big file has tens of thousands of them.
    const CLangPair emptyPair;
    CNarrowString nameBytes;
    CNarrowString valueBytes;
    int pos = 0;
    for (;;)
    {
        pos = SkipBlanksAndComments(text, length, pos);
        if (pos >= length)
            return true;

        const int nameStart = pos;
        while (pos < length && !IsLangBlank(text[pos]) && text[pos] != '=')
            pos++;
        if (pos == nameStart)
            return false;
        CLangPair& pair = pairs[pairs.Add(emptyPair)];
        nameBytes.ClearText();
        nameBytes.Append(text + nameStart, pos - nameStart);
        if (!Utf8ToWide(nameBytes, pair.Name))
            return false;

        pos = SkipBlanksAndComments(text, length, pos);
        if (pos >= length || text[pos] != '=')
            return false;
        pos = SkipBlanksAndComments(text, length, pos + 1);
        if (pos >= length || text[pos] != '"')
            return false;
        pos++;

        valueBytes.ClearText();
        if (!ReadQuotedValue(text, length, pos, valueBytes))
            return false;
        if (!Utf8ToWide(valueBytes, pair.Value))
            return false;
    }
}

bool ParseHexId(const CWideString& name, UINT& id)
{
    if (name.IsEmpty())
        return false;
    UINT value = 0;
    for (int i = 0; i < name.Length(); i++)
    {
        const int digit = HexDigitValue(name[i]);
        if (digit < 0)
            return false;
        // More than eight digits: only the last eight count, as the 32-bit product wraps.
        value = value * 16 + static_cast<UINT>(digit);
    }
    id = value;
    return true;
}

bool CLangTable::LoadFromFile(const CWideString& path)
{
    Clear();
    try
    {
        CNarrowString text;
        {
            CReadOnlyFile file;
            if (!file.Open(path))
                return false;
            unsigned long long size = 0;
            if (!file.QuerySize(size) || size > kMaxLangFileSize)
                return false;
            // One read into one buffer of size + 1: the zero after the data ends the text
            // even when the file has none of its own.
            char* buffer = text.BufferForWrite(static_cast<int>(size));
            DWORD read = 0;
            if (!file.ReadAll(buffer, static_cast<DWORD>(size), read))
                return false;
            if (read > size)
                read = static_cast<DWORD>(size);
            buffer[read] = 0;
            text.CommitBuffer();
        }

        int start = 0;
        if (text.Length() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
            static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
            start = 3;
        if (text.Length() - start < kLangSignatureLength ||
            std::memcmp(text.Ptr() + start, kLangSignature, kLangSignatureLength) != 0)
            return false;
        const int lineEnd = text.FindChar('\n', start + kLangSignatureLength);
        if (lineEnd < 0)
            return false;
        // The body begins at that line feed; cut the head off in place rather than copy 1 MiB.
        text.Erase(0, lineEnd);

        COwningVector<CLangPair> pairs;
        if (!ParseLangPairs(text, pairs))
            return false;
        text.ClearText();

        Entries.Reserve(pairs.Count());
        const CLangEntry emptyEntry;
        for (int i = 0; i < pairs.Count(); i++)
        {
            UINT id = 0;
            if (!ParseHexId(pairs[i].Name, id))
            {
                // Keep nothing from a file with a bad name: a half-loaded, unsorted table would
                // give wrong texts for ids it does hold.
                Clear();
                return false;
            }
            CLangEntry& entry = Entries[Entries.Add(emptyEntry)];
            entry.Id = id;
            entry.Text = pairs[i].Value;
        }
        Entries.Sort([](const CLangEntry& a, const CLangEntry& b)
                       { return a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0); });
        return true;
    }
    catch (...)
    {
        // The table is read without a lock once loaded: never leave it half filled and unsorted.
        Clear();
        throw;
    }
}

bool CLangTable::FindText(UINT id, CWideString& text) const
{
    int low = 0;
    int high = Entries.Count();
    while (low != high)
    {
        const int middle = (low + high) / 2;
        const UINT middleId = Entries[middle].Id;
        if (middleId == id)
        {
            text = Entries[middle].Text;
            return true;
        }
        if (id < middleId)
            high = middle;
        else
            low = middle + 1;
    }
    return false;
}
