#pragma once
// Menu handles of the framework (internal).
#include "platform/ui/dialog_template.h"

namespace ui {
// copy of the items of a live menu; false when the handle is gone
bool MenuOf(HMENU menu, MenuTemplate* out);
HMENU LoadMenuHandle(UINT id);
}  // namespace ui
