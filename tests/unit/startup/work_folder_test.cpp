#include "app/tally_kit_app.h"
#include "app/work_folder.h"
#include "platform/win/temp_folder.h"
#include "private_tmpdir.h"

#include <functional>

namespace {

using WorkFolder = PrivateTmpdir;

struct NumberingCase {
    const char* what;
    std::function<void(const std::string& tmp, const std::string& outside)> prepare;
    const char* expected; // nullptr: no working folder
};

void MakeFolders(const std::string& tmp, int from, int to)
{
    for (int n = from; n <= to; ++n)
        ASSERT_EQ(mkdir((tmp + "/tempPath" + std::to_string(n)).c_str(), 0700), 0);
}

TEST_F(WorkFolder, NumberingAndReuse)
{
    const bool root = geteuid() == 0;
    const NumberingCase cases[] = {
        {"nothing there yet", [](auto&, auto&) {}, "tempPath0"},
        {"0 and 1 exist", [](auto& t, auto&) { MakeFolders(t, 0, 1); }, "tempPath2"},
        {"the first free number, not the next after the highest", [](auto& t, auto&) { MakeFolders(t, 1, 1); },
         "tempPath0"},
        {"a symlink named tempPath0 is passed over",
         [](auto& t, auto& o) { ASSERT_EQ(symlink(o.c_str(), (t + "/tempPath0").c_str()), 0); }, "tempPath1"},
        {"a file named tempPath0 is passed over", [](auto& t, auto&) { PrivateTmpdir::WriteFile(t + "/tempPath0", ""); },
         "tempPath1"},
        {"all 100 exist: 99 is reused", [](auto& t, auto&) { MakeFolders(t, 0, 99); }, "tempPath99"},
        {"99 reused only when it is a real folder, not a symlink",
         [](auto& t, auto& o) {
             MakeFolders(t, 0, 98);
             ASSERT_EQ(symlink(o.c_str(), (t + "/tempPath99").c_str()), 0);
         },
         nullptr},
        {"99 reused only when nobody else can enter it",
         [](auto& t, auto&) {
             MakeFolders(t, 0, 99);
             ASSERT_EQ(chmod((t + "/tempPath99").c_str(), 0755), 0);
         },
         nullptr},
    };
    for (const NumberingCase& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTreeNoFollow(Utf8ToWide(base_));
        ASSERT_EQ(mkdir(base_.c_str(), 0700), 0);
        c.prepare(base_, outside_);
        CTALLY_KITApp app;
        BOOL made = app.CreateWorkFolder();
        if (!c.expected) {
            EXPECT_FALSE(made);
            EXPECT_TRUE(app.m_strWorkFolder.empty());
            continue;
        }
        ASSERT_TRUE(made);
        EXPECT_EQ(app.m_strWorkFolder, Utf8ToWide(base_ + "/" + c.expected));
        struct stat st;
        ASSERT_EQ(lstat(WideToUtf8(app.m_strWorkFolder).c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        app.m_strWorkFolder.clear(); // the next case rebuilds the folder itself
    }
    if (root) {
        SCOPED_TRACE("99 belongs to another user");
        RemoveTreeNoFollow(Utf8ToWide(base_));
        ASSERT_EQ(mkdir(base_.c_str(), 0700), 0);
        MakeFolders(base_, 0, 99);
        ASSERT_EQ(chown((base_ + "/tempPath99").c_str(), 65534, 65534), 0);
        CTALLY_KITApp app;
        EXPECT_FALSE(app.CreateWorkFolder());
        EXPECT_TRUE(app.m_strWorkFolder.empty());
    }
    EXPECT_TRUE(Exists(outside_));
}

TEST_F(WorkFolder, ReusedFolderIsNotEmptied)
{
    MakeFolders(base_, 0, 99);
    WriteFile(base_ + "/tempPath99/left.txt", "old");
    CTALLY_KITApp app;
    ASSERT_TRUE(app.CreateWorkFolder());
    EXPECT_EQ(ReadFile(base_ + "/tempPath99/left.txt"), "old");
    app.m_strWorkFolder.clear();
}

TEST_F(WorkFolder, MissingTempFolderGivesNone)
{
    setenv("TMPDIR", (root_ + "/gone").c_str(), 1);
    CTALLY_KITApp app;
    EXPECT_FALSE(app.CreateWorkFolder());
    EXPECT_TRUE(app.m_strWorkFolder.empty());
    EXPECT_FALSE(app.CreateKittingToolFolder());
    EXPECT_TRUE(app.m_strToolFolder.empty());
}

TEST_F(WorkFolder, PathExists)
{
    ASSERT_EQ(symlink((root_ + "/nowhere").c_str(), (base_ + "/dangling").c_str()), 0);
    struct {
        std::string path;
        BOOL exists;
    } cases[] = {
        {"/", TRUE},
        {base_ + "/", TRUE},
        {base_, TRUE},
        {base_ + "/missing", FALSE},
        {base_ + "/missing/", FALSE},
        {base_ + "/dangling", TRUE},
        {"", FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PathExists(Utf8ToWide(c.path)), c.exists);
    }
}

TEST_F(WorkFolder, ToolFolders)
{
    {
        CTALLY_KITApp app;
        ASSERT_TRUE(app.CreateKittingToolFolder());
        EXPECT_EQ(app.m_strToolFolder, Utf8ToWide(base_ + "/VX530KittingTool"));
        EXPECT_TRUE(IsPrivateFolder(app.m_strToolFolder));
        // an existing folder of ours is taken again
        ASSERT_TRUE(app.CreateKittingToolFolder());
    }
    EXPECT_FALSE(Exists(base_ + "/VX530KittingTool")); // deleted with the application object

    ASSERT_EQ(symlink(outside_.c_str(), (base_ + "/VX530WimaxTool").c_str()), 0);
    WriteFile(outside_ + "/keep", "k");
    {
        CTALLY_KITApp app;
        EXPECT_FALSE(app.CreateWimaxToolFolder());
        EXPECT_TRUE(app.m_strToolFolder.empty());
    }
    EXPECT_EQ(ReadFile(outside_ + "/keep"), "k");
    EXPECT_TRUE(Exists(base_ + "/VX530WimaxTool"));
}

TEST_F(WorkFolder, DeleteFolderTreeNeverFollowsLinks)
{
    const std::string tree = base_ + "/tempPath0";
    ASSERT_EQ(mkdir(tree.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tree + "/sub").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tree + "/sub/deeper").c_str(), 0700), 0);
    WriteFile(tree + "/a.ini", "a");
    WriteFile(tree + "/sub/deeper/b", "b");
    WriteFile(outside_ + "/precious", "p");
    ASSERT_EQ(mkdir((outside_ + "/dir").c_str(), 0700), 0);
    WriteFile(outside_ + "/dir/inner", "i");
    ASSERT_EQ(symlink(outside_.c_str(), (tree + "/link_to_dir").c_str()), 0);
    ASSERT_EQ(symlink((outside_ + "/dir").c_str(), (tree + "/sub/link_to_sub_dir").c_str()), 0);
    ASSERT_EQ(symlink((outside_ + "/precious").c_str(), (tree + "/link_to_file").c_str()), 0);
    ASSERT_EQ(symlink((root_ + "/nowhere").c_str(), (tree + "/dangling").c_str()), 0);

    DeleteFolderTree(Utf8ToWide(tree));

    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(ReadFile(outside_ + "/precious"), "p");
    EXPECT_EQ(ReadFile(outside_ + "/dir/inner"), "i");

    // handed a link itself, only the link goes
    ASSERT_EQ(symlink(outside_.c_str(), (base_ + "/tempPath1").c_str()), 0);
    DeleteFolderTree(Utf8ToWide(base_ + "/tempPath1/"));
    DeleteFolderTree(Utf8ToWide(base_ + "/tempPath1"));
    EXPECT_FALSE(Exists(base_ + "/tempPath1"));
    EXPECT_EQ(ReadFile(outside_ + "/precious"), "p");
    EXPECT_EQ(ReadFile(outside_ + "/dir/inner"), "i");
}

TEST_F(WorkFolder, DestructorRemovesWhatWasMade)
{
    {
        CTALLY_KITApp app;
        ASSERT_TRUE(app.CreateWorkFolder());
        ASSERT_TRUE(app.CreateWimaxToolFolder());
        WriteFile(base_ + "/tempPath0/Adatper_cfg.ini", "x");
        WriteFile(base_ + "/VX530WimaxTool/config.ini", "x");
    }
    EXPECT_FALSE(Exists(base_ + "/tempPath0"));
    EXPECT_FALSE(Exists(base_ + "/VX530WimaxTool"));

    // nothing made: nothing deleted
    MakeFolders(base_, 0, 0);
    { CTALLY_KITApp app; }
    EXPECT_TRUE(Exists(base_ + "/tempPath0"));
}

} // namespace

