#include "ShellTestSupport.h"

CHostedHandler::CHostedHandler() : _apartment(CoInitialize(nullptr)), _menu(CreatePopupMenu())
{
    CComRef<IClassFactory> factory;
    void* object = nullptr;
    if (DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, factory.PutVoid()) == S_OK &&
        factory->CreateInstance(nullptr, IID_IContextMenu, &object) == S_OK)
        _handler = static_cast<CShellMenuHandler*>(static_cast<IContextMenu*>(object));
    else
        ADD_FAILURE() << "the class factory made no handler";
}

CHostedHandler::~CHostedHandler()
{
    if (_handler != nullptr)
        static_cast<IContextMenu*>(_handler)->Release();
    DestroyMenu(_menu);
    if (SUCCEEDED(_apartment))
        CoUninitialize();
}

std::vector<std::wstring> CHostedHandler::SelectedNames() const
{
    std::vector<std::wstring> names;
    for (int i = 0; i < _handler->SelectedNames.Count(); i++)
        names.push_back(_handler->SelectedNames[i].Ptr());
    return names;
}

HRESULT CHostedHandler::Select(const std::vector<std::wstring>& names)
{
    std::vector<const wchar_t*> pointers;
    for (const std::wstring& name : names)
        pointers.push_back(name.c_str());
    return _handler->InitContextMenu(0, pointers.data(), static_cast<UINT>(pointers.size()));
}

HRESULT CHostedHandler::BuildMenu(UINT firstId, UINT lastId, UINT flags)
{
    while (GetMenuItemCount(_menu) > 0)
        DeleteMenu(_menu, 0, MF_BYPOSITION);
    return _handler->QueryContextMenu(_menu, 0, firstId, lastId, flags);
}

HRESULT CHostedHandler::Invoke(LPCSTR verb, LPCWSTR wideVerb, DWORD size, DWORD mask)
{
    CMINVOKECOMMANDINFOEX info = {};
    info.cbSize = size != 0 ? size : wideVerb != nullptr ? sizeof(info) : sizeof(CMINVOKECOMMANDINFO);
    info.fMask = mask != ~0u ? mask : wideVerb != nullptr ? CMIC_MASK_UNICODE : 0;
    info.lpVerb = verb;
    info.lpVerbW = wideVerb;
    info.nShow = SW_SHOWNORMAL;
    return _handler->InvokeCommand(reinterpret_cast<LPCMINVOKECOMMANDINFO>(&info));
}
