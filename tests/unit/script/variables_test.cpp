// User variables and the variable command.
#include "script_fixture.h"

namespace {

class Variables : public ScriptTest {
protected:
    std::vector<std::string> cmd(const std::string& line)
    {
        sim.clear_records();
        quibo("cmd " + line);
        ExecCommandInQueue(-1);
        return drained_so_far();
    }
    static std::string shown(const std::string& name, const std::string& value)
    {
        return "\0034$" + name + "\017 =\0033 " + value + "\017";
    }
};

TEST_F(Variables, LongerNamesResolveFirst)
{
    quibo("set a 1");
    quibo("set abc 2");
    quibo("set ab 3");
    EXPECT_EQ(resolve("$abc $ab $a $abcd"), "2 3 1 2d");
    take();
    quibo("set");
    EXPECT_EQ(take(), (std::vector<std::string>{shown("abc", "2"), shown("ab", "3"), shown("a", "1")}));
}

TEST_F(Variables, SettingTwiceKeepsOneRecord)
{
    take();
    quibo("set a 1");
    quibo("set a 1");
    EXPECT_EQ(take(), (std::vector<std::string>{shown("a", "1"), shown("a", "1")}));
    quibo("set a two words");
    quibo("set");
    EXPECT_EQ(take(), (std::vector<std::string>{shown("a", "two words"), shown("a", "two words")}));
    EXPECT_EQ(quibo_set_variable(here(), "a", "3", 0, 0), 1);
    EXPECT_EQ(quibo_set_variable(here(), "b", "3", 0, 0), 0);
}

TEST_F(Variables, HiddenAndSilentVariables)
{
    take();
    quibo("seth quiet 1");
    quibo("seth_internal x 5");
    EXPECT_TRUE(take().empty());
    quibo("set");
    EXPECT_EQ(take(), std::vector<std::string>{shown("quiet", "1")});
    quibo("set *");
    EXPECT_EQ(take(), (std::vector<std::string>{shown("quiet", "1"), shown("x", "5")}));
    quibo("set x");
    EXPECT_EQ(take(), std::vector<std::string>{shown("x", "5")});
    EXPECT_EQ(resolve("$x"), "5");
}

TEST_F(Variables, ListingReportsWhatIsMissing)
{
    take();
    quibo("set");
    EXPECT_EQ(take(), std::vector<std::string>{message(832)});
    quibo("set a 1");
    take();
    quibo("set nope");
    EXPECT_EQ(take(), std::vector<std::string>{message(833, "nope")});
    quibo("set $a 2");
    EXPECT_EQ(take(), std::vector<std::string>{message(823, "$a")});
    quibo("set star *x");
    EXPECT_EQ(take(), (std::vector<std::string>{"WARNING: The '*' character is internally used to list all variables.",
                                                shown("star", "*x")}));
}

TEST_F(Variables, NamesAreCutAtASecondDollar)
{
    quibo_set_variable(here(), "a$b", "v", 0, 0);
    EXPECT_EQ(resolve("$a"), "v");
}

TEST_F(Variables, FlushForgetsEverything)
{
    quibo("set a 1");
    flush_user_variables();
    EXPECT_EQ(resolve("$a"), "$a");
}

TEST_F(Variables, CmdSplitsAtTheSeparatorAndResolvesEachPiece)
{
    EXPECT_EQ(cmd("/echo a\\;/echo b"), (std::vector<std::string>{"echo a", "echo b"}));
    EXPECT_EQ(cmd("/echo $nickname\\;|/echo $nickname"), (std::vector<std::string>{"echo me", "echo $nickname"}));
    EXPECT_EQ(cmd("|/echo $nickname"), std::vector<std::string>{"echo $nickname"});
    EXPECT_EQ(cmd("/echo a$_b"), std::vector<std::string>{"echo a b"});
    // A separator at the very end does not split; a piece that begins with a backslash does not run.
    EXPECT_EQ(cmd("/echo a\\;"), std::vector<std::string>{"echo a\\;"});
    EXPECT_EQ(cmd("/echo a\\;\\x\\;/echo b"), (std::vector<std::string>{"echo a", "echo b"}));
    // A separator written as a placeholder is part of the command.
    EXPECT_EQ(cmd("/echo a_QUIBO_SEPARATOR_b"), std::vector<std::string>{"echo a\\;b"});
    EXPECT_EQ(cmd("*/echo starred"), std::vector<std::string>{"echo starred"});
}

TEST_F(Variables, CmdQueuesAtTheConditionsPriority)
{
    quibo("set v x");
    sim.clear_records();
    g_sess = here();
    ssQueueLock = 1;  // as during a drain: the commands wait
    quibo_var_cmd(here(), "/echo $v\\;/echo two");
    ssQueueLock = 0;
    ASSERT_EQ(pCmdQueue.size(), 2u);
    EXPECT_EQ(pCmdQueue.front().priority, kPriorityHigh);
    EXPECT_EQ(pCmdQueue.front().psCommand, "/echo x");
    EXPECT_EQ(pCmdQueue.back().psCommand, "/echo two");
}

}  // namespace
