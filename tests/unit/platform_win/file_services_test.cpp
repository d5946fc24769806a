#include "platform/win/code_page.h"
#include "platform/win/data_file.h"
#include "platform/win/folders.h"
#include "platform/win/own_program_file.h"
#include "platform/win/temp_folder.h"
#include "tests/unit/startup/private_tmpdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(TempFolder, FromTmpdirElseTmp)
{
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/var/tmp/x", 1);
    EXPECT_EQ(GetTempFolderPath(), L"/var/tmp/x/");
    setenv("TMPDIR", "/var/tmp/y/", 1);
    EXPECT_EQ(GetTempFolderPath(), L"/var/tmp/y/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(GetTempFolderPath(), L"/tmp/");
    // relative to the current folder, which two copies need not share
    for (const char* relative : {"tmp", "./tmp", "../tmp/"}) {
        setenv("TMPDIR", relative, 1);
        EXPECT_EQ(GetTempFolderPath(), L"/tmp/") << relative;
    }
    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempFolderPath(), L"/tmp/");
    if (saved)
        setenv("TMPDIR", keep.c_str(), 1);
}

TEST(OwnProgramFile, IsTheRunningTest)
{
    std::wstring self = GetOwnProgramFile();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.substr(self.rfind(L'/')), L"/unit_platform_win");
}

class PrivateFolders : public PrivateTmpdir {
protected:
    std::wstring W(const std::string& name) const { return Utf8ToWide(dir_ + "/" + name); }
    const std::string& dir_ = tmp_;
};

TEST_F(PrivateFolders, MadeWith0700WhateverTheUmask)
{
    mode_t old = umask(0);
    EXPECT_TRUE(MakePrivateFolder(W("a")));
    umask(old);
    struct stat st;
    ASSERT_EQ(lstat((dir_ + "/a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(MakePrivateFolder(W("a"))); // exists already
    EXPECT_FALSE(MakePrivateFolder(W("missing/b"))); // no parents made
}

TEST_F(PrivateFolders, WhatCountsAsPrivate)
{
    ASSERT_EQ(mkdir((dir_ + "/own").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ + "/open").c_str(), 0700), 0);
    ASSERT_EQ(chmod((dir_ + "/open").c_str(), 0770), 0);
    ASSERT_EQ(symlink((dir_ + "/own").c_str(), (dir_ + "/link").c_str()), 0);
    int fd = open((dir_ + "/file").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    struct {
        const char* name;
        bool isPrivate;
    } cases[] = {{"own", true}, {"own/", true}, {"open", false}, {"link", false}, {"file", false}, {"none", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsPrivateFolder(W(c.name)), c.isPrivate);
    }
    if (geteuid() == 0) {
        ASSERT_EQ(chown((dir_ + "/own").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(IsPrivateFolder(W("own")));
    }
}

TEST_F(PrivateFolders, FilesAreNotWrittenThroughSymlinks)
{
    int fd = open((dir_ + "/target").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "keep", 4));
    close(fd);
    ASSERT_EQ(symlink((dir_ + "/target").c_str(), (dir_ + "/link").c_str()), 0);
    EXPECT_LT(CreateFileNoFollow(W("link"), false), 0);
    EXPECT_FALSE(CopyFileReplacing(W("target"), W("link")));

    EXPECT_TRUE(CopyFileReplacing(W("target"), W("copy")));
    struct stat st;
    ASSERT_EQ(stat((dir_ + "/copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((dir_ + "/target").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4);
    EXPECT_FALSE(CopyFileReplacing(W("none"), W("copy2")));
    EXPECT_FALSE(FileEntryExists(W("copy2")));
}

// Whatever stands at a data file's name, the read ends at once with a verdict.
TEST_F(PrivateFolders, DataFilesAreReadOnlyWhenRegularAndWithinTheBound)
{
    WriteFile(dir_ + "/small", "abc");
    WriteFile(dir_ + "/big", std::string(5000, 'x'));
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir_ + "/zero").c_str()), 0);
    ASSERT_EQ(symlink((dir_ + "/fifo").c_str(), (dir_ + "/fifolink").c_str()), 0);
    ASSERT_EQ(symlink((dir_ + "/small").c_str(), (dir_ + "/smalllink").c_str()), 0);
    ASSERT_EQ(mkdir((dir_ + "/dir").c_str(), 0700), 0);
    struct {
        const char* name;
        DataFileRead result;
        const char* bytes;
    } cases[] = {
        {"small", DataFileRead::Ok, "abc"},
        {"smalllink", DataFileRead::Ok, "abc"},
        {"big", DataFileRead::TooLarge, ""},
        {"fifo", DataFileRead::NotRegular, ""},
        {"fifolink", DataFileRead::NotRegular, ""},
        {"zero", DataFileRead::NotRegular, ""},
        {"dir", DataFileRead::NotRegular, ""},
        {"none", DataFileRead::Missing, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = "left over";
        EXPECT_EQ(ReadDataFile(dir_ + "/" + c.name, 4096, &bytes), c.result);
        EXPECT_EQ(bytes, c.bytes);
    }
    std::string bytes;
    EXPECT_EQ(ReadDataFile(dir_ + "/big", 5000, &bytes), DataFileRead::Ok);
    EXPECT_EQ(bytes.size(), 5000u);
}

} // namespace
