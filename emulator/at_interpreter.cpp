#include "emulator/at_interpreter.h"
#include "emulator/text_case.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace modemsim {

namespace {

const char kOk[] = "\r\nOK\r\n";
const char kError[] = "\r\nERROR\r\n";

enum CmeCode {
    kNotAllowed = 3,
    kNotSupported = 4,
    kSimNotInserted = 10,
    kSimPinRequired = 11,
    kSimPukRequired = 12,
    kSimFailure = 13,
    kSimBusy = 14,
    kIncorrectPassword = 16,
    kInvalidIndex = 21,
    kNoNetworkService = 30,
    kIncorrectParameters = 50,
};

const char* CmeText(int code) {
    switch (code) {
        case kNotAllowed: return "operation not allowed";
        case kNotSupported: return "operation not supported";
        case kSimNotInserted: return "SIM not inserted";
        case kSimPinRequired: return "SIM PIN required";
        case kSimPukRequired: return "SIM PUK required";
        case kSimFailure: return "SIM failure";
        case kSimBusy: return "SIM busy";
        case kIncorrectPassword: return "incorrect password";
        case kInvalidIndex: return "invalid index";
        case kNoNetworkService: return "no network service";
        default: return "incorrect parameters";
    }
}

// as AT+CMEE selected: plain ERROR, the code, or its verbose text
std::string CmeError(const DeviceState& state, int code) {
    if (state.cmee == 0) return kError;
    if (state.cmee == 1) return "\r\n+CME ERROR: " + std::to_string(code) + "\r\n";
    return std::string("\r\n+CME ERROR: ") + CmeText(code) + "\r\n";
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += "\r\n" + l + "\r\n";
    return out;
}

std::string Info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

// 0 when the SIM can be used, else the CME code of its state.
int SimGate(const DeviceState& state) {
    switch (state.sim) {
        case SimState::Ready: return 0;
        case SimState::Pin: return kSimPinRequired;
        case SimState::Puk: return kSimPukRequired;
        case SimState::None: return kSimNotInserted;
        case SimState::Busy: return kSimBusy;
        case SimState::Fail: return kSimFailure;
    }
    return kSimFailure;
}

struct Arg {
    std::string text;
    bool quoted = false;
};

std::vector<Arg> SplitArgs(const std::string& s) {
    std::vector<Arg> args;
    if (s.empty()) return args;
    Arg cur;
    bool inQuotes = false;
    for (char c : s) {
        if (c == '"') {
            inQuotes = !inQuotes;
            cur.quoted = true;
        } else if (c == ',' && !inQuotes) {
            args.push_back(cur);
            cur = Arg{};
        } else {
            cur.text += c;
        }
    }
    args.push_back(cur);
    return args;
}

bool ToInt(const Arg& a, int* out) {
    if (a.text.empty() || a.text.size() > 9) return false;
    for (char c : a.text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *out = std::stoi(a.text);
    return true;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// A wrong PIN or PUK costs one try; the last wrong PIN blocks the SIM to PUK,
// the last wrong PUK kills it.
std::string WrongPin(DeviceState& state) {
    if (state.pinLeft > 0) --state.pinLeft;
    if (state.pinLeft == 0) state.sim = SimState::Puk;
    return CmeError(state, kIncorrectPassword);
}

std::string WrongPuk(DeviceState& state) {
    if (state.pukLeft > 0) --state.pukLeft;
    if (state.pukLeft == 0) state.sim = SimState::Fail;
    return CmeError(state, kIncorrectPassword);
}

std::string CpinSet(DeviceState& state, const std::vector<Arg>& args) {
    if (args.empty() || args.size() > 2) return CmeError(state, kIncorrectParameters);
    switch (state.sim) {
        case SimState::Pin:
            if (args.size() != 1) return CmeError(state, kNotAllowed);
            if (args[0].text != state.pin) return WrongPin(state);
            state.sim = SimState::Ready;
            state.pinLeft = 3;
            return kOk;
        case SimState::Puk:
            if (args.size() != 2) return CmeError(state, kSimPukRequired);
            if (args[0].text != state.puk) return WrongPuk(state);
            state.sim = SimState::Ready;
            state.pin = args[1].text;
            state.pinLeft = 3;
            state.pukLeft = 10;
            return kOk;
        case SimState::Ready: return CmeError(state, kNotAllowed);
        default: return CmeError(state, SimGate(state));
    }
}

std::string CpinRead(const DeviceState& state) {
    switch (state.sim) {
        case SimState::Ready: return Info("+CPIN: READY");
        case SimState::Pin: return Info("+CPIN: SIM PIN");
        case SimState::Puk: return Info("+CPIN: SIM PUK");
        default: return CmeError(state, SimGate(state));
    }
}

std::string PinChecked(DeviceState& state, const std::string& pin) {
    if (pin != state.pin) return WrongPin(state);
    state.pinLeft = 3;
    return "";
}

std::string Clck(DeviceState& state, const std::vector<Arg>& args) {
    int mode = -1;
    if (args.size() < 2 || UpperAscii(args[0].text) != "SC" || !ToInt(args[1], &mode)) return CmeError(state, kIncorrectParameters);
    if (int gate = SimGate(state)) return CmeError(state, gate);
    if (mode != 2) return CmeError(state, kNotSupported);
    return Info(std::string("+CLCK: ") + (state.pinVerification ? "1" : "0"));
}

std::string Cpwd(DeviceState& state, const std::vector<Arg>& args) {
    if (args.size() != 3 || UpperAscii(args[0].text) != "SC" || args[2].text.empty()) return CmeError(state, kIncorrectParameters);
    if (int gate = SimGate(state)) return CmeError(state, gate);
    std::string err = PinChecked(state, args[1].text);
    if (!err.empty()) return err;
    state.pin = args[2].text;
    return kOk;
}

std::string CgdcontRead(const DeviceState& state) {
    std::vector<std::string> lines;
    for (const auto& [cid, c] : state.contexts) {
        lines.push_back("+CGDCONT: " + std::to_string(cid) + "," + Quote(c.type) + "," + Quote(c.apn) + "," + Quote(c.address) + "," +
                        std::to_string(c.dataCompression) + "," + std::to_string(c.headerCompression));
    }
    return Lines(lines) + kOk;
}

std::string CgdcontSet(DeviceState& state, const std::vector<Arg>& args) {
    int cid = 0;
    if (args.empty() || !ToInt(args[0], &cid) || cid < 1 || cid > 16) return kError;
    if (args.size() == 1) {
        state.contexts.erase(cid);
        return kOk;
    }
    std::string type = UpperAscii(args[1].text);
    if (type != "IP" && type != "IPV6" && type != "IPV4V6") return kError;
    PdpContext c;
    c.cid = cid;
    c.type = type;
    if (args.size() > 2) c.apn = args[2].text;
    if (c.apn.size() > 99) return kError;
    if (args.size() > 3 && !args[3].text.empty()) c.address = args[3].text;
    if (args.size() > 4 && !ToInt(args[4], &c.dataCompression)) c.dataCompression = 0;
    if (args.size() > 5 && !ToInt(args[5], &c.headerCompression)) c.headerCompression = 0;
    state.contexts[cid] = c;
    return kOk;
}

std::string ZsntSet(DeviceState& state, const std::vector<Arg>& args) {
    std::array<int, 3> v{};
    if (args.size() != 3) return kError;
    for (int i = 0; i < 3; ++i)
        if (!ToInt(args[i], &v[i])) return kError;
    if ((v[0] != 0 && v[0] != 2 && v[0] != 6 && v[0] != 7) || v[1] > 1) return kError;
    state.networkSelect = v;
    return kOk;
}

std::string CopsList(const DeviceState& state) {
    std::string list = "+COPS: ";
    for (const auto& op : state.operators) {
        list += "(" + std::to_string(op.status) + "," + Quote(op.longName) + "," + Quote(op.shortName) + "," + Quote(op.numeric) + "," +
                std::to_string(op.act) + "),";
    }
    // the ranges of the supported modes and formats close a standard reply
    list += ",(0,1,2,3,4),(0,1,2)";
    return "\r\n" + list + "\r\n";
}

std::string CopsSet(DeviceState& state, const std::vector<Arg>& args) {
    int mode = -1;
    if (args.empty() || !ToInt(args[0], &mode)) return CmeError(state, kIncorrectParameters);
    if (int gate = SimGate(state)) return CmeError(state, gate);
    int format = -1;
    if (mode != 1 || args.size() < 3 || !ToInt(args[1], &format) || format != 2) return CmeError(state, kIncorrectParameters);
    int act = -1;
    if (args.size() > 3 && !ToInt(args[3], &act)) return CmeError(state, kIncorrectParameters);
    for (const auto& op : state.operators) {
        if (op.numeric == args[2].text && op.status != 0 && (act < 0 || act == op.act)) {
            state.selectedNumeric = op.numeric;
            state.selectedAct = op.act;
            return kOk;
        }
    }
    return CmeError(state, kNoNetworkService);
}

std::string Crsm(const DeviceState& state, const std::vector<Arg>& args) {
    int command = 0, file = 0;
    if (args.size() < 2 || !ToInt(args[0], &command) || !ToInt(args[1], &file)) return CmeError(state, kIncorrectParameters);
    if (int gate = SimGate(state)) return CmeError(state, gate);
    if (command != 176) return Info("+CRSM: 109,0");
    if (file != 28478) return Info("+CRSM: 106,130");
    return Info("+CRSM: 144,0," + Quote(state.gid1));
}

std::string QcpdppSet(DeviceState& state, const std::vector<Arg>& args) {
    int cid = 0, type = -1;
    if (args.size() < 2 || !ToInt(args[0], &cid) || cid < 1 || cid > 16 || !ToInt(args[1], &type) || type > 2) return kError;
    AuthProfile p;
    p.type = type;
    if (type != 0) {
        if (args.size() != 4) return kError;
        p.password = args[2].text;
        p.user = args[3].text;
    }
    state.auth[cid] = p;
    return kOk;
}

std::string QcpdppRead(const DeviceState& state) {
    std::map<int, AuthProfile> rows;
    for (const auto& [cid, c] : state.contexts) rows[cid] = AuthProfile{};
    for (const auto& [cid, a] : state.auth) rows[cid] = a;
    std::vector<std::string> lines;
    for (const auto& [cid, a] : rows) {
        std::string l = "$QCPDPP: " + std::to_string(cid) + "," + std::to_string(a.type);
        if (a.type != 0) l += "," + Quote(a.user);
        lines.push_back(l);
    }
    return Lines(lines) + kOk;
}

std::string Flags(const std::array<int, 4>& f) {
    return std::to_string(f[0]) + "," + std::to_string(f[1]) + "," + std::to_string(f[2]) + "," + std::to_string(f[3]);
}

std::string ZefsgetSet(DeviceState& state, const std::vector<Arg>& args) {
    std::array<int, 4> f{};
    if (args.size() != 4) return kError;
    for (int i = 0; i < 4; ++i)
        if (!ToInt(args[i], &f[i]) || f[i] > 1) return kError;
    state.flags = f;
    return kOk;
}

std::string OnOff(bool on) { return on ? "1" : "0"; }

}  // namespace

AtAnswer RunAtCommand(DeviceState& state, const std::string& rawLine, bool& echo) {
    AtAnswer answer;
    auto reply = [&answer](std::string text) { answer.bursts.push_back(AtBurst{0, std::move(text)}); };

    std::string line = rawLine;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
    if (line.size() < 2 || UpperAscii(line.substr(0, 2)) != "AT") {
        reply(kError);
        return answer;
    }
    std::string body = line.substr(2);
    if (body.empty()) {
        reply(kOk);
        return answer;
    }
    // split name and form: "+CPIN?" read, "+COPS=?" test, "+CPIN=..." set, else execute
    size_t cut = body.find_first_of("=?");
    std::string name = UpperAscii(body.substr(0, cut));
    char form = 'x';
    std::string params;
    if (cut != std::string::npos) {
        if (body[cut] == '?') {
            form = 'r';
        } else if (body.compare(cut, 2, "=?") == 0) {
            form = 't';
        } else {
            form = 's';
            params = body.substr(cut + 1);
        }
    }
    std::vector<Arg> args = SplitArgs(params);

    if (name == "S3" && form == 'r') {
        // the line end character; V.250 reads registers as three digits
        reply(Info("013"));
    } else if (name == "E0" || name == "E1" || name == "E") {
        echo = name == "E1";
        reply(kOk);
    } else if (name == "+CMEE") {
        int v = -1;
        if (form == 'r') reply(Info("+CMEE: " + std::to_string(state.cmee)));
        else if (form == 't') reply(Info("+CMEE: (0-2)"));
        else if (form == 's' && args.size() == 1 && ToInt(args[0], &v) && v <= 2) {
            state.cmee = v;
            reply(kOk);
        } else {
            reply(kError);
        }
    } else if (name == "+CGDCONT") {
        if (form == 'r') reply(CgdcontRead(state));
        else if (form == 's') reply(CgdcontSet(state, args));
        else reply(kError);
    } else if (name == "+ZSNT") {
        if (form == 'r') {
            const auto& n = state.networkSelect;
            reply(Info("+ZSNT: " + std::to_string(n[0]) + "," + std::to_string(n[1]) + "," + std::to_string(n[2])));
        } else if (form == 's') {
            reply(ZsntSet(state, args));
        } else {
            reply(kError);
        }
    } else if (name == "+COPS") {
        if (form == 't') {
            if (int gate = SimGate(state)) {
                reply(CmeError(state, gate));
            } else {
                // a scan takes its time: the list first, the final OK later
                answer.bursts.push_back(AtBurst{state.scanListDelayMs, CopsList(state)});
                answer.bursts.push_back(AtBurst{state.scanOkDelayMs, kOk});
            }
        } else if (form == 's') {
            reply(CopsSet(state, args));
        } else {
            reply(kError);
        }
    } else if (name == "+ZCPE" && form == 's') {
        if (args.size() == 1 && (args[0].text == "o" || args[0].text == "O")) {
            state.cpeLeft = state.cpeExitResult == 1;
            reply(Info("exit cpe mode result(0:FAIL 1:SUCCESS):" + std::to_string(state.cpeExitResult)));
        } else {
            reply(kError);
        }
    } else if (name == "+ZRST" && form == 'x') {
        reply(kOk);
        answer.after = AfterAnswer::Restart;
        answer.restartMode = state.cpeLeft ? Mode::NetCard : state.mode;
        state.cpeLeft = false;
    } else if (name == "+ZNLOCKBAND") {
        if (form == 's' && !params.empty()) {
            state.band = params;
            reply(kOk);
        } else {
            reply(kError);
        }
    } else if (name == "+ZEFSGET") {
        if (form == 'r') reply(Info("+ZEFSGET: " + Flags(state.flags)));
        else if (form == 's') reply(ZefsgetSet(state, args));
        else reply(kError);
    } else if (name == "+ZDATAROAM") {
        int v = -1;
        if (form == 'r') reply(Info("+ZDATAROAM: " + OnOff(state.roaming)));
        else if (form == 's' && args.size() == 1 && ToInt(args[0], &v) && v <= 1) {
            state.roaming = v == 1;
            reply(kOk);
        } else {
            reply(kError);
        }
    } else if (name == "+CPIN") {
        if (form == 'r') reply(CpinRead(state));
        else if (form == 's') reply(CpinSet(state, args));
        else reply(kError);
    } else if (name == "+ZPINPUK" && (form == 't' || form == 'r')) {
        reply(Info("+ZPINPUK: " + std::to_string(state.pinLeft) + "," + std::to_string(state.pukLeft)));
    } else if (name == "+CLCK" && form == 's') {
        reply(Clck(state, args));
    } else if (name == "+CPWD" && form == 's') {
        reply(Cpwd(state, args));
    } else if (name == "+ZAPNLOCK" && form == 'r') {
        reply(Info("+ZAPNLOCK: " + OnOff(state.apnLock)));
    } else if (name == "+ZACTLOCK" && form == 'r') {
        reply(Info("+ZACTLOCK: " + OnOff(state.actLock)));
    } else if (name == "+ZROAMLOCK" && form == 'r') {
        reply(Info("+ZROAMLOCK: " + OnOff(state.roamLock)));
    } else if (name == "+CIMI" && form == 'x') {
        if (int gate = SimGate(state)) reply(CmeError(state, gate));
        else reply(Info(state.imsi));
    } else if (name == "+CRSM" && form == 's') {
        reply(Crsm(state, args));
    } else if (name == "$QCPDPP") {
        if (form == 's') reply(QcpdppSet(state, args));
        else if (form == 'r') reply(QcpdppRead(state));
        else reply(kError);
    } else {
        reply(kError);
    }
    return answer;
}

}  // namespace modemsim
