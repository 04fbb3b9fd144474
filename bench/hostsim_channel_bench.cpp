// The simulated client with a busy channel: filling a channel of N users from
// NAMES lines, from JOIN lines and from direct calls, and reading it back
// through the client's "users" list. Each should stay in milliseconds for
// 10,000 users (a linear search per user made 10,000 JOINs take seconds).
#include "hostsim.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

std::string nick(int64_t i) { return "user" + std::to_string(i); }

void FillFromNames(benchmark::State& state)
{
    std::vector<std::string> names;
    for (int64_t i = 0; i < state.range(0); ++i) names.push_back((i % 50 == 0 ? "@" : "") + nick(i));
    for (auto _ : state) {
        hostsim::Sim sim;
        auto& net = sim.add_server("irc.bench.net", "me");
        sim.server_line(net, ":me!m@h JOIN #big");
        sim.names(net, "#big", names);
        benchmark::DoNotOptimize(sim.find_tab(net, "#big")->users.size());
    }
}
BENCHMARK(FillFromNames)->Arg(10000)->Unit(benchmark::kMillisecond);

void FillFromJoins(benchmark::State& state)
{
    std::vector<std::string> lines;
    for (int64_t i = 0; i < state.range(0); ++i) lines.push_back(":" + nick(i) + "!u@h" + std::to_string(i) + " JOIN #big");
    for (auto _ : state) {
        hostsim::Sim sim;
        auto& net = sim.add_server("irc.bench.net", "me");
        auto& chan = sim.channel(net, "#big");
        for (const std::string& line : lines) sim.server_line(net, line);
        benchmark::DoNotOptimize(chan.users.size());
    }
}
BENCHMARK(FillFromJoins)->Arg(10000)->Unit(benchmark::kMillisecond);

void FillFromCallsAndReadBack(benchmark::State& state)
{
    for (auto _ : state) {
        hostsim::Sim sim;
        auto& net = sim.add_server("irc.bench.net", "me");
        auto& chan = sim.channel(net, "#big");
        for (int64_t i = 0; i < state.range(0); ++i) sim.add_user(chan, nick(i), "u@h");
        xchat_plugin* ph = sim.attach("reader", &chan);
        xchat_list* list = ph->xchat_list_get(ph, "users");
        int64_t read = 0;
        while (ph->xchat_list_next(ph, list)) read += ph->xchat_list_str(ph, list, "nick") != nullptr;
        ph->xchat_list_free(ph, list);
        if (read != state.range(0)) state.SkipWithError("the list lost users");
    }
}
BENCHMARK(FillFromCallsAndReadBack)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
