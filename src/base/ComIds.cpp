#include "base/ComIds.h"

#include <cstring>

bool SameId(const GUID& left, const GUID& right)
{
    static_assert(sizeof(GUID) == 16, "identifiers are 16 bytes");
    return std::memcmp(&left, &right, sizeof(GUID)) == 0;
}
