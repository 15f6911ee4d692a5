#include "ShellTestSupport.h"

#include "Selection.h"

#include "lang/Language.h"
#include "options/OptionsPlugin.h"

#include <olectl.h>
#include <sddl.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <set>

namespace
{
void* const kGarbage = reinterpret_cast<void*>(0x12345678);
const wchar_t kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Every test leaves no COM object of the module alive and runs in a single-threaded apartment, as Explorer's do.
class ServerTest : public CModuleTest
{
protected:
    void SetUp() override
    {
        CModuleTest::SetUp();
        _apartment = CoInitialize(nullptr);
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, Factory.PutVoid()));
    }
    void TearDown() override
    {
        Factory.Reset();
        if (SUCCEEDED(_apartment))
            CoUninitialize();
        EXPECT_EQ(0, g_LiveObjectCount) << "COM objects of the module left alive";
        CModuleTest::TearDown();
    }
    CComRef<IClassFactory> Factory;

private:
    HRESULT _apartment = E_FAIL;
};

// Denies writing to a key as a locked registry does; deletion stays allowed so snapshots can take it away.
void DenyWrites(HKEY root, const wchar_t* path)
{
    SetRaw(root, path, L"", kNoValue);
    HKEY key = nullptr;
    RegOpenKeyExW(root, path, 0, WRITE_DAC, &key);
    PSECURITY_DESCRIPTOR denying = nullptr; // KEY_SET_VALUE and KEY_CREATE_SUB_KEY denied
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x6;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1, &denying,
                                                         nullptr);
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denying));
    LocalFree(denying);
    RegCloseKey(key);
}

// GetData gives a fixed result and a medium (also on failure) released through this object: Balance counts that.
struct CScriptedDataObject : IDataObject
{
    CScriptedDataObject(HRESULT r, DWORD tymed, HGLOBAL g) : Result(r), Medium{tymed, {}, this} { Medium.hGlobal = g; }
    STDMETHOD(QueryInterface)(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return --Balance; }
    STDMETHOD_(ULONG, Release)() override { return ++Balance; }
    STDMETHOD(GetData)(FORMATETC*, STGMEDIUM* medium) override { return *medium = Medium, Result; }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT Result;
    STGMEDIUM Medium;
    ULONG Balance = 0;
};
} // namespace

// Objects only for the handler's class, a factory's two interfaces, the handler's three views, never aggregated;
// a refused object is destroyed at once.
TEST_F(ServerTest, ObjectsAreMadeOnlyForTheHandlersClassAndItsInterfaces)
{
    GUID nearMiss = CLSID_ShellMenuHandler;
    nearMiss.Data4[7] ^= 1;
    // {class id (null: the factory's CreateInstance), aggregated, interface, expected}
    const std::tuple<const GUID*, bool, const GUID*, HRESULT> cases[] = {
        {&nearMiss, false, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&CLSID_OptionsPlugin, false, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {&CLSID_ShellMenuHandler, false, &IID_IContextMenu, E_NOINTERFACE},
        {&CLSID_ShellMenuHandler, false, &IID_IUnknown, S_OK},
        {&CLSID_ShellMenuHandler, false, &IID_IClassFactory, S_OK},
        {nullptr, true, &IID_IUnknown, static_cast<HRESULT>(0x80040110)},
        {nullptr, false, &IID_IClassFactory, E_NOINTERFACE},
        {nullptr, false, &IID_IContextMenu, S_OK},
        {nullptr, false, &IID_IShellExtInit, S_OK},
        {nullptr, false, &IID_IHostMenuInit, S_OK}};
    for (const auto& [classId, aggregate, iid, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << classId << " " << aggregate << " " << iid);
        void* object = kGarbage;
        EXPECT_EQ(expected, classId != nullptr
                                ? DllGetClassObject(*classId, *iid, &object)
                                : Factory->CreateInstance(aggregate ? Factory.Get() : nullptr, *iid, &object));
        ASSERT_EQ(expected == S_OK, object != nullptr);
        EXPECT_EQ(object != nullptr ? 2 : 1, g_LiveObjectCount) << "a refused object is destroyed at once";
        EXPECT_EQ(0u, object != nullptr ? static_cast<IUnknown*>(object)->Release() : 0u);
    }
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, Factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, Factory->CreateInstance(nullptr, IID_IContextMenu, nullptr));
    EXPECT_EQ(E_POINTER, CHostedHandler().Object().QueryInterface(IID_IUnknown, nullptr));
}

