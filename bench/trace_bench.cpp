// One DebugPlugin call in ring mode, as the operations make them on entry and
// exit: a BEGIN line with a few short texts, an END line with a number, and a
// line carrying a long text. Also the reading of a full ring, as the dump does.
#include "host/trace.h"
#include "settings/settings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void ring_mode()
{
    iFlagDebugModeFnc = 0;
    iFlagDisableSHBM = 0;
    iFlagDisableDebugPlugin = 0;
    DebugPluginRingClear();
}

void BM_TraceBeginShortTexts(benchmark::State& state)
{
    ring_mode();
    const std::string server = "irc.bench.net", channel = "#big", nick = "user1234";
    const std::string host = "~u1234@host1234.example.net";
    for (auto _ : state) {
        DebugPlugin(0, "BEGIN: GetUser(%s, %s, %s, %s, %s)", server.c_str(), channel.c_str(), nick.c_str(),
                    host.c_str(), "NULL");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceBeginShortTexts);

void BM_TraceEndNumber(benchmark::State& state)
{
    ring_mode();
    int result = 0;
    for (auto _ : state) {
        DebugPlugin(0, "END: InsertUser() = %d", result);
        result = (result + 1) & 7;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceEndNumber);

void BM_TraceLongText(benchmark::State& state)
{
    ring_mode();
    const std::string text(300, 'x');
    for (auto _ : state) DebugPlugin(1, " * quibo_in: line = %s", text.c_str());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TraceLongText);

// A repeating mix of the three, as a stream of lines would make them.
void BM_TraceMixed(benchmark::State& state)
{
    ring_mode();
    const std::string server = "irc.bench.net", channel = "#big", nick = "user1234";
    const std::string host = "~u1234@host1234.example.net", text(300, 'x');
    for (auto _ : state) {
        DebugPlugin(0, "BEGIN: GetUser(%s, %s, %s, %s, %s)", server.c_str(), channel.c_str(), nick.c_str(),
                    host.c_str(), "NULL");
        DebugPlugin(1, " * GetUser: found %p", static_cast<const void*>(&nick));
        DebugPlugin(0, "END: GetUser() = %p", static_cast<const void*>(&host));
        DebugPlugin(0, "END: InsertUser() = %d", 0);
        DebugPlugin(1, " * quibo_in: line = %s", text.c_str());
    }
    state.SetItemsProcessed(state.iterations() * 5);
    state.counters["ring_bytes"] = static_cast<double>(DebugPluginRingBytes());
}
BENCHMARK(BM_TraceMixed);

// Reading back a full ring of typical lines (what /quibo shbm_save does).
void BM_TraceReadFullRing(benchmark::State& state)
{
    ring_mode();
    const std::string nick = "user1234";
    for (int i = 0; i < kTraceRingLines; ++i) {
        DebugPlugin(0, "BEGIN: GetUser(%s, %s, %d)", "irc.bench.net", nick.c_str(), i);
    }
    for (auto _ : state) benchmark::DoNotOptimize(DebugPluginRingLines());
    state.SetItemsProcessed(state.iterations() * kTraceRingLines);
}
BENCHMARK(BM_TraceReadFullRing);

}  // namespace

BENCHMARK_MAIN();
