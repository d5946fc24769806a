#pragma once
// The port library: device listing and the exchanges with the modem's ports.
// All functions return 0 on success. Timeouts are seconds of program time.

#if defined(KESTLE_BUILDING_LIBRARY)
#define KESTLE_API __attribute__((visibility("default")))
#else
#define KESTLE_API
#endif

enum PortKind {
    PORT_KIND_DIAG = 1,
    PORT_KIND_AT = 2,
    PORT_KIND_CLOSE_ONLY = 4,
    PORT_KIND_HTTP = 10,
};

// One listing entry: NUL-terminated text describing one interface.
enum { KESTLE_ENTRY_SIZE = 256 };

extern "C" {

// entries: room for *count entries of KESTLE_ENTRY_SIZE bytes; *count in = room,
// out = entries filled (0 when nothing is attached).
KESTLE_API int KestleEnumDeviceProperty(char (*entries)[KESTLE_ENTRY_SIZE], int* count);

// kind 1 and 2: name is the decimal COM number; kind 10: empty name.
KESTLE_API int KestleInitPort(int kind, const char* name);

// One blocking exchange. name is the COM number (kinds 1, 2) or the URL (kind 10).
// *replyLength in = room, out = bytes received. A request of length 0 on an AT
// port sends nothing and reads further reply text.
KESTLE_API int KestleReadMsgFromPort_sync(int kind, const char* name, const unsigned char* request,
                                          int requestLength, unsigned char* reply, int* replyLength,
                                          int timeoutSeconds);

// Uploads the file at filePath to url (kind 10); the reply as above.
KESTLE_API int KestleReadMsgFromPortUploadFile(int kind, const char* url, const char* filePath, int length,
                                               unsigned char* reply, int* replyLength, int timeoutSeconds);

KESTLE_API int KestleClosePort(int kind, const char* name);

// Sends command (hex text) as a vendor command to the CD drive of the device
// with this vendor and product id.
KESTLE_API int KestleSendCmdByCDLogicDrive(const char* vendorId, const char* productId, const char* command);

// Not one of the six: clears the exclusive flag of every port the library
// holds and closes those no exchange uses. A normal exit does it by itself;
// a program that ends with _exit calls it first.
KESTLE_API void KestleReleasePorts(void);
}
