// The emulator's device folder: listing file, backend choice and the CD-drive socket.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/portlib/KestlePortServer.h"
#include "tests/unit/portlib/portlib_test_util.h"

using namespace portlib_test;

namespace {

std::vector<std::string> List(int room = 16)
{
    std::vector<char[KESTLE_ENTRY_SIZE]> entries(static_cast<size_t>(room));
    for (auto& e : entries)
        std::memset(e, 'x', KESTLE_ENTRY_SIZE);
    int count = room;
    EXPECT_EQ(0, KestleEnumDeviceProperty(entries.data(), &count));
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        const char* e = entries[static_cast<size_t>(i)];
        EXPECT_NE(nullptr, std::memchr(e, 0, KESTLE_ENTRY_SIZE));
        out.emplace_back(e);
    }
    return out;
}

TEST(DeviceFolderListing, EntriesComeFromTheListingFile)
{
    DeviceFolder folder;
    const std::vector<std::string> modem = {
        "Kestle Diagnostics Interface (COM5) USB\\VID_ABCD&PID_0125&MI_00",
        "Kestle USB nmea Interface (COM6) USB\\VID_ABCD&PID_0125&MI_01",
        "Kestle USB Modem (COM7) USB\\VID_ABCD&PID_0125&MI_02",
    };
    folder.SetListing(modem);
    EXPECT_EQ(modem, List());
    EXPECT_EQ(std::vector<std::string>(modem.begin(), modem.begin() + 2), List(2));

    // read again on every call: the device switched mode
    const std::vector<std::string> net = {"Windows Mobile-based Internet Sharing Device usb_rndisx USB\\VID_ABCD&PID_0126&MI_00"};
    folder.SetListing(net);
    EXPECT_EQ(net, List());
}

TEST(DeviceFolderListing, LinesAreCleanedAndCut)
{
    DeviceFolder folder;
    TempDir scratch;
    const std::string longLine(300, 'L');
    std::string text = "first\r\n\n" + longLine + "\nlast";  // no final line end
    {
        FILE* f = std::fopen((folder.Path() + "/listing").c_str(), "w");
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    const std::vector<std::string> expected = {"first", std::string(255, 'L'), "last"};
    EXPECT_EQ(expected, List());
}

TEST(DeviceFolderListing, MissingOrEmptyListingMeansNothingAttached)
{
    DeviceFolder folder;
    EXPECT_TRUE(List().empty());
    folder.SetListing({});
    EXPECT_TRUE(List().empty());
}

TEST(DeviceFolderListing, AFolderThatIsNotThereFallsBackToSysfs)
{
    EnvGuard dir("KESTLE_DEVICE_DIR", "/nonexistent/portlib-device-folder");
    EnvGuard root("KESTLE_SYSFS_ROOT", TEST_FIXTURES_DIR "/sysfs/netcard");
    EXPECT_EQ(2u, List().size());
}

// The emulator's CD-drive socket: answers each command line with reply.
class CdromSocket {
public:
    CdromSocket(const std::string& path, std::string reply) : reply_(std::move(reply))
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        EXPECT_EQ(0, ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        EXPECT_EQ(0, ::listen(fd_, 4));
        thread_ = std::thread([this] { Run(); });
    }
    ~CdromSocket()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

private:
    void Run()
    {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            const int c = ::accept(fd_, nullptr, nullptr);
            std::string line;
            char ch;
            while (::recv(c, &ch, 1, 0) == 1 && ch != '\n')
                line += ch;
            {
                std::lock_guard<std::mutex> guard(lock_);
                lines_.push_back(line);
            }
            if (!reply_.empty())
                ::send(c, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            ::close(c);
        }
    }
    int fd_ = -1;
    std::string reply_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::string> lines_;
    std::thread thread_;
};

TEST(DeviceFolderCdrom, CommandGoesToTheSocket)
{
    struct Case {
        const char* reply;
        bool ok;
    };
    for (const Case& c : {Case{"0\n", true}, Case{"1\n", false}, Case{"refused\n", false}, Case{"", false}}) {
        DeviceFolder folder;
        CdromSocket socket(folder.Path() + "/cdrom", c.reply);
        const int rc = KestleSendCmdByCDLogicDrive("ABCD", "0125", "99000000000000000000");
        EXPECT_EQ(c.ok, rc == 0) << c.reply;
        EXPECT_EQ(std::vector<std::string>{"ABCD 0125 99000000000000000000"}, socket.Lines());
        // texts that would break the line are refused before sending
        EXPECT_NE(0, KestleSendCmdByCDLogicDrive("AB\nCD", "0125", "99000000000000000000"));
        EXPECT_EQ(1u, socket.Lines().size());
    }
}

TEST(DeviceFolderCdrom, NoSocketFails)
{
    DeviceFolder folder;
    EXPECT_NE(0, KestleSendCmdByCDLogicDrive("ABCD", "0125", "99000000000000000000"));
}

}  // namespace
