#pragma once
// The tools' presence test of the device's web server: the version request to
// DOMAIN_NAME with GET_OUT_VERSION_COMMAND of the tool's own configuration
// section (both read as they stand, no fallback).

// 0 when the web server answered; 1 when the request failed, the answer was
// empty or it holds "failure".
int IsWebServerDownForSection(const char* configSection);
