#pragma once
// The AT operations run against the in-process emulator on its AT port.
#include "device/at_ops_network.h"
#include "device/at_ops_sim.h"
#include "emulator/modem_emulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

modemsim::ModemEmulator& Emulator();

// Every output an operation may write, preset to values no reply gives.
struct Outputs {
    Outputs()
    {
        memset(&contexts, 0x5A, sizeof(contexts));
        memset(&operators, 0x5A, sizeof(operators));
        memset(text, 0, sizeof(text));
        memset(user, 0, sizeof(user));
        snprintf(user, sizeof(user), "keep");
    }
    PdpContextList contexts;
    OperatorList operators;
    char text[1024];
    char user[67];
    int first = -7;
    int second = -7;
    DeviceFlagRecord flags{9, 9, 9};
};

bool SameOutputs(const Outputs& a, const Outputs& b);

struct OperationCase {
    const char* name;
    std::function<int(Outputs&)> run;
    const char* line;  // what the device receives
    bool okTested;     // fails unless the device answers OK
};

// Every public AT operation with arguments that give a valid line.
const std::vector<OperationCase>& AllOperations();

// One read and a check of the device's true values (set up by PrepareReadCases).
struct ReadCase {
    const char* name;
    const char* prefix;  // the line the device receives
    std::function<int(Outputs&)> run;
    std::function<void(const Outputs&)> check;
};

// Gives the device the values the read cases check.
// A command sent as a tool sends it ("AT+CMEE=2", "ATE0"); it must be answered OK.
void SendToolCommand(AtCommandId id, uint8_t type, int parameter);

void PrepareReadCases();
const std::vector<ReadCase>& ReadCases();
const ReadCase& ReadCaseNamed(const std::string& name);
// Runs every read case: each gives the device's true values.
void ExpectTrueReads();

class AtOpsTest : public ::testing::Test {
protected:
    void SetUp() override;
    // The next line starting with prefix is answered with text alone (after the echo).
    void Answer(const std::string& prefix, const std::string& text);
    // "\r\n" + line + "\r\n" + "\r\nOK\r\n"
    void AnswerOk(const std::string& prefix, const std::string& line);
    void Silence(const std::string& prefix);
    std::vector<std::string> Lines() const { return Emulator().AtLines(); }
};
