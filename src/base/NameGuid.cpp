#include "base/NameGuid.h"

#include <cstring>

namespace
{
// SHA-1 over a message fed in pieces; big-endian words throughout.
class CSha1
{
public:
    void Add(const BYTE* data, size_t size)
    {
        for (size_t i = 0; i < size; i++)
        {
            _block[_used++] = data[i];
            _bitCount += 8;
            if (_used == sizeof(_block))
                Compress();
        }
    }
    void Add(BYTE value) { Add(&value, 1); }

    // The 20 bytes of the digest; the object is spent afterwards.
    void Finish(BYTE (&digest)[20])
    {
        const unsigned long long bitCount = _bitCount;
        Add(0x80);
        while (_used != 56)
            Add(0);
        for (int shift = 56; shift >= 0; shift -= 8)
            Add(static_cast<BYTE>(bitCount >> shift));
        for (int i = 0; i < 20; i++)
            digest[i] = static_cast<BYTE>(_state[i / 4] >> (24 - 8 * (i % 4)));
    }

private:
    static DWORD Rotate(DWORD value, int bits) { return (value << bits) | (value >> (32 - bits)); }

    void Compress()
    {
        DWORD w[80];
        for (int i = 0; i < 16; i++)
            w[i] = static_cast<DWORD>(_block[4 * i]) << 24 | static_cast<DWORD>(_block[4 * i + 1]) << 16 |
                   static_cast<DWORD>(_block[4 * i + 2]) << 8 | _block[4 * i + 3];
        for (int i = 16; i < 80; i++)
            w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        DWORD a = _state[0], b = _state[1], c = _state[2], d = _state[3], e = _state[4];
        for (int i = 0; i < 80; i++)
        {
            DWORD f, k;
            if (i < 20)
                f = (b & c) | (~b & d), k = 0x5A827999;
            else if (i < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (i < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6;
            const DWORD next = Rotate(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = Rotate(b, 30);
            b = a;
            a = next;
        }
        _state[0] += a;
        _state[1] += b;
        _state[2] += c;
        _state[3] += d;
        _state[4] += e;
        _used = 0;
    }

    DWORD _state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    BYTE _block[64] = {};
    size_t _used = 0;
    unsigned long long _bitCount = 0;
};

// Appends the UTF-8 form of one wide text; a surrogate without its partner counts as U+FFFD.
void AddUtf8(CSha1& hash, const wchar_t* text)
{
    for (; *text != 0; text++)
    {
        unsigned long code = static_cast<unsigned short>(*text);
        if (code >= 0xD800 && code < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000)
        {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned short>(text[1]) - 0xDC00);
            text++;
        }
        else if (code >= 0xD800 && code < 0xE000)
        {
            code = 0xFFFD;
        }
        if (code < 0x80)
        {
            hash.Add(static_cast<BYTE>(code));
            continue;
        }
        static const BYTE kLeadMarks[] = {0, 0xC0, 0xE0, 0xF0};
        const int trailing = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
        hash.Add(static_cast<BYTE>(kLeadMarks[trailing] | (code >> (6 * trailing))));
        for (int i = trailing - 1; i >= 0; i--)
            hash.Add(static_cast<BYTE>(0x80 | ((code >> (6 * i)) & 0x3F)));
    }
}
} // namespace

GUID MakeNameBasedGuid(const GUID& nameSpace, const wchar_t* name)
{
    // The namespace as the RFC writes identifiers: its three numbers most significant byte first.
    BYTE bytes[16];
    for (int i = 0; i < 4; i++)
        bytes[i] = static_cast<BYTE>(nameSpace.Data1 >> (24 - 8 * i));
    bytes[4] = static_cast<BYTE>(nameSpace.Data2 >> 8);
    bytes[5] = static_cast<BYTE>(nameSpace.Data2);
    bytes[6] = static_cast<BYTE>(nameSpace.Data3 >> 8);
    bytes[7] = static_cast<BYTE>(nameSpace.Data3);
    std::memcpy(bytes + 8, nameSpace.Data4, 8);

    CSha1 hash;
    hash.Add(bytes, sizeof(bytes));
    AddUtf8(hash, name);
    BYTE digest[20];
    hash.Finish(digest);
    digest[6] = static_cast<BYTE>((digest[6] & 0x0F) | 0x50); // version 5
    digest[8] = static_cast<BYTE>((digest[8] & 0x3F) | 0x80); // the RFC's variant

    GUID id;
    id.Data1 = static_cast<unsigned long>(digest[0]) << 24 | static_cast<unsigned long>(digest[1]) << 16 |
               static_cast<unsigned long>(digest[2]) << 8 | digest[3];
    id.Data2 = static_cast<unsigned short>(digest[4] << 8 | digest[5]);
    id.Data3 = static_cast<unsigned short>(digest[6] << 8 | digest[7]);
    std::memcpy(id.Data4, digest + 8, 8);
    return id;
}
