// Raw server lines through the loaded plug-in in the simulated client: with
// the context unchanged between lines, the mirrors are not rebuilt, so a line
// costs a few client calls however many tabs are open.
#include "hostsim.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

void RawLineThroughTheHostBinding(benchmark::State& state)
{
    char home[] = "/tmp/quibo_bench_XXXXXX";
    if (!mkdtemp(home)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    setenv("HOME", home, 1);

    hostsim::Sim sim;
    auto& server = sim.add_server("irc.bench.net", "me", "BenchNet", "irc.bench.net");
    hostsim::Context* first = nullptr;
    for (int i = 0; i < state.range(0); ++i) {
        auto& chan = sim.channel(server, "#chan" + std::to_string(i));
        if (!first) first = &chan;
    }
    sim.focus(*first);
    xchat_plugin* handle = sim.attach("bench", first);
    char *name, *desc, *version;
    // The load and unload reports go to standard output; keep them out of the results.
    fflush(stdout);
    int saved_stdout = dup(STDOUT_FILENO);
    int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    xchat_plugin_init(handle, &name, &desc, &version, nullptr);

    const std::string line = ":alice!a@a.host PRIVMSG #chan0 :hello there";
    for (auto _ : state) {
        benchmark::DoNotOptimize(sim.server_line(server, line));
        state.PauseTiming();
        sim.clear_records();
        state.ResumeTiming();
    }
    xchat_plugin_deinit(handle);
    sim.detach(handle);
    fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    close(null_fd);
    std::filesystem::remove_all(home);
}
BENCHMARK(RawLineThroughTheHostBinding)->Arg(1)->Arg(50);

}  // namespace

BENCHMARK_MAIN();
