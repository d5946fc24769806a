// Every tool-type program as a user starts it, headless, against the emulator:
// it opens its own dialog; the packaged types 5 and 7 (real trailer, real
// release) provision the modem and switch WiMAX 2+ end to end.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/modem_emulator.h"
#include "tests/support/child_process.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kImei = "356789012345678";
const std::string kBuild = TEST_BUILD_DIR;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class ToolPrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tool-programs-XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        root_ = templ;
        runtime_ = root_ + "/run";
        ASSERT_EQ(mkdir(runtime_.c_str(), 0700), 0);
        modemsim::EmulatorOptions options;
        options.dir = root_ + "/device";
        options.mode = modemsim::Mode::NetCard;
        options.restartMs = 500;
        emulator_ = std::make_unique<modemsim::ModemEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(&error)) << error;
        emulator_->SetImei(kImei);
    }

    void TearDown() override
    {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        emulator_->Stop();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::vector<std::string> Env(std::vector<std::string> more = {}) const
    {
        more.push_back("TMPDIR=" + root_);
        if (!noRuntimeDir_)
            more.push_back("XDG_RUNTIME_DIR=" + runtime_);
        more.push_back("XDG_CACHE_HOME=" + root_ + "/cache");
        more.push_back("XDG_CONFIG_HOME=" + root_ + "/config");
        more.push_back("SETWELL_UI=headless");
        more.push_back("SETWELL_TIME_SCALE=0.01");
        more.push_back("KESTLE_DEVICE_DIR=" + emulator_->DeviceDir());
        return more;
    }

    pid_t Start(const std::string& program, const std::vector<std::string>& env)
    {
        pid_t pid = childproc::Spawn(program, {}, Env(env), {noRuntimeDir_ ? "XDG_RUNTIME_DIR=" : "SETWELL_"});
        if (pid > 0)
            pids_.push_back(pid);
        return pid;
    }

    int Finish(pid_t pid)
    {
        int code = childproc::WaitExit(pid, 300000);
        pids_.erase(std::remove(pids_.begin(), pids_.end(), pid), pids_.end());
        return code;
    }

    // Runs a driven program to its end; its report lines.
    std::vector<std::string> Drive(const std::string& program, unsigned templateId, const std::string& clicks,
                                   int* exitCode, std::vector<std::string> more = {})
    {
        std::string report = root_ + "/report-" + std::to_string(++reports_) + ".txt";
        more.push_back("TOOL_DRIVER_REPORT=" + report);
        more.push_back("TOOL_DRIVER_TEMPLATE=" + std::to_string(templateId));
        more.push_back("TOOL_DRIVER_CLICKS=" + clicks);
        pid_t pid = Start(program, more);
        EXPECT_GT(pid, 0);
        *exitCode = Finish(pid);
        return Lines(report);
    }

    // The kitting data the emulator accepts: two APNs for its IMEI.
    void WriteKittingData()
    {
        std::ofstream(root_ + "/backupinfo", std::ios::binary) << "backup of the modem";
        std::ofstream(root_ + "/Apn_cfg.ini", std::ios::binary)
            << "[APN_INFO]\r\nDEVICE_IMEI=" << kImei << "\r\nAPN_NUM=2\r\n"
            << "APN_COMMAND1=goformId=APN_PROC_EX&apn_action=save&apn_mode=manual&wan_apn=corp.one&pdp_type=IP\r\n"
            << "APN_COMMAND2=goformId=APN_PROC_EX&apn_action=save&apn_mode=manual&wan_apn=corp.two&pdp_type=IP\r\n";
    }

    // PackageTool's exit code; its messages in *output.
    int Package(const std::vector<std::string>& args, std::string* output = nullptr)
    {
        std::string log = root_ + "/package.log";
        std::string command = kBuild + "/PackageTool";
        for (const std::string& a : args)
            command += " '" + a + "'";
        int status = std::system((command + " >'" + log + "' 2>&1").c_str());
        if (output)
            *output = ReadAll(log);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<std::string> SavedApns() const
    {
        std::vector<std::string> out;
        auto profiles = emulator_->WebApnProfiles();
        for (size_t i = 1; i < profiles.size(); ++i)
            out.push_back(profiles[i].apn);
        return out;
    }

    // Packages the kitting data behind the driven type 5 program; its path.
    std::string PackageKittingTool()
    {
        WriteKittingData();
        const std::string packaged = root_ + "/ApnProvisioning-packaged";
        EXPECT_EQ(Package({"apn", "--program", kBuild + "/driven_ApnProvisioning", root_ + "/backupinfo",
                           root_ + "/Apn_cfg.ini", packaged}),
                  0);
        return packaged;
    }

    // The packaged kitting tool with its dialog up, pressing Write once go
    // exists; -1 when it could not be started.
    pid_t StartWritingCopy(const std::string& packaged, const std::string& report, const std::string& go)
    {
        pid_t pid = Start(packaged, {"TOOL_DRIVER_REPORT=" + report, "TOOL_DRIVER_TEMPLATE=141",
                                     "TOOL_DRIVER_CLICKS=1381!", "TOOL_DRIVER_GO=" + go});
        for (int waited = 0; pid > 0 && waited < 60000 && Lines(report).empty(); waited += 20)
            usleep(20000);
        return pid;
    }

    // Only the single-instance lock files are left in folder.
    void ExpectOnlyLockFilesIn(const std::string& folder)
    {
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().rfind("mutex-", 0), 0u) << entry.path();
    }

    std::string root_, runtime_;
    bool noRuntimeDir_ = false;
    std::unique_ptr<modemsim::ModemEmulator> emulator_;
    std::vector<pid_t> pids_;
    int reports_ = 0;
};

