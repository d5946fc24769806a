#pragma once
// The framework's sample dialog (template 60001): every control kind, a tab
// with two child pages, a menu and a red label; it logs what reaches it.
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/afx.h"

UI_USE_TEMPLATE_FILE(sample_dialogs);

namespace sample {

constexpr UINT kDialogId = 60001, kPageOneId = 60002, kPageTwoId = 60003, kPlainId = 60004, kMenuId = 60100;
constexpr UINT kMsgLoad = WM_USER + 1, kMsgSave = WM_USER + 2, kMsgJoinWorker = WM_USER + 3,
               kMsgJoinBoxWorker = WM_USER + 4, kMsgBoxWorker = WM_USER + 5, kMsgAsk = WM_USER + 1001;

class EventLog {
public:
    void Add(const std::string& e)
    {
        std::lock_guard<std::mutex> lock(mu_);
        events_.push_back(e);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto out = events_;
        events_.clear();
        return out;
    }

private:
    std::mutex mu_;
    std::vector<std::string> events_;
};

class CPage : public CDialog {
public:
    explicit CPage(EventLog& log) : log_(log) {}
    bool swallowEsc = false;
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (swallowEsc && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
            return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }
    afx_msg void OnEdit() { log_.Add("page" + std::to_string(GetTemplateId()) + ":EN_CHANGE"); }
    DECLARE_MESSAGE_MAP()

private:
    EventLog& log_;
};

class CSampleDialog : public CDialog {
public:
    CSampleDialog() : CDialog(kDialogId), pageOne_(log), pageTwo_(log) {}

    EventLog log;
    bool swallowKeys = false;
    CString m_name;
    int m_check = 0, m_mode = 0, m_selection = 0, m_comboIndex = 0;
    CTabCtrl m_tab;
    CListCtrl m_list;
    CComboBox m_combo;
    CMenu m_menu;
    std::thread::id uiThread;
    CPage& PageOne() { return pageOne_; }

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        uiThread = std::this_thread::get_id();
        for (const wchar_t* s : {L"CHAP", L"PAP", L"NONE"})
            m_combo.AddString(s);
        m_combo.SetCurSel(0);
        auto* drop = static_cast<CComboBox*>(GetDlgItem(1015));
        drop->AddString(L"internet");
        drop->InsertString(0, L"mobile");
        m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        CRect rc;
        m_list.GetClientRect(&rc);
        const wchar_t* heads[] = {L"Operation Name", L"Network", L"MCC MNC", L"Status"};
        for (int i = 0; i < 4; ++i)
            m_list.InsertColumn(i, heads[i], LVCFMT_CENTER, rc.Width() / 4);
        LVCOLUMN col;
        col.mask = LVCF_FMT;
        col.fmt = LVCFMT_CENTER;
        m_list.SetColumn(0, &col);
        const wchar_t* rows[][4] = {{L"Northwind", L"4G", L"00101", L"Current"},
                                    {L"Bluefield", L"WCDMA", L"00102", L"Avaiable"},
                                    {L"みなみ通信", L"GSM", L"00103", L"Unavaiable"}};
        for (int r = 0; r < 3; ++r) {
            m_list.InsertItem(r, rows[r][0]);
            for (int c = 1; c < 4; ++c)
                m_list.SetItemText(r, c, rows[r][c]);
        }
        pageOne_.Create(kPageOneId, &m_tab);
        pageTwo_.Create(kPageTwoId, &m_tab);
        m_tab.InsertItem(0, L"ネットワーク");
        m_tab.InsertItem(1, L"PIN");
        CRect client, item;
        m_tab.GetClientRect(&client);
        m_tab.GetItemRect(0, &item);
        for (CPage* p : {&pageOne_, &pageTwo_})
            p->SetWindowPos(&wndTop, item.left, item.bottom + 1, client.right - item.left - 3,
                            client.bottom - item.bottom - 3, p == &pageOne_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
        m_menu.LoadMenu(kMenuId);
        SetMenu(&m_menu);
        CheckRadioButton(1010, 1011, 1010);
        CheckRadioButton(1012, 1013, 1012);
        return TRUE;
    }

    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN || msg->message == WM_LBUTTONUP)
            log.Add("pre:" + std::to_string(msg->message) + ":" + std::to_string(::GetDlgItem(m_hWnd, 1007) == msg->hwnd));
        if (swallowKeys && (msg->message == WM_KEYDOWN || (msg->message == WM_SYSKEYDOWN && GetKeyState(VK_MENU) < 0)))
            return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }

    void OnOK() override
    {
        log.Add("OnOK");
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        log.Add("OnCancel");
        CDialog::OnCancel();
    }

