#pragma once
// Inner pieces of the port library. The functions marked KESTLE_API are
// exported for the unit tests; the rest are shared between the library's files.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portlib/KestlePortServer.h"

namespace kestle_portlib {

// Results of the six functions besides 0.
enum Result {
    kOk = 0,
    kBadArgument = 1,
    kNoPort = 2,       // no such device, COM number without tty, port not opened
    kTimeout = 3,      // nothing came within the timeout
    kPortFailed = 4,   // I/O error, the port vanished during the exchange
    kReplyTooLong = 5, // the reply did not fit the room; what fits was stored
    kHttpFailed = 6,   // connection refused, unknown host, transfer timeout
    kHttpStatus = 7,   // the server answered with a status outside 2xx
    kRefused = 8,      // the CD drive refused the command
    kBusy = 9,         // another program holds the port (or the device)
    kDenied = 10,      // the user may not open the port (or the device)
    kGone = 11,        // inside only: the device left the bus during a transfer
};

// The USB mass-storage bulk-only transport of one device, as the CD-drive
// command uses it (libusb on a real system, a fake in tests).
class BulkOnlyTransport {
public:
    virtual ~BulkOnlyTransport() = default;
    // Finds and claims the device's mass-storage interface: kOk, kNoPort,
    // kDenied or kBusy (each with a debug line).
    virtual int Open(unsigned vendor, unsigned product) = 0;
    // kOk, kGone, kTimeout or kPortFailed.
    virtual int BulkOut(const unsigned char* data, int length) = 0;
    virtual int BulkIn(unsigned char* data, int room, int* received) = 0;
    // True once the opened device has left the bus, waiting up to ms for it.
    virtual bool LeftBus(int ms) = 0;
    virtual void Close() = 0;
};

// The 31-byte command block wrapper carrying a command block (at most 16 bytes).
KESTLE_API std::vector<unsigned char> BuildCbw(uint32_t tag, const unsigned char* cdb, int cdbLength);
// Sends the command block without data and reads its status: kOk when the
// device passed it or left the bus within seconds of a failed status read
// (it re-enumerates switched), kRefused when it failed it, else the
// transport's result. *sent tells whether the command went out.
KESTLE_API int SendBulkOnlyCommand(BulkOnlyTransport& transport, unsigned vendor, unsigned product,
                                   const unsigned char* cdb, int cdbLength, bool* sent = nullptr);
// The CD-drive command over USB, or through scsi (SG_IO) only when it never
// went out over USB: one command per request.
KESTLE_API int SendCdCommandOver(BulkOnlyTransport& usb, const std::function<int()>& scsi, unsigned vendor,
                                 unsigned product, const unsigned char* cdb, int cdbLength);

// The role of a serial interface of the modem.
enum class PortRole { Unknown, Diag, At, Modem, Gps, Ignore };

// One interface of a USB device: a serial port, a network interface or a CD drive.
struct UsbPort {
    enum Kind { kSerial, kNetwork, kCdDrive } kind = kSerial;
    std::string name;     // ttyUSB0, usb0, sr0
    std::string devnode;  // /dev/ttyUSB0; empty where there is none to open
    std::string device;   // the USB device's path: the same for all its interfaces
    std::string plug;     // differs on every plug-in of the device
    unsigned vendor = 0;
    unsigned product = 0;
    int number = -1;  // interface number
    unsigned ifClass = 0, ifSubClass = 0, ifProtocol = 0;
    std::string label;   // the interface string, may be empty
    std::string driver;  // the driver bound to the interface
    std::map<std::string, std::string> properties;  // udev properties of the port
};

// A row of the role table: the interface of a device (vendor, product, number;
// -1 for any product or any interface) has a role; a row of role "device"
// only names the device as a modem.
struct RoleRow {
    unsigned vendor = 0;
    int product = -1;
    int number = -1;
    PortRole role = PortRole::Unknown;
    bool deviceOnly = false;
};

// Rows of a table file: "vendor product interface role" a line, hex ids,
// "*" for any product or interface, "#" starts a comment. Bad lines are skipped.
KESTLE_API std::vector<RoleRow> ParseRoleTable(const std::string& text);
// The built-in rows, then those of port-roles.conf in every XDG config folder
// ($XDG_CONFIG_DIRS, then $XDG_CONFIG_HOME; later rows win).
KESTLE_API std::vector<RoleRow> LoadRoleTable();

// Decides the modem's interfaces and their roles and writes the entries.
// probe is asked for serial ports nothing else names (may be empty); the
// ports of one device are asked at the same time, each on a thread of its own.
using Prober = std::function<PortRole(const UsbPort&)>;
KESTLE_API std::vector<std::string> BuildListing(const std::vector<UsbPort>& ports, const std::vector<RoleRow>& table,
                                                 const Prober& probe);

// The listing built from a sysfs tree at root (test trees; no probing).
KESTLE_API std::vector<std::string> ListSysfs(const std::string& root);
// The listing of the running system through libudev, with probing.
KESTLE_API std::vector<std::string> ListUdev();
// The interfaces libudev shows.
KESTLE_API std::vector<UsbPort> CollectUdev();

// Probes an unlabelled serial port: AT (answers OK), GPS (sends NMEA
// sentences), DIAG (a CRC-valid answer to a version request), else Unknown.
// A role found stays for the plug-in; "no answer" is asked again after
// pauses of 1, 2, 4 and 8 s, then no more until another port of the device
// answers or the device is plugged in again. Never on a port another program
// holds; a port this library holds is asked through its own descriptor.
// Safe to call for several ports at once.
KESTLE_API PortRole CachedProbe(const UsbPort& port);
// Probes made since start (for tests).
KESTLE_API int ProbeCount();

// COM numbers: ttyUSBk is COM k+1 and ttyACMk COM k+101 for k below 100;
// above, ttyUSBk is COM 2k+1 and ttyACMk COM 2k+2 (from COM 201), so no two
// ttys share a number. 0 for other names.
KESTLE_API int ComNumberOfTty(std::string_view ttyName);
// The tty name of a COM number, empty when none can have it.
KESTLE_API std::string TtyNameOfCom(int com);

// True when an AT reply to lastRequest is complete (a final result code; for
// the operator scan also its list, unless an earlier read of the same exchange
// brought it).
KESTLE_API bool AtReplyComplete(std::string_view lastRequest, std::string_view reply, bool scanListRead = false);
// True when a DIAG reply holds its end flag after some data.
KESTLE_API bool DiagReplyComplete(std::string_view reply);
// Length of the first DIAG frame of a complete reply (up to and with its end
// flag); what follows belongs to a later frame.
KESTLE_API size_t DiagReplyLength(std::string_view reply);

// Opens a tty for exclusive use (TIOCEXCL and an flock), raw 115200 8N1, no
// flow control of any kind. Returns the descriptor, or -(result code) with a
// debug line saying why: kNoPort, kBusy or kDenied. With refuseHeld (a probe)
// a tty another program holds (its exclusive flag, or open in another
// process) is kBusy too, found before our own flag is set.
KESTLE_API int OpenSerialDevice(const std::string& path, bool refuseHeld = false);
// Clears the exclusive flag of every descriptor the library holds and closes
// the ports no exchange is using (the program's end).
KESTLE_API void ReleaseHeldPorts();

// The library's debug lines go to the debugger output stream; a test may
// also have them handed to a hook of its own (nullptr: none).
KESTLE_API void SetDebugHook(void (*hook)(const char* line));

// --- not exported ---

// Sends one debug line ("KESTLE: ..." with its line end).
void DebugLine(const std::string& line);

// Reads a file the library takes data from (the role table, a sysfs
// attribute, the device folder's files): a regular file of at most a few
// hundred kB. Anything else is skipped with a debug line (none when missing).
bool ReadLibraryFile(const std::string& path, std::string* text);

// KESTLE_DEVICE_DIR when it names a folder, else empty (read on every call).
std::string DeviceDir();
// KESTLE_SYSFS_ROOT, else "/sys".
std::string SysfsRoot();

// Real time in ms for a timeout in seconds of program time.
int TimeoutMs(int timeoutSeconds);

// Parses a decimal COM number ("7"); 0 when the text is not one.
int ParseComNumber(const char* name);

// The sysfs path of the USB device (the folder with idVendor) whose ids the
// two hex texts name and that has a CD drive; the block device name goes to
// *blockName. Empty when none.
std::string FindCdDrive(const std::string& root, unsigned vendor, unsigned product, std::string* blockName);

// True while this library has the tty open for that plug-in of its device
// (any, when either is unknown).
bool SerialDeviceOpen(const std::string& devnode, const std::string& plug);
// The plug-in of the USB device behind /dev/ttyUSBk or /dev/ttyACMk (UsbPort::plug);
// empty when there is none to be found.
std::string PlugOfDevnode(const std::string& devnode);
// Clears the tty's exclusive flag and closes the descriptor.
KESTLE_API void CloseSerialDevice(int fd);
// Runs probe on the descriptor this library holds for the tty (that plug-in),
// between two exchanges; false when it holds none.
bool ProbeHeldPort(const std::string& devnode, const std::string& plug, const std::function<void(int fd)>& probe);
// True when another process has the tty of fd open (one of this user's, or
// any for root: /proc shows only those).
bool OpenElsewhere(int fd);
// The debug line of an open refused as kBusy or kDenied.
std::string OpenFailureLine(const std::string& path, int result);

// Serial ports (kinds 1 and 2). The path of the port goes to *triedPath.
int SerialInit(const char* name, std::string* triedPath = nullptr);
int SerialExchange(int kind, const char* name, const unsigned char* request, int requestLength,
                   unsigned char* reply, int* replyLength, int timeoutSeconds);
int SerialClose(const char* name);

// HTTP (kind 10).
int HttpExchange(const char* url, const unsigned char* request, int requestLength, unsigned char* reply,
                 int* replyLength, int timeoutSeconds);
int HttpUpload(const char* url, const char* filePath, unsigned char* reply, int* replyLength,
               int timeoutSeconds);
void HttpGlobalInit();

// CD drive.
int SendCdCommand(const char* vendorId, const char* productId, const char* command);

}  // namespace kestle_portlib
