#include "DeviceLock.h"
#include "FakeMachineLink.h"
#include "LockFile.h"
#include "ModelingMachine.h"
#include "SimulatorLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A child process that takes the device mutex of name and holds it until it is killed; with a
// user id, it runs as that user.
class LockHolder
{
public:
    explicit LockHolder(const std::string& name, uid_t uid = static_cast<uid_t>(-1))
    {
        int ready[2];
        if (pipe(ready) != 0)
            std::abort();
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            if (uid != static_cast<uid_t>(-1) && (setgid(uid) != 0 || setuid(uid) != 0))
                _exit(1);
            CDeviceMutex mutex;
            const char ok = mutex.Create(name) && mutex.Lock(1000) ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char ok = 0;
        (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        m_locked = ok == 'y';
    }
    ~LockHolder() { Kill(); }
    bool Locked() const { return m_locked; }
    void Kill()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    bool m_locked = false;
};

class ScopedLockDir
{
public:
    ScopedLockDir()
    {
        char pattern[] = "/tmp/zr40-locktest-XXXXXX";
        m_dir = mkdtemp(pattern);
        setenv("ZR40_LOCK_DIR", m_dir.c_str(), 1);
    }
    ~ScopedLockDir()
    {
        unsetenv("ZR40_LOCK_DIR");
        fs::remove_all(m_dir);
    }
    const std::string& Path() const { return m_dir; }

private:
    std::string m_dir;
};

std::unique_ptr<FakeMachineLink> OpenFake(const std::string& name)
{
    auto link = std::make_unique<FakeMachineLink>();
    link->SetName(name);
    EXPECT_TRUE(link->Open());
    return link;
}

} // namespace

TEST(DeviceLock, WaitsForAnotherProcessAndTimesOutWithDepthUnchanged)
{
    ScopedLockDir dir;
    const std::string name = "ZR-40 lock test";
    auto link = OpenFake(name);
    LockHolder holder(name);
    ASSERT_TRUE(holder.Locked());

    const auto start = Clock::now();
    EXPECT_FALSE(link->Lock(200));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(200));
    EXPECT_LT(waited, std::chrono::milliseconds(1500));
    EXPECT_EQ(link->GetLockDepth(), 0);

    holder.Kill(); // a holder that dies frees the lock
    EXPECT_TRUE(link->Lock(200));
    EXPECT_EQ(link->GetLockDepth(), 1);
    link->Unlock();
    EXPECT_EQ(link->GetLockDepth(), 0);
}

TEST(DeviceLock, IsRecursiveForTheOwningThreadAndReleasedByTheLastUnlock)
{
    ScopedLockDir dir;
    const std::string name = "recursive";
    auto link = OpenFake(name);
    {
        CDeviceLock outer(*link);
        ASSERT_TRUE(outer.IsLocked());
        CDeviceLock inner(*link);
        ASSERT_TRUE(inner.IsLocked());
        EXPECT_EQ(link->GetLockDepth(), 2);
    }
    EXPECT_EQ(link->GetLockDepth(), 0);
    LockHolder holder(name);
    EXPECT_TRUE(holder.Locked()) << "released for other processes";
}

TEST(DeviceLock, LockFailsWithoutAnOpenLink)
{
    FakeMachineLink link;
    EXPECT_FALSE(link.Lock(0));
    CDeviceLock guard(link, 0);
    EXPECT_FALSE(guard.IsLocked());
    EXPECT_EQ(link.GetLockDepth(), 0);
}

TEST(DeviceLock, PowerOffGoesOutWhileAnotherProcessHoldsTheLock)
{
    ScopedLockDir dir;
    const std::string name = "power off";
    auto fake = std::make_unique<FakeMachineLink>();
    FakeMachineLink* link = fake.get();
    CModelingMachine machine(std::move(fake), std::make_unique<CSimulatorLink>());
    ASSERT_TRUE(machine.SelectMachine(name));
    LockHolder holder(name);
    ASSERT_TRUE(holder.Locked());

    const auto start = Clock::now();
    EXPECT_TRUE(machine.PowerOff(0));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(link->CountOut(Cmd::PowerOff), 1);
}