// Only live objects keep the module, not LockServer; racing AddRef and Release each report their own count.
TEST_F(ServerTest, LiveObjectsAloneKeepTheModuleAndCountExactly)
{
    EXPECT_EQ(S_OK, Factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the factory itself lives";
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, Factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(S_OK, Factory->LockServer(FALSE));
    const ULONG kCalls = 80000; // on four threads
    for (IUnknown* object : std::initializer_list<IUnknown*>{Factory.Get(), init})
        for (const bool addRef : {true, false})
        {
            std::vector<ULONG> results[4];
            const auto call = [&] { return addRef ? object->AddRef() : object->Release(); };
            ASSERT_TRUE(RunOnThreads(
                4, 60000, [&](int t) { std::generate_n(std::back_inserter(results[t]), kCalls / 4, call); }));
            std::set<ULONG> seen;
            for (const auto& counts : results)
                seen.insert(counts.begin(), counts.end());
            EXPECT_EQ(std::make_tuple(size_t(kCalls), addRef ? 2u : 1u, kCalls + addRef),
                      std::make_tuple(seen.size(), *seen.begin(), *seen.rbegin()));
        }
    Factory.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the handler alone keeps the module";
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(1u, init->Release());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, menu->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow()) << "a lock taken is no reason to stay";
}

// Names in the shell's order, a drag's folder with one backslash, no stale drag, nothing half taken on failure.
TEST_F(ServerTest, InitializeTakesTheWholeSelectionAndDropFolderOrNothing)
{
    CScratchFolder scratch;
    const std::wstring target = scratch.AddFolder(L"target").Ptr();
    CIdList targetList, drives;
    std::wstring error;
    ASSERT_TRUE(ParseFolderIdList(target, targetList, error)) << error;
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.Put());
    struct
    {
        bool Wide;
        std::vector<std::wstring> Names;
        const CIdList* Folder;
        std::wstring DropFolder; // "": no drop target
    } const cases[] = {{true, {L"b b.txt", L"a.7z", L"sub", L"\x03A9mega.tar"}, &targetList, target + L"\\"},
                       {false, {L"b b.txt", L"a.7z", L"sub", L"caf\x00E9.tar"}, nullptr, L""}, // within code page 1252
                       {false, {L"a.7z"}, &drives, L""}}; // My Computer has no file-system path
    for (const auto& item : cases)
    {
        SCOPED_TRACE(&item - cases);
        CWidePathScope widePath(item.Wide);
        std::vector<std::wstring> expected;
        for (const std::wstring& name : item.Names)
            expected.push_back(
                (name == L"sub" ? scratch.AddFolder(name.c_str()) : scratch.AddFile(name.c_str())).Ptr());
        CShellSelection data;
        ASSERT_TRUE(data.Create(expected, error)) << error;
        const LPCITEMIDLIST folder = item.Folder != nullptr ? item.Folder->Get() : nullptr;
        std::unique_ptr<CHostedHandler> handler;
        HRESULT result = E_UNEXPECTED;
        const auto prepare = [&]
        {
            handler.reset(new CHostedHandler);
            ASSERT_EQ(S_OK, handler->Select({L"C:\\before.txt"}));
            handler->Object().IsDropTarget = true;
            handler->Object().DropFolder = L"D:\\old\\";
        };
        const auto check = [&](bool failed, bool threw)
        {
            EXPECT_FALSE(threw);
            EXPECT_EQ(failed ? E_OUTOFMEMORY : S_OK, result);
            EXPECT_EQ(failed ? std::vector<std::wstring>() : expected, handler->SelectedNames());
            EXPECT_EQ(!failed && !item.DropFolder.empty(), handler->Object().IsDropTarget);
            EXPECT_EQ(failed ? L"" : item.DropFolder, handler->Object().DropFolder.Ptr());
            handler.reset();
        };
        EXPECT_GE(
            ForEachAllocationFailure([&] { result = handler->Object().Initialize(folder, data.DataObject(), nullptr); },
                                     check, prepare),
            static_cast<int>(item.Names.size()));
    }
}

