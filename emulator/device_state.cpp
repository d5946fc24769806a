#include "emulator/device_state.h"

namespace modemsim {

std::vector<uint8_t> PackImei(const std::string& imei) {
    std::vector<uint8_t> item(kNvItemSize, 0);
    auto digit = [&imei](size_t i) -> uint8_t { return i < imei.size() ? static_cast<uint8_t>((imei[i] - '0') & 0x0F) : 0; };
    item[0] = 8;
    item[1] = static_cast<uint8_t>((digit(0) << 4) | 0x0A);
    for (size_t b = 2; b <= 8; ++b) {
        size_t first = 2 * b - 3;  // byte 2 holds digits 1 (low) and 2 (high)
        item[b] = static_cast<uint8_t>((digit(first + 1) << 4) | digit(first));
    }
    return item;
}

std::string UnpackImei(const std::vector<uint8_t>& item) {
    if (item.size() < 9) return "";
    std::string imei(1, static_cast<char>('0' + (item[1] >> 4)));
    for (size_t b = 2; b <= 8; ++b) {
        imei += static_cast<char>('0' + (item[b] & 0x0F));
        imei += static_cast<char>('0' + (item[b] >> 4));
    }
    return imei;
}

void PutSimInState(DeviceState& state, SimState sim) {
    state.sim = sim;
    // a SIM that asks for its PUK has no PIN tries left, a failed one none at all
    if (sim == SimState::Puk || sim == SimState::Fail) state.pinLeft = 0;
    if (sim == SimState::Fail) state.pukLeft = 0;
    if (sim == SimState::Pin) {
        state.pinVerification = true;
        if (state.pinLeft == 0) state.pinLeft = 3;
    }
}

void ResetWebDefaults(DeviceState& state) {
    state.web = {
        {"privacy_setting", "off"},
        {"restrict_default_profile", "off"},
        {"wimax2_enable", "on"},
    };
    state.apnProfiles = {WebApnProfile{"internet", "IP", true}};
    state.modeAfterReboot.reset();
}

DeviceState DefaultDeviceState() {
    DeviceState s;
    s.contexts[1] = PdpContext{1, "IP", "internet", "0.0.0.0", 0, 0};
    s.contexts[2] = PdpContext{2, "IPV4V6", "ims", "0.0.0.0", 0, 0};
    s.contexts[3] = PdpContext{3, "IP", "sos", "0.0.0.0", 0, 0};
    s.operators = {
        Operator{2, "Kestle Mobile", "KMobile", "44010", 7},
        Operator{1, "North Wave", "NWave", "44020", 2},
        Operator{0, "Old Grid", "OGrid", "44030", 0},
    };
    s.nv[kImeiNvItem] = PackImei("123456789012345");
    s.versions = {"KX530_V1.0.0B07", "KX530_HW_A1",   "BOOT_1.2",     "MODEM_2.4.1", "AP_3.0.7",
                  "DSP_5.5",         "PRL_10021",     "WEBUI_1.0.9",  "CFG_2024R1"};
    ResetWebDefaults(s);
    return s;
}

}  // namespace modemsim
