// The plug-in's raw-line callback, called as the client calls it for each
// server line, with the simulated client behind the interface: with the
// context unchanged between lines, the mirrors are not rebuilt, so a line
// costs a few client calls however many tabs are open. The simulator's own
// dispatch of the line (splitting, finding the tab, walking its hook list) is
// the client's cost, not the plug-in's, and stays out of the measure.
#include "host/lifecycle.h"
#include "bench_home.h"
#include "hostsim.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

void RawLineThroughTheHostBinding(benchmark::State& state)
{
    const std::filesystem::path home = make_bench_home(state);
    if (home.empty()) return;

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

    std::vector<const hostsim::Hook*> raw_hooks = sim.hooks(hostsim::HookKind::Server);
    std::string line = ":alice!a@a.host PRIVMSG #chan0 :hello there";
    std::string words[] = {"", ":alice!a@a.host", "PRIVMSG", "#chan0", ":hello", "there"};
    std::array<char*, 33> word{}, word_eol{};
    std::string empty;
    word.fill(empty.data());
    word_eol.fill(empty.data());
    for (size_t i = 1; i < std::size(words); ++i) word[i] = words[i].data();
    word_eol[1] = line.data();
    if (!module_active()) {
        state.SkipWithError("the plug-in did not load");
    } else if (raw_hooks.size() != 1) {
        state.SkipWithError("the plug-in did not hook the raw line");
    } else {
        const hostsim::Hook& raw = *raw_hooks.front();
        for (auto _ : state) benchmark::DoNotOptimize(raw.command_cb(word.data(), word_eol.data(), raw.userdata));
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
