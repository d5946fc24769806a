#include "device/ini_reader.h"
#include "platform/win/code_page.h"
#include "tests/unit/startup/private_tmpdir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class IniFiles : public PrivateTmpdir {
protected:
    std::wstring Write(const std::string& text, const std::string& name = "test.ini")
    {
        WriteFile(dir_ + "/" + name, text);
        return Utf8ToWide(dir_ + "/" + name);
    }

    const std::string& dir_ = tmp_;
};

struct LookupCase {
    const char* what;
    std::string text;
    const char* section;
    const char* key;
    bool found;
    std::string value;
};

TEST_F(IniFiles, LookupRules)
{
    const std::string longKey(256, 'K');
    const LookupCase cases[] = {
        {"blanks around the key: key trimmed, value kept", "[S]\r\nKEY = v \r\n", "S", "KEY", true, " v "},
        {"tab before the equals sign is cut", "[S]\r\nKEY\t=v\r\n", "S", "KEY", true, "v"},
        {"blanks before the key stay part of it", "[S]\r\nX=0\r\n  KEY=v\r\n", "S", "KEY", false, ""},
        {"... and match a key written with them", "[S]\r\nX=0\r\n  KEY=v\r\n", "S", "  KEY", true, "v"},
        {"white space behind the header is skipped up to the first line's key", "[S]\r\n  KEY=v\r\n", "S", "KEY", true, "v"},
        {"only the first equals sign counts", "[S]\r\nK=a=b\r\n", "S", "K", true, "a=b"},
        {"empty value", "[S]\r\nK=\r\nL=1\r\n", "S", "K", true, ""},
        {"key compared with case", "[FEATURE]\r\nWriteLog=1\r\n", "FEATURE", "writelog", false, ""},
        {"section compared with case", "[FEATURE]\r\nWriteLog=1\r\n", "feature", "WriteLog", false, ""},
        {"header matching the leading part of the section", "[FEAT]\r\nWriteLog=3\r\n", "FEATURE", "WriteLog", true, "3"},
        {"empty header matches every section", "[]\r\nK=1\r\n", "ANY", "K", true, "1"},
        {"header longer than the section does not match", "[FEATURES]\r\nK=1\r\n", "FEATURE", "K", false, ""},
        {"0xFF ends the text", "[S]\r\nA=1\xff\r\nB=2\r\n", "S", "B", false, ""},
        {"0xFF ends a value", "[S]\r\nA=12\xff" "34\r\n", "S", "A", true, "12"},
        {"key in another section is not seen", "[T]\r\nA=1\r\n[S]\r\nB=2\r\n", "S", "A", false, ""},
        {"section ends at the next header", "[S]\r\nA=1\r\n[T]\r\nB=2\r\n", "S", "B", false, ""},
        {"later section of the same name is searched", "[S]\r\nA=1\r\n[T]\r\nB=0\r\n[S]\r\nB=2\r\n", "S", "B", true, "2"},
        {"first match in file order wins", "[S]\r\nA=1\r\nA=2\r\n", "S", "A", true, "1"},
        {"comment line skipped", "[S]\r\n;A=1\r\nA=2\r\n", "S", "A", true, "2"},
        {"line without equals sign skipped", "[S]\r\nA\r\nA=2\r\n", "S", "A", true, "2"},
        {"line starting with equals sign skipped", "[S]\r\n=A=1\r\nA=2\r\n", "S", "A", true, "2"},
        {"LF line ends", "[S]\nA=1\nB=2\n", "S", "B", true, "2"},
        {"CR line ends", "[S]\rA=1\rB=2\r", "S", "B", true, "2"},
        {"value at the end of the text without line end", "[S]\r\nA=end", "S", "A", true, "end"},
        {"header not at a line start", "x[S]\r\nA=1\r\n", "S", "A", false, ""},
        {"blank lines after the header", "[S]  \r\n\r\n\t\r\nA=1\r\n", "S", "A", true, "1"},
        {"header without closing bracket", "[S\r\nA=1\r\n", "S", "A", false, ""},
        {"empty text", "", "S", "A", false, ""},
        {"key part longer than 255 never matches", "[S]\r\n" + longKey + "=1\r\n", "S", longKey.c_str(), false, ""},
        {"key part of 255 matches", "[S]\r\n" + longKey.substr(1) + "=1\r\n", "S", longKey.c_str() + 1, true, "1"},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = Write(c.text);
        char out[300] = "untouched";
        EXPECT_EQ(ReadIniString(c.section, c.key, out, sizeof out, path.c_str()), c.found);
        EXPECT_EQ(std::string(out), c.found ? c.value : "untouched");
    }
}

TEST_F(IniFiles, ValueIsCutToTheOutputAndZeroFilled)
{
    std::wstring path = Write("[S]\r\nA=abcdefg\r\nB=xy\r\n");
    char out[8];
    std::memset(out, 'Z', sizeof out);
    ASSERT_TRUE(ReadIniString("S", "A", out, 4, path.c_str()));
    EXPECT_EQ(std::string(out, 4), std::string("abc\0", 4));
    EXPECT_EQ(out[4], 'Z'); // nothing beyond the given size

    std::memset(out, 'Z', sizeof out);
    ASSERT_TRUE(ReadIniString("S", "B", out, sizeof out, path.c_str()));
    EXPECT_EQ(std::string(out, sizeof out), std::string("xy\0\0\0\0\0\0", 8));

    ASSERT_TRUE(ReadIniString("S", "A", out, 1, path.c_str()));
    EXPECT_EQ(out[0], '\0');
}

