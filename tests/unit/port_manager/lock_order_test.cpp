// OpenATPort on one thread while another holds the device lock and uses the
// same port manager (as the VX520 dialog does): one lock order, no deadlock.
#include "device/device_lock.h"
#include "device/port_manager.h"
#include "../port_scanner/listing_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

TEST(PortManagerLocks, OpenAtPortBesideAHolderOfTheDeviceLockNeverDeadlocks)
{
    // the race runs in a child so that a deadlock fails the test instead of hanging it
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ListingDir dir;
        dir.Write({"USB nmea UI AT Interface (COM6) option USB\\VID_ABCD&PID_0125&MI_01"});
        CMarlPortManager manager;
        std::thread opener([&] {
            for (int i = 0; i < 40; ++i)
                manager.OpenATPort();
        });
        for (int i = 0; i < 40; ++i) {
            std::lock_guard<std::recursive_mutex> hold(DeviceOperationLock());
            int port = 0;
            if (manager.FindATPortNumber(&port) == 0)
                manager.OpenATPort();
        }
        opener.join();
        ::_exit(0);
    }
    int status = 0;
    pid_t done = 0;
    for (int waited = 0; waited < 1200 && (done = ::waitpid(child, &status, WNOHANG)) == 0; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "deadlock: OpenATPort and the device lock holder waited for each other";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
