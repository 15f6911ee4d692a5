#include "settings/RegistryRefusal.h"

#ifndef VANTOR_TEST_HOOKS

LONG RegistryWriteRefusal(HKEY /*parent*/, REGSAM /*access*/)
{
    return ERROR_SUCCESS;
}

#else

namespace
{
volatile LONG s_RefuseMachineWrites = 0;

// Every right that changes a key; READ_CONTROL, part of KEY_READ and KEY_WRITE alike, is none.
const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
} // namespace

LONG RegistryWriteRefusal(HKEY parent, REGSAM access)
{
    const bool machineRoot = parent == HKEY_CLASSES_ROOT || parent == HKEY_LOCAL_MACHINE;
    return s_RefuseMachineWrites != 0 && machineRoot && (access & kWriteRights) != 0 ? ERROR_ACCESS_DENIED
                                                                                     : ERROR_SUCCESS;
}

namespace RegistryHooks
{
void RefuseMachineWrites(bool refuse)
{
    InterlockedExchange(&s_RefuseMachineWrites, refuse ? 1 : 0);
}
} // namespace RegistryHooks

#endif
