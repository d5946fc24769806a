#pragma once
// The don't-show-again notices shown before a mode switch. The check box
// follows the registry at once: checked creates the key, cleared deletes it;
// while the key exists the notice is skipped.
#include "platform/ui/afx.h"

constexpr UINT IDD_NORMAL_MODE_NOTICE = 158;
constexpr UINT IDD_MODEM_MODE_NOTICE = 159;
constexpr int IDC_NORMAL_NOTICE_TEXT = 1444;
constexpr int IDC_NORMAL_NOTICE_CHECK = 1443;
constexpr int IDC_NORMAL_NOTICE_OK = 1445;
constexpr int IDC_MODEM_NOTICE_TEXT = 1446;
constexpr int IDC_MODEM_NOTICE_CHECK = 1447;
constexpr int IDC_MODEM_NOTICE_OK = 1448;

// Keys under the current user.
constexpr const wchar_t* kDontShowAgainKeyPrefix = L"Software\\TARSEL\\SwitchModeTool";
constexpr const wchar_t* kNormalModeSuffix = L"NormalMode";
constexpr const wchar_t* kModemModeSuffix = L"ModemMode";

// 1 when the key prefix + suffix exists.
BOOL IsDontShowAgainSet(const wchar_t* suffix);

// The two notices are this class with their own resource, ids and key.
class CDontShowAgainNotice : public CDialog {
public:
    ~CDontShowAgainNotice() override;

    BYTE m_bConfirmed = 0;  // OK, Enter on OK, or the system closing the notice
    CString m_strCaption;
    CString m_strText;
    CString m_strCheckLabel;

    // 1 when the key was created or opened / opened and deleted.
    BOOL CreateDontShowAgainKey();
    BOOL DeleteDontShowAgainKey();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    CDontShowAgainNotice(UINT templateId, int textId, int checkId, int okId, const wchar_t* suffix);
    void OnDontShowAgainClicked();
    void OnChooseOK();
    // Esc never gets here (the key filter empties it); the system closing the
    // notice (close box, a close request) ends it as OK does, so the switch goes on
    void OnCancel() override { OnChooseOK(); }

    int m_nTextId, m_nCheckId, m_nOkId;
    const wchar_t* m_pszSuffix;

    DECLARE_MESSAGE_MAP()
};

class CChooseDialogCheckBox : public CDontShowAgainNotice {
public:
    CChooseDialogCheckBox();
    ~CChooseDialogCheckBox() override;

protected:
    DECLARE_MESSAGE_MAP()
};

class CChooseDialogModemCheckBox : public CDontShowAgainNotice {
public:
    CChooseDialogModemCheckBox();
    ~CChooseDialogModemCheckBox() override;

protected:
    DECLARE_MESSAGE_MAP()
};

// Modal on the calling thread; the caller goes on however it was closed.
void ShowNormalModeNotice(const wchar_t* text, const wchar_t* caption, const wchar_t* checkLabel);
void ShowModemModeNotice(const wchar_t* text, const wchar_t* caption, const wchar_t* checkLabel);
