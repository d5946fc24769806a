#pragma once
// Run-time control of a running emulator from the shell ("modemsim ctl DIR
// COMMAND ..."): a Unix socket named "control" in the device folder takes one
// command per connection and answers with its result.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "emulator/modem_emulator.h"

namespace modemsim {

std::string ControlSocketPath(const std::string& dir);

// Carries out one command on the emulator; false (reason in *reply) when it is refused.
bool RunControlCommand(ModemEmulator& emulator, const std::vector<std::string>& words, std::string* reply);

// The commands and fault kinds, for --help.
std::string ControlHelp();

// Serves the control socket of the emulator's folder on a thread of its own.
class ControlChannel {
public:
    explicit ControlChannel(ModemEmulator& emulator) : emulator_(emulator) {}
    ~ControlChannel();  // Stop()
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    bool Start(std::string* error);
    void Stop();  // also removes the socket

private:
    void Serve();
    ModemEmulator& emulator_;
    std::string path_;
    int listenFd_ = -1;
    int wakeFd_[2] = {-1, -1};
    std::thread thread_;
};

// Sends one command to the emulator serving dir; 0 done, 1 refused, 2 no emulator there.
int SendControlCommand(const std::string& dir, const std::vector<std::string>& words, std::string* reply);

}  // namespace modemsim
