#include "menu/SelectionIntake.h"

#include "base/ComReference.h"
#include "base/ShellObjects.h"

namespace
{
// Owner of a text the shell allocated for its caller (CoTaskMemAlloc).
class CTaskMemoryText
{
public:
    CTaskMemoryText() = default;
    CTaskMemoryText(const CTaskMemoryText&) = delete;
    CTaskMemoryText& operator=(const CTaskMemoryText&) = delete;
    ~CTaskMemoryText() { CoTaskMemFree(_text); }

    LPWSTR* Put()
    {
        CoTaskMemFree(_text);
        _text = nullptr;
        return &_text;
    }
    const wchar_t* Get() const { return _text; }

private:
    LPWSTR _text = nullptr;
};

HRESULT ReadItemPaths(IShellItemArray* items, COwningVector<CWideString>& names)
{
    DWORD count = 0;
    HRESULT result = items->GetCount(&count);
    if (FAILED(result))
        return result;
    // The count is the array's word only: nothing is reserved for it in advance.
    for (DWORD i = 0; i < count; i++)
    {
        CComReference<IShellItem> item;
        result = items->GetItemAt(i, item.Put());
        if (FAILED(result))
            return result;
        if (item.Get() == nullptr)
            return E_POINTER;
        // An item without a file-system path (a virtual item) has nothing the archiver could take.
        CTaskMemoryText path;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Put())) || path.Get() == nullptr || path.Get()[0] == 0)
            continue;
        names.Add(CWideString(path.Get()));
    }
    return S_OK;
}
} // namespace

HRESULT ReadSelection(IDataObject* dataObject, COwningVector<CWideString>& names)
{
    names.Clear();
    if (dataObject == nullptr)
        return E_FAIL;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    CStgMediumHolder medium;
    const HRESULT result = medium.GetData(dataObject, format);
    if (result != S_OK)
        return result;
    // A data object that answers with another kind of medium has no drop list we could read.
    if (medium.Medium().tymed != TYMED_HGLOBAL)
        return DV_E_TYMED;
    CGlobalMemoryLock lock(medium.Medium().hGlobal);
    if (lock.Pointer() == nullptr)
        return E_FAIL;
    // The drop list belongs to the data object: DragFinish must never run on it.
    CDropHandle drop(false);
    drop.Attach(static_cast<HDROP>(lock.Pointer()));
    drop.FileNames(names);
    return S_OK;
}

HRESULT ReadShellItemSelection(IShellItemArray* items, COwningVector<CWideString>& names)
{
    names.Clear();
    if (items == nullptr)
        return E_INVALIDARG;
    HRESULT result;
    try
    {
        result = ReadItemPaths(items, names);
    }
    catch (...)
    {
        names.Clear();
        throw;
    }
    // Part of a selection is not what the user chose.
    if (FAILED(result))
        names.Clear();
    return result;
}
