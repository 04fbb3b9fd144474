// Files and alert sounds. Sounds go to a stand-in player that records its arguments.
#include "clock.h"
#include "utilities.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

bool open_in_process(const fs::path& path)
{
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd"))
        if (fs::read_symlink(fd.path(), error) == path) return true;
    return false;
}

// One folder per test process: the suite runs tests side by side.
fs::path fresh_dir(const char* name)
{
    const fs::path dir = fs::path(testing::TempDir()) / (std::string(name) + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

TEST(Files, DeviceReadyAndTheAppendFile)
{
    const fs::path dir = fresh_dir("quibo_files");
    const std::string first = dir / "first", second = dir / "second";
    EXPECT_EQ(zemDeviceReady(first.c_str(), "r"), 0);
    EXPECT_EQ(zemDeviceReady(first.c_str(), "a"), 1);
    EXPECT_FALSE(open_in_process(first));

    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteFile(first.c_str(), "one\n") + WriteFile(first.c_str(), "two\n"), 2);
    EXPECT_EQ(read_all(first), "one\ntwo\n");
    EXPECT_EQ(WriteFile(second.c_str(), "three\n"), 1);
    EXPECT_FALSE(open_in_process(first)) << "another path closes the first file";
    EXPECT_TRUE(open_in_process(second));
    EXPECT_EQ(WriteFile(nullptr, nullptr), 1);
    EXPECT_FALSE(open_in_process(second));
    EXPECT_EQ(WriteFile("", "x") + WriteFile((dir / "no/such").c_str(), "x"), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("  * Closing: " + second + " ["), std::string::npos);
}

namespace {

time_t fake_time = 1000;
time_t fake_now() { return fake_time; }

class Sound : public testing::Test {
protected:
    void SetUp() override
    {
        fake_time += 100000;  // well past the sound of the previous test
        set_clock_source(fake_now);
        std::ofstream(player) << "#!/bin/sh\nfor w in \"$@\"; do echo \"<$w>\" >> \"$(dirname \"$0\")/calls\"; done\n"
                                 "exit ${PLAYER_STATUS:-1}\n";
        chmod(player.c_str(), 0755);
    }
    void TearDown() override { set_clock_source(nullptr); }
    int play(const std::string& sound, time_t interval, const char* device = "ALSA")
    {
        return zemSoundCommandTimed({player, sound}, interval, device);
    }

    fs::path dir = fresh_dir("quibo_sound");
    std::string player = dir / "zemplaysound";
    fs::path calls = dir / "calls";
};

}  // namespace

TEST_F(Sound, AtMostOneSoundPerInterval)
{
    EXPECT_EQ(play("a.au", 6), 1);
    fake_time += 6;
    EXPECT_EQ(play("b.au", 6), -1);
    fake_time += 1;
    EXPECT_EQ(play("c.au", 6), 1);
    EXPECT_EQ(read_all(calls), "<a.au>\n<ALSA>\n<c.au>\n<ALSA>\n");
}

TEST_F(Sound, IntervalZeroOrNoDeviceSilencesAll)
{
    EXPECT_EQ(play("a.au", 0), -2);
    EXPECT_EQ(play("a.au", 0), 0);
    EXPECT_EQ(play("a.au", 6, ""), 0);
    EXPECT_FALSE(fs::exists(calls));
}

TEST_F(Sound, NamesReachThePlayerWholeAndItsStatusComesBack)
{
    const std::string marker = dir / "ran";
    const std::string sound = "my 'x\" ; touch " + marker + " $(touch " + marker + ").au";
    EXPECT_EQ(play(sound, 1, "; touch ran"), 1);
    EXPECT_EQ(read_all(calls), "<" + sound + ">\n<; touch ran>\n");
    EXPECT_FALSE(fs::exists(marker));
    setenv("PLAYER_STATUS", "3", 1);
    fake_time += 2;
    EXPECT_EQ(play("a.au", 1), 3);
    unsetenv("PLAYER_STATUS");
    fake_time += 2;
    player = dir / "missing";
    EXPECT_EQ(play("a.au", 1), 127);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "every player was reaped";
}

TEST_F(Sound, ThePlayerInheritsNoDescriptorOfTheClient)
{
    // A descriptor as the client's sockets and files are: open, not closed on exec.
    constexpr int kClientDescriptor = 77;
    const int fd = open(calls.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(dup2(fd, kClientDescriptor), kClientDescriptor);
    close(fd);
    std::ofstream(player) << "#!/bin/sh\n[ -e /proc/self/fd/77 ] && echo inherited >> \"$(dirname \"$0\")/calls\"\n"
                             "echo played >> \"$(dirname \"$0\")/calls\"\nexit 1\n";
    EXPECT_EQ(play("a.au", 1), 1);
    close(kClientDescriptor);
    EXPECT_EQ(read_all(calls), "played\n");
}
