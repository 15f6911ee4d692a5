// ShellHost: plays Explorer for the context-menu and drag-and-drop handlers registered in
// HKEY_CLASSES_ROOT, with the platform's own objects: COM activation, the shell folder's data object,
// real popup menus. See HostUsageText for what it does and prints.
#include "CommandLine.h"
#include "CommandProvider.h"
#include "HandlerSet.h"
#include "MenuListing.h"
#include "MenuPicture.h"
#include "Output.h"
#include "Selection.h"
#include "ShellItems.h"

#include <shellapi.h>

#include <memory>

namespace
{
enum CExitCode
{
    ExitDone = 0,
    ExitUsage = 1,
    ExitSelection = 2,
    ExitNoHandler = 3,
    ExitInvoke = 4,
    ExitPicture = 5,
};

// Explorer's own items around the handlers' ones; ids above the range the handlers get.
struct CExplorerItem
{
    UINT Id;
    const wchar_t* Text; // null: a separator
};
const CExplorerItem ExplorerItemsBefore[] = {{0x8001, L"Open"}, {0, nullptr}};
const CExplorerItem ExplorerItemsAfter[] = {
    {0, nullptr},           {0x8002, L"Send To"},         {0, nullptr},        {0x8003, L"Cut"},    {0x8004, L"Copy"},
    {0, nullptr},           {0x8005, L"Create Shortcut"}, {0x8006, L"Delete"}, {0x8007, L"Rename"}, {0, nullptr},
    {0x8008, L"Properties"}};

void AppendExplorerItems(HMENU menu, const CExplorerItem* items, size_t count)
{
    for (size_t i = 0; i < count; i++)
    {
        if (items[i].Text == nullptr)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING, items[i].Id, items[i].Text);
    }
}

std::wstring NameOf(const std::wstring& fullPath)
{
    const size_t slash = fullPath.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash + 1 == fullPath.size())
        return fullPath;
    return fullPath.substr(slash + 1);
}

class COleScope
{
public:
    // Explorer's threads are single-threaded apartments; the handlers are registered "Apartment".
    COleScope() : _result(OleInitialize(nullptr)) {}
    ~COleScope()
    {
        if (SUCCEEDED(_result))
            OleUninitialize();
    }
    COleScope(const COleScope&) = delete;
    COleScope& operator=(const COleScope&) = delete;
    HRESULT Result() const { return _result; }

private:
    HRESULT _result;
};

class CMenuOwner
{
public:
    CMenuOwner() : _menu(CreatePopupMenu()) {}
    ~CMenuOwner()
    {
        if (_menu != nullptr)
            DestroyMenu(_menu);
    }
    CMenuOwner(const CMenuOwner&) = delete;
    CMenuOwner& operator=(const CMenuOwner&) = delete;
    HMENU Get() const { return _menu; }

private:
    HMENU _menu;
};

void PrintHandler(const CLoadedHandler& handler, UINT flags)
{
    std::wstring out = L"Handler " + handler.Entry.Name + L" " + handler.Entry.ClassIdText + L" from HKCR\\" +
                       handler.Entry.KeyPath + L"\n";
    if (FAILED(handler.CreateResult))
    {
        out += L"  CoCreateInstance = " + DescribeResult(handler.CreateResult) + L"\n";
    }
    else if (FAILED(handler.InitializeResult))
    {
        out += L"  Initialize = " + DescribeResult(handler.InitializeResult) + L"\n";
    }
    else
    {
        wchar_t range[128];
        wsprintfW(range, L"  QueryContextMenu(flags 0x%X, ids %u to %u) = ", flags, CHandlerSet::FirstCommandId,
                  CHandlerSet::LastCommandId);
        out += range + DescribeResult(handler.QueryResult);
        if (SUCCEEDED(handler.QueryResult))
        {
            wchar_t used[64];
            if (handler.IdCount == 0)
                wsprintfW(used, L": no ids used");
            else
                wsprintfW(used, L": %u ids used, %u to %u", handler.IdCount, handler.FirstId,
                          handler.FirstId + handler.IdCount - 1);
            out += used;
        }
        out += L"\n";
    }
    WriteOut(out);
}

