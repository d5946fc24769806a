#include "app/released_files.h"
#include "app/tally_kit_app.h"
#include "platform/win/debug_output.h"
#include "platform/win/own_resources.h"
#include "private_tmpdir.h"

#include <fcntl.h>
#include <functional>
#include <vector>

namespace {

struct Entry {
    uint32_t start;
    uint32_t length;
};

// A program image with files appended behind it and the trailer of their
// entries at the end (entry 1 in the last 8 bytes).
struct ProgramFile {
    std::string image = "\x7f" "ELF program image";
    std::vector<std::string> files;
    std::vector<Entry> entries;

    explicit ProgramFile(std::vector<std::string> contents) : files(std::move(contents))
    {
        uint32_t offset = static_cast<uint32_t>(image.size());
        for (const std::string& f : files) {
            entries.push_back({offset + 1, static_cast<uint32_t>(f.size())});
            offset += static_cast<uint32_t>(f.size());
        }
    }
    size_t Size() const
    {
        size_t n = image.size() + 8 * entries.size();
        for (const std::string& f : files)
            n += f.size();
        return n;
    }
    std::string Bytes() const
    {
        std::string out = image;
        for (const std::string& f : files)
            out += f;
        for (size_t k = entries.size(); k-- > 0;)
            for (uint32_t v : {entries[k].start, entries[k].length})
                for (int b = 0; b < 4; ++b)
                    out += static_cast<char>((v >> (8 * b)) & 0xFF);
        return out;
    }
};

class ReleasedFiles : public PrivateTmpdir {
protected:
    void SetUp() override
    {
        PrivateTmpdir::SetUp();
        folder_ = base_ + "/VX530KittingTool";
        ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
        SetStartupMessageSink([this](const std::wstring& text) { messages_.push_back(WideToUtf8(text)); });
    }
    void TearDown() override
    {
        SetStartupMessageSink(nullptr);
        PrivateTmpdir::TearDown();
    }
    BOOL Release(const ProgramFile& program, const std::vector<std::wstring>& names = kKittingToolFiles)
    {
        WriteFile(root_ + "/program", program.Bytes());
        return ReleaseAppendedFiles(Utf8ToWide(root_ + "/program"), Utf8ToWide(folder_), names);
    }