struct ToolType {
    const char* program;
    unsigned templateId;
};

// Every type but 5 and 7 opens its dialog as built; the driven copy of the
// same program says which dialog it found.
TEST_F(ToolPrograms, EveryTypeOpensItsOwnDialog)
{
    const ToolType types[] = {{"DiagPanel", 129},        {"FactoryRestore", 136},       {"CarrierModeSwitch", 138},
                              {"CarrierModemSetting", 137}, {"CarrierModemSetting2", 142}};
    for (const ToolType& t : types) {
        SCOPED_TRACE(t.program);
        ASSERT_TRUE(fs::exists(kBuild + "/" + t.program));
        int code = -1;
        auto report = Drive(kBuild + "/driven_" + t.program, t.templateId, "", &code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(report, (std::vector<std::string>{"dialog " + std::to_string(t.templateId), "closed"}));

        // the program itself stays up with its dialog until closed, then cleans up
        pid_t pid = Start(kBuild + "/" + t.program, {});
        ASSERT_TRUE(childproc::WaitForFileWhileRunning(pid, runtime_ + "/tempPath0/Adatper_cfg.ini", 30000))
            << "ended with " << Finish(pid) << " before releasing its files";
        EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);
        kill(pid, SIGTERM);
        EXPECT_EQ(Finish(pid), 0);
        EXPECT_FALSE(fs::exists(runtime_ + "/tempPath0"));
    }
}

// Without appended files types 5 and 7 say what is missing and end non-zero.
TEST_F(ToolPrograms, UnpackagedTypesFiveAndSevenEndNonZero)
{
    for (const char* program : {"ApnProvisioning", "WimaxSwitch"}) {
        SCOPED_TRACE(program);
        int code = -1;
        auto report = Drive(kBuild + "/driven_" + std::string(program), 0, "", &code,
                            {"TOOL_DRIVER_REFUSAL=1"});
        EXPECT_EQ(code, 1);
        ASSERT_EQ(report.size(), 1u);
        EXPECT_NE(report[0].find("(appended file 1) into " + runtime_ + "/VX530"), std::string::npos) << report[0];
        // nothing left but the lock files of the single-instance names
        for (const auto& entry : fs::directory_iterator(runtime_))
            EXPECT_EQ(entry.path().filename().string().rfind("mutex-", 0), 0u) << entry.path();
    }
}

TEST_F(ToolPrograms, PackagedApnProvisioningWritesTheModem)
{
    const std::string packaged = PackageKittingTool();
    ASSERT_FALSE(HasFailure());
    int code = -1;
    auto report = Drive(packaged, 141, "1381!", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report, (std::vector<std::string>{"dialog 141",
                                                "popup MARL キッティングサポートツール|設定情報の反映に成功しました。",
                                                "closed"}));
    EXPECT_EQ(emulator_->UploadedRestoreFile(), "backup of the modem");
    EXPECT_EQ(SavedApns(), (std::vector<std::string>{"corp.one", "corp.two"}));
    EXPECT_FALSE(fs::exists(runtime_ + "/VX530KittingTool"));
}

