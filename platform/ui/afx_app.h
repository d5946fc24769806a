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
};

CWinApp* AfxGetApp();

// Runs the one application object's InitInstance; the program's exit code.
int AfxWinMain();

// The framework's message box: text with the program's caption, OK button.
int AfxMessageBox(const wchar_t* text);
