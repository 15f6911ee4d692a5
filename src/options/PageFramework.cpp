#include "options/PageFramework.h"

#include "base/Module.h"
#include "base/Platform.h"
#include "base/TextConvert.h"
#include "base/UiWrappers.h"

#include <cstddef>
#include <cstring>

// The page records are handed over as one array that the sheet walks by each record's dwSize,
// so the record type itself must be exactly as long as the size it announces: the layout with
// the wizard header fields and without the activation context, which every version of the
// common controls since Windows 98 accepts together with PSP_HASHELP. The 64-bit module hands over
// the same record versions at their 64-bit sizes.
static_assert(offsetof(PROPSHEETPAGEW_V2, pszHeaderSubTitle) + sizeof(LPCWSTR) == ArchValue(48, 88), "page record");
static_assert(sizeof(PROPSHEETPAGEW_V2) == ArchValue(48, 88), "page records lie one record size apart");
static_assert(sizeof(PROPSHEETPAGEA_V2) == ArchValue(48, 88), "page records lie one record size apart");
static_assert(offsetof(PROPSHEETHEADERW, hbmHeader) + sizeof(HBITMAP) == ArchValue(52, 96), "sheet header");
static_assert(sizeof(PROPSHEETHEADERW) == ArchValue(52, 96) && sizeof(PROPSHEETHEADERA) == ArchValue(52, 96),
              "sheet header");

namespace
{
const DWORD kPageRecordSize = offsetof(PROPSHEETPAGEW_V2, pszHeaderSubTitle) + sizeof(LPCWSTR);
const DWORD kSheetHeaderSize = sizeof(PROPSHEETHEADERW);

template <typename TRecord, typename TText>
void FillPageRecord(TRecord& record, const CSheetPageInfo& page, const TText& title)
{
    record = TRecord();
    record.dwSize = kPageRecordSize;
    record.dwFlags = PSP_HASHELP;
    record.hInstance = g_ModuleInstance;
    // The template is named by its integer id.
    record.pszTemplate = reinterpret_cast<decltype(record.pszTemplate)>(static_cast<ULONG_PTR>(page.DialogId));
    record.pfnDlgProc = PageDialogProc;
    record.lParam = reinterpret_cast<LPARAM>(page.Page);
    // Without a title of its own the tab shows the template's caption.
    if (!title.IsEmpty())
    {
        record.dwFlags |= PSP_USETITLE;
        record.pszTitle = title.Ptr();
    }
}

// The header of the modal sheet over `count` records of the header's width.
template <typename THeader, typename TText, typename TRecord>
void FillSheetHeader(THeader& header, HWND parent, const TText& caption, int count, const TRecord* records)
{
    header = THeader();
    header.dwSize = kSheetHeaderSize;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.hwndParent = parent;
    header.hInstance = g_ModuleInstance;
    header.pszCaption = caption.Ptr();
    header.nPages = static_cast<UINT>(count);
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<decltype(header.ppsp)>(records);
}
} // namespace

bool CDialogBase::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_NOTIFY:
        return OnNotify(static_cast<UINT>(wParam), reinterpret_cast<NMHDR*>(lParam));
    case WM_HELP:
        // F1 on a page; the pages serve their help through the sheet's Help button instead.
        OnHelpMessage(reinterpret_cast<HELPINFO*>(lParam));
        return true;
    case WM_INITDIALOG:
        return OnInit();
    case WM_COMMAND:
        return OnCommandMessage(wParam, lParam);
    case WM_TIMER:
        return OnTimer(wParam, lParam);
    default:
        return false;
    }
}

bool CDialogBase::OnCommand(WORD code, WORD itemId, HWND control)
{
    if (code == BN_CLICKED)
        return OnButtonClicked(itemId, control);
    return false;
}

bool CDialogBase::OnCommandMessage(WPARAM wParam, LPARAM lParam)
{
    return OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
}

bool CDialogBase::OnButtonClicked(WORD buttonId, HWND /*control*/)
{
    switch (buttonId)
    {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    case IDHELP:
        OnHelp();
        return true;
    default:
        return false;
    }
}

bool CPropertyPageBase::OnNotify(UINT /*controlId*/, NMHDR* header)
{
    if (header == nullptr)
        return false;
    switch (header->code)
    {
    case PSN_SETACTIVE:
        SetMessageResult(OnSetActiveNotify(header));
        return true;
    case PSN_KILLACTIVE:
        SetMessageResult(OnKillActiveNotify(header) ? TRUE : FALSE);
        return true;
    case PSN_APPLY:
        SetMessageResult(SetUpComplete ? OnApplyNotify(header) : PSNRET_NOERROR);
        return true;
    case PSN_RESET:
        OnResetNotify(header);
        return true;
    case PSN_HELP:
        OnHelpNotify(header);
        return true;
    default:
        // PSN_WIZBACK and the other wizard codes included: this sheet is no wizard.
        return false;
    }
}

