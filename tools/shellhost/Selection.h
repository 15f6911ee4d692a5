#pragma once

#include "ComRef.h"

#include <string>
#include <vector>

// What a path stands for in the shell's eyes, which decides the classes whose handlers apply.
enum class CItemKind
{
    File,
    Folder,
    DriveRoot,
    Missing,
};

CItemKind ClassifyPath(const std::wstring& path);

// The HKCR class names Explorer consults for an item of this kind, in the order it consults them.
std::vector<std::wstring> ClassNamesFor(CItemKind kind);

// The full path (GetFullPathNameW) of `path`; a drive root keeps its one backslash.
std::wstring FullPath(const std::wstring& path);

// The folder that holds `path` without a trailing backslash ("C:\Work" for C:\Work\a.zip); empty for
// a drive root, whose parent is the computer itself.
std::wstring ParentFolder(const std::wstring& fullPath);

// The selection as Explorer has it: the items' ids below their common parent folder and the data
// object that folder makes for them (IShellFolder::GetUIObjectOf with IID_IDataObject).
class CShellSelection
{
public:
    // On failure returns false with the reason in `error`.
    bool Create(const std::vector<std::wstring>& fullPaths, std::wstring& error);
    IDataObject* DataObject() const { return _dataObject.Get(); }
    // The items' absolute id lists, in the order given.
    std::vector<PCIDLIST_ABSOLUTE> IdLists() const;

private:
    std::vector<CIdList> _items;
    CComRef<IDataObject> _dataObject;
};

// The absolute item id list of a folder or drive (SHParseDisplayName), for a drag target.
bool ParseFolderIdList(const std::wstring& fullPath, CIdList& list, std::wstring& error);
