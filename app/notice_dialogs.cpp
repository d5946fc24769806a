#include "app/notice_dialogs.h"

#include <string>

#include "platform/win/registry.h"

UI_USE_TEMPLATE_FILE(notice_dialogs);

namespace {

std::wstring KeyOf(const wchar_t* suffix) { return std::wstring(kDontShowAgainKeyPrefix) + (suffix ? suffix : L""); }

}  // namespace

BOOL IsDontShowAgainSet(const wchar_t* suffix)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyOf(suffix).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return TRUE;
}

CDontShowAgainNotice::CDontShowAgainNotice(UINT templateId, int textId, int checkId, int okId, const wchar_t* suffix)
    : CDialog(templateId), m_nTextId(textId), m_nCheckId(checkId), m_nOkId(okId), m_pszSuffix(suffix)
{
}

CDontShowAgainNotice::~CDontShowAgainNotice() = default;

// each notice maps its own control ids
BEGIN_MESSAGE_MAP(CDontShowAgainNotice, CDialog)
END_MESSAGE_MAP()

BOOL CDontShowAgainNotice::CreateDontShowAgainKey()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyOf(m_pszSuffix).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return TRUE;
}

BOOL CDontShowAgainNotice::DeleteDontShowAgainKey()
{
    std::wstring name = KeyOf(m_pszSuffix);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return RegDeleteKeyW(HKEY_CURRENT_USER, name.c_str()) == ERROR_SUCCESS;
}

BOOL CDontShowAgainNotice::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    SetDlgItemText(m_nTextId, m_strText);
    SetDlgItemText(m_nCheckId, m_strCheckLabel);
    SetDlgItemText(m_nOkId, L"OK");
    return TRUE;
}

void CDontShowAgainNotice::OnDontShowAgainClicked()
{
    auto* box = static_cast<CButton*>(GetDlgItem(m_nCheckId));
    if (box && box->GetCheck() == BST_CHECKED)
        CreateDontShowAgainKey();
    else
        DeleteDontShowAgainKey();
}

void CDontShowAgainNotice::OnChooseOK()
{
    m_bConfirmed = 1;
    EndDialog(IDOK);
}

BOOL CDontShowAgainNotice::PreTranslateMessage(MSG* msg)
{
    bool altF4 = msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4 && (GetKeyState(VK_MENU) & 0x8000);
    bool key = msg->message == WM_KEYDOWN;
    if (altF4 || (key && msg->wParam == VK_ESCAPE)) {
        msg->message = WM_NULL;
    } else if (key && msg->wParam == VK_RETURN) {
        CWnd* ok = GetDlgItem(m_nOkId);
        if (ok && msg->hwnd == ok->GetSafeHwnd()) {
            OnChooseOK();
            return TRUE;
        }
        msg->message = WM_NULL;
    }
    return CDialog::PreTranslateMessage(msg);
}

CChooseDialogCheckBox::CChooseDialogCheckBox()
    : CDontShowAgainNotice(IDD_NORMAL_MODE_NOTICE, IDC_NORMAL_NOTICE_TEXT, IDC_NORMAL_NOTICE_CHECK,
                           IDC_NORMAL_NOTICE_OK, kNormalModeSuffix)
{
}
CChooseDialogCheckBox::~CChooseDialogCheckBox() = default;

BEGIN_MESSAGE_MAP(CChooseDialogCheckBox, CDontShowAgainNotice)
    ON_BN_CLICKED(IDC_NORMAL_NOTICE_CHECK, &CChooseDialogCheckBox::OnDontShowAgainClicked)
    ON_BN_CLICKED(IDC_NORMAL_NOTICE_OK, &CChooseDialogCheckBox::OnChooseOK)
END_MESSAGE_MAP()

CChooseDialogModemCheckBox::CChooseDialogModemCheckBox()
    : CDontShowAgainNotice(IDD_MODEM_MODE_NOTICE, IDC_MODEM_NOTICE_TEXT, IDC_MODEM_NOTICE_CHECK, IDC_MODEM_NOTICE_OK,
                           kModemModeSuffix)
{
}
CChooseDialogModemCheckBox::~CChooseDialogModemCheckBox() = default;

BEGIN_MESSAGE_MAP(CChooseDialogModemCheckBox, CDontShowAgainNotice)
    ON_BN_CLICKED(IDC_MODEM_NOTICE_CHECK, &CChooseDialogModemCheckBox::OnDontShowAgainClicked)
    ON_BN_CLICKED(IDC_MODEM_NOTICE_OK, &CChooseDialogModemCheckBox::OnChooseOK)
END_MESSAGE_MAP()

namespace {

template <class Notice>
void ShowNotice(const wchar_t* text, const wchar_t* caption, const wchar_t* checkLabel)
{
    Notice notice;
    notice.m_strText = text ? text : L"";
    notice.m_strCaption = caption ? caption : L"";
    notice.m_strCheckLabel = checkLabel ? checkLabel : L"";
    notice.DoModal();
}

}  // namespace

void ShowNormalModeNotice(const wchar_t* text, const wchar_t* caption, const wchar_t* checkLabel)
{
    ShowNotice<CChooseDialogCheckBox>(text, caption, checkLabel);
}

void ShowModemModeNotice(const wchar_t* text, const wchar_t* caption, const wchar_t* checkLabel)
{
    ShowNotice<CChooseDialogModemCheckBox>(text, caption, checkLabel);
}
