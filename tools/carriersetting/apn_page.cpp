#include "tools/carriersetting/apn_page.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "app/language.h"
#include "app/prompt_dialogs.h"
#include "app/tool_dialog_frame.h"
#include "device/at_ops_network.h"
#include "platform/win/clock.h"
#include "platform/win/debug_output.h"

UI_USE_TEMPLATE_FILE(carrier_apn_page);

namespace {

constexpr DWORD kFailedTryPauseMs = 1000;
constexpr int kReadTries = 3;
constexpr int kWriteTries = 5;
constexpr int kDeleteTries = 3;
constexpr int kCaretAtEnd = 0xFFFF;
constexpr wchar_t kMaskChar = 0x25CF;

// Tested in this order at each position of the text.
constexpr wchar_t kForbiddenApnChars[] = {
    0x2B, 0x2A, 0x2F, 0x60, 0x7E, 0x21, 0x40, 0x3D, 0x23, 0x24, 0x25, 0x5E, 0x26, 0x28, 0x29, 0x5F,
    0x7B, 0x7D, 0x5B, 0x5D, 0x7C, 0x5C, 0x3C, 0x3E, 0x2C, 0x3F, 0x20, 0x22, 0x27, 0x3A, 0x3B,
};
static_assert(sizeof kForbiddenApnChars / sizeof kForbiddenApnChars[0] == 31);

CString Lang(const wchar_t* key) { return ReadModemSettingString(key); }

bool IsPrintableAscii(wchar_t ch)
{
    const auto code = static_cast<unsigned>(ch);
    return code >= 0x20 && code < 0x7F;
}

bool IsForbiddenApnChar(wchar_t ch)
{
    return std::find(std::begin(kForbiddenApnChars), std::end(kForbiddenApnChars), ch) !=
           std::end(kForbiddenApnChars);
}

// Opens the AT port, then up to tries runs of operation; every failed run pauses.
int OpenAndTry(COperationPortManager& ports, int tries, const std::function<int()>& operation)
{
    int status = ports.OpenATPort();
    if (status != 0)
        return status;
    for (int attempt = 0; attempt < tries; ++attempt) {
        status = operation();
        if (status == 0)
            break;
        Sleep(kFailedTryPauseMs);
    }
    return status;
}

// Row of a context's CID: -1 below the page (traced), 10 and above off the page.
int RowOfContext(const PdpContextEntry& entry) { return entry.cid - 1; }

}  // namespace

int ApnIpTypeIndexFromText(const CString& pdpType, bool firstContext)
{
    CString upper = pdpType;
    upper.MakeUpper();
    if (upper == L"IP")
        return APN_IPTYPE_IPV4;
    if (upper == L"IPV6")
        return APN_IPTYPE_IPV6;
    if (upper == L"IPV4V6")
        return APN_IPTYPE_IPV4V6;
    return firstContext ? APN_IPTYPE_ROW0_NONE : APN_IPTYPE_NONE;
}

const char* ApnPdpTypeFromIndex(int index)
{
    switch (index) {
    case APN_IPTYPE_IPV4: return "IP";
    case APN_IPTYPE_IPV6: return "IPV6";
    default: return "";
    }
}

BEGIN_MESSAGE_MAP(CMarlModemSettingAPNPage, CDialog)
    ON_EN_CHANGE(1343, &CMarlModemSettingAPNPage::OnApnChange0)
    ON_EN_CHANGE(1346, &CMarlModemSettingAPNPage::OnApnChange1)
    ON_EN_CHANGE(1349, &CMarlModemSettingAPNPage::OnApnChange2)
    ON_EN_CHANGE(1352, &CMarlModemSettingAPNPage::OnApnChange3)
    ON_EN_CHANGE(1355, &CMarlModemSettingAPNPage::OnApnChange4)
    ON_EN_CHANGE(1358, &CMarlModemSettingAPNPage::OnApnChange5)
    ON_EN_CHANGE(1361, &CMarlModemSettingAPNPage::OnApnChange6)
    ON_EN_CHANGE(1364, &CMarlModemSettingAPNPage::OnApnChange7)
    ON_EN_CHANGE(1367, &CMarlModemSettingAPNPage::OnApnChange8)
    ON_EN_CHANGE(1370, &CMarlModemSettingAPNPage::OnApnChange9)
