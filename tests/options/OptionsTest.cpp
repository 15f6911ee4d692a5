// The options sheet worked as a user would (page states are CSheet::State() strings), the plug-in exports, the help.
#include "TestSupport.h"

#include "lang/Language.h"
#include "options/FoldersPage.h"
#include "options/HtmlHelp.h"
#include "options/OptionsPlugin.h"
#include "resources/ResourceIds.h"
#include "settings/RegistryRefusal.h"
#include "settings/ShellIntegration.h"

#include <commctrl.h>
#include <olectl.h>
#include <shlobj.h>

#include <array>
#include <fstream>
#include <list>

namespace
{
const std::wstring kOptionsKey = kSettingsRoot + L"\\Options";
const char kFake[] = "vantor_fake_hhctrl.dll";

std::string ReadAll(const CWideString& path)
{
    std::ifstream file(path.Ptr(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The shell's handler keys of the product that exist, as "path;path;".
std::wstring HandlerKeys()
{
    std::wstring found;
    for (const std::wstring shellClass : {L"*", L"Folder", L"Directory", L"Drive"})
        for (const wchar_t* kind : {L"\\shellex\\ContextMenuHandlers\\VANTOR", L"\\shellex\\DragDropHandlers\\VANTOR"})
            found += RegistryKeyExists(HKEY_CLASSES_ROOT, shellClass + kind) ? shellClass + kind + L";" : L"";
    return found;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000)
{
    for (const DWORD start = GetTickCount(); !condition(); Sleep(20))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(512, L'\0');
    return text.substr(0, GetWindowTextW(window, text.data(), 512));
}

struct CSheet
{
    HWND Window;

    HWND Item(int itemId) const { return GetDlgItem(PropSheet_GetCurrentPageHwnd(Window), itemId); }
    HWND List() const { return Item(IDC_SYSTEM_ITEMS_LIST); }
    bool ApplyEnabled() const { return IsWindowEnabled(GetDlgItem(Window, 0x3021)) != FALSE; }
    // After OK or Cancel the sheet's loop must wake up to end.
    void Press(int button) const
    {
        SendMessageW(Window, PSM_PRESSBUTTON, button, 0);
        PostMessageW(Window, WM_NULL, 0, 0);
    }
    // The page's controls in tab order: box or radio "1"/"0", edit "<text>", button "b", list "{1101}"; "-": disabled.
    std::wstring State() const
    {
        std::wstring state;
        for (HWND c = GetWindow(PropSheet_GetCurrentPageHwnd(Window), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        {
            wchar_t name[32] = {};
            GetClassNameW(c, name, 32);
            const LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            std::wstring part;
            for (int row = 0; lstrcmpiW(name, WC_LISTVIEWW) == 0 && row < ListView_GetItemCount(c); row++)
                part += ListView_GetCheckState(c, row) == 1 ? L"1" : L"0";
            if (lstrcmpiW(name, WC_LISTVIEWW) == 0)
                part = L"{" + part + L"}";
            else if (lstrcmpiW(name, L"Edit") == 0)
                part = L"<" + WindowText(c) + L">";
            else if (lstrcmpiW(name, L"Button") == 0 && type != BS_GROUPBOX)
                part = type == BS_PUSHBUTTON ? L"b" : SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? L"1" : L"0";
            state += part.empty() || IsWindowEnabled(c) ? part : L"-" + part;
        }
        return state;
    }
};

// ShowOptions while `script` works the sheet from another thread; one that stops early is cancelled.
HRESULT ShowOptionsWith(IPluginOptions* plugin, const std::function<void(const CSheet&)>& script)
{
    bool shown = false;
    CDialogWatcher watcher(nullptr,
                           [&](HWND dialog)
                           {
                               if (PropSheet_GetTabControl(dialog) == nullptr)
                                   return;
                               shown = true;
                               script(CSheet{dialog});
                               EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 2000)) << "left open";
                               CSheet{dialog}.Press(PSBTN_CANCEL);
                           });
    const HRESULT result = plugin->ShowOptions(nullptr, 0x12345678); // the second argument means nothing
    watcher.Stop();
    EXPECT_EQ(SUCCEEDED(result), shown) << "a sheet if and only if ShowOptions succeeded";
    return result;
}

// Keeps the shell's keys as found and starts without settings; the object is made before the heap is counted.
class OptionsTest : public CSettingsRegistryTest
{
protected:
    void SetUp() override
    {
        for (const std::wstring key : {L"*", L"Folder", L"Directory", L"Drive", L"CLSID"})
            Guards.emplace_back(HKEY_CLASSES_ROOT, key == L"CLSID" ? kHandlerClassKey : key + L"\\shellex");
        Guards.emplace_back(HKEY_LOCAL_MACHINE,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved");
        ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, reinterpret_cast<void**>(&Plugin)));
        CSettingsRegistryTest::SetUp();
    }
    void TearDown() override
    {
        CSettingsRegistryTest::TearDown();
        EXPECT_EQ(0u, Plugin != nullptr ? Plugin->Release() : 0u);
    }
    void Set(const wchar_t* name, const CStored& value) { SetRaw(HKEY_CURRENT_USER, kOptionsKey, name, value); }
    static CStored Option(const wchar_t* name) { return RawValue(HKEY_CURRENT_USER, kOptionsKey, name); }

    IPluginOptions* Plugin = nullptr;
    std::list<CRegistrySnapshot> Guards;
    CScratchFolder Scratch;
    // What the stand-in help control beside the test program was asked, a line a call.
    const CWideString HelpLog = Scratch.Path() + L"help.log";
    CEnvironmentVariable HelpLogVariable{L"VANTOR_FAKE_HELP_LOG", HelpLog};
    const std::wstring Folder = TestProgramFolder().Ptr(), Fake = Folder + L"vantor_fake_hhctrl.dll";
};

// A command list refusing the row of "Extract to" (3) as one out of memory would; subclassed at birth.
WNDPROC g_ListProc = nullptr;
LRESULT CALLBACK RefusingListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool refused = message == LVM_INSERTITEMW && reinterpret_cast<const LVITEMW*>(lParam)->iItem == 3;
    return refused ? -1 : CallWindowProcW(g_ListProc, window, message, wParam, lParam);
}
LRESULT CALLBACK SubclassListOnCreation(int code, WPARAM wParam, LPARAM lParam)
{
    wchar_t name[32] = {};
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_CREATEWND && GetClassNameW(window, name, 32) > 0 && lstrcmpW(name, WC_LISTVIEWW) == 0)
        g_ListProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefusingListProc)));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// One object shows the sheet as often as asked; OK saves what opened pages show, the mask only with rows' bits.
