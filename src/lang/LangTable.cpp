#include "lang/LangTable.h"

#include "base/FileSystem.h"

#include <cstring>
#include <utility>

namespace
{
const char kLangSignature[] = ";!@Lang@!UTF-8!";
const int kLangSignatureLength = sizeof(kLangSignature) - 1;
static_assert(sizeof(kLangSignature) - 1 == 15, "the signature is 15 bytes");

// A zero byte counts as a blank, so that a body handed over with one inside still parses.
bool IsLangBlank(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
}

int HexDigitValue(unsigned c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    return -1;
}

// Bytes read at a time. The window and the text decoded from it (two bytes a unit) stay below the
// size from which a heap hands out fresh memory for each block (32 KB under Wine), every page of
// which faults when first touched: that would cost more than the whole parse of a real file. An
// entry longer than the window widens it.
const int kReadWindow = 0x2000;

enum class EScan
{
    End,      // the text ended between two entries
    Refused,  // a syntax error, invalid UTF-8, or an entry the caller refused
    NeedMore, // the available bytes ran out while more of the text is still to come
};

// Whether a UTF-8 sequence could be decoded: `Cut` when the bytes end before it is complete.
enum class EDecode
{
    Done,
    Invalid,
    Cut,
};

// Decodes the UTF-8 sequence whose lead byte (0x80 or above) stands at `pos` and appends its one
// or two units at out[count]. Invalid: a continuation byte with no lead, a lead byte F5 to FF, a
// sequence cut short by another byte, an encoded surrogate, and code points beyond U+10FFFF. A
// file saved in a Western code page behind a correct signature line fails here on its first
// accented letter, so the built-in texts show instead of garbage. Overlong forms are taken as they
// come, as they always have been.
EDecode DecodeSequence(const unsigned char* text, int length, int& pos, wchar_t* out, int& count)
{
    const unsigned lead = text[pos];
    int following;
    unsigned value;
    if (lead < 0xC0)
        return EDecode::Invalid;
    if (lead < 0xE0)
    {
        following = 1;
        value = lead & 0x1F;
    }
    else if (lead < 0xF0)
    {
        following = 2;
        value = lead & 0x0F;
    }
    else if (lead < 0xF5)
    {
        following = 3;
        value = lead & 0x07;
    }
    else
        return EDecode::Invalid;
    for (int k = 1; k <= following; k++)
    {
        if (pos + k >= length)
            return EDecode::Cut;
        const unsigned next = text[pos + k];
        if ((next & 0xC0) != 0x80)
            return EDecode::Invalid;
        value = (value << 6) | (next & 0x3F);
    }
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return EDecode::Invalid;
    pos += following + 1;
    if (value < 0x10000)
    {
        out[count++] = static_cast<wchar_t>(value);
        return EDecode::Done;
    }
    value -= 0x10000;
    out[count++] = static_cast<wchar_t>(0xD800 + (value >> 10));
    out[count++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
    return EDecode::Done;
}

// The id a name spells. Names are hexadecimal digits, so a plain byte is a digit or a refusal;
// anything else is decoded first, as the rest of the file is.
bool ParseNameId(const unsigned char* name, int length, UINT& id)
{
    UINT value = 0;
    for (int pos = 0; pos < length;)
    {
        wchar_t units[2];
        int count = 0;
        if (name[pos] < 0x80)
            units[count++] = static_cast<wchar_t>(name[pos++]);
        else if (DecodeSequence(name, length, pos, units, count) != EDecode::Done)
            return false;
        for (int k = 0; k < count; k++)
        {
            const int digit = HexDigitValue(units[k]);
            if (digit < 0)
                return false;
            // More than eight digits: only the last eight count, as the 32-bit product wraps.
            value = value * 16 + static_cast<UINT>(digit);
        }
    }
    id = value;
    return true;
}

// Reads a value from after its opening quote up to its closing quote, resolving the escapes and
// decoding the UTF-8 on the way, into `out` (room for one unit per byte). Done with `count` set,
// Cut when the bytes end first.
EDecode ReadQuotedValue(const unsigned char* text, int length, int& pos, wchar_t* out, int& count)
{
    count = 0;
    for (;;)
    {
        // Plain ASCII goes over in runs; only quotes, backslashes and lead bytes need a look.
        while (pos < length)
        {
            const unsigned char c = text[pos];
            if (c >= 0x80 || c == '"' || c == '\\')
                break;
            out[count++] = static_cast<wchar_t>(c);
            pos++;
        }
        if (pos >= length)
            return EDecode::Cut;
        const unsigned char c = text[pos];
        if (c == '"')
        {
            pos++;
            return EDecode::Done;
        }
        if (c != '\\')
        {
            const EDecode decoded = DecodeSequence(text, length, pos, out, count);
            if (decoded != EDecode::Done)
                return decoded;
            continue;
        }
        if (pos + 1 >= length)
            return EDecode::Cut;
        wchar_t escaped;
        switch (text[pos + 1])
        {
        case '"':
            escaped = L'"';
            break;
        case '\\':
            escaped = L'\\';
            break;
        case 'n':
            escaped = L'\n';
            break;
        case 't':
            escaped = L'\t';
            break;
        default:
            // Translators write paths like C:\Temp: an unknown escape keeps its backslash, and the
            // byte after it is read as any other byte of the value.
            out[count++] = L'\\';
            pos++;
            continue;
        }
        out[count++] = escaped;
        pos += 2;
    }
}

// Where the scan of a text stands between two calls.
struct CScanState
{
    int Pos = 0;
    bool InComment = false; // the bytes ran out inside a comment
};

// Moves past blanks and comments; false when the bytes run out inside a comment.
bool SkipBlanksAndComments(const unsigned char* text, int length, int& pos)
{
    while (pos < length)
    {
        const unsigned char c = text[pos];
        if (IsLangBlank(c))
        {
            pos++;
            continue;
        }
        if (c != ';')
            return true;
        const void* lineFeed = std::memchr(text + pos, '\n', static_cast<size_t>(length - pos));
        if (lineFeed == nullptr)
        {
            pos = length;
            return false;
        }
        pos = static_cast<int>(static_cast<const unsigned char*>(lineFeed) - text);
    }
    return true;
}

// One entry from its first byte: name, "=", quoted value. Done with the name's place and the
// value's units in `values`; Cut when the bytes run out before its closing quote.
EDecode ScanEntry(const unsigned char* text, int length, int& pos, int& nameLength, wchar_t* values, int& valueLength)
{
    const int nameStart = pos;
    while (pos < length && !IsLangBlank(text[pos]) && text[pos] != '=')
        pos++;
    nameLength = pos - nameStart;
    if (nameLength == 0)
        return EDecode::Invalid;
    if (!SkipBlanksAndComments(text, length, pos) || pos >= length)
        return EDecode::Cut;
    if (text[pos] != '=')
        return EDecode::Invalid;
    pos++;
    if (!SkipBlanksAndComments(text, length, pos) || pos >= length)
        return EDecode::Cut;
    if (text[pos] != '"')
        return EDecode::Invalid;
    pos++;
    return ReadQuotedValue(text, length, pos, values, valueLength);
}

// Scans the entries of a body from `state`, calling `onEntry` (name bytes, name length, units of
// the value) for each, with the value already decoded into `values`, which has room for one unit
// per available byte. `final` tells that the available bytes are the rest of the text; otherwise
// NeedMore leaves `state` at the first byte still needed, the start of an entry that was cut.
template <typename TOnEntry>
EScan ScanEntries(const unsigned char* text, int length, bool final, CScanState& state, wchar_t* values,
                  TOnEntry& onEntry)
{
    // The body may end anywhere between entries, also inside a comment without a final line feed.
    const EScan endOfBytes = final ? EScan::End : EScan::NeedMore;
    int& pos = state.Pos;
    if (state.InComment)
    {
        const void* lineFeed = std::memchr(text + pos, '\n', static_cast<size_t>(length - pos));
        if (lineFeed == nullptr)
        {
            pos = length;
            return endOfBytes;
        }
        pos = static_cast<int>(static_cast<const unsigned char*>(lineFeed) - text);
        state.InComment = false;
    }
    for (;;)
    {
        if (!SkipBlanksAndComments(text, length, pos))
        {
            state.InComment = true;
            return endOfBytes;
        }
        if (pos >= length)
            return endOfBytes;
        const int entryStart = pos;
        int nameLength = 0;
        int valueLength = 0;
        const EDecode scanned = ScanEntry(text, length, pos, nameLength, values, valueLength);
        if (scanned == EDecode::Cut && !final)
        {
            pos = entryStart;
            return EScan::NeedMore;
        }
        if (scanned != EDecode::Done || !onEntry(text + entryStart, nameLength, valueLength))
            return EScan::Refused;
    }
}

// The text of a language file, read a window at a time. The first zero byte ends the text; a
// file without one ends with its data.
class CLangFileWindow
{
public:
    CLangFileWindow(CReadOnlyFile& file, DWORD size)
        : _file(file), _remaining(size), _capacity(size < kReadWindow ? static_cast<int>(size) + 1 : kReadWindow),
          _block(_capacity)
    {
    }
    CLangFileWindow(const CLangFileWindow&) = delete;
    CLangFileWindow& operator=(const CLangFileWindow&) = delete;

    // Moves the bytes from `keep` on to the front and reads what fits behind them, twice as much
    // room when they fill the window. False when the file cannot be read.
    bool Advance(int keep)
    {
        const int kept = _length - keep;
        if (kept == _capacity)
        {
            CBlock<unsigned char> wider(2 * _capacity);
            std::memcpy(wider.Get(), _block.Get() + keep, static_cast<size_t>(kept));
            _block.Swap(wider);
            _capacity *= 2;
        }
        else if (kept > 0)
            std::memmove(_block.Get(), _block.Get() + keep, static_cast<size_t>(kept));
        _length = kept;
        while (!_final && _length < _capacity)
        {
            const DWORD room = static_cast<DWORD>(_capacity - _length);
            DWORD read = 0;
            if (!_file.ReadChunk(_block.Get() + _length, room < _remaining ? room : _remaining, read))
                return false;
            if (read > _remaining)
                read = _remaining;
            const void* zero = std::memchr(_block.Get() + _length, 0, read);
            if (zero != nullptr)
            {
                _length = static_cast<int>(static_cast<const unsigned char*>(zero) - _block.Get());
                _final = true;
                break;
            }
            _length += static_cast<int>(read);
            _remaining -= read;
            _final = read == 0 || _remaining == 0;
        }
        return true;
    }

    const unsigned char* Text() const { return _block.Get(); }
    int Length() const { return _length; }
    int Capacity() const { return _capacity; }
    bool Final() const { return _final; }

private:
    CReadOnlyFile& _file;
    DWORD _remaining;
    int _capacity;
    int _length = 0;
    bool _final = false;
    CBlock<unsigned char> _block;
};

struct CIdRecord
{
    UINT Id;
    int Position;
};
// An entry holds its text through a pointer to the text's own block, and nothing points into an
// entry: its bytes can move to another place without a copy of the text.
void MoveEntry(CLangEntry& to, CLangEntry& from)
{
    std::memcpy(static_cast<void*>(&to), static_cast<const void*>(&from), sizeof(CLangEntry));
}

// Appends a fresh chunk of entries to `chunks`; its owner frees it.
void AddEntryChunk(CValueVector<CLangEntry*>& chunks)
{
    CBlock<CLangEntry> chunk(CLangEntries::kChunkEntries);
    chunks.Add(chunk.Get());
    chunk.Release();
}

// Chunks of entries, freed with their owner; the entries in them are the caller's business.
class CChunkList
{
public:
    CChunkList() = default;
    CChunkList(const CChunkList&) = delete;
    CChunkList& operator=(const CChunkList&) = delete;
    ~CChunkList()
    {
        for (int i = 0; i < Chunks.Count(); i++)
            FreeBlock(Chunks[i]);
    }
    void AddChunk() { AddEntryChunk(Chunks); }

    CValueVector<CLangEntry*> Chunks;
};
} // namespace

void CLangEntries::Add(UINT id, const wchar_t* text, int count)
{
    if (_count == _chunks.Count() * kChunkEntries)
        AddEntryChunk(_chunks);
    // The text's one block is made in place; if it cannot be had, no entry was made.
    new (&At(_count)) CLangEntry{id, CWideString(text, count)};
    _count++;
}

void CLangEntries::Clear()
{
    for (int i = 0; i < _count; i++)
        At(i).~CLangEntry();
    _count = 0;
}

void CLangEntries::ClearAndRelease()
{
    Clear();
    for (int i = 0; i < _chunks.Count(); i++)
        FreeBlock(_chunks[i]);
    _chunks.ClearAndRelease();
}

void CLangEntries::SortById()
{
    const int count = _count;
    // Translators' files come in id order: one look tells, and distinct ascending ids are what
    // any sort would leave. Equal ids need the sort, which decides whose text a lookup finds.
    int ascending = 1;
    while (ascending < count && At(ascending - 1).Id < At(ascending).Id)
        ascending++;
    if (ascending >= count)
        return;

    // The vectors' heap sort over compact (id, position) records: it compares the same ids and so
    // makes the same moves as over the entries themselves. The entries then move once, into that
    // order.
    CBlock<CIdRecord> records(count);
    CIdRecord* record = records.Get();
    for (int i = 0; i < count; i++)
        record[i] = {At(i).Id, i};
    auto compare = [](const CIdRecord& a, const CIdRecord& b) { return a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0); };
    HeapSortSlots(record, count, compare);
    // Every entry moves once, into new chunks in that order; the old chunks, empty then, go.
    CChunkList sorted;
    sorted.Chunks.Reserve(_chunks.Count());
    for (int i = 0; i < _chunks.Count(); i++)
        sorted.AddChunk();
    for (int i = 0; i < count; i++)
        MoveEntry(sorted.Chunks[i >> kChunkShift][i & (kChunkEntries - 1)], At(record[i].Position));
    for (int i = 0; i < _chunks.Count(); i++)
        std::swap(_chunks[i], sorted.Chunks[i]);
}