protected:
    void DoDataExchange(CDataExchange* dx) override
    {
        DDX_Control(dx, 1017, m_tab);
        DDX_Control(dx, 1016, m_list);
        DDX_Control(dx, 1014, m_combo);
        DDX_Text(dx, 1004, m_name);
        DDX_Check(dx, 1008, m_check);
        DDX_Radio(dx, 1010, m_mode);
        DDX_Radio(dx, 1012, m_selection);
        DDX_CBIndex(dx, 1014, m_comboIndex);
    }

    afx_msg void OnSearch() { log.Add("BN_CLICKED:1007"); }
    afx_msg void OnCheck() { log.Add("BN_CLICKED:1008:" + std::to_string(IsDlgButtonChecked(1008))); }
    afx_msg void OnNameChange()
    {
        CString t;
        GetDlgItemText(1004, t);
        log.Add("EN_CHANGE:" + t.ToUtf8());
    }
    afx_msg void OnComboChange() { log.Add("CBN_SELCHANGE:" + std::to_string(m_combo.GetCurSel())); }
    afx_msg void OnListChanged(NMHDR* hdr, LRESULT* result)
    {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
        POSITION pos = m_list.GetFirstSelectedItemPosition();
        int sel = pos ? m_list.GetNextSelectedItem(pos) : -1;
        log.Add("LVN_ITEMCHANGED:" + std::to_string(nm->iItem) + ":" + std::to_string((nm->uNewState & LVIS_SELECTED) != 0) +
                ":" + std::to_string(sel) + ":" + (sel >= 0 ? m_list.GetItemText(sel, 2).ToUtf8() : ""));
        *result = 0;
    }
    afx_msg void OnTabChange(NMHDR*, LRESULT* result)
    {
        int cur = m_tab.GetCurSel();
        pageOne_.ShowWindow(cur == 0 ? SW_SHOW : SW_HIDE);
        pageTwo_.ShowWindow(cur == 1 ? SW_SHOW : SW_HIDE);
        log.Add("TCN_SELCHANGE:" + std::to_string(cur));
        *result = 0;
    }
    afx_msg void OnJapanese() { log.Add("menu:32780"); }
    afx_msg void OnEnglish() { log.Add("menu:32781"); }
    afx_msg LRESULT OnLoad(WPARAM, LPARAM)
    {
        UpdateData(FALSE);
        return 1;
    }
    afx_msg LRESULT OnSave(WPARAM, LPARAM)
    {
        UpdateData(TRUE);
        return 1;
    }
    afx_msg LRESULT OnAsk(WPARAM w, LPARAM l)
    {
        log.Add(std::string("ask:") + (std::this_thread::get_id() == uiThread ? "ui" : "other"));
        return static_cast<LRESULT>(w + l);
    }
    // starts a worker that shows a message box over this dialog and goes on
    afx_msg LRESULT OnBoxWorker(WPARAM, LPARAM)
    {
        struct Ctx {
            HWND dialog;
            EventLog* log;
        };
        AfxBeginThread(
            [](LPVOID p) -> UINT {
                std::unique_ptr<Ctx> c(static_cast<Ctx*>(p));
                ::MessageBox(c->dialog, L"Worker tells", L"Attention", MB_OK | MB_ICONINFORMATION);
                c->log->Add("box answered");
                return 0;
            },
            new Ctx{m_hWnd, &log});
        return 0;
    }
    // starts a worker that shows a message box over this dialog and joins it here
    afx_msg LRESULT OnJoinBoxWorker(WPARAM, LPARAM)
    {
        HWND dialog = m_hWnd;
        CWinThread* w = AfxBeginThread(
            [](LPVOID p) -> UINT {
                ::MessageBox(static_cast<HWND>(p), L"Worker asks", L"Attention", MB_OK | MB_ICONINFORMATION);
                return 0;
            },
            dialog);
        bool joined = w->Join();
        log.Add(joined ? "joined" : "join failed");
        return joined;
    }
    // starts a worker that asks this dialog by SendMessage and joins it here
    afx_msg LRESULT OnJoinWorker(WPARAM, LPARAM)
    {
        struct Ctx {
            HWND dialog;
            LRESULT answer = 0;
        } ctx{m_hWnd};
        CWinThread* w = AfxBeginThread(
            [](LPVOID p) -> UINT {
                auto* c = static_cast<Ctx*>(p);
                c->answer = ::SendMessage(c->dialog, kMsgAsk, 20, 1);
                return 0;
            },
            &ctx);
        return w->Join() ? ctx.answer : -1;
    }
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor)
    {
        HBRUSH brush = CDialog::OnCtlColor(dc, wnd, ctlColor);
        if (wnd->GetDlgCtrlID() == 1003)
            dc->SetTextColor(RGB(255, 0, 0));
        return brush;
    }
    DECLARE_MESSAGE_MAP()

