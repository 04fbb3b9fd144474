// The cost of resolving one command line of a script.
#include "script/script.h"
#include "settings/settings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void define_variables()
{
    flush_user_variables();
    quibo_set_variable(nullptr, "greeting", "hello there", 0, 0);
    quibo_set_variable(nullptr, "target", "#channel", 0, 0);
    quibo_set_variable(nullptr, "count", "42", 0, 0);
    quibo_set_variable(nullptr, "a", "1", 0, 0);
}

// 200 characters: four user variables, one setting, two calls (one nested in text).
std::string command_line()
{
    std::string line = "/msg $target $greeting, the counter reads $count and the flag $iFlagColor; "
                       "toupper( shouting words ) then substr( 2,5,abcdefghij ) and $a more plain words follow";
    while (line.size() < 200) line += " and words";
    line.resize(200);
    return line;
}

void BM_ResolveCommandWithVariablesAndCalls(benchmark::State& state)
{
    define_variables();
    const std::string line = command_line();
    for (auto _ : state) benchmark::DoNotOptimize(resolve_expression(line.c_str(), 1));
    state.SetLabel(resolve_expression(line.c_str(), 1).substr(0, 60));
    flush_user_variables();
}
BENCHMARK(BM_ResolveCommandWithVariablesAndCalls);

void BM_ResolvePlainCommand(benchmark::State& state)
{
    define_variables();
    const std::string line(200, 'x');
    for (auto _ : state) benchmark::DoNotOptimize(resolve_expression(line.c_str(), 1));
    flush_user_variables();
}
BENCHMARK(BM_ResolvePlainCommand);

}  // namespace

BENCHMARK_MAIN();
