// The VX520 tool's PIN pages: texts, digit validators and the Apply
// sequences that change the SIM.
#include "tools/vx520/pin_pages.h"

#include <cctype>
#include <cstring>

#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "app/tool_dialog_frame.h"
#include "device/at_ops_sim.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

UI_USE_TEMPLATE_FILE(vx520_pin_pages);

namespace {

// The controls of the PIN setting page that ShowPinSettingDisabled switches.
constexpr int kPinSettingControls[] = {IDC_PIN_NOTICE, IDC_PIN_STATUS_LABEL, IDC_PIN_STATUS,
                                       IDC_PIN_CONFIRM_EDIT, IDC_PIN_CHOICE, IDC_PIN_CODE_LABEL,
                                       IDC_PIN_EDIT, IDC_PIN_ATTEMPTS_LABEL, IDC_PIN_ATTEMPTS};

CString Text(const wchar_t* key) { return ReadVX520String(key); }

void Prompt(const wchar_t* key) { ShowPromptInfo(Text(key), Text(L"ATTENTION")); }
void BigPrompt(const wchar_t* key) { ShowBigPromptInfo(Text(key), Text(L"ATTENTION")); }

CString AttemptsText(int attempts)
{
    CString text;
    text.Format(L"%d%s", attempts, static_cast<LPCWSTR>(Text(L"TIMES")));
    return text;
}

void SetTexts(CWnd* page, std::initializer_list<std::pair<int, const wchar_t*>> texts)
{
    for (const auto& [id, key] : texts)
        page->SetDlgItemText(id, Text(key));
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One rule for every PIN and PUK edit: too long is cut to the maximum, else
// the first non-digit is removed. Writing back raises EN_CHANGE again, which
// tests the new text the same way.
void ValidateDigits(CWnd* page, int editId, int maxLength, const wchar_t* lengthKey)
{
    CString text;
    page->GetDlgItemText(editId, text);
    if (text.GetLength() > maxLength) {
        Prompt(lengthKey);
        page->SetDlgItemText(editId, text.Left(maxLength));
        return;
    }
    for (int i = 0; i < text.GetLength(); ++i) {
        if (!IsDigit(text[i])) {
            Prompt(L"INVALID_CHARACTER");
            page->SetDlgItemText(editId, text.Left(i) + text.Mid(i + 1));
            return;
        }
    }
}

// Text of an edit as a code of exactly `length` digits, in the code page.
// Wrong length or a non-digit: its prompt, false. A failed conversion: false
// without a prompt.
bool ReadCode(CWnd* page, int editId, int length, const wchar_t* lengthKey, char* out, size_t room)
{
    std::memset(out, 0, room);
    CString text;
    page->GetDlgItemText(editId, text);
    if (text.GetLength() != length) {
        Prompt(lengthKey);
        return false;
    }
    // the validators keep the edits to digits; text set behind their back is refused too
    for (int i = 0; i < text.GetLength(); ++i) {
        if (!IsDigit(text[i])) {
            Prompt(L"INVALID_CHARACTER");
            return false;
        }
    }
    return WideToAnsi(text, out, room) == length;
}

// The new PIN (1417) and its confirmation (1420): the new PIN as a code,
// then the confirmation equal to it, else PIN_NOT_MATCH.
bool ReadNewPin(CWnd* page, char* newPin, size_t room)
{
    if (!ReadCode(page, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR", newPin, room))
        return false;
    CString typed, confirm;
    page->GetDlgItemText(IDC_PIN_EDIT, typed);
    page->GetDlgItemText(IDC_PIN_CONFIRM_EDIT, confirm);
    if (confirm != typed) {
        Prompt(L"PIN_NOT_MATCH");
        return false;
    }
    return true;
}

// The remaining attempts after a change; both 0 when they cannot be read.
int ReadAttemptsAfterChange(int* pinTries, int* pukTries)
{
    Sleep(1000);
    *pinTries = 0;
    *pukTries = 0;
    int status = 1;
    for (int i = 0; i < 3 && status != 0; ++i)
        status = AT_GET_PIN_PUK_TIMES(pinTries, pukTries);
    if (status != 0) {
        *pinTries = 0;
        *pukTries = 0;
    }
    return status;
}

// A refused code is told as wrong only when the device used a try on it (the
// count read after it is one below the count before); a refusal that used no
// try (no port, an operation the SIM does not allow) is a failed setting.
void PromptRefusal(int readStatus, int before, int after, const wchar_t* wrongKey)
{
    Prompt(readStatus == 0 && after == before - 1 ? wrongKey : L"SET_FAILED_INFO");
}

// The dialog's window, else the top window above the page.
CWnd* DialogWindowOf(CWnd* page, CWnd* known)
{
    if (known)
        return known;
    CWnd* top = nullptr;
    for (CWnd* w = page->GetParent(); w; w = w->GetParent())
        top = w;
    return top;
}

void PostSwitchPinPage(CWnd* page, CWnd* dialog, WPARAM show, LPARAM what)
{
    if (CWnd* target = DialogWindowOf(page, dialog))
        target->PostMessage(WM_SWITCH_PIN_PAGE, show, what);
}

BOOL FilterPageKeys(CDialog* page, MSG* msg)
{
    if (IsToolKeySwallowed(msg))
        return TRUE;
    return page->CDialog::PreTranslateMessage(msg);
}

bool HoldsNoSim(const char* answer) { return std::strstr(answer, "sim not insert") != nullptr; }

}  // namespace

// ---- PIN setting page --------------------------------------------------------

BEGIN_MESSAGE_MAP(CVX520ModemSettingPinSettingPage, CDialog)
    ON_CBN_SELCHANGE(IDC_PIN_CHOICE, &CVX520ModemSettingPinSettingPage::OnPinVerificationChange)
    ON_EN_CHANGE(IDC_PIN_EDIT, &CVX520ModemSettingPinSettingPage::ValidatePinDigits)
END_MESSAGE_MAP()

CVX520ModemSettingPinSettingPage::CVX520ModemSettingPinSettingPage(CWnd* parent)
    : CDialog(IDD_VX520_PIN_SETTING_PAGE, parent)
{
}

CVX520ModemSettingPinSettingPage::~CVX520ModemSettingPinSettingPage() = default;

void CVX520ModemSettingPinSettingPage::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PIN_CHOICE, m_comboPinVerification);
}

BOOL CVX520ModemSettingPinSettingPage::PreTranslateMessage(MSG* msg) { return FilterPageKeys(this, msg); }

BOOL CVX520ModemSettingPinSettingPage::OnInitDialog()
{
    CDialog::OnInitDialog();
    ShowPinSettingDisabled();
    return TRUE;
}

void CVX520ModemSettingPinSettingPage::GetSimAnswer(char* out, size_t outSize) const
{
    if (!out || outSize == 0)
        return;
    std::lock_guard<std::mutex> lock(m_simAnswerLock);
    std::strncpy(out, m_szSimAnswer, outSize - 1);
    out[outSize - 1] = '\0';
}

void CVX520ModemSettingPinSettingPage::SetPinSettingTexts()
{
    SetTexts(this, {{IDC_PIN_NOTICE, L"NOTICE"},
                    {IDC_PIN_STATUS_LABEL, L"STATUS"},
                    {IDC_PIN_CONFIRM_EDIT, L"PIN_STATE"},
                    {IDC_PIN_CODE_LABEL, L"PIN_CODE"},
                    {IDC_PIN_ATTEMPTS_LABEL, L"PIN_ATTEMPTS"}});
}

void CVX520ModemSettingPinSettingPage::ShowPinSettingDisabled()
{
    SetDlgItemText(IDC_PIN_STATUS, Text(L"DISABLE"));
    m_comboPinVerification.ResetContent();
    m_comboPinVerification.AddString(Text(L"ENABLE"));
    m_comboPinVerification.SetCurSel(0);
    // the fixed 3 of a page that has nothing to read from
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(3));
    for (int id : kPinSettingControls)
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(FALSE);
}

