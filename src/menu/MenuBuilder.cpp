#include "menu/ShellMenuHandler.h"

// Menu construction comes with the command table; until then the shell gets no items.
STDMETHODIMP CShellMenuHandler::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT)
{
    return E_NOTIMPL;
}
