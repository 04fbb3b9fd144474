// Drives the built zemplaysound. A recording fake "aplay" first on PATH stands
// in for the ALSA player, so no sound device is needed. The playing child
// outlives the program; this test process is made a subreaper so that the
// child is handed to it and its end can be awaited without sleeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 10000;
constexpr int kPlayerStatus = 3;
const std::string kNoSuchFile = std::strerror(ENOENT);
const std::string kBlankName = "tune one; touch pwned";
const std::string kQuoteName = "it's \"loud\".au";

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spit(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
}

// Collects the exit statuses of every process that ends below this one.
class Descendants {
public:
    Descendants() {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        sigemptyset(&chld_);
        sigaddset(&chld_, SIGCHLD);
        sigprocmask(SIG_BLOCK, &chld_, nullptr);
        fd_ = signalfd(-1, &chld_, SFD_CLOEXEC | SFD_NONBLOCK);
    }
    ~Descendants() { close(fd_); }

    pid_t spawn(const std::vector<std::string>& args, const fs::path& dir, const std::string& path) {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        sigprocmask(SIG_UNBLOCK, &chld_, nullptr);
        // Nothing started here may hold the test runner's pipes.
        const int out = open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 || chdir(dir.c_str()) < 0)
            _exit(126);
        setenv("PATH", path.c_str(), 1);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    // Waits (bounded) until `pid` has ended, or every descendant when pid is 0.
    bool await(pid_t pid) {
        for (;;) {
            int status = 0;
            pid_t ended = 0;
            while ((ended = waitpid(-1, &status, WNOHANG)) > 0)
                statuses_[ended] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (pid != 0 && statuses_.count(pid) != 0) return true;
            if (ended < 0 && errno == ECHILD) return pid == 0;
            pollfd ready{fd_, POLLIN, 0};
            if (poll(&ready, 1, kWaitMs) <= 0) return false;
            signalfd_siginfo info;
            while (read(fd_, &info, sizeof info) > 0) {
            }
        }
    }

    std::map<pid_t, int> statuses_;

private:
    sigset_t chld_;
    int fd_ = -1;
};

struct Outcome {
    int status = -1;
    std::string out;
    std::vector<int> children;  // exit statuses of the playing child, if any
};

class ZemPlaySound : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "zemplaysound.XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir = name;
        recorder(dir / "aplay", kPlayerStatus);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A stand-in program that writes its arguments, NUL-separated, beside itself.
    void recorder(const fs::path& where, int status, const std::string& before = "") {
        spit(where, "#!/bin/sh\n" + before + "printf '%s\\0' \"$@\" > '" + where.string() + ".args'\nexit " +
                        std::to_string(status) + "\n",
             fs::perms::owner_all);
    }
    std::vector<std::string> recorded(const std::string& name = "aplay") {
        std::vector<std::string> args;
        const std::string text = slurp(dir / (name + ".args"));
        for (std::size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1)
            args.push_back(text.substr(at, end - at));
        return args;
    }
    std::string sound(const std::string& name, const std::string& bytes = "RIFF") {
        spit(dir / name, bytes);
        return (dir / name).string();
    }

    pid_t start(std::vector<std::string> args, const std::string& program = ZEMPLAYSOUND) {
        args.insert(args.begin(), program);
        return reaper.spawn(args, dir, dir.string() + ":/usr/bin:/bin");
    }
    Outcome finish(pid_t pid) {
        EXPECT_TRUE(reaper.await(pid)) << "zemplaysound did not return";
        EXPECT_TRUE(reaper.await(0)) << "the playing child did not end";
        Outcome outcome{reaper.statuses_[pid], slurp(dir / "stdout"), {}};
        for (const auto& [ended, status] : reaper.statuses_)
            if (ended != pid) outcome.children.push_back(status);
        reaper.statuses_.clear();
        return outcome;
    }
    Outcome play(const std::vector<std::string>& args, const std::string& program = ZEMPLAYSOUND) {
        return finish(start(args, program));
    }

    fs::path dir;
    Descendants reaper;
};

TEST_F(ZemPlaySound, MissingOrEmptyArgumentsEndWithZero) {
    const Outcome usage = play({"quibo.au"});
    EXPECT_EQ(usage.status, 0);
    EXPECT_EQ(usage.out, "ERROR: zemplaysound <soundfile> <audiodevice>\n");
    for (const auto& args : std::vector<std::vector<std::string>>{{"", "ALSA"}, {sound("a.au"), ""}}) {
        const Outcome quiet = play(args);
        EXPECT_EQ(quiet.status, 0);
        EXPECT_EQ(quiet.out, "");
        EXPECT_TRUE(quiet.children.empty());
    }
}

