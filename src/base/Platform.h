#pragma once

#include <cstddef>

// Record sizes and field offsets that the system fixes differ between the 32-bit and the 64-bit
// module. Each is stated once, beside its static_assert, as ArchValue(32-bit value, 64-bit value).
constexpr size_t ArchValue(size_t on32Bit, size_t on64Bit)
{
    return sizeof(void*) == 4 ? on32Bit : on64Bit;
}
