#include "settings/ShellIntegration.h"

#include "base/ComIds.h"
#include "settings/RegistryKey.h"

CCriticalSection g_ShellIntegrationLock;

namespace
{
const char kContextMenuHandlerSuffix[] = "\\shellex\\ContextMenuHandlers\\VANTOR";
const char kDragDropHandlerSuffix[] = "\\shellex\\DragDropHandlers\\VANTOR";

const char kAllFilesClass[] = "*";
const char kFolderClass[] = "Folder";
const char kDirectoryClass[] = "Directory";
const char kDriveClass[] = "Drive";

enum EHandlerKind
{
    ContextMenuHandler,
    DragDropHandler,
};

struct CHandlerKey
{
    const char* ClassName;
    EHandlerKind Kind;
};

// The keys we register and check: context menus of files and folders, right-button drags onto
// folders and drives. The check stops at the first missing key, in this order.
const CHandlerKey kCheckedKeys[] = {
    {kDirectoryClass, ContextMenuHandler},
    {kAllFilesClass, ContextMenuHandler},
    {kDirectoryClass, DragDropHandler},
    {kDriveClass, DragDropHandler},
};

const CHandlerKey kRegisteredKeys[] = {
    {kAllFilesClass, ContextMenuHandler},
    {kDirectoryClass, ContextMenuHandler},
    {kDirectoryClass, DragDropHandler},
    {kDriveClass, DragDropHandler},
};

// Removal covers every class and both kinds, also keys we never write, so no handler key of ours
// is left behind whatever wrote it.
const CHandlerKey kRemovedKeys[] = {
    {kAllFilesClass, ContextMenuHandler}, {kFolderClass, ContextMenuHandler}, {kDirectoryClass, ContextMenuHandler},
    {kDriveClass, ContextMenuHandler},    {kAllFilesClass, DragDropHandler},  {kFolderClass, DragDropHandler},
    {kDirectoryClass, DragDropHandler},   {kDriveClass, DragDropHandler},
};

CNarrowString MakeHandlerKey(const CHandlerKey& handler)
{
    const CNarrowString className(handler.ClassName);
    return handler.Kind == ContextMenuHandler ? MakeContextMenuHandlerKey(className)
                                              : MakeDragDropHandlerKey(className);
}

// HKEY_CLASSES_ROOT held for a recursive delete; a predefined root is given back, never closed.
class CClassesRootKey
{
public:
    CClassesRootKey() { _key.Attach(HKEY_CLASSES_ROOT); }
    ~CClassesRootKey() { _key.Detach(); }
    CClassesRootKey(const CClassesRootKey&) = delete;
    CClassesRootKey& operator=(const CClassesRootKey&) = delete;

    CRegistryKey& Key() { return _key; }

private:
    CRegistryKey _key;
};

void DeleteHandlerKey(const CNarrowString& keyPath)
{
    CClassesRootKey root;
    root.Key().RecursiveDeleteSubKey(keyPath);
}

bool HandlerKeyExists(const CNarrowString& keyPath)
{
    CRegistryKey key;
    return key.Open(HKEY_CLASSES_ROOT, keyPath, KEY_READ) == ERROR_SUCCESS;
}
} // namespace

CNarrowString MakeContextMenuHandlerKey(const CNarrowString& className)
{
    return className + kContextMenuHandlerSuffix;
}

CNarrowString MakeDragDropHandlerKey(const CNarrowString& className)
{
    return className + kDragDropHandlerSuffix;
}

bool IsHandlerKeyRegistered(const CNarrowString& keyPath)
{
    CCriticalSectionLock lock(g_ShellIntegrationLock);
    CRegistryKey key;
    if (key.Open(HKEY_CLASSES_ROOT, keyPath, KEY_READ) != ERROR_SUCCESS)
        return false;
    CNarrowString value;
    if (key.QueryValue(static_cast<const char*>(nullptr), value) != ERROR_SUCCESS)
        return false;
    // Class ids compare without regard to case: a key written in lower case still names our handler.
    CharUpperA(value.BufferForWrite(value.Length()));
    return value == kShellMenuHandlerClassIdText.Text;
}

bool IsShellIntegrated()
{
    for (const CHandlerKey& handler : kCheckedKeys)
        if (!IsHandlerKeyRegistered(MakeHandlerKey(handler)))
            return false;
    return true;
}

bool RegisterShellIntegration()
{
    bool written = true;
    for (const CHandlerKey& handler : kRegisteredKeys)
    {
        const CNarrowString keyPath = MakeHandlerKey(handler);
        // A stale key may carry extra values or sub-keys; the new one holds only the class id.
        DeleteHandlerKey(keyPath);
        CCriticalSectionLock lock(g_ShellIntegrationLock);
        CRegistryKey key;
        written &= key.Create(HKEY_CLASSES_ROOT, keyPath) == ERROR_SUCCESS &&
                   key.SetValue(static_cast<const char*>(nullptr), kShellMenuHandlerClassIdText.Text) == ERROR_SUCCESS;
    }
    return written;
}

bool UnregisterShellIntegration()
{
    for (const CHandlerKey& handler : kRemovedKeys)
        DeleteHandlerKey(MakeHandlerKey(handler));
    // A key missing from the start is no failure, one that could not be deleted is.
    for (const CHandlerKey& handler : kRemovedKeys)
        if (HandlerKeyExists(MakeHandlerKey(handler)))
            return false;
    return true;
}
