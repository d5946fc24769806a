#pragma once
// AT operations on data profiles, network mode and selection, operators,
// mode switch, band lock, device flags and data roaming.
#include "device/at_operation.h"

#include <cstdint>

struct DeviceFlagRecord {
    uint8_t flag0;
    uint8_t flag1;
    uint8_t flag2;
};

// --- public operations ---------------------------------------------------

int AT_CGDCONT_READ(PdpContextList* list);
int AT_CGDCONT_READ_ONLY_MODIFY_APN(char* text); // text: at least 1024 bytes
int AT_CGDCONT_SET(const PdpContextEntry* entry);
int AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN(const char* param);
int AT_CGDCONT_DELETE(int cid);
int AT_GET_DEVICE_NETWORK_STATE(int* state);
int AT_GET_DEVICE_NETWORK_STATE_SELECT(int* mode, int* select);
int AT_SET_DEVICE_NETWORK_STATE_SELECT(int mode, int select);
int AT_COPS_READ(OperatorList* list);
int AT_COPS_SET(OperatorList list);
int AT_ENTER_RNDIS_MODE();
int AT_MarlRestart();
int AT_SET_BAND(const char* band);
int AT_GET_DEVICE_FLAG_STATE(DeviceFlagRecord* flags);
int AT_SET_DEVICE_FLAG_STATE(const DeviceFlagRecord* flags);
int AT_GetRoaming(int* value);
int AT_SetRoaming(int value);

// --- inner routines ------------------------------------------------------

int ZCGDCONT_READ(PdpContextList* list);
int ZCGDCONT_READ_ONLY_MODIFY_APN(char* text);
int ZCGDCONT_SET(const PdpContextEntry* entry);
int ZCGDCONT_SET_ONLY_MODIFY_APN(const char* param);
int ZCGDCONT_DELETE(int cid);
int ZGET_NETWORK_STATE(int* state);
int ZGET_NETWORK_SELECT_STATE(int* mode, int* select);
int ZSetNetSettingMode_Exec(int mode, int select);
int ZCOPS_READ(OperatorList* list);
int ZCOPS_SET(const OperatorList& list);
int ZENTER_RNDIS_MODE();
int ZMARLRESTART_Exec();
int ZSET_BAND(const char* band);
int ZGET_ROAM_STATE(DeviceFlagRecord* flags);
int ZSET_ROAM_STATE(const DeviceFlagRecord* flags);
int ZGET_ROAMING_STATE(int* value);
int ZSET_ROAMING_STATE(int value);
