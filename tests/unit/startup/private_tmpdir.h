#pragma once
// A private temporary folder that stands in as TMPDIR while a test runs, with
// no runtime folder, so that the program's private base is base_ in it.
#include "platform/win/folders.h"
#include "platform/win/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class PrivateTmpdir : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = std::getenv("TMPDIR");
        if (tmp)
            saved_ = tmp, hadTmpdir_ = true;
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/startup_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        // a folder beside the temp folder, for link targets that must survive
        outside_ = root_ + "/outside";
        tmp_ = root_ + "/tmp";
        ASSERT_EQ(mkdir(outside_.c_str(), 0700), 0);
        ASSERT_EQ(mkdir(tmp_.c_str(), 0700), 0);
        setenv("TMPDIR", tmp_.c_str(), 1);
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime)
            savedRuntime_ = runtime, hadRuntime_ = true;
        unsetenv("XDG_RUNTIME_DIR");
        base_ = tmp_ + "/modem-service-tools-" + std::to_string(getuid());
        ASSERT_EQ(mkdir(base_.c_str(), 0700), 0);
    }
    void TearDown() override
    {
        if (hadTmpdir_)
            setenv("TMPDIR", saved_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        if (hadRuntime_)
            setenv("XDG_RUNTIME_DIR", savedRuntime_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        RemoveTreeNoFollow(Utf8ToWide(root_));
    }

    static void WriteFile(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static bool Exists(const std::string& path)
    {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }

    std::string root_, tmp_, outside_;
    std::string base_;  // the private base the program uses under tmp_

private:
    std::string saved_, savedRuntime_;
    bool hadTmpdir_ = false, hadRuntime_ = false;
};
