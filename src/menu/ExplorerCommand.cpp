#include "menu/ExplorerCommand.h"

#include "base/ComBoundary.h"
#include "base/ComIds.h"
#include "base/Module.h"
#include "base/NameGuid.h"
#include "lang/Language.h"
#include "launch/Launch.h"
#include "menu/SelectionIntake.h"
#include "settings/Settings.h"
#include "settings/ShellIntegration.h"

#include <cstring>

namespace
{
// An icon location names a file and the index of an icon in it.
const wchar_t kFirstIconIndex[] = L",0";

// Answers Explorer's question for a text: the text `make(text)` gives, in memory Explorer frees
// (CoTaskMemFree), or null with the failure `make` returns or the one an exception stands for.
template <typename TMake> HRESULT AnswerText(LPWSTR* out, TMake make)
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    try
    {
        CWideString text;
        const HRESULT made = make(text);
        if (FAILED(made))
            return made;
        const size_t bytes = (static_cast<size_t>(text.Length()) + 1) * sizeof(wchar_t);
        *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (*out == nullptr)
            return E_OUTOFMEMORY;
        std::memcpy(*out, text.Ptr(), bytes);
        return S_OK;
    }
    catch (...)
    {
        return HResultFromCaughtException();
    }
}

// The "ContextMenu" mask in force; the first-level menu always holds its commands in the item
// "Vantor", whatever the classic menu's cascade setting says.
DWORD ReadCommandMask()
{
    bool cascaded = true;
    DWORD mask = kDefaultContextMenuFlags;
    ReadMenuSettings(cascaded, mask);
    return mask;
}

// Creates an object and asks it for `iid`; an object nobody took is destroyed at once.
template <typename TObject, typename TArgument>
HRESULT CreateAndQuery(const TArgument& argument, REFIID iid, void** object)
{
    TObject* created = new TObject(argument);
    const HRESULT result = created->QueryInterface(iid, object);
    if (result != S_OK)
        delete created;
    return result;
}

// One command inside "Vantor": its texts and names come from the list GetState made; Invoke takes
// the items Explorer hands it anew and carries the command out for them.
class CExplorerSubCommand : public CExplorerCommandObject
{
public:
    explicit CExplorerSubCommand(const COfferedCommand& command) : _command(command) {}

