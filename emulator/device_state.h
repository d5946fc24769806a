#pragma once
// The emulated device's state. Guarded by the emulator's lock; the
// interpreters below take it by reference while the lock is held.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/modem_emulator.h"

namespace modemsim {

enum { kImeiNvItem = 550, kNvItemSize = 128 };

struct DeviceState {
    Mode mode = Mode::Modem;

    SimState sim = SimState::Ready;
    std::string pin = "1234";
    std::string puk = "12345678";
    int pinLeft = 3;
    int pukLeft = 10;
    bool pinVerification = false;
    std::string imsi = "440101234567890";
    std::string gid1 = "FF01";
    int cmee = 2;  // AT+CMEE: 0 plain ERROR, 1 numeric codes, 2 verbose texts

    std::map<int, PdpContext> contexts;
    // as shipped: network state 3 (AT+ZSNT mode 7), High Speed with WiMAX 2+ on
    // (flag bytes 0,0,1,0), a pair the carrier tools' case tables know
    std::array<int, 3> networkSelect{7, 0, 0};
    std::vector<Operator> operators;
    std::string selectedNumeric;
    int selectedAct = -1;
    bool roaming = false;
    bool apnLock = false, actLock = false, roamLock = false;
    std::array<int, 4> flags{0, 0, 1, 0};
    std::string band;
    std::map<int, AuthProfile> auth;
    bool cpeLeft = false;
    int cpeExitResult = 1;
    uint32_t scanListDelayMs = 1000;  // operator scan: echo, then the list, then OK
    uint32_t scanOkDelayMs = 500;

    std::map<uint16_t, std::vector<uint8_t>> nv;
    uint16_t nvWriteStatus = 0;
    std::array<std::string, 9> versions;
    bool autoRun = false;
    int downloadMode = -1;
    bool offline = false;

    std::map<std::string, std::string> web;
    std::vector<WebApnProfile> apnProfiles;
    std::string uploadedRestoreFile;
    std::optional<Mode> modeAfterReboot;  // set by the goform mode commands
};

// The state a fresh device has.
DeviceState DefaultDeviceState();
// Sets the SIM state with counters that fit it.
void PutSimInState(DeviceState& state, SimState sim);
void ResetWebDefaults(DeviceState& state);
std::vector<uint8_t> PackImei(const std::string& imei15);
std::string UnpackImei(const std::vector<uint8_t>& item);

// What the device does once its answer is out.
enum class AfterAnswer { None, Restart };

}  // namespace modemsim
