// The diagnostic functions dialog.
#include "platform/ui/dialog_template.h"

namespace {
using ui::ControlKind;
constexpr int kLabel = -1;
constexpr DWORD kEdit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr DWORD kVersionEdit = kEdit | ES_READONLY;
constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kGroup = WS_VISIBLE | BS_GROUPBOX;
constexpr DWORD kText = WS_VISIBLE | SS_LEFT;

const ui::DialogTemplate kDiagFunction = {
    129, L"Dialog", 304, 442, L"MS Shell Dlg", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    {
        {kLabel, ControlKind::Button, L"SwitchRndisToMuiltPortByHttp:", 7, 7, 290, 34, kGroup},
        {kLabel, ControlKind::Static, L"Gateway:", 15, 21, 40, 8, kText},
        {1101, ControlKind::Edit, L"", 60, 19, 160, 14, kEdit},
        {1100, ControlKind::Button, L"Switch", 230, 18, 58, 16, kButton},

        {kLabel, ControlKind::Button, L"SwitchRndisToMuiltPortBySCSI:", 7, 46, 290, 34, kGroup},
        {kLabel, ControlKind::Static, L"VID:", 15, 60, 20, 8, kText},
        {1103, ControlKind::Edit, L"", 37, 58, 70, 14, kEdit},
        {kLabel, ControlKind::Static, L"PID:", 118, 60, 20, 8, kText},
        {1104, ControlKind::Edit, L"", 140, 58, 70, 14, kEdit},
        {1102, ControlKind::Button, L"Switch", 230, 57, 58, 16, kButton},

        {kLabel, ControlKind::Button, L"Get or Write IMEI by Diag:", 7, 85, 290, 34, kGroup},
        {kLabel, ControlKind::Static, L"IMEI:", 15, 99, 22, 8, kText},
        {1105, ControlKind::Edit, L"", 40, 97, 110, 14, kEdit},
        {1106, ControlKind::Button, L"Read IMEI", 160, 96, 60, 16, kButton},
        {1107, ControlKind::Button, L"Write IMEI", 228, 96, 60, 16, kButton},

        {kLabel, ControlKind::Button, L"Small Function by Diag:", 7, 124, 290, 58, kGroup},
        {1108, ControlKind::Button, L"Close AutoRun", 14, 138, 66, 16, kButton},
        {1112, ControlKind::Button, L"Open AutoRun", 84, 138, 66, 16, kButton},
        {1113, ControlKind::Button, L"Enter Download", 154, 138, 66, 16, kButton},
        {1114, ControlKind::Button, L"Exit Download", 224, 138, 66, 16, kButton},
        {1115, ControlKind::Button, L"Offline", 14, 160, 66, 16, kButton},
        {1116, ControlKind::Button, L"RestoreFactory", 84, 160, 66, 16, kButton},
        {1117, ControlKind::Button, L"Enter QC Dowaload", 154, 160, 66, 16, kButton},
        {1118, ControlKind::Button, L"XXXXXXXXX", 224, 160, 66, 16, kButton},

        {kLabel, ControlKind::Button, L"Get Version:", 7, 187, 290, 248, kGroup},
        {kLabel, ControlKind::Static, L"Integrate Version:", 15, 203, 80, 8, kText},
        {1111, ControlKind::Edit, L"", 100, 201, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"BD OutVersion:", 15, 225, 80, 8, kText},
        {1120, ControlKind::Edit, L"", 100, 223, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"BD InnerVersion:", 15, 247, 80, 8, kText},
        {1122, ControlKind::Edit, L"", 100, 245, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"PC OutVersion:", 15, 269, 80, 8, kText},
        {1123, ControlKind::Edit, L"", 100, 267, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"PC InnerVersion:", 15, 291, 80, 8, kText},
        {1124, ControlKind::Edit, L"", 100, 289, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"MAC OutVersion:", 15, 313, 80, 8, kText},
        {1125, ControlKind::Edit, L"", 100, 311, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"MAC OutVersion:", 15, 335, 80, 8, kText},
        {1128, ControlKind::Edit, L"", 100, 333, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"Linux InnerVersion:", 15, 357, 80, 8, kText},
        {1127, ControlKind::Edit, L"", 100, 355, 188, 14, kVersionEdit},
        {kLabel, ControlKind::Static, L"Linux OutVersion:", 15, 379, 80, 8, kText},
        {1126, ControlKind::Edit, L"", 100, 377, 188, 14, kVersionEdit},
        {1110, ControlKind::Button, L"GetVersion", 120, 405, 64, 18, kButton},
    },
};
}  // namespace

UI_TEMPLATE_FILE(diag_dialog, {&kDiagFunction}, {});
