#include "device/crc16.h"

namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        uint16_t crc = static_cast<uint16_t>(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
        table[value] = crc;
    }
    return table;
}

} // namespace

const std::array<uint16_t, 256> Crc16X25Table = MakeTable();

uint16_t Crc16X25Update(uint16_t crc, const uint8_t* data, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ Crc16X25Table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

uint16_t Crc16X25(const uint8_t* data, size_t length)
{
    return static_cast<uint16_t>(~Crc16X25Update(CRC16_X25_INITIAL, data, length));
}
