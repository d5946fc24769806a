// The vendor command through the CD drive of the device: SG_IO on the drive's
// block device, or the emulator's "cdrom" socket in emulator mode.
#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>

#include "platform/portlib/portlib_internal.h"

namespace kestle_portlib {
namespace {

constexpr int kCdbSize = 10;
constexpr int kCdTimeoutSeconds = 30;

bool ParseUsbId(const char* text, unsigned* value)
{
    size_t n = std::strlen(text);
    if (n == 0 || n > 4)
        return false;
    unsigned v = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isxdigit(c))
            return false;
        v = v * 16 + static_cast<unsigned>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    *value = v;
    return true;
}

bool ParseCdb(const char* text, unsigned char* cdb)
{
    if (std::strlen(text) != kCdbSize * 2)
        return false;
    for (int i = 0; i < kCdbSize; ++i) {
        unsigned byte = 0;
        char pair[3] = {text[2 * i], text[2 * i + 1], 0};
        if (!ParseUsbId(pair, &byte))
            return false;
        cdb[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

int SendToEmulator(const std::string& dir, const char* vendorId, const char* productId, const char* command)
{
    const std::string path = dir + "/cdrom";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return kNoPort;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kNoPort;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return kNoPort;
    }
    const std::string line = std::string(vendorId) + " " + productId + " " + command + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            ::close(fd);
            return kPortFailed;
        }
        sent += static_cast<size_t>(n);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs(kCdTimeoutSeconds));
    std::string answer;
    char chunk[64];
    int result = kTimeout;
    while (answer.find('\n') == std::string::npos && answer.size() < 256) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            result = kPortFailed;
            break;
        }
        answer.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t end = answer.find('\n');
    if (end == std::string::npos)
        return result;
    return answer.substr(0, end) == "0" ? kOk : kRefused;
}

int SendThroughSgIo(const std::string& blockName, const unsigned char* cdb)
{
    const std::string node = "/dev/" + blockName;
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return kNoPort;
    unsigned char command[kCdbSize];
    std::memcpy(command, cdb, kCdbSize);
    unsigned char sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = kCdbSize;
    io.cmdp = command;
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.timeout = static_cast<unsigned>(TimeoutMs(kCdTimeoutSeconds));
    const int rc = ::ioctl(fd, SG_IO, &io);
    ::close(fd);
    if (rc != 0)
        return kPortFailed;
    // the device usually drops off the bus while switching: a transport
    // error after the command went out still counts as refused
    return (io.status == 0 && io.host_status == 0 && io.driver_status == 0) ? kOk : kRefused;
}

}  // namespace

int SendCdCommand(const char* vendorId, const char* productId, const char* command)
{
    unsigned vendor = 0, product = 0;
    unsigned char cdb[kCdbSize];
    if (!ParseUsbId(vendorId, &vendor) || !ParseUsbId(productId, &product) || !ParseCdb(command, cdb))
        return kBadArgument;
    const std::string dir = DeviceDir();
    if (!dir.empty())
        return SendToEmulator(dir, vendorId, productId, command);
    std::string blockName;
    if (FindCdDrive(SysfsRoot(), vendor, product, &blockName).empty())
        return kNoPort;
    return SendThroughSgIo(blockName, cdb);
}

}  // namespace kestle_portlib
