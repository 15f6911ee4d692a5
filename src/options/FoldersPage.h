#pragma once

#include "lang/Language.h"
#include "options/PageFramework.h"
#include "settings/Settings.h"

#include <windows.h>

extern const CLangControlMap g_FoldersPageLangMap[5];
const UINT kFoldersPageTitleLangId = 0x01000200;
extern const wchar_t kFoldersPageHelpTopic[];

// The Folders page: where temporary archives are made. Between OnInit and OnApply the
// controls hold the state; Settings is only the record read and saved.
class CFoldersPage : public CPropertyPageBase
{
public:
    ~CFoldersPage() override = default;
    bool OnInit() override;
    bool OnCommand(WORD code, WORD itemId, HWND control) override;
    bool OnButtonClicked(WORD buttonId, HWND control) override;
    LONG OnApply() override;
    void OnNotifyHelp() override;

    // 0, 1 or 2: the position of the checked radio button.
    DWORD GetSelectedWorkDirType() const;
    void UpdateControls();
    void ReadFromControls(CWorkFolderSettings& settings) const;
    void BrowseForWorkFolder();

    CWorkFolderSettings Settings;
    CControlRef PathEdit;
    CControlRef BrowseButton;
    // True while OnInit fills the controls: the edit reports its text being set as a change.
    bool Initializing = false;
};
