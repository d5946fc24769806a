#include "emulator/goform_handler.h"
#include "emulator/text_case.h"

#include <cctype>

namespace modemsim {

namespace {

const char kGetPath[] = "/goform/goform_get_cmd_process";
const char kSetPath[] = "/goform/goform_set_cmd_process";
const char kProcessPath[] = "/goform/goform_process";

const char kSuccess[] = "{\"result\":\"success\"}";
const char kFailure[] = "{\"result\":\"failure\"}";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Decode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string JsonEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
}

using Form = std::vector<std::pair<std::string, std::string>>;

std::string Field(const Form& form, const std::string& key, bool* present = nullptr) {
    for (const auto& [k, v] : form) {
        if (k == key) {
            if (present) *present = true;
            return v;
        }
    }
    if (present) *present = false;
    return "";
}

WebAnswer Json(const std::string& body) { return WebAnswer{200, body}; }

// cmd=a or cmd=a,b,c: one value per key, "" for keys the device does not know
WebAnswer Get(DeviceState& state, const Form& form) {
    std::string cmd = Field(form, "cmd");
    if (cmd.empty()) return Json(kFailure);
    std::string body = "{";
    size_t start = 0;
    while (start <= cmd.size()) {
        size_t comma = cmd.find(',', start);
        std::string key = cmd.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!key.empty()) {
            std::string value;
            if (key == "imei") value = UnpackImei(state.nv.count(kImeiNvItem) ? state.nv[kImeiNvItem] : std::vector<uint8_t>{});
            else if (state.web.count(key)) value = state.web[key];
            if (body.size() > 1) body += ",";
            body += "\"" + JsonEscape(key) + "\":\"" + JsonEscape(value) + "\"";
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return Json(body + "}");
}

bool ParseIndex(const std::string& text, int* index) {
    if (text.empty() || text.size() > 2) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    *index = std::stoi(text);
    return *index <= 9;
}

WebAnswer ApnProc(DeviceState& state, const Form& form) {
    std::string action = Field(form, "apn_action");
    auto& profiles = state.apnProfiles;
    if (action == "save") {
        bool has = false;
        std::string apn = Field(form, "wan_apn", &has);
        if (!has || profiles.size() >= 10) return Json(kFailure);
        std::string type = Field(form, "pdp_type");
        profiles.push_back(WebApnProfile{apn, type.empty() ? "IP" : type, false});
        return Json(kSuccess);
    }
    int index = -1;
    if (!ParseIndex(Field(form, "index"), &index)) return Json(kFailure);
    if (action == "delete") {
        // manual profiles are 1..9; deleting one that is not there is no error
        if (index == 0) return Json(kFailure);
        if (index < static_cast<int>(profiles.size())) profiles.erase(profiles.begin() + index);
        return Json(kSuccess);
    }
    if (action == "set_default") {
        if (index >= static_cast<int>(profiles.size())) return Json(kFailure);
        for (auto& p : profiles) p.isDefault = false;
        profiles[index].isDefault = true;
        std::string type = Field(form, "pdp_type");
        if (!type.empty()) profiles[index].pdpType = type;
        return Json(kSuccess);
    }
    return Json(kFailure);
}

WebAnswer Restart(const DeviceState& state, Mode mode) {
    WebAnswer a = Json(kSuccess);
    a.after = AfterAnswer::Restart;
    a.restartMode = mode;
    return a;
}

WebAnswer Set(DeviceState& state, const Form& form, const HttpRequest& request) {
    std::string id = Field(form, "goformId");
    std::string upper = UpperAscii(id);
    if (upper == "SET_DEVICE_MODE" || upper == "SET_PRODUCT_MODE_FOR_MARL" || upper == "SET_PRODUCT_MODE") {
        // takes effect at the next reboot
        state.modeAfterReboot = Mode::Modem;
        return Json(kSuccess);
    }
    if (upper == "REBOOT_DEVICE") return Restart(state, state.modeAfterReboot.value_or(state.mode));
    if (upper == "RESTORE_FACTORY_SETTINGS") {
        ResetWebDefaults(state);
        return Restart(state, state.mode);
    }
    if (upper == "UPLOADFILE_RESTORE") {
        if (request.body.empty()) return Json(kFailure);
        state.uploadedRestoreFile = request.body;
        return Restart(state, state.mode);
    }
    if (upper == "APN_PROC_EX") return ApnProc(state, form);
    // "goformId=WIMAX2_ENABLE&wimax2_enable=on", or the short "goformId=wimax2_enable=on"
    std::string value;
    if (upper == "WIMAX2_ENABLE") value = Field(form, "wimax2_enable");
    else if (LowerAscii(id).rfind("wimax2_enable=", 0) == 0) value = id.substr(14);
    else return Json(kFailure);
    if (value != "on" && value != "off") return Json(kFailure);
    state.web["wimax2_enable"] = value;
    return Json(kSuccess);
}

WebAnswer Process(DeviceState& state, const Form& form) {
    if (Field(form, "goformId") == "ONLINE_UPGRADE_TOOL" && Field(form, "command") == "get_current_version")
        return Json("{\"current_version\":\"" + JsonEscape(state.versions[0]) + "\"}");
    return Json(kFailure);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ParseForm(const std::string& text) {
    Form form;
    size_t start = 0;
    while (start < text.size()) {
        size_t amp = text.find('&', start);
        std::string pair = text.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        if (!pair.empty()) {
            size_t eq = pair.find('=');
            if (eq == std::string::npos) form.emplace_back(Decode(pair), "");
            else form.emplace_back(Decode(pair.substr(0, eq)), Decode(pair.substr(eq + 1)));
        }
        if (amp == std::string::npos) break;
        start = amp + 1;
    }
    return form;
}

std::string GoformKeyOf(const HttpRequest& request) {
    Form form = ParseForm(request.query);
    if (request.path != kSetPath || request.query.empty()) {
        Form body = ParseForm(request.body);
        form.insert(form.end(), body.begin(), body.end());
    }
    bool has = false;
    std::string id = Field(form, "goformId", &has);
    if (has) return id;
    return Field(form, "cmd");
}

WebAnswer RunGoform(DeviceState& state, const HttpRequest& request) {
    Form form = ParseForm(request.query);
    // an upload carries the file as its body; its fields are in the query
    bool upload = request.path == kSetPath && !request.query.empty();
    if (!upload) {
        Form body = ParseForm(request.body);
        form.insert(form.end(), body.begin(), body.end());
    }
    if (request.path == kGetPath) return Get(state, form);
    if (request.path == kSetPath) return Set(state, form, request);
    if (request.path == kProcessPath) return Process(state, form);
    return WebAnswer{404, "not found"};
}

}  // namespace modemsim