TEST_F(ToolPrograms, PackagedWimaxSwitchReadsAndSets)
{
    std::ofstream(root_ + "/config.ini", std::ios::binary) << "[USR_INFO]\r\nUSR_ID=12345\r\n";
    const std::string packaged = root_ + "/WimaxSwitch-packaged";
    ASSERT_EQ(Package({"wimax", "--program", kBuild + "/driven_WimaxSwitch", root_ + "/config.ini", packaged}), 0);
    emulator_->SetWebSetting("wimax2_enable", "off");
    int code = -1;
    // Read, choose ON, Set
    auto report = Drive(packaged, 145, "1386!,1383,1379!", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(report, (std::vector<std::string>{"dialog 145",
                                                "popup 4G LTE ONLY 設定ツール|WiMAX 2+ の状態の取得に成功しました。",
                                                "popup 4G LTE ONLY 設定ツール|WiMAX 2+ の状態の設定に成功しました。",
                                                "closed"}));
    EXPECT_EQ(emulator_->WebSetting("wimax2_enable"), "on");
    EXPECT_FALSE(fs::exists(runtime_ + "/VX530WimaxTool"));
}

// A second copy is refused without touching the first copy's released files,
// and the first copy's Write still succeeds.
TEST_F(ToolPrograms, SecondPackagedCopyLeavesTheFirstCopysFolder)
{
    const std::string packaged = PackageKittingTool();
    ASSERT_FALSE(HasFailure());
    const std::string go = root_ + "/go";
    const std::string firstReport = root_ + "/first.txt";
    pid_t first = StartWritingCopy(packaged, firstReport, go);
    ASSERT_GT(first, 0);
    ASSERT_EQ(Lines(firstReport), std::vector<std::string>{"dialog 141"});
    const std::string folder = runtime_ + "/VX530KittingTool";
    const std::string apnConfig = ReadAll(folder + "/Apn_cfg.ini");
    ASSERT_FALSE(apnConfig.empty());

    int code = -1;
    auto refusal = Drive(packaged, 0, "", &code, {"TOOL_DRIVER_REFUSAL=1"});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(refusal, (std::vector<std::string>{"popup MARL キッティングサポートツール|"
                                                 "このプログラムは既に起動中です。"}));
    EXPECT_EQ(ReadAll(folder + "/Apn_cfg.ini"), apnConfig);
    EXPECT_EQ(ReadAll(folder + "/backupinfo"), "backup of the modem");

    std::ofstream(go) << "go";
    EXPECT_EQ(Finish(first), 0);
    EXPECT_EQ(Lines(firstReport), (std::vector<std::string>{"dialog 141",
                                                            "popup MARL キッティングサポートツール|"
                                                            "設定情報の反映に成功しました。",
                                                            "closed"}));
    EXPECT_EQ(SavedApns(), (std::vector<std::string>{"corp.one", "corp.two"}));
}

// Two copies started together, as by a double-click: one runs, the other is
// refused, and the refused copy never touches the running copy's tool folder.
TEST_F(ToolPrograms, PackagedCopiesStartedTogetherLoseNoFile)
{
    const std::string packaged = PackageKittingTool();
    ASSERT_FALSE(HasFailure());
    const std::string folder = runtime_ + "/VX530KittingTool";
    const std::string refusal = "popup MARL キッティングサポートツール|このプログラムは既に起動中です。";
    const std::map<std::string, std::string> released = {
        {"backupinfo", ReadAll(root_ + "/backupinfo")},
        {"Apn_cfg.ini", ReadAll(root_ + "/Apn_cfg.ini")},
        {"KestlePortServer.dll", ReadAll(kBuild + "/libKestlePortServer.so")},
        {"Pennant.exe", ReadAll(kBuild + "/driven_ApnProvisioning")}};
    constexpr int kRoundsEach = 6;
    for (int round = 0; round < 2 * kRoundsEach; ++round) {
        const int apartMs = round < kRoundsEach ? 0 : 100;
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(apartMs) + " ms apart");
        const std::string go = root_ + "/go-" + std::to_string(round);
        std::string reports[2];
        pid_t pids[2];
        for (int k = 0; k < 2; ++k) {
            reports[k] = root_ + "/race-" + std::to_string(round) + "-" + std::to_string(k) + ".txt";
            if (k == 1 && apartMs)
                usleep(apartMs * 1000);
            pids[k] = Start(packaged, {"TOOL_DRIVER_REPORT=" + reports[k], "TOOL_DRIVER_TEMPLATE=141",
                                       "TOOL_DRIVER_EITHER=1", "TOOL_DRIVER_GO=" + go});
            ASSERT_GT(pids[k], 0);
        }
        for (int waited = 0; waited < 60000 && (Lines(reports[0]).empty() || Lines(reports[1]).empty());
             waited += 20)
            usleep(20000);
        const int running = Lines(reports[0]) == std::vector<std::string>{"dialog 141"} ? 0 : 1;
        const int refused = 1 - running;
        ASSERT_EQ(Lines(reports[running]), std::vector<std::string>{"dialog 141"});
        ASSERT_EQ(Lines(reports[refused]), std::vector<std::string>{refusal});
        EXPECT_EQ(Finish(pids[refused]), 0);

        for (const auto& [name, bytes] : released)
            EXPECT_TRUE(ReadAll(folder + "/" + name) == bytes) << name;
        std::ofstream(go) << "go";
        EXPECT_EQ(Finish(pids[running]), 0);
        EXPECT_EQ(Lines(reports[running]), (std::vector<std::string>{"dialog 141", "closed"}));
        EXPECT_FALSE(fs::exists(folder));
        for (const auto& entry : fs::directory_iterator(runtime_))
            EXPECT_EQ(entry.path().filename().string().rfind("mutex-", 0), 0u) << entry.path();
    }
}

