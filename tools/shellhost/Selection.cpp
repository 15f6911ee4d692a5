#include "Selection.h"
#include "Output.h"

namespace
{
bool IsDriveRoot(const std::wstring& path)
{
    return path.size() == 3 && path[1] == L':' && path[2] == L'\\';
}
} // namespace

std::wstring FullPath(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 4];
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), ARRAYSIZE(buffer), buffer, &filePart);
    if (length == 0 || length >= ARRAYSIZE(buffer))
        return path;
    std::wstring result(buffer, length);
    // Explorer names a folder without a trailing backslash; only a root keeps its one.
    while (result.size() > 3 && result.back() == L'\\')
        result.pop_back();
    return result;
}

CItemKind ClassifyPath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return CItemKind::Missing;
    if (IsDriveRoot(path))
        return CItemKind::DriveRoot;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? CItemKind::Folder : CItemKind::File;
}

std::vector<std::wstring> ClassNamesFor(CItemKind kind)
{
    switch (kind)
    {
    case CItemKind::File:
        return {L"*"};
    case CItemKind::Folder:
        return {L"Directory", L"Folder"};
    case CItemKind::DriveRoot:
        return {L"Drive", L"Folder"};
    case CItemKind::Missing:
        break;
    }
    return {};
}

std::wstring ParentFolder(const std::wstring& fullPath)
{
    if (IsDriveRoot(fullPath))
        return std::wstring();
    const size_t slash = fullPath.find_last_of(L'\\');
    if (slash == std::wstring::npos)
        return std::wstring();
    // The parent of C:\a.zip is the root C:\ with its backslash.
    return fullPath.substr(0, slash == 2 ? 3 : slash);
}

bool CShellSelection::Create(const std::vector<std::wstring>& fullPaths, std::wstring& error)
{
    _items.clear();
    _dataObject.Reset();
    if (fullPaths.empty())
    {
        error = L"nothing selected";
        return false;
    }

    const std::wstring parent = ParentFolder(fullPaths[0]);
    for (const std::wstring& path : fullPaths)
    {
        if (_wcsicmp(ParentFolder(path).c_str(), parent.c_str()) != 0)
        {
            error = L"the selected items lie in different folders: " + fullPaths[0] + L" and " + path;
            return false;
        }
        CIdList list;
        const HRESULT parsed = SHParseDisplayName(path.c_str(), nullptr, list.Put(), 0, nullptr);
        if (FAILED(parsed))
        {
            error = L"the shell does not know " + path + L": SHParseDisplayName gave " + DescribeResult(parsed);
            return false;
        }
        _items.push_back(std::move(list));
    }

    // The data object comes from the folder that shows the items, as in an Explorer window.
    CComRef<IShellFolder> folder;
    PCUITEMID_CHILD first = nullptr;
    HRESULT result = SHBindToParent(_items[0].Get(), IID_IShellFolder, folder.PutVoid(), &first);
    if (FAILED(result))
    {
        error = L"SHBindToParent failed for " + fullPaths[0] + L": " + DescribeResult(result);
        return false;
    }
    std::vector<PCUITEMID_CHILD> children;
    for (const CIdList& item : _items)
        children.push_back(ILFindLastID(item.Get()));

    result = folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(), IID_IDataObject,
                                   nullptr, _dataObject.PutVoid());
    if (FAILED(result) || !_dataObject)
    {
        error = L"the folder made no data object for the selection: " + DescribeResult(result);
        return false;
    }
    return true;
}

std::vector<PCIDLIST_ABSOLUTE> CShellSelection::IdLists() const
{
    std::vector<PCIDLIST_ABSOLUTE> lists;
    for (const CIdList& item : _items)
        lists.push_back(item.Get());
    return lists;
}

bool ParseFolderIdList(const std::wstring& fullPath, CIdList& list, std::wstring& error)
{
    const HRESULT parsed = SHParseDisplayName(fullPath.c_str(), nullptr, list.Put(), 0, nullptr);
    if (FAILED(parsed))
    {
        error = L"the shell does not know the drop target " + fullPath + L": " + DescribeResult(parsed);
        return false;
    }
    return true;
}
