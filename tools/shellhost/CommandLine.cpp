#include "CommandLine.h"

namespace
{
bool ParseNumber(const std::wstring& text, unsigned long& value)
{
    if (text.empty())
        return false;
    wchar_t* end = nullptr;
    value = wcstoul(text.c_str(), &end, 0);
    return end != nullptr && *end == L'\0';
}
} // namespace

bool ParseHostOptions(const std::vector<std::wstring>& args, CHostOptions& options, std::wstring& error)
{
    options = CHostOptions();
    for (size_t i = 0; i < args.size(); i++)
    {
        const std::wstring& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        auto takeValue = [&](std::wstring& into) -> bool
        {
            if (!hasValue)
            {
                error = arg + L" needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };

        if (arg == L"--help" || arg == L"-h" || arg == L"/?")
        {
            options.ShowHelp = true;
        }
        else if (arg == L"--drag-to")
        {
            if (!takeValue(options.DragTarget))
                return false;
        }
        else if (arg == L"--handler")
        {
            if (!takeValue(options.OnlyHandler))
                return false;
        }
        else if (arg == L"--flags")
        {
            std::wstring text;
            unsigned long value = 0;
            if (!takeValue(text))
                return false;
            if (!ParseNumber(text, value))
            {
                error = L"--flags wants a number such as 0x10, not " + text;
                return false;
            }
            options.QueryFlags = static_cast<UINT>(value);
        }
        else if (arg == L"--invoke-verb")
        {
            if (!takeValue(options.InvokeVerb))
                return false;
        }
        else if (arg == L"--invoke-offset")
        {
            std::wstring text;
            unsigned long value = 0;
            if (!takeValue(text))
                return false;
            if (!ParseNumber(text, value) || value > 0x7FFF)
            {
                error = L"--invoke-offset wants a command offset from 0 to 32767, not " + text;
                return false;
            }
            options.InvokeOffset = static_cast<int>(value);
        }
        else if (arg == L"--picture")
        {
            if (!takeValue(options.PicturePath))
                return false;
        }
        else if (arg == L"--highlight")
        {
            if (!takeValue(options.HighlightVerb))
                return false;
        }
        else if (arg == L"--explorer-items")
        {
            options.ExplorerItems = true;
        }
        else if (arg == L"--provider")
        {
            options.Provider = true;
        }
        else if (arg == L"--no-menu")
        {
            options.PrintMenu = false;
        }
        else if (arg == L"--")
        {
            options.Paths.insert(options.Paths.end(), args.begin() + static_cast<ptrdiff_t>(i) + 1, args.end());
            break;
        }
        else if (arg.size() > 1 && arg[0] == L'-' && arg[1] == L'-')
        {
            error = L"unknown option " + arg + L" (see --help)";
            return false;
        }
        else
        {
            options.Paths.push_back(arg);
        }
    }

    if (options.ShowHelp)
        return true;
    if (options.Paths.empty())
    {
        error = L"no items selected: give one or more paths (see --help)";
        return false;
    }
    if (!options.InvokeVerb.empty() && options.InvokeOffset >= 0)
    {
        error = L"--invoke-verb and --invoke-offset exclude each other";
        return false;
    }
    if (options.Provider && (!options.DragTarget.empty() || options.QueryFlags != 0 || options.InvokeOffset >= 0))
    {
        error = L"--provider does not go with --drag-to, --flags or --invoke-offset";
        return false;
    }
    if (options.PicturePath.empty() && (!options.HighlightVerb.empty() || options.ExplorerItems))
    {
        error = L"--highlight and --explorer-items only go with --picture";
        return false;
    }
    return true;
}

const wchar_t* HostUsageText()
{
    return L"Usage: ShellHost.exe [options] PATH...\n"
           L"\n"
           L"Does with the shell extensions registered in HKEY_CLASSES_ROOT what Explorer does when the user\n"
           L"right-clicks PATH... (or drags them with the right mouse button onto a folder or drive): finds\n"
           L"the handlers of the items' classes (\"*\" for files, \"Directory\" and \"Folder\" for folders,\n"
           L"\"Drive\" and \"Folder\" for drive roots), creates each with CoCreateInstance in a single-threaded\n"
           L"apartment, hands it the shell's data object for the items through IShellExtInit::Initialize,\n"
           L"lets it fill a popup menu (QueryContextMenu, ids 1 to 0x7FFF) and prints that menu with the\n"
           L"verb and help text of every item (GetCommandString).\n"
           L"All PATHs must lie in one folder, as a selection in one Explorer window does.\n"
           L"\n"
           L"Options:\n"
           L"  --drag-to TARGET     a right-button drag of PATH... onto the folder or drive root TARGET\n"
           L"                       (its \"shellex\\DragDropHandlers\"; the handler gets TARGET's item id list)\n"
           L"  --handler NAME       only the handler registered under the key NAME (for example VANTOR)\n"
           L"  --flags N            the CMF_ flags for QueryContextMenu (default 0, CMF_NORMAL)\n"
           L"  --invoke-verb VERB   then carry out the item whose verb is VERB (CMINVOKECOMMANDINFOEX with\n"
           L"                       CMIC_MASK_UNICODE, the verb as text in both fields)\n"
           L"  --invoke-offset N    then carry out command offset N of the first handler that added items\n"
           L"  --picture FILE.bmp   show the menu on screen beside a folder window, open its cascaded submenu\n"
           L"                       and save a picture of that part of the screen (24-bit BMP)\n"
           L"  --highlight VERB     with --picture: move the highlight onto the submenu item with this verb\n"
           L"  --explorer-items     with --picture: put Explorer's own items (Open, Cut, Copy, ...) around\n"
           L"                       the handlers' items, as the real context menu has them\n"
           L"  --provider           Windows 11's first-level menu instead: the Explorer commands registered\n"
           L"                       for the items' classes (\"shell\\VERB\" with ExplorerCommandHandler), each\n"
           L"                       created with CoCreateInstance, given a site and the shell item array of\n"
           L"                       the items' id lists; prints GetState, GetFlags, GetIcon and the top item\n"
           L"                       with its sub-commands (text, canonical name, state, tool tip).\n"
           L"                       --invoke-verb VERB invokes the sub-command whose canonical name is the\n"
           L"                       name-based GUID (RFC 4122, version 5) of VERB in the top item's canonical\n"
           L"                       name; --picture shows the first-level menu with the submenu open\n"
           L"  --no-menu            do not print the menu\n"
           L"  --help               this text\n"
           L"\n"
           L"Output (UTF-8): the selection, each handler with its QueryContextMenu result, then the menu as a\n"
           L"table of id, text, verb and help text; the items of a submenu are indented by two blanks under\n"
           L"the submenu's item, which is marked with \" >\". Separators print as \"-----\".\n"
           L"\n"
           L"Exit status: 0 done; 1 bad arguments; 2 the selection could not be made; 3 no handler is\n"
           L"registered or none could be created; 4 the command could not be carried out; 5 no picture.\n";
}