// A close signal ends the program as its close box would, whatever it waits
// for: its own status, no folder left, the running copy's files untouched.
TEST_F(ToolPrograms, CloseSignalEndsEveryWaitWithItsStatusAndNoFolder)
{
    const std::string packaged = PackageKittingTool();
    const std::string folder = runtime_ + "/VX530KittingTool";
    const std::string apnConfig = ReadAll(root_ + "/Apn_cfg.ini");

    // at the start-up failure message of a program that carries no files
    pid_t failing = Start(kBuild + "/ApnProvisioning", {});
    ASSERT_GT(failing, 0);
    ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath0/Adatper_cfg.ini", 60000));
    kill(failing, SIGTERM);
    EXPECT_EQ(Finish(failing), 1);
    ExpectOnlyLockFilesIn(runtime_);

    // at the refusal box of a second copy, beside the running one
    pid_t first = Start(packaged, {});
    ASSERT_GT(first, 0);
    ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath0/lan_jap_cfg.ini", 60000));
    pid_t second = Start(packaged, {});
    ASSERT_GT(second, 0);
    // its language file comes before its refusal, which needs its texts
    ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath1/lan_jap_cfg.ini", 60000));
    kill(second, SIGTERM);
    EXPECT_EQ(Finish(second), 0);
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath1"));
    EXPECT_EQ(ReadAll(folder + "/Apn_cfg.ini"), apnConfig);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
    kill(first, SIGTERM);
    EXPECT_EQ(Finish(first), 0);
    ExpectOnlyLockFilesIn(runtime_);

    // while a worker runs (the modem takes its time over the first APN), and
    // then at its result box, which nobody answers
    modemsim::Fault slow;
    slow.kind = modemsim::FaultKind::Slow;
    slow.delayMs = 300000;  // seconds of real time at the tests' clock scale
    emulator_->InjectHttpFault("APN_PROC_EX", slow);
    const std::string report = root_ + "/worker.txt";
    pid_t working = Start(packaged, {"TOOL_DRIVER_REPORT=" + report, "TOOL_DRIVER_TEMPLATE=141",
                                     "TOOL_DRIVER_CLICKS=1381!", "TOOL_DRIVER_STAY=1"});
    ASSERT_GT(working, 0);
    for (int waited = 0; waited < 60000 && emulator_->UploadedRestoreFile().empty(); waited += 20)
        usleep(20000);
    ASSERT_EQ(emulator_->UploadedRestoreFile(), "backup of the modem");
    // the modem has not answered yet: the worker still waits for it
    EXPECT_TRUE(SavedApns().empty());
    kill(working, SIGTERM);
    EXPECT_EQ(Finish(working), 0);
    ExpectOnlyLockFilesIn(runtime_);
    EXPECT_EQ(Lines(report), std::vector<std::string>{"dialog 141"});
}

