// The file manager's plug-in exports and the options object they hand out.
#include "OptionsTestSupport.h"

#include "server/Module.h"

#include <oleauto.h>

namespace
{
using PluginExports = COptionsTest;

const BYTE kPluginClassBytes[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8D, 0x27,
                                    0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00};
const BYTE kPluginInterfaceBytes[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8D, 0x27,
                                        0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00};
const HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111);
} // namespace

TEST_F(PluginExports, PropertiesReplaceTheHeldValue)
{
    struct Case
    {
        ULONG Id;
        VARTYPE Type;
        const void* Bytes;
        UINT Size;
    } const cases[] = {
        {0, VT_BSTR, L"Vantor", 12},
        // The class id travels as a BSTR of its 16 memory bytes.
        {3, VT_BSTR, kPluginClassBytes, 16},
        {1, VT_EMPTY, nullptr, 0},
        {2, VT_EMPTY, nullptr, 0},
        {4, VT_EMPTY, nullptr, 0},
        {100, VT_EMPTY, nullptr, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Id);
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"held before");
        EXPECT_EQ(S_OK, GetPluginProperty(c.Id, &value));
        EXPECT_EQ(c.Type, value.vt);
        if (value.vt == VT_BSTR && c.Bytes != nullptr)
        {
            ASSERT_EQ(c.Size, SysStringByteLen(value.bstrVal));
            EXPECT_EQ(0, memcmp(value.bstrVal, c.Bytes, c.Size));
        }
        VariantClear(&value);
    }
    EXPECT_EQ(E_POINTER, GetPluginProperty(0, nullptr)) << "refused instead of written through";
    EXPECT_EQ(0, memcmp(&IID_IPluginOptions, kPluginInterfaceBytes, 16));
}

TEST_F(PluginExports, CreateObjectRefusesWrongIdentifiersAndNullArguments)
{
    GUID otherClass = CLSID_OptionsPlugin;
    otherClass.Data4[7] = 1;
    GUID otherInterface = IID_IPluginOptions;
    otherInterface.Data1 ^= 0x100;
    struct Case
    {
        const GUID* ClassId;
        const GUID* InterfaceId;
        HRESULT Expected;
    } const cases[] = {
        {&otherClass, &IID_IPluginOptions, kClassNotAvailable},
        // The handler's class is no plug-in class.
        {&IID_IPluginOptions, &IID_IPluginOptions, kClassNotAvailable},
        {&otherClass, &IID_IUnknown, kClassNotAvailable},
        {nullptr, &IID_IPluginOptions, E_POINTER},
        {&CLSID_OptionsPlugin, nullptr, E_POINTER},
        {&CLSID_OptionsPlugin, &otherInterface, E_NOINTERFACE},
        // IUnknown too: the options interface is the only one handed out here.
        {&CLSID_OptionsPlugin, &IID_IUnknown, E_NOINTERFACE},
        {&CLSID_OptionsPlugin, &CLSID_OptionsPlugin, E_NOINTERFACE},
    };
    for (const Case& c : cases)
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.Expected, CreateObject(c.ClassId, c.InterfaceId, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, nullptr));
}

TEST_F(PluginExports, ObjectAnswersOnlyIUnknownAndIsNoLiveObject)
{
    const LONG liveBefore = g_LiveObjectCount;
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    EXPECT_EQ(liveBefore, g_LiveObjectCount);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, plugin->QueryInterface(IID_IPluginOptions, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_NOINTERFACE, plugin->QueryInterface(IID_IClassFactory, &object));
    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(plugin), unknown);
    EXPECT_EQ(1u, unknown->Release());
    EXPECT_EQ(E_NOTIMPL, plugin->ReservedOperation(0));
    EXPECT_EQ(E_NOTIMPL, plugin->ReservedOperation(0xFFFFFFFF));
    EXPECT_EQ(0u, plugin->Release());
}

TEST_F(PluginExports, CreateObjectReportsExhaustedMemory)
{
    // The language is loaded already; the only allocation left is the object itself.
    AllocHooks::FailNth(1);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_OUTOFMEMORY, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_FALSE(AllocHooks::FailurePending());
}