void CVX520ModemSettingPinSettingPage::EnablePinSettingControls()
{
    for (int id : kPinSettingControls)
        if (CWnd* control = GetDlgItem(id))
            control->EnableWindow(TRUE);
}

void CVX520ModemSettingPinSettingPage::FillVerificationChoice(int state)
{
    m_comboPinVerification.ResetContent();
    if (state == 1) {
        SetDlgItemText(IDC_PIN_STATUS, Text(L"ENABLE"));
        m_comboPinVerification.AddString(Text(L"DISABLE"));
        m_comboPinVerification.AddString(Text(L"MODIFY"));
    } else {
        SetDlgItemText(IDC_PIN_STATUS, Text(L"DISABLE"));
        m_comboPinVerification.AddString(Text(L"ENABLE"));
    }
}

int CVX520ModemSettingPinSettingPage::FillPinSettingPage()
{
    SetPinSettingTexts();
    int port = 0;
    if (m_portManager.FindATPortNumber(&port) != 0) {
        ShowPinSettingDisabled();
        return 1;
    }

    char answer[SIM_ANSWER_ROOM] = {};
    int status = 1;
    for (int i = 0; i < 3 && status != 0; ++i) {
        std::memset(answer, 0, sizeof answer);
        status = AT_CPIN(answer);
        if (status != 0) {
            OutputDebugStringW(L"CVX520ModemSettingPinSettingPage: AT_CPIN,Fail \r\n");
            Sleep(100);
        }
    }
    answer[sizeof answer - 1] = '\0';
    for (char* p = answer; *p; ++p)
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    {
        std::lock_guard<std::mutex> lock(m_simAnswerLock);
        std::memcpy(m_szSimAnswer, answer, sizeof m_szSimAnswer);
    }
    if (status == 0 && HoldsNoSim(answer)) {
        ShowPinSettingDisabled();
        return 0;
    }

    // three failed reads count as a SIM that answered
    EnablePinSettingControls();
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(m_nPinAttempts.load()));

    int state = 0;
    status = AT_GET_PIN_STATE(&state);
    if (status != 0)
        return status;
    m_nPinVerificationState = state;
    FillVerificationChoice(state);
    m_comboPinVerification.SetCurSel(0);
    return 0;
}

