// A fresh HOME for a benchmark that loads the plug-in: a temporary folder
// whose data folder holds the language file, without which the plug-in stays
// loaded but inactive and lets lines pass untouched.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

// The folder (for the caller to remove), or an empty path after an error.
inline std::filesystem::path make_bench_home(benchmark::State& state)
{
    char home[] = "/tmp/quibo_bench_XXXXXX";
    if (!mkdtemp(home)) {
        state.SkipWithError("no temporary folder");
        return {};
    }
    setenv("HOME", home, 1);
    const std::filesystem::path data = std::filesystem::path(home) / ".xchat2" / "quiboscript";
    std::filesystem::create_directories(data);
    std::filesystem::copy_file(std::filesystem::path(QUIBO_DATA_DIR) / "quibo_italiano.msg",
                               data / "quibo_italiano.msg");
    return home;
}

// The plug-in's load and unload reports go to standard output: kept out of the results while this lives.
class QuietStdout {
public:
    QuietStdout() : saved(dup(STDOUT_FILENO)), null_fd(open("/dev/null", O_WRONLY))
    {
        fflush(stdout);
        dup2(null_fd, STDOUT_FILENO);
    }
    ~QuietStdout()
    {
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        close(null_fd);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved;
    int null_fd;
};
