#pragma once

#include <windows.h>

// Writes under the machine-wide roots as Windows answers them for a standard user, or an
// administrator without elevation: refused with ERROR_ACCESS_DENIED. Wine grants every right, so the
// tests' variant of the module's code (VANTOR_TEST_HOOKS) can refuse them on request; the shipped
// module refuses nothing here and leaves every answer to the system.
//
// ERROR_SUCCESS when a key under `parent` may be opened or created with `access` (a key's deletion
// asks for DELETE); otherwise the error the registry call reports instead. Only keys reached by a
// path from HKEY_CLASSES_ROOT or HKEY_LOCAL_MACHINE are refused: every key of ours there is.
LONG RegistryWriteRefusal(HKEY parent, REGSAM access);

// Test hook; exists only in the tests' variant.
namespace RegistryHooks
{
// From now on, opening, creating or deleting a key for writing under a machine-wide root fails.
void RefuseMachineWrites(bool refuse);
} // namespace RegistryHooks