int CVX520ModemSettingPinSettingPage::RefreshPinSettingPage()
{
    SetPinSettingTexts();
    int port = 0;
    if (m_portManager.FindATPortNumber(&port) != 0) {
        ShowPinSettingDisabled();
        return 1;
    }
    char answer[SIM_ANSWER_ROOM];
    GetSimAnswer(answer, sizeof answer);
    if (HoldsNoSim(answer)) {
        ShowPinSettingDisabled();
        return 1;
    }
    int selection = m_comboPinVerification.GetCurSel();
    FillVerificationChoice(m_nPinVerificationState.load());
    m_comboPinVerification.SetCurSel(selection);
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(m_nPinAttempts.load()));
    return 0;
}

void CVX520ModemSettingPinSettingPage::OnPinVerificationChange()
{
    // DISABLE and ENABLE leave the device alone; MODIFY opens the change-PIN page
    if (m_comboPinVerification.GetCurSel() == 1)
        PostSwitchPinPage(this, m_pDialogWnd, 1, 1);
}

void CVX520ModemSettingPinSettingPage::ValidatePinDigits()
{
    ValidateDigits(this, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

// ---- change-PIN page ---------------------------------------------------------

BEGIN_MESSAGE_MAP(CVX520ModemSettingModifyPinPage, CDialog)
    ON_CBN_SELCHANGE(IDC_PIN_CHOICE, &CVX520ModemSettingModifyPinPage::OnModifyPinChoiceChange)
    ON_EN_CHANGE(IDC_CURRENT_PIN_EDIT, &CVX520ModemSettingModifyPinPage::ValidateCurrentPinDigits)
    ON_EN_CHANGE(IDC_PIN_EDIT, &CVX520ModemSettingModifyPinPage::ValidatePinDigits)
    ON_EN_CHANGE(IDC_PIN_CONFIRM_EDIT, &CVX520ModemSettingModifyPinPage::ValidateConfirmPinDigits)
END_MESSAGE_MAP()

CVX520ModemSettingModifyPinPage::CVX520ModemSettingModifyPinPage(CWnd* parent)
    : CDialog(IDD_VX520_MODIFY_PIN_PAGE, parent)
{
}

CVX520ModemSettingModifyPinPage::~CVX520ModemSettingModifyPinPage() = default;

void CVX520ModemSettingModifyPinPage::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PIN_CHOICE, m_comboChoice);
}

BOOL CVX520ModemSettingModifyPinPage::PreTranslateMessage(MSG* msg) { return FilterPageKeys(this, msg); }

void CVX520ModemSettingModifyPinPage::SetModifyPinTexts()
{
    SetTexts(this, {{IDC_PIN_NOTICE, L"NOTICE"},
                    {IDC_PIN_STATUS_LABEL, L"STATUS"},
                    {IDC_PIN_STATE_LABEL, L"PIN_STATE"},
                    {IDC_PIN_STATUS, L"PIN_REQUIRED"},
                    {IDC_CURRENT_PIN_LABEL, L"PIN_CODE"},
                    {IDC_PIN_CODE_LABEL, L"NEW_PIN"},
                    {IDC_PIN_CONFIRM_LABEL, L"CONFORM_PIN"},
                    {IDC_PIN_ATTEMPTS_LABEL, L"PIN_ATTEMPTS"}});
    m_comboChoice.ResetContent();
    m_comboChoice.AddString(Text(L"DISABLE"));
    m_comboChoice.AddString(Text(L"MODIFY"));
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(m_nPinAttempts.load()));
}

