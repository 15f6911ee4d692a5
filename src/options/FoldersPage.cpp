#include "options/FoldersPage.h"

#include "base/ShellObjects.h"
#include "options/HtmlHelp.h"
#include "resources/ResourceIds.h"

const CLangControlMap g_FoldersPageLangMap[5] = {
    {IDC_FOLDERS_GROUP, 0x01000210},     {IDC_FOLDERS_SYSTEM_TEMP, 0x01000211},    {IDC_FOLDERS_CURRENT, 0x01000212},
    {IDC_FOLDERS_SPECIFIED, 0x01000213}, {IDC_FOLDERS_REMOVABLE_ONLY, 0x01000214},
};

const wchar_t kFoldersPageHelpTopic[] = L"fm/plugins/Vantor/options.htm#folders";

namespace
{
const UINT kBrowseTitleLangId = 0x01000281;
// The radio buttons in the order of the work-folder types 0, 1 and 2.
const int kWorkDirRadios[] = {IDC_FOLDERS_SYSTEM_TEMP, IDC_FOLDERS_CURRENT, IDC_FOLDERS_SPECIFIED};
const int kWorkDirTypeCount = 3;
} // namespace

bool CFoldersPage::OnInit()
{
    Initializing = true;
    ApplyLangToDialog(Window, g_FoldersPageLangMap, 5);
    ReadWorkFolderSettings(Settings);
    CheckButton(IDC_FOLDERS_REMOVABLE_ONLY, Settings.TempRemovableOnly);
    // The store keeps the type within 0 to 2; the check keeps a stray value from the radio group.
    const DWORD type = Settings.WorkDirType < kWorkDirTypeCount ? Settings.WorkDirType : WorkDirSystemTemp;
    CheckRadio(IDC_FOLDERS_SYSTEM_TEMP, IDC_FOLDERS_SPECIFIED, kWorkDirRadios[type]);
    PathEdit.Attach(Window, IDC_FOLDERS_PATH);
    BrowseButton.Attach(Window, IDC_FOLDERS_BROWSE);
    // Shown also for the other types, disabled, so a folder named before stays visible.
    PathEdit.SetText(Settings.WorkDirPath);
    UpdateControls();
    Initializing = false;
    return true;
}

DWORD CFoldersPage::GetSelectedWorkDirType() const
{
    for (int type = 0; type < kWorkDirTypeCount; type++)
        if (IsButtonChecked(kWorkDirRadios[type]))
            return static_cast<DWORD>(type);
    return WorkDirSystemTemp;
}

void CFoldersPage::UpdateControls()
{
    const bool specified = GetSelectedWorkDirType() == WorkDirSpecified;
    PathEdit.Enable(specified);
    BrowseButton.Enable(specified);
}

void CFoldersPage::ReadFromControls(CWorkFolderSettings& settings) const
{
    PathEdit.GetText(settings.WorkDirPath);
    settings.TempRemovableOnly = IsButtonChecked(IDC_FOLDERS_REMOVABLE_ONLY);
    settings.WorkDirType = GetSelectedWorkDirType();
}

void CFoldersPage::BrowseForWorkFolder()
{
    CWideString current;
    PathEdit.GetText(current);
    CWideString chosen;
    if (BrowseForFolder(Window, LangTextOr(IDS_BROWSE_WORK_FOLDER, kBrowseTitleLangId), current, chosen))
        PathEdit.SetText(chosen);
}

bool CFoldersPage::OnCommand(WORD code, WORD itemId, HWND control)
{
    if (code == EN_CHANGE && itemId == IDC_FOLDERS_PATH)
    {
        // The edit reports its text being set in OnInit as well; only the user's edits count.
        if (!Initializing)
            SetChanged();
        return true;
    }
    return CPropertyPageBase::OnCommand(code, itemId, control);
}

bool CFoldersPage::OnButtonClicked(WORD buttonId, HWND control)
{
    switch (buttonId)
    {
    case IDC_FOLDERS_SYSTEM_TEMP:
    case IDC_FOLDERS_CURRENT:
    case IDC_FOLDERS_SPECIFIED:
        UpdateControls();
        SetChanged();
        return true;
    case IDC_FOLDERS_BROWSE:
        // Apply comes on even when the user cancels the browser.
        BrowseForWorkFolder();
        SetChanged();
        return true;
    case IDC_FOLDERS_REMOVABLE_ONLY:
        SetChanged();
        return true;
    default:
        return CPropertyPageBase::OnButtonClicked(buttonId, control);
    }
}

LONG CFoldersPage::OnApply()
{
    ReadFromControls(Settings);
    // Stored as typed: not checked for existence, not completed, not cleared for other types.
    SaveWorkFolderSettings(Settings);
    return PSNRET_NOERROR;
}

void CFoldersPage::OnNotifyHelp()
{
    ShowHelpTopic(kFoldersPageHelpTopic);
}
