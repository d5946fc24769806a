#include "device/at_engine.h"

void InstallAtEngineTables() {}
