// The built-in functions as a user writes them, through resolve_expression:
// calls nest, a call that gives nothing stays as written, and exec( takes
// its command as written.
#include "script_fixture.h"

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

class ResolvedCall : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        execution_tab = nullptr;
    }

    Lines queued() const
    {
        Lines commands;
        for (const QueueEntry& entry : pCmdQueue) commands.push_back(entry.psCommand);
        return commands;
    }
};

TEST_F(ResolvedCall, ArithmeticAndRounding)
{
    EXPECT_EQ(resolve("math( 7/2 )"), "3");
    EXPECT_EQ(resolve("mathf( 7/2 )"), "3.500000");
    EXPECT_EQ(resolve("math( 2^10 )"), "1024");
    EXPECT_EQ(resolve("math( 9v0 )"), "3");
    EXPECT_EQ(resolve("int( 2.5 )"), "3");
    EXPECT_EQ(resolve("int( abc )"), "int( abc )");
    EXPECT_EQ(resolve("math( lenght( abcd )*int( 2.5 ) )"), "12") << "inner calls first";
}

TEST_F(ResolvedCall, DivisionByZeroStaysAsWrittenWithItsErrorLine)
{
    take();
    EXPECT_EQ(resolve("math( 1/0 ) and math( 5%0 )"), "math( 1/0 ) and math( 5%0 )");
    const Lines lines = take();
    EXPECT_NE(std::find(lines.begin(), lines.end(), message(1160, "1/0")), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), message(1160, "5%0")), lines.end());
}

TEST_F(ResolvedCall, TextFunctions)
{
    EXPECT_EQ(resolve("token( 2,;,a;b;c )|token( >2,;,a;b;c )|token( 9,;,a;b;c )"), "b|b;c|c");
    EXPECT_EQ(resolve("substr( 2,3,abcdef ) substr( 3,0,abcdef )"), "bcd cdef");
    EXPECT_EQ(resolve("pos( c,abc ) search( b,abc ) [search( z,abc )]"), "3 bc []");
    EXPECT_EQ(resolve("replace( -A,x,banana )"), "bxnxnx");
    EXPECT_EQ(resolve("toupper( token( 2, ,one two three ) )", 0), "TWO");
    EXPECT_EQ(resolve("removecolors( %Cabc )"), "%Cabc") << "percent escapes are not formatting bytes yet";
}

TEST_F(ResolvedCall, ValuesOfVariablesAndPropertiesAreArguments)
{
    EXPECT_EQ(resolve("toupper( $nickname )"), "ME");
    EXPECT_EQ(resolve("stat( #quibo -o )"), "1") << "peer; me is an operator";
    EXPECT_EQ(resolve("stat( $session o )"), "1");
    EXPECT_EQ(resolve("session( irc.test.net,$session )"), "1");
    EXPECT_EQ(resolve("lenght( peer.hostname )"), "16");
}

TEST_F(ResolvedCall, ExecQueuesOneLinePerOperatorInAChannelAndNothingElsewhere)
{
    sim.add_user(*chan, "op2", "op2@example.org", "@");
    extern_update_userlist();
    EXPECT_EQ(resolve("exec( o,/op $execnick )"), "2");
    Lines lines = queued();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (Lines{"/op me", "/op op2"}));

    FlushCommandInQueue();
    current_tab = session_of(sim.dialog(*irc, "peer").handle());
    EXPECT_EQ(resolve("exec( o,/op $execnick )"), "0");
    EXPECT_TRUE(pCmdQueue.empty());
}

TEST_F(ResolvedCall, ExecTakesItsCommandAsWritten)
{
    execution_tab = session_of(sim.dialog(*irc, "gone").handle());
    sim.close(sim.dialog(*irc, "gone"));
    extern_update_userlist();  // the window of the last command run is gone: the focused channel counts
    EXPECT_EQ(resolve("exec( v,/say toupper( $execnick ) $nickname )"), "1");
    EXPECT_EQ(queued(), Lines{"/say toupper( peer ) me"}) << "variables have their values; calls resolve when it runs";
}

}  // namespace
