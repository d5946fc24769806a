#pragma once
// Named DIAG actions of the diagnostic functions dialog. Each public Diag_
// operation traces itself (source DIAG) and runs one inner routine that sends
// one request through DiagSendCmdToBack. The caller makes the diagnostic port
// current first (SelectDiagPort). One operation at a time: each holds
// DeviceOperationLock().
#include "device/diag_transport.h"

#include <cstdint>

constexpr uint16_t DIAG_NV_ITEM_IMEI = 550;
constexpr size_t DIAG_IMEI_DIGITS = 15;
constexpr size_t DIAG_IMEI_TEXT_SIZE = 16;

// Nine version texts of 31 bytes in the order of the version reply. The
// caller supplies it zeroed: the texts are copied without terminator.
struct NineVersionRecord {
    char text[DIAG_VERSION_TEXT_COUNT][DIAG_VERSION_TEXT_SLOT];
};

// Public operations: 0 ok, 1 failed, 41 for a missing argument where noted.
int Diag_EnterTarselDownloadMode();
int Diag_ExitTarselDownloadMode();
int Diag_GetIMEI(char* imei);              // at least 16 bytes; 41 when missing
int Diag_WriteIMEI(const char* imei);      // 15 decimal digits; 41 when missing
int Diag_RestoreFactorySetting();
int Diag_SwitchToQCDownloadMode();
int Diag_OpenAutoRun();
int Diag_CloseAutoRun();
int Diag_Offline();
int Diag_Restart();
int Diag_WriteNVData(const uint8_t* image); // 128-byte image of item 550; 41 when missing
int Diag_GetVersion(NineVersionRecord* versions);

// Inner routines: 0 success, 1 failure (41 for a missing argument where noted).
int EnableTarselDownloadMode(int on);
int ReadNvImeiItem(uint8_t item[DIAG_NV_ITEM_SIZE], uint16_t* nvStatus);
int WriteNVData(const uint8_t* image);
int RestoreFactorySetting();
int SwitchToQCDownloadMode();
int CloseAutoRun();
int OpenAutoRun();
int Offline();
int Restart();
int GetNineVersion(NineVersionRecord* versions);
int NV_ReadIMEI(char* imei);        // 41 when missing
int NV_WriteIMEI(const char* imei); // 41 when missing

// Both records from the heap, zeroed; 1 when either failed (the one that was
// obtained is still handed back).
int AllocDiagBuffers(DiagResponseRecord*& response, DiagRequestRecord*& request);
// Releases whichever is present and clears the references.
void FreeDiagBufferPair(DiagResponseRecord*& response, DiagRequestRecord*& request);

// IMEI <-> item 550 image: byte 0 = 8, byte 1 = digit 0 << 4 | 0x0A, then two
// digits a byte, the earlier in the low nibble.
void PackImeiImage(const char* digits, uint8_t image[DIAG_NV_ITEM_SIZE]);
void UnpackImeiImage(const uint8_t image[DIAG_NV_ITEM_SIZE], char imei[DIAG_IMEI_TEXT_SIZE]);
// True when the image has that form and every digit nibble is 0-9.
bool IsImeiImage(const uint8_t image[DIAG_NV_ITEM_SIZE]);
