#pragma once
// Application object and program entry of the dialog framework.
#include "platform/win/win_types.h"

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    virtual BOOL InitInstance();
    void SetRegistryKey(const wchar_t* key);

    CWnd* m_pMainWnd = nullptr;
    // caption of AfxMessageBox; the program's file name unless set
    const wchar_t* m_pszAppName = nullptr;
};

CWinApp* AfxGetApp();

// Chooses the back end (a real window when a display is there, none when
// SETWELL_UI=headless), runs the application object's InitInstance and
// returns the program's exit code.
int AfxWinMain();

// The status the process ends with when a close signal has to end it without
// its own exit path (0 unless set): what main would have returned by then.
void AfxSetExitStatus(int code);

// Run on such a forced end, on the signal's thread, just before the process
// ends; it may only touch what it guards itself (the program's folders).
void AfxSetForcedEndCleanup(void (*cleanup)());

// The framework's message box: text with the program's caption, OK button.
int AfxMessageBox(const wchar_t* text);