// The signals a desktop sends when its terminal closes or the user logs out
// take the same close path: at a main window and at a box over it.
TEST_F(ToolPrograms, HangupAndQuitEndLikeTheCloseBox)
{
    const std::string packaged = PackageKittingTool();
    ASSERT_FALSE(HasFailure());
    for (int sig : {SIGHUP, SIGQUIT}) {
        // the last file each writes before its dialog or its refusal box
        const std::pair<std::string, const char*> programs[] = {{kBuild + "/Setwell", "Adatper_cfg.ini"},
                                                                {packaged, "lan_jap_cfg.ini"}};
        for (const auto& [program, lastFile] : programs) {
            SCOPED_TRACE(program + " signal " + std::to_string(sig));
            pid_t first = Start(program, {});
            ASSERT_GT(first, 0);
            ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath0/lan_jap_cfg.ini", 60000));
            pid_t second = Start(program, {});
            ASSERT_GT(second, 0);
            ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath1/" + lastFile, 60000));
            kill(second, sig);
            EXPECT_EQ(Finish(second), 0);
            EXPECT_FALSE(fs::exists(runtime_ + "/tempPath1"));
            EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0);
            kill(first, sig);
            EXPECT_EQ(Finish(first), 0);
            ExpectOnlyLockFilesIn(runtime_);
        }
    }
}

// A FIFO or a link to a device planted at a file the start-up writes and reads
// again, in a reused working folder, never holds the start: the program goes
// on or says what failed.
TEST_F(ToolPrograms, FifoOrDeviceAtAStartUpFileNeverHoldsTheStart)
{
    struct Case {
        const char* file;
        bool fifo;
        bool opens;  // the tool comes up; else the start fails with a box
    };
    const Case cases[] = {{"Adatper_cfg.ini", true, false},
                          {"Adatper_cfg.ini", false, false},
                          {"lan_jap_cfg.ini", true, true},
                          {"lan_jap_cfg.ini", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.fifo ? " as a FIFO" : " as a link to /dev/zero"));
        // every number taken by folders of no live run: 99 is reused
        for (int n = 0; n <= 99; ++n)
            ASSERT_EQ(mkdir((runtime_ + "/tempPath" + std::to_string(n)).c_str(), 0700), 0);
        const std::string planted = runtime_ + "/tempPath99/" + c.file;
        if (c.fifo)
            ASSERT_EQ(mkfifo(planted.c_str(), 0600), 0);
        else
            ASSERT_EQ(symlink("/dev/zero", planted.c_str()), 0);
        int code = -1;
        auto report = c.opens ? Drive(kBuild + "/driven_DiagPanel", 129, "", &code)
                              : Drive(kBuild + "/driven_DiagPanel", 0, "", &code, {"TOOL_DRIVER_REFUSAL=1"});
        if (c.opens) {
            EXPECT_EQ(code, 0);
            EXPECT_EQ(report, (std::vector<std::string>{"dialog 129", "closed"}));
        } else {
            EXPECT_EQ(code, 1);
            ASSERT_EQ(report.size(), 1u);
            EXPECT_NE(report[0].find(c.file), std::string::npos) << report[0];
        }
        EXPECT_FALSE(fs::exists(runtime_ + "/tempPath99"));
        for (int n = 0; n <= 99; ++n)
            fs::remove_all(runtime_ + "/tempPath" + std::to_string(n));
    }

    // the same in the tool folder that the packaged type 5 releases its files into
    const std::string packaged = PackageKittingTool();
    ASSERT_FALSE(HasFailure());
    // the boxes the failed release shows: the release's own, and for a data
    // file the program copy's that follows it
    const std::pair<const char*, int> files[] = {{"Pennant.exe", 1}, {"Apn_cfg.ini", 2}, {"backupinfo", 2}};
    for (const auto& [file, boxes] : files) {
        for (bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(file) + (fifo ? " as a FIFO" : " as a link to /dev/zero"));
            const std::string folder = runtime_ + "/VX530KittingTool";
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            const std::string planted = folder + "/" + file;
            if (fifo)
                ASSERT_EQ(mkfifo(planted.c_str(), 0600), 0);
            else
                ASSERT_EQ(symlink("/dev/zero", planted.c_str()), 0);
            int code = -1;
            auto report = Drive(packaged, 0, "", &code, {"TOOL_DRIVER_REFUSAL=" + std::to_string(boxes)});
            EXPECT_EQ(code, 1);
            ASSERT_EQ(report.size(), static_cast<size_t>(boxes));
            for (const std::string& line : report)
                EXPECT_EQ(line.rfind("popup ", 0), 0u) << line;
            ExpectOnlyLockFilesIn(runtime_);
            fs::remove_all(folder);
        }
    }
}