END_MESSAGE_MAP()

CMarlModemSettingAPNPage::CMarlModemSettingAPNPage(CWnd* parent) : CDialog(IDD_MARL_APN_PAGE, parent) {}

// The single-instance handle stays open until the process ends.
CMarlModemSettingAPNPage::~CMarlModemSettingAPNPage() = default;

void CMarlModemSettingAPNPage::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        DDX_Control(dx, ApnRowComboId(row), m_comboIpType[row]);
        DDX_CBIndex(dx, ApnRowComboId(row), m_nIpTypeIndex[row]);
        DDX_Text(dx, ApnRowEditId(row), m_strApn[row]);
    }
}

BOOL CMarlModemSettingAPNPage::PreTranslateMessage(MSG* msg)
{
    if (IsToolKeySwallowed(msg))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CMarlModemSettingAPNPage::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hMutex = CheckSingleInstance(this, single_instance::kMarlModemSettingAPNPage, RefusalStyle::MessageBox,
                                   Lang(L"SINGLE_TOOL"), Lang(L"TITLE"));
    if (CWnd* main = AfxGetMainWnd())
        main->SetWindowText(Lang(L"TITLE"));
    SetAPNPageTexts();
    if (auto* edit = static_cast<CEdit*>(GetDlgItem(IDC_APN_ROW0_EDIT)))
        edit->SetPasswordChar(kMaskChar);
    // no edit takes more than a context holds; this also bounds the re-checks
    // of a pasted text, one per corrected character
    for (int row = 0; row < APN_ROW_COUNT; ++row)
        if (auto* edit = static_cast<CEdit*>(GetDlgItem(ApnRowEditId(row))))
            edit->SetLimitText(APN_MAX_CHARS);
    return TRUE;
}

void CMarlModemSettingAPNPage::SetAPNPageTexts()
{
    SetDlgItemText(IDC_APN_HEADER_CID, Lang(L"STATIC_INFO_CID"));
    SetDlgItemText(IDC_APN_HEADER_NAME, Lang(L"STATIC_INFO_APN_NAME"));
    SetDlgItemText(IDC_APN_HEADER_IPTYPE, Lang(L"STATIC_INFO_IPTYPE"));
}

void CMarlModemSettingAPNPage::FillIpTypeCombos()
{
    const CString ipv4 = Lang(L"STATIC_INFO_IPV4");
    const CString ipv6 = Lang(L"STATIC_INFO_IPV6");
    const CString none = Lang(L"STATIC_INFO_NONE");
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        CComboBox& combo = m_comboIpType[row];
        combo.ResetContent();
        combo.AddString(ipv4);
        combo.AddString(ipv6);
        if (row == 0)
            combo.AddString(Lang(L"STATIC_INFO_IPV4V6"));
        combo.AddString(none);
        combo.SetCurSel(0);
    }
}

void CMarlModemSettingAPNPage::ClearAPNRows()
{
    for (int row = 0; row < APN_ROW_COUNT; ++row) {
        SetDlgItemText(ApnRowEditId(row), L"");
        SelectIpTypeIndex(row, row == 0 ? APN_IPTYPE_ROW0_NONE : APN_IPTYPE_NONE);
    }
}

void CMarlModemSettingAPNPage::SelectIpTypeIndex(int row, int index)
{
    if (row >= 0 && row < APN_ROW_COUNT)
        m_comboIpType[row].SetCurSel(index);
}

int CMarlModemSettingAPNPage::GetRowIpTypeIndex(int row)
{
    if (row < 0 || row >= APN_ROW_COUNT)
        return CB_ERR;
    return m_comboIpType[row].GetCurSel();
}

// --- typing ------------------------------------------------------------------

void CMarlModemSettingAPNPage::OnApnEditChange(int row)
{
    UpdateData(TRUE);
    ValidateAPNText(ApnRowEditId(row), m_strApn[row]);
}

