// Runs the test program under umockdev's preload, so that libudev and the
// device nodes see the testbeds the tests build instead of the machine's.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (!std::getenv("HWTEST_UNDER_UMOCKDEV")) {
        setenv("HWTEST_UNDER_UMOCKDEV", "1", 1);
        const char* preload = std::getenv("LD_PRELOAD");
        std::string value = "libumockdev-preload.so.0";
        if (preload && *preload)
            value += std::string(":") + preload;
        setenv("LD_PRELOAD", value.c_str(), 1);
        // a sanitizer runtime is no longer first in line behind a preload
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan && *asan ? std::string(asan) + ":" : "") +
                                "verify_asan_link_order=0").c_str(), 1);
        execv("/proc/self/exe", argv);
        std::perror("re-running under the umockdev preload");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
