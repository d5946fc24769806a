// The vendor command through the CD drive of the device: a mass-storage
// bulk-only command block through libusb (what an ordinary user may send once
// the udev rule gives them the device), SG_IO on the drive's block device for
// a privileged caller, or the emulator's "cdrom" socket in emulator mode.
#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/portlib/portlib_internal.h"
#include "platform/win/clock.h"

namespace kestle_portlib {
namespace {

constexpr int kCdbSize = 10;
constexpr int kCdTimeoutSeconds = 30;
constexpr uint32_t kLeaveMs = 3000;  // how long a switching device may take to leave the bus

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
    if (fd < 0) {
        DebugLine("KESTLE: cannot open " + node + ": " + std::strerror(errno) + "\n");
        return errno == EACCES || errno == EPERM ? kDenied : kNoPort;
    }
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
    const int error = errno;
    ::close(fd);
    if (rc != 0) {
        if (error == EPERM || error == EACCES) {
            DebugLine("KESTLE: SG_IO on " + node +
                      " refused: a vendor command needs CAP_SYS_RAWIO; install the udev rule so that the command "
                      "goes over USB instead\n");
            return kDenied;
        }
        // the device dropped off the bus with the command: it is switching
        return error == ENODEV || error == ENXIO ? kOk : kPortFailed;
    }
    constexpr unsigned kNoConnect = 0x01;  // DID_NO_CONNECT: the device went away
    if (io.host_status == kNoConnect)
        return kOk;
    return (io.status == 0 && io.host_status == 0 && io.driver_status == 0) ? kOk : kRefused;
}

// The device's mass-storage interface through libusb.
class LibusbTransport : public BulkOnlyTransport {
public:
    ~LibusbTransport() override { Close(); }

    int Open(unsigned vendor, unsigned product) override
    {
        if (libusb_init(&context_) != 0) {
            context_ = nullptr;
            DebugLine("KESTLE: USB access unavailable (libusb could not start)\n");
            return kNoPort;
        }
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        libusb_device* found = nullptr;
        for (ssize_t i = 0; i < count && !found; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == vendor && d.idProduct == product &&
                FindStorageInterface(list[i]))
                found = list[i];
        }
        char where[64] = "";
        if (found) {
            bus_ = libusb_get_bus_number(found);
            address_ = libusb_get_device_address(found);
            std::snprintf(where, sizeof where, "%04x:%04x (/dev/bus/usb/%03u/%03u)", vendor, product, bus_, address_);
        }
        const int opened = found ? libusb_open(found, &handle_) : LIBUSB_ERROR_NOT_FOUND;
        libusb_free_device_list(list, 1);
        if (!found) {
            char text[96];
            std::snprintf(text, sizeof text, "KESTLE: no USB device %04x:%04x with a CD drive\n", vendor, product);
            DebugLine(text);
            return kNoPort;
        }
        if (opened != 0) {
            handle_ = nullptr;
            if (opened == LIBUSB_ERROR_ACCESS) {
                DebugLine(std::string("KESTLE: no write access to USB device ") + where +
                          ": install the udev rule of the port library (see README, Using a real modem) and "
                          "plug the modem in again\n");
                return kDenied;
            }
            DebugLine(std::string("KESTLE: cannot open USB device ") + where + ": " + libusb_error_name(opened) + "\n");
            return kNoPort;
        }
        libusb_set_auto_detach_kernel_driver(handle_, 1);  // the storage driver comes back on release
        const int claimed = libusb_claim_interface(handle_, interface_);
        if (claimed != 0) {
            libusb_close(handle_);
            handle_ = nullptr;
            DebugLine(std::string("KESTLE: cannot take the CD drive of USB device ") + where + ": " +
                      libusb_error_name(claimed) + "\n");
            return claimed == LIBUSB_ERROR_BUSY ? kBusy : claimed == LIBUSB_ERROR_ACCESS ? kDenied : kPortFailed;
        }
        claimed_ = true;
        return kOk;
    }

    int BulkOut(const unsigned char* data, int length) override
    {
        int sent = 0;
        const int rc = libusb_bulk_transfer(handle_, out_, const_cast<unsigned char*>(data), length, &sent,
                                            static_cast<unsigned>(TimeoutMs(kCdTimeoutSeconds)));
        return rc == 0 && sent == length ? kOk : Map(rc);
    }

    int BulkIn(unsigned char* data, int room, int* received) override
    {
        int rc = libusb_bulk_transfer(handle_, in_, data, room, received,
                                      static_cast<unsigned>(TimeoutMs(kCdTimeoutSeconds)));
        if (rc == LIBUSB_ERROR_PIPE) {  // a stalled status: clear it and read again
            libusb_clear_halt(handle_, in_);
            rc = libusb_bulk_transfer(handle_, in_, data, room, received,
                                      static_cast<unsigned>(TimeoutMs(kCdTimeoutSeconds)));
        }
        return rc == 0 ? kOk : Map(rc);
    }

    bool LeftBus(int ms) override
    {
        if (!context_)
            return false;
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            libusb_device** list = nullptr;
            const ssize_t count = libusb_get_device_list(context_, &list);
            bool present = false;
            for (ssize_t i = 0; i < count && !present; ++i)
                present = libusb_get_bus_number(list[i]) == bus_ && libusb_get_device_address(list[i]) == address_;
            libusb_free_device_list(list, 1);
            if (count >= 0 && !present)
                return true;
            if (Clock::now() >= deadline)
                return false;
            ::poll(nullptr, 0, 100);
        }
    }

    void Close() override
    {
        if (handle_) {
            if (claimed_)
                libusb_release_interface(handle_, interface_);
            libusb_close(handle_);
        }
        if (context_)
            libusb_exit(context_);
        handle_ = nullptr;
        context_ = nullptr;
        claimed_ = false;
    }

