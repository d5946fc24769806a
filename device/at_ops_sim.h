#pragma once
// AT operations on the SIM, the PIN, the device's settings policy, the
// identity and (Setwell only) the user authentication of context 9.
#include "device/at_operation.h"

enum { AT_SIM_TEXT_COPY = 255 }; // bytes copied into the 256-byte text outputs

int AT_CPIN(char* result);                                   // at least 256 bytes, zero-filled
int AT_CHECK_PIN(const char* pin);
int AT_SET_PIN_PUK(const char* puk, const char* newPin);
int AT_GET_PIN_PUK_TIMES(int* pinTimes, int* pukTimes);
int AT_GET_PIN_STATE(int* state);
int AT_SET_PIN(const char* oldPin, const char* newPin);
int AT_GET_APN_LOCK_STATE(int* state);
int AT_GET_ACT_LOCK_STATE(int* state);
int AT_GET_ROAM_LOCK_STATE(int* state);
#if defined(SETWELL_USER_AUTH)
int AT_GET_IMSI(char* imsi);                                 // at least 256 bytes, zero-filled
int AT_GET_CRSM(char* reply);                                // at least 256 bytes, zero-filled
int AT_SetUserNameaPasswordAuth(const char* userName, const char* password, int authType);
int AT_GetUserNameaAuth(char* userName, int* authType);      // userName: 67 bytes, zero-filled
#endif

int ZCPIN_Exec(char* result);
int ZCHECK_PIN(const char* pin);
int ZSET_PIN_PUK(const char* puk, const char* newPin);
int ZGET_PIN_PUK_TIMES(int* pinTimes, int* pukTimes);
int ZGET_PIN_STATE(int* state);
int ZSET_PIN(const char* oldPin, const char* newPin);
int ZGET_APN_LOCK_STATE(int* state);
int ZGET_ACT_LOCK_STATE(int* state);
int ZGET_ROAM_LOCK_STATE(int* state);
#if defined(SETWELL_USER_AUTH)
int ZGET_IMSI(char* imsi);
int ZGET_CRSM(char* reply);
int ZSET_ID_PASSWORD_AUTH(const char* userName, const char* password, int authType);
int ZGET_ID_AUTH(char* userName, int* authType);
#endif
