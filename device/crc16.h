#pragma once
// CRC-16/X.25 of the DIAG framing: reflected polynomial 0x8408, register
// starting at 0xFFFF, the sender appends the complement low byte first.
#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint16_t CRC16_X25_INITIAL = 0xFFFF;
// Register value after running over a packet together with its own CRC.
constexpr uint16_t CRC16_X25_RESIDUE = 0xF0B8;

extern const std::array<uint16_t, 256> Crc16X25Table;

// Runs the register over the bytes.
uint16_t Crc16X25Update(uint16_t crc, const uint8_t* data, size_t length);
// The value a sender appends: complement of the register over the bytes.
uint16_t Crc16X25(const uint8_t* data, size_t length);