void CMarlModemSettingAPNPage::ValidateAPNText(int editId, CString text)
{
    const CString caption = Lang(L"TITLE");
    auto refuseCharAt = [&](int position) {
        MessageBox(Lang(L"INVALID_CHARACTER"), caption, MB_ICONINFORMATION);
        ReplaceEditText(editId, text.Left(position) + text.Mid(position + 1));
    };
    // characters outside printable ASCII are looked for before the forbidden set;
    // a control character would end or split the AT command that carries the APN
    for (int i = 0; i < text.GetLength(); ++i) {
        if (!IsPrintableAscii(text[i])) {
            refuseCharAt(i);
            return;
        }
    }
    for (int i = 0; i < text.GetLength(); ++i) {
        if (IsForbiddenApnChar(text[i])) {
            refuseCharAt(i);
            return;
        }
    }
    if (text.GetLength() > APN_MAX_CHARS) {
        MessageBox(Lang(L"MAX_62_INFO"), caption, MB_ICONINFORMATION);
        ReplaceEditText(editId, text.Left(APN_MAX_CHARS));
        return;
    }
    ReplaceEditText(editId, text);
}

void CMarlModemSettingAPNPage::ReplaceEditText(int editId, const CString& text)
{
    auto* edit = static_cast<CEdit*>(GetDlgItem(editId));
    if (!edit)
        return;
    CString current;
    edit->GetWindowText(current);
    if (current == text)
        return;
    // the change notification of this call validates the new text again
    edit->SetWindowText(text);
    edit->SetSel(kCaretAtEnd, kCaretAtEnd);
    edit->SendMessage(EM_SCROLLCARET);
    edit->SetFocus();
}

// --- reading -----------------------------------------------------------------

int CMarlModemSettingAPNPage::ReadPdpContexts(PdpContextList& list)
{
    return OpenAndTry(m_portManager, kReadTries, [&] { return AT_CGDCONT_READ(&list); });
}

int CMarlModemSettingAPNPage::DisplayAPNAT(const PdpContextList& list, int index)
{
    const PdpContextEntry& entry = list.entries[index];
    const int row = RowOfContext(entry);
    if (row >= APN_ROW_COUNT)
        return 0;
    if (row < 0) {
        OutputDebugStringW(L"MARL &&& DisplayAPNAT:: nLine<0");
        return 1;
    }
    // the record's text may lack its terminator
    char apn[sizeof entry.apn + 1] = {};
    std::memcpy(apn, entry.apn, sizeof entry.apn);
    CString text;
    AnsiToWideString(apn, text);
    SetDlgItemText(ApnRowEditId(row), text);
    return 0;
}

int CMarlModemSettingAPNPage::DisplayIPTypeInformationAT(const PdpContextList& list, int index)
{
    const PdpContextEntry& entry = list.entries[index];
    char type[sizeof entry.pdpType + 1] = {};
    std::memcpy(type, entry.pdpType, sizeof entry.pdpType);
    CString text;
    AnsiToWideString(type, text);
    const int row = RowOfContext(entry);
    if (row >= APN_ROW_COUNT)
        return 0;
    if (row < 0) {
        OutputDebugStringW(L"MARL &&& DisplayIPTypeInformationAT:: nLine<0");
        return 1;
    }
    // the None item sits where the row's own combo has it, whichever place the
    // context takes in the list
    SelectIpTypeIndex(row, ApnIpTypeIndexFromText(text, row == 0));
    std::lock_guard<std::mutex> guard(m_rowLock);
    m_deviceType[row] = type;
    return 0;
}

