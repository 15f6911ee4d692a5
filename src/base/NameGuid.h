#pragma once

#include <windows.h>

// A name-based identifier (version 5 of RFC 4122): the SHA-1 digest of the namespace identifier,
// in network byte order, followed by the name in UTF-8, with the version and variant bits set.
// The same namespace and name always give the same identifier, on every machine and in every
// language; another name gives another one. `name` is a zero-terminated wide text.
GUID MakeNameBasedGuid(const GUID& nameSpace, const wchar_t* name);
