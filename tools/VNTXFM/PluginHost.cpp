// The options plug-in hosted the way the file manager does it: the module is loaded from the
// program's own folder, asked for its name and class id, and its options object shows the sheet.
// The host knows the module only through its two exports and the options interface, as the
// file manager does; it records what it got so that tests and the demo can follow the hand-off.

#include "PluginHost.h"
#include "RecordLog.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <string>

// The options interface as the file manager declares it. Not in the anonymous namespace: the
// compiler would conclude that an interface nobody here implements cannot be called.
struct IPluginOptions : public IUnknown
{
    STDMETHOD(ShowOptions)(HWND parent, UINT32 ignored) = 0;
    STDMETHOD(ReservedOperation)(UINT32 value) = 0;
};

namespace
{
const wchar_t kLogVariable[] = L"VANTOR_FILEMANAGER_LOG";
const wchar_t kDefaultLog[] = L"VNTXFM-received.txt";
const wchar_t kModuleName[] = L"Vantor.dll";

// {23170F69-40C1-278D-0000-000100020000}, the file manager's options interface of a plug-in.
const GUID kPluginOptionsInterface = {0x23170F69, 0x40C1, 0x278D, {0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};

typedef HRESULT(WINAPI* CGetPluginProperty)(ULONG propertyId, VARIANT* value);
typedef HRESULT(WINAPI* CCreateObject)(const GUID* classId, const GUID* interfaceId, void** object);

const ULONG kPropertyName = 0;
const ULONG kPropertyClassId = 3;

// Exit codes of the host.
enum EHostResult
{
    HostShown = 0,
    HostNoModule = 2,
    HostNoExports = 3,
    HostNoClassId = 4,
    HostNoObject = 5,
    HostSheetFailed = 6,
};

class CLibrary
{
public:
    explicit CLibrary(const std::wstring& path) : _module(LoadLibraryW(path.c_str())) {}
    ~CLibrary()
    {
        if (_module != nullptr)
            FreeLibrary(_module);
    }
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;
    HMODULE Get() const { return _module; }

private:
    HMODULE _module;
};

class CVariant
{
public:
    CVariant() { VariantInit(&Value); }
    ~CVariant() { VariantClear(&Value); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    VARIANT Value;
};

class CComScope
{
public:
    CComScope() : _result(CoInitialize(nullptr)) {}
    ~CComScope()
    {
        if (SUCCEEDED(_result))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT _result;
};

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}

std::wstring Hex(unsigned long value)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08lX", value);
    return text;
}

std::wstring GuidText(const GUID& id)
{
    wchar_t text[64] = {};
    StringFromGUID2(id, text, 64);
    return text;
}

int Finish(std::wstring& record, int result)
{
    record += L"ExitCode=" + std::to_wstring(result) + L"\r\n";
    AppendRecord(kLogVariable, kDefaultLog, record);
    return result;
}
} // namespace

int RunPluginHost(HWND parent)
{
    std::wstring record = L"[VNTXFM /options]\r\n";
    CComScope com;
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    CLibrary module(ProgramFolder() + kModuleName);
    if (module.Get() == nullptr)
        return Finish(record, HostNoModule);
    const CGetPluginProperty getProperty = reinterpret_cast<CGetPluginProperty>(
        reinterpret_cast<void*>(GetProcAddress(module.Get(), "GetPluginProperty")));
    const CCreateObject createObject =
        reinterpret_cast<CCreateObject>(reinterpret_cast<void*>(GetProcAddress(module.Get(), "CreateObject")));
    if (getProperty == nullptr || createObject == nullptr)
        return Finish(record, HostNoExports);

    CVariant name;
    getProperty(kPropertyName, &name.Value);
    if (name.Value.vt == VT_BSTR)
        record += L"PluginName=" + std::wstring(name.Value.bstrVal) + L"\r\n";

    // The class id comes as 16 bytes in a byte string, not as text.
    CVariant classIdBytes;
    getProperty(kPropertyClassId, &classIdBytes.Value);
    if (classIdBytes.Value.vt != VT_BSTR || SysStringByteLen(classIdBytes.Value.bstrVal) != sizeof(GUID))
        return Finish(record, HostNoClassId);
    GUID classId;
    memcpy(&classId, classIdBytes.Value.bstrVal, sizeof(GUID));
    record += L"ClassId=" + GuidText(classId) + L"\r\n";

    IPluginOptions* options = nullptr;
    const HRESULT created = createObject(&classId, &kPluginOptionsInterface, reinterpret_cast<void**>(&options));
    record += L"CreateObject=" + Hex(static_cast<unsigned long>(created)) + L"\r\n";
    if (FAILED(created) || options == nullptr)
        return Finish(record, HostNoObject);

    const HRESULT shown = options->ShowOptions(parent, 0);
    options->Release();
    record += L"ShowOptions=" + Hex(static_cast<unsigned long>(shown)) + L"\r\n";
    return Finish(record, SUCCEEDED(shown) ? HostShown : HostSheetFailed);
}
