#pragma once
// What the packaging command refuses of each tool's data files, for
// PackageTool to hand to the packaging in the application.
#include <string>

#include "app/tool_package.h"

// Refuses data files the tool would reject; empty when they will do, else
// the reason in words.
std::string CheckPackageData(const PackageInput& input);
