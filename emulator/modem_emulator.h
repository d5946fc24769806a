#pragma once
// The modem emulator: a model of the device served on pseudo-terminals (AT,
// DIAG, modem port), a loopback web server and a CD-drive socket, published
// in a device folder that the port library reads when KESTLE_DEVICE_DIR names it.
//
// Every setter and reader is safe to call from any thread while it runs.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace modemsim {

enum class Mode { Modem, NetCard, Cdrom };
enum class SimState { Ready, Pin, Puk, None, Busy, Fail };
enum class Port { Diag, At, Modem };

// One PDP context ("+CGDCONT: cid,type,apn,address,d,h").
struct PdpContext {
    int cid = 1;
    std::string type = "IP";
    std::string apn;
    std::string address = "0.0.0.0";
    int dataCompression = 0;
    int headerCompression = 0;
};

// One row of the operator scan; status 0 unavailable, 1 available, 2 current;
// act 7 LTE, 2 WCDMA, 0 GSM.
struct Operator {
    int status = 1;
    std::string longName;
    std::string shortName;
    std::string numeric;
    int act = 7;
};

// Context 9 user authentication ("$QCPDPP"); type 0 none, 1 PAP, 2 CHAP.
struct AuthProfile {
    int type = 0;
    std::string user;
    std::string password;
};

// One APN profile of the web server (APN_PROC_EX).
struct WebApnProfile {
    std::string apn;
    std::string pdpType = "IP";
    bool isDefault = false;
};

enum class FaultKind {
    NoAnswer,           // the request is swallowed
    Partial,            // only the first part of the answer is sent
    Garbage,            // garbage bytes instead of the answer (text, or a default)
    UnsolicitedBefore,  // text (default "\r\n+CREG: 1\r\n") sent before the answer
    UnsolicitedInside,  // text (default "\r\nRING\r\n") sent in the middle of the answer
    WrongCrc,           // DIAG: the answer frame carries a wrong CRC
    Slow,               // the answer comes after delayMs of program time
    Vanish,             // the device vanishes instead of answering (back after restartMs)
    HttpStatus,         // HTTP: the answer is httpStatus with text as its body (empty by default)
    // A modem's timeline and odd bytes:
    Late,               // the answer comes delayMs after the echo (set it beyond the caller's
                        // timeout); the port takes its next line only after it, as a busy modem
    OkOnly,             // AT: the answer is "\r\nOK\r\n" alone, whatever the command gives
    NulBytes,           // AT: a NUL byte before the answer and one before its final result line
    LfLineEnds,         // AT: every "\r\n" of the answer is sent as "\n" alone
    TwoLineUnsolicited, // AT: a header line and a text line (default a "+CMT:" short message)
                        // between the information lines and the final result code
    LateDropping,       // AT: as Late, but lines that arrive meanwhile are dropped unheard
    BeforeEcho,         // AT: text (default "\r\nOK\r\n", a stray final code) just before the echo
    LeadingFlag,        // DIAG: the answer frame opens with a 0x7E flag
    EventFirst,         // DIAG: an event frame (text, default 60 00 01) and the answer in one write
};

struct Fault {
    FaultKind kind = FaultKind::NoAnswer;
    std::string text;          // garbage / unsolicited bytes; empty: a default
    uint32_t delayMs = 0;      // Slow, Late
    int httpStatus = 500;      // HttpStatus
    int times = 1;             // requests it applies to; -1: until cleared
};

// When the AT port echoes a line: never, as soon as it arrives, or when the
// modem takes it up (after the lines queued before it). ATE0/ATE1 switch the
// echo off and back on in the same timing.
enum class EchoMode { Off, OnArrival, OnTakeUp };

// A modem's timeline on the AT port: lines are taken one at a time in order,
// and each is answered lineMs of program time after it was taken up.
struct AtTimeline {
    uint32_t lineMs = 0;
    EchoMode echo = EchoMode::OnTakeUp;
};

struct HttpRequest {
    std::string method;  // "GET" or "POST"
    std::string path;    // without the query
    std::string query;   // text after "?" (empty when none)
    std::string body;    // form body, or the uploaded file's contents
};

struct CdromCommand {
    std::string vendor;
    std::string product;
    std::string command;
    bool accepted = false;
};

struct EmulatorOptions {
    std::string dir;  // device folder; empty: a fresh private folder under $TMPDIR
    Mode mode = Mode::Modem;
    SimState sim = SimState::Ready;
    uint32_t restartMs = 2000;  // program time the device is gone on restart / switch
    std::string webHost = "192.168.0.1";
    std::vector<std::string> moreWebHosts = {"192.168.100.1"};  // served by the same server
    std::string vendorId = "ABCD";
    int diagCom = 5;
    int atCom = 6;
    int modemCom = 7;
};

// Product id of the device in a mode ("0125", "0126", "0127").
const char* ProductIdOf(Mode mode);
const char* ModeName(Mode mode);
const char* SimStateName(SimState sim);
bool ParseMode(const std::string& text, Mode* mode);
bool ParseSimState(const std::string& text, SimState* sim);

class ModemEmulator {
public:
    explicit ModemEmulator(EmulatorOptions options = {});
    ~ModemEmulator();  // Stop()
    ModemEmulator(const ModemEmulator&) = delete;
    ModemEmulator& operator=(const ModemEmulator&) = delete;

