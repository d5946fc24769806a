// The device's web server over libcurl: GET with the request text as query on
// the get path, form POST on the others, multipart POST for uploads. In
// emulator mode hosts are mapped to loopback ports and nothing else is reached.
// libcurl is loaded on the first request, not at start: it brings some thirty
// libraries of its own, and most runs of a tool never speak HTTP.
#include <curl/curl.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/portlib/portlib_internal.h"

namespace kestle_portlib {
namespace {

constexpr const char* kGetPath = "/goform/goform_get_cmd_process";

// The libcurl calls this file makes.
struct CurlApi {
    CURLcode (*global_init)(long);
    CURL* (*easy_init)();
    CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
    CURLcode (*easy_perform)(CURL*);
    CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
    void (*easy_cleanup)(CURL*);
    curl_slist* (*slist_append)(curl_slist*, const char*);
    void (*slist_free_all)(curl_slist*);
    curl_mime* (*mime_init)(CURL*);
    curl_mimepart* (*mime_addpart)(curl_mime*);
    CURLcode (*mime_name)(curl_mimepart*, const char*);
    CURLcode (*mime_filedata)(curl_mimepart*, const char*);
    void (*mime_free)(curl_mime*);
};

template <class F>
bool Bind(void* lib, const char* name, F*& slot)
{
    slot = reinterpret_cast<F*>(dlsym(lib, name));
    return slot != nullptr;
}

// libcurl loaded and initialised once; nullptr (and a debug line) when it cannot be.
const CurlApi* Curl()
{
    static const CurlApi* api = [] () -> const CurlApi* {
        static CurlApi a{};
        void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char* why = dlerror();
            DebugLine(std::string("KESTLE: HTTP is not available: libcurl.so.4 could not be loaded: ") +
                      (why ? why : "unknown error"));
            return nullptr;
        }
        const bool all = Bind(lib, "curl_global_init", a.global_init) && Bind(lib, "curl_easy_init", a.easy_init) &&
                         Bind(lib, "curl_easy_setopt", a.easy_setopt) &&
                         Bind(lib, "curl_easy_perform", a.easy_perform) &&
                         Bind(lib, "curl_easy_getinfo", a.easy_getinfo) &&
                         Bind(lib, "curl_easy_cleanup", a.easy_cleanup) &&
                         Bind(lib, "curl_slist_append", a.slist_append) &&
                         Bind(lib, "curl_slist_free_all", a.slist_free_all) &&
                         Bind(lib, "curl_mime_init", a.mime_init) && Bind(lib, "curl_mime_addpart", a.mime_addpart) &&
                         Bind(lib, "curl_mime_name", a.mime_name) &&
                         Bind(lib, "curl_mime_filedata", a.mime_filedata) && Bind(lib, "curl_mime_free", a.mime_free);
        if (!all) {
            DebugLine("KESTLE: HTTP is not available: libcurl.so.4 lacks a function this library needs");
            return nullptr;
        }
        a.global_init(CURL_GLOBAL_DEFAULT);
        return &a;
    }();
    return api;
}

struct Sink {
    std::string data;
    size_t capacity = 0;
};

size_t Collect(char* bytes, size_t size, size_t count, void* user)
{
    Sink* sink = static_cast<Sink*>(user);
    const size_t n = size * count;
    const size_t take = std::min(n, sink->capacity - std::min(sink->capacity, sink->data.size()));
    sink->data.append(bytes, take);
    return n;  // keep reading so that the server is not cut off mid-answer
}

struct Easy {
    const CurlApi* api = Curl();
    CURL* handle = api ? api->easy_init() : nullptr;
    curl_slist* connectTo = nullptr;
    curl_slist* headers = nullptr;
    curl_mime* mime = nullptr;
    ~Easy()
    {
        if (mime)
            api->mime_free(mime);
        if (handle)
            api->easy_cleanup(handle);
        if (connectTo)
            api->slist_free_all(connectTo);
        if (headers)
            api->slist_free_all(headers);
    }
};

// The host of "http://host[:port]/...", empty when the URL is not of that form.
std::string HostOf(const std::string& url)
{
    constexpr std::string_view scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return {};
    const size_t start = scheme.size();
    const size_t end = url.find_first_of(":/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The loopback port of host in the device folder's "http" file, 0 when none.
int MappedPort(const std::string& dir, const std::string& host)
{
    std::string text;
    ReadLibraryFile(dir + "/http", &text);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        int port = 0;
        if (fields >> name >> port && name == host && port > 0 && port < 65536)
            return port;
    }
    return 0;
}

// Bytes that may not stand in a URL are escaped; the rest go as given.
std::string QueryText(const unsigned char* request, int length)
{
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < length; ++i) {
        const unsigned char c = request[i];
        if (c <= 0x20 || c >= 0x7F || c == '#' || c == '"' || c == '<' || c == '>') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Common set-up; false when the URL may not be fetched.
bool Prepare(Easy& easy, const std::string& url, Sink* sink, int timeoutSeconds)
{
    if (!easy.handle)
        return false;
    const std::string host = HostOf(url);
    if (host.empty())
        return false;
    const std::string dir = DeviceDir();
    if (!dir.empty()) {
        const int port = MappedPort(dir, host);
        if (port == 0)
            return false;  // an unlisted host is never contacted
        const std::string rule = host + "::127.0.0.1:" + std::to_string(port);
        easy.connectTo = easy.api->slist_append(nullptr, rule.c_str());
        if (!easy.connectTo)
            return false;
        easy.api->easy_setopt(easy.handle, CURLOPT_CONNECT_TO, easy.connectTo);
    }
    CURL* h = easy.handle;
    easy.api->easy_setopt(h, CURLOPT_URL, url.c_str());
    easy.api->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
    easy.api->easy_setopt(h, CURLOPT_NOPROXY, "*");
    easy.api->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    const long ms = std::max(1, TimeoutMs(timeoutSeconds));
    easy.api->easy_setopt(h, CURLOPT_TIMEOUT_MS, ms);
    easy.api->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, ms);
    easy.api->easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    easy.api->easy_setopt(h, CURLOPT_WRITEDATA, sink);
    // no 100-continue round: the device answers the body directly
    easy.headers = easy.api->slist_append(nullptr, "Expect:");
    if (easy.headers)
        easy.api->easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);
    return true;
}

int Perform(Easy& easy, Sink& sink, unsigned char* reply, int* replyLength)
{
    const CURLcode code = easy.api->easy_perform(easy.handle);
    long status = 0;
    easy.api->easy_getinfo(easy.handle, CURLINFO_RESPONSE_CODE, &status);
    std::memcpy(reply, sink.data.data(), sink.data.size());
    reply[sink.data.size()] = 0;
    *replyLength = static_cast<int>(sink.data.size());
    if (code != CURLE_OK)
        return kHttpFailed;
    if (status < 200 || status > 299)
        return kHttpStatus;
    // an over-long answer is cut to the room, as the callers' cut-reply handling expects
    return kOk;
}

}  // namespace