int CMarlModemSettingAPNPage::ReadAPNList()
{
    ClearAPNRows();
    {
        std::lock_guard<std::mutex> guard(m_rowLock);
        for (auto& type : m_deviceType)
            type.clear();
    }
    PdpContextList list{};
    const CString caption = Lang(L"TITLE");
    const int status = ReadPdpContexts(list);
    if (status != 0) {
        // the cleared rows say nothing about the device: an untouched row stays as it is
        RememberReadRows();
        MessageBox(Lang(L"READ_FAILED_INFO"), caption, MB_ICONINFORMATION);
        return status;
    }
    int shown = list.count == 0 ? APN_ROW_COUNT : list.count;
    shown = std::clamp(shown, 0, static_cast<int>(AT_LIST_ROWS));
    for (int i = 0; i < shown; ++i) {
        DisplayAPNAT(list, i);
        DisplayIPTypeInformationAT(list, i);
    }
    // taken after the shown texts were checked, so a correction the page made
    // is not a change of the user's
    RememberReadRows();
    MessageBox(Lang(L"READ_SUCCESS_INFO"), caption, MB_ICONINFORMATION);
    return 0;
}

// --- writing -----------------------------------------------------------------

int CMarlModemSettingAPNPage::WritePdpContext(const PdpContextEntry& entry)
{
    return OpenAndTry(m_portManager, kWriteTries, [&] { return AT_CGDCONT_SET(&entry); });
}

int CMarlModemSettingAPNPage::DeletePdpContext(int cid)
{
    return OpenAndTry(m_portManager, kDeleteTries, [&] { return AT_CGDCONT_DELETE(cid); });
}

int CMarlModemSettingAPNPage::ReadAPNRow(int row, PdpContextEntry& entry)
{
    char text[sizeof entry.apn] = {};
    GetDlgItemTextA(GetSafeHwnd(), ApnRowEditId(row), text, static_cast<int>(sizeof text));
    const int index = GetRowIpTypeIndex(row);
    // a device type the combo has no item for (IPv4v6 below row 0) shows as None
    // but is the row's type still, not a deletion
    std::string deviceType;
    {
        std::lock_guard<std::mutex> guard(m_rowLock);
        deviceType = m_deviceType[row];
    }
    const bool keepsDeviceType = row > 0 && index == APN_IPTYPE_NONE && !deviceType.empty() &&
                                 ApnIpTypeIndexFromText(CString(deviceType.c_str()), false) == APN_IPTYPE_NONE &&
                                 deviceType.size() < sizeof entry.pdpType;
    if (text[0] == '\0' || (index == APN_IPTYPE_NONE && !keepsDeviceType))
        return APN_ROW_DELETE;
    entry.cid = row + 1;
    std::memcpy(entry.apn, text, sizeof entry.apn);
    const char* type = keepsDeviceType ? deviceType.c_str() : ApnPdpTypeFromIndex(index);
    std::memcpy(entry.pdpType, type, std::strlen(type) + 1);
    return APN_ROW_WRITE;
}

void CMarlModemSettingAPNPage::RememberReadRows()
{
    RowContent contents[APN_ROW_COUNT];
    for (int row = 1; row < APN_ROW_COUNT; ++row)
        contents[row] = RowContentOf(row);
    std::lock_guard<std::mutex> guard(m_rowLock);
    for (int row = 1; row < APN_ROW_COUNT; ++row)
        m_readContent[row] = contents[row];
}

CMarlModemSettingAPNPage::RowContent CMarlModemSettingAPNPage::RowContentOf(int row)
{
    PdpContextEntry entry{};
    RowContent content;
    if (ReadAPNRow(row, entry) == APN_ROW_DELETE)
        return content;
    content.deleted = false;
    content.pdpType = entry.pdpType;
    content.apn = entry.apn;
    return content;
}

int CMarlModemSettingAPNPage::WriteAPNList()
{
    int result = 0;
    for (int row = 1; row < APN_ROW_COUNT; ++row) {
        // a row the user left as it was read is not sent: the device keeps what it has
        const RowContent content = RowContentOf(row);
        {
            std::lock_guard<std::mutex> guard(m_rowLock);
            if (content == m_readContent[row])
                continue;
        }
        PdpContextEntry entry{};
        const int status =
            ReadAPNRow(row, entry) == APN_ROW_DELETE ? DeletePdpContext(row + 1) : WritePdpContext(entry);
        if (status != 0)
            result = 1;
    }
    MessageBox(Lang(result ? L"WRITE_FAILED_INFO" : L"WRITE_SUCCESS_INFO"), Lang(L"TITLE"), MB_ICONINFORMATION);
    return result;
}