TEST_F(IniFiles, FileSizeLimit)
{
    const std::string head = "[S]\r\nA=1\r\n";
    struct {
        const char* what;
        std::string text;
        bool found;
    } cases[] = {
        {"262143 bytes are read", head + std::string(262143 - head.size(), ' '), true},
        {"262144 bytes are not read at all", head + std::string(262144 - head.size(), ' '), false},
        {"a larger file is not read either", head + std::string(300000, ' '), false},
        {"a stop byte inside the limit makes a large file readable", head + "\xff" + std::string(300000, ' '), true},
        {"a stop byte as the 262144th byte still stops", head + std::string(262143 - head.size(), ' ') + "\xff", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = Write(c.text);
        char out[4] = "";
        EXPECT_EQ(ReadIniString("S", "A", out, sizeof out, path.c_str()), c.found);
        // a file is either read or refused for its size, which callers can tell
        EXPECT_EQ(IniFileTooLarge(path.c_str()), !c.found);
    }
    EXPECT_EQ(IniFileMaxTextBytes(), 262143u);
}

// Whatever stands at the file's name, the reader answers at once: a FIFO
// nobody writes to, or a device that never ends, reads as no file.
TEST_F(IniFiles, FifoOrDeviceInTheFilesPlaceIsNoFile)
{
    ASSERT_EQ(mkfifo((dir_ + "/fifo.ini").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir_ + "/zero.ini").c_str()), 0);
    ASSERT_EQ(symlink((dir_ + "/fifo.ini").c_str(), (dir_ + "/fifolink.ini").c_str()), 0);
    for (const char* name : {"fifo.ini", "zero.ini", "fifolink.ini"}) {
        SCOPED_TRACE(name);
        const std::wstring path = Utf8ToWide(dir_ + "/" + name);
        char out[4] = "u";
        EXPECT_FALSE(ReadIniString("S", "A", out, sizeof out, path.c_str()));
        EXPECT_STREQ(out, "u");
        EXPECT_EQ(ReadIniInt("S", "A", 77, path.c_str()), 77);
        EXPECT_FALSE(IniFileTooLarge(path.c_str()));
    }
}

TEST_F(IniFiles, MissingArgumentsAndFilesFail)
{
    std::wstring path = Write("[S]\r\nA=1\r\n");
    std::wstring missing = Utf8ToWide(dir_ + "/missing.ini");
    char out[4] = "u";
    EXPECT_FALSE(ReadIniString(nullptr, "A", out, sizeof out, path.c_str()));
    EXPECT_FALSE(ReadIniString("", "A", out, sizeof out, path.c_str()));
    EXPECT_FALSE(ReadIniString("S", nullptr, out, sizeof out, path.c_str()));
    EXPECT_FALSE(ReadIniString("S", "", out, sizeof out, path.c_str()));
    EXPECT_FALSE(ReadIniString("S", "A", nullptr, sizeof out, path.c_str()));
    EXPECT_FALSE(ReadIniString("S", "A", out, 0, path.c_str()));
    EXPECT_FALSE(ReadIniString("S", "A", out, sizeof out, nullptr));
    EXPECT_FALSE(ReadIniString("S", "A", out, sizeof out, missing.c_str()));
    EXPECT_STREQ(out, "u");
    EXPECT_EQ(ReadIniInt("S", "A", 77, missing.c_str()), 77);
}

TEST_F(IniFiles, PathWithJapaneseFolderName)
{
    std::string sub = dir_ + "/\xe8\xa8\xad\xe5\xae\x9a"; // 設定
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    std::ofstream(sub + "/a.ini", std::ios::binary) << "[S]\r\nA=ok\r\n";
    std::wstring path = Utf8ToWide(dir_) + L"/\u8a2d\u5b9a/a.ini";
    char out[8] = "";
    EXPECT_TRUE(ReadIniString("S", "A", out, sizeof out, path.c_str()));
    EXPECT_STREQ(out, "ok");
}

TEST_F(IniFiles, IntegerConversion)
{
    struct {
        const char* value;
        int expected;
    } cases[] = {
        {" 8", 8},
        {"", 0}, // found but empty: 0, not the default
        {"-12x", -12},
        {"+7", 7},
        {"abc", 0},
        {"\t 42 ", 42},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        // cut to 31 characters before the conversion
        {"                             123", 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::wstring path = Write(std::string("[TOOLS_INFO]\r\nTOOLS_TYPE=") + c.value + "\r\n");
        EXPECT_EQ(ReadIniInt("TOOLS_INFO", "TOOLS_TYPE", -5, path.c_str()), c.expected);
    }
    std::wstring path = Write("[TOOLS_INFO]\r\nOTHER=1\r\n");
    EXPECT_EQ(ReadIniInt("TOOLS_INFO", "TOOLS_TYPE", -5, path.c_str()), -5);
}

TEST_F(IniFiles, CallsFromSeveralThreadsEachGetTheirValue)
{
    std::vector<std::wstring> paths;
    for (int i = 0; i < 4; ++i)
        paths.push_back(Write("[S]\r\nN=" + std::to_string(i) + "\r\n", "t" + std::to_string(i) + ".ini"));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 50; ++round)
                if (ReadIniInt("S", "N", -1, paths[i].c_str()) != i)
                    ++wrong[i];
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

} // namespace
