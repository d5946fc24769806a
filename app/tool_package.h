#pragma once
// The packaging command of tool types 5 and 7: a program file followed by the
// files its start-up releases, with the trailer that describes them.
#include <string>
#include <vector>

enum class PackagedTool { Kitting, Wimax };

struct PackageInput {
    PackagedTool tool = PackagedTool::Kitting;
    std::string program;                // the built program of the tool type
    std::vector<std::string> dataFiles; // Kitting: backupinfo, Apn_cfg.ini; Wimax: config.ini
    std::string portLibrary;            // released as "KestlePortServer.dll"
    std::string output;
};

// The text released as "pthreadVC2.dll": POSIX threads are part of the C
// library here, so the entry only has to be there.
extern const char kThreadLibraryNote[];

// Refuses data files the tool would reject; empty when they will do, else
// the reason in words. The tools know what they reject: the entry program
// passes their check.
using PackageDataCheck = std::string (*)(const PackageInput& input);

// Empty when path can be read and is not empty, else the reason in words,
// named by role (the file as the tool knows it).
std::string CheckNonEmptyFile(const std::string& path, const char* role);

// Writes output once checkData accepts the data files: the program's bytes,
// then the entries in trailer order (the data files, the port library, the
// thread note and the program itself as "Pennant.exe"), then one 8-byte entry
// each, entry 1 last. Made executable; written under a temporary name first so
// that a failure leaves no half file. Empty on success, else the reason in words.
std::string PackageToolProgram(const PackageInput& input, PackageDataCheck checkData);
