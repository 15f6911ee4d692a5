#include "options/OptionsPlugin.h"

#include "base/ComBoundary.h"
#include "base/ComIds.h"
#include "lang/Language.h"
#include "options/FoldersPage.h"
#include "options/SystemPage.h"
#include "resources/ResourceIds.h"

#include <oleauto.h>

// Shares its first three groups with the plug-in's class and the handler's own host interface.
const GUID IID_IPluginOptions = {0x23170F69, 0x40C1, 0x278D, {0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};

namespace
{
const UINT kSheetCaptionLangId = 0x01000000;
// The name is the product's, the same in every language.
const wchar_t kPluginName[] = L"Vantor";
} // namespace

STDMETHODIMP COptionsPlugin::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    // The options interface is handed out by CreateObject only.
    if (!SameId(iid, IID_IUnknown))
        return E_NOINTERFACE;
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COptionsPlugin::AddRef()
{
    return ++RefCount;
}

STDMETHODIMP_(ULONG) COptionsPlugin::Release()
{
    const ULONG count = --RefCount;
    if (count == 0)
        delete this;
    return count;
}

void RunOptionsSheet(HWND parent)
{
    // Fresh pages for every showing: nothing carries over but what they saved.
    CSystemPage systemPage;
    CFoldersPage foldersPage;

    COwningVector<CSheetPageInfo> pages;
    pages.Reserve(2);
    CSheetPageInfo page;
    page.Page = &systemPage;
    page.Title = LangText(kSystemPageTitleLangId);
    page.DialogId = IDD_SYSTEM_PAGE;
    pages.Add(page);
    page.Page = &foldersPage;
    page.Title = LangText(kFoldersPageTitleLangId);
    page.DialogId = IDD_FOLDERS_PAGE;
    pages.Add(page);

    // What the sheet reports is of no interest: the pages have saved what the user applied.
    ShowPropertySheet(pages, parent, LangTextOr(IDS_OPTIONS_CAPTION, kSheetCaptionLangId));
}

STDMETHODIMP COptionsPlugin::ShowOptions(HWND parent, UINT32 /*ignored*/)
{
    try
    {
        RunOptionsSheet(parent);
        return S_OK;
    }
    catch (...)
    {
        // Memory ran out while the pages or the sheet were being prepared; nothing was shown.
        return HResultFromCaughtException();
    }
}

STDMETHODIMP COptionsPlugin::ReservedOperation(UINT32 /*value*/)
{
    return E_NOTIMPL;
}

STDAPI GetPluginProperty(ULONG propertyId, VARIANT* value)
{
    if (value == nullptr)
        return E_POINTER;
    VariantClear(value);
    BSTR text = nullptr;
    switch (propertyId)
    {
    case PluginPropName:
        text = SysAllocString(kPluginName);
        break;
    case PluginPropClassId:
        // The identifier's 16 bytes as they lie in memory: a byte string, not text.
        text = SysAllocStringByteLen(reinterpret_cast<const char*>(&CLSID_OptionsPlugin), sizeof(GUID));
        break;
    default:
        return S_OK;
    }
    // A failed allocation leaves VT_EMPTY, which the host reads as "no such property".
    value->bstrVal = text;
    if (text != nullptr)
        value->vt = VT_BSTR;
    return S_OK;
}

STDAPI CreateObject(const GUID* classId, const GUID* interfaceId, void** object)
{
    try
    {
        // First of all, so that even a refused call leaves the language loaded.
        LoadLanguageOnce();
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        // A missing identifier is a missing argument, as for the other exports.
        if (classId == nullptr || interfaceId == nullptr)
            return E_POINTER;
        if (!SameId(*classId, CLSID_OptionsPlugin))
            return CLASS_E_CLASSNOTAVAILABLE;
        if (!SameId(*interfaceId, IID_IPluginOptions))
            return E_NOINTERFACE;
        COptionsPlugin* plugin = new COptionsPlugin;
        plugin->AddRef();
        *object = static_cast<IPluginOptions*>(plugin);
        return S_OK;
    }
    catch (...)
    {
        if (object != nullptr)
            *object = nullptr;
        return HResultFromCaughtException();
    }
}
