// Placeholder until the real back ends land: nothing is attached.
#include "platform/portlib/KestlePortServer.h"

extern "C" {
int KestleEnumDeviceProperty(char (*)[KESTLE_ENTRY_SIZE], int* count)
{
    if (count)
        *count = 0;
    return 0;
}
int KestleInitPort(int, const char*) { return 1; }
int KestleReadMsgFromPort_sync(int, const char*, const unsigned char*, int, unsigned char*, int* replyLength, int)
{
    if (replyLength)
        *replyLength = 0;
    return 1;
}
int KestleReadMsgFromPortUploadFile(int, const char*, const char*, int, unsigned char*, int* replyLength, int)
{
    if (replyLength)
        *replyLength = 0;
    return 1;
}
int KestleClosePort(int, const char*) { return 0; }
int KestleSendCmdByCDLogicDrive(const char*, const char*, const char*) { return 1; }
}
