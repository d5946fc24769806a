#include "at_ops_fixture.h"

namespace {

const PdpContextEntry kEntry = {3, "IP", "apn.example", "", {0, 0, 0, 0}};
const DeviceFlagRecord kFlags = {1, 1, 0};

OperatorList ListWithFirst(const char* numeric, int act)
{
    OperatorList list{};
    snprintf(list.entries[0].numeric, sizeof(list.entries[0].numeric), "%s", numeric);
    list.entries[0].accessTechnology = act;
    return list; // count 0: only entry 0 is read
}

} // namespace

const std::vector<OperationCase>& AllOperations()
{
    static const std::vector<OperationCase> cases = {
        {"CGDCONT_READ", [](Outputs& o) { return AT_CGDCONT_READ(&o.contexts); }, "AT+CGDCONT?", true},
        {"CGDCONT_READ_ONLY_MODIFY_APN", [](Outputs& o) { return AT_CGDCONT_READ_ONLY_MODIFY_APN(o.text); },
         "AT+CGDCONT?", true},
        {"CGDCONT_SET", [](Outputs&) { return AT_CGDCONT_SET(&kEntry); }, "AT+CGDCONT=3,\"IP\",\"apn.example\"", true},
        {"CGDCONT_SET_FOR_ONLY_MODIFY_APN",
         [](Outputs&) { return AT_CGDCONT_SET_FOR_ONLY_MODIFY_APN("1,\"IPV4V6\",\"x\""); },
         "AT+CGDCONT=1,\"IPV4V6\",\"x\"", true},
        {"CGDCONT_DELETE", [](Outputs&) { return AT_CGDCONT_DELETE(4); }, "AT+CGDCONT=4", true},
        {"GET_DEVICE_NETWORK_STATE", [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE(&o.first); }, "AT+ZSNT?",
         true},
        {"GET_DEVICE_NETWORK_STATE_SELECT",
         [](Outputs& o) { return AT_GET_DEVICE_NETWORK_STATE_SELECT(&o.first, &o.second); }, "AT+ZSNT?", true},
        {"SET_DEVICE_NETWORK_STATE_SELECT_LTE", [](Outputs&) { return AT_SET_DEVICE_NETWORK_STATE_SELECT(3, 0); },
         "AT+ZSNT=6,0,0", true},
        {"SET_DEVICE_NETWORK_STATE_SELECT_ANY", [](Outputs&) { return AT_SET_DEVICE_NETWORK_STATE_SELECT(0, 1); },
         "AT+ZSNT=0,1,0", true},
        {"COPS_READ", [](Outputs& o) { return AT_COPS_READ(&o.operators); }, "AT+COPS=?", true},
        {"COPS_SET", [](Outputs&) { return AT_COPS_SET(ListWithFirst("00101", 7)); }, "AT+COPS=1,2,\"00101\",7", true},
        {"ENTER_RNDIS_MODE", [](Outputs&) { return AT_ENTER_RNDIS_MODE(); }, "AT+ZCPE=o", true},
        {"MarlRestart", [](Outputs&) { return AT_MarlRestart(); }, "AT+ZRST", true},
        {"SET_BAND", [](Outputs&) { return AT_SET_BAND("1,1,30015,4C00000"); }, "AT+znlockband=1,1,30015,4C00000",
         true},
        {"GET_DEVICE_FLAG_STATE", [](Outputs& o) { return AT_GET_DEVICE_FLAG_STATE(&o.flags); }, "AT+ZEFSGET?", true},
        {"SET_DEVICE_FLAG_STATE", [](Outputs&) { return AT_SET_DEVICE_FLAG_STATE(&kFlags); }, "AT+ZEFSGET=1,0,0,0",
         true},
        {"GetRoaming", [](Outputs& o) { return AT_GetRoaming(&o.first); }, "AT+ZDATAROAM?", true},
        {"SetRoaming", [](Outputs&) { return AT_SetRoaming(1); }, "AT+ZDATAROAM=1", true},
        {"CPIN", [](Outputs& o) { return AT_CPIN(o.text); }, "AT+CPIN?", false},
        {"CHECK_PIN", [](Outputs&) { return AT_CHECK_PIN("1234"); }, "AT+CPIN=\"1234\"", true},
        {"SET_PIN_PUK", [](Outputs&) { return AT_SET_PIN_PUK("12345678", "4321"); }, "AT+CPIN=\"12345678\",\"4321\"",
         true},
        {"GET_PIN_PUK_TIMES", [](Outputs& o) { return AT_GET_PIN_PUK_TIMES(&o.first, &o.second); }, "AT+ZPINPUK=?",
         true},
        {"GET_PIN_STATE", [](Outputs& o) { return AT_GET_PIN_STATE(&o.first); }, "AT+CLCK=\"sc\",2", true},
        {"SET_PIN", [](Outputs&) { return AT_SET_PIN("1234", "4321"); }, "AT+CPWD=\"sc\",\"1234\",\"4321\"", true},
        {"GET_APN_LOCK_STATE", [](Outputs& o) { return AT_GET_APN_LOCK_STATE(&o.first); }, "AT+ZAPNLOCK?", true},
        {"GET_ACT_LOCK_STATE", [](Outputs& o) { return AT_GET_ACT_LOCK_STATE(&o.first); }, "AT+ZACTLOCK?", true},
        {"GET_ROAM_LOCK_STATE", [](Outputs& o) { return AT_GET_ROAM_LOCK_STATE(&o.first); }, "AT+ZROAMLOCK?", true},
#if defined(SETWELL_USER_AUTH)
        {"GET_IMSI", [](Outputs& o) { return AT_GET_IMSI(o.text); }, "AT+CIMI", false},
        {"GET_CRSM", [](Outputs& o) { return AT_GET_CRSM(o.text); }, "AT+CRSM=176,28478,0,0,0", false},
        {"SetUserNameaPasswordAuth_Chap", [](Outputs&) { return AT_SetUserNameaPasswordAuth("user", "pass", 2); },
         "AT$QCPDPP=9,2,\"pass\",\"user\"", true},
        {"SetUserNameaPasswordAuth_None", [](Outputs&) { return AT_SetUserNameaPasswordAuth("user", "pass", 0); },
         "AT$QCPDPP=9,0", true},
        {"GetUserNameaAuth", [](Outputs& o) { return AT_GetUserNameaAuth(o.user, &o.first); }, "AT$QCPDPP?", false},
#endif
    };
    return cases;
}
