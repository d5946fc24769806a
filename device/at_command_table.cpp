// Command ids and their texts, searched from the top: where an id or a text
// occurs twice the first row wins.
#include "device/at_engine.h"

const AtCommandRow AtCommandTable[] = {
    {AT_CMD_AT, ""}, {AT_CMD_E, "E"}, {9, "+CSQ"}, {10, "^HDRCSQ"}, {AT_CMD_I, "I"}, {AT_CMD_GSN, "+GSN"},
    {AT_CMD_GMI, "+GMI"}, {AT_CMD_GMR, "+GMR"}, {AT_CMD_GMM, "+GMM"}, {AT_CMD_CGMI, "+CGMI"},
    {AT_CMD_CGMR, "+CGMR"}, {AT_CMD_CGMM, "+CGMM"}, {AT_CMD_CIMI, "+CIMI"}, {AT_CMD_CGSN, "+CGSN"},
    {21, "^HWVER"}, {23, "+CMGF"}, {24, "+CMTI"}, {25, "+CDSI"}, {26, "+CDS"}, {27, "+CMT"}, {28, "+CBM"},
    {29, "+CNMI"}, {30, "+CMGD"}, {31, "+CPMS"}, {32, "+CSCA"}, {33, "+CMGS"}, {34, "+CMGW"}, {35, "+CMGL"},
    {36, "+CMGR"}, {37, "+CSMS"}, {38, "+CNMA"}, {39, "+CGSMS"}, {AT_CMD_CPWD, "+CPWD"},
    {AT_CMD_CPIN, "+CPIN"}, {42, "^CPIN"}, {AT_CMD_CLCK, "+CLCK"}, {AT_CMD_CRSM, "+CRSM"},
    {AT_CMD_CGDCONT, "+CGDCONT"}, {46, "+CGATT"}, {47, "+CGACT"}, {48, "+ZMCON"}, {50, "+ZMCON"},
    {49, "+ZMCONV6"}, {51, "+ZMCONV6"}, {52, "+CON_STATUS"}, {53, "+CON_STATUS"}, {54, "+CPBS"},
    {55, "+CPBR"}, {56, "+CPBW"}, {58, "+CSCS"}, {AT_CMD_COPS, "+COPS"}, {60, "+CFUN"}, {61, "+CREG"},
    {62, "+CREG"}, {63, "+CNUM"}, {64, "+CGREG"}, {AT_CMD_CMEE, "+CMEE"}, {AT_CMD_DIAL, "D"}, {66, "+CDV"},
    {67, "A"}, {68, "+CHUP"}, {69, "H"}, {70, "+CHV"}, {71, "+CRING"}, {72, "+RING"},
    {73, "+VOICE NO CARRIER"}, {75, "+STOPRING"}, {76, "+RINGBACK"}, {74, "+VOICE CONNECT"}, {77, "+ANSWER"},
    {78, "+HANGUP"}, {79, "+CLIP"}, {80, "+VTS"}, {81, "+CMUT"}, {82, "+CLVL"}, {83, "+CMVL"}, {84, "+ZECC"},
    {85, "+CBST"}, {86, "+ZDET"}, {87, "%ICSCALL"}, {88, "%IGSC"}, {91, "+CCFC"}, {92, "+CCWA"},
    {93, "+CHLD"}, {94, "+CUSD"}, {95, "+CUSD"}, {90, "+CLCC"}, {4097, "+ZCLAS"}, {4098, "+ZSTM"},
    {4099, "*TSTMENU"}, {4100, "+ZSELM"}, {4124, "*TSTMS"}, {4101, "+ZSTI"}, {4102, "+ZSELI"},
    {4103, "+ZDIST"}, {4104, "+ZGINK"}, {4105, "+ZGINP"}, {4106, "+ZPSTM"}, {4107, "+ZEND"}, {4108, "+ZSMSR"},
    {4109, "+ZMTime"}, {4110, "+Zunsupport"}, {4113, "+ZBK"}, {4114, "+ZINKR"}, {4115, "+ZINPR"},
    {4116, "+ZDISTR"}, {4117, "+ZRSDL"}, {4118, "*TSTEV"}, {4119, "*TSTAUTO"}, {4120, "*TSTRT"},
    {4121, "*TSTTONE"}, {4122, "*TSTRF"}, {4123, "*TSTPD"}, {4124, "*TSTMS"}, {4125, "*TSTMODE"},
    {4126, "*TSTCR"}, {4127, "*TSTGC"}, {4128, "+ZDON"}, {4129, "%IPSYS"}, {AT_CMD_ZSNT, "+ZSNT"},
    {4131, "+ZDSNT"}, {4133, "%NWSTATE"}, {4132, "+ZPAS"}, {4134, "%IHPLMN"}, {4135, "%IFWR"},
    {4136, "+ZPCB"}, {4137, "+ZOPRT"}, {4138, "+ZSMSD"}, {4139, "+ZUSIM"}, {4140, "+ZCPBR"}, {4141, "+ZCPBW"},
    {4142, "%PINNUM"}, {AT_CMD_ZPINPUK, "+ZPINPUK"}, {4144, "+ZRSSI"}, {4145, "+CQIUPD"}, {4146, "+ZDFLOW"},
    {AT_CMD_ZNLOCKBAND, "+znlockband"}, {8202, "^SYSINFO"}, {4151, "+Zppdl"}, {4153, "+ZDONR"},
    {4152, "+ZPASR"}, {4154, "+ZMSN"}, {4155, "%IPDPACT"}, {4156, "%IPDPCFG"}, {4158, "+ZPREFBAND"},
    {4159, "+ZTAG"}, {4160, "+ZVPIN"}, {4161, "+ZPSWD"}, {4162, "+ZCELLINFO"}, {4163, "+EUSIM"},
    {4164, "+ENBR"}, {4165, "+EPSB"}, {4166, "+EPBSE"}, {4167, "+EPINC"}, {4168, "+ERAT"},
    {4170, "+ZGSWITCH"}, {4171, "+ZGINIT"}, {4172, "+ZGRUN"}, {4173, "+ZGMODE"}, {4174, "+ZGQOS"},
    {4175, "+ZGFIXRATE"}, {4176, "+ZGURL"}, {4177, "+ZGTIMEINJ"}, {4178, "+zgautodown"}, {4179, "+zgquery"},
    {4180, "+ZGSETDATA"}, {4181, "+zgdelet"}, {4182, "+ZGXTRA"}, {4183, "+ZGSTATE"}, {4184, "+ZGPSR"},
    {4185, "+ZGPSERROR"}, {4186, "+ZGMEASURE"}, {4187, "+GPSEVENT"}, {4188, "+ZGPS_XTRA_VALID"},
    {4189, "+ZGPS_XTRA_FILE_DOWN"}, {8209, "^SMMEMFULL"}, {8210, "^HCMT"}, {8211, "^HCDS"}, {8212, "^HCMGSS"},
    {8213, "^HCMGSF"}, {8214, "^HSMSSS"}, {8215, "^HCMGS"}, {8216, "^HCMGW"}, {8217, "^HCMGL"},
    {8218, "^HCMGR"}, {8219, "+CCMGW"}, {8220, "+CCMGL"}, {8221, "+CCMGR"}, {8222, "+CCMGD"},
    {8223, "+CCNMI"}, {8224, "+CCPMS"}, {8225, "^CPBR"}, {8226, "^CPBW"}, {8193, "^CONN"}, {8194, "^CEND"},
    {8195, "^HRSSILVL"}, {8196, "^MODE"}, {8197, "^SIMST"}, {8198, "^ORIG"}, {8199, "^DTMF"},
    {8200, "^CVOICE"}, {8201, "^DDSETEX"}, {8202, "^SYSINFO"}, {8203, "^PREFMODE"}, {8204, "^RESET"},
    {8205, "^VOLT"}, {8206, "^MEID"}, {8207, "^DSDORMANT"}, {8208, "^FLASH"}, {96, "+XX"}, {97, "^SYSCONFIG"},
    {4190, "+SPECC"}, {4191, "+SIND"}, {4192, "+ECIND"}, {98, "^HVER"}, {99, "^CARDMODE"}, {4193, "*SPREADY"},
    {4194, "+SPSPINFO"}, {100, "+ZIVN"}, {101, "+ZCDRUN"}, {102, "^RSETFTY"}, {103, "^ZBOARD"}, {104, "^ZBT"},
    {105, "^ZWMSN"}, {106, "^ZMAC"}, {107, "^ZADJUST"}, {108, "^ZDOWNLOAD"}, {109, "*USBCFG"}, {110, "+ESWM"},
    {111, "+ZSEC"}, {112, "+ZFLAG"}, {113, "+ZFLAG"}, {114, "+DLTIME"}, {115, "+ZSOFTRESET"}, {116, "+CGMR"},
    {AT_CMD_ZCPE, "+ZCPE"}, {118, "+ZMODE"}, {AT_CMD_ZRST, "+ZRST"}, {AT_CMD_ZEFSGET, "+ZEFSGET"},
    {AT_CMD_ZDATAROAM, "+ZDATAROAM"}, {AT_CMD_COPS_SCAN, "+COPS="}, {AT_CMD_ZAPNLOCK, "+ZAPNLOCK"},
    {AT_CMD_ZACTLOCK, "+ZACTLOCK"}, {AT_CMD_ZROAMLOCK, "+ZROAMLOCK"},
#if defined(SETWELL_USER_AUTH)
    {AT_CMD_QCPDPP, "$QCPDPP"},
#endif
};

const size_t AtCommandTableRows = sizeof(AtCommandTable) / sizeof(AtCommandTable[0]);

// Swapwell has no user authentication and so no "$QCPDPP" row.
#if defined(SETWELL_USER_AUTH)
static_assert(sizeof(AtCommandTable) / sizeof(AtCommandTable[0]) == 245);
#else
static_assert(sizeof(AtCommandTable) / sizeof(AtCommandTable[0]) == 244);
#endif
