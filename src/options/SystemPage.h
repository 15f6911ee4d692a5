#pragma once

#include "lang/Language.h"
#include "options/PageFramework.h"

#include <windows.h>

// One row of the command list: the command of the same position in the command table.
struct CSystemPageRow
{
    UINT TitleId;
    UINT LangId;
    DWORD Flag;
};

const int kSystemPageRowCount = 11;
extern const CSystemPageRow g_SystemPageRows[kSystemPageRowCount];
extern const CLangControlMap g_SystemPageLangMap[3];

const UINT kSystemPageTitleLangId = 0x01000300;
extern const wchar_t kSystemPageHelpTopic[];

// The System page: shell integration, the cascaded menu and which commands the menu shows.
// It keeps no copy of the settings: OnInit puts them into the controls, OnApply reads them back.
class CSystemPage : public CPropertyPageBase
{
public:
    ~CSystemPage() override = default;
    bool OnInit() override;
    bool OnButtonClicked(WORD buttonId, HWND control) override;
    bool OnNotify(UINT controlId, NMHDR* header) override;
    LONG OnApply() override;
    void OnNotifyHelp() override;
    virtual bool OnListItemChanged(const NMLISTVIEW* change);

    // The text of a row as the list shows it, "{0}" filled with the translated placeholder.
    static CWideString RowText(int row);

    // True while OnInit fills the list, whose inserts and ticks are no user changes.
    bool Initializing = false;
    // True once the user has clicked the integration box on this opening of the page. A box that
    // opened clear because another program removed one handler key must not unregister the rest.
    bool IntegrationClicked = false;
    CListViewRef CommandList;
    // The list position of each row, or -1 for a row the list refused.
    int RowPositions[kSystemPageRowCount] = {};
};
