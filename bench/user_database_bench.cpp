// The user database with one busy channel of N users (N = 1k, 10k, 100k):
// inserting them, looking each up by nick and by host, and walking the channel.
// Per-operation times should grow at most logarithmically with N, and a record
// with typical IRC field lengths, indexes included, should stay within 400 bytes.
#include "users/chatuser.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr const char* kServer = "irc.libera.chat";
constexpr const char* kChannel = "#bigchannel";
// What a WHO reply leaves in a record: the flags, the hop count and the real name.
constexpr const char* kWhoData = "H 0 Firstname Lastname";

struct Crowd {
    std::vector<std::string> nicks, addresses, hosts;
};

// Nicks of about ten characters, addresses of about forty, hosts in no particular order.
const Crowd& crowd(int size)
{
    static Crowd all;
    for (int i = static_cast<int>(all.nicks.size()); i < size; ++i) {
        const uint64_t mixed = (static_cast<uint64_t>(i) * 2654435761u) % 4294967291u;
        all.nicks.push_back("Guest" + std::to_string(10000 + i));
        all.hosts.push_back("host-" + std::to_string(mixed) + ".dsl.example-isp.net");
        all.addresses.push_back("~user" + std::to_string(i % 1000) + "@" + all.hosts.back());
    }
    return all;
}

void fill(int size)
{
    const Crowd& people = crowd(size);
    for (int i = 0; i < size; ++i) {
        ChatUserPtr user = CreateUser(kServer, kChannel, people.nicks[i].c_str(), people.addresses[i].c_str(),
                                      kWhoData);
        InsertUser(user);
        IsDatabaseChanged();
    }
}

size_t heap_in_use() { return mallinfo2().uordblks; }

benchmark::Counter per_operation(int64_t operations)
{
    return benchmark::Counter(static_cast<double>(operations),
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void InsertUsersOfOneChannel(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    crowd(size);
    FlushUser();
    double bytes_per_record = 0;
    for (auto _ : state) {
        const size_t before = heap_in_use();
        fill(size);
        state.PauseTiming();
        bytes_per_record = static_cast<double>(heap_in_use() - before) / size;
        FlushUser();
        state.ResumeTiming();
    }
    state.counters["time_per_insert"] = per_operation(size);
    state.counters["bytes_per_record"] = bytes_per_record;
}

void LookUpEachByNick(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    FlushUser();
    fill(size);
    const Crowd& people = crowd(size);
    for (auto _ : state)
        for (int i = 0; i < size; ++i)
            benchmark::DoNotOptimize(GetUser(kServer, kChannel, people.nicks[i].c_str(), nullptr, nullptr));
    state.counters["time_per_lookup"] = per_operation(size);
    FlushUser();
}

void LookUpEachByHost(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    FlushUser();
    fill(size);
    const Crowd& people = crowd(size);
    QuerySetup(4);
    for (auto _ : state)
        for (int i = 0; i < size; ++i)
            benchmark::DoNotOptimize(GetUser(nullptr, nullptr, nullptr, people.hosts[i].c_str(), nullptr));
    QuerySetup(0);
    state.counters["time_per_lookup"] = per_operation(size);
    FlushUser();
}

void WalkTheChannel(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    FlushUser();
    fill(size);
    int hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (ChatUser* user = GetUser(kServer, kChannel, nullptr, nullptr, nullptr); user; user = GetUserNext()) ++hits;
    }
    state.counters["time_per_hit"] = per_operation(hits);
    FlushUser();
}

BENCHMARK(InsertUsersOfOneChannel)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(LookUpEachByNick)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(LookUpEachByHost)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WalkTheChannel)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
