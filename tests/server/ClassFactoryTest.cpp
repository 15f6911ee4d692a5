#include "ServerTestSupport.h"

#include "server/ClassFactory.h"
#include "server/Module.h"
#include "server/Registration.h"

#include <olectl.h>

#include <functional>
#include <set>
#include <thread>

namespace
{
void* const kGarbage = reinterpret_cast<void*>(0x12345678);
} // namespace

class ClassFactoryTest : public CFactoryTest
{
};

// A class object only for the handler's class id, a factory only for the two interfaces of a
// factory, a handler only for its three views and never aggregated; nothing refused stays alive.
TEST_F(ClassFactoryTest, ObjectsAreMadeOnlyForTheirClassAndInterfaces)
{
    const GUID nearMiss = {0x23170F69, 0x40C1, 0x439B, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01}};
    const GUID optionsPlugin = {0x23170F69, 0x40C1, 0x278D, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
    const HRESULT notAvailable = static_cast<HRESULT>(0x80040111);
    struct
    {
        const GUID* ClassId; // null: the factory's CreateInstance
        bool Aggregate;
        const GUID* Iid;
        HRESULT Expected;
    } const cases[] = {
        {&CLSID_NULL, false, &IID_IClassFactory, notAvailable},
        {&nearMiss, false, &IID_IClassFactory, notAvailable},
        {&optionsPlugin, false, &IID_IClassFactory, notAvailable},
        {&IID_IClassFactory, false, &IID_IClassFactory, notAvailable},
        {&CLSID_ShellMenuHandler, false, &IID_IContextMenu, E_NOINTERFACE},
        {&CLSID_ShellMenuHandler, false, &IID_IClassFactory2, E_NOINTERFACE},
        {&CLSID_ShellMenuHandler, false, &IID_IUnknown, S_OK},
        {&CLSID_ShellMenuHandler, false, &IID_IClassFactory, S_OK},
        {nullptr, true, &IID_IUnknown, static_cast<HRESULT>(0x80040110)},
        {nullptr, false, &IID_IClassFactory, E_NOINTERFACE},
        {nullptr, false, &IID_IContextMenu3, E_NOINTERFACE},
        {nullptr, false, &IID_IContextMenu, S_OK},
        {nullptr, false, &IID_IShellExtInit, S_OK},
        {nullptr, false, &IID_IHostMenuInit, S_OK},
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(&item - cases);
        const LONG liveBefore = g_LiveObjectCount;
        const long blocksBefore = AllocHooks::LiveBlocks();
        void* object = kGarbage;
        EXPECT_EQ(item.Expected,
                  item.ClassId != nullptr
                      ? DllGetClassObject(*item.ClassId, *item.Iid, &object)
                      : _factory->CreateInstance(item.Aggregate ? _factory.Get() : nullptr, *item.Iid, &object));
        ASSERT_EQ(item.Expected == S_OK, object != nullptr);
        if (object != nullptr)
        {
            EXPECT_EQ(liveBefore + 1, g_LiveObjectCount);
            EXPECT_EQ(2u, static_cast<IUnknown*>(object)->AddRef());
            EXPECT_EQ(1u, static_cast<IUnknown*>(object)->Release());
            EXPECT_EQ(0u, static_cast<IUnknown*>(object)->Release());
        }
        EXPECT_EQ(liveBefore, g_LiveObjectCount) << "a refused object is destroyed at once";
        EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks());
    }
}

TEST_F(ClassFactoryTest, NullOutPointersAreRefused)
{
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, _factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, _factory->CreateInstance(nullptr, IID_IContextMenu, nullptr));
    CShellMenuHandler* handler = NewHandler();
    EXPECT_EQ(E_POINTER, handler->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(0u, handler->Release());
}

// Only live factories and handlers keep the module, not LockServer, and the last reference
// may be dropped through any view: one identity, one count.
TEST_F(ClassFactoryTest, ModuleStaysExactlyWhileAnObjectLives)
{
    EXPECT_EQ(S_OK, _factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the factory itself lives";
    CShellMenuHandler* handler = NewHandler();
    EXPECT_EQ(S_OK, _factory->LockServer(FALSE));
    _factory.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the handler alone keeps the module";
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    EXPECT_EQ(2, handler->RefCount);
    EXPECT_EQ(3u, init->AddRef());
    EXPECT_EQ(2u, init->Release());
    EXPECT_EQ(1u, static_cast<IContextMenu*>(handler)->Release());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, init->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow()) << "a lock taken is no reason to stay";
}

// Each interlocked step has exactly one result: with AddRef and Release racing on two cores,
// every call must report a different count, for the factory and for the handler alike.
TEST_F(ClassFactoryTest, ConcurrentAddRefAndReleaseReportDistinctCounts)
{
    const int kThreads = 4;
    const int kCalls = 20000;
    CShellMenuHandler* handler = NewHandler();
    for (IUnknown* object : std::initializer_list<IUnknown*>{_factory.Get(), static_cast<IContextMenu*>(handler)})
        for (const bool addRef : {true, false})
        {
            std::vector<std::vector<ULONG>> results(kThreads);
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; t++)
                threads.emplace_back(
                    [&, t]
                    {
                        for (int i = 0; i < kCalls; i++)
                            results[t].push_back(addRef ? object->AddRef() : object->Release());
                    });
            std::set<ULONG> seen;
            for (int t = 0; t < kThreads; t++)
            {
                threads[t].join();
                seen.insert(results[t].begin(), results[t].end());
            }
            EXPECT_EQ(static_cast<size_t>(kThreads * kCalls), seen.size());
            EXPECT_EQ(addRef ? 2u : 1u, *seen.begin());
            EXPECT_EQ(addRef ? ULONG(kThreads * kCalls + 1) : ULONG(kThreads * kCalls), *seen.rbegin());
        }
    EXPECT_EQ(0u, static_cast<IContextMenu*>(handler)->Release());
}