    STDMETHODIMP GetTitle(IShellItemArray*, LPWSTR* title) override
    {
        return AnswerText(title,
                          [this](CWideString& text)
                          {
                              text = _command.Text;
                              return S_OK;
                          });
    }
    // The classic menu's items carry no pictures either.
    STDMETHODIMP GetIcon(IShellItemArray*, LPWSTR* icon) override
    {
        if (icon == nullptr)
            return E_POINTER;
        *icon = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetToolTip(IShellItemArray*, LPWSTR* toolTip) override
    {
        return AnswerText(toolTip,
                          [this](CWideString& text)
                          {
                              text = _command.Entry.HelpText;
                              return S_OK;
                          });
    }
    // The verb, language-independent as it is, made into the identifier Explorer asks for: the
    // same command has the same canonical name everywhere.
    STDMETHODIMP GetCanonicalName(GUID* name) override
    {
        if (name == nullptr)
            return E_POINTER;
        *name = MakeNameBasedGuid(GUID_ExplorerCommandCanonicalName, _command.Entry.Verb);
        return S_OK;
    }
    // Whether the command applies was settled when the top item listed it.
    STDMETHODIMP GetState(IShellItemArray*, BOOL, EXPCMDSTATE* state) override
    {
        if (state == nullptr)
            return E_POINTER;
        *state = ECS_ENABLED;
        return S_OK;
    }
    STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx*) override
    {
        try
        {
            return InvokeFor(items);
        }
        catch (...)
        {
            return HResultFromCaughtException();
        }
    }
    STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override
    {
        if (flags == nullptr)
            return E_POINTER;
        *flags = ECF_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override
    {
        if (commands == nullptr)
            return E_POINTER;
        *commands = nullptr;
        return E_NOTIMPL;
    }

private:
    // The items are read and the commands listed again, as the classic menu's InvokeCommand works
    // from the names it holds: the command is carried out only when these items offer it, with the
    // folder and archive names these items give. Nothing starts for items that offer it not.
    HRESULT InvokeFor(IShellItemArray* items)
    {
        LoadLanguageOnce();
        COwningVector<CWideString> names;
        HRESULT result = ReadShellItemSelection(items, names);
        if (FAILED(result))
            return result;
        COwningVector<COfferedCommand> offered;
        result = ListOfferedCommands(names, nullptr, ReadCommandMask(), kUnlimitedIds, offered);
        if (FAILED(result))
            return result;
        for (int i = 0; i < offered.Count(); i++)
            if (offered[i].Entry.CommandId == _command.Entry.CommandId)
                return CarryOutCommand(offered[i].Entry, names);
        return E_FAIL;
    }

    const COfferedCommand _command;
};

// Hands out the sub-commands of one list, one new object each.
class CSubCommandEnumerator : public IEnumExplorerCommand, public CHeapObject
{
public:
    explicit CSubCommandEnumerator(const COwningVector<COfferedCommand>& commands) : _commands(commands)
    {
        InterlockedIncrement(&g_LiveObjectCount);
    }
    virtual ~CSubCommandEnumerator() { InterlockedDecrement(&g_LiveObjectCount); }
    CSubCommandEnumerator(const CSubCommandEnumerator&) = delete;
    CSubCommandEnumerator& operator=(const CSubCommandEnumerator&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (!SameId(iid, IID_IUnknown) && !SameId(iid, IID_IEnumExplorerCommand))
            return E_NOINTERFACE;
        *object = static_cast<IEnumExplorerCommand*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&_refCount)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = InterlockedDecrement(&_refCount);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

    // The enumerator's contract: without a place for the count, one command at a time.
    STDMETHODIMP Next(ULONG count, IExplorerCommand** commands, ULONG* fetched) override
    {
        if (commands == nullptr)
            return E_POINTER;
        if (fetched == nullptr && count != 1)
            return E_INVALIDARG;
        if (fetched != nullptr)
            *fetched = 0;
        ULONG done = 0;
        try
        {
            for (; done < count && _next < _commands.Count(); done++, _next++)
            {
                commands[done] = nullptr;
                CreateAndQuery<CExplorerSubCommand>(_commands[_next], IID_IExplorerCommand,
                                                    reinterpret_cast<void**>(&commands[done]));
            }
        }
        catch (...)
        {
            // All or nothing: the commands of this call are given back, the position stays.
            for (ULONG i = 0; i < done; i++)
            {
                commands[i]->Release();
                commands[i] = nullptr;
            }
            _next -= static_cast<int>(done);
            return HResultFromCaughtException();
        }
        if (fetched != nullptr)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        const ULONG left = static_cast<ULONG>(_commands.Count() - _next);
        if (count > left)
        {
            _next = _commands.Count();
            return S_FALSE;
        }
        _next += static_cast<int>(count);
        return S_OK;
    }
    STDMETHODIMP Reset() override
    {
        _next = 0;
        return S_OK;
    }
    // Explorer never copies the enumeration.
    STDMETHODIMP Clone(IEnumExplorerCommand** copy) override
    {
        if (copy == nullptr)
            return E_POINTER;
        *copy = nullptr;
        return E_NOTIMPL;
    }

private:
    volatile LONG _refCount = 0;
    const COwningVector<COfferedCommand> _commands;
    int _next = 0;
};
} // namespace

// The count goes up before a derived object's members are built: if one of them throws, the
// destructor takes it down again.
CExplorerCommandObject::CExplorerCommandObject()
{
    InterlockedIncrement(&g_LiveObjectCount);
}

CExplorerCommandObject::~CExplorerCommandObject()
{
    InterlockedDecrement(&g_LiveObjectCount);
}

