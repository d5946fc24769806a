#include "tools/tool_registry.h"

#include "app/tally_kit_app.h"
#include "app/tool_dialog_frame.h"
#include "tools/carriersetting/carrier_setting_dlg.h"
#include "tools/carrierswitch/marl_switch_mode_tool_dlg.h"
#include "tools/diag/dlg_function.h"
#include "tools/genswitch/switch_mode_tool_dlg.h"
#include "tools/kitting/write_apn_info_dlg.h"
#include "tools/restore/restore_factory_setting_dlg.h"
#include "tools/vx520/vx520_dialog.h"
#include "tools/wimax/wimax_dlg.h"

namespace {

// Types 5 and 7 release their files first.
BOOL PrepareKittingTool(CTALLY_KITApp& app)
{
    return app.PrepareToolFolder(single_instance::kMarlWriteAPNInfo, &CTALLY_KITApp::CreateKittingToolFolder,
                                 &CTALLY_KITApp::ReleaseFilesFromExeFile);
}

BOOL PrepareWimaxTool(CTALLY_KITApp& app)
{
    return app.PrepareToolFolder(single_instance::kMarlWimax, &CTALLY_KITApp::CreateWimaxToolFolder,
                                 &CTALLY_KITApp::ReleaseWimaxFilesFromExeFile);
}

// constant-initialised: ready before any constructor of another file runs
constexpr ToolDialogRow kToolDialogs[] = {
    {0, nullptr, CreateDlgFunction},
    {2, nullptr, CreateMarlRestoreFactorySettingDlg},
    {3, nullptr, CreateMarlSwitchModeToolDlg},
    {4, nullptr, CreateMarlModemSettingDlg},
    {5, PrepareKittingTool, CreateMarlWriteAPNInfoDlg},
    {6, nullptr, CreateMarlModemSettingDlgNew},
    {7, PrepareWimaxTool, CreateMarlWimaxDlg},
    {8, nullptr, CreateVX520ModemSettingDlg},
    {9, nullptr, CreateSwitchModeToolDlg},
};

}  // namespace

std::span<const ToolDialogRow> ToolDialogRows() { return kToolDialogs; }