TEST_F(OptionsTest, PagesShowWhatIsStoredAndOkSavesWhatTheyShow)
{
    const wchar_t* const names[5] = {L"ContextMenu", L"CascadedMenu", L"WorkDirType", L"WorkDirPath",
                                     L"TempRemovableOnly"};
    // {stored by the names above (none: absent), registered, System page, Folders page (null: not opened), mask}
    const CStored none = kNoValue;
    const std::tuple<std::array<CStored, 5>, bool, const wchar_t*, const wchar_t*, DWORD> cases[] = {
        {{Dword(0), Dword(0), Dword(2), Text(L"D:\\Work"), Dword(0)}, true, L"10{00000000000}", L"001<D:\\Work>b0", 0},
        {{Dword(0x28), Dword(1), Dword(0), Text(L"E:\\"), Dword(1)}, false, L"01{10000000000}", L"100-<E:\\>-b1", 0x20},
        {{Dword(0x2205), Dword(0), Dword(1), Text(L""), Dword(0)}, true, L"10{01010011000}", L"010-<>-b0", 0x2205},
        {{Dword(0x1D12), Dword(1), Dword(2), none, Dword(0)}, false, L"01{00101100111}", L"100-<>-b0", 0x1D12},
        {{none, Dword(1), Dword(3), Text(L"F:\\x"), none}, false, L"01{11111111111}", L"100-<F:\\x>-b1", 0x3F37},
        {{Dword(0x3F37), Dword(1), Dword(7), none, none}, false, L"01{11111111111}", nullptr, 0x3F37}};
    for (const auto& [stored, registered, system, folders, mask] : cases)
    {
        SCOPED_TRACE(testing::Message() << system << " " << (folders ? folders : L""));
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        for (int i = 0; i < 5; i++)
            Set(names[i], stored[i]); // nothing stored: the key alone
        registered ? RegisterShellIntegration() : UnregisterShellIntegration();
        const std::wstring handlers = HandlerKeys();
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                        [&](const CSheet& s)
                                        {
                                            EXPECT_EQ(system, s.State());
                                            PropSheet_SetCurSel(s.Window, nullptr, folders ? 1 : 0);
                                            EXPECT_EQ(folders ? folders : system, s.State());
                                            EXPECT_FALSE(s.ApplyEnabled());
                                            s.Press(PSBTN_OK);
                                        }));
        // A specified folder without a path was shown, and is saved, as the system's.
        const std::wstring shown = folders != nullptr ? folders : L"";
        const size_t path = shown.find(L'<') + 1;
        const CStored saved[5] = {Dword(mask), Dword(system[1] == L'1'),
                                  folders ? Dword(static_cast<DWORD>(shown.find(L'1'))) : stored[2],
                                  folders ? Text(shown.substr(path, shown.find(L'>') - path)) : stored[3],
                                  folders ? Dword(shown.back() == L'1') : stored[4]};
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(saved[i], Option(names[i])) << names[i];
        EXPECT_EQ(handlers, HandlerKeys());
    }
}

