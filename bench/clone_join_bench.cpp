// Joining a big channel: our JOIN, the NAMES replies, one WHO reply per user
// and the end of the WHO listing with its clone scan, each line through the
// raw-line hook of the plug-in as the client calls it. Five users in a hundred
// share their host in groups of two to four; hosts have nothing to do with the
// order of the nicks. The WHO replies come in the order of the NAMES list, as
// a server that walks one member list for both sends them (the variant
// ...InRandomOrder shuffles them).
//
// Only the plug-in's time counts: each line is split into words just before
// its call, as the client does when it reads it, and only the call is timed;
// the client's tab and user list are there already, and the database is
// emptied between runs outside the measurement.
#include "bench_home.h"
#include "capture.h"
#include "hostsim.h"
#include "internal.h"

#include "handlers/handlers.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

std::string nick_of(int i) { return "u" + std::to_string(i); }

// Users below users/20 form host groups of 2, 3, 4, 2, ...; the others have hosts of their own.
std::vector<std::string> hosts_for(int users)
{
    std::vector<std::string> hosts(users);
    const int in_groups = users / 20;
    int user = 0;
    for (int g = 0; user < in_groups; ++g)
        for (int k = 0; k < 2 + g % 3 && user < in_groups; ++k, ++user) hosts[user] = "g" + std::to_string(g) + ".clone.net";
    for (; user < users; ++user) hosts[user] = "s" + std::to_string(user) + ".host.net";
    // Hosts have nothing to do with nicks: the clones are spread over the channel.
    std::shuffle(hosts.begin(), hosts.end(), std::mt19937(15));
    return hosts;
}

// The lines of the burst.
std::vector<std::string> burst(int users, bool who_shuffled)
{
    const std::vector<std::string> hosts = hosts_for(users);
    std::vector<std::string> lines{":me!me@bench.host JOIN :#big"};
    std::string names;
    for (int i = 0; i < users; ++i) {
        names += (names.empty() ? "" : " ") + nick_of(i);
        if (names.size() > 400 || i + 1 == users) {
            lines.push_back(":irc.bench.net 353 me = #big :" + names);
            names.clear();
        }
    }
    lines.push_back(":irc.bench.net 366 me #big :End of /NAMES list.");
    std::vector<int> order(users);
    for (int i = 0; i < users; ++i) order[i] = i;
    if (who_shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(16));
    for (int i : order)
        lines.push_back(":irc.bench.net 352 me #big id " + hosts[i] + " irc.bench.net " + nick_of(i) + " H :0 User");
    lines.push_back(":irc.bench.net 315 me #big :End of /WHO list.");
    return lines;
}

void join_burst(benchmark::State& state, bool who_shuffled)
{
    const std::filesystem::path home = make_bench_home(state);
    if (home.empty()) return;
    const int users = static_cast<int>(state.range(0));
    hostsim::Sim sim;
    auto& server = sim.add_server("irc.bench.net", "me", "BenchNet", "irc.bench.net");
    auto& chan = sim.channel(server, "#big");
    const std::vector<std::string> hosts = hosts_for(users);
    sim.add_user(chan, "me", "me@bench.host", "@");
    for (int i = 0; i < users; ++i) sim.add_user(chan, nick_of(i), "id@" + hosts[i]);
    sim.focus(chan);
    xchat_plugin* handle = sim.attach("bench", &chan);
    char *name, *desc, *version;
    {
        hostsim::StdoutCapture quiet;  // the load report
        xchat_plugin_init(handle, &name, &desc, &version, nullptr);
    }
    iFlagEnableDatabase = 1;  // the unload after an earlier run in this process switched it off
    const hostsim::Hook& raw_line = *sim.hooks(hostsim::HookKind::Server).front();
    const std::vector<std::string> lines = burst(users, who_shuffled);
    int reports = 0;
    // Where the time goes: the JOIN and NAMES lines, the WHO replies, the end of the listing.
    const size_t who_first = 2 + (lines.size() - users - 3), who_end = who_first + users;
    double phase_ns[3] = {0, 0, 0};
    for (auto _ : state) {
        double burst_ns = 0;
        const auto run = [&](size_t from, size_t to, double& ns) {
            for (size_t i = from; i < to; ++i) {
                hostsim::WordArrays words(lines[i], false, false);
                const auto start = std::chrono::steady_clock::now();
                raw_line.command_cb(words.word(), words.word_eol(), raw_line.userdata);
                const double took = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
                ns += took;
                burst_ns += took;
            }
        };
        run(0, who_first, phase_ns[0]);
        run(who_first, who_end, phase_ns[1]);
        run(who_end, lines.size(), phase_ns[2]);
        state.SetIterationTime(burst_ns / 1e9);
        reports = sim.count_printed_containing("Clone:");
        const int size = GetSize();
        FlushUser();
        IsDatabaseChanged();
        sim.clear_records();
        if (size != users + 1) {
            fprintf(stderr, "database holds %d records, not %d\n", size, users + 1);
            state.SkipWithError("the database missed users");
            break;
        }
    }
    state.counters["clone_reports"] = reports;
    const double runs = static_cast<double>(state.iterations());
    if (runs > 0) {
        state.counters["names_ms"] = phase_ns[0] / runs / 1e6;
        state.counters["who_us_per_line"] = phase_ns[1] / runs / users / 1e3;
        state.counters["endwho_ms"] = phase_ns[2] / runs / 1e6;
    }
    {
        hostsim::StdoutCapture quiet;
        xchat_plugin_deinit(handle);
    }
    FlushDatabases();
    SetCurrentDatabase(0);
    sim.detach(handle);
    std::filesystem::remove_all(home);
}
void JoinBurstWithCloneScan(benchmark::State& state) { join_burst(state, false); }
void JoinBurstWithCloneScanWhoInRandomOrder(benchmark::State& state) { join_burst(state, true); }

BENCHMARK(JoinBurstWithCloneScan)->Arg(1000)->Arg(5000)->Arg(10000)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(JoinBurstWithCloneScanWhoInRandomOrder)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
