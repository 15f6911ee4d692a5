#pragma once

#include "base/Vector.h"
#include "base/WideString.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

// A dialog window bound to an object: window messages become virtual calls. The order of the
// virtual operations is fixed; pages derived from it add theirs behind.
class CDialogBase
{
public:
    CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase() = default;

    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // True lets the system set the focus.
    virtual bool OnInit() { return true; }
    virtual bool OnCommand(WORD code, WORD itemId, HWND control);
    virtual bool OnCommandMessage(WPARAM wParam, LPARAM lParam);
    virtual void OnHelp() {}
    virtual void OnHelpMessage(HELPINFO* /*info*/) { OnHelp(); }
    virtual bool OnButtonClicked(WORD buttonId, HWND control);
    virtual void OnOK() {}
    virtual void OnCancel() {}
    virtual bool OnNotify(UINT /*controlId*/, NMHDR* /*header*/) { return false; }
    virtual bool OnTimer(WPARAM /*timerId*/, LPARAM /*callback*/) { return false; }

    HWND GetItem(int itemId) const { return GetDlgItem(Window, itemId); }
    void CheckButton(int itemId, bool checked)
    {
        CheckDlgButton(Window, itemId, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    // Only BST_CHECKED counts: an indeterminate box is not checked.
    bool IsButtonChecked(int itemId) const { return IsDlgButtonChecked(Window, itemId) == BST_CHECKED; }
    void CheckRadio(int firstId, int lastId, int checkedId) { CheckRadioButton(Window, firstId, lastId, checkedId); }

    // Null until WM_INITDIALOG binds the window; the sheet owns and destroys it.
    HWND Window = nullptr;
};

// A page of a property sheet: the sheet's notifications become hooks a page overrides.
class CPropertyPageBase : public CDialogBase
{
public:
    bool OnNotify(UINT controlId, NMHDR* header) override;

    virtual BOOL OnKillActiveNotify(NMHDR* /*header*/) { return OnKillActive() ? TRUE : FALSE; }
    // False: the page may be left.
    virtual bool OnKillActive() { return false; }
    virtual LONG OnSetActiveNotify(NMHDR* /*header*/) { return OnSetActive(); }
    // 0 accepts the activation.
    virtual LONG OnSetActive() { return 0; }
    virtual LONG OnApplyNotify(NMHDR* /*header*/) { return OnApply(); }
    virtual LONG OnApply() { return PSNRET_NOERROR; }
    virtual void OnHelpNotify(NMHDR* /*header*/) { OnNotifyHelp(); }
    virtual void OnNotifyHelp() {}
    virtual void OnResetNotify(NMHDR* /*header*/) { OnReset(); }
    virtual void OnReset() {}

    // Enables the sheet's Apply button for this page.
    void SetChanged();
    // The value the sheet reads back as the answer to the notification being handled.
    void SetMessageResult(LRESULT value);

    // True once OnInit has run to its end. A page whose set-up failed (memory ran out while it
    // filled its controls) shows the template's defaults, which are no choice of the user's: its
    // apply saves nothing.
    bool SetUpComplete = false;
};

// One page of a sheet, in tab order. The page object is not owned.
struct CSheetPageInfo
{
    CPropertyPageBase* Page = nullptr;
    // Empty: the tab shows the caption of the dialog template.
    CWideString Title;
    UINT DialogId = 0;
};

// Binds a page window to the object carried in its PROPSHEETPAGE and dispatches to it.
INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the modal sheet (wide or ANSI, by g_WideApisAvailable) and returns what PropertySheet
// returned. Throws CNewException while the records are being prepared; never once the sheet runs.
INT_PTR ShowPropertySheet(const COwningVector<CSheetPageInfo>& pages, HWND parent, const CWideString& caption);

// A child control of a dialog; does not own the window.
class CControlRef
{
public:
    void Attach(HWND dialog, int itemId)
    {
        ItemId = itemId;
        Window = GetDlgItem(dialog, itemId);
    }
    bool SetText(const CWideString& text);
    bool GetText(CWideString& text) const;
    void Enable(bool enable) { EnableWindow(Window, enable ? TRUE : FALSE); }

    HWND Window = nullptr;
    int ItemId = 0;
};

// A list view; does not own the window. The messages are the wide ones on every platform: the
// list view of the common controls takes them on Windows 98 too.
class CListViewRef
{
public:
    void Attach(HWND window) { Window = window; }
    void SetExtendedStyle(DWORD mask, DWORD style);
    int InsertColumn(int subItem, const CWideString& text, int width);
    // The index of the new item, or -1.
    int InsertItem(int index, const CWideString& text);
    void SetCheckState(int index, bool checked);
    // True for the ticked state image only.
    bool GetCheckState(int index) const;

    HWND Window = nullptr;
};
