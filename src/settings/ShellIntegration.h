#pragma once

#include "base/Sync.h"
#include "base/WideString.h"

// Guards the check and the create-and-write of the shell's handler keys.
extern CCriticalSection g_ShellIntegrationLock;

// class name + "\shellex\ContextMenuHandlers\VANTOR" / "\shellex\DragDropHandlers\VANTOR".
CNarrowString MakeContextMenuHandlerKey(const CNarrowString& className);
CNarrowString MakeDragDropHandlerKey(const CNarrowString& className);
// True when the key's default value, upper-cased, is the handler's class id.
bool IsHandlerKeyRegistered(const CNarrowString& keyPath);
bool IsShellIntegrated();
// True when every key was written (without the rights to write under HKEY_CLASSES_ROOT none is).
bool RegisterShellIntegration();
// True when no handler key of ours is left, whatever each deletion reported.
bool UnregisterShellIntegration();