int Invoke(const CHostOptions& options, const CHandlerSet& handlers, const std::vector<CMenuLine>& lines)
{
    if (!options.InvokeVerb.empty())
    {
        const CMenuLine* line = FindLineByVerb(lines, options.InvokeVerb);
        UINT offset = 0;
        const CLoadedHandler* owner = line != nullptr ? handlers.OwnerOf(line->Id, offset) : nullptr;
        if (owner != nullptr)
        {
            wchar_t where[64];
            wsprintfW(where, L" (id %u, offset %u of ", line->Id, offset);
            WriteOut(L"Invoke verb " + options.InvokeVerb + L": \"" + line->Text + L"\"" + where + owner->Entry.Name +
                     L")\n");
            const HRESULT result = CHandlerSet::InvokeVerb(*owner, options.InvokeVerb, nullptr);
            WriteOut(L"  InvokeCommand = " + DescribeResult(result) + L"\n");
            return SUCCEEDED(result) ? ExitDone : ExitInvoke;
        }

        // No item shows the verb: Explorer offers it to each handler in turn until one takes it.
        WriteOut(L"Invoke verb " + options.InvokeVerb + L": no item of the menu has it; offering it to each handler\n");
        for (const CLoadedHandler& handler : handlers.Handlers())
        {
            if (!handler.Menu)
                continue;
            const HRESULT result = CHandlerSet::InvokeVerb(handler, options.InvokeVerb, nullptr);
            WriteOut(L"  " + handler.Entry.Name + L": InvokeCommand = " + DescribeResult(result) + L"\n");
            if (SUCCEEDED(result))
                return ExitDone;
        }
        return ExitInvoke;
    }

    for (const CLoadedHandler& handler : handlers.Handlers())
    {
        if (handler.IdCount == 0)
            continue;
        wchar_t what[96];
        wsprintfW(what, L"Invoke offset %d of ", options.InvokeOffset);
        WriteOut(what + handler.Entry.Name + L"\n");
        const HRESULT result = CHandlerSet::InvokeOffset(handler, static_cast<UINT>(options.InvokeOffset), nullptr);
        WriteOut(L"  InvokeCommand = " + DescribeResult(result) + L"\n");
        return SUCCEEDED(result) ? ExitDone : ExitInvoke;
    }
    WriteOut(L"Invoke offset: no handler added items\n");
    return ExitInvoke;
}

// "Right-click on 2 items in C:\Work:" (or a right-drag onto a target) and the items' names.
std::wstring Heading(const std::vector<std::wstring>& paths, const std::wstring& target)
{
    const std::wstring parent = ParentFolder(paths[0]);
    wchar_t count[32];
    wsprintfW(count, L"%u item%s", static_cast<unsigned>(paths.size()), paths.size() == 1 ? L"" : L"s");
    std::wstring heading = !target.empty() ? L"Right-drag of " + std::wstring(count) + L" onto " + target
                                           : L"Right-click on " + std::wstring(count);
    heading += parent.empty() ? L" (drives):\n" : L" in " + parent + L":\n";
    for (const std::wstring& path : paths)
        heading += L"  " + NameOf(path) + L"\n";
    return heading;
}

// --handler NAME: only the registered entry of that name (any case) takes part.
void KeepOnlyHandler(std::vector<CHandlerEntry>& entries, const std::wstring& name)
{
    if (name.empty())
        return;
    std::vector<CHandlerEntry> chosen;
    for (const CHandlerEntry& entry : entries)
    {
        if (_wcsicmp(entry.Name.c_str(), name.c_str()) == 0)
            chosen.push_back(entry);
    }
    entries.swap(chosen);
}

