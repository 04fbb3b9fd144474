// Resolution of expressions: variables, calls, properties and placeholders.
#include "script_fixture.h"

namespace {

using Resolve = ScriptTest;

TEST_F(Resolve, VariableNamesAreReplacedAsSubstrings)
{
    EXPECT_EQ(resolve("$nickname"), "me");
    EXPECT_EQ(resolve("$nicknamex"), "mex");
    EXPECT_EQ(resolve("[$session|$servername|$network|$sesstype]"), "[#quibo|irc.test.net|irc.test.net|2]");
    EXPECT_EQ(resolve("$usernum users, $voicenum voiced"), "2 users, 1 voiced");
    EXPECT_EQ(resolve("$nosuchvariable stays"), "$nosuchvariable stays");
    EXPECT_EQ(resolve("$password"), "");  // the interface cannot give it
    iFlagDebugModeFnc = 3;
    EXPECT_EQ(resolve("$iFlagDebugModeFnc/$iFlagDebugMode"), "3/" + std::to_string(iFlagDebugMode));
    iFlagDebugModeFnc = 0;
}

TEST_F(Resolve, SpaceFlagAndPlaceholders)
{
    EXPECT_EQ(resolve("a$_b", 1), "a b");
    EXPECT_EQ(resolve("a$_b", 0), "a$_b");
    EXPECT_EQ(resolve("_QUIBO_US_DOLLAR_nickname"), "me");
    EXPECT_EQ(resolve("a_QUIBO_SEPARATOR_b"), "a\\;b");
}

TEST_F(Resolve, PlainTextComesBackUnchanged)
{
    EXPECT_EQ(resolve("/say hello world"), "/say hello world");
    EXPECT_EQ(resolve("a ) b ( c . d"), "a ) b ( c . d");
    EXPECT_EQ(resolve(""), "");
}

TEST_F(Resolve, ACallNeedsASpaceBeforeItsClosingParenthesis)
{
    EXPECT_EQ(resolve("toupper( abc )"), "ABC");
    EXPECT_EQ(resolve("toupper(abc)"), "toupper(abc)");
    EXPECT_EQ(resolve("toupper()"), "");
    EXPECT_EQ(resolve("<toupper( a b  c )>"), "<A B  C>");
    // An unterminated call stays and does not stop the calls after it.
    EXPECT_EQ(resolve("toupper(abc) toupper( x )"), "toupper(abc) X");
    EXPECT_EQ(resolve("toupper( abc"), "toupper( abc");
}

TEST_F(Resolve, NestedCallsAreEvaluatedInnermostFirst)
{
    EXPECT_EQ(resolve("toupper( substr( 2,3,abcdef ) )"), "BCD");
    EXPECT_EQ(resolve("substr( 2,2,toupper( substr( 1,4,abcdef ) ) )"), "BC");
    EXPECT_EQ(resolve("toupper( $nickname ) and toupper( $nickname )"), "ME and ME");
    EXPECT_EQ(resolve("toupper( x$nickname )"), "XME");
}

TEST_F(Resolve, ACallThatGivesNothingStaysAsWritten)
{
    EXPECT_EQ(resolve("substr( 1,2 )"), "substr( 1,2 )");
    // The handler around it sees the inner call as the user wrote it.
    EXPECT_EQ(resolve("toupper( substr( 1 ) )"), "SUBSTR( 1 )");
    EXPECT_EQ(resolve("nosuch( x )"), "nosuch( x )");
}

TEST_F(Resolve, InitDefinesOnceAndKeepsNamesInTheValue)
{
    EXPECT_EQ(resolve("init( $counter,5 )"), "5");
    EXPECT_EQ(resolve("init( $counter,7 ) $counter"), "5 5");
    EXPECT_EQ(resolve("init( $who,$nickname )"), "me");
    take();
    quibo("set who");
    EXPECT_EQ(take(), std::vector<std::string>{"\0034$who\017 =\0033 $nickname\017"});
    EXPECT_EQ(resolve("init( $quiboscript_x,1 )"), "1");
    take();
    quibo("set");
    for (const std::string& line : take()) EXPECT_EQ(line.find("quiboscript_x"), std::string::npos);
}

TEST_F(Resolve, PropertiesComeFromTheUserListAndTheDatabase)
{
    remember("peer", "peer@example.org", "Peer Real", "last words");
    EXPECT_EQ(resolve("peer.hostname"), "peer@example.org");
    EXPECT_EQ(resolve("peer.mode"), "+");
    EXPECT_EQ(resolve("peer.say, peer.realname, peer.who, peer.state"), "last words, Peer Real, Peer Real, 0");
    // "|" and "[" are nickname characters: the nickname is the whole run before the property.
    EXPECT_EQ(resolve("x|peer.exist [peer.exist"), "0 0");
    EXPECT_EQ(resolve("peer.exist ghost.exist peer.away"), "1 0 0");
    // The client's own real name and away mark come first.
    peer->realname = "Client Name";
    peer->away = true;
    EXPECT_EQ(resolve("peer.realname, peer.who, peer.away"), "Client Name, Peer Real, 1");
    EXPECT_EQ(resolve("toupper( peer.say )"), "LAST WORDS");
    // Leading digits and "-" are not part of the nickname.
    EXPECT_EQ(resolve("12peer.exist"), "121");
}

TEST_F(Resolve, AnUnknownUsersPropertyStaysAndIsReported)
{
    take();
    EXPECT_EQ(resolve("ghost.hostname"), "ghost.hostname");
    EXPECT_TRUE(printed_message(826, "ghost", "ghost.hostname"));
    // Inside a call the handler sees the property as written.
    EXPECT_EQ(resolve("toupper( ghost.hostname )"), "GHOST.HOSTNAME");
    EXPECT_EQ(resolve("init( $h,ghost.hostname )"), "ghost.hostname");
    quibo("set h");
    EXPECT_EQ(printed().back(), "\0034$h\017 =\0033 ghost.hostname\017");
    // In the user list but not in the database: the database properties stay.
    EXPECT_EQ(resolve("peer.say"), "peer.say");
    EXPECT_TRUE(printed_message(825, "peer", "peer.say"));
    iFlagErrorMessage = 0;
    take();
    EXPECT_EQ(resolve("ghost.hostname"), "ghost.hostname");
    EXPECT_TRUE(take().empty());
}

TEST_F(Resolve, ExecNamesAreLeftForExec)
{
    // The names reach exec( as written, which fills them in per user (only me is an operator).
    EXPECT_EQ(resolve("exec( o,/op $execnick )"), "1");
    ASSERT_EQ(pCmdQueue.size(), 1u);
    EXPECT_EQ(pCmdQueue.front().psCommand, "/op me");
}

TEST_F(Resolve, FunctionPassOnAPlainText)
{
    std::string text = "\x07-toupper(\x01 ab \x06 and \x07-toupper(\x01 ab \x06";
    EXPECT_EQ(resolve_advanced_function_recursive(advanced_functions(), text), 1);  // two occurrences
    EXPECT_EQ(text, "AB and AB");
    EXPECT_EQ(resolve_advanced_function_recursive(advanced_functions(), text), -1);
}

TEST(Arguments, StringProtectionMarksAndRestores)
{
    std::string text = " a b \x06 rest";
    EXPECT_EQ(StringProtection(text, 0), 1);
    EXPECT_EQ(text, "\x04" "a\x05" "b\x04");
    std::string copy = text;
    StringProtection(copy, 1);
    EXPECT_EQ(copy, " a b ");
    copy = text;
    StringProtection(copy, 2);
    EXPECT_EQ(copy, "a\x05" "b");
    copy = text;
    StringProtection(copy, 3);
    EXPECT_EQ(copy, "a b");
    std::string nested = " f(\x07-x(\x01 y \x06 \x06 tail";
    EXPECT_EQ(StringProtection(nested, 0), 1);
    EXPECT_EQ(nested, "\x04" "f(\x07-x(\x01\x05y\x05\x06\x04");
    std::string open = " never closed";
    EXPECT_EQ(StringProtection(open, 0), 0);
}

TEST(Arguments, StripParameter)
{
    std::string text = "   abc def ";
    StripParameter(text);
    EXPECT_EQ(text, "abc def");
    text = "word";
    StripParameter(text);
    EXPECT_EQ(text, "word");
}

}  // namespace