// The folder of a run that was killed goes at the next start, which takes its
// number again; a live copy's folder stays as it is.
TEST_F(ToolPrograms, KilledRunsFolderIsRemovedAtTheNextStartALiveCopysStays)
{
    pid_t live = Start(kBuild + "/DiagPanel", {});
    ASSERT_GT(live, 0);
    ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath0/Adatper_cfg.ini", 60000));
    std::ofstream(runtime_ + "/tempPath0/live.txt") << "live";
    pid_t killed = Start(kBuild + "/FactoryRestore", {});
    ASSERT_GT(killed, 0);
    ASSERT_TRUE(childproc::WaitForFile(runtime_ + "/tempPath1/Adatper_cfg.ini", 60000));
    std::ofstream(runtime_ + "/tempPath1/left.txt") << "left";
    kill(killed, SIGKILL);
    EXPECT_EQ(Finish(killed), -1);
    ASSERT_TRUE(fs::exists(runtime_ + "/tempPath1/left.txt"));

    pid_t next = Start(kBuild + "/CarrierModeSwitch", {});
    ASSERT_GT(next, 0);
    for (int waited = 0; waited < 60000 && (fs::exists(runtime_ + "/tempPath1/left.txt") ||
                                            !fs::exists(runtime_ + "/tempPath1/Adatper_cfg.ini"));
         waited += 20)
        usleep(20000);
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath1/left.txt"));
    EXPECT_TRUE(fs::exists(runtime_ + "/tempPath1/Adatper_cfg.ini"));
    EXPECT_FALSE(fs::exists(runtime_ + "/tempPath2"));
    EXPECT_EQ(ReadAll(runtime_ + "/tempPath0/live.txt"), "live");

    for (pid_t pid : {next, live}) {
        kill(pid, SIGTERM);
        EXPECT_EQ(Finish(pid), 0);
    }
    ExpectOnlyLockFilesIn(runtime_);
}