    // Makes the folder, the ports and the servers; false (and *error) on failure.
    bool Start(std::string* error = nullptr);
    // Stops every thread and removes what Start made (the folder too when it made it).
    void Stop();
    const std::string& DeviceDir() const;

    // Presence and mode
    Mode CurrentMode() const;
    bool Attached() const;
    // Switches at once, without vanishing.
    void SetMode(Mode mode);
    // Vanishes for restartMs, then comes back in mode (as a reboot into it).
    void SwitchMode(Mode mode);
    void Restart();
    void SetRestartMs(uint32_t ms);
    void Unplug();  // gone until Replug
    void Replug();  // also ends a restart at once
    bool WaitForMode(Mode mode, uint32_t timeoutMs) const;  // attached in mode
    bool WaitForAttached(bool attached, uint32_t timeoutMs) const;
    int RestartCount() const;  // times the device vanished and came back
    // Attached again after at least count restarts in all.
    bool WaitForRestarts(int count, uint32_t timeoutMs) const;
    int ComNumber(Port port) const;
    std::string WebHost() const;
    int WebPort() const;  // loopback port of the web server, 0 while down

    // SIM
    void SetSim(SimState sim);
    SimState Sim() const;
    void SetPinCodes(const std::string& pin, const std::string& puk);
    std::string PinCode() const;
    void SetPinCounters(int pinLeft, int pukLeft);
    std::pair<int, int> PinCounters() const;
    void SetPinVerification(bool on);
    bool PinVerification() const;
    void SetImsi(const std::string& imsi);
    void SetGid1(const std::string& hex);

    // Network
    void SetPdpContext(const PdpContext& context);
    void DeletePdpContext(int cid);
    std::vector<PdpContext> PdpContexts() const;  // defined ones, by cid
    // "+ZSNT: mode,selection,order"
    void SetNetworkSelect(int mode, int selection, int order = 0);
    std::array<int, 3> NetworkSelect() const;
    void SetOperators(const std::vector<Operator>& operators);
    std::vector<Operator> Operators() const;
    // What "+COPS=1,2,..." selected: numeric code and act ("" before any).
    std::pair<std::string, int> SelectedOperator() const;
    void SetRoaming(bool on);
    bool Roaming() const;
    void SetLocks(bool apnLock, bool actLock, bool roamLock);
    void SetDeviceFlags(const std::array<int, 4>& flags);
    std::array<int, 4> DeviceFlags() const;
    std::string BandLock() const;
    void SetAuthProfile(const AuthProfile& profile);
    AuthProfile GetAuthProfile() const;
    bool CpeModeLeft() const;  // "+ZCPE=o" was accepted
    void SetCpeExitResult(int result);  // the digit "+ZCPE=o" reports (1 default)
    // Operator scan: the list comes listDelayMs after the echo, OK okDelayMs after the list.
    void SetScanTimes(uint32_t listDelayMs, uint32_t okDelayMs);

    // DIAG
    void SetNvItem(uint16_t item, const std::vector<uint8_t>& data);
    std::vector<uint8_t> NvItem(uint16_t item) const;  // 128 bytes, zero when unset
    void SetImei(const std::string& imei15);
    std::string Imei() const;
    void SetVersions(const std::array<std::string, 9>& versions);
    void SetNvWriteStatus(uint16_t status);  // NV status of write answers (0 done)
    bool AutoRunOpen() const;
    int DownloadMode() const;  // last 4B AA request byte, -1 none

    // Web server
    void SetWebSetting(const std::string& key, const std::string& value);
    std::string WebSetting(const std::string& key) const;
    std::vector<WebApnProfile> WebApnProfiles() const;
    std::string UploadedRestoreFile() const;

    // What it received
    std::vector<std::string> AtLines() const;  // command lines without CR, all AT ports
    // how many of those lines start with prefix; anyCase for a command table that writes lower case
    size_t CountAtLines(const std::string& prefix, bool anyCase = false) const;
    std::vector<HttpRequest> HttpRequests() const;
    std::vector<std::vector<uint8_t>> DiagRequests() const;  // unescaped, CRC removed, good CRC only
    int BadDiagFrames() const;                               // frames dropped for a bad CRC
    std::vector<CdromCommand> CdromCommands() const;
    void ClearReceived();

    // Timeline of the AT ports (also sets their echo on or off).
    void SetAtTimeline(const AtTimeline& timeline);
    AtTimeline GetAtTimeline() const;

    // Faults. commandPrefix is matched at the start of the received line
    // ("AT+CPIN?"), without regard to case; empty matches every line of the port.
    void InjectAtFault(const std::string& commandPrefix, const Fault& fault);
    // code: first byte of the request packet; -1 every request.
    void InjectDiagFault(int code, const Fault& fault);
    // key: a path ("/goform/goform_get_cmd_process"), a goformId or a cmd value.
    void InjectHttpFault(const std::string& key, int status, int times = 1);
    void InjectHttpFault(const std::string& key, const Fault& fault);
    void ClearFaults();
    // Sends text as it stands on a port now (unsolicited lines).
    void SendUnsolicited(Port port, const std::string& text);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace modemsim
