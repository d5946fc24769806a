#include "emulator/hdlc.h"

namespace modemsim {

namespace {
uint16_t CrcRegister(uint16_t reg, const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        reg ^= data[i];
        for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? static_cast<uint16_t>((reg >> 1) ^ 0x8408) : static_cast<uint16_t>(reg >> 1);
    }
    return reg;
}
constexpr uint16_t kGoodResidue = 0xF0B8;
}  // namespace

uint16_t Crc16X25(const uint8_t* data, size_t length) {
    return static_cast<uint16_t>(~CrcRegister(0xFFFF, data, length));
}

std::vector<uint8_t> FrameDiagPacket(const std::vector<uint8_t>& packet, bool leadingFlag) {
    std::vector<uint8_t> raw = packet;
    uint16_t crc = Crc16X25(packet.data(), packet.size());
    raw.push_back(static_cast<uint8_t>(crc & 0xFF));
    raw.push_back(static_cast<uint8_t>(crc >> 8));
    return EscapeDiagBytes(raw, leadingFlag);
}

std::vector<uint8_t> EscapeDiagBytes(const std::vector<uint8_t>& raw, bool leadingFlag) {
    std::vector<uint8_t> out;
    out.reserve(raw.size() * 2 + 2);
    if (leadingFlag) out.push_back(0x7E);
    for (uint8_t b : raw) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(static_cast<uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

bool UnframeDiagPacket(const std::vector<uint8_t>& body, std::vector<uint8_t>* packet) {
    std::vector<uint8_t> raw;
    raw.reserve(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == 0x7D && i + 1 < body.size()) {
            raw.push_back(static_cast<uint8_t>(body[++i] ^ 0x20));
        } else {
            raw.push_back(body[i]);
        }
    }
    if (raw.size() < 3 || CrcRegister(0xFFFF, raw.data(), raw.size()) != kGoodResidue) return false;
    raw.resize(raw.size() - 2);
    *packet = std::move(raw);
    return true;
}

}  // namespace modemsim
