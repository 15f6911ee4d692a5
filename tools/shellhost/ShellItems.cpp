#include "ShellItems.h"

#include <wincrypt.h>

namespace
{
class CCryptProvider
{
public:
    CCryptProvider() = default;
    CCryptProvider(const CCryptProvider&) = delete;
    CCryptProvider& operator=(const CCryptProvider&) = delete;
    ~CCryptProvider()
    {
        if (Handle != 0)
            CryptReleaseContext(Handle, 0);
    }
    HCRYPTPROV Handle = 0;
};

class CCryptHash
{
public:
    CCryptHash() = default;
    CCryptHash(const CCryptHash&) = delete;
    CCryptHash& operator=(const CCryptHash&) = delete;
    ~CCryptHash()
    {
        if (Handle != 0)
            CryptDestroyHash(Handle);
    }
    HCRYPTHASH Handle = 0;
};
} // namespace

HRESULT MakeShellItemArray(const std::vector<PCIDLIST_ABSOLUTE>& lists, CComRef<IShellItemArray>& items)
{
    items.Reset();
    std::vector<PCIDLIST_ABSOLUTE> copy(lists);
    return SHCreateShellItemArrayFromIDLists(static_cast<UINT>(copy.size()), copy.data(), items.Put());
}

bool NameBasedGuid(const GUID& space, const std::wstring& name, GUID& id)
{
    BYTE bytes[16] = {static_cast<BYTE>(space.Data1 >> 24), static_cast<BYTE>(space.Data1 >> 16),
                      static_cast<BYTE>(space.Data1 >> 8),  static_cast<BYTE>(space.Data1),
                      static_cast<BYTE>(space.Data2 >> 8),  static_cast<BYTE>(space.Data2),
                      static_cast<BYTE>(space.Data3 >> 8),  static_cast<BYTE>(space.Data3)};
    memcpy(bytes + 8, space.Data4, 8);
    std::string utf8(name.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                                        &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr)));

    CCryptProvider provider;
    CCryptHash hash;
    BYTE digest[20] = {};
    DWORD size = sizeof(digest);
    if (!CryptAcquireContextW(&provider.Handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
        !CryptCreateHash(provider.Handle, CALG_SHA1, 0, 0, &hash.Handle) ||
        !CryptHashData(hash.Handle, bytes, sizeof(bytes), 0) ||
        !CryptHashData(hash.Handle, reinterpret_cast<const BYTE*>(utf8.data()), static_cast<DWORD>(utf8.size()), 0) ||
        !CryptGetHashParam(hash.Handle, HP_HASHVAL, digest, &size, 0) || size != sizeof(digest))
        return false;
    digest[6] = static_cast<BYTE>((digest[6] & 0x0F) | 0x50);
    digest[8] = static_cast<BYTE>((digest[8] & 0x3F) | 0x80);
    id.Data1 = static_cast<unsigned long>(digest[0]) << 24 | static_cast<unsigned long>(digest[1]) << 16 |
               static_cast<unsigned long>(digest[2]) << 8 | digest[3];
    id.Data2 = static_cast<unsigned short>(digest[4] << 8 | digest[5]);
    id.Data3 = static_cast<unsigned short>(digest[6] << 8 | digest[7]);
    memcpy(id.Data4, digest + 8, 8);
    return true;
}

std::wstring GuidText(const GUID& id)
{
    wchar_t buffer[64] = {};
    StringFromGUID2(id, buffer, ARRAYSIZE(buffer));
    return buffer;
}
