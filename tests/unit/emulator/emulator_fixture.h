#pragma once
// Drives an in-process emulator through the port library, as the product does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "emulator/hdlc.h"
#include "emulator/modem_emulator.h"
#include "platform/portlib/KestlePortServer.h"

namespace modemsim_test {

using namespace modemsim;

inline const char kWebHost[] = "192.168.100.1";

class EmulatorTest : public ::testing::Test {
protected:
    // Timeouts of exchanges that should succeed are long: they end as soon as
    // the answer is complete, and the scaled clock makes short ones tight.
    explicit EmulatorTest(Mode mode = Mode::Modem) {
        options_.mode = mode;
        options_.restartMs = 300;
    }

    void SetUp() override {
        emu_ = std::make_unique<ModemEmulator>(options_);
        std::string error;
        ASSERT_TRUE(emu_->Start(&error)) << error;
        setenv("KESTLE_DEVICE_DIR", emu_->DeviceDir().c_str(), 1);
    }

    void TearDown() override {
        for (const char* com : {"5", "6", "7"}) {
            KestleClosePort(PORT_KIND_AT, com);
            KestleClosePort(PORT_KIND_DIAG, com);
        }
        emu_->Stop();
        unsetenv("KESTLE_DEVICE_DIR");
    }

    std::vector<std::string> Listing() {
        static char entries[50][KESTLE_ENTRY_SIZE];
        int count = 50;
        if (KestleEnumDeviceProperty(entries, &count) != 0) return {};
        return std::vector<std::string>(entries, entries + count);
    }

    std::string Com(Port port) const { return std::to_string(emu_->ComNumber(port)); }

    // One AT exchange; the line goes out with its CR. Empty on failure.
    std::string At(const std::string& line, int timeoutSeconds = 60, Port port = Port::At) {
        std::string com = Com(port);
        if (KestleInitPort(PORT_KIND_AT, com.c_str()) != 0) return "";
        std::string request = line + "\r";
        return Exchange(PORT_KIND_AT, com, request, timeoutSeconds);
    }

    // Further reply text without sending anything.
    std::string AtMore(int timeoutSeconds) { return Exchange(PORT_KIND_AT, Com(Port::At), "", timeoutSeconds); }

    // The reply of a DIAG request as raw bytes as they came (framed).
    std::string DiagRaw(const std::vector<uint8_t>& frame, int timeoutSeconds = 30) {
        std::string com = Com(Port::Diag);
        if (KestleInitPort(PORT_KIND_DIAG, com.c_str()) != 0) return "";
        return Exchange(PORT_KIND_DIAG, com, std::string(frame.begin(), frame.end()), timeoutSeconds);
    }

    // Frames the packet, exchanges it and unframes the answer; false when the
    // answer is missing or fails its CRC.
    bool Diag(const std::vector<uint8_t>& packet, std::vector<uint8_t>* answer, int timeoutSeconds = 30) {
        std::string raw = DiagRaw(FrameDiagPacket(packet), timeoutSeconds);
        if (raw.empty() || static_cast<uint8_t>(raw.back()) != 0x7E) return false;
        raw.pop_back();
        return UnframeDiagPacket(std::vector<uint8_t>(raw.begin(), raw.end()), answer);
    }

    // One goform request; *ok tells whether the port library reported success.
    std::string Http(const std::string& path, const std::string& request, bool* ok = nullptr, const std::string& host = kWebHost) {
        std::string url = "http://" + host + path;
        bool good = KestleInitPort(PORT_KIND_HTTP, "") == 0;
        std::string reply;
        if (good) {
            std::vector<unsigned char> buf(1024, 0);
            int length = static_cast<int>(buf.size());
            good = KestleReadMsgFromPort_sync(PORT_KIND_HTTP, url.c_str(), reinterpret_cast<const unsigned char*>(request.data()),
                                              static_cast<int>(request.size()), buf.data(), &length, 30) == 0;
            if (good) reply.assign(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(length));
            KestleClosePort(PORT_KIND_HTTP, "");
        }
        if (ok) *ok = good;
        return reply;
    }

    std::string Upload(const std::string& query, const std::string& filePath, bool* ok) {
        std::string url = std::string("http://") + kWebHost + "/goform/goform_set_cmd_process?" + query;
        std::vector<unsigned char> buf(256, 0);
        int length = static_cast<int>(buf.size());
        *ok = KestleInitPort(PORT_KIND_HTTP, "") == 0 &&
              KestleReadMsgFromPortUploadFile(PORT_KIND_HTTP, url.c_str(), filePath.c_str(), 0, buf.data(), &length, 30) == 0;
        KestleClosePort(PORT_KIND_HTTP, "");
        return *ok ? std::string(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(length)) : "";
    }

    bool ListingHas(const std::string& word) {
        for (const auto& e : Listing())
            if (e.find(word) != std::string::npos) return true;
        return false;
    }

    EmulatorOptions options_;
    std::unique_ptr<ModemEmulator> emu_;

private:
    std::string Exchange(int kind, const std::string& com, const std::string& request, int timeoutSeconds) {
        std::vector<unsigned char> buf(102400, 0);
        int length = static_cast<int>(buf.size());
        int rc = KestleReadMsgFromPort_sync(kind, com.c_str(), reinterpret_cast<const unsigned char*>(request.data()),
                                            static_cast<int>(request.size()), buf.data(), &length, timeoutSeconds);
        if (rc != 0 && length <= 0) return "";
        return std::string(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(std::max(length, 0)));
    }
};

class NetCardTest : public EmulatorTest {
protected:
    NetCardTest() : EmulatorTest(Mode::NetCard) {}
};

}  // namespace modemsim_test
