// Alert sounds: the player is started directly (no shell) and at most once
// per interval.
#include "clock.h"
#include "utilities.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <new>

extern char** environ;

namespace {

time_t last_sound_time = 0;

// The player hands playing to a child of its own and ends at once, so waiting
// for it costs nothing; a player that hangs must still not freeze the client.
constexpr auto kPlayerWait = std::chrono::seconds(2);
constexpr timespec kPollPause{0, 1'000'000};

// Players that outlived the wait; reaped on later calls so that none stays a zombie.
std::vector<pid_t> unfinished_players;

void reap_unfinished_players()
{
    std::erase_if(unfinished_players, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

int wait_for_player(pid_t pid)
{
    const auto deadline = std::chrono::steady_clock::now() + kPlayerWait;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
        if (done < 0 && errno != EINTR) return 0;  // reaped elsewhere: the status is gone
        if (std::chrono::steady_clock::now() >= deadline) {
            unfinished_players.push_back(pid);
            return 0;
        }
        nanosleep(&kPollPause, nullptr);
    }
}

// The player keeps standard input, output and error only: the client's sockets,
// files and pipes must not stay open in a program that outlives the call.
class OnlyStandardDescriptors {
public:
    OnlyStandardDescriptors()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    }
    ~OnlyStandardDescriptors() { posix_spawn_file_actions_destroy(&actions); }
    OnlyStandardDescriptors(const OnlyStandardDescriptors&) = delete;
    OnlyStandardDescriptors& operator=(const OnlyStandardDescriptors&) = delete;
    const posix_spawn_file_actions_t* get() const { return &actions; }

private:
    posix_spawn_file_actions_t actions{};
};

int run_player(const std::vector<std::string>& command, const char* device)
{
    std::vector<std::string> words(command);
    words.emplace_back(device);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const OnlyStandardDescriptors descriptors;
    if (posix_spawnp(&pid, argv[0], descriptors.get(), nullptr, argv.data(), environ) != 0) return 127;
    return wait_for_player(pid);
}

}  // namespace

int zemSoundCommandTimed(const std::vector<std::string>& command, time_t interval, const char* device)
{
    try {
        reap_unfinished_players();
        const time_t current = now();
        const bool playable = !command.empty() && !command.front().empty() && device && *device && interval != 0;
        if (playable) {
            if (current - interval <= last_sound_time) return -1;
            last_sound_time = current;
            return run_player(command, device);
        }
        if (last_sound_time < current - interval) {
            last_sound_time = current;
            return -2;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return -3;
    }
}
