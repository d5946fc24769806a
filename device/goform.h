#pragma once
// goform requests to the modem's web server (network-card mode) and the one
// command sent through its CD-ROM drive. Every request opens and closes port
// kind 10 by itself and keeps no state, so any thread may call them at once.
// Results: 0 success, 1 failure. Nothing is shown or traced.

// Room of a request text, terminator included: the provisioning requests
// carry up to 10240. Room of a URL (host, path and an upload's query). Longer
// texts are refused with 1 before anything is sent.
constexpr int GOFORM_TEXT_ROOM = 10240;
constexpr int GOFORM_URL_ROOM = 1024;
// Reply room of the requests; the caller's reply text must hold it.
constexpr int GOFORM_REPLY_ROOM = 256;
constexpr int GOFORM_VERSION_REPLY_ROOM = 1024;

constexpr const char* GOFORM_PROCESS_PATH = "/goform/goform_process";
constexpr const char* GOFORM_GET_PATH = "/goform/goform_get_cmd_process";
constexpr const char* GOFORM_SET_PATH = "/goform/goform_set_cmd_process";

// One exchange on port kind 10: init, exchange (timeout 5), close. *replyRoom
// in = room of reply, out = bytes received; the reply stays terminated within
// its room (at most room - 1 bytes are taken).
int Http_SendGoformRequest(const char* url, const char* request, int requestLength, char* reply, int* replyRoom);
// The same with a file upload (timeout 10).
int Http_UploadGoformFile(const char* url, const char* filePath, int length, char* reply, int* replyRoom);

// The request family. host is the web server's host name. A missing or empty
// request text sends the request's built-in text. "reply" receives the reply
// (cut to the room above, terminated) whenever the exchange worked.
int Http_GetCurrentVersion(const char* host, const char* request, char* reply);  // reply room 1024
int Http_GetIMEI(const char* host, const char* request, char* reply);
int Http_SetDeviceMode(const char* host, const char* request, char* reply);
int Http_RebootDevice(const char* host, char* reply);
int Http_RestoreFactorySettings(const char* host, const char* request, char* reply);
int Http_SetProductModeForMarl(const char* host, const char* request, char* reply);
int Http_SaveApn(const char* host, const char* request, char* reply);
int Http_UploadRestoreFile(const char* host, const char* query, const char* filePath, char* reply);
int Http_DeleteApn(const char* host, const char* request);
int Http_SetDefaultApn(const char* host, const char* request, char* reply);
// On/off requests: *flag = 1 for a reply containing "on" (tested first), 0 for
// one containing "off"; otherwise 1 and the flag is untouched.
int Http_GetPrivacySetting(const char* host, const char* request, int* flag);
int Http_GetRestrictDefaultProfile(const char* host, const char* request, int* flag);
int Http_GetWimax2Enable(const char* host, const char* request, int* flag);
// Appends "on" (flag nonzero) or "off" to the caller's text; an empty text
// sends the built-in text whatever the flag.
int Http_SetWimax2Enable(const char* host, const char* request, int flag);

// The mode-switch vendor command through the CD drive of the device with this
// vendor and product id.
int SCSI_SwitchDeviceMode(const char* vendorId, const char* productId);
