#pragma once
// The few bits of HTTP/1.1 the device web server speaks, on a connected socket.
#include <atomic>
#include <string>

#include "emulator/modem_emulator.h"

namespace modemsim {

// One line up to LF (LF and a CR before it removed); false on close, stop or a silent peer.
bool ReadLine(int fd, std::string* line, const std::atomic<bool>& stop);
// Request line, headers and body (Content-Length or chunked; a multipart upload
// leaves the uploaded file's contents as the body). Answers "Expect: 100-continue".
bool ReadHttpRequest(int fd, HttpRequest* request, const std::atomic<bool>& stop);
void WriteHttpResponse(int fd, int status, const std::string& body);
// Promises the whole body but sends only its first half.
void WriteHttpPartial(int fd, int status, const std::string& body);
// Holds the connection without answering until the peer gives up (or timeoutMs
// pass, counted like the clients' device timeouts so that they give up first).
void WaitForPeerClose(int fd, uint32_t timeoutMs, const std::atomic<bool>& stop);

}  // namespace modemsim
