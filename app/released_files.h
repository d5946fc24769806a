#pragma once
// Files the program writes out of itself: the embedded tool configuration and
// the files appended to the program file behind its image.
#include "platform/win/win_types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Writes the embedded tool configuration into workFolder under name; false
// when there is none, no working folder, or it cannot be written.
bool WriteToolConfig(const std::wstring& workFolder, const std::wstring& name);

// Writes length bytes of source from position start (counted from 1) into
// target. 0 when length is 0, source is not open (-1), target is empty, or the
// entry does not lie inside the source file.
BOOL ExtractAppendedFile(const std::wstring& target, uint32_t start, uint32_t length, int source);

// Copies programFile to toolFolder + "/Pennant.exe" and releases the trailer
// entries 1, 2, ... into the folder under the given names, stopping at the
// first entry that fails. Nonzero when every entry was written; otherwise
// *failure (when given) names the entry and the folder.
BOOL ReleaseAppendedFiles(const std::wstring& programFile, const std::wstring& toolFolder,
                          const std::vector<std::wstring>& entryNames, std::wstring* failure = nullptr);

// Names of the trailer entries 1, 2, ... of the kitting (type 5) and WiMAX (type 7) tools.
extern const std::vector<std::wstring> kKittingToolFiles;
extern const std::vector<std::wstring> kWimaxToolFiles;

// Start-up failures go to the framework's message box; a test may watch them
// instead. An empty sink restores the message box.
using StartupMessageSink = std::function<void(const std::wstring& text)>;
void SetStartupMessageSink(StartupMessageSink sink);

// The one place where the start-up shows a message (the sink, else a box).
void ShowStartupMessage(const std::wstring& text);
