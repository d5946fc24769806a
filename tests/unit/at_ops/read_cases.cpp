// The reads that tests of a device's traffic run around a fault, each with the
// device's true values.
#include "at_ops_fixture.h"

#include <cstdio>
#include <memory>

void SendToolCommand(AtCommandId id, uint8_t type, int parameter)
{
    auto response = std::make_unique<AtResponseRecord>();
    AtCommandRecord command{};
    command.CmdID = id;
    command.Type = type;
    snprintf(command.szParam, sizeof(command.szParam), "%d", parameter);
    ASSERT_EQ(ExecuteAtCommand(response.get(), &command, 5), 0);
    ASSERT_EQ(response->Result, AT_RESULT_OK);
}

void PrepareReadCases()
{
    auto& e = Emulator();
    for (const auto& c : e.PdpContexts())
        e.DeletePdpContext(c.cid);
    e.SetPdpContext({1, "IP", "internet", "0.0.0.0", 0, 0});
    e.SetPdpContext({2, "IPV6", "ims", "::", 0, 0});
    e.SetNetworkSelect(7, 1, 0);
    e.SetLocks(true, false, false);
    e.SetRoaming(true);
    e.SetPinCounters(2, 9);
    e.SetImsi("440209312345678");
    e.SetSim(modemsim::SimState::Ready);
}

const std::vector<ReadCase>& ReadCases()
{
    static const std::vector<ReadCase> reads = {
        {"NetworkState", "AT+ZSNT?", [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE(&o.first); },
         [](const Outputs& o) { EXPECT_EQ(o.first, 3); }},
        {"NetworkSelect", "AT+ZSNT?", [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE_SELECT(&o.first, &o.second); },
         [](const Outputs& o) {
             EXPECT_EQ(o.first, 2);
             EXPECT_EQ(o.second, 1);
         }},
        {"ApnLock", "AT+ZAPNLOCK?", [](Outputs& o) { return AT_GET_APN_LOCK_STATE(&o.first); },
         [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"Roaming", "AT+ZDATAROAM?", [](Outputs& o) { return AT_GetRoaming(&o.first); },
         [](const Outputs& o) { EXPECT_EQ(o.first, 1); }},
        {"PinPukTimes", "AT+ZPINPUK=?", [](Outputs& o) { return AT_GET_PIN_PUK_TIMES(&o.first, &o.second); },
         [](const Outputs& o) {
             EXPECT_EQ(o.first, 2);
             EXPECT_EQ(o.second, 9);
         }},
        {"Contexts", "AT+CGDCONT?", [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); },
         [](const Outputs& o) {
             ASSERT_EQ(o.contexts.count, 2);
             EXPECT_STREQ(o.contexts.entries[0].apn, "internet");
             EXPECT_EQ(o.contexts.entries[1].cid, 2);
             EXPECT_STREQ(o.contexts.entries[1].apn, "ims");
         }},
        {"FirstContextLine", "AT+CGDCONT?", [](Outputs& o) { return AT_CGDCONT_READ_ONLY_MODIFY_APN(o.text); },
         [](const Outputs& o) { EXPECT_STREQ(o.text, "1,\"IP\",\"internet\",\"0.0.0.0\",0,0"); }},
#if defined(SETWELL_USER_AUTH)
        {"Imsi", "AT+CIMI", [](Outputs& o) { return AT_GET_IMSI(o.text); },
         [](const Outputs& o) { EXPECT_STREQ(o.text, "440209312345678"); }},
#endif
        {"Sim", "AT+CPIN?", [](Outputs& o) { return AT_CPIN(o.text); },
         [](const Outputs& o) { EXPECT_STREQ(o.text, "READY"); }},
    };
    return reads;
}

const ReadCase& ReadCaseNamed(const std::string& name)
{
    for (const ReadCase& r : ReadCases()) {
        if (name == r.name)
            return r;
    }
    ADD_FAILURE() << "no read case " << name;
    return ReadCases().front();
}

void ExpectTrueReads()
{
    for (const ReadCase& r : ReadCases()) {
        SCOPED_TRACE(std::string("then ") + r.name);
        Outputs out;
        EXPECT_EQ(r.run(out), 0);
        r.check(out);
    }
}
