#pragma once
// Full path of the running program file; empty when it cannot be read.
#include <string>

std::wstring GetOwnProgramFile();
