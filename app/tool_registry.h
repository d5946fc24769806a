#pragma once
// The dialog of every tool type, as a table of rows: the application looks a
// tool type up in the table its entry program gives it and knows no tool
// itself.
#include <cstdint>
#include <span>

#include "platform/win/win_types.h"

class CDialog;
class CTALLY_KITApp;

// One row per tool type. prepare runs first and must succeed for the dialog to
// be built; create is the tool's dialog factory (nullptr until the tool exists).
struct ToolDialogRow {
    int32_t toolType;
    BOOL (*prepare)(CTALLY_KITApp& app);
    CDialog* (*create)();
};