TEST_F(ZemPlaySound, AlsaDevicesGiveThePlayerTheFileAsOneArgument) {
    for (const std::string device : {"ALSA", "ALSAxyz"}) {
        for (const auto& name : {kBlankName, kQuoteName}) {
            const std::string file = sound(name);
            const Outcome outcome = play({file, device});
            EXPECT_EQ(outcome.status, 1);
            EXPECT_EQ(outcome.out, "Exec: aplay " + file + "\n");
            EXPECT_EQ(outcome.children, std::vector<int>{kPlayerStatus});
            EXPECT_EQ(recorded(), std::vector<std::string>{file});
            EXPECT_FALSE(fs::exists(dir / "pwned"));
        }
    }
}

TEST_F(ZemPlaySound, ReturnsWhileThePlayerIsStillPlaying) {
    const fs::path gate = dir / "gate";
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    const int held = open(gate.c_str(), O_RDWR | O_CLOEXEC);
    recorder(dir / "aplay", 0, "read line < '" + gate.string() + "'\n");
    const pid_t pid = start({sound("a.au"), "ALSA"});
    const bool returnedFirst = reaper.await(pid);
    EXPECT_FALSE(fs::exists(dir / "aplay.args"));
    // The gate stays open until the player has read from it.
    EXPECT_EQ(write(held, "go\n", 3), 3);
    const Outcome outcome = finish(pid);
    close(held);
    EXPECT_TRUE(returnedFirst) << "zemplaysound waited for the player";
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.children, std::vector<int>{0});
    EXPECT_EQ(recorded().size(), 1u);
}

TEST_F(ZemPlaySound, DeviceModeCopiesTheBytesUnchanged) {
    const std::string blocks(2500, '\x81');
    const std::vector<std::pair<std::string, std::string>> cases = {{"alsa", blocks}, {(dir / "dsp").string(), ""}};
    for (const auto& [device, bytes] : cases) {
        const std::string file = sound(kBlankName, bytes);
        const Outcome outcome = play({file, device});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.children, std::vector<int>{1});
        EXPECT_EQ(outcome.out, "Read " + std::to_string(bytes.size()) + " byte from " + file +
                                   " and send it to device audio " + device + "\n");
        EXPECT_EQ(slurp(dir / device), bytes);
    }
    EXPECT_FALSE(fs::exists(dir / "aplay.args"));
}

TEST_F(ZemPlaySound, UnopenableDeviceFallsBackToTheScriptBesideTheProgram) {
    const std::string device = (dir / "no" / "dsp").string();
    const std::string file = sound(kBlankName);
    const std::string failed = "ERROR: Cannot open Audio Device (" + device + "); reason: " + kNoSuchFile + "\n";
    const Outcome alone = play({file, device});
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(alone.out, failed);
    EXPECT_TRUE(alone.children.empty());

    const fs::path program = dir / "zemplaysound";
    fs::copy_file(ZEMPLAYSOUND, program);
    recorder(dir / "zemplaysound.sh", 5);
    const Outcome fallback = play({file, device}, program.string());
    EXPECT_EQ(fallback.status, 0);
    EXPECT_EQ(fallback.out, failed + "Executing external script: " + (dir / "zemplaysound.sh").string() + " " + file + "\n");
    EXPECT_EQ(fallback.children, std::vector<int>{0});
    EXPECT_EQ(recorded("zemplaysound.sh"), std::vector<std::string>{file});
    EXPECT_FALSE(fs::exists(dir / "pwned"));
}

TEST_F(ZemPlaySound, MissingSoundFileIsOneLineAndNoPlayer) {
    const std::string file = (dir / "missing.au").string();
    const Outcome outcome = play({file, "ALSA"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "ERROR: Cannot open Audio Data (" + file + "); reason: " + kNoSuchFile + "\n");
    EXPECT_TRUE(outcome.children.empty());
    EXPECT_FALSE(fs::exists(dir / "aplay.args"));
}

// The committed sounds must be what the generator writes, and distinct.
TEST_F(ZemPlaySound, CommittedSoundsAreTheGeneratedOnes) {
    ASSERT_EQ(play({dir.string()}, MAKE_SOUNDS).status, 0);
    std::vector<std::string> seen;
    for (const std::string name : {"quibo.au", "message.au", "warning.au", "error.au", "alert.au"}) {
        const std::string bytes = slurp(dir / name);
        EXPECT_EQ(bytes.substr(0, 4), ".snd") << name;
        EXPECT_EQ(bytes, slurp(fs::path(DATA_DIR) / name)) << name << " in data/ is stale";
        EXPECT_EQ(std::count(seen.begin(), seen.end(), bytes), 0) << name;
        seen.push_back(bytes);
    }
}

}  // namespace
