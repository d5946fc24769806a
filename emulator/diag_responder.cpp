#include "emulator/diag_responder.h"

#include <cstring>

namespace modemsim {

namespace {

enum : uint8_t {
    kNvRead = 0x26,
    kNvWrite = 0x27,
    kControl = 0x29,
    kVersion = 0x39,
    kDownload = 0x3A,
    kSubsystem = 0x4B,
    kBadCommand = 0x13,
};

enum : uint16_t { kNvActive = 0, kNvInactive = 5 };
enum { kVersionTextSize = 30 };

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

std::vector<uint8_t> BadCommand(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> out;
    out.reserve(request.size() + 1);
    out.push_back(kBadCommand);
    for (uint8_t b : request) out.push_back(b);
    return out;
}

// 26/27 ii ii <128 bytes> ss ss
DiagAnswer NvItem(DeviceState& state, const std::vector<uint8_t>& request) {
    if (request.size() < 3) return {BadCommand(request)};
    uint16_t item = static_cast<uint16_t>(request[1] | (request[2] << 8));
    std::vector<uint8_t> data(kNvItemSize, 0);
    uint16_t status = kNvActive;
    if (request[0] == kNvWrite) {
        for (size_t i = 0; i < kNvItemSize && 3 + i < request.size(); ++i) data[i] = request[3 + i];
        status = state.nvWriteStatus;
        if (status == kNvActive) state.nv[item] = data;
    } else {
        auto it = state.nv.find(item);
        if (it == state.nv.end()) status = kNvInactive;
        else data = it->second;
    }
    std::vector<uint8_t> out{request[0]};
    PutLe16(out, item);
    out.insert(out.end(), data.begin(), data.end());
    PutLe16(out, status);
    return {out};
}

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

// 39, nine texts of 30 bytes each followed by a zero, a 12-character date, a zero, 9 bytes of time, a zero
std::vector<uint8_t> Version(const DeviceState& state) {
    std::vector<uint8_t> out{kVersion};
    for (const auto& text : state.versions) {
        PutText(out, text, kVersionTextSize);
        out.push_back(0);
    }
    PutText(out, "Mar 14 2024 ", 12);
    out.push_back(0);
    PutText(out, "12:00:00", 9);
    out.push_back(0);
    return out;
}

DiagAnswer Subsystem(DeviceState& state, const std::vector<uint8_t>& request) {
    if (request.size() < 4) return {BadCommand(request)};
    uint8_t id = request[1];
    uint16_t command = static_cast<uint16_t>(request[2] | (request[3] << 8));
    if (id == 0xAA && command == 0) {
        if (request.size() > 4) state.downloadMode = request[4];
        return {{0x4B, 0xAA, 0x00, 0x00, 0x00}};
    }
    if (id == 0xCD && command == 0x18) {
        ResetWebDefaults(state);
        return {{0x4B, 0xCD, 0x18, 0x00, 0x00}};
    }
    if (id == 0xA1 && command == 0) {
        if (request.size() > 4) state.autoRun = request[4] != 0;
        return {{0x4B, 0xA1, 0x00, 0x00, static_cast<uint8_t>(state.autoRun ? 1 : 0)}};
    }
    return {BadCommand(request)};
}

}  // namespace

DiagAnswer RunDiagPacket(DeviceState& state, const std::vector<uint8_t>& request) {
    if (request.empty()) return {};
    switch (request[0]) {
        case kNvRead:
        case kNvWrite: return NvItem(state, request);
        case kVersion: return {Version(state)};
        case kDownload: return {{kDownload}};
        case kSubsystem: return Subsystem(state, request);
        case kControl: {
            if (request.size() < 3) return {BadCommand(request)};
            uint16_t mode = static_cast<uint16_t>(request[1] | (request[2] << 8));
            DiagAnswer a{{kControl, request[1], request[2]}};
            if (mode == 1) state.offline = true;
            if (mode == 2) a.after = AfterAnswer::Restart;  // reset
            return a;
        }
        default: return {BadCommand(request)};
    }
}

}  // namespace modemsim
