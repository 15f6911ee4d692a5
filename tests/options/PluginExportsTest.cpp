#include "OptionsTestSupport.h"

#include "lang/Language.h"
#include "server/Module.h"

#include <oleauto.h>

#include <cstring>

namespace
{
class PluginExports : public COptionsTest
{
};

const BYTE kPluginClassBytes[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8D, 0x27,
                                    0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00};
const BYTE kPluginInterfaceBytes[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8D, 0x27,
                                        0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00};
} // namespace

TEST_F(PluginExports, IdentifiersHaveTheirMemoryBytes)
{
    EXPECT_EQ(0, memcmp(&CLSID_OptionsPlugin, kPluginClassBytes, 16));
    EXPECT_EQ(0, memcmp(&IID_IPluginOptions, kPluginInterfaceBytes, 16));
}

TEST_F(PluginExports, NameIsVantorAsBstr)
{
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(S_OK, GetPluginProperty(0, &value));
    ASSERT_EQ(VT_BSTR, value.vt);
    EXPECT_STREQ(L"Vantor", value.bstrVal);
    EXPECT_EQ(6u, SysStringLen(value.bstrVal));
    VariantClear(&value);
}

TEST_F(PluginExports, ClassIdIsSixteenByteString)
{
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(S_OK, GetPluginProperty(3, &value));
    ASSERT_EQ(VT_BSTR, value.vt);
    ASSERT_EQ(16u, SysStringByteLen(value.bstrVal));
    EXPECT_EQ(0, memcmp(value.bstrVal, kPluginClassBytes, 16));
    VariantClear(&value);
}

TEST_F(PluginExports, OtherIdsClearTheValueAndLeaveItEmpty)
{
    for (ULONG id : {1u, 2u, 4u, 100u})
    {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"held before");
        EXPECT_EQ(S_OK, GetPluginProperty(id, &value)) << id;
        EXPECT_EQ(VT_EMPTY, value.vt) << id;
        VariantClear(&value);
    }
}

TEST_F(PluginExports, NullValueIsRefusedInsteadOfWrittenThrough)
{
    EXPECT_EQ(E_POINTER, GetPluginProperty(0, nullptr));
}

TEST_F(PluginExports, CreateObjectRefusesWrongIdentifiers)
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
    };
    const Case cases[] = {
        {&otherClass, &IID_IPluginOptions, static_cast<HRESULT>(0x80040111)},
        // The handler's class is no plug-in class.
        {&IID_IPluginOptions, &IID_IPluginOptions, static_cast<HRESULT>(0x80040111)},
        {&otherClass, &IID_IUnknown, static_cast<HRESULT>(0x80040111)},
        {&CLSID_OptionsPlugin, &otherInterface, static_cast<HRESULT>(0x80004002)},
        // IUnknown too: the options interface is the only one handed out here.
        {&CLSID_OptionsPlugin, &IID_IUnknown, static_cast<HRESULT>(0x80004002)},
        {&CLSID_OptionsPlugin, &CLSID_OptionsPlugin, static_cast<HRESULT>(0x80004002)},
    };
    for (const Case& c : cases)
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(c.Expected, CreateObject(c.ClassId, c.InterfaceId, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(E_POINTER, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, nullptr));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(static_cast<HRESULT>(0x80040111), CreateObject(nullptr, &IID_IPluginOptions, &object));
    EXPECT_EQ(nullptr, object);
}

TEST_F(PluginExports, ObjectAnswersOnlyIUnknown)
{
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, plugin->QueryInterface(IID_IPluginOptions, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(E_NOINTERFACE, plugin->QueryInterface(IID_IClassFactory, &object));

    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(plugin), unknown);
    // One reference from CreateObject, one from QueryInterface.
    EXPECT_EQ(2u, static_cast<COptionsPlugin*>(plugin)->RefCount);
    EXPECT_EQ(1u, unknown->Release());

    EXPECT_EQ(E_NOTIMPL, plugin->ReservedOperation(0));
    EXPECT_EQ(E_NOTIMPL, plugin->ReservedOperation(0xFFFFFFFF));
    EXPECT_EQ(2u, plugin->AddRef());
    EXPECT_EQ(1u, plugin->Release());
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

TEST_F(PluginExports, NotCountedAmongLiveObjects)
{
    const LONG before = g_LiveObjectCount;
    IPluginOptions* plugin = CreatePlugin();
    ASSERT_NE(nullptr, plugin);
    EXPECT_EQ(before, g_LiveObjectCount);
    plugin->Release();
}