void CPropertyPageBase::SetChanged()
{
    SendMessageA(GetParent(Window), PSM_CHANGED, reinterpret_cast<WPARAM>(Window), 0);
}

void CPropertyPageBase::SetMessageResult(LRESULT value)
{
    SetWindowLongPtrA(Window, DWLP_MSGRESULT, value);
}

INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The sheet hands each page its own copy of the record; the page object rides in lParam.
    // The window's user data holds the whole pointer, in the 64-bit module too.
    if (message == WM_INITDIALOG && lParam != 0)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    CPropertyPageBase* page = reinterpret_cast<CPropertyPageBase*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (page == nullptr)
        return FALSE;
    if (message == WM_INITDIALOG)
        page->Window = window;

    // The sheet's own frames lie between here and ShowOptions: nothing may unwind through them.
    // A page that ran out of memory answers this message as unhandled and the sheet goes on.
    try
    {
        switch (message)
        {
        case WM_NOTIFY:
            return page->OnNotify(static_cast<UINT>(wParam), reinterpret_cast<NMHDR*>(lParam)) ? TRUE : FALSE;
        case WM_INITDIALOG:
        {
            const bool setFocus = page->OnInit();
            page->SetUpComplete = true;
            return setFocus ? TRUE : FALSE;
        }
        case WM_COMMAND:
            return page->OnCommandMessage(wParam, lParam) ? TRUE : FALSE;
        default:
            return page->OnMessage(message, wParam, lParam) ? TRUE : FALSE;
        }
    }
    catch (...)
    {
        return FALSE;
    }
}

INT_PTR ShowPropertySheet(const COwningVector<CSheetPageInfo>& pages, HWND parent, const CWideString& caption)
{
    const int count = pages.Count();

    // The narrow titles must live until the sheet has closed: the records point into them.
    COwningVector<CNarrowString> narrowTitles;
    narrowTitles.Reserve(count);
    for (int i = 0; i < count; i++)
        narrowTitles.Add(SystemTextFromWide(pages[i].Title));

    CBlock<PROPSHEETPAGEW_V2> wideRecords(count);
    CBlock<PROPSHEETPAGEA_V2> narrowRecords(count);
    for (int i = 0; i < count; i++)
    {
        FillPageRecord(wideRecords[i], pages[i], pages[i].Title);
        FillPageRecord(narrowRecords[i], pages[i], narrowTitles[i]);
    }

    if (g_WideApisAvailable)
    {
        PROPSHEETHEADERW header;
        FillSheetHeader(header, parent, caption, count, wideRecords.Get());
        return PropertySheetW(&header);
    }
    const CNarrowString narrowCaption = SystemTextFromWide(caption);
    PROPSHEETHEADERA header;
    FillSheetHeader(header, parent, narrowCaption, count, narrowRecords.Get());
    return PropertySheetA(&header);
}

bool CControlRef::SetText(const CWideString& text)
{
    return SetControlText(Window, text);
}

bool CControlRef::GetText(CWideString& text) const
{
    return GetControlText(Window, text);
}

void CListViewRef::SetExtendedStyle(DWORD mask, DWORD style)
{
    SendMessageA(Window, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

int CListViewRef::InsertColumn(int subItem, const CWideString& text, int width)
{
    LVCOLUMNW column;
    std::memset(&column, 0, sizeof(column));
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.Ptr());
    column.iSubItem = subItem;
    return static_cast<int>(SendMessageA(Window, LVM_INSERTCOLUMNW, subItem, reinterpret_cast<LPARAM>(&column)));
}

int CListViewRef::InsertItem(int index, const CWideString& text)
{
    LVITEMW item;
    std::memset(&item, 0, sizeof(item));
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(text.Ptr());
    item.lParam = index;
    return static_cast<int>(SendMessageA(Window, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListViewRef::SetCheckState(int index, bool checked)
{
    LVITEMW item;
    std::memset(&item, 0, sizeof(item));
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageA(Window, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

bool CListViewRef::GetCheckState(int index) const
{
    // State image 2 is the tick, 1 the clear box; a row without a state image (0) is not ticked.
    const UINT state = static_cast<UINT>(SendMessageA(Window, LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK));
    return (state >> 12) == 2;
}