// A lost class key or handler key comes back with the next OK.
TEST_F(OptionsTest, EveryOkRegistersAnewAndUnregistersOnlyWhenTheBoxWasCleared)
{
    RegisterShellIntegration();
    const std::wstring all = HandlerKeys();
    // {key removed, clicks, the boxes shown, handler keys after OK (all, before, none), class key kept}
    const std::tuple<std::wstring, std::vector<int>, const wchar_t*, const wchar_t*, bool> steps[] = {
        {kHandlerClassKey, {}, L"11", L"all", true},
        {L"Drive\\shellex\\DragDropHandlers\\VANTOR", {IDC_SYSTEM_CASCADED}, L"01", L"before", true},
        {L"", {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_INTEGRATE}, L"00", L"", false},
        {L"", {IDC_SYSTEM_INTEGRATE}, L"00", L"all", true}};
    for (const auto& [removed, clicks, shown, after, classKept] : steps)
    {
        if (!removed.empty())
            DeleteRegistryTree(HKEY_CLASSES_ROOT, removed.c_str());
        const std::wstring before = HandlerKeys();
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                        [&](const CSheet& s)
                                        {
                                            EXPECT_EQ(shown, s.State().substr(0, 2));
                                            for (int item : clicks)
                                                SendMessageW(s.Item(item), BM_CLICK, 0, 0);
                                            s.Press(PSBTN_OK);
                                        }));
        EXPECT_EQ(*after == L'a' ? all : *after == L'b' ? before : L"", HandlerKeys()) << shown;
        EXPECT_EQ(classKept ? Text(L"Apartment") : kNoValue,
                  RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey + L"\\InprocServer32", L"ThreadingModel"));
    }
}

// The list refuses the row of "Extract to" (its bit 0x4 is dropped); only a changed tick enables Apply.
TEST_F(OptionsTest, TheListSavesTheTicksItShowsAndCancelKeepsWhatWasApplied)
{
    Set(L"ContextMenu", Dword(0x1 | 0x4));
    HHOOK hook = SetWindowsHookExW(WH_CBT, SubclassListOnCreation, nullptr, GetCurrentThreadId());
    EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                    [](const CSheet& s)
                                    {
                                        EXPECT_EQ(L"{0100000000}", s.State().substr(2));
                                        ListView_SetItemState(s.List(), -1, LVIS_SELECTED, LVIS_SELECTED);
                                        EXPECT_FALSE(s.ApplyEnabled());
                                        ListView_SetCheckState(s.List(), 9, TRUE); // Compress and email...
                                        EXPECT_TRUE(s.ApplyEnabled());
                                        s.Press(PSBTN_APPLYNOW);
                                        EXPECT_FALSE(s.ApplyEnabled());
                                        ListView_SetCheckState(s.List(), 0, TRUE);
                                        s.Press(PSBTN_CANCEL);
                                    }));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(Dword(0x1 | 0x400), Option(L"ContextMenu"));
}