private:
    static int Map(int rc)
    {
        if (rc == LIBUSB_ERROR_NO_DEVICE)
            return kGone;
        return rc == LIBUSB_ERROR_TIMEOUT ? kTimeout : kPortFailed;
    }

    // The bulk-only mass-storage interface (class 8, SCSI, protocol 0x50) and its endpoints.
    bool FindStorageInterface(libusb_device* device)
    {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(device, &config) != 0)
            return false;
        bool found = false;
        for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
            for (int a = 0; a < config->interface[i].num_altsetting && !found; ++a) {
                const libusb_interface_descriptor& d = config->interface[i].altsetting[a];
                if (d.bInterfaceClass != LIBUSB_CLASS_MASS_STORAGE || d.bInterfaceSubClass != 0x06 ||
                    d.bInterfaceProtocol != 0x50)
                    continue;
                unsigned char in = 0, out = 0;
                for (int e = 0; e < d.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = d.endpoint[e];
                    if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK)
                        continue;
                    (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN ? in : out) = ep.bEndpointAddress;
                }
                if (in && out) {
                    interface_ = d.bInterfaceNumber;
                    in_ = in;
                    out_ = out;
                    found = true;
                }
            }
        }
        libusb_free_config_descriptor(config);
        return found;
    }

    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    bool claimed_ = false;
    uint8_t bus_ = 0, address_ = 0;
    int interface_ = 0;
    unsigned char in_ = 0, out_ = 0;
};

}  // namespace

std::vector<unsigned char> BuildCbw(uint32_t tag, const unsigned char* cdb, int cdbLength)
{
    std::vector<unsigned char> cbw(31, 0);
    const uint32_t signature = 0x43425355;  // "USBC"
    for (int i = 0; i < 4; ++i) {
        cbw[static_cast<size_t>(i)] = static_cast<unsigned char>(signature >> (8 * i));
        cbw[static_cast<size_t>(4 + i)] = static_cast<unsigned char>(tag >> (8 * i));
    }
    // bytes 8-11: no data; 12: flags (out); 13: LUN 0
    const int length = cdbLength < 0 ? 0 : cdbLength > 16 ? 16 : cdbLength;
    cbw[14] = static_cast<unsigned char>(length);
    std::memcpy(cbw.data() + 15, cdb, static_cast<size_t>(length));
    return cbw;
}

int SendBulkOnlyCommand(BulkOnlyTransport& transport, unsigned vendor, unsigned product, const unsigned char* cdb,
                        int cdbLength, bool* sent)
{
    static std::atomic<uint32_t> nextTag{1};
    const uint32_t tag = nextTag++;
    if (sent)
        *sent = false;
    int rc = transport.Open(vendor, product);
    if (rc != kOk)
        return rc;
    const std::vector<unsigned char> cbw = BuildCbw(tag, cdb, cdbLength);
    rc = transport.BulkOut(cbw.data(), static_cast<int>(cbw.size()));
    if (rc != kOk) {
        transport.Close();
        return rc == kGone ? kNoPort : rc;  // the command never went out
    }
    if (sent)
        *sent = true;
    unsigned char csw[13] = {};
    int received = 0;
    rc = transport.BulkIn(csw, sizeof csw, &received);
    // a transfer error alone is no switch: the device must have left the bus
    const bool left = (rc == kGone || rc == kPortFailed) && transport.LeftBus(static_cast<int>(TimeoutScaledMs(kLeaveMs)));
    transport.Close();
    if (left) {
        DebugLine("KESTLE: the device left the bus after the CD-drive command: switching\n");
        return kOk;
    }
    if (rc == kGone || rc == kPortFailed) {
        DebugLine("KESTLE: no status of the CD-drive command and the device is still on the bus\n");
        return kPortFailed;
    }
    if (rc != kOk)
        return rc;
    const bool valid = received == 13 && std::memcmp(csw, "USBS", 4) == 0 && std::memcmp(csw + 4, cbw.data() + 4, 4) == 0;
    if (!valid)
        return kPortFailed;
    return csw[12] == 0 ? kOk : kRefused;
}

int SendCdCommand(const char* vendorId, const char* productId, const char* command)
{
    unsigned vendor = 0, product = 0;
    unsigned char cdb[kCdbSize];
    if (!ParseUsbId(vendorId, &vendor) || !ParseUsbId(productId, &product) || !ParseCdb(command, cdb))
        return kBadArgument;
    const std::string dir = DeviceDir();
    if (!dir.empty())
        return SendToEmulator(dir, vendorId, productId, command);
    LibusbTransport usb;
    return SendCdCommandOver(
        usb,
        [&]() -> int {
            std::string blockName;
            if (FindCdDrive(SysfsRoot(), vendor, product, &blockName).empty())
                return kNoPort;
            return SendThroughSgIo(blockName, cdb);
        },
        vendor, product, cdb, kCdbSize);
}

int SendCdCommandOver(BulkOnlyTransport& usb, const std::function<int()>& scsi, unsigned vendor, unsigned product,
                      const unsigned char* cdb, int cdbLength)
{
    bool sent = false;
    const int overUsb = SendBulkOnlyCommand(usb, vendor, product, cdb, cdbLength, &sent);
    if (sent || overUsb == kOk || overUsb == kRefused || overUsb == kTimeout)
        return overUsb;
    // a privileged caller may still send it through the SCSI layer
    const int overScsi = scsi();
    return overScsi == kOk || overScsi == kRefused ? overScsi : overUsb;
}

}  // namespace kestle_portlib
