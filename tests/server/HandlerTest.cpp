#include "ServerTestSupport.h"

#include <string>
#include <vector>

namespace
{
// A host's data object whose GetData answers with a fixed result and medium and records the
// format it was asked for. The medium's pUnkForRelease is the object itself: the releases
// beyond the references taken are those of the medium.
class CScriptedDataObject : public IDataObject
{
public:
    CScriptedDataObject(HRESULT result, DWORD tymed, HGLOBAL memory) : _result(result), _tymed(tymed), _memory(memory)
    {
    }

    STDMETHOD(QueryInterface)(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++AddRefs; }
    STDMETHOD_(ULONG, Release)() override { return ++Releases; }
    STDMETHOD(GetData)(FORMATETC* format, STGMEDIUM* medium) override
    {
        GetDataCalls++;
        AskedFormat = *format;
        // Filled also on failure: a handler that released it anyway would be caught.
        medium->tymed = _tymed;
        medium->hGlobal = _memory;
        medium->pUnkForRelease = this;
        return _result;
    }
    STDMETHOD(GetDataHere)(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHOD(QueryGetData)(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHOD(SetData)(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHOD(EnumFormatEtc)(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHOD(DAdvise)(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHOD(DUnadvise)(DWORD) override { return E_NOTIMPL; }
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA**) override { return E_NOTIMPL; }

    FORMATETC AskedFormat = {};
    int GetDataCalls = 0;
    ULONG AddRefs = 0;
    ULONG Releases = 0;

private:
    HRESULT _result;
    DWORD _tymed;
    HGLOBAL _memory;
};
} // namespace

class HandlerTest : public CFactoryTest
{
protected:
    CScratchFolder _scratch;
};

// A right-click hands over the names in the shell's order; a right-button drag adds the folder
// dropped on, which ends with exactly one backslash. A stale drag must not leak into the next.
// The wide drag cases run through COM in the built module (tests/com).
TEST_F(HandlerTest, InitializeTakesTheShellsSelectionAndDropFolderInBothWidths)
{
    const std::wstring target = _scratch.AddFolder(L"target").Ptr();
    const CTestIdList targetList(target.c_str()), root(L"C:\\"), drives(CSIDL_DRIVES);
    ASSERT_TRUE(targetList.Get() != nullptr && root.Get() != nullptr && drives.Get() != nullptr);
    const std::vector<std::wstring> one = {L"report.zip"};
    struct
    {
        bool Wide;
        std::vector<std::wstring> Names;
        const CTestIdList* Folder;
        bool IsDropTarget;
        std::wstring DropFolder;
    } const cases[] = {
        {true, {L"b b.txt", L"a.7z", L"sub", L"\x03A9mega.tar"}, nullptr, false, L""},
        {false, {L"b b.txt", L"a.7z", L"sub", L"caf\x00E9.tar"}, nullptr, false, L""}, // within code page 1252
        {false, one, &targetList, true, target + L"\\"},
        {false, one, &root, true, L"C:\\"},
        {false, one, &drives, false, L""}, // My Computer has no file-system path
    };
    for (const auto& item : cases)
    {
        SCOPED_TRACE(&item - cases);
        CWidePathScope widePath(item.Wide);
        std::vector<std::wstring> expected;
        for (const std::wstring& name : item.Names)
        {
            name == L"sub" ? _scratch.AddFolder(name.c_str()) : _scratch.AddFile(name.c_str());
            expected.push_back(_scratch.Path().Ptr() + name);
        }
        CComRef<IDataObject> data;
        ASSERT_EQ(S_OK,
                  CreateShellDataObject(_scratch.Path(), item.Names, reinterpret_cast<IDataObject**>(data.Out())));
        CShellMenuHandler* handler = NewHandler();
        handler->IsDropTarget = true;
        handler->DropFolder = L"D:\\old\\";
        EXPECT_EQ(S_OK, handler->Initialize(item.Folder ? item.Folder->Get() : nullptr, data.Get(), nullptr));
        EXPECT_EQ(expected, SelectedNames(*handler));
        EXPECT_EQ(item.IsDropTarget, handler->IsDropTarget);
        EXPECT_EQ(item.DropFolder, handler->DropFolder.Ptr());
        EXPECT_EQ(0u, static_cast<IContextMenu*>(handler)->Release());
    }
}

// Only a medium that GetData delivered is the handler's to release, exactly once; a drop list
// stays the data object's: unlocked as often as locked, never finished with DragFinish.
TEST_F(HandlerTest, InitializeReleasesOnlyDeliveredMediaAndReadsOnlyGlobalMemory)
{
    CShellMenuHandler* handler = NewHandler();
    const wchar_t* before[] = {L"C:\\before.txt"};
    ASSERT_EQ(S_OK, handler->InitContextMenu(0, before, 1));
    EXPECT_EQ(E_FAIL, handler->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, handler->SelectedNames.Count());

    const std::vector<std::wstring> names = {L"one.zip", L"two"};
    _scratch.AddFile(L"one.zip");
    _scratch.AddFolder(L"two");
    CComRef<IDataObject> shellData;
    ASSERT_EQ(S_OK, CreateShellDataObject(_scratch.Path(), names, reinterpret_cast<IDataObject**>(shellData.Out())));
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM dropList = {};
    ASSERT_EQ(S_OK, shellData->GetData(&format, &dropList));
    struct
    {
        HRESULT GetDataResult;
        DWORD Tymed;
        HRESULT Expected;
        ULONG Releases;
    } const cases[] = {
        {DV_E_FORMATETC, TYMED_HGLOBAL, DV_E_FORMATETC, 0},
        {DV_E_TYMED, TYMED_HGLOBAL, DV_E_TYMED, 0},
        {E_OUTOFMEMORY, TYMED_HGLOBAL, E_OUTOFMEMORY, 0},
        {S_FALSE, TYMED_HGLOBAL, S_FALSE, 0},
        {S_OK, TYMED_ISTREAM, DV_E_TYMED, 1},
        {S_OK, TYMED_HGLOBAL, S_OK, 1},
    };
    for (const bool wide : {true, false})
        for (const auto& item : cases)
        {
            SCOPED_TRACE(::testing::Message() << "case " << (&item - cases) << ", wide " << wide);
            CWidePathScope widePath(wide);
            // A stream medium is released through its own pointer: none is handed out here.
            CScriptedDataObject data(item.GetDataResult, item.Tymed,
                                     item.Tymed == TYMED_HGLOBAL ? dropList.hGlobal : nullptr);
            EXPECT_EQ(item.Expected, handler->Initialize(nullptr, &data, nullptr));
            EXPECT_EQ(item.Releases, data.Releases - data.AddRefs);
            std::vector<std::wstring> expected;
            for (const std::wstring& name : names)
                if (item.Expected == S_OK)
                    expected.push_back(_scratch.Path().Ptr() + name);
            EXPECT_EQ(expected, SelectedNames(*handler));
            ASSERT_EQ(1, data.GetDataCalls);
            EXPECT_EQ(15, data.AskedFormat.cfFormat);
            EXPECT_EQ(nullptr, data.AskedFormat.ptd);
            EXPECT_EQ(1u, data.AskedFormat.dwAspect);
            EXPECT_EQ(-1, data.AskedFormat.lindex);
            EXPECT_EQ(1u, data.AskedFormat.tymed);
            EXPECT_NE(0u, GlobalSize(dropList.hGlobal)) << "the block was freed";
            EXPECT_EQ(0u, GlobalFlags(dropList.hGlobal) & GMEM_LOCKCOUNT);
        }
    ReleaseStgMedium(&dropList);
    EXPECT_EQ(0u, static_cast<IContextMenu*>(handler)->Release());
}

// The product's file manager replaces the selection; a null array with names promised or a
// null name is refused with nothing taken.
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
    CShellMenuHandler* handler = NewHandler();
    for (const auto& item : cases)
    {
        SCOPED_TRACE(&item - cases);
        const wchar_t* before[] = {L"C:\\before.txt"};
        ASSERT_EQ(S_OK, handler->InitContextMenu(0, before, 1));
        handler->IsDropTarget = true;
        handler->DropFolder = L"C:\\drop\\";
        EXPECT_EQ(item.Expected, handler->InitContextMenu(0xDEADBEEF, item.Names, item.Count));
        EXPECT_EQ(item.Selection, SelectedNames(*handler));
        EXPECT_FALSE(handler->IsDropTarget);
    }
    EXPECT_EQ(0u, static_cast<IContextMenu*>(handler)->Release());
}