// Failing before the sheet shows: E_OUTOFMEMORY; a failed page saves nothing on OK (a whole one is cancelled).
TEST_F(OptionsTest, ExhaustedMemoryGivesOutOfMemoryOrAPageThatSavesNothing)
{
    Set(L"ContextMenu", Dword(0x28));
    Set(L"CascadedMenu", Dword(1));
    RegisterShellIntegration();
    const std::wstring registered = HandlerKeys();
    HRESULT result = S_OK;
    int notShown = 0, shown = 0;
    ForEachAllocationFailure(
        [&]
        {
            result = ShowOptionsWith(Plugin, [](const CSheet& s)
                                     { s.Press(ListView_GetItemCount(s.List()) == 11 ? PSBTN_CANCEL : PSBTN_OK); });
        },
        [&](bool failed, bool threw)
        {
            EXPECT_TRUE(!threw && (result == S_OK || (failed && result == E_OUTOFMEMORY))) << std::hex << result;
            (result == S_OK ? shown : notShown) += failed;
            EXPECT_EQ(std::make_tuple(Dword(0x28), Dword(1), registered),
                      std::make_tuple(Option(L"ContextMenu"), Option(L"CascadedMenu"), HandlerKeys()));
        });
    EXPECT_TRUE(notShown >= 4 && shown >= 10) << notShown << " not shown, " << shown << " shown";
}

// Without the rights to write the classes, ticking (a partial integration) or clearing the box brings one error box on
// the sheet, in the user's language; class and handler keys stay, the menu settings are saved, the box tells the truth.
// The built-in texts come last and stay loaded, as found.
TEST_F(OptionsTest, RefusedIntegrationIsReportedAndOnlyTheMenuSettingsAreSaved)
{
    const std::tuple<bool, const wchar_t*, std::wstring> cases[] = {
        {true, L"German",
         L"Die Einbindung in das Kontextmen\u00FC der Shell konnte nicht ge\u00E4ndert werden: Dazu sind "
         L"Administratorrechte n\u00F6tig."},
        {false, L"-", L"The shell context menu integration could not be changed: that needs administrator rights."}};
    for (const auto& [registered, language, text] : cases)
    {
        SCOPED_TRACE(language);
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(language));
        g_LangLoaded = false;
        LoadLanguageOnce();
        EXPECT_TRUE(registered ? DllRegisterServer() == S_OK && RegisterShellIntegration()
                               : DllUnregisterServer() == S_OK && UnregisterShellIntegration());
        SetRaw(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\VANTOR", L"", Text(kHandlerClassKey.substr(6)));
        const std::wstring handlers = HandlerKeys(), shown = registered ? L"10" : L"00";
        HWND sheet = nullptr;
        CDialogWatcher boxes(L"Vantor");
        RegistryHooks::RefuseMachineWrites(true);
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                        [&](const CSheet& s)
                                        {
                                            sheet = s.Window;
                                            for (int item : {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_CASCADED})
                                                SendMessageW(s.Item(item), BM_CLICK, 0, 0);
                                            s.Press(PSBTN_APPLYNOW);
                                            EXPECT_EQ(shown, s.State().substr(0, 2)); // read anew, as on reopening
                                            s.Press(PSBTN_OK); // the box as it is now: no second error box
                                        }));
        RegistryHooks::RefuseMachineWrites(false);
        const auto seen = boxes.Stop();
        ASSERT_EQ(1u, seen.size());
        EXPECT_EQ(
            std::make_tuple(text, true, sheet, handlers, registered ? Text(L"Apartment") : kNoValue, Dword(0)),
            std::make_tuple(seen[0].Text, seen[0].StopIcon, seen[0].Owner, HandlerKeys(),
                            RawValue(HKEY_CLASSES_ROOT, kHandlerClassKey + L"\\InprocServer32", L"ThreadingModel"),
                            Option(L"CascadedMenu")));
    }
}

