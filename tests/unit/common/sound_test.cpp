// Alert sounds through a stand-in player that records its arguments.
#include "clock.h"
#include "support.h"
#include "utilities.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace {

time_t fake_time = 0;
time_t fake_now() { return fake_time; }

// Prints its arguments, one per line, into "calls" beside itself; exits with $PLAYER_STATUS.
const char* const kPlayer =
    "#!/bin/sh\n"
    "calls=\"$(dirname \"$0\")/calls\"\n"
    "echo \"$#\" >> \"$calls\"\n"
    "for word in \"$@\"; do printf '%s\\n' \"$word\" >> \"$calls\"; done\n"
    "exit \"${PLAYER_STATUS:-1}\"\n";

class Sound : public testing::Test {
protected:
    void SetUp() override
    {
        // The last sound time outlives each test: every test starts well past it.
        fake_time += 100000;
        set_clock_source(fake_now);
        dir = make_temp_dir();
        player = dir + "/zemplaysound";
        write_file(player, kPlayer, 0755);
        setenv("PLAYER_STATUS", "1", 1);
    }
    void TearDown() override { set_clock_source(nullptr); }

    int play(const std::string& sound, time_t interval, const char* device = "ALSA")
    {
        return zemSoundCommandTimed({player, sound}, interval, device);
    }
    std::string calls() const { return read_file(dir + "/calls"); }

    std::string dir;
    std::string player;
};

}  // namespace

TEST_F(Sound, AtMostOneSoundPerInterval)
{
    EXPECT_EQ(play("a.au", 6), 1);
    fake_time += 6;
    EXPECT_EQ(play("b.au", 6), -1);
    EXPECT_EQ(calls(), "2\na.au\nALSA\n");
    fake_time += 1;
    EXPECT_EQ(play("c.au", 6), 1);
    EXPECT_EQ(calls(), "2\na.au\nALSA\n2\nc.au\nALSA\n");
}

TEST_F(Sound, IntervalZeroOrNoDeviceSilencesEverything)
{
    EXPECT_EQ(play("a.au", 0), -2);
    EXPECT_EQ(play("a.au", 0), 0) << "the time rule still counts silent requests";
    fake_time += 1;
    EXPECT_EQ(play("a.au", 0), -2);
    fake_time += 10;
    EXPECT_EQ(play("a.au", 6, ""), -2);
    EXPECT_EQ(play("a.au", 6, nullptr), 0);
    EXPECT_EQ(zemSoundCommandTimed({}, 6, "ALSA"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/calls"));
}

TEST_F(Sound, FileNameReachesThePlayerAsOneArgument)
{
    const std::string marker = dir + "/ran";
    const std::string sound = "my sound 'x\" ; touch " + marker + " $(touch " + marker + ").au";
    const std::string device = "/dev/dsp; touch " + marker;
    EXPECT_EQ(play(sound, 6, device.c_str()), 1);
    EXPECT_EQ(calls(), "2\n" + sound + "\n" + device + "\n");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(Sound, ReturnsThePlayersExitStatusAndLeavesNoChild)
{
    setenv("PLAYER_STATUS", "0", 1);
    EXPECT_EQ(play("a.au", 1), 0);
    fake_time += 2;
    setenv("PLAYER_STATUS", "3", 1);
    EXPECT_EQ(play("a.au", 1), 3);
    fake_time += 2;
    player = dir + "/missing-player";
    EXPECT_EQ(play("a.au", 1), 127);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "every player was reaped";
}
