#include "ServerTestSupport.h"

#include "menu/ShellMenuHandler.h"
#include "server/ClassFactory.h"
#include "server/Module.h"

#include <functional>
#include <string>
#include <vector>

namespace
{
void* const kGarbage = reinterpret_cast<void*>(0x12345678);

std::wstring Text(const CWideString& text)
{
    return std::wstring(text.Ptr());
}

std::vector<std::wstring> Names(const CShellMenuHandler& handler)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < handler.SelectedNames.Count(); i++)
        names.push_back(Text(handler.SelectedNames[i]));
    return names;
}
} // namespace

class HandlerTest : public CServerTest
{
protected:
    // A handler made by the class factory, as Explorer gets it; released at the end of the test.
    CShellMenuHandler* NewHandler()
    {
        CComRef<IClassFactory> factory;
        EXPECT_EQ(S_OK, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, factory.OutVoid()));
        IContextMenu* menu = nullptr;
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
        _menus.push_back(menu);
        return static_cast<CShellMenuHandler*>(menu);
    }
    void TearDown() override
    {
        for (IContextMenu* menu : _menus)
            EXPECT_EQ(0u, menu->Release());
        _menus.clear();
        CServerTest::TearDown();
    }

    CScratchFolder _scratch;

private:
    std::vector<IContextMenu*> _menus;
};