// The page reacts to each click, not only to what it found when it was set up.
TEST_F(OptionsTest, ChoosingSpecifiedEnablesThePathAndItsButtonAndAnotherTypeDisablesThem)
{
    Set(L"WorkDirType", Dword(0));
    Set(L"WorkDirPath", Text(L"D:\\Work"));
    EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                    [](const CSheet& s)
                                    {
                                        PropSheet_SetCurSel(s.Window, nullptr, 1);
                                        SendMessageW(s.Item(IDC_FOLDERS_SPECIFIED), BM_CLICK, 0, 0);
                                        EXPECT_EQ(L"001<D:\\Work>b1", s.State());
                                        EXPECT_TRUE(s.ApplyEnabled());
                                        SendMessageW(s.Item(IDC_FOLDERS_CURRENT), BM_CLICK, 0, 0);
                                        EXPECT_EQ(L"010-<D:\\Work>-b1", s.State());
                                        s.Press(PSBTN_CANCEL);
                                    }));
}

// Typing in the path is a change the user made; the text the page put there at set-up is not.
TEST_F(OptionsTest, TypingInThePathEnablesApply)
{
    Set(L"WorkDirType", Dword(2));
    Set(L"WorkDirPath", Text(L"D:\\Work"));
    EXPECT_EQ(S_OK, ShowOptionsWith(Plugin,
                                    [](const CSheet& s)
                                    {
                                        PropSheet_SetCurSel(s.Window, nullptr, 1);
                                        EXPECT_FALSE(s.ApplyEnabled());
                                        SetWindowTextW(s.Item(IDC_FOLDERS_PATH), L"D:\\Typed");
                                        EXPECT_TRUE(s.ApplyEnabled());
                                        s.Press(PSBTN_CANCEL);
                                    }));
}

// {notification code, item id, handled}: anything but a click, and a click on a button the framework
// does not know, is left to the system.
TEST_F(OptionsTest, TheDialogFrameworkHandlesOnlyClicksOnItsOwnButtons)
{
    CPropertyPageBase page;
    for (const auto& [code, id, handled] : {std::make_tuple(BN_CLICKED, IDOK, true),
                                            {BN_CLICKED, IDHELP, true},
                                            {BN_CLICKED, 1015, false},
                                            {EN_CHANGE, IDOK, false},
                                            {BN_SETFOCUS, IDOK, false}})
        EXPECT_EQ(handled, page.OnCommandMessage(MAKEWPARAM(id, code), 0)) << code << " " << id;
}

// "..." opens the titled browser; the folder confirmed lands in the edit, Apply on; the page whole above 4 GB.
TEST_F(OptionsTest, TheFolderChosenInTheBrowserLandsInThePathAndEnablesApply)
{
    const CWideString start = Scratch.AddFolder(L"Start"), chosen = Scratch.AddFolder(L"Chosen");
    Set(L"WorkDirType", Dword(2));
    Set(L"WorkDirPath", Text(start.Ptr()));
#ifdef _WIN64
    CHighMemory high(sizeof(CFoldersPage));
    BYTE* place = high.Get();
#else
    alignas(CFoldersPage) BYTE place[sizeof(CFoldersPage)];
#endif
    ASSERT_NE(nullptr, place);
    CFoldersPage* page = new (place) CFoldersPage;
    HWND sheet = nullptr;
    CDialogWatcher watcher(
        nullptr,
        [&](HWND dialog)
        {
            if (sheet == nullptr)
            {
                EXPECT_EQ(L"001<" + std::wstring(start.Ptr()) + L">b1", CSheet{sheet = dialog}.State());
                // The browser is modal on the sheet's thread; the watcher answers it next.
                PostMessageW(CSheet{sheet}.Item(IDC_FOLDERS_BROWSE), BM_CLICK, 0, 0);
                return;
            }
            EXPECT_NE(nullptr,
                      FindWindowExW(dialog, nullptr, L"Static", L"Specify a location for temporary archive files."));
            const HWND tree = FindWindowExW(dialog, nullptr, WC_TREEVIEWW, nullptr);
            const auto name = [&](HTREEITEM item)
            {
                wchar_t text[MAX_PATH] = {};
                TVITEMW data = {TVIF_TEXT, item, 0, 0, text, MAX_PATH, 0, 0, 0, 0};
                SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data));
                return std::wstring(text);
            };
            // It opens on the folder the path names, or on a folder of its way there where Wine's
            // tree stops short; without the path it would open on the desktop.
            const std::wstring way = L"\\" + std::wstring(start.Ptr()) + L"\\";
            HTREEITEM item = nullptr;
            EXPECT_TRUE(WaitUntil(
                [&]
                {
                    item = TreeView_GetSelection(tree);
                    return item != nullptr && way.find(L"\\" + name(item) + L"\\") != std::wstring::npos;
                }))
                << name(item);
            // Then the user's clicks, down the tree by name to "Chosen": asked by path instead, Wine's
            // tree stops short of it now and then on a busy machine.
            if (name(item) == L"Start")
                item = TreeView_GetParent(tree, item);
            const std::wstring target(chosen.Ptr());
            for (size_t at = target.find(L"\\" + name(item) + L"\\") + name(item).size() + 2, end;
                 item != nullptr && at < target.size(); at = end + 1)
            {
                end = std::min(target.find(L'\\', at), target.size());
                TreeView_Expand(tree, item, TVE_EXPAND);
                HTREEITEM child = TreeView_GetChild(tree, item);
                while (child != nullptr && name(child) != target.substr(at, end - at))
                    child = TreeView_GetNextSibling(tree, child);
                item = child;
            }
            EXPECT_NE(nullptr, item);
            TreeView_SelectItem(tree, item);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(WaitUntil([&] { return CSheet{sheet}.ApplyEnabled(); }));
            EXPECT_EQ(chosen.Ptr(), WindowText(CSheet{sheet}.Item(IDC_FOLDERS_PATH)));
            CSheet{sheet}.Press(PSBTN_CANCEL);
        });
    COwningVector<CSheetPageInfo> pages;
    pages.Add(CSheetPageInfo{page, CWideString(), IDD_FOLDERS_PAGE});
    ShowPropertySheet(pages, nullptr, CWideString(L"Options"));
    EXPECT_EQ(2u, watcher.Stop().size());
    page->~CFoldersPage();
}