void HttpGlobalInit()
{
    Curl();
}

int HttpExchange(const char* urlText, const unsigned char* request, int requestLength, unsigned char* reply,
                 int* replyLength, int timeoutSeconds)
{
    const int room = *replyLength;
    *replyLength = 0;
    reply[0] = 0;
    HttpGlobalInit();
    std::string url = urlText;
    const std::string path = url.substr(0, url.find('?'));
    const bool isGet = path.size() >= std::strlen(kGetPath) &&
                       path.compare(path.size() - std::strlen(kGetPath), std::string::npos, kGetPath) == 0;
    std::string body;
    if (isGet) {
        if (requestLength > 0)
            url += (url.find('?') == std::string::npos ? "?" : "&") + QueryText(request, requestLength);
    } else if (requestLength > 0) {
        body.assign(reinterpret_cast<const char*>(request), static_cast<size_t>(requestLength));
    }

    Easy easy;
    Sink sink;
    sink.capacity = static_cast<size_t>(room - 1);
    if (!Prepare(easy, url, &sink, timeoutSeconds))
        return kHttpFailed;
    if (!isGet) {
        easy.api->easy_setopt(easy.handle, CURLOPT_POST, 1L);
        easy.api->easy_setopt(easy.handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        easy.api->easy_setopt(easy.handle, CURLOPT_COPYPOSTFIELDS, body.c_str());
    }
    return Perform(easy, sink, reply, replyLength);
}

int HttpUpload(const char* urlText, const char* filePath, unsigned char* reply, int* replyLength,
               int timeoutSeconds)
{
    const int room = *replyLength;
    *replyLength = 0;
    reply[0] = 0;
    struct stat st;
    if (stat(filePath, &st) != 0 || !S_ISREG(st.st_mode))
        return kBadArgument;
    HttpGlobalInit();
    Easy easy;
    Sink sink;
    sink.capacity = static_cast<size_t>(room - 1);
    if (!Prepare(easy, urlText, &sink, timeoutSeconds))
        return kHttpFailed;
    easy.mime = easy.api->mime_init(easy.handle);
    curl_mimepart* part = easy.api->mime_addpart(easy.mime);
    if (!part || easy.api->mime_name(part, "filename") != CURLE_OK || easy.api->mime_filedata(part, filePath) != CURLE_OK)
        return kBadArgument;
    easy.api->easy_setopt(easy.handle, CURLOPT_MIMEPOST, easy.mime);
    return Perform(easy, sink, reply, replyLength);
}

}  // namespace kestle_portlib
