// A fresh HOME for a benchmark that loads the plug-in: a temporary folder
// whose data folder holds the language file, without which the plug-in stays
// loaded but inactive and lets lines pass untouched.
#pragma once

#include <benchmark/benchmark.h>

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
