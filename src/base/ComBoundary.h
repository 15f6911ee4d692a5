#pragma once

#include <windows.h>

// For use inside `catch (...)` at a COM method or an export: the HRESULT that stands for what
// the foundation threw. Exhausted memory (CNewException, or a vector that cannot grow) gives
// E_OUTOFMEMORY; the foundation's other integer codes, and anything else, give E_FAIL.
// No exception may cross into the host, whose frames know nothing of ours.
HRESULT HResultFromCaughtException() noexcept;
