// The regexp tester as a program: its output is compared byte for byte.
#include "support.h"

#include <gtest/gtest.h>

namespace {

ProgramRun zemregexp(std::vector<std::string> args)
{
    args.insert(args.begin(), ZEMREGEXP_PROGRAM);
    return run_program(args);
}

const char* const kUsage = "Sintax Error\nUse:\n\tzemregexp <regexp> <string>\n\tzemregexp '^[A-Z$_[:punct:]]*$' 'TEST !'\n";

}  // namespace

TEST(ZemregexpProgram, PrintsTheResultAndTheMatchedText)
{
    const struct {
        std::vector<std::string> args;
        const char* output;
    } cases[] = {
        {{"a$_b", "xa b"}, "regexp   a b   on:   xa b   = 1\nPattern found from char 2 to 4 = 'a b'\n"},
        {{"x*", "abc"}, "regexp   x*   on:   abc   = 1\nPattern found from char 1 to 0 = ''\n"},
        {{"^a.c$", "'abc'"}, "regexp   ^a.c$   on:   abc   = 1\nPattern found from char 1 to 3 = 'abc'\n"},
        {{"b'", "ab'"}, "regexp   b'   on:   ab   = 0\n"},  // only the string loses its quotes
        {{"^x_QUIBOSCRIPT_COMMA_y", "x,y$_z"},
         "regexp   ^x,y   on:   x,y z   = 1\nPattern found from char 1 to 3 = 'x,y'\n"},
        {{"z", "abc"}, "regexp   z   on:   abc   = 0\n"},
        {{"(ab", "abc"}, "OOPS, Invalid regexp (Un-matched parenthesis group operators.)\nregexp   (ab   on:   abc   = 0\n"},
        {{"a", "''"}, "regexp   a   on:      = 0\n"},
        {{"only"}, kUsage},
        {{}, kUsage},
    };
    for (const auto& c : cases) {
        const ProgramRun run = zemregexp(c.args);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.status, 0);
    }
}
