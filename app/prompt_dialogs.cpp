#include "app/prompt_dialogs.h"

#include <string>

#include "platform/win/code_page.h"

UI_USE_TEMPLATE_FILE(prompt_dialogs);

CPromptInfoDialog::CPromptInfoDialog(CWnd* parent) : CDialog(IDD_PROMPT_INFO, parent) {}
CPromptInfoDialog::CPromptInfoDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}
CPromptInfoDialog::~CPromptInfoDialog() = default;

BEGIN_MESSAGE_MAP(CPromptInfoDialog, CDialog)
END_MESSAGE_MAP()

BOOL CPromptInfoDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(m_strCaption);
    SetDlgItemText(IDC_PROMPT_TEXT, m_strMessage);
    return TRUE;
}

CBigPromptInfoDialog::CBigPromptInfoDialog(CWnd* parent) : CPromptInfoDialog(IDD_BIG_PROMPT_INFO, parent) {}
CBigPromptInfoDialog::~CBigPromptInfoDialog() = default;

BEGIN_MESSAGE_MAP(CBigPromptInfoDialog, CPromptInfoDialog)
END_MESSAGE_MAP()

namespace {

template <class Dialog>
void ShowModal(const wchar_t* message, const wchar_t* caption)
{
    Dialog dialog(AfxGetMainWnd());
    dialog.m_strMessage = message ? message : L"";
    dialog.m_strCaption = caption ? caption : L"";
    dialog.DoModal();
}

}  // namespace

void ShowPromptInfo(const wchar_t* message, const wchar_t* caption)
{
    ShowModal<CPromptInfoDialog>(message, caption);
}

void ShowBigPromptInfo(const wchar_t* message, const wchar_t* caption)
{
    ShowModal<CBigPromptInfoDialog>(message, caption);
}

int WideToAnsi(const wchar_t* wide, char* out, size_t outSize)
{
    if (!out || outSize == 0)
        return 0;
    std::string ansi = WideToUtf8(wide ? wide : L"");
    size_t n = ansi.size();
    if (n > outSize - 1) {
        n = outSize - 1;
        // never leave half a character behind
        while (n > 0 && (static_cast<unsigned char>(ansi[n]) & 0xC0) == 0x80)
            --n;
    }
    ansi.copy(out, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

int AnsiToWideString(const char* ansi, CString& out)
{
    out.Empty();
    int size = MultiByteToWideChar(CP_ACP, 0, ansi ? ansi : "", -1, nullptr, 0);
    if (size <= 1)
        return 0;
    std::wstring buffer(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, buffer.data(), size);
    buffer.resize(static_cast<size_t>(size) - 1);
    out = buffer;
    return out.GetLength();
}
