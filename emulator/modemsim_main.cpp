// modemsim: runs the modem emulator until SIGINT or SIGTERM; "modemsim ctl
// DIR COMMAND ..." controls a running one from the shell.
#include <signal.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "emulator/control_channel.h"
#include "emulator/modem_emulator.h"

namespace {

void Usage(FILE* out = stderr) {
    std::fprintf(out,
                 "usage: modemsim --dir FOLDER [--mode modem|netcard|cdrom] [--sim ready|pin|puk|none|busy|fail]\n"
                 "                [--restart-ms N] [--pin PIN] [--puk PUK] [--imei IMEI] [--web-host HOST]\n"
                 "                [--flags F0,F1,F2,F3] [--network-mode 0|2|6|7]\n"
                 "       modemsim ctl FOLDER COMMAND [ARGS...]   (controls the emulator serving FOLDER)\n"
                 "  a fresh device has flags 0,0,1,0 and network mode 7 (High Speed, WiMAX 2+ on)\n"
                 "commands:\n%s"
                 "example: modemsim ctl /tmp/modem fault at AT+CGDCONT? late ms=5000\n",
                 modemsim::ControlHelp().c_str());
}

int Control(int argc, char** argv) {
    if (argc < 4) {
        Usage();
        return 2;
    }
    std::string reply;
    int code = modemsim::SendControlCommand(argv[2], std::vector<std::string>(argv + 3, argv + argc), &reply);
    std::fputs(reply.c_str(), code == 0 ? stdout : stderr);
    if (code != 0 && (reply.empty() || reply.back() != '\n'))
        std::fputc('\n', stderr);
    return code;
}

bool ParseCount(const char* text, uint32_t* out) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text, &end, 10);
    if (!*text || *end || v > 3600000UL) return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

// four flag bytes, each 0 or 1: "0,0,1,0"
bool ParseFlags(const char* text, std::array<int, 4>* out) {
    if (std::strlen(text) != 7) return false;
    for (int i = 0; i < 4; ++i) {
        char c = text[2 * i];
        if ((c != '0' && c != '1') || (i < 3 && text[2 * i + 1] != ',')) return false;
        (*out)[i] = c - '0';
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "ctl") == 0)
        return Control(argc, argv);
    modemsim::EmulatorOptions options;
    std::string pin, puk, imei;
    std::optional<std::array<int, 4>> flags;
    int networkMode = -1;
    // every flag but --help takes a value
    for (int i = 1; i < argc; i += 2) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--dir" && ok) {
            options.dir = value;
        } else if (arg == "--mode" && ok) {
            ok = modemsim::ParseMode(value, &options.mode);
        } else if (arg == "--sim" && ok) {
            ok = modemsim::ParseSimState(value, &options.sim);
        } else if (arg == "--restart-ms" && ok) {
            ok = ParseCount(value, &options.restartMs);
        } else if (arg == "--pin" && ok) {
            pin = value;
        } else if (arg == "--puk" && ok) {
            puk = value;
        } else if (arg == "--imei" && ok) {
            ok = std::strlen(value) == 15 && std::strspn(value, "0123456789") == 15;
            imei = value;
        } else if (arg == "--web-host" && ok) {
            options.webHost = value;
        } else if (arg == "--flags" && ok) {
            flags.emplace();
            ok = ParseFlags(value, &*flags);
        } else if (arg == "--network-mode" && ok) {
            ok = std::strlen(value) == 1 && std::strchr("0267", value[0]);
            networkMode = value[0] - '0';
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "modemsim: bad argument: %s%s%s\n", arg.c_str(), value ? " " : "", value ? value : "");
            Usage();
            return 2;
        }
    }
    if (options.dir.empty()) {
        Usage();
        return 2;
    }

    // taken by sigwait below, never delivered
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::ModemEmulator emulator(options);
    if (!pin.empty() || !puk.empty()) emulator.SetPinCodes(pin.empty() ? "1234" : pin, puk.empty() ? "12345678" : puk);
    if (!imei.empty()) emulator.SetImei(imei);
    if (flags) emulator.SetDeviceFlags(*flags);
    if (networkMode >= 0) emulator.SetNetworkSelect(networkMode, 0);
    std::string error;
    if (!emulator.Start(&error)) {
        std::fprintf(stderr, "modemsim: %s\n", error.c_str());
        return 1;
    }
    // without its socket the emulator still serves, only "modemsim ctl" cannot reach it
    modemsim::ControlChannel control(emulator);
    if (!control.Start(&error))
        std::fprintf(stderr, "modemsim: no run-time control: %s\n", error.c_str());
    std::printf("KESTLE_DEVICE_DIR=%s\n", emulator.DeviceDir().c_str());
    std::printf("mode %s, AT port COM%d, diagnostic port COM%d; stop with Ctrl-C\n", modemsim::ModeName(emulator.CurrentMode()),
                emulator.ComNumber(modemsim::Port::At), emulator.ComNumber(modemsim::Port::Diag));
    std::fflush(stdout);
    int sig = 0;
    sigwait(&signals, &sig);
    control.Stop();
    emulator.Stop();
    return 0;
}
