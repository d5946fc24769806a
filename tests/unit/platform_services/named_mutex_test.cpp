#include "platform/win/named_mutex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_folder.h"

namespace {

class NamedMutex : public ::testing::Test {
protected:
    NamedMutex() : env_("XDG_RUNTIME_DIR", folder_.path()) {}
    TestFolder folder_;
    ScopedEnv env_;
};

const wchar_t* kName = L"TARSELVX530MARL,{FD9851E5-63CE-47f9-A1CB-2B8EEB62B893}";

}  // namespace

// A first handle holds kName, a second one reports "already exists"; both closed after.
void ExpectOneHolderAtATime()
{
    HANDLE first = CreateMutexW(nullptr, FALSE, kName);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    HANDLE second = CreateMutexW(nullptr, FALSE, kName);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(second);
    CloseHandle(first);
}

TEST_F(NamedMutex, SecondHandleOfOneNameReportsAlreadyExists)
{
    ExpectOneHolderAtATime();
    HANDLE first = CreateMutexW(nullptr, FALSE, kName);
    ASSERT_NE(first, nullptr);

    HANDLE other = CreateMutexW(nullptr, FALSE, L"TARSELVX520,{1D7D106D-3A96-43e2-AC19-135D4DFD6B5A}");
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(other);

    CloseHandle(first);
    HANDLE again = CreateMutexW(nullptr, FALSE, kName);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(again);
}

TEST_F(NamedMutex, NamesThatLookAlikeAsFileNamesStayApart)
{
    EXPECT_NE(NamedMutexLockPath(L"A,B"), NamedMutexLockPath(L"A_B"));
    EXPECT_NE(NamedMutexLockPath(L"A/B"), NamedMutexLockPath(L"A%2FB"));
    EXPECT_EQ(NamedMutexLockPath(L"../x").find("/../"), std::string::npos);
    HANDLE a = CreateMutexW(nullptr, FALSE, L"A,B");
    HANDLE b = CreateMutexW(nullptr, FALSE, L"A_B");
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(NamedMutex, AnotherLiveProcessBlocksADeadOneDoesNot)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE h = CreateMutexW(nullptr, FALSE, kName);
        char c = (h && GetLastError() == 0) ? '1' : '0';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, '1');
    HANDLE refused = CreateMutexW(nullptr, FALSE, kName);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    CloseHandle(refused);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    HANDLE after = CreateMutexW(nullptr, FALSE, kName);
    EXPECT_EQ(GetLastError(), 0u);
    CloseHandle(after);
    close(ready[0]);
    close(ready[1]);
}

TEST_F(NamedMutex, TempFolderFallbackIsPrivate)
{
    unsetenv("XDG_RUNTIME_DIR");
    ScopedEnv tmp("TMPDIR", folder_.path());
    HANDLE h = CreateMutexW(nullptr, FALSE, kName);
    ASSERT_NE(h, nullptr);
    std::string path = NamedMutexLockPath(kName);
    std::string dir = path.substr(0, path.rfind('/'));
    struct stat st;
    ASSERT_EQ(lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    CloseHandle(h);
}

// Our folder in the temp folder taken by someone else (a link, a folder others
// can enter): the locks go to the user's own cache folder and still exclude.
TEST_F(NamedMutex, ALinkedOrSharedTempFolderMovesTheLocksToTheCacheFolder)
{
    unsetenv("XDG_RUNTIME_DIR");
    ScopedEnv tmp("TMPDIR", folder_.path());
    const std::string cache = folder_.path() + "/cache";
    ScopedEnv cacheHome("XDG_CACHE_HOME", cache);
    std::string ours = folder_.path() + "/modem-service-tools-" + std::to_string(getuid());
    for (int taken = 0; taken < 2; ++taken) {
        SCOPED_TRACE(taken == 0 ? "a link" : "a folder others can enter");
        if (taken == 0) {
            ASSERT_EQ(symlink("/tmp", ours.c_str()), 0);
        } else {
            unlink(ours.c_str());
            ASSERT_EQ(mkdir(ours.c_str(), 0777), 0);
            chmod(ours.c_str(), 0777);
        }
        EXPECT_EQ(NamedMutexLockPath(kName).rfind(cache + "/modem-service-tools/mutex-", 0), 0u)
            << NamedMutexLockPath(kName);
        ExpectOneHolderAtATime();
        struct stat st;
        ASSERT_EQ(lstat((cache + "/modem-service-tools").c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // a cache folder someone else can enter is refused like the temp folder's
    ASSERT_EQ(chmod((cache + "/modem-service-tools").c_str(), 0755), 0);
    EXPECT_EQ(CreateMutexW(nullptr, FALSE, kName), nullptr);
    unlink(ours.c_str());
    rmdir(ours.c_str());
}
