#include "ServerTestSupport.h"

#include "menu/ShellMenuHandler.h"
#include "server/ClassFactory.h"
#include "server/Module.h"

#include <olectl.h>

#include <functional>
#include <set>
#include <thread>
#include <vector>

namespace
{
void* const kGarbage = reinterpret_cast<void*>(0x12345678);

const GUID kNearMissClass = {0x23170F69, 0x40C1, 0x439B, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x01}};
const GUID kOptionsPluginClass = {0x23170F69, 0x40C1, 0x278D, {0x10, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00}};
} // namespace

class ClassFactoryTest : public CServerTest
{
protected:
    void GetFactory(CComRef<IClassFactory>& factory)
    {
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, factory.OutVoid()));
        ASSERT_TRUE(factory);
    }
};

TEST_F(ClassFactoryTest, OtherClassIdsAreNotAvailable)
{
    const GUID* const classes[] = {&CLSID_NULL, &kNearMissClass, &kOptionsPluginClass, &IID_IClassFactory};
    for (const GUID* classId : classes)
    {
        void* object = kGarbage;
        EXPECT_EQ(static_cast<HRESULT>(0x80040111), DllGetClassObject(*classId, IID_IClassFactory, &object));
        EXPECT_EQ(nullptr, object);
    }
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassFactoryTest, FactoryAnswersOnlyUnknownAndClassFactory)
{
    struct
    {
        const GUID* Iid;
        HRESULT Expected;
    } const cases[] = {
        {&IID_IUnknown, S_OK},
        {&IID_IClassFactory, S_OK},
        {&IID_IContextMenu, E_NOINTERFACE},
        {&IID_IShellExtInit, E_NOINTERFACE},
        {&IID_IClassFactory2, E_NOINTERFACE},
    };
    for (const auto& item : cases)
    {
        const LONG liveBefore = g_LiveObjectCount;
        void* object = kGarbage;
        EXPECT_EQ(item.Expected, DllGetClassObject(CLSID_ShellMenuHandler, *item.Iid, &object));
        if (item.Expected != S_OK)
        {
            EXPECT_EQ(nullptr, object);
            EXPECT_EQ(liveBefore, g_LiveObjectCount) << "a refused factory is destroyed at once";
            EXPECT_EQ(S_OK, DllCanUnloadNow());
            continue;
        }
        ASSERT_NE(nullptr, object);
        IUnknown* unknown = static_cast<IUnknown*>(object);
        EXPECT_EQ(liveBefore + 1, g_LiveObjectCount);
        EXPECT_EQ(S_FALSE, DllCanUnloadNow());
        EXPECT_EQ(2u, unknown->AddRef());
        EXPECT_EQ(1u, unknown->Release());
        EXPECT_EQ(0u, unknown->Release());
        EXPECT_EQ(liveBefore, g_LiveObjectCount);
    }
}

TEST_F(ClassFactoryTest, NullOutPointerIsRefused)
{
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, nullptr));
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    EXPECT_EQ(E_POINTER, factory->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IContextMenu, nullptr));
}

TEST_F(ClassFactoryTest, AggregationIsRefusedAndNothingIsCreated)
{
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    const LONG liveBefore = g_LiveObjectCount;
    const long blocksBefore = AllocHooks::LiveBlocks();
    CReleaseSpy outer;
    void* object = kGarbage;
    EXPECT_EQ(static_cast<HRESULT>(0x80040110), factory->CreateInstance(&outer, IID_IUnknown, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(liveBefore, g_LiveObjectCount);
    EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks());
}

TEST_F(ClassFactoryTest, CreateInstanceForUnsupportedInterfaceDestroysTheHandler)
{
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    const LONG liveBefore = g_LiveObjectCount;
    const long blocksBefore = AllocHooks::LiveBlocks();
    void* object = kGarbage;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(liveBefore, g_LiveObjectCount);
    EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks());
}

TEST_F(ClassFactoryTest, LockServerDoesNotKeepTheModule)
{
    {
        CComRef<IClassFactory> factory;
        GetFactory(factory);
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the factory itself lives";
    }
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
}

TEST_F(ClassFactoryTest, ModuleStaysWhileAFactoryOrAHandlerLives)
{
    ASSERT_EQ(S_OK, DllCanUnloadNow());
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    factory.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the handler alone keeps the module";

    // The last reference may be dropped through any view: one identity, one count.
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    CShellMenuHandler* handler = static_cast<CShellMenuHandler*>(menu);
    EXPECT_EQ(2, handler->RefCount);
    EXPECT_EQ(3u, init->AddRef());
    EXPECT_EQ(3, handler->RefCount);
    EXPECT_EQ(2u, init->Release());
    EXPECT_EQ(1u, menu->Release());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, init->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

// Each interlocked step has exactly one result: with AddRef and Release racing on two cores,
// every call must report a different count, and only the very last Release reports 0.
TEST_F(ClassFactoryTest, ConcurrentAddRefAndReleaseReportDistinctCounts)
{
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    const int kThreads = 4;
    const int kCalls = 20000;
    std::vector<std::vector<ULONG>> results(kThreads);
    auto run = [&](bool addRef)
    {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; t++)
            threads.emplace_back(
                [&, t]
                {
                    results[t].clear();
                    for (int i = 0; i < kCalls; i++)
                        results[t].push_back(addRef ? menu->AddRef() : menu->Release());
                });
        for (std::thread& thread : threads)
            thread.join();
        std::set<ULONG> seen;
        for (const auto& list : results)
            seen.insert(list.begin(), list.end());
        return seen;
    };
    const std::set<ULONG> added = run(true);
    EXPECT_EQ(static_cast<size_t>(kThreads * kCalls), added.size());
    EXPECT_EQ(2u, *added.begin());
    EXPECT_EQ(static_cast<ULONG>(kThreads * kCalls + 1), *added.rbegin());
    const std::set<ULONG> released = run(false);
    EXPECT_EQ(static_cast<size_t>(kThreads * kCalls), released.size());
    EXPECT_EQ(1u, *released.begin());
    EXPECT_EQ(0u, menu->Release());
}

// Every allocation on the way to a factory and to a handler fails once in turn.
TEST_F(ClassFactoryTest, ExhaustedMemoryWhileCreatingGivesOutOfMemoryAndLeaksNothing)
{
    CComRef<IClassFactory> factory;
    GetFactory(factory);
    const std::function<HRESULT(void**)> creators[] = {
        [](void** object) { return DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, object); },
        [&](void** object) { return factory->CreateInstance(nullptr, IID_IShellExtInit, object); },
    };
    const int kLeastFailures[] = {1, 2}; // the factory's block; the handler's and its members'
    for (int i = 0; i < 2; i++)
    {
        int failures = 0;
        for (long n = 1;; n++)
        {
            ASSERT_LT(n, 50);
            const LONG liveBefore = g_LiveObjectCount;
            const long blocksBefore = AllocHooks::LiveBlocks();
            void* object = kGarbage;
            CAllocationFailure failure(n);
            const HRESULT result = creators[i](&object);
            if (!failure.Disarm())
            {
                ASSERT_EQ(S_OK, result);
                static_cast<IUnknown*>(object)->Release();
                break;
            }
            failures++;
            EXPECT_EQ(E_OUTOFMEMORY, result) << "creator " << i << ", allocation " << n;
            EXPECT_EQ(nullptr, object);
            EXPECT_EQ(liveBefore, g_LiveObjectCount);
            EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks());
        }
        EXPECT_GE(failures, kLeastFailures[i]);
    }
}