private:
    CPage pageOne_, pageTwo_;
};

inline const ::ui::MessageMap* CPage::GetMessageMap() const { return GetThisMessageMap(); }
inline const ::ui::MessageMap* CPage::GetThisMessageMap()
{
    typedef CPage ThisClass;
    static const ::ui::MessageEntry entries[] = {ON_EN_CHANGE(2002, &ThisClass::OnEdit){0, 0, 0, nullptr}};
    static const ::ui::MessageMap map = {&CDialog::GetThisMessageMap, entries};
    return &map;
}

inline const ::ui::MessageMap* CSampleDialog::GetMessageMap() const { return GetThisMessageMap(); }
inline const ::ui::MessageMap* CSampleDialog::GetThisMessageMap()
{
    typedef CSampleDialog ThisClass;
    static const ::ui::MessageEntry entries[] = {
        ON_BN_CLICKED(1007, &CSampleDialog::OnSearch)
        ON_BN_CLICKED(1008, &CSampleDialog::OnCheck)
        ON_EN_CHANGE(1004, &CSampleDialog::OnNameChange)
        ON_CBN_SELCHANGE(1014, &CSampleDialog::OnComboChange)
        ON_NOTIFY(LVN_ITEMCHANGED, 1016, &CSampleDialog::OnListChanged)
        ON_NOTIFY(TCN_SELCHANGE, 1017, &CSampleDialog::OnTabChange)
        ON_COMMAND(32780, &CSampleDialog::OnJapanese)
        ON_COMMAND(32781, &CSampleDialog::OnEnglish)
        ON_MESSAGE(kMsgLoad, &CSampleDialog::OnLoad)
        ON_MESSAGE(kMsgSave, &CSampleDialog::OnSave)
        ON_MESSAGE(kMsgAsk, &CSampleDialog::OnAsk)
        ON_MESSAGE(kMsgJoinWorker, &CSampleDialog::OnJoinWorker)
        ON_MESSAGE(kMsgJoinBoxWorker, &CSampleDialog::OnJoinBoxWorker)
        ON_MESSAGE(kMsgBoxWorker, &CSampleDialog::OnBoxWorker)
        ON_WM_CTLCOLOR()
        {0, 0, 0, nullptr}};
    static const ::ui::MessageMap map = {&CDialog::GetThisMessageMap, entries};
    return &map;
}

}  // namespace sample
