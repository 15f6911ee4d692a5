#include "menu/ShellMenuHandler.h"

// Invocation comes with the archiver launch; until then nothing can be carried out.
STDMETHODIMP CShellMenuHandler::InvokeCommand(LPCMINVOKECOMMANDINFO)
{
    return E_NOTIMPL;
}

STDMETHODIMP CShellMenuHandler::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT)
{
    return E_NOTIMPL;
}