// Windows 11's first-level menu: the Explorer commands registered for the items' classes, used as
// its Explorer uses them.
int RunProvider(const CHostOptions& options, const std::vector<std::wstring>& paths)
{
    WriteOut(Heading(paths, std::wstring()));
    const std::vector<std::wstring> classes = ClassNamesFor(ClassifyPath(paths[0]));
    std::vector<CHandlerEntry> entries = FindRegisteredCommands(classes);
    KeepOnlyHandler(entries, options.OnlyHandler);
    if (entries.empty())
    {
        std::wstring where;
        for (const std::wstring& className : classes)
            where += L" HKCR\\" + className + L"\\shell";
        WriteOut(L"No Explorer command registered under" + where + L"\n");
        return ExitNoHandler;
    }

    CShellSelection selection;
    std::wstring error;
    CComRef<IShellItemArray> items;
    HRESULT made = E_FAIL;
    if (!selection.Create(paths, error) || FAILED(made = MakeShellItemArray(selection.IdLists(), items)))
    {
        WriteErr(L"ShellHost: " + (error.empty() ? L"no shell item array: " + DescribeResult(made) : error) + L"\n");
        return ExitSelection;
    }

    std::vector<std::unique_ptr<CLoadedProvider>> providers;
    bool anyCreated = false;
    for (const CHandlerEntry& entry : entries)
    {
        providers.emplace_back(new CLoadedProvider);
        providers.back()->Load(entry, items.Get());
        WriteOut(providers.back()->Describe());
        anyCreated = anyCreated || !providers.back()->Items().empty();
    }
    if (options.PrintMenu)
    {
        for (const std::unique_ptr<CLoadedProvider>& provider : providers)
            WriteOut(provider->FormatMenu());
    }
    if (!anyCreated)
        return ExitNoHandler;

    int exitCode = ExitDone;
    if (!options.PicturePath.empty())
    {
        const CLoadedProvider* shown = nullptr;
        for (const std::unique_ptr<CLoadedProvider>& provider : providers)
            shown = shown == nullptr && provider->Shown() ? provider.get() : shown;
        CPictureRequest request;
        request.Lines = shown != nullptr ? shown->MenuLines(options.ExplorerItems) : std::vector<CMenuLine>();
        GUID highlight = {};
        if (shown != nullptr && !options.HighlightVerb.empty() &&
            NameBasedGuid(shown->Items()[0].CanonicalName, options.HighlightVerb, highlight))
            request.HighlightVerb = GuidText(highlight);
        HBITMAP icon = nullptr;
        request.Menu = shown != nullptr
                           ? BuildMenuFromLines(request.Lines, shown->Items()[0].Icon, shown->Entry().Name, icon)
                           : nullptr;
        const std::wstring parent = ParentFolder(paths[0]);
        request.Folder = parent.empty() ? paths[0] : parent;
        for (const std::wstring& path : paths)
            request.Selected.push_back(NameOf(path));
        request.BitmapPath = FullPath(options.PicturePath);
        if (request.Menu == nullptr)
        {
            WriteErr(L"ShellHost: no picture: no Explorer command is shown for the items\n");
            exitCode = ExitPicture;
        }
        else if (ShowMenuPicture(request, error))
        {
            WriteOut(L"Picture: " + request.BitmapPath + L"\n");
        }
        else
        {
            WriteErr(L"ShellHost: no picture: " + error + L"\n");
            exitCode = ExitPicture;
        }
        if (request.Menu != nullptr)
            DestroyMenu(request.Menu);
        if (icon != nullptr)
            DeleteObject(icon);
    }

    if (!options.InvokeVerb.empty())
    {
        for (const std::unique_ptr<CLoadedProvider>& provider : providers)
        {
            const CCommandItem* item = provider->FindByVerb(options.InvokeVerb);
            if (item == nullptr)
                continue;
            WriteOut(L"Invoke verb " + options.InvokeVerb + L": \"" + item->Title + L"\" (canonical name " +
                     GuidText(item->CanonicalName) + L" of " + provider->Entry().Name + L")\n");
            const HRESULT result = CLoadedProvider::Invoke(*item, items.Get());
            WriteOut(L"  Invoke = " + DescribeResult(result) + L"\n");
            return SUCCEEDED(result) && exitCode == ExitDone ? ExitDone : SUCCEEDED(result) ? exitCode : ExitInvoke;
        }
        WriteOut(L"Invoke verb " + options.InvokeVerb + L": no sub-command has its name-based canonical name\n");
        return ExitInvoke;
    }
    return exitCode;
}

