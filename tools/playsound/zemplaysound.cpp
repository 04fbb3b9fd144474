// zemplaysound <soundfile> <audiodevice>
//
// Plays one sound file without making its caller wait: the caller's process
// ends at once and a child does the playing, either by copying the file to a
// device node, by running the ALSA command-line player, or (when the device
// cannot be opened) by running the user's zemplaysound.sh beside this program.
// Nothing goes through a shell: file names reach the player as one argument.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <libgen.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kUsage = "ERROR: zemplaysound <soundfile> <audiodevice>\n";
constexpr const char* kDeviceFailed = "ERROR: Cannot open Audio Device (%s); reason: %s\n";
constexpr const char* kDataFailed = "ERROR: Cannot open Audio Data (%s); reason: %s\n";
constexpr const char* kForkFailed = "ERROR: Cannot fork process; reason: %s\n";
constexpr const char* kRunningScript = "Executing external script: %s\n";
constexpr const char* kRunningPlayer = "Exec: %s\n";
constexpr const char* kCopied = "Read %lld byte from %s and send it to device audio %s\n";

constexpr const char* kAlsaPrefix = "ALSA";
constexpr const char* kAlsaPlayer = "aplay";
constexpr const char* kScriptName = "/zemplaysound.sh";

// The command lines shown to the user are cut to the buffers they always had.
constexpr std::size_t kScriptLineBuffer = 1024;
constexpr std::size_t kPlayerLineBuffer = 8192;
constexpr std::size_t kProgramPathBuffer = 1024;
constexpr std::size_t kScriptDirLimit = 1004;
constexpr std::size_t kBlockSize = 1024;

// What the caller's process reports; the child reports its own statuses.
constexpr int kFinished = 0;
constexpr int kHandedToChild = 1;
constexpr int kCopyDone = 1;
constexpr int kCannotRun = 127;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string cut(std::string text, std::size_t buffer) {
    if (text.size() >= buffer) text.resize(buffer - 1);
    return text;
}

std::string scriptBeside(const char* program) {
    std::string path = cut(program, kProgramPathBuffer);
    std::string dir = dirname(path.data());
    if (dir.size() > kScriptDirLimit) dir.resize(kScriptDirLimit);
    return dir + kScriptName;
}

bool readable(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// The playing child belongs to no one's terminal or input: the caller has
// already been told the outcome and must not wait for it.
void detachFromCaller() {
    setsid();
    const int null = open("/dev/null", O_RDONLY);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        close(null);
    }
}

// Runs argv[0] (searched on PATH when it has no slash) and returns its exit
// status, as the shell would report it.
int runAndWait(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "zemplaysound: %s: %s\n", argv[0], std::strerror(errno));
        _exit(kCannotRun);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return kCannotRun;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Returns 0 in the child, which is already detached, the child's id in the
// caller's process, and -1 (reported) when no child could be started.
pid_t startChild() {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) std::printf(kForkFailed, std::strerror(errno));
    if (pid == 0) detachFromCaller();
    return pid;
}

[[noreturn]] void endChild(int status) {
    std::fflush(nullptr);
    _exit(status);
}

int runFallbackScript(const char* program, const std::string& sound) {
    const std::string script = scriptBeside(program);
    if (!readable(script)) return kFinished;
    std::printf(kRunningScript, cut(script + " " + sound, kScriptLineBuffer).c_str());
    if (startChild() == 0) {
        runAndWait({script, sound});
        endChild(kFinished);
    }
    return kFinished;
}

[[noreturn]] void playWithAlsa(const std::string& sound) {
    std::printf(kRunningPlayer, cut(std::string(kAlsaPlayer) + " " + sound, kPlayerLineBuffer).c_str());
    std::fflush(stdout);
    endChild(runAndWait({kAlsaPlayer, sound}));
}

// The bytes go to the device unchanged: no header is interpreted.
[[noreturn]] void copyToDevice(File data, File device, const std::string& sound,
                               const std::string& deviceName) {
    char block[kBlockSize];
    long long total = 0;
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, data.get())) > 0) {
        std::fwrite(block, 1, got, device.get());
        total += static_cast<long long>(got);
    }
    device.reset();
    data.reset();
    std::printf(kCopied, total, sound.c_str(), deviceName.c_str());
    endChild(kCopyDone);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stdout);
        return kFinished;
    }
    const std::string sound = argv[1];
    const std::string deviceName = argv[2];
    if (sound.empty() || deviceName.empty()) return kFinished;

    const bool alsa = deviceName.starts_with(kAlsaPrefix);
    File device;
    if (!alsa) {
        device.reset(std::fopen(deviceName.c_str(), "wb"));
        if (!device) {
            std::printf(kDeviceFailed, deviceName.c_str(), std::strerror(errno));
            return runFallbackScript(argv[0], sound);
        }
    }
    File data(std::fopen(sound.c_str(), "rb"));
    if (!data) {
        std::printf(kDataFailed, sound.c_str(), std::strerror(errno));
        return kFinished;
    }
    const pid_t child = startChild();
    if (child < 0) return kFinished;
    if (child > 0) return kHandedToChild;
    if (alsa) {
        data.reset();
        playWithAlsa(sound);
    }
    copyToDevice(std::move(data), std::move(device), sound, deviceName);
}