// The name, the class id's bytes, else VT_EMPTY ("0"), each in place of the value held before.
TEST_F(OptionsTest, PluginPropertiesReplaceTheHeldValue)
{
    const std::string name(reinterpret_cast<const char*>(L"Vantor"), 12),
        classId("\x69\x0F\x17\x23\xC1\x40\x8D\x27\x10\0\0\1\0\2\0", 16);
    for (ULONG id : {0, 1, 2, 3, 4, 100})
    {
        VARIANT value = {};
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"held before");
        EXPECT_EQ(S_OK, GetPluginProperty(id, &value));
        const char* bytes = reinterpret_cast<char*>(value.bstrVal);
        EXPECT_EQ(id == 0   ? name
                  : id == 3 ? classId
                            : "0",
                  value.vt != VT_BSTR ? std::to_string(value.vt) : std::string(bytes, SysStringByteLen(value.bstrVal)));
        VariantClear(&value);
    }
    EXPECT_EQ(E_POINTER, GetPluginProperty(0, nullptr));
}

TEST_F(OptionsTest, CreateObjectRefusesOtherIdsAndNulls)
{
    GUID otherClass = CLSID_OptionsPlugin, otherInterface = IID_IPluginOptions;
    otherClass.Data4[7] = 1;
    otherInterface.Data1 ^= 0x100;
    const GUID *plugin = &CLSID_OptionsPlugin, *options = &IID_IPluginOptions, *unknown = &IID_IUnknown;
    const HRESULT kNoClass = CLASS_E_CLASSNOTAVAILABLE;
    const std::tuple<const GUID*, const GUID*, HRESULT> creations[] = {
        {&otherClass, options, kNoClass}, {options, options, kNoClass}, {&otherClass, unknown, kNoClass},
        {nullptr, options, E_POINTER},    {plugin, nullptr, E_POINTER}, {plugin, &otherInterface, E_NOINTERFACE},
        {plugin, unknown, E_NOINTERFACE}};
    for (const auto& [classGuid, interfaceGuid, expected] : creations)
    {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(std::make_pair(expected, static_cast<void*>(nullptr)),
                  std::make_pair(CreateObject(classGuid, interfaceGuid, &object), object))
            << classGuid << ", " << interfaceGuid;
    }
    EXPECT_EQ(E_POINTER, CreateObject(plugin, options, nullptr));
}

