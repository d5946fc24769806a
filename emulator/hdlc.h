#pragma once
// HDLC-like framing of the diagnostic port: CRC-16/X.25, 0x7D escapes, 0x7E flag.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace modemsim {

// The complemented CRC-16/X.25 of the bytes (the value appended low byte first).
uint16_t Crc16X25(const uint8_t* data, size_t length);
// raw bytes escaped and ended by 0x7E, as they stand (no CRC added).
std::vector<uint8_t> EscapeDiagBytes(const std::vector<uint8_t>& raw, bool leadingFlag = false);
// packet + CRC, escaped, ended by 0x7E (and led by one when leadingFlag).
std::vector<uint8_t> FrameDiagPacket(const std::vector<uint8_t>& packet, bool leadingFlag = false);
// bytes between flags: un-escapes, checks the CRC and strips it; false on a bad CRC.
bool UnframeDiagPacket(const std::vector<uint8_t>& body, std::vector<uint8_t>* packet);

}  // namespace modemsim