bool CLangTable::LoadFromFile(const CWideString& path)
{
    Clear();
    try
    {
        CReadOnlyFile file;
        if (!file.Open(path))
            return false;
        unsigned long long size = 0;
        if (!file.QuerySize(size) || size > kMaxLangFileSize)
            return false;
        CLangFileWindow window(file, static_cast<DWORD>(size));
        if (!window.Advance(0))
            return false;

        const unsigned char* text = window.Text();
        const int length = window.Length();
        int start = 0;
        if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0)
            start = 3;
        if (length - start < kLangSignatureLength ||
            std::memcmp(text + start, kLangSignature, kLangSignatureLength) != 0)
            return false;

        // Each value is decoded once, into this scratch text; the table takes an exact-size copy
        // of it, so every entry costs one block: its text.
        CWideString scratch;
        auto addEntry = [this, &scratch](const unsigned char* name, int nameLength, int valueLength)
        {
            UINT id = 0;
            if (!ParseNameId(name, nameLength, id))
                return false;
            Entries.Add(id, scratch.Ptr(), valueLength);
            return true;
        };
        // The rest of line 1 is skipped; the body begins at the line feed that ends it.
        bool inFirstLine = true;
        CScanState state;
        state.Pos = start + kLangSignatureLength;
        for (;;)
        {
            const unsigned char* bytes = window.Text();
            if (inFirstLine)
            {
                const void* lineFeed =
                    std::memchr(bytes + state.Pos, '\n', static_cast<size_t>(window.Length() - state.Pos));
                if (lineFeed != nullptr)
                {
                    state.Pos = static_cast<int>(static_cast<const unsigned char*>(lineFeed) - bytes);
                    inFirstLine = false;
                }
                else if (window.Final())
                    return false;
                else
                    state.Pos = window.Length();
            }
            EScan scanned = EScan::NeedMore;
            if (!inFirstLine)
            {
                wchar_t* values = scratch.BufferForWrite(window.Capacity());
                scanned = ScanEntries(bytes, window.Length(), window.Final(), state, values, addEntry);
            }
            if (scanned == EScan::End)
                break;
            if (scanned == EScan::Refused || !window.Advance(state.Pos))
            {
                // Keep nothing from a file that is not valid to its end: a half-loaded, unsorted
                // table would give wrong texts for ids it does hold.
                Clear();
                return false;
            }
            state.Pos = 0;
        }
        Entries.SortById();
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
