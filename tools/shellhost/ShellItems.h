#pragma once

#include "ComRef.h"

#include <shobjidl.h>

#include <string>
#include <vector>

// Shell items as Windows 11's Explorer hands them to an Explorer command: an IShellItemArray made
// from the items' absolute id lists.

// Vista's shell32 has it; the headers declare it only for _WIN32_IE 0x0700 and later, above the
// version the project compiles for.
#if _WIN32_IE < 0x0700
extern "C" HRESULT WINAPI SHCreateShellItemArrayFromIDLists(UINT count, PCIDLIST_ABSOLUTE_ARRAY lists,
                                                            IShellItemArray** items);
#endif

// The item array of the given id lists, in their order.
HRESULT MakeShellItemArray(const std::vector<PCIDLIST_ABSOLUTE>& lists, CComRef<IShellItemArray>& items);

// The name-based identifier (RFC 4122, version 5) of `name` in the namespace `space`: the SHA-1 digest
// of the namespace in network byte order and the name in UTF-8, as the system's cryptography makes it.
bool NameBasedGuid(const GUID& space, const std::wstring& name, GUID& id);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::wstring GuidText(const GUID& id);
