// One emulator for the whole program; the trace configuration (WriteLog 1)
// lies in a private working folder that becomes the current directory.
#include "at_ops_fixture.h"

#include "device/port_manager.h"
#include "device/port_scanner.h"
#include "device/trace_log.h"
#include "platform/win/clock.h"
#include "tests/support/timeout_scale.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {
modemsim::ModemEmulator* g_emulator = nullptr;
}

modemsim::ModemEmulator& Emulator()
{
    return *g_emulator;
}

bool SameOutputs(const Outputs& a, const Outputs& b)
{
    return memcmp(&a.contexts, &b.contexts, sizeof(a.contexts)) == 0 &&
           memcmp(&a.operators, &b.operators, sizeof(a.operators)) == 0 && memcmp(a.text, b.text, sizeof(a.text)) == 0 &&
           memcmp(a.user, b.user, sizeof(a.user)) == 0 && a.first == b.first && a.second == b.second &&
           memcmp(&a.flags, &b.flags, sizeof(a.flags)) == 0;
}

void AtOpsTest::SetUp()
{
    Emulator().ClearFaults();
    SetTimeoutScale(0);  // full-length timeouts until a test silences the device
    ASSERT_TRUE(Emulator().WaitForAttached(true, 20000));
    ResetAtEngineState();
    Emulator().ClearReceived();
}

void AtOpsTest::Answer(const std::string& prefix, const std::string& text)
{
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::Garbage;
    fault.text = text;
    Emulator().InjectAtFault(prefix, fault);
}

void AtOpsTest::AnswerOk(const std::string& prefix, const std::string& line)
{
    Answer(prefix, "\r\n" + line + "\r\n\r\nOK\r\n");
}

void AtOpsTest::Silence(const std::string& prefix)
{
    modemsim::Fault fault;
    fault.kind = modemsim::FaultKind::NoAnswer;
    Emulator().InjectAtFault(prefix, fault);
    // the timeout is what the test waits for: shorten it
    SetTimeoutScale(tooltest::ShortTimeoutScale());
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);

    const auto previous = std::filesystem::current_path();
    std::string folder = (std::filesystem::temp_directory_path() / "at_ops_XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    std::ofstream(folder + "/config.ini") << "[FEATURE]\r\nWriteLog=1\r\n";
    std::filesystem::current_path(folder);
    ResetTraceLogConfigForTests();

    int rc = 1;
    {
        auto emulator = std::make_unique<modemsim::ModemEmulator>();
        std::string error;
        if (!emulator->Start(&error)) {
            fprintf(stderr, "emulator: %s\n", error.c_str());
        } else {
            setenv("KESTLE_DEVICE_DIR", emulator->DeviceDir().c_str(), 1);
            g_emulator = emulator.get();
            CMarlPortManager ports; // readies the AT engine
            SetATPort(std::to_string(emulator->ComNumber(modemsim::Port::At)).c_str());
            rc = RUN_ALL_TESTS();
            SetATPort("");
            g_emulator = nullptr;
        }
        emulator->Stop();
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
    return rc;
}