// Memory running out, also while the language loads first, leaves no object and no stale pointer.
TEST_F(OptionsTest, CreateObjectOutOfMemoryLeavesTheObjectNull)
{
    SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(L"German"));
    void* object = nullptr;
    HRESULT result = S_OK;
    const int failures = ForEachAllocationFailure(
        [&] { result = CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, &object); },
        [&](bool failed, bool threw)
        {
            EXPECT_TRUE(!threw && (result == S_OK) == (object != nullptr)) << std::hex << result;
            EXPECT_TRUE(result == S_OK || (failed && result == E_OUTOFMEMORY)) << std::hex << result;
            if (object != nullptr)
                static_cast<IUnknown*>(object)->Release();
            g_LangTable.Entries.ClearAndRelease();
            g_LangName.ClearText();
        },
        [&]
        {
            object = reinterpret_cast<void*>(1);
            g_LangLoaded = false;
        });
    EXPECT_GT(failures, 2);
    g_LangLoaded = false; // the next object loads the language anew
}

TEST_F(OptionsTest, TheOptionsObjectAnswersIUnknownOnlyAndHoldsNoModuleLock)
{
    const LONG liveBefore = g_LiveObjectCount;
    IUnknown* made = nullptr;
    ASSERT_EQ(S_OK, CreateObject(&CLSID_OptionsPlugin, &IID_IPluginOptions, reinterpret_cast<void**>(&made)));
    EXPECT_EQ(liveBefore, g_LiveObjectCount);
    EXPECT_EQ(0u, made->Release());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(std::make_pair(E_NOINTERFACE, static_cast<void*>(nullptr)),
              std::make_pair(Plugin->QueryInterface(IID_IPluginOptions, &object), object));
    EXPECT_EQ(std::make_pair(S_OK, static_cast<void*>(static_cast<IUnknown*>(Plugin))),
              std::make_pair(Plugin->QueryInterface(IID_IUnknown, &object), object));
    EXPECT_EQ(1u, Plugin->Release());
}

// The help control's path is terminated and fits the old 260-byte buffer (4th row: no terminator). The registry's
// path, else the system folder's, never the program's where the fake lies; a failure is never retried.
TEST_F(OptionsTest, TheHelpControlIsFoundWithinItsBufferAndAFailedLoadIsNeverRetried)
{
    const wchar_t inprocKey[] = L"CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}\\InprocServer32";
    Guards.emplace_back(HKEY_CLASSES_ROOT, inprocKey); // a class key of the tests' own, not the process-wide one
    const std::wstring self = Folder + L"test_options.exe", a259(259, L'A'), a260(260, L'A');
    // {stored, path found, load attempts}
    // clang-format off
    const std::tuple<CStored, std::wstring, int> cases[] = {
{Text(Fake), Fake, 1}, {Text(self), self, 1}, {Text(L"C:\\h.ocx"), L"C:\\h.ocx", 2},
        {Text(L"C:\\h.ocx", 16), L"C:\\h.ocx", 2}, {Text(a259, 518), a259, 2}, {Text(a260, 520), L"", 1},
        {Text(a260), L"", 1}, {CStored{REG_BINARY, {'C', ':', '\\', 'b'}}, L"C:\\b", 2}, {Text(L""), L"", 1},
        {kNoValue, L"", 1}};
    // clang-format on
    for (const auto& [stored, expected, attempts] : cases)
    {
        SCOPED_TRACE(testing::Message() << expected.size() << " " << CWideString(expected.c_str()));
        const bool loads = &stored == &std::get<0>(cases[0]);
        DeleteFileW(HelpLog);
        DeleteRegistryTree(HKEY_CLASSES_ROOT, inprocKey);
        SetRaw(HKEY_CLASSES_ROOT, inprocKey, L"", stored);
        CHtmlHelpControl control("CLSID\\{6A1D0C52-7E0B-4C5E-9F0D-2B8F3C1A9E11}", kFake);
        CNarrowString path("stale");
        EXPECT_EQ(!expected.empty(), control.FindControlPath(path));
        EXPECT_EQ(std::string(expected.begin(), expected.end()), std::string(path.Ptr(), path.Length()));
        for (int call = 0; call < 2; call++)
            EXPECT_EQ(nullptr, control.Call(reinterpret_cast<HWND>(0x1234), "C:\\x.chm::/a.htm", 15, 7));
        EXPECT_EQ(
            std::make_tuple(attempts, !loads, loads),
            std::make_tuple(control.LoadAttempts(), control.LoadFailed(), control.Module() == GetModuleHandleA(kFake)));
        EXPECT_EQ(loads ? "4660|C:\\x.chm::/a.htm|15|7\n4660|C:\\x.chm::/a.htm|15|7\n" : "", ReadAll(HelpLog));
    }
}