int Run(const CHostOptions& options)
{
    // The selection, as full paths, all in one folder.
    std::vector<std::wstring> paths;
    for (const std::wstring& path : options.Paths)
    {
        paths.push_back(FullPath(path));
        if (ClassifyPath(paths.back()) == CItemKind::Missing)
        {
            WriteErr(L"ShellHost: " + paths.back() + L" does not exist\n");
            return ExitSelection;
        }
    }
    if (options.Provider)
        return RunProvider(options, paths);
    const bool drag = !options.DragTarget.empty();
    const std::wstring target = drag ? FullPath(options.DragTarget) : std::wstring();
    const CItemKind targetKind = drag ? ClassifyPath(target) : CItemKind::Missing;
    if (drag && targetKind != CItemKind::Folder && targetKind != CItemKind::DriveRoot)
    {
        WriteErr(L"ShellHost: the drop target " + target + L" is not a folder or drive\n");
        return ExitSelection;
    }

    const std::wstring parent = ParentFolder(paths[0]);
    WriteOut(Heading(paths, target));

    // Explorer asks the classes of the item under the mouse: the first selected one, or the target.
    const std::vector<std::wstring> classes = ClassNamesFor(drag ? targetKind : ClassifyPath(paths[0]));
    const wchar_t* kind = drag ? L"DragDropHandlers" : L"ContextMenuHandlers";
    std::vector<CHandlerEntry> entries = FindRegisteredHandlers(classes, kind);
    KeepOnlyHandler(entries, options.OnlyHandler);
    if (entries.empty())
    {
        std::wstring where;
        for (const std::wstring& className : classes)
            where += L" HKCR\\" + className + L"\\shellex\\" + kind;
        WriteOut(L"No handler registered under" + where + L"\n");
        return ExitNoHandler;
    }

    CShellSelection selection;
    std::wstring error;
    if (!selection.Create(paths, error))
    {
        WriteErr(L"ShellHost: " + error + L"\n");
        return ExitSelection;
    }
    CIdList targetList;
    if (drag && !ParseFolderIdList(target, targetList, error))
    {
        WriteErr(L"ShellHost: " + error + L"\n");
        return ExitSelection;
    }

    CHandlerSet handlers;
    handlers.Load(entries, targetList.Get(), selection.DataObject());

    int exitCode = ExitDone;
    {
        CMenuOwner menu;
        UINT insertIndex = 0;
        if (options.ExplorerItems)
        {
            AppendExplorerItems(menu.Get(), ExplorerItemsBefore, ARRAYSIZE(ExplorerItemsBefore));
            SetMenuDefaultItem(menu.Get(), ExplorerItemsBefore[0].Id, FALSE);
            insertIndex = static_cast<UINT>(GetMenuItemCount(menu.Get()));
        }
        handlers.FillMenu(menu.Get(), insertIndex, options.QueryFlags);
        if (options.ExplorerItems)
            AppendExplorerItems(menu.Get(), ExplorerItemsAfter, ARRAYSIZE(ExplorerItemsAfter));

        bool anyLoaded = false;
        for (const CLoadedHandler& handler : handlers.Handlers())
        {
            PrintHandler(handler, options.QueryFlags);
            anyLoaded = anyLoaded || static_cast<bool>(handler.Menu);
        }
        const std::vector<CMenuLine> lines = ReadMenuTree(menu.Get(), handlers);
        if (options.PrintMenu)
            WriteOut(FormatMenuTree(lines));
        if (!anyLoaded)
            return ExitNoHandler;

        if (!options.PicturePath.empty())
        {
            CPictureRequest request;
            request.Menu = menu.Get();
            request.Lines = lines;
            request.Folder = parent.empty() ? paths[0] : parent;
            for (const std::wstring& path : paths)
                request.Selected.push_back(NameOf(path));
            if (drag && _wcsicmp(ParentFolder(target).c_str(), parent.c_str()) == 0)
                request.DropTarget = NameOf(target);
            request.HighlightVerb = options.HighlightVerb;
            request.BitmapPath = FullPath(options.PicturePath);
            if (ShowMenuPicture(request, error))
            {
                WriteOut(L"Picture: " + request.BitmapPath + L"\n");
            }
            else
            {
                WriteErr(L"ShellHost: no picture: " + error + L"\n");
                exitCode = ExitPicture;
            }
        }

        if (!options.InvokeVerb.empty() || options.InvokeOffset >= 0)
        {
            const int invoked = Invoke(options, handlers, lines);
            if (exitCode == ExitDone)
                exitCode = invoked;
        }
    }
    return exitCode;
}
} // namespace

int main()
{
    const std::vector<std::wstring> args = ProgramArguments();

    CHostOptions options;
    std::wstring error;
    if (!ParseHostOptions(args, options, error))
    {
        WriteErr(L"ShellHost: " + error + L"\n");
        return ExitUsage;
    }
    if (options.ShowHelp)
    {
        WriteOut(HostUsageText());
        return ExitDone;
    }

    COleScope ole;
    if (FAILED(ole.Result()))
    {
        WriteErr(L"ShellHost: OleInitialize = " + DescribeResult(ole.Result()) + L"\n");
        return ExitSelection;
    }
    const int exitCode = Run(options);
    // Lets COM unload a module whose DllCanUnloadNow agrees, as Explorer does from time to time.
    CoFreeUnusedLibraries();
    return exitCode;
}