// Without a runtime folder, the per-user base in the temp folder taken by
// someone else (here: a folder others can enter) stops no start; the copies
// still exclude each other.
TEST_F(ToolPrograms, AForeignBaseInTheTempFolderStillStartsOneCopy)
{
    noRuntimeDir_ = true;
    const std::string foreign = root_ + "/modem-service-tools-" + std::to_string(getuid());
    ASSERT_EQ(mkdir(foreign.c_str(), 0755), 0);
    ASSERT_EQ(chmod(foreign.c_str(), 0755), 0);
    const std::string packaged = PackageKittingTool();
    const std::string go = root_ + "/go";
    const std::string firstReport = root_ + "/first.txt";
    pid_t first = StartWritingCopy(packaged, firstReport, go);
    ASSERT_GT(first, 0);
    ASSERT_EQ(Lines(firstReport), std::vector<std::string>{"dialog 141"});
    // its folders are in a fresh private folder of its own
    std::vector<std::string> fresh;
    for (const auto& entry : fs::directory_iterator(root_))
        if (entry.path().string().rfind(foreign + "-", 0) == 0)
            fresh.push_back(entry.path().string());
    ASSERT_EQ(fresh.size(), 1u);
    struct stat st {};
    ASSERT_EQ(lstat(fresh[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadAll(fresh[0] + "/VX530KittingTool/backupinfo"), "backup of the modem");
    EXPECT_TRUE(fs::exists(fresh[0] + "/tempPath0/Adatper_cfg.ini"));

    int code = -1;
    auto refusal = Drive(packaged, 0, "", &code, {"TOOL_DRIVER_REFUSAL=1"});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(refusal, (std::vector<std::string>{"popup MARL キッティングサポートツール|"
                                                 "このプログラムは既に起動中です。"}));
    EXPECT_EQ(ReadAll(fresh[0] + "/VX530KittingTool/backupinfo"), "backup of the modem");

    std::ofstream(go) << "go";
    EXPECT_EQ(Finish(first), 0);
    EXPECT_EQ(SavedApns(), (std::vector<std::string>{"corp.one", "corp.two"}));
    // nothing of either copy is left; the foreign folder is not touched
    for (const auto& entry : fs::directory_iterator(root_))
        EXPECT_NE(entry.path().string().rfind(foreign + "-", 0), 0u) << entry.path();
    EXPECT_TRUE(fs::is_empty(foreign));
}

// Data files the tool would reject are refused with the reason; nothing is written.
TEST_F(ToolPrograms, PackageToolRefusesWhatTheToolWouldReject)
{
    struct Case {
        const char* name;
        std::string apnConfig;
        const char* message;
    };
    const std::string head = std::string("[APN_INFO]\r\nDEVICE_IMEI=") + kImei + "\r\n";
    const Case cases[] = {
        {"no DEVICE_IMEI", "[APN_INFO]\r\nAPN_NUM=1\r\nAPN_COMMAND1=x\r\n", "DEVICE_IMEI is missing"},
        {"no APN_NUM", head + "APN_COMMAND1=x\r\n", "APN_NUM is missing or less than 1"},
        {"last command missing", head + "APN_NUM=2\r\nAPN_COMMAND1=x\r\n", "APN_COMMAND2 is missing (APN_NUM is 2)"},
        {"command over its room", head + "APN_NUM=1\r\nAPN_COMMAND1=" + std::string(10240, 'a') + "\r\n",
         "APN_COMMAND1 is longer than 10239 bytes"},
        {"unknown PDP type", head + "APN_NUM=1\r\nAPN_COMMAND1=x\r\nCONFIG1_PDP_TYPE=IPv4v6\r\n",
         "CONFIG1_PDP_TYPE \"IPv4v6\" is not IPv4, IPv6 or IPv4&IPv6"},
    };
    std::ofstream(root_ + "/backupinfo", std::ios::binary) << "backup";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(root_ + "/Apn_cfg.ini", std::ios::binary) << c.apnConfig;
        std::string output;
        EXPECT_EQ(Package({"apn", root_ + "/backupinfo", root_ + "/Apn_cfg.ini", root_ + "/out"}, &output), 1);
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        EXPECT_FALSE(fs::exists(root_ + "/out"));
    }
    // a valid file followed by 100 MB of lines: refused for its size
    std::ofstream(root_ + "/Apn_cfg.ini", std::ios::binary) << head << "APN_NUM=1\r\nAPN_COMMAND1=x\r\n";
    ASSERT_EQ(truncate((root_ + "/Apn_cfg.ini").c_str(), 100 * 1024 * 1024), 0);
    std::string output;
    EXPECT_EQ(Package({"apn", root_ + "/backupinfo", root_ + "/Apn_cfg.ini", root_ + "/out"}, &output), 1);
    EXPECT_NE(output.find("Apn_cfg.ini: the file is larger than 262143 bytes"), std::string::npos) << output;
    EXPECT_EQ(output.find("is missing"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(root_ + "/out"));
    std::ofstream(root_ + "/empty", std::ios::binary);
    EXPECT_EQ(Package({"apn", root_ + "/empty", root_ + "/Apn_cfg.ini", root_ + "/out"}, &output), 1);
    EXPECT_NE(output.find("is empty"), std::string::npos) << output;
    EXPECT_EQ(Package({"wimax", root_ + "/empty", root_ + "/out"}, &output), 1);
    EXPECT_NE(output.find("config.ini"), std::string::npos) << output;
    EXPECT_EQ(Package({"apn", root_ + "/out"}, &output), 2);
    EXPECT_NE(output.find("usage: PackageTool apn"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(root_ + "/out"));
}

}  // namespace
