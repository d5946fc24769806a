#pragma once
// The device web server's goform requests.
#include <string>

#include "emulator/device_state.h"

namespace modemsim {

struct WebAnswer {
    int status = 200;
    std::string body;
    AfterAnswer after = AfterAnswer::None;
    Mode restartMode = Mode::NetCard;
};

// "a=1&b=2" into its pairs; values are %-decoded and "+" becomes a blank.
std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& text);
// Which fault key a request carries: its goformId, else its cmd value.
std::string GoformKeyOf(const HttpRequest& request);

WebAnswer RunGoform(DeviceState& state, const HttpRequest& request);

}  // namespace modemsim
