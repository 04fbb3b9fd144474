// zemregexp on a typical server line in the client's UTF-8 locale: the
// compiled pattern comes from the cache after the first call.
#include "utilities.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>

namespace {

constexpr const char* kLine =
    ":spammer!~spam@host.example.org PRIVMSG #quibo :Win free money at http://example.org/ \xc3\xa9 now";

void MatchAServerLine(benchmark::State& state)
{
    setlocale(LC_ALL, "C.UTF-8");
    const char* pattern = "^:[^ ]+ PRIVMSG #[a-z]+ :.*(free|money)";
    for (auto _ : state) benchmark::DoNotOptimize(zemregexp(pattern, kLine));
}
BENCHMARK(MatchAServerLine);

// For comparison: a pattern the cache does not hold, compiled for the call.
void MatchAServerLineWithANewPattern(benchmark::State& state)
{
    setlocale(LC_ALL, "C.UTF-8");
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string pattern = "^:[^ ]+ PRIVMSG #[a-z]+ :.*(free|money|x" + std::to_string(round++ % 1000) + ")";
        state.ResumeTiming();
        benchmark::DoNotOptimize(zemregexp(pattern.c_str(), kLine));
    }
}
BENCHMARK(MatchAServerLineWithANewPattern);

// Standard output goes to /dev/null while the refusals print their "OOPS" lines.
class QuietOutput {
public:
    QuietOutput() : saved(dup(STDOUT_FILENO))
    {
        fflush(stdout);
        if (FILE* null = fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
            fclose(null);
        }
    }
    ~QuietOutput()
    {
        fflush(stdout);
        if (saved < 0) return;
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;

private:
    int saved;
};

void RefuseAPatternThatWouldTakeSeconds(benchmark::State& state)
{
    QuietOutput quiet;
    int found = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A new pattern each time, so that the verdict is not taken from the cache.
        const std::string pattern = "((a{1,100}){1,100}){1," + std::to_string(50 + round++ % 1000) + "}";
        state.ResumeTiming();
        found += zemregexp(pattern.c_str(), "aaaaaaaaaab");
    }
    if (found) state.SkipWithError("a pathological pattern was matched");
}
BENCHMARK(RefuseAPatternThatWouldTakeSeconds);

}  // namespace

BENCHMARK_MAIN();