TEST(LockFile, NamesAreSafeAndDistinct)
{
    const std::string a = CLockFile::LockFileName("RemoteController", "a/b");
    const std::string b = CLockFile::LockFileName("RemoteController", "a%2Fb");
    const std::string c = CLockFile::LockFileName("RemoteController", "a\\b");
    EXPECT_EQ(a.find('/'), std::string::npos);
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(CLockFile::LockFileName("ControlPanel", "x"),
              CLockFile::LockFileName("RemoteController", "x"));
    EXPECT_NE(CLockFile::LockFileName("k", ".."), CLockFile::LockFileName("k", "."));

    const std::string longA(400, 'a');
    const std::string longB = longA + "b";
    const std::string nameA = CLockFile::LockFileName("k", longA);
    EXPECT_LE(nameA.size(), 255u);
    EXPECT_NE(nameA, CLockFile::LockFileName("k", longB));

    ScopedLockDir dir;
    CLockFile file;
    EXPECT_TRUE(file.Open("k", "slash/and\nnewline"));
    EXPECT_TRUE(file.TryLock(0));
}

TEST(LockFile, RefusesSymlinksAndNonRegularFiles)
{
    ScopedLockDir dir;
    const std::string target = dir.Path() + "/target";
    const std::string link = dir.Path() + "/" + CLockFile::LockFileName("k", "linked");
    fs::create_symlink(target, link);
    CLockFile file;
    EXPECT_FALSE(file.Open("k", "linked"));
    EXPECT_FALSE(fs::exists(target)) << "the symlink was not followed";

    fs::create_directory(dir.Path() + "/" + CLockFile::LockFileName("k", "dir"));
    EXPECT_FALSE(file.Open("k", "dir"));

    ASSERT_TRUE(file.Open("k", "plain"));
    const auto perms =
        fs::status(dir.Path() + "/" + CLockFile::LockFileName("k", "plain")).permissions();
    EXPECT_EQ(perms & fs::perms::others_write, fs::perms::others_write)
        << "every local user's programs share the lock";
}

// The panel runs as the desktop user, the print backend and zr40ctl under sudo as root: all of
// them use one folder, and in it (world-writable and sticky, as the package makes it) each
// excludes the other whoever created the lock file first.
TEST(LockFile, RootAndAnotherUserShareOneLock)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run a child as another user";
    constexpr uid_t Nobody = 65534;
    unsetenv("ZR40_LOCK_DIR");
    EXPECT_EQ(CLockFile::LockDirectory(), ZR40_LOCK_DIR_DEFAULT);
    {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            if (setgid(Nobody) != 0 || setuid(Nobody) != 0)
                _exit(1);
            const std::string dir = CLockFile::LockDirectory();
            (void)!write(out[1], dir.data(), dir.size());
            _exit(0);
        }
        close(out[1]);
        char text[256] = {};
        (void)!read(out[0], text, sizeof text - 1);
        close(out[0]);
        waitpid(pid, nullptr, 0);
        EXPECT_STREQ(text, ZR40_LOCK_DIR_DEFAULT) << "another user chose another folder";
    }

    ScopedLockDir dir;
    ASSERT_EQ(chmod(dir.Path().c_str(), 01777), 0);
    for (const bool rootFirst : {true, false}) {
        SCOPED_TRACE(rootFirst ? "root's lock file" : "the user's lock file");
        const std::string name = rootFirst ? "root first" : "user first";
        CDeviceMutex mutex;
        if (rootFirst) {
            ASSERT_TRUE(mutex.Create(name));
            ASSERT_TRUE(mutex.Lock(0));
            EXPECT_FALSE(LockHolder(name, Nobody).Locked()) << "the user got a held lock";
            mutex.Unlock();
            EXPECT_TRUE(LockHolder(name, Nobody).Locked());
        } else {
            LockHolder holder(name, Nobody);
            ASSERT_TRUE(holder.Locked());
            ASSERT_TRUE(mutex.Create(name));
            EXPECT_FALSE(mutex.Lock(0)) << "root got a held lock";
            holder.Kill();
            EXPECT_TRUE(mutex.Lock(1000));
            mutex.Unlock();
        }
    }
}
