#pragma once
// The tools' rows of the tool table, for the entry programs to hand to the
// application.
#include <span>

#include "app/tool_registry.h"

// Every tool type's row.
std::span<const ToolDialogRow> ToolDialogRows();
