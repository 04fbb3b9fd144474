// /quibo if, else if and else, and the shell substitution of a condition.
#include "script_fixture.h"

#include "settings/main_command.h"

#include <chrono>

namespace {

class Condition : public ScriptTest {
protected:
    // The commands a typed "/quibo <line>" hands to the client.
    std::vector<std::string> run(const std::string& line)
    {
        sim.clear_records();
        quibo(line);
        ExecCommandInQueue(-1);
        return drained_so_far();
    }

    bool holds(const std::string& condition) { return run("if " + condition + " /echo yes") == echo_yes(); }
    static std::vector<std::string> echo_yes() { return {"echo yes"}; }
};

TEST_F(Condition, NumbersCompareAsNumbersAndTextIgnoringCase)
{
    EXPECT_TRUE(holds("10 > 9"));
    EXPECT_FALSE(holds("9 > 10"));
    EXPECT_TRUE(holds("b > A"));
    EXPECT_TRUE(holds("a < B"));
    EXPECT_TRUE(holds("1,5 < 2"));
    EXPECT_TRUE(holds("2,5 < 10"));
    EXPECT_FALSE(holds("2,5 < 2,25"));
    EXPECT_TRUE(holds("123456789012345678901 > 99999999999999999999"));
    EXPECT_TRUE(holds("Hello = hELLO"));
    EXPECT_TRUE(holds("abc ! abd"));
    EXPECT_TRUE(holds("xabcx : ABC"));
    EXPECT_TRUE(holds("ab : xaby"));
    EXPECT_FALSE(holds("ab : xy"));
}

TEST_F(Condition, OperandsAreResolvedAndARightSlashIsARegularExpression)
{
    EXPECT_TRUE(holds("$nickname = /^m"));
    EXPECT_FALSE(holds("$nickname = /^x"));
    EXPECT_TRUE(holds("$nickname ! /^x"));
    EXPECT_TRUE(holds("toupper($_$nickname$_) = ME"));
    take();
    EXPECT_FALSE(holds("abc = /a("));
    EXPECT_EQ(ps_zemregexp_error, nullptr);
    EXPECT_EQ(sim.count_printed_containing("/a("), 1);
}

TEST_F(Condition, TheCommandIsResolvedUnlessItBeginsWithABar)
{
    EXPECT_EQ(run("if 1 = 1 /echo $nickname"), std::vector<std::string>{"echo me"});
    EXPECT_EQ(run("if 1 = 1 |/echo $nickname _QUIBO_US_DOLLAR_x"), std::vector<std::string>{"echo $nickname $x"});
}

TEST_F(Condition, MissingPartsAreReported)
{
    take();
    HostSession* sess = here();
    EXPECT_EQ(quibo_if(sess, "", '=', "b", "/echo"), 0);
    EXPECT_EQ(quibo_if(sess, "a", '?', "b", "/echo"), 0);
    EXPECT_EQ(quibo_if(sess, "a", '=', "", "/echo"), 0);
    EXPECT_EQ(quibo_if(sess, "a", '=', "b", ""), 0);
    EXPECT_EQ(quibo_if(nullptr, "a", '=', "a", "/echo"), 0);
    EXPECT_EQ(take(), (std::vector<std::string>{message(831), message(830), message(829), message(828)}));
    iFlagEnableDatabase = 0;
    EXPECT_TRUE(run("if 1 = 1 /echo yes").empty());
    EXPECT_TRUE(printed_message(285));
}

TEST_F(Condition, ElseIfAndElseFollowTheChain)
{
    EXPECT_EQ(run("if 1 = 2 /echo a"), std::vector<std::string>{});
    EXPECT_EQ(run("else if 1 = 1 /echo b"), std::vector<std::string>{"echo b"});
    EXPECT_EQ(run("else /echo c"), std::vector<std::string>{});

    EXPECT_EQ(run("if 1 = 2 /echo a"), std::vector<std::string>{});
    EXPECT_EQ(run("else if 1 = 3 /echo b"), std::vector<std::string>{});
    EXPECT_EQ(run("else /echo c\\;/echo $nickname"), (std::vector<std::string>{"echo c", "echo me"}));
    EXPECT_EQ(iIfChainState, -1);
    EXPECT_EQ(run("else /echo d"), std::vector<std::string>{});

    EXPECT_EQ(run("if 1 = 1 /echo a"), std::vector<std::string>{"echo a"});
    EXPECT_EQ(run("else /echo c"), std::vector<std::string>{});
}

TEST_F(Condition, ShellSubstitutionGivesItsOutput)
{
    EXPECT_TRUE(holds("$(printf$_\\(a\\nb\\n\\)) = a$_b"));  // "$_" is a space, lines are joined
    EXPECT_TRUE(holds("x$(echo$_hi)y = xhiy"));
    EXPECT_EQ(resolve("$output"), "hi");
    EXPECT_TRUE(holds("$(echo$_\\(a$_$_b\\)) = a$_$_b"));
    take();
    EXPECT_FALSE(holds("$(echo$_\\(a) = a"));
    EXPECT_EQ(take(), std::vector<std::string>{"\0034Missing\0036 \\)\0034 in command."});
}

TEST_F(Condition, AShellThatCannotStartMakesTheConditionFalse)
{
    psShellProgram = home.path() + "/no-such-shell";
    take();
    EXPECT_FALSE(holds("$(echo$_x) ! nothing"));
    EXPECT_EQ(sim.count_printed_containing("No such file or directory"), 1);
}

TEST_F(Condition, ALongShellCommandIsKilledAtTheTimeLimit)
{
    EXPECT_EQ(iShellTimeLimitMs, 10000);
    iShellTimeLimitMs = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(holds("$(echo$_started;sleep$_30;echo$_late) = late"));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(resolve("$output"), "started");
    // The client goes on at once.
    EXPECT_EQ(run("cmd /echo after"), std::vector<std::string>{"echo after"});
}

}  // namespace
