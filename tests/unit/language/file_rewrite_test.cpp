// A language file is written only when it is absent or different, and then
// replaced whole, so that a look-up running beside it reads one file or the other.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/language.h"
#include "platform/win/code_page.h"
#include "platform/win/own_resources.h"

namespace {

class TextOwner : public CLanguageOwner {
public:
    CString ReadOwnString(const wchar_t*) const override { return CString(); }
    CWnd* LanguageWindow() override { return nullptr; }
};

class LanguageRewrite : public ::testing::Test {
protected:
    LanguageRewrite()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/language-rewrite-XXXXXX";
        folder_ = mkdtemp(pattern.data()) ? pattern : std::string();
        owner_.m_strWorkFolder = Utf8ToWide(folder_);
        path_ = folder_ + "/lan_eng_cfg.ini";
    }
    ~LanguageRewrite() override
    {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    static std::string Bytes(std::istream& in)
    {
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static std::string Resource(int id)
    {
        const OwnResource* r = FindOwnResource("TOOLS", id);
        return r ? std::string(reinterpret_cast<const char*>(r->data), r->size) : std::string();
    }
    BOOL Release() { return ReleaseLanguageFile(&owner_, IDR_LANGUAGE_ENGLISH, kEnglishLanguageFile); }

    std::string folder_;
    std::string path_;
    TextOwner owner_;
};

}  // namespace

TEST_F(LanguageRewrite, AnEqualFileIsLeftAlone)
{
    ASSERT_EQ(Release(), TRUE);
    // an old time stamp shows whether the file was written again
    struct utimbuf old = {1000000000, 1000000000};
    ASSERT_EQ(utime(path_.c_str(), &old), 0);
    ASSERT_EQ(Release(), TRUE);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);
}

TEST_F(LanguageRewrite, ADifferentFileIsReplacedWholeUnderAReader)
{
    const std::string stale = "[GEN_SWITCH_MODE_TOOL]\r\nTITLE=stale\r\n";
    std::ofstream(path_, std::ios::binary) << stale;
    // a look-up that opened the file before the rewrite still reads all of it
    std::ifstream reader(path_, std::ios::binary);
    ASSERT_TRUE(reader.good());
    ASSERT_EQ(Release(), TRUE);
    EXPECT_EQ(Bytes(reader), stale);
    std::ifstream fresh(path_, std::ios::binary);
    EXPECT_EQ(Bytes(fresh), Resource(IDR_LANGUAGE_ENGLISH));
    // nothing of the replacement is left beside it
    EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
}

// A link planted where the new contents are written first is replaced, never
// written through; the new file is the user's alone.
TEST_F(LanguageRewrite, ALinkAtTheNewFileIsNotFollowed)
{
    const std::string victim = folder_ + "/victim.txt";
    std::ofstream(victim, std::ios::binary) << "keep";
    ASSERT_EQ(chmod(victim.c_str(), 0644), 0);
    ASSERT_EQ(symlink(victim.c_str(), (path_ + ".new").c_str()), 0);
    const mode_t mask = umask(022);
    const BOOL released = Release();
    umask(mask);
    ASSERT_EQ(released, TRUE);
    std::ifstream kept(victim, std::ios::binary);
    EXPECT_EQ(Bytes(kept), "keep");
    struct stat st {};
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream fresh(path_, std::ios::binary);
    EXPECT_EQ(Bytes(fresh), Resource(IDR_LANGUAGE_ENGLISH));
    EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
    EXPECT_FALSE(std::filesystem::is_symlink(path_ + ".new"));
}
