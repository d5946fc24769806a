#pragma once
// The provisioning data a kitting run needs before it changes anything on the
// modem; the packaging command refuses the same files.
#include <cstddef>
#include <string>

// APN_COMMAND1 .. APN_COMMAND9 at most.
constexpr int KITTING_MAX_APN_COMMANDS = 9;
constexpr size_t KITTING_APN_COMMAND_ROOM = 10240;

// Empty when the Apn_cfg.ini at path will do, else what is wrong with it in
// words (the key named). Checked: DEVICE_IMEI given, APN_NUM at least 1, the
// last APN command sent (APN_COMMAND<min(APN_NUM, 9)>) given, every APN
// command within its room, and CONFIG1_PDP_TYPE, when given, one the run knows.
std::string CheckApnConfig(const std::wstring& path);

// Empty unless the file is too large for the INI reader, whose keys would all
// read as missing: then that, in words.
std::string ApnConfigSizeProblem(const std::wstring& path);