// Also on the ANSI path, where what code page 1252 lacks (Cyrillic) arrives as "_"; pages ask for their topics, help
// loading once. Even a refused CreateObject loads the language first. 0x01000302 left out, 0x02000103 translated
// empty. A Lang value with a backslash is a path.
TEST_F(OptionsTest, TheSheetIsTranslatedAndEachPageAsksForItsHelpTopic)
{
    const char file[] = ";!@Lang@!UTF-8! test\n01000000 = \"Optionen \xE2\x82\xAC\"\n01000300 = \"Syst\xC3\xA8me\"\n"
                        "01000200 = \"\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB8\"\n01000301 = \"Integrieren\"\n"
                        "0200010F = \"Hinzuf\xC3\xBCgen zu {0}\"\n02000141 = \"<Archiv>\"\n02000103 = \"\"\n";
    SetRaw(HKEY_CURRENT_USER, kSettingsRoot, L"Lang", Text(Scratch.AddFile(L"Test.txt", file).Ptr()));
    const wchar_t helpKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    Guards.emplace_back(HKEY_CLASSES_ROOT, helpKey);
    SetRaw(HKEY_CLASSES_ROOT, helpKey, L"", Text(Fake));
    const std::string help = std::string(Folder.begin(), Folder.end()) + "Vantor.chm::/fm/plugins/Vantor/options.htm#";
    g_LangLoaded = false;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, CreateObject(&CLSID_OptionsPlugin, &IID_IUnknown, &object));
    EXPECT_TRUE(g_LangLoaded);
    for (bool wide : {true, false})
    {
        CWidePathScope width(wide);
        DeleteFileW(HelpLog);
        DeleteRegistryTree(HKEY_CURRENT_USER, kOptionsKey);
        const auto script = [&](const CSheet& s)
        {
            std::wstring texts = WindowText(s.Window);
            const auto add = [&texts](HWND window, UINT message, int index, auto item)
            {
                wchar_t text[64] = {};
                item.mask = TCIF_TEXT, item.pszText = text, item.cchTextMax = 64; // LVIF_TEXT is TCIF_TEXT
                SendMessageW(window, message, index, reinterpret_cast<LPARAM>(&item));
                texts += L"|" + std::wstring(text);
            };
            for (int tab : {0, 1})
                add(PropSheet_GetTabControl(s.Window), TCM_GETITEMW, tab, TCITEMW{});
            for (int item : {IDC_SYSTEM_INTEGRATE, IDC_SYSTEM_CASCADED})
                texts += L"|" + WindowText(s.Item(item));
            for (int row : {0, 3, 6, 7})
                add(s.List(), LVM_GETITEMTEXTW, row, LVITEMW{});
            EXPECT_EQ(std::wstring(L"Optionen \u20AC|Syst\u00E8me|") +
                          (wide ? L"\u041F\u0430\u043F\u043A\u0438" : L"_____") +
                          L"|Integrieren|Cascaded context menu||Extract to <Folder>|Compress to <Archiv>.zip and "
                          L"email|Hinzuf\u00FCgen zu <Archiv>.VNTX",
                      texts);
            s.Press(PSBTN_HELP);
            ListView_SetCheckState(s.List(), 0, FALSE);
            PropSheet_SetCurSel(s.Window, nullptr, 1);
            s.Press(PSBTN_HELP);
            s.Press(PSBTN_OK);
        };
        EXPECT_EQ(S_OK, ShowOptionsWith(Plugin, script)) << wide;
        EXPECT_EQ("0|" + help + "system|0|0\n0|" + help + "folders|0|0\n", ReadAll(HelpLog));
        EXPECT_EQ(Dword(0x3F37 & ~0x20), Option(L"ContextMenu"));
    }
    EXPECT_EQ(1, g_HtmlHelpControl.LoadAttempts());
    g_LangTable.Clear();
    g_LangLoaded = false; // the next object loads the language anew
}
} // namespace
