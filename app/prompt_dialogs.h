#pragma once
// The tools' own modal message dialogs, with caption and text from the
// language file, and the conversions between wide text and the system code
// page (UTF-8) for the device layer.
#include <cstddef>

#include "platform/ui/afx.h"

constexpr UINT IDD_PROMPT_INFO = 103;
constexpr UINT IDD_BIG_PROMPT_INFO = 157;
constexpr int IDC_PROMPT_TEXT = 1382;

class CPromptInfoDialog : public CDialog {
public:
    explicit CPromptInfoDialog(CWnd* parent = nullptr);
    ~CPromptInfoDialog() override;

    CString m_strMessage;
    CString m_strCaption;

    BOOL OnInitDialog() override;

protected:
    CPromptInfoDialog(UINT templateId, CWnd* parent);
    DECLARE_MESSAGE_MAP()
};

// The tall prompt for long texts.
class CBigPromptInfoDialog : public CPromptInfoDialog {
public:
    explicit CBigPromptInfoDialog(CWnd* parent = nullptr);
    ~CBigPromptInfoDialog() override;

protected:
    DECLARE_MESSAGE_MAP()
};

// Modal on the calling thread (a worker too), owned by the main window;
// returns when the user closes it.
void ShowPromptInfo(const wchar_t* message, const wchar_t* caption);
void ShowBigPromptInfo(const wchar_t* message, const wchar_t* caption);

// Converts the whole wide text to the system code page and returns the number
// of bytes written. At most outSize - 1 bytes are written, never a cut
// character, and the text stays terminated.
int WideToAnsi(const wchar_t* wide, char* out, size_t outSize);
// out becomes the wide form of ansi; returns its length in characters.
int AnsiToWideString(const char* ansi, CString& out);