// Every allocation inside each entry point fails once in turn: the call reports exhausted
// memory, a selection is never left half taken, and the object and block counts come back.
TEST_F(ClassFactoryTest, ExhaustedMemoryInEveryEntryPointGivesOutOfMemoryAndLeaksNothing)
{
    CRegistrySnapshot classKey(HKEY_CLASSES_ROOT, kHandlerClassKey);
    CRegistrySnapshot shellExtensions(HKEY_LOCAL_MACHINE, kShellExtensionsKey);
    CScratchFolder scratch;
    scratch.AddFile(L"first.txt");
    scratch.AddFile(L"second.zip");
    CComRef<IDataObject> data;
    ASSERT_EQ(S_OK, CreateShellDataObject(scratch.Path(), {L"first.txt", L"second.zip"},
                                          reinterpret_cast<IDataObject**>(data.Out())));
    CTestIdList folder(scratch.AddFolder(L"target"));
    ASSERT_NE(nullptr, folder.Get());
    const wchar_t* names[] = {L"C:\\Work\\report.zip", L"C:\\Work\\data", L"C:\\Work\\notes.txt"};
    using CCall = std::function<HRESULT(CShellMenuHandler*, void**)>;
    const CCall initialize = [&](CShellMenuHandler* handler, void**)
    { return handler->Initialize(folder.Get(), data.Get(), nullptr); };
    const CCall registerServer = [](CShellMenuHandler*, void**) { return DllRegisterServer(); };
    const CCall createFactory = [](CShellMenuHandler*, void** object)
    { return DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, object); };
    const CCall createHandler = [&](CShellMenuHandler*, void** object)
    { return _factory->CreateInstance(nullptr, IID_IShellExtInit, object); };
    const CCall initContextMenu = [&](CShellMenuHandler* handler, void**)
    { return handler->InitContextMenu(0, names, 3); };
    struct
    {
        const char* Name;
        bool Wide;
        CCall Call;
        int LeastFailures;
        bool Creates;
        int Names; // selection after success; -1: the call takes none
        bool DropTarget;
    } const cases[] = {
        {"DllGetClassObject", true, createFactory, 1, true, -1, false},
        {"CreateInstance", true, createHandler, 2, true, -1, false},
        {"Initialize", true, initialize, 3, false, 2, true},
        {"Initialize", false, initialize, 3, false, 2, true},
        {"InitContextMenu", true, initContextMenu, 3, false, 3, false},
        {"DllRegisterServer", true, registerServer, 1, false, -1, false},
        {"DllRegisterServer", false, registerServer, 1, false, -1, false},
    };
    for (const auto& item : cases)
    {
        CWidePathScope widePath(item.Wide);
        int failures = 0;
        for (long n = 1;; n++)
        {
            SCOPED_TRACE(::testing::Message() << item.Name << ", wide " << item.Wide << ", allocation " << n);
            ASSERT_LT(n, 200);
            DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
            const LONG liveBefore = g_LiveObjectCount;
            const long blocksBefore = AllocHooks::LiveBlocks();
            CShellMenuHandler* handler = NewHandler();
            const wchar_t* before[] = {L"C:\\before.txt"};
            ASSERT_EQ(S_OK, handler->InitContextMenu(0, before, 1));
            void* object = item.Creates ? kGarbage : nullptr;
            AllocHooks::FailNth(n);
            const HRESULT result = item.Call(handler, &object);
            const bool failed = !AllocHooks::FailurePending();
            AllocHooks::FailNth(0);
            failures += failed;
            EXPECT_EQ(failed ? E_OUTOFMEMORY : S_OK, result);
            EXPECT_EQ(failed || !item.Creates, object == nullptr);
            if (!failed && item.Creates)
                static_cast<IUnknown*>(object)->Release();
            if (item.Names >= 0)
            {
                EXPECT_EQ(failed ? 0 : item.Names, handler->SelectedNames.Count());
                EXPECT_EQ(!failed && item.DropTarget, handler->IsDropTarget);
            }
            EXPECT_EQ(0u, static_cast<IContextMenu*>(handler)->Release());
            EXPECT_EQ(liveBefore, g_LiveObjectCount);
            EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks());
            if (!failed)
                break;
        }
        EXPECT_GE(failures, item.LeastFailures) << item.Name;
    }
}

TEST_F(ClassFactoryTest, RegisterWithoutAModulePathWritesNothing)
{
    CRegistrySnapshot classKey(HKEY_CLASSES_ROOT, kHandlerClassKey);
    DeleteRegistryTree(HKEY_CLASSES_ROOT, kHandlerClassKey);
    const HINSTANCE saved = g_ModuleInstance;
    g_ModuleInstance = reinterpret_cast<HINSTANCE>(0x10); // no module of this process
    const HRESULT result = DllRegisterServer();
    g_ModuleInstance = saved;
    EXPECT_EQ(static_cast<HRESULT>(0x80040201), result);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, kHandlerClassKey));
}