    std::string folder_;
    std::vector<std::string> messages_;
};

const std::vector<std::string> kContents = {"backup bytes", "[APN_INFO]\r\nX=1\r\n", "port library", "threads",
                                            "sibling program"};

TEST_F(ReleasedFiles, EntryNamesOfTheTwoTools)
{
    EXPECT_EQ(kKittingToolFiles, (std::vector<std::wstring>{L"backupinfo", L"Apn_cfg.ini", L"KestlePortServer.dll",
                                                             L"pthreadVC2.dll", L"Pennant.exe"}));
    EXPECT_EQ(kWimaxToolFiles,
              (std::vector<std::wstring>{L"config.ini", L"KestlePortServer.dll", L"pthreadVC2.dll", L"Pennant.exe"}));
}

TEST_F(ReleasedFiles, EveryEntryWrittenAndTheCopyReplacedLast)
{
    DebugCapture capture;
    ProgramFile program(kContents);
    EXPECT_TRUE(Release(program));
    for (size_t k = 0; k < kContents.size(); ++k) {
        SCOPED_TRACE(k + 1);
        EXPECT_EQ(ReadFile(folder_ + "/" + WideToUtf8(kKittingToolFiles[k])), kContents[k]);
    }
    EXPECT_EQ(capture.Count("Start ReleaseFilesFromExeFile"), 1u);
    EXPECT_TRUE(messages_.empty());

    ProgramFile wimax({"[USR_INFO]\r\n", "lib", "threads", "sibling"});
    EXPECT_TRUE(Release(wimax, kWimaxToolFiles));
    EXPECT_EQ(ReadFile(folder_ + "/config.ini"), "[USR_INFO]\r\n");
    EXPECT_EQ(ReadFile(folder_ + "/Pennant.exe"), "sibling");
}

TEST_F(ReleasedFiles, BadEntryStopsTheRelease)
{
    struct {
        const char* what;
        std::function<void(ProgramFile&)> spoil;
        size_t written; // entries that reach the folder before the stop
    } cases[] = {
        {"length 0 at entry 3", [](ProgramFile& p) { p.entries[2].length = 0; }, 2},
        {"start 0 at entry 2 (positions count from 1)", [](ProgramFile& p) { p.entries[1].start = 0; }, 1},
        {"start behind the end at entry 2", [](ProgramFile& p) { p.entries[1].start = 100000; }, 1},
        {"one byte past the end at entry 4",
         [](ProgramFile& p) { p.entries[3].length = static_cast<uint32_t>(p.Size() - p.entries[3].start + 2); }, 3},
        {"huge length at entry 1", [](ProgramFile& p) { p.entries[0].length = 0xFFFFFFFFu; }, 0},
        {"start and length wrapping around at entry 1",
         [](ProgramFile& p) { p.entries[0] = {0xFFFFFFF0u, 0x20u}; }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTreeNoFollow(Utf8ToWide(folder_));
        ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
        ProgramFile program(kContents);
        c.spoil(program);
        EXPECT_FALSE(Release(program));
        for (size_t k = 0; k + 1 < kKittingToolFiles.size(); ++k)
            EXPECT_EQ(Exists(folder_ + "/" + WideToUtf8(kKittingToolFiles[k])), k < c.written) << "entry " << k + 1;
        // the copy of the program stays as it was copied
        EXPECT_EQ(ReadFile(folder_ + "/Pennant.exe"), program.Bytes());
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ReleasedFiles, EntryReachingTheLastByteIsInside)
{
    ProgramFile program({"a"});
    program.entries[0] = {1, static_cast<uint32_t>(program.Size())};
    EXPECT_TRUE(Release(program, {L"whole"}));
    EXPECT_EQ(ReadFile(folder_ + "/whole"), program.Bytes());
}

TEST_F(ReleasedFiles, ShortOrMissingProgramFile)
{
    WriteFile(root_ + "/tiny", "abcd");
    EXPECT_FALSE(ReleaseAppendedFiles(Utf8ToWide(root_ + "/tiny"), Utf8ToWide(folder_), kKittingToolFiles));
    EXPECT_FALSE(Exists(folder_ + "/backupinfo"));

    RemoveTreeNoFollow(Utf8ToWide(folder_ + "/Pennant.exe"));
    EXPECT_FALSE(ReleaseAppendedFiles(Utf8ToWide(root_ + "/none"), Utf8ToWide(folder_), kKittingToolFiles));
    // no tool folder: nothing is released into the root folder
    EXPECT_FALSE(ReleaseAppendedFiles(Utf8ToWide(root_ + "/tiny"), L"", kKittingToolFiles));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ReleasedFiles, TargetThatCannotBeCreatedStopsWithOneMessage)
{
    struct {
        const char* what;
        std::function<void(const std::string& target, const std::string& outside)> block;
    } cases[] = {
        {"a folder in its place", [](auto& t, auto&) { ASSERT_EQ(mkdir(t.c_str(), 0700), 0); }},
        {"a symlink in its place",
         [](auto& t, auto& o) {
             PrivateTmpdir::WriteFile(o + "/victim", "v");
             ASSERT_EQ(symlink((o + "/victim").c_str(), t.c_str()), 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.clear();
        RemoveTreeNoFollow(Utf8ToWide(folder_));
        ASSERT_EQ(mkdir(folder_.c_str(), 0700), 0);
        c.block(folder_ + "/Apn_cfg.ini", outside_);
        EXPECT_FALSE(Release(ProgramFile(kContents)));
        EXPECT_EQ(messages_, std::vector<std::string>{"Open main file fail"});
        EXPECT_EQ(ReadFile(folder_ + "/backupinfo"), kContents[0]);
        EXPECT_FALSE(Exists(folder_ + "/KestlePortServer.dll"));
    }
    EXPECT_EQ(ReadFile(outside_ + "/victim"), "v");
}

TEST_F(ReleasedFiles, ExtractNeedsLengthSourceAndTarget)
{
    WriteFile(root_ + "/src", "0123456789");
    int fd = open((root_ + "/src").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::wstring target = Utf8ToWide(folder_ + "/out");
    EXPECT_FALSE(ExtractAppendedFile(target, 1, 0, fd));
    EXPECT_FALSE(ExtractAppendedFile(target, 1, 4, -1));
    EXPECT_FALSE(ExtractAppendedFile(L"", 1, 4, fd));
    EXPECT_FALSE(Exists(folder_ + "/out"));
    EXPECT_TRUE(ExtractAppendedFile(target, 3, 4, fd));
    EXPECT_EQ(ReadFile(folder_ + "/out"), "2345");
    close(fd);
}

TEST_F(ReleasedFiles, ToolConfigWrittenByteForByte)
{
    const OwnResource* res = FindOwnResource("TOOLS", 133);
    ASSERT_NE(res, nullptr);
    CTALLY_KITApp app;
    ASSERT_TRUE(app.CreateWorkFolder());
    ASSERT_TRUE(app.ReleaseToolConfig(L"Adatper_cfg.ini"));
    std::string written = ReadFile(base_ + "/tempPath0/Adatper_cfg.ini");
    EXPECT_EQ(written, std::string(reinterpret_cast<const char*>(res->data), res->size));
    EXPECT_EQ(written, ReadFile(TEST_FIXTURES_DIR "/../../resources/files/tool_config_setwell.ini"));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ReleasedFiles, ToolConfigNotWritten)
{
    CTALLY_KITApp app;
    // no working folder: never written to the root folder instead
    EXPECT_FALSE(app.ReleaseToolConfig(L"Adatper_cfg.ini"));
    EXPECT_FALSE(Exists("/Adatper_cfg.ini"));
    // a working folder that has gone
    app.m_strWorkFolder = Utf8ToWide(base_ + "/tempPath7");
    EXPECT_FALSE(app.ReleaseToolConfig(L"Adatper_cfg.ini"));
    EXPECT_EQ(messages_, (std::vector<std::string>{"Read Adatper_cfg.ini fail!", "Read Adatper_cfg.ini fail!"}));
    app.m_strWorkFolder.clear();
}

} // namespace