int CVX520ModemSettingModifyPinPage::FillModifyPinPage()
{
    SetModifyPinTexts();
    m_comboChoice.SetCurSel(1);
    return 1;
}

int CVX520ModemSettingModifyPinPage::RefreshModifyPinPage()
{
    int selection = m_comboChoice.GetCurSel();
    SetModifyPinTexts();
    m_comboChoice.SetCurSel(selection);
    return 0;
}

void CVX520ModemSettingModifyPinPage::OnModifyPinChoiceChange()
{
    if (m_comboChoice.GetCurSel() == 0)
        PostSwitchPinPage(this, m_pDialogWnd, 1, 2);
}

void CVX520ModemSettingModifyPinPage::ValidateCurrentPinDigits()
{
    ValidateDigits(this, IDC_CURRENT_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

void CVX520ModemSettingModifyPinPage::ValidatePinDigits()
{
    ValidateDigits(this, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

void CVX520ModemSettingModifyPinPage::ValidateConfirmPinDigits()
{
    ValidateDigits(this, IDC_PIN_CONFIRM_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

int CVX520ModemSettingModifyPinPage::ApplyModifyPin()
{
    // every refusal brings the change-PIN page back at the next showing
    auto refuse = [this] {
        PostSwitchPinPage(this, m_pDialogWnd, 0, 3);
        return 1;
    };
    char currentPin[PIN_CODE_ROOM];
    char newPin[PIN_CODE_ROOM];
    if (!ReadCode(this, IDC_CURRENT_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR", currentPin, sizeof currentPin))
        return refuse();
    if (!ReadNewPin(this, newPin, sizeof newPin))
        return refuse();

    const int pinBefore = m_nPinAttempts.load();
    int status = AT_SET_PIN(currentPin, newPin);
    int pinTries = 0, pukTries = 0;
    const int readStatus = ReadAttemptsAfterChange(&pinTries, &pukTries);
    // success is what the device said, not a guess from the counter
    if (status == 0) {
        Prompt(L"OPERATE_SUCCESS");
        PostSwitchPinPage(this, m_pDialogWnd, 0, 3);
        return 0;
    }
    if (pinTries == 0) {
        BigPrompt(L"WRONG_PIN_THREE_TIMES");
        return 1;
    }
    m_nPinAttempts = pinTries;
    PromptRefusal(readStatus, pinBefore, pinTries, L"WRONG_PIN");
    PostSwitchPinPage(this, m_pDialogWnd, 0, 3);
    return 1;
}

// ---- PIN entry page ------------------------------------------------------------

BEGIN_MESSAGE_MAP(CVX520ModemSettingToolPinPage, CDialog)
    ON_EN_CHANGE(IDC_PIN_EDIT, &CVX520ModemSettingToolPinPage::ValidatePinDigits)
END_MESSAGE_MAP()

CVX520ModemSettingToolPinPage::CVX520ModemSettingToolPinPage(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent)
{
}

CVX520ModemSettingToolPinPage::~CVX520ModemSettingToolPinPage() = default;

BOOL CVX520ModemSettingToolPinPage::PreTranslateMessage(MSG* msg) { return FilterPageKeys(this, msg); }

void CVX520ModemSettingToolPinPage::SetPinEntryTexts()
{
    SetTexts(this, {{IDC_PIN_NOTICE, L"NOTICE"},
                    {IDC_PIN_STATUS_LABEL, L"STATUS"},
                    {IDC_PIN_STATUS, L"PIN_REQUIRED"},
                    {IDC_PIN_CODE_LABEL, L"PIN_CODE"},
                    {IDC_PIN_ATTEMPTS_LABEL, L"PIN_ATTEMPTS"}});
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(m_nPinAttempts.load()));
}

int CVX520ModemSettingToolPinPage::FillPinEntryPage()
{
    SetPinEntryTexts();
    return 1;
}

int CVX520ModemSettingToolPinPage::RefreshPinEntryPage()
{
    SetPinEntryTexts();
    return 0;
}

void CVX520ModemSettingToolPinPage::ValidatePinDigits()
{
    ValidateDigits(this, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

int CVX520ModemSettingToolPinPage::ApplyPinEntry()
{
    char pin[PIN_CODE_ROOM];
    if (!ReadCode(this, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR", pin, sizeof pin))
        return 1;
    const int pinBefore = m_nPinAttempts.load();
    if (AT_CHECK_PIN(pin) == 0)
        return 0;  // the restarted watch thread reads the new SIM state
    int pinTries = 0, pukTries = 0;
    const int readStatus = ReadAttemptsAfterChange(&pinTries, &pukTries);
    if (pinTries == 0) {
        BigPrompt(L"WRONG_PIN_THREE_TIMES");
        return 1;
    }
    m_nPinAttempts = pinTries;
    PromptRefusal(readStatus, pinBefore, pinTries, L"WRONG_PIN");
    return 1;
}

// ---- PUK entry page ------------------------------------------------------------

BEGIN_MESSAGE_MAP(CVX520ModemSettingToolPUKPage, CDialog)
    ON_EN_CHANGE(IDC_PUK_EDIT, &CVX520ModemSettingToolPUKPage::ValidatePukDigits)
    ON_EN_CHANGE(IDC_PIN_EDIT, &CVX520ModemSettingToolPUKPage::ValidatePinDigits)
    ON_EN_CHANGE(IDC_PIN_CONFIRM_EDIT, &CVX520ModemSettingToolPUKPage::ValidateConfirmPinDigits)
END_MESSAGE_MAP()

CVX520ModemSettingToolPUKPage::CVX520ModemSettingToolPUKPage(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent)
{
}

CVX520ModemSettingToolPUKPage::~CVX520ModemSettingToolPUKPage() = default;

BOOL CVX520ModemSettingToolPUKPage::PreTranslateMessage(MSG* msg) { return FilterPageKeys(this, msg); }

void CVX520ModemSettingToolPUKPage::SetPukEntryTexts()
{
    SetTexts(this, {{IDC_PIN_NOTICE, L"NOTICE"},
                    {IDC_PIN_STATUS_LABEL, L"STATUS"},
                    {IDC_PUK_CODE_LABEL, L"PUK_CODE"},
                    {IDC_PIN_CODE_LABEL, L"NEW_PIN"},
                    {IDC_PIN_CONFIRM_LABEL, L"CONFORM_PIN"},
                    {IDC_PIN_ATTEMPTS_LABEL, L"PIN_ATTEMPTS"},
                    {IDC_PIN_STATUS, L"PUK_REQUIRED"}});
    SetDlgItemText(IDC_PIN_ATTEMPTS, AttemptsText(m_nPukAttempts.load()));
}

int CVX520ModemSettingToolPUKPage::FillPukEntryPage()
{
    SetPukEntryTexts();
    return 1;
}

int CVX520ModemSettingToolPUKPage::RefreshPukEntryPage()
{
    SetPukEntryTexts();
    return 0;
}

void CVX520ModemSettingToolPUKPage::ValidatePukDigits()
{
    ValidateDigits(this, IDC_PUK_EDIT, PUK_CODE_LENGTH, L"PUK_LEN_ERROR");
}

void CVX520ModemSettingToolPUKPage::ValidatePinDigits()
{
    ValidateDigits(this, IDC_PIN_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

void CVX520ModemSettingToolPUKPage::ValidateConfirmPinDigits()
{
    ValidateDigits(this, IDC_PIN_CONFIRM_EDIT, PIN_CODE_LENGTH, L"PIN_LEN_ERROR");
}

int CVX520ModemSettingToolPUKPage::ApplyPukEntry()
{
    char puk[PUK_CODE_ROOM];
    char newPin[PIN_CODE_ROOM];
    if (!ReadCode(this, IDC_PUK_EDIT, PUK_CODE_LENGTH, L"PUK_LEN_ERROR", puk, sizeof puk))
        return 1;
    if (!ReadNewPin(this, newPin, sizeof newPin))
        return 1;

    const int pukBefore = m_nPukAttempts.load();
    int status = AT_SET_PIN_PUK(puk, newPin);
    int pinTries = 0, pukTries = 0;
    const int readStatus = ReadAttemptsAfterChange(&pinTries, &pukTries);
    if (status == 0)
        return 0;  // the page of the SIM's new state comes at the next PIN read
    if (readStatus == 0)
        m_nPukAttempts = pukTries;
    PromptRefusal(readStatus, pukBefore, pukTries, L"WRONG_PUK");
    return 1;
}

// ---- SIM failure page ----------------------------------------------------------

CVX520ModemSettingToolPinFail::CVX520ModemSettingToolPinFail(UINT templateId, CWnd* parent)
    : CDialog(templateId, parent)
{
}

CVX520ModemSettingToolPinFail::~CVX520ModemSettingToolPinFail() = default;

BOOL CVX520ModemSettingToolPinFail::PreTranslateMessage(MSG* msg) { return FilterPageKeys(this, msg); }

void CVX520ModemSettingToolPinFail::FillSimFailurePage()
{
    SetTexts(this, {{IDC_SIM_FAIL1, L"SIM_FAIL1"}, {IDC_SIM_FAIL2, L"SIM_FAIL2"}});
}