STDMETHODIMP CExplorerCommandObject::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (SameId(iid, IID_IUnknown) || SameId(iid, IID_IExplorerCommand))
        *object = static_cast<IExplorerCommand*>(this);
    else if (SameId(iid, IID_IObjectWithSite))
        *object = static_cast<IObjectWithSite*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CExplorerCommandObject::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&_refCount));
}

STDMETHODIMP_(ULONG) CExplorerCommandObject::Release()
{
    const LONG count = InterlockedDecrement(&_refCount);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CExplorerCommandObject::SetSite(IUnknown* site)
{
    _site.Assign(site);
    return S_OK;
}

STDMETHODIMP CExplorerCommandObject::GetSite(REFIID iid, void** site)
{
    if (site == nullptr)
        return E_POINTER;
    *site = nullptr;
    if (_site.Get() == nullptr)
        return E_FAIL;
    return _site->QueryInterface(iid, site);
}

STDMETHODIMP CExplorerCommandProvider::GetTitle(IShellItemArray*, LPWSTR* title)
{
    return AnswerText(title,
                      [](CWideString& text)
                      {
                          LoadLanguageOnce();
                          text = SubmenuTitle();
                          return S_OK;
                      });
}

// The archiver's program icon: the product's own picture, found where the archiver is.
STDMETHODIMP CExplorerCommandProvider::GetIcon(IShellItemArray*, LPWSTR* icon)
{
    return AnswerText(icon,
                      [](CWideString& location)
                      {
                          if (!GetProgramPath(kArchiverProgram, location))
                              return E_FAIL;
                          location += kFirstIconIndex;
                          return S_OK;
                      });
}

STDMETHODIMP CExplorerCommandProvider::GetToolTip(IShellItemArray*, LPWSTR* toolTip)
{
    return AnswerText(toolTip,
                      [](CWideString& text)
                      {
                          LoadLanguageOnce();
                          text = SubmenuHelpText();
                          return S_OK;
                      });
}

STDMETHODIMP CExplorerCommandProvider::GetCanonicalName(GUID* name)
{
    if (name == nullptr)
        return E_POINTER;
    *name = GUID_ExplorerCommandCanonicalName;
    return S_OK;
}

// Hidden unless the shell integration is on (the options' "Integrate Vantor to shell context
// menu": the classic handler's keys are in place), the items hold something in the file system,
// and at least one command applies to them. Items that cannot be read are no selection: hidden,
// and S_OK, since Explorer asks only whether to show the item. The answer takes the lookups the
// classic menu makes before Explorer shows it, so it is given at once, never E_PENDING.
STDMETHODIMP CExplorerCommandProvider::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = ECS_HIDDEN;
    try
    {
        Offered.Clear();
        LoadLanguageOnce();
        if (!IsShellIntegrated())
            return S_OK;
        COwningVector<CWideString> names;
        if (FAILED(ReadShellItemSelection(items, names)) || names.IsEmpty())
            return S_OK;
        if (FAILED(ListOfferedCommands(names, nullptr, ReadCommandMask(), kUnlimitedIds, Offered)) || Offered.IsEmpty())
            return S_OK;
        *state = ECS_ENABLED;
        return S_OK;
    }
    catch (...)
    {
        Offered.Clear();
        return HResultFromCaughtException();
    }
}

// The top item only opens its submenu.
STDMETHODIMP CExplorerCommandProvider::Invoke(IShellItemArray*, IBindCtx*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CExplorerCommandProvider::GetFlags(EXPCMDFLAGS* flags)
{
    if (flags == nullptr)
        return E_POINTER;
    *flags = ECF_HASSUBCOMMANDS;
    return S_OK;
}

STDMETHODIMP CExplorerCommandProvider::EnumSubCommands(IEnumExplorerCommand** commands)
{
    if (commands == nullptr)
        return E_POINTER;
    *commands = nullptr;
    try
    {
        return CreateAndQuery<CSubCommandEnumerator>(Offered, IID_IEnumExplorerCommand,
                                                     reinterpret_cast<void**>(commands));
    }
    catch (...)
    {
        return HResultFromCaughtException();
    }
}
