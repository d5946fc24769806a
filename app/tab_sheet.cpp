#include "app/tab_sheet.h"

CTabSheet::CTabSheet() = default;
CTabSheet::~CTabSheet() = default;

BEGIN_MESSAGE_MAP(CTabSheet, CTabCtrl)
    {WM_LBUTTONDOWN, 0, 0, &::ui::CallMouse<&CTabSheet::OnTabLButtonDown>},
END_MESSAGE_MAP()

void CTabSheet::AddPage(const wchar_t* title, CDialog* page, UINT templateId)
{
    if (m_nCount >= kMaxPages)
        return;
    // kept as a copy, so the caller's text need not outlive the call
    m_strTitles[m_nCount] = title;
    m_pPages[m_nCount] = page;
    m_nTemplateIds[m_nCount] = templateId;
    ++m_nCount;
}

void CTabSheet::ShowPages()
{
    for (int i = 0; i < m_nCount; ++i) {
        if (m_pPages[i])
            m_pPages[i]->Create(m_nTemplateIds[i], this);
        InsertItem(i, m_strTitles[i]);
    }
    SetPagesRect();
    m_nCurrent = 0;
    for (int i = 0; i < m_nCount; ++i)
        if (m_pPages[i])
            m_pPages[i]->ShowWindow(i == 0 ? SW_SHOW : SW_HIDE);
}

CRect CTabSheet::PageRect(const RECT& client, const RECT& item0)
{
    CRect rect;
    rect.left = item0.left;
    rect.top = item0.bottom + 1;
    rect.right = rect.left + (client.right - item0.left - 3);
    rect.bottom = rect.top + (client.bottom - item0.bottom - 3);
    return rect;
}

CRect CTabSheet::CurrentPageRect() const
{
    CRect client(0, 0, 0, 0), item0(0, 0, 0, 0);
    GetClientRect(&client);
    GetItemRect(0, &item0);
    return PageRect(client, item0);
}

void CTabSheet::SetPagesRect()
{
    CRect rect = CurrentPageRect();
    for (int i = 0; i < m_nCount; ++i) {
        if (!m_pPages[i])
            continue;
        m_pPages[i]->SetWindowPos(i == 0 ? &wndTop : nullptr, rect.left, rect.top, rect.Width(), rect.Height(),
                                  i == 0 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    }
}

void CTabSheet::ShowOnly(int index)
{
    if (m_pPages[m_nCurrent])
        m_pPages[m_nCurrent]->ShowWindow(SW_HIDE);
    m_nCurrent = index;
    if (m_pPages[m_nCurrent])
        m_pPages[m_nCurrent]->ShowWindow(SW_SHOW);
}

int CTabSheet::SetCurSel(int index)
{
    if (index < 0 || index >= m_nCount)
        return -1;
    int previous = m_nCurrent;
    ShowOnly(index);
    CTabCtrl::SetCurSel(index);
    return previous;
}

void CTabSheet::SetPageTitle(const wchar_t* title, UINT templateId)
{
    int index = 0;
    while (index < m_nCount && m_nTemplateIds[index] != templateId)
        ++index;
    if (index >= m_nCount)
        return;
    wchar_t buffer[256] = {};
    TCITEM item = {};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 256;
    if (!GetItem(index, &item))
        return;
    item.pszText = const_cast<wchar_t*>(title ? title : L"");
    SetItem(index, &item);
}

BOOL CTabSheet::ReplaceSecondPage(CDialog* page, const wchar_t* title, UINT templateId)
{
    // a sheet without a second page has nothing to replace
    if (m_nCount >= kMaxPages || m_nCount < 2 || !page)
        return FALSE;
    DeleteItem(1);
    if (m_pPages[1] && m_pPages[1]->GetSafeHwnd())
        m_pPages[1]->DestroyWindow();
    m_strTitles[1] = title;
    m_pPages[1] = page;
    m_nTemplateIds[1] = templateId;
    page->Create(templateId, this);
    InsertItem(1, m_strTitles[1]);
    CRect rect = CurrentPageRect();
    page->SetWindowPos(nullptr, rect.left, rect.top, rect.Width(), rect.Height(), SWP_SHOWWINDOW);
    return TRUE;
}

void CTabSheet::OnTabLButtonDown(UINT flags, CPoint point)
{
    Default();
    int focused = GetCurFocus();
    if (focused == m_nCurrent || focused < 0 || focused >= m_nCount)
        return;
    ShowOnly(focused);
}
