#include "app/tally_kit_app.h"

#include "platform/ui/afx.h"

void RunMainDialog(CWinApp& app, CDialog* dialog)
{
    app.m_pMainWnd = dialog;
    dialog->DoModal();
}
