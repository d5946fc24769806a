#pragma once
// A tab control that hosts up to 20 child dialogs as its pages.
#include "platform/ui/afx.h"

class CTabSheet : public CTabCtrl {
public:
    static constexpr int kMaxPages = 20;

    CTabSheet();
    ~CTabSheet() override;

    // A 21st page is refused silently.
    void AddPage(const wchar_t* title, CDialog* page, UINT templateId);
    // Creates the pages inside the tab control, inserts their tabs, shows page 0.
    void ShowPages();
    void SetPagesRect();
    // The previous index, or -1 (nothing changes) for an index outside the pages.
    int SetCurSel(int index);
    void SetPageTitle(const wchar_t* title, UINT templateId);
    // Replaces page 1 (its window is destroyed, the object stays with its
    // owner); 1 replaced, 0 refused. current is not changed.
    BOOL ReplaceSecondPage(CDialog* page, const wchar_t* title, UINT templateId);

    int GetPageCount() const { return m_nCount; }
    int GetCurrentPage() const { return m_nCurrent; }
    CDialog* GetPage(int index) const { return index >= 0 && index < m_nCount ? m_pPages[index] : nullptr; }

    // Page rectangle inside a client area whose tab 0 occupies item0.
    static CRect PageRect(const RECT& client, const RECT& item0);

    afx_msg void OnTabLButtonDown(UINT flags, CPoint point);

protected:
    CString m_strTitles[kMaxPages];
    UINT m_nTemplateIds[kMaxPages] = {};
    CDialog* m_pPages[kMaxPages] = {};
    int m_nCount = 0;
    int m_nCurrent = 0;

    CRect CurrentPageRect() const;
    void ShowOnly(int index);

    DECLARE_MESSAGE_MAP()
};