TEST_F(HandlerTest, ViewsShareOneIdentityAndOneCount)
{
    CShellMenuHandler* handler = NewHandler();
    struct
    {
        const GUID* Iid;
        HRESULT Expected;
        void* View;
    } const cases[] = {
        {&IID_IUnknown, S_OK, static_cast<IContextMenu*>(handler)},
        {&IID_IContextMenu, S_OK, static_cast<IContextMenu*>(handler)},
        {&IID_IShellExtInit, S_OK, static_cast<IShellExtInit*>(handler)},
        {&IID_IHostMenuInit, S_OK, static_cast<IHostMenuInit*>(handler)},
        {&IID_IContextMenu2, E_NOINTERFACE, nullptr},
        {&IID_IClassFactory, E_NOINTERFACE, nullptr},
        {&IID_IDataObject, E_NOINTERFACE, nullptr},
    };
    IUnknown* const views[] = {static_cast<IContextMenu*>(handler), static_cast<IShellExtInit*>(handler),
                               static_cast<IHostMenuInit*>(handler)};
    for (IUnknown* from : views)
        for (const auto& item : cases)
        {
            void* object = kGarbage;
            EXPECT_EQ(item.Expected, from->QueryInterface(*item.Iid, &object));
            EXPECT_EQ(item.View, object);
            if (item.Expected != S_OK)
                continue;
            EXPECT_EQ(2, handler->RefCount);
            EXPECT_EQ(1u, static_cast<IUnknown*>(object)->Release());
        }
    EXPECT_EQ(E_POINTER, handler->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(HandlerTest, HostMenuInitIdentifierIsTheProductsOwn)
{
    const unsigned char expected[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8D, 0x27,
                                        0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
    EXPECT_EQ(0, memcmp(expected, &IID_IHostMenuInit, 16));
}

TEST_F(HandlerTest, InitializeTakesTheShellsDropListInOrder)
{
    struct
    {
        bool Wide;
        std::vector<std::wstring> Names;
    } const cases[] = {
        {true, {L"report.zip"}},
        {true, {L"b b.txt", L"a.7z", L"sub", L"\x03A9mega.tar"}},
        {false, {L"report.zip"}},
        {false, {L"b b.txt", L"a.7z", L"sub", L"caf\x00E9.tar"}}, // within code page 1252
    };
    for (const auto& item : cases)
    {
        CWidePathScope widePath(item.Wide);
        std::vector<std::wstring> expected;
        for (const std::wstring& name : item.Names)
        {
            if (name == L"sub")
                _scratch.AddFolder(name.c_str());
            else
                _scratch.AddFile(name.c_str());
            expected.push_back(Text(_scratch.Path()) + name);
        }
        CComRef<IDataObject> data;
        ASSERT_EQ(S_OK, CreateShellDataObject(_scratch.Path(), item.Names, data.Out()));
        CShellMenuHandler* handler = NewHandler();
        ASSERT_EQ(S_OK, handler->Initialize(nullptr, data.Get(), nullptr)) << "wide " << item.Wide;
        EXPECT_EQ(expected, Names(*handler)) << "wide " << item.Wide;
        EXPECT_FALSE(handler->IsDropTarget);
        EXPECT_TRUE(handler->DropFolder.IsEmpty());
    }
}

TEST_F(HandlerTest, FolderListMakesADropTargetEndingWithOneBackslash)
{
    const CWideString target = _scratch.AddFolder(L"target");
    _scratch.AddFile(L"dragged.txt");
    struct
    {
        bool Wide;
        std::wstring Folder;
        bool IsDropTarget;
        std::wstring DropFolder;
    } const cases[] = {
        {true, Text(target), true, Text(target) + L"\\"},
        {true, L"C:\\", true, L"C:\\"},
        {true, L"", false, L""}, // My Computer: a folder without a file-system path
        {false, Text(target), true, Text(target) + L"\\"},
        {false, L"C:\\", true, L"C:\\"},
        {false, L"", false, L""},
    };
    for (const auto& item : cases)
    {
        CWidePathScope widePath(item.Wide);
        CComRef<IDataObject> data;
        ASSERT_EQ(S_OK, CreateShellDataObject(_scratch.Path(), {L"dragged.txt"}, data.Out()));
        CTestIdList folder;
        ASSERT_TRUE(item.Folder.empty() ? folder.SpecialFolder(CSIDL_DRIVES) : folder.Parse(item.Folder.c_str()));
        CShellMenuHandler* handler = NewHandler();
        // A drag seen before must not leak into the next selection.
        handler->IsDropTarget = true;
        handler->DropFolder = L"D:\\old\\";
        ASSERT_EQ(S_OK, handler->Initialize(folder.Get(), data.Get(), nullptr));
        EXPECT_EQ(item.IsDropTarget, handler->IsDropTarget) << item.Folder.c_str();
        EXPECT_EQ(item.DropFolder, Text(handler->DropFolder));
        EXPECT_EQ(std::vector<std::wstring>{Text(_scratch.Path()) + L"dragged.txt"}, Names(*handler));
    }
}

TEST_F(HandlerTest, InitializeWithoutDataObjectFailsWithAnEmptySelection)
{
    CShellMenuHandler* handler = NewHandler();
    const wchar_t* names[] = {L"C:\\a.txt"};
    ASSERT_EQ(S_OK, handler->InitContextMenu(0, names, 1));
    EXPECT_EQ(E_FAIL, handler->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, handler->SelectedNames.Count());
}

TEST_F(HandlerTest, GetDataFailureComesBackUnchangedAndNothingIsReleased)
{
    const HRESULT results[] = {DV_E_FORMATETC, DV_E_TYMED, E_OUTOFMEMORY, S_FALSE};
    for (const HRESULT result : results)
    {
        CScriptedDataObject data(result, TYMED_HGLOBAL, nullptr);
        CShellMenuHandler* handler = NewHandler();
        EXPECT_EQ(result, handler->Initialize(nullptr, &data, nullptr));
        EXPECT_EQ(0, data.Spy.Releases) << "a medium that GetData did not deliver is not ours";
        EXPECT_EQ(0, handler->SelectedNames.Count());
        ASSERT_EQ(1, data.GetDataCalls);
        EXPECT_EQ(15, data.AskedFormat.cfFormat);
        EXPECT_EQ(nullptr, data.AskedFormat.ptd);
        EXPECT_EQ(1u, data.AskedFormat.dwAspect);
        EXPECT_EQ(-1, data.AskedFormat.lindex);
        EXPECT_EQ(1u, data.AskedFormat.tymed);
    }
}

// The drop list stays the data object's: unlocked as often as locked, released once through
// the medium, never finished with DragFinish (which would free it).
TEST_F(HandlerTest, DeliveredMediumIsUnlockedAndReleasedOnceButNotFinished)
{
    for (const bool wide : {true, false})
    {
        CWidePathScope widePath(wide);
        HGLOBAL memory = CreateDropList({L"C:\\x\\one.zip", L"C:\\x\\two.zip", L"C:\\y"});
        ASSERT_NE(nullptr, memory);
        {
            CScriptedDataObject data(S_OK, TYMED_HGLOBAL, memory);
            CShellMenuHandler* handler = NewHandler();
            EXPECT_EQ(S_OK, handler->Initialize(nullptr, &data, nullptr));
            EXPECT_EQ((std::vector<std::wstring>{L"C:\\x\\one.zip", L"C:\\x\\two.zip", L"C:\\y"}), Names(*handler));
            EXPECT_EQ(1, data.Spy.Releases);
        }
        EXPECT_NE(0u, GlobalSize(memory)) << "the block was freed";
        EXPECT_EQ(0u, GlobalFlags(memory) & GMEM_LOCKCOUNT);
        GlobalFree(memory);
    }
}

TEST_F(HandlerTest, MediumOfAnotherKindIsRefusedAndReleased)
{
    CScriptedDataObject data(S_OK, TYMED_ISTREAM, nullptr);
    CShellMenuHandler* handler = NewHandler();
    EXPECT_EQ(DV_E_TYMED, handler->Initialize(nullptr, &data, nullptr));
    EXPECT_EQ(1, data.Spy.Releases);
    EXPECT_EQ(0, handler->SelectedNames.Count());
}

TEST_F(HandlerTest, InitContextMenuReplacesTheSelection)
{
    const wchar_t* two[] = {L"C:\\Work\\report.zip", L"\\\\server\\share\\\x03A9.7z"};
    const wchar_t* withNull[] = {L"C:\\a", nullptr};
    struct
    {
        const wchar_t** Names;
        UINT Count;
        HRESULT Expected;
        std::vector<std::wstring> Selection;
    } const cases[] = {
        {two, 2, S_OK, {two[0], two[1]}}, {two, 1, S_OK, {two[0]}},       {two, 0, S_OK, {}},
        {nullptr, 0, S_OK, {}},           {nullptr, 3, E_INVALIDARG, {}}, {withNull, 2, E_INVALIDARG, {}},
    };
    for (const auto& item : cases)
    {
        CShellMenuHandler* handler = NewHandler();
        const wchar_t* before[] = {L"C:\\before.txt"};
        ASSERT_EQ(S_OK, handler->InitContextMenu(0, before, 1));
        handler->IsDropTarget = true;
        handler->DropFolder = L"C:\\drop\\";
        EXPECT_EQ(item.Expected, handler->InitContextMenu(0xDEADBEEF, item.Names, item.Count));
        EXPECT_EQ(item.Selection, Names(*handler));
        EXPECT_FALSE(handler->IsDropTarget);
    }
}

// Every allocation made while a selection is taken fails once in turn: a right-button drag
// through IShellExtInit in both character widths, and names through IHostMenuInit.
TEST_F(HandlerTest, ExhaustedMemoryWhileTakingASelectionGivesOutOfMemoryAndAnEmptySelection)
{
    const CWideString target = _scratch.AddFolder(L"target");
    _scratch.AddFile(L"first.txt");
    _scratch.AddFile(L"second.zip");
    CComRef<IDataObject> data;
    ASSERT_EQ(S_OK, CreateShellDataObject(_scratch.Path(), {L"first.txt", L"second.zip"}, data.Out()));
    CTestIdList folder;
    ASSERT_TRUE(folder.Parse(target));
    const wchar_t* names[] = {L"C:\\Work\\report.zip", L"C:\\Work\\data", L"C:\\Work\\notes.txt"};
    const auto initialize = [&](CShellMenuHandler* handler)
    { return handler->Initialize(folder.Get(), data.Get(), nullptr); };
    const auto initContextMenu = [&](CShellMenuHandler* handler) { return handler->InitContextMenu(0, names, 3); };
    struct
    {
        bool Wide;
        std::function<HRESULT(CShellMenuHandler*)> Take;
        int Count;
        bool IsDropTarget;
    } const cases[] = {
        {true, initialize, 2, true},
        {false, initialize, 2, true},
        {true, initContextMenu, 3, false},
    };
    for (const auto& item : cases)
    {
        CWidePathScope widePath(item.Wide);
        int failures = 0;
        for (long n = 1;; n++)
        {
            ASSERT_LT(n, 200);
            const long blocksBefore = AllocHooks::LiveBlocks();
            IContextMenu* menu = nullptr;
            {
                CComRef<IClassFactory> factory;
                ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ShellMenuHandler, IID_IClassFactory, factory.OutVoid()));
                ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
            }
            CShellMenuHandler* handler = static_cast<CShellMenuHandler*>(menu);
            const wchar_t* before[] = {L"C:\\before.txt"};
            ASSERT_EQ(S_OK, handler->InitContextMenu(0, before, 1));
            CAllocationFailure failure(n);
            const HRESULT result = item.Take(handler);
            const bool failed = failure.Disarm();
            if (failed)
                failures++;
            EXPECT_EQ(failed ? E_OUTOFMEMORY : S_OK, result) << "allocation " << n << ", case " << (&item - cases);
            EXPECT_EQ(failed ? 0 : item.Count, handler->SelectedNames.Count());
            EXPECT_EQ(!failed && item.IsDropTarget, handler->IsDropTarget);
            EXPECT_EQ(0u, menu->Release());
            EXPECT_EQ(blocksBefore, AllocHooks::LiveBlocks()) << "allocation " << n << ", case " << (&item - cases);
            if (!failed)
                break;
        }
        EXPECT_GE(failures, 3);
    }
}