namespace {

using PrivateBase = PrivateTmpdir;

// The runtime folder when it is a private folder of ours, else our own folder
// in the temp folder; never one that someone else made or linked: a fresh
// private folder then.
TEST_F(PrivateBase, RuntimeFolderElseOurOwnFolderInTheTempFolder)
{
    const std::string runtime = root_ + "/run";
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string expected;  // "" : none
    };
    const Case cases[] = {
        {"a private runtime folder", [&] { ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0); }, runtime + "/"},
        {"a runtime folder others can enter",
         [&] {
             ASSERT_EQ(mkdir(runtime.c_str(), 0755), 0);
             ASSERT_EQ(chmod(runtime.c_str(), 0755), 0);
         },
         base_ + "/"},
        {"a runtime folder that is a link", [&] { ASSERT_EQ(symlink(outside_.c_str(), runtime.c_str()), 0); },
         base_ + "/"},
        {"no runtime folder", [] {}, base_ + "/"},
        {"our folder in the temp folder made by nobody yet", [&] { RemoveTreeNoFollow(Utf8ToWide(base_)); },
         base_ + "/"},
        // taken by someone else: a fresh private folder of this run
        {"our folder's name taken by a folder others can enter",
         [&] { ASSERT_EQ(chmod(base_.c_str(), 0755), 0); }, ""},
        {"our folder's name taken by a link",
         [&] {
             RemoveTreeNoFollow(Utf8ToWide(base_));
             ASSERT_EQ(symlink(outside_.c_str(), base_.c_str()), 0);
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTreeNoFollow(Utf8ToWide(runtime));
        RemoveTreeNoFollow(Utf8ToWide(base_));
        ASSERT_EQ(mkdir(base_.c_str(), 0700), 0);
        c.prepare();
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        const std::string base = WideToUtf8(GetPrivateBaseFolder());
        std::string fresh;
        if (c.expected.empty()) {
            ASSERT_EQ(base.rfind(base_ + "-", 0), 0u) << base;
            EXPECT_EQ(base.size(), base_.size() + 8) << base;  // "-XXXXXX/"
            EXPECT_TRUE(IsPrivateFolder(Utf8ToWide(base)));
            fresh = base;
        } else {
            EXPECT_EQ(base, c.expected);
        }
        {
            CTALLY_KITApp app;
            EXPECT_EQ(app.CreateWorkFolder(), TRUE);
            EXPECT_EQ(WideToUtf8(app.m_strWorkFolder), (fresh.empty() ? c.expected : fresh) + "tempPath0");
        }
        // the fresh folder goes with the last folder in it
        if (!fresh.empty()) {
            EXPECT_FALSE(Exists(fresh));
        }
    }
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(Exists(outside_));
}

// Another user's tempPath0..99 in the shared temp folder change nothing.
TEST_F(PrivateBase, ForeignWorkFoldersInTheTempFolderAreNotLookedAt)
{
    for (int n = 0; n <= 99; ++n)
        ASSERT_EQ(mkdir((tmp_ + "/tempPath" + std::to_string(n)).c_str(), n == 99 ? 0755 : 0700), 0);
    ASSERT_EQ(chmod((tmp_ + "/tempPath99").c_str(), 0755), 0);
    CTALLY_KITApp app;
    ASSERT_TRUE(app.CreateWorkFolder());
    EXPECT_EQ(WideToUtf8(app.m_strWorkFolder), base_ + "/tempPath0");
    ASSERT_TRUE(app.CreateKittingToolFolder());
    EXPECT_EQ(WideToUtf8(app.m_strToolFolder), base_ + "/VX530KittingTool");
}

} // namespace
