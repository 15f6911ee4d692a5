#pragma once

#include "base/Alloc.h"
#include "base/ComIds.h"

#include <windows.h>
#include <unknwn.h>
#include <oaidl.h>

// The options interface; the plug-in's class id is CLSID_OptionsPlugin (base/ComIds.h).
// {23170F69-40C1-278D-0000-000100020000}
extern const GUID IID_IPluginOptions;

// Property ids of GetPluginProperty.
const ULONG PluginPropName = 0;
const ULONG PluginPropClassId = 3;

// The file manager's options interface of a plug-in.
struct IPluginOptions : public IUnknown
{
    STDMETHOD(ShowOptions)(HWND parent, UINT32 ignored) = 0;
    STDMETHOD(ReservedOperation)(UINT32 value) = 0;
};

// The options object handed to the file manager. Used by one thread, the one that shows the
// sheet, so its count is plain; it is not among the module's live objects.
class COptionsPlugin final : public IPluginOptions, public CHeapObject
{
public:
    COptionsPlugin() = default;
    COptionsPlugin(const COptionsPlugin&) = delete;
    COptionsPlugin& operator=(const COptionsPlugin&) = delete;

    using CHeapObject::operator new;
    using CHeapObject::operator delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(ShowOptions)(HWND parent, UINT32 ignored) override;
    STDMETHOD(ReservedOperation)(UINT32 value) override;

    ULONG RefCount = 0;

private:
    ~COptionsPlugin() = default;
};

// Builds and runs the options sheet; throws CNewException while it is being prepared.
void RunOptionsSheet(HWND parent);

// The plug-in exports, undecorated through the module definition like the COM exports.
STDAPI GetPluginProperty(ULONG propertyId, VARIANT* value);
STDAPI CreateObject(const GUID* classId, const GUID* interfaceId, void** object);
