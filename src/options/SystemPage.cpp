#include "options/SystemPage.h"

#include "launch/Launch.h"
#include "options/HtmlHelp.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "settings/ShellIntegration.h"

// DllRegisterServer and DllUnregisterServer: the page registers the class like regsvr32 would.
#include <olectl.h>

// Same positions, title ids, lang ids and flag bits as the command table of the menu.
const CSystemPageRow g_SystemPageRows[kSystemPageRowCount] = {
    {IDS_OPEN_TITLE, 0x02000103, 0x20},
    {IDS_EXTRACT_TITLE, 0x02000105, 0x1},
    {IDS_EXTRACT_HERE_TITLE, 0x0200010B, 0x2},
    {IDS_EXTRACT_TO_TITLE, 0x0200010D, 0x4},
    {IDS_TEST_TITLE, 0x02000109, 0x10},
    {IDS_COMPRESS_TO_TITLE, 0x0200010F, 0x1000},
    {IDS_COMPRESS_TO_EMAIL_TITLE, 0x02000113, 0x2000},
    {IDS_COMPRESS_TO_TITLE, 0x0200010F, 0x200},
    {IDS_COMPRESS_TO_EMAIL_TITLE, 0x02000113, 0x800},
    {IDS_COMPRESS_TITLE, 0x02000107, 0x100},
    {IDS_COMPRESS_EMAIL_TITLE, 0x02000111, 0x400},
};

const CLangControlMap g_SystemPageLangMap[3] = {
    {IDC_SYSTEM_INTEGRATE, 0x01000301},
    {IDC_SYSTEM_CASCADED, 0x01000302},
    {IDC_SYSTEM_ITEMS_LABEL, 0x01000310},
};

const wchar_t kSystemPageHelpTopic[] = L"fm/plugins/Vantor/options.htm#system";

namespace
{
const UINT kFolderPlaceholderLangId = 0x02000140;
const UINT kArchivePlaceholderLangId = 0x02000141;
const UINT kIntegrationFailedLangId = 0x01000320;
const DWORD kListExtendedStyles = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
const int kListColumnWidth = 270;
} // namespace

CWideString CSystemPage::RowText(int row)
{
    const CSystemPageRow& info = g_SystemPageRows[row];
    const CWideString text = LangTextOr(info.TitleId, info.LangId);
    if (info.TitleId == IDS_EXTRACT_TO_TITLE)
        return FormatArg(text, LangTextOr(IDS_FOLDER_PLACEHOLDER, kFolderPlaceholderLangId));
    if (info.TitleId == IDS_COMPRESS_TO_TITLE || info.TitleId == IDS_COMPRESS_TO_EMAIL_TITLE)
    {
        CWideString archive = LangTextOr(IDS_ARCHIVE_PLACEHOLDER, kArchivePlaceholderLangId);
        // The zip and VNTX rows share a title; only the extension tells them apart.
        archive.Append((info.Flag == 0x1000 || info.Flag == 0x2000) ? L".zip" : L".VNTX");
        return FormatArg(text, archive);
    }
    return text;
}

bool CSystemPage::OnInit()
{
    Initializing = true;
    ApplyLangToDialog(Window, g_SystemPageLangMap, 3);
    CheckButton(IDC_SYSTEM_INTEGRATE, IsShellIntegrated());
    CheckButton(IDC_SYSTEM_CASCADED, ReadCascadedMenu());

    DWORD mask = 0;
    if (!ReadContextMenuFlags(mask))
        mask = kDefaultContextMenuFlags;

    CommandList.Attach(GetItem(IDC_SYSTEM_ITEMS_LIST));
    CommandList.SetExtendedStyle(kListExtendedStyles, kListExtendedStyles);
    CommandList.InsertColumn(0, CWideString(), kListColumnWidth);
    for (int row = 0; row < kSystemPageRowCount; row++)
        RowPositions[row] = -1;
    for (int row = 0; row < kSystemPageRowCount; row++)
    {
        const int index = CommandList.InsertItem(row, RowText(row));
        RowPositions[row] = index;
        // Position -1 would tick every row.
        if (index >= 0)
            CommandList.SetCheckState(index, (mask & g_SystemPageRows[row].Flag) != 0);
    }
    Initializing = false;
    return true;
}

bool CSystemPage::OnButtonClicked(WORD buttonId, HWND control)
{
    if (buttonId == IDC_SYSTEM_INTEGRATE || buttonId == IDC_SYSTEM_CASCADED)
    {
        if (buttonId == IDC_SYSTEM_INTEGRATE)
            IntegrationClicked = true;
        SetChanged();
        return true;
    }
    return CPropertyPageBase::OnButtonClicked(buttonId, control);
}

bool CSystemPage::OnNotify(UINT controlId, NMHDR* header)
{
    if (header != nullptr && header->hwndFrom == CommandList.Window && header->code == LVN_ITEMCHANGED)
        return OnListItemChanged(reinterpret_cast<const NMLISTVIEW*>(header));
    return CPropertyPageBase::OnNotify(controlId, header);
}

bool CSystemPage::OnListItemChanged(const NMLISTVIEW* change)
{
    if (Initializing || (change->uChanged & LVIF_STATE) == 0)
        return true;
    // Only a tick set or cleared is a change; selecting or focusing a row is not.
    if ((change->uNewState & LVIS_STATEIMAGEMASK) != (change->uOldState & LVIS_STATEIMAGEMASK))
        SetChanged();
    return true;
}

LONG CSystemPage::OnApply()
{
    // Registered anew on every apply, so a class key that someone removed comes back. Removed only
    // when the user cleared the box: a box that opened clear may stand for an integration that lost
    // one key, and pressing OK for another page must not take away the rest.
    // Without the rights to write under HKEY_CLASSES_ROOT (a standard user, an administrator without
    // elevation) every step fails. What depends on a failed step is left alone: no handler keys for a
    // class that is not registered, no class removed while handler keys still name it. A failure is
    // reported unless the registry already holds what the box shows, and the box then shows what it
    // holds.
    bool failed = false;
    if (IsButtonChecked(IDC_SYSTEM_INTEGRATE))
        failed = !(DllRegisterServer() == S_OK && RegisterShellIntegration()) && !IsShellIntegrated();
    else if (IntegrationClicked)
        failed = !UnregisterShellIntegration() || DllUnregisterServer() != S_OK;
    if (failed)
    {
        ShowLangError(GetParent(Window), IDS_INTEGRATION_FAILED, kIntegrationFailedLangId);
        CheckButton(IDC_SYSTEM_INTEGRATE, IsShellIntegrated());
        IntegrationClicked = false;
    }
    SaveCascadedMenu(IsButtonChecked(IDC_SYSTEM_CASCADED));

    // Bits that belong to no command are not carried over from the stored mask, nor those of rows
    // the list could not show.
    DWORD mask = 0;
    for (int row = 0; row < kSystemPageRowCount; row++)
        if (RowPositions[row] >= 0 && CommandList.GetCheckState(RowPositions[row]))
            mask |= g_SystemPageRows[row].Flag;
    SaveContextMenuFlags(mask);
    return PSNRET_NOERROR;
}

void CSystemPage::OnNotifyHelp()
{
    ShowHelpTopic(kSystemPageHelpTopic);
}
