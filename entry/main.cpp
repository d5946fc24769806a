// Every tool program: the application with the tools' table.
#include "app/tally_kit_app.h"
#include "tools/tool_registry.h"

int main() { return RunToolProgram(ToolDialogRows()); }
