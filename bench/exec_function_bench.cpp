// exec( over a channel of 10,000 users: one command per user built and put
// into the command queue (the queue then runs them by its own rules).
#include "bench_home.h"
#include "hostsim.h"

#include "host/host.h"
#include "queue/queue.h"
#include "script/functions.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

hostsim::User user(int i)
{
    hostsim::User u;
    u.nick = "user" + std::to_string(i);
    u.host = "~u" + std::to_string(i) + "@host" + std::to_string(i) + ".bench.net";
    u.prefix = i % 10 == 0 ? "@" : (i % 3 == 0 ? "+" : "");
    u.realname = "Bench User " + std::to_string(i);
    return u;
}

// `argument` empty: only the channel's user list read through the binding,
// the part of exec('s cost that the client (here the simulator) sets.
void ExecOverChannel(benchmark::State& state, const char* argument)
{
    const std::filesystem::path home = make_bench_home(state);
    if (home.empty()) return;
    hostsim::Sim sim;
    auto& server = sim.add_server("irc.bench.net", "me", "BenchNet", "irc.bench.net");
    auto& chan = sim.channel(server, "#big");
    const int users = static_cast<int>(state.range(0));
    for (int i = 0; i < users; ++i) chan.users.insert(user(i));
    sim.focus(chan);
    xchat_plugin* handle = sim.attach("bench", &chan);
    char *name, *desc, *version;
    {
        QuietStdout quiet;
        xchat_plugin_init(handle, &name, &desc, &version, nullptr);
    }
    current_tab = session_of(chan.handle());
    execution_tab = nullptr;
    std::string text = std::string(" ") + argument + " " + kCallClose;
    StringProtection(text, 0);
    const InertText marked(text);
    const AdvancedFunction* exec = find_advanced_function("exec(");
    size_t queued = 0;
    for (auto _ : state) {
        if (*argument) {
            std::optional<std::string> result = exec->handler(marked);
            benchmark::DoNotOptimize(result);
        } else {
            benchmark::DoNotOptimize(zem_userlist_flat_list(current_tab).size());
        }
        state.PauseTiming();
        queued = pCmdQueue.size();
        pCmdQueue.clear();
        iObjectInQueue = 0;
        sim.clear_records();  // the simulator's own log of list reads
        state.ResumeTiming();
    }
    state.counters["queued"] = static_cast<double>(queued);
    {
        QuietStdout quiet;
        xchat_plugin_deinit(handle);
    }
    sim.detach(handle);
    std::filesystem::remove_all(home);
}

void ExecEveryUser(benchmark::State& state) { ExecOverChannel(state, ",/notice $execnick hello $execrealname"); }
void ExecOperatorsOnly(benchmark::State& state) { ExecOverChannel(state, "o,/deop $execnick"); }
void UserListReadOnly(benchmark::State& state) { ExecOverChannel(state, ""); }

}  // namespace

BENCHMARK(ExecEveryUser)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(ExecOperatorsOnly)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(UserListReadOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