// Only a delivered medium is released, once; the drop list is unlocked as locked, never freed.
TEST_F(ServerTest, InitializeReleasesOnlyTheMediumItWasGiven)
{
    CScratchFolder scratch;
    const std::vector<std::wstring> names = {scratch.AddFile(L"a.7z").Ptr(), scratch.AddFolder(L"sub").Ptr()};
    CShellSelection selection;
    std::wstring error;
    ASSERT_TRUE(selection.Create(names, error)) << error;
    CHostedHandler handler;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM dropList = {};
    ASSERT_EQ(S_OK, selection.DataObject()->GetData(&format, &dropList));
    // {GetData's result, medium (a stream one has no handle: none is handed out), expected, releases}
    const std::tuple<HRESULT, DWORD, HRESULT, ULONG> media[] = {{DV_E_FORMATETC, TYMED_HGLOBAL, DV_E_FORMATETC, 0},
                                                                {S_FALSE, TYMED_HGLOBAL, S_FALSE, 0},
                                                                {S_OK, TYMED_ISTREAM, DV_E_TYMED, 1},
                                                                {S_OK, TYMED_HGLOBAL, S_OK, 1}};
    for (const auto& [getDataResult, tymed, expected, releases] : media)
    {
        SCOPED_TRACE(testing::Message() << std::hex << getDataResult << " " << tymed);
        ASSERT_EQ(S_OK, handler.Select({L"C:\\before.txt"}));
        CScriptedDataObject data(getDataResult, tymed, tymed == TYMED_HGLOBAL ? dropList.hGlobal : nullptr);
        EXPECT_EQ(expected, handler.Object().Initialize(nullptr, &data, nullptr));
        EXPECT_EQ(releases, data.Balance);
        EXPECT_EQ(expected == S_OK ? names : std::vector<std::wstring>(), handler.SelectedNames());
        EXPECT_NE(0u, GlobalSize(dropList.hGlobal)) << "the block was freed";
        EXPECT_EQ(0u, GlobalFlags(dropList.hGlobal) & GMEM_LOCKCOUNT);
    }
    ReleaseStgMedium(&dropList);
}

TEST_F(ServerTest, WithoutUsableNamesTheSelectionIsEmptyAndNoDragIsLeft)
{
    CHostedHandler handler;
    EXPECT_EQ(E_FAIL, handler.Object().Initialize(nullptr, nullptr, nullptr));
    const wchar_t* withNull[] = {L"C:\\a", nullptr};
    for (const wchar_t** list : {withNull, static_cast<const wchar_t**>(nullptr)})
    {
        ASSERT_EQ(S_OK, handler.Select({L"C:\\before.txt"}));
        handler.Object().IsDropTarget = true;
        EXPECT_EQ(E_INVALIDARG, handler.Object().InitContextMenu(0, list, 2));
        EXPECT_EQ(std::make_pair(std::vector<std::wstring>(), false),
                  std::make_pair(handler.SelectedNames(), handler.Object().IsDropTarget));
    }
}

