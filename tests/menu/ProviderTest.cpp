// The Explorer command provider as Windows 11's Explorer uses it, where the end-to-end run cannot
// reach: hostile item arrays, memory running out in each method, refused pointers and requests,
// the settings that hide it, its canonical names, and the manifest that names its class.
#include "ShellTestSupport.h"

#include "ShellItems.h"

#include "lang/Language.h"
#include "menu/CommandTable.h"
#include "settings/ShellIntegration.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <regex>

namespace
{
using CCommands = std::vector<CComRef<IExplorerCommand>>;
const HRESULT kAccessDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

// An item whose file-system path is `Path` (none when empty), and an array that gives `Count`
// items: `Items[i]` (the last one again past its end), null, or, from index `FailAt`, a failure.
// Counted in `Balance` instead of freed: they live on the test's stack.
struct CScriptedItem : IShellItem
{
    explicit CScriptedItem(std::wstring path) : Path(std::move(path)) {}
    STDMETHOD(QueryInterface)(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++Balance; }
    STDMETHOD_(ULONG, Release)() override { return --Balance; }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetParent)(IShellItem**) override { return E_NOTIMPL; }
    STDMETHOD(GetDisplayName)(SIGDN, LPWSTR* name) override
    {
        *name = Path.empty() ? nullptr : static_cast<LPWSTR>(CoTaskMemAlloc((Path.size() + 1) * sizeof(wchar_t)));
        return *name == nullptr ? E_INVALIDARG : (wcscpy(*name, Path.c_str()), S_OK);
    }
    STDMETHOD(GetAttributes)(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(Compare)(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
    std::wstring Path;
    long Balance = 0;
};

struct CScriptedItemArray : IShellItemArray
{
    CScriptedItemArray(DWORD count, std::vector<IShellItem*> items, DWORD failAt = ~0u)
        : Count(count), Items(std::move(items)), FailAt(failAt)
    {
    }
    STDMETHOD(QueryInterface)(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(BindToHandler)(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyStore)(GETPROPERTYSTOREFLAGS, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetPropertyDescriptionList)(REFPROPERTYKEY, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHOD(GetAttributes)(SIATTRIBFLAGS, SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHOD(GetCount)(DWORD* count) override { return *count = Count, S_OK; }
    STDMETHOD(GetItemAt)(DWORD index, IShellItem** item) override
    {
        *item = nullptr;
        if (index >= FailAt)
            return kAccessDenied;
        if (!Items.empty())
            (*item = Items[std::min<size_t>(index, Items.size() - 1)])->AddRef();
        return S_OK;
    }
    STDMETHOD(EnumItems)(IEnumShellItems**) override { return E_NOTIMPL; }
    DWORD Count;
    std::vector<IShellItem*> Items;
    DWORD FailAt;
};

std::wstring Title(IExplorerCommand* command)
{
    LPWSTR text = nullptr;
    const HRESULT result = command->GetTitle(nullptr, &text);
    const std::wstring title = result == S_OK ? text : L"(failed)";
    CoTaskMemFree(text);
    return title;
}

// The shell's id list of a path; null where the shell knows no such item.
CIdList PathIdList(const std::wstring& path)
{
    CIdList list;
    SHParseDisplayName(path.c_str(), nullptr, list.Put(), 0, nullptr);
    return list;
}

// The shell's own item array of the paths.
CComRef<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths)
{
    std::vector<CIdList> lists;
    std::vector<PCIDLIST_ABSOLUTE> pointers;
    for (const std::wstring& path : paths)
    {
        lists.push_back(PathIdList(path));
        pointers.push_back(lists.back().Get());
    }
    CComRef<IShellItemArray> items;
    EXPECT_EQ(S_OK, MakeShellItemArray(pointers, items));
    return items;
}

// The provider as Explorer gets it: from the class factory, in a single-threaded apartment, with the
// shell integration on and the settings as an installation leaves them; the stand-in archiver
// beside the test program logs what it is given.
class ProviderTest : public CSettingsRegistryTest
{
protected:
    void SetUp() override
    {
        LoadLanguageOnce(); // loaded once per process: not a leak of any one test
        CSettingsRegistryTest::SetUp();
        _apartment = CoInitialize(nullptr);
        RegisterShellIntegration();
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_ExplorerCommandProvider, IID_IClassFactory, Factory.PutVoid()));
        ASSERT_EQ(S_OK, Factory->CreateInstance(nullptr, IID_IExplorerCommand, Top.PutVoid()));
        Archive = Scratch.AddFile(L"report.zip", "x").Ptr();
        Text = Scratch.AddFile(L"notes.txt", "x").Ptr();
    }
    void TearDown() override
    {
        Top.Reset();
        Factory.Reset();
        if (SUCCEEDED(_apartment))
            CoUninitialize();
        EXPECT_EQ(0, g_LiveObjectCount) << "COM objects of the module left alive";
        CSettingsRegistryTest::TearDown();
    }
    // GetState for the items, then the sub-commands EnumSubCommands hands out.
    CCommands Listed(IShellItemArray* items, EXPCMDSTATE* state = nullptr)
    {
        EXPCMDSTATE shown = ECS_DISABLED;
        EXPECT_EQ(S_OK, Top->GetState(items, TRUE, &shown));
        if (state != nullptr)
            *state = shown;
        CComRef<IEnumExplorerCommand> commands;
        EXPECT_EQ(S_OK, Top->EnumSubCommands(commands.Put()));
        CCommands list;
        for (CComRef<IExplorerCommand> next; commands && commands->Next(1, next.Put(), nullptr) == S_OK;)
            list.push_back(std::move(next));
        return list;
    }
    bool ArchiverStarted() const { return GetFileAttributesW(_log.c_str()) != INVALID_FILE_ATTRIBUTES; }

    CScratchFolder Scratch;
    std::wstring Archive, Text;
    CComRef<IClassFactory> Factory;
    CComRef<IExplorerCommand> Top;

private:
    HRESULT _apartment = E_FAIL;
    CRegistrySnapshot _shellex[4] = {{HKEY_CLASSES_ROOT, L"*\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Folder\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Directory\\shellex"},
                                     {HKEY_CLASSES_ROOT, L"Drive\\shellex"}};
    CScratchFolder _logs;
    std::wstring _log = std::wstring(_logs.Path().Ptr()) + L"VNTXG.txt";
    CEnvironmentVariable _logVariable{L"VANTOR_ARCHIVER_LOG", _log.c_str()};
};

// Whatever the array holds, the answer is clear and nothing starts: "Extract to" (listed for an
// archive) invoked with the array is refused unless the array offers it.
TEST_F(ProviderTest, HostileItemArraysGiveClearAnswersAndStartNothing)
{
    CIdList drives; // My Computer: no file-system path
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.Put()));
    const CIdList text = PathIdList(Text);
    CComRef<IShellItemArray> virtualItem, mixed, many;
    ASSERT_EQ(S_OK, MakeShellItemArray({drives.Get()}, virtualItem));
    ASSERT_EQ(S_OK, MakeShellItemArray({text.Get(), drives.Get()}, mixed));
    ASSERT_EQ(S_OK, MakeShellItemArray(std::vector<PCIDLIST_ABSOLUTE>(10000, text.Get()), many));
    // A file whose full path is past MAX_PATH, as an NTFS volume may hold one.
    const std::wstring longName = std::wstring(Scratch.Path().Ptr()) + std::wstring(250, L'a') + L".zip";
    const HANDLE made =
        CreateFileW((L"\\\\?\\" + longName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, made);
    CloseHandle(made);
    CScriptedItem archive(Archive), unnamed(L""), pastMaxPath(longName);
    CScriptedItemArray empty(0, {}), broken(2, {&archive}, 1), nullItem(1, {}), tooLong(1, {&pastMaxPath}),
        unnamedOnly(1, {&unnamed});

    const CCommands commands = Listed(ShellItems({Archive}).Get());
    ASSERT_EQ(11u, commands.size());
    const CComRef<IExplorerCommand>& extractTo = commands[3];
    EXPECT_EQ(L"Extract to \"report\\\"", Title(extractTo.Get()));
    const struct
    {
        const wchar_t* What;
        IShellItemArray* Items;
        EXPCMDSTATE State;
        size_t SubCommands;
        HRESULT Invoked;
    } cases[] = {
        {L"null", nullptr, ECS_HIDDEN, 0, E_INVALIDARG},
        {L"empty", &empty, ECS_HIDDEN, 0, E_FAIL},
        {L"virtual item", virtualItem.Get(), ECS_HIDDEN, 0, E_FAIL},
        {L"item without a path", &unnamedOnly, ECS_HIDDEN, 0, E_FAIL},
        {L"item that fails", &broken, ECS_HIDDEN, 0, kAccessDenied},
        {L"null item", &nullItem, ECS_HIDDEN, 0, E_POINTER},
        {L"name past MAX_PATH", &tooLong, ECS_HIDDEN, 0, E_FAIL},
        {L"file and virtual item", mixed.Get(), ECS_ENABLED, 6, E_FAIL}, // the file alone, no archive
        {L"10,000 items", many.Get(), ECS_ENABLED, 6, E_FAIL},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(c.SubCommands, Listed(c.Items, &state).size());
        EXPECT_EQ(c.State, state);
        EXPECT_EQ(c.Invoked, extractTo->Invoke(c.Items, nullptr));
    }
    EXPECT_FALSE(ArchiverStarted());
    EXPECT_EQ(0, archive.Balance + unnamed.Balance + pastMaxPath.Balance) << "item references kept";
}

// Hidden while the options' integration is off, or while no command of the mask applies.
TEST_F(ProviderTest, TheItemIsHiddenWhileTheIntegrationIsOffOrNoCommandApplies)
{
    const struct
    {
        bool Integrated;
        DWORD Mask; // ~0: none stored
        bool Archive;
        EXPCMDSTATE State;
        size_t SubCommands;
    } cases[] = {
        {true, ~0u, true, ECS_ENABLED, 11}, {false, ~0u, true, ECS_HIDDEN, 0},  {true, 0, true, ECS_HIDDEN, 0},
        {true, 0x20, false, ECS_HIDDEN, 0}, {true, 0x20, true, ECS_ENABLED, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        c.Integrated ? RegisterShellIntegration() : UnregisterShellIntegration();
        DeleteRegistryTree(HKEY_CURRENT_USER, kSettingsRoot);
        if (c.Mask != ~0u)
            SetRaw(HKEY_CURRENT_USER, kSettingsRoot + L"\\Options", L"ContextMenu", Dword(c.Mask));
        EXPCMDSTATE state = ECS_DISABLED;
        EXPECT_EQ(c.SubCommands, Listed(ShellItems({c.Archive ? Archive : Text}).Get(), &state).size());
        EXPECT_EQ(c.State, state);
    }
}

// No exception leaves a method, every failure is E_OUTOFMEMORY, nothing leaks; a launch that could
// not be prepared shows the error box.
TEST_F(ProviderTest, ExhaustedMemoryInEachMethodGivesOutOfMemoryAndLeaksNothing)
{
    const CComRef<IShellItemArray> items = ShellItems({Archive});
    const CCommands commands = Listed(items.Get());
    ASSERT_EQ(11u, commands.size());
    CDialogWatcher watcher(L"Vantor");
    // Each run of GetState and EnumSubCommands has a provider of its own: GetState replaces the list.
    CComRef<IExplorerCommand> fresh;
    const auto newProvider = [&]
    { ASSERT_EQ(S_OK, Factory->CreateInstance(nullptr, IID_IExplorerCommand, fresh.PutVoid())); };
    const auto listedProvider = [&]
    {
        newProvider();
        EXPCMDSTATE state = ECS_HIDDEN;
        ASSERT_EQ(S_OK, fresh->GetState(items.Get(), TRUE, &state));
    };
    const struct
    {
        const char* What;
        std::function<void()> Prepare;
        std::function<HRESULT()> Call;
        HRESULT Done;
    } cases[] = {
        {"CreateInstance", nullptr,
         [&]
         {
             CComRef<IExplorerCommand> created;
             const HRESULT result = Factory->CreateInstance(nullptr, IID_IExplorerCommand, created.PutVoid());
             return result == S_OK && !created ? E_UNEXPECTED : result;
         },
         S_OK},
        {"GetState", newProvider,
         [&]
         {
             EXPCMDSTATE state = ECS_DISABLED;
             const HRESULT result = fresh->GetState(items.Get(), TRUE, &state);
             return state == (result == S_OK ? ECS_ENABLED : ECS_HIDDEN) ? result : E_UNEXPECTED;
         },
         S_OK},
        {"EnumSubCommands and Next", listedProvider,
         [&]
         {
             CComRef<IEnumExplorerCommand> list;
             IExplorerCommand* got[12] = {};
             ULONG fetched = 0;
             HRESULT result = fresh->EnumSubCommands(list.Put());
             if (result == S_OK)
                 result = list->Next(12, got, &fetched);
             for (ULONG i = 0; i < fetched && i < 12; i++)
                 got[i]->Release();
             return result == S_FALSE && fetched != 11 ? E_UNEXPECTED : result;
         },
         S_FALSE},
        {"Invoke", nullptr, [&] { return commands[3]->Invoke(items.Get(), nullptr); }, S_OK},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        HRESULT result = E_UNEXPECTED;
        EXPECT_GT(ForEachAllocationFailure([&] { result = c.Call(); },
                                           [&](bool failed, bool threw)
                                           {
                                               EXPECT_FALSE(threw);
                                               EXPECT_EQ(failed ? E_OUTOFMEMORY : c.Done, result);
                                               fresh.Reset();
                                           },
                                           c.Prepare),
                  0);
    }
    EXPECT_FALSE(watcher.Stop().empty());
}

// Null out-pointers, requests the objects do not serve and the enumerator's contract.
TEST_F(ProviderTest, NullPointersAndRequestsNotServedAreRefused)
{
    const CComRef<IShellItemArray> items = ShellItems({Archive});
    const CCommands commands = Listed(items.Get());
    ASSERT_EQ(11u, commands.size());
    IExplorerCommand* const sub = commands[0].Get();
    CComRef<IEnumExplorerCommand> list;
    ASSERT_EQ(S_OK, Top->EnumSubCommands(list.Put()));
    CComRef<IObjectWithSite> site;
    ASSERT_EQ(S_OK, Top->QueryInterface(IID_IObjectWithSite, site.PutVoid()));
    void* object = nullptr;
    IExplorerCommand* got[2] = {};
    ULONG fetched = 0;
    const struct
    {
        const char* What;
        std::function<HRESULT()> Call;
        HRESULT Expected;
        bool ClearsObject = false; // given `object` as its out-pointer, which must come back null
    } cases[] = {
        {"GetTitle", [&] { return Top->GetTitle(items.Get(), nullptr); }, E_POINTER},
        {"GetIcon", [&] { return Top->GetIcon(items.Get(), nullptr); }, E_POINTER},
        {"GetToolTip", [&] { return Top->GetToolTip(items.Get(), nullptr); }, E_POINTER},
        {"GetCanonicalName", [&] { return Top->GetCanonicalName(nullptr); }, E_POINTER},
        {"GetState", [&] { return Top->GetState(items.Get(), TRUE, nullptr); }, E_POINTER},
        {"GetFlags", [&] { return Top->GetFlags(nullptr); }, E_POINTER},
        {"EnumSubCommands", [&] { return Top->EnumSubCommands(nullptr); }, E_POINTER},
        {"the top item's Invoke", [&] { return Top->Invoke(items.Get(), nullptr); }, E_NOTIMPL},
        {"IContextMenu", [&] { return Top->QueryInterface(IID_IContextMenu, &object); }, E_NOINTERFACE, true},
        {"GetSite before SetSite", [&] { return site->GetSite(IID_IUnknown, &object); }, E_FAIL, true},
        {"sub-command GetTitle", [&] { return sub->GetTitle(items.Get(), nullptr); }, E_POINTER},
        {"sub-command GetCanonicalName", [&] { return sub->GetCanonicalName(nullptr); }, E_POINTER},
        {"sub-command GetFlags", [&] { return sub->GetFlags(nullptr); }, E_POINTER},
        {"sub-command GetIcon", [&] { return sub->GetIcon(items.Get(), reinterpret_cast<LPWSTR*>(&object)); },
         E_NOTIMPL, true},
        {"sub-command EnumSubCommands",
         [&] { return sub->EnumSubCommands(reinterpret_cast<IEnumExplorerCommand**>(&object)); }, E_NOTIMPL, true},
        {"Next of two without a count", [&] { return list->Next(2, got, nullptr); }, E_INVALIDARG},
        {"Next without an array", [&] { return list->Next(1, nullptr, &fetched); }, E_POINTER},
        {"Skip past the end", [&] { return list->Skip(12); }, S_FALSE},
        {"Next at the end", [&] { return list->Next(1, got, &fetched); }, S_FALSE},
        {"Reset and Skip to the end", [&] { return list->Reset() == S_OK ? list->Skip(11) : E_UNEXPECTED; }, S_OK},
        {"Clone", [&] { return list->Clone(reinterpret_cast<IEnumExplorerCommand**>(&object)); }, E_NOTIMPL, true},
    };
    for (const auto& c : cases)
    {
        object = &object;
        EXPECT_EQ(c.Expected, c.Call()) << c.What;
        EXPECT_EQ(c.ClearsObject ? nullptr : &object, object) << c.What;
    }
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(nullptr, got[0]);
    // The site is held until Explorer takes it back, by the top item and the sub-commands alike; a
    // sub-command alone keeps the module loaded.
    CComRef<IObjectWithSite> subSite;
    ASSERT_EQ(S_OK, sub->QueryInterface(IID_IObjectWithSite, subSite.PutVoid()));
    for (IObjectWithSite* withSite : {site.Get(), subSite.Get()})
    {
        EXPECT_EQ(S_OK, withSite->SetSite(Factory.Get()));
        CComRef<IUnknown> held;
        EXPECT_EQ(S_OK, withSite->GetSite(IID_IUnknown, held.PutVoid()));
        EXPECT_EQ(static_cast<IUnknown*>(Factory.Get()), held.Get());
        EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
        EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, held.PutVoid()));
    }
    subSite.Reset();
    list.Reset();
    site.Reset();
    Top.Reset();
    Factory.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
}

// The manifest beside the test program, made by the build, names the class the module serves and
// the module's main verb.
TEST(PackageManifest, NamesTheModulesProviderClass)
{
    const CWideString folder = TestProgramFolder(); // an ASCII path
    std::ifstream file(std::string(folder.Ptr(), folder.Ptr() + folder.Length()) + "Package\\AppxManifest.xml");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string classId(kExplorerCommandProviderClassIdText.Text + 1, 36);
    std::vector<std::string> named, verbs;
    const std::regex pattern("(Clsid|com:Class Id|Verb Id)=\"([^\"]*)\"");
    for (std::sregex_iterator at(text.begin(), text.end(), pattern), end; at != end; ++at)
        ((*at)[1] == "Verb Id" ? verbs : named).push_back((*at)[2]);
    EXPECT_EQ(std::vector<std::string>(3, classId), named);
    EXPECT_EQ(std::vector<std::string>(2, std::string(g_MainVerb, g_MainVerb + wcslen(g_MainVerb))), verbs);
}
} // namespace
