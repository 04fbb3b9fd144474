// The shell command of a condition's "$( … )", run with a time limit.
#include "script/script.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

int iShellTimeLimitMs = 10000;
std::string psShellProgram = "/bin/sh";

namespace {

constexpr size_t kShellOutputMax = 4095;

struct Pipe {
    int fd[2] = {-1, -1};
    bool open(int flags) { return pipe2(fd, flags) == 0; }
    void close_end(int i)
    {
        if (fd[i] >= 0) ::close(fd[i]);
        fd[i] = -1;
    }
    ~Pipe()
    {
        close_end(0);
        close_end(1);
    }
};

[[noreturn]] void run_child(const std::string& command, Pipe& out, Pipe& failure)
{
    setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, STDIN_FILENO);
    dup2(out.fd[1], STDOUT_FILENO);
    execl(psShellProgram.c_str(), "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    const int error = errno;
    (void)!write(failure.fd[1], &error, sizeof error);
    _exit(127);
}

// The errno of a child that could not start the shell, else 0.
int start_error(Pipe& failure)
{
    failure.close_end(1);
    int error = 0;
    ssize_t n;
    while ((n = read(failure.fd[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

// Reads the child's output until it closes or the time is up; false on time-out.
bool read_output(int fd, std::string& output)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(iShellTimeLimitMs);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return ready == 0 ? false : true;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        const size_t room = kShellOutputMax - std::min(output.size(), kShellOutputMax);
        output.append(buffer, std::min(static_cast<size_t>(n), room));
    }
}

}  // namespace

ShellResult run_shell_command(const std::string& command)
{
    ShellResult result;
    Pipe out, failure;
    if (!out.open(O_CLOEXEC) || !failure.open(O_CLOEXEC)) {
        result.error = strerror(errno);
        return result;
    }
    const pid_t child = fork();
    if (child < 0) {
        result.error = strerror(errno);
        return result;
    }
    if (child == 0) run_child(command, out, failure);
    setpgid(child, child);
    out.close_end(1);
    if (const int error = start_error(failure)) {
        waitpid(child, nullptr, 0);
        result.error = strerror(error);
        return result;
    }
    result.started = true;
    result.timed_out = !read_output(out.fd[0], result.output);
    if (result.timed_out) {
        kill(-child, SIGKILL);
        kill(child, SIGKILL);
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return result;
}
