#include "emulator/http_wire.h"
#include "emulator/text_case.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

#include "platform/win/clock.h"

namespace modemsim {

namespace {

enum { kMaxHeaderBytes = 64 * 1024, kMaxBodyBytes = 16 * 1024 * 1024 };
constexpr uint32_t kIdleProgramMs = 30000;  // a client silent this long is dropped

// Reads what is there (waiting up to the idle time); false on close, error or stop.
bool ReadSome(int fd, std::string* into, const std::atomic<bool>& stop) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ScaledMs(kIdleProgramMs) + 1000);
    while (!stop.load() && std::chrono::steady_clock::now() < end) {
        pollfd pfd{fd, POLLIN, 0};
        int r = ::poll(&pfd, 1, 10);
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        char buf[8192];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        into->append(buf, static_cast<size_t>(n));
        return true;
    }
    return false;
}

void SendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::string Header(const std::string& headers, const std::string& name) {
    std::string lower = LowerAscii(headers);
    std::string key = "\r\n" + LowerAscii(name) + ":";
    size_t at = lower.find(key);
    if (at == std::string::npos) return "";
    size_t start = at + key.size();
    size_t end = headers.find("\r\n", start);
    std::string v = headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!v.empty() && v.front() == ' ') v.erase(v.begin());
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
    return v;
}

// Decodes a chunked body once it is complete; false while more is needed.
bool Dechunk(const std::string& raw, std::string* body, bool* bad) {
    body->clear();
    size_t pos = 0;
    for (;;) {
        size_t eol = raw.find("\r\n", pos);
        if (eol == std::string::npos) return false;
        char* endp = nullptr;
        std::string sizeText = raw.substr(pos, eol - pos);
        unsigned long size = std::strtoul(sizeText.c_str(), &endp, 16);
        if (endp == sizeText.c_str() || size > kMaxBodyBytes) {
            *bad = true;
            return false;
        }
        pos = eol + 2;
        if (size == 0) return raw.find("\r\n", pos) != std::string::npos;
        if (raw.size() < pos + size + 2) return false;
        body->append(raw, pos, size);
        pos += size + 2;
    }
}

// The contents of the first part of a multipart body (the uploaded file).
std::string FirstPart(const std::string& body, const std::string& contentType) {
    size_t b = LowerAscii(contentType).find("boundary=");
    if (b == std::string::npos) return body;
    std::string boundary = contentType.substr(b + 9);
    if (!boundary.empty() && boundary.front() == '"') boundary = boundary.substr(1, boundary.find('"', 1) - 1);
    std::string delim = "--" + boundary;
    size_t start = body.find(delim);
    if (start == std::string::npos) return "";
    size_t headersEnd = body.find("\r\n\r\n", start);
    if (headersEnd == std::string::npos) return "";
    size_t dataStart = headersEnd + 4;
    size_t dataEnd = body.find("\r\n" + delim, dataStart);
    if (dataEnd == std::string::npos) return "";
    return body.substr(dataStart, dataEnd - dataStart);
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

std::string Head(int status, size_t length) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n";
}

}  // namespace

bool ReadLine(int fd, std::string* line, const std::atomic<bool>& stop) {
    std::string data;
    while (data.find('\n') == std::string::npos) {
        if (data.size() > 4096 || !ReadSome(fd, &data, stop)) return false;
    }
    *line = data.substr(0, data.find('\n'));
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

bool ReadHttpRequest(int fd, HttpRequest* request, const std::atomic<bool>& stop) {
    std::string data;
    size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (data.size() > kMaxHeaderBytes || !ReadSome(fd, &data, stop)) return false;
    }
    std::string headers = data.substr(0, headEnd + 2);
    std::string rest = data.substr(headEnd + 4);
    size_t sp1 = headers.find(' ');
    size_t sp2 = sp1 == std::string::npos ? sp1 : headers.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) return false;
    request->method = headers.substr(0, sp1);
    std::string target = headers.substr(sp1 + 1, sp2 - sp1 - 1);
    size_t q = target.find('?');
    request->path = target.substr(0, q);
    request->query = q == std::string::npos ? "" : target.substr(q + 1);

    if (LowerAscii(Header(headers, "Expect")) == "100-continue") SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    std::string body;
    if (LowerAscii(Header(headers, "Transfer-Encoding")).find("chunked") != std::string::npos) {
        bool bad = false;
        while (!Dechunk(rest, &body, &bad)) {
            if (bad || rest.size() > kMaxBodyBytes || !ReadSome(fd, &rest, stop)) return false;
        }
    } else {
        std::string lengthText = Header(headers, "Content-Length");
        unsigned long length = lengthText.empty() ? 0 : std::strtoul(lengthText.c_str(), nullptr, 10);
        if (length > kMaxBodyBytes) return false;
        while (rest.size() < length) {
            if (!ReadSome(fd, &rest, stop)) return false;
        }
        body = rest.substr(0, length);
    }
    std::string type = Header(headers, "Content-Type");
    request->body = LowerAscii(type).rfind("multipart/", 0) == 0 ? FirstPart(body, type) : body;
    return true;
}

void WriteHttpResponse(int fd, int status, const std::string& body) { SendAll(fd, Head(status, body.size()) + body); }

void WriteHttpPartial(int fd, int status, const std::string& body) {
    SendAll(fd, Head(status, body.size() + 16) + body.substr(0, body.size() / 2));
}

void WaitForPeerClose(int fd, uint32_t timeoutMs, const std::atomic<bool>& stop) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutScaledMs(timeoutMs));
    while (!stop.load() && std::chrono::steady_clock::now() < end) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 10) > 0) {
            char buf[256];
            if (::recv(fd, buf, sizeof buf, 0) <= 0) return;
        }
    }
}

}  // namespace modemsim