// Each allocation fails in turn: E_OUTOFMEMORY, nothing leaked; CreateObject loads the language wholly or not.
TEST_F(ServerTest, ExhaustedMemoryInTheEntryPointsGivesOutOfMemoryAndLeaksNothing)
{
    CRegistrySnapshot classKey(HKEY_CLASSES_ROOT, kHandlerClassKey), approved(HKEY_LOCAL_MACHINE, kApprovedKey),
        settings(HKEY_CURRENT_USER, kSettingsRoot);
    CScratchFolder scratch;
    const char file[] = ";!@Lang@!UTF-8! test\n2000101 = \"Vantor-Men\xC3\xBC\"\n200010D = \"Entpacken nach {0}\"\n";
    SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(scratch.AddFile(L"t.txt", file, sizeof(file) - 1).Ptr()));
    const bool loaded = g_LangLoaded;
    const wchar_t* names[] = {L"C:\\Work\\report.zip", L"C:\\Work\\data", L"C:\\Work\\notes.txt"};
    std::unique_ptr<CHostedHandler> handler;
    struct
    {
        std::function<HRESULT(void**)> Call;
        int LeastFailures;
        bool Creates, Selects, LoadsLanguage;
    } const cases[] = {
        {[](void** o) { return DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, o); }, 1, true, false,
         false},
        {[&](void** o) { return Factory->CreateInstance(nullptr, IID_IShellExtInit, o); }, 2, true, false, false},
        {[&](void**) { return handler->Object().InitContextMenu(0, names, 3); }, 3, false, true, false},
        {[](void**) { return DllRegisterServer(); }, 1, false, false, false},
        {[](void** o) { return CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, o); }, 4, true, false, true}};
    for (const auto& item : cases)
    {
        SCOPED_TRACE(&item - cases);
        void* object = nullptr;
        HRESULT result = E_UNEXPECTED;
        const auto prepare = [&]
        {
            DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
            handler.reset(new CHostedHandler);
            ASSERT_EQ(S_OK, handler->Select({L"C:\\before.txt"}));
            object = item.Creates ? kGarbage : nullptr;
            g_LangLoaded = g_LangLoaded && !item.LoadsLanguage;
        };
        const auto check = [&](bool failed, bool threw)
        {
            EXPECT_FALSE(threw);
            EXPECT_EQ(failed ? E_OUTOFMEMORY : S_OK, result);
            EXPECT_EQ(failed || !item.Creates, object == nullptr);
            if (!failed && item.Creates)
                static_cast<IUnknown*>(object)->Release();
            EXPECT_EQ(!item.Selects ? 1u : failed ? 0u : 3u, handler->SelectedNames().size());
            handler.reset();
            const int entries = g_LangTable.Entries.Count();
            EXPECT_TRUE(!item.LoadsLanguage || entries == 2 || (failed && entries == 0)) << entries << " entries";
            if (item.LoadsLanguage)
                g_LangTable.Clear();
        };
        EXPECT_GE(ForEachAllocationFailure([&] { result = item.Call(&object); }, check, prepare), item.LeastFailures);
    }
    g_LangLoaded = loaded;
}

// No module path or class key: not registered, regsvr32 hears so; a refused approval list is fine (98 has none).
TEST_F(ServerTest, RegistrationFailsExactlyWhenTheClassCannotBeWritten)
{
    CRegistrySnapshot classKey(HKEY_CLASSES_ROOT, kHandlerClassKey), approved(HKEY_LOCAL_MACHINE, kApprovedKey);
    const std::wstring server = kHandlerClassKey + L"\\InprocServer32";
    const HINSTANCE module = g_ModuleInstance;
    // {key denied, module (0x10: none of this process), expected}
    const std::tuple<const wchar_t*, HINSTANCE, HRESULT> cases[] = {
        {nullptr, module, S_OK},
        {nullptr, reinterpret_cast<HINSTANCE>(0x10), SELFREG_E_CLASS},
        {kHandlerClassKey.c_str(), module, SELFREG_E_CLASS},
        {kApprovedKey, module, S_OK}};
    for (const auto& [refused, instance, expected] : cases)
    {
        SCOPED_TRACE(testing::Message() << (refused ? refused : L"none") << " " << instance);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, kApprovedKey);
        if (refused != nullptr)
            DenyWrites(refused == kHandlerClassKey ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE, refused);
        g_ModuleInstance = instance;
        EXPECT_EQ(expected, DllRegisterServer());
        g_ModuleInstance = module;
        // The values themselves are pinned where regsvr32 registers the built module.
        EXPECT_EQ(expected == S_OK, RegistryKeyExists(HKEY_CLASSES_ROOT, server));
        EXPECT_EQ(refused == nullptr && expected == S_OK,
                  kNoValue != RawValue(HKEY_LOCAL_MACHINE, kApprovedKey, kHandlerClassId));
    }
}
