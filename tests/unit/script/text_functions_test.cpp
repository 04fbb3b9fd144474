// The functions that work on their argument alone: arithmetic, fields,
// searching, replacing and the error lines of malformed arguments.
#include "function_fixture.h"

#include "clock.h"

namespace {

using Result = std::optional<std::string>;
const Result kStays = std::nullopt;

TEST_F(FunctionTest, IntegerArithmeticCutsAndFloatingPointKeepsSixDecimals)
{
    EXPECT_EQ(call("math(", "7/2"), "3");
    EXPECT_EQ(call("math(", "7 / 2"), "3") << "spaces are ignored";
    EXPECT_EQ(call("math(", "-7%3"), "-1");
    EXPECT_EQ(call("math(", "2^10"), "1024");
    EXPECT_EQ(call("math(", "9v0"), "3");
    EXPECT_EQ(call("math(", "2^-1"), "0");
    EXPECT_EQ(call("math(", "5--3"), "8");
    EXPECT_EQ(call("mathf(", "7/2"), "3.500000");
    EXPECT_EQ(call("mathf(", "7.9%2.5"), "1.000000") << "the remainder works on the integer parts";
    EXPECT_EQ(call("mathf(", "2v0"), "1.414214");
    EXPECT_EQ(call("math(", "abc"), kStays);
    EXPECT_EQ(call("math(", "7/"), kStays);
    EXPECT_EQ(call("math(", ""), kStays);
}

TEST_F(FunctionTest, DivisionByZeroAndOverflowGiveAnErrorLineAndTheCallStays)
{
    for (const char* division : {"1/0", "1%0"}) {
        EXPECT_EQ(call("math(", division), kStays);
        EXPECT_TRUE(printed_message(1160, division)) << division;
    }
    EXPECT_EQ(call("mathf(", "1/0"), kStays);
    EXPECT_EQ(call("mathf(", "5%0.5"), kStays) << "the divisor's integer part is zero";
    EXPECT_EQ(call("math(", "9223372036854775807+1"), kStays);
    EXPECT_TRUE(printed_message(1161, "9223372036854775807+1"));
    EXPECT_EQ(call("math(", "-9223372036854775807-2/-1"), kStays);
    EXPECT_EQ(call("math(", "2^64"), kStays);
    EXPECT_EQ(call("math(", "-4v0"), kStays) << "no root of a negative number";
    EXPECT_EQ(call("mathf(", "1e308*10"), kStays);
    EXPECT_EQ(call("math(", "99999999999999999999+1"), kStays);

    iFlagErrorMessage = 0;
    sim.clear_records();
    EXPECT_EQ(call("math(", "1/0"), kStays);
    EXPECT_TRUE(printed().empty()) << "error lines follow the user's switch";
}

TEST_F(FunctionTest, AnUnknownOperatorIsReportedOnStandardOutputAndGivesNothing)
{
    hostsim::StdoutCapture out;
    EXPECT_EQ(call("math(", "3x4"), "");
    EXPECT_EQ(out.stop(), "_advanced_function__math(3x4) : ERROR: Unknown Mathematic Operation x .\n");
}

TEST_F(FunctionTest, IntRoundsHalfUpAndLeavesWhatIsNoNumber)
{
    EXPECT_EQ(call("int(", "2.5"), "3");
    EXPECT_EQ(call("int(", "2.4"), "2");
    EXPECT_EQ(call("int(", "2,5"), "3") << "a comma is a decimal separator";
    EXPECT_EQ(call("int(", "-2.5"), "-2");
    EXPECT_EQ(call("int(", "abc"), kStays);
    EXPECT_EQ(call("int(", "2.5x"), kStays);
    EXPECT_EQ(call("int(", ""), kStays);
    EXPECT_EQ(call("int(", "1e300"), kStays);
}

TEST_F(FunctionTest, TokenGivesAFieldTheLastFieldOrTheRest)
{
    EXPECT_EQ(call("token(", "2,;,a;b;c"), "b");
    EXPECT_EQ(call("token(", ">2,;,a;b;c"), "b;c");
    EXPECT_EQ(call("token(", "9,;,a;b;c"), "c");
    EXPECT_EQ(call("token(", ">9,;,a;b;c"), "c");
    EXPECT_EQ(call("token(", "1,;,abc"), "abc");
    EXPECT_EQ(call("token(", "2,::,a::b::c"), "b");
    EXPECT_EQ(call("token(", "2,_QUIBOSCRIPT_COMMA_,a,b,c"), "b");
    EXPECT_EQ(call("token(", "2, ,one two three"), "two");
}

TEST_F(FunctionTest, TokenErrorsPrintTheirLineAndGiveTheWholeArgument)
{
    const std::string number = "\0034ERROR\t\0039THE TOKEN PARAMETER OF TOKEN ADVANCED FUNCTION MUST BE MAJOR OF ZERO. (";
    EXPECT_EQ(call("token(", "0,;,a;b"), "0,;,a;b");
    EXPECT_TRUE(printed_line(number + "0,;,a;b)"));
    EXPECT_EQ(call("token(", "x,;,a;b"), "x,;,a;b");
    EXPECT_EQ(call("token(", "-1,;,a;b"), "-1,;,a;b");
    EXPECT_EQ(call("token(", "2,;"), "2,;");
    EXPECT_TRUE(printed_line("\0034ERROR\t\0039MISSING STRING PARAMETER OF TOKEN ADVANCED FUNCTION. (2,;)"));
    EXPECT_EQ(call("token(", "2,,a;b"), "2,,a;b");
    EXPECT_TRUE(printed_line("\0034ERROR\t\0039MISSING FIELD SEPARATOR PARAMETER OF TOKEN ADVANCED FUNCTION. (2,,a;b)"));
}

TEST_F(FunctionTest, SubstrCountsFromOneAndZeroMeansTheEnd)
{
    EXPECT_EQ(call("substr(", "2,3,abcdef"), "bcd");
    EXPECT_EQ(call("substr(", "3,0,abcdef"), "cdef");
    EXPECT_EQ(call("substr(", "0,5,abcdef"), "f") << "start 0 is the last byte";
    EXPECT_EQ(call("substr(", "99,1,abc"), "c");
    EXPECT_EQ(call("substr(", "2,99,abc"), "bc");
    EXPECT_EQ(call("substr(", "1,0,a,b"), "a,b") << "the text may hold commas";
    EXPECT_EQ(call("substr(", "1,2"), kStays);
}

TEST_F(FunctionTest, PosSearchLengthAndCase)
{
    EXPECT_EQ(call("pos(", "c,abc"), "3");
    EXPECT_EQ(call("pos(", "C,abc"), "0") << "case counts";
    EXPECT_EQ(call("pos(", "z,abc"), "0");
    EXPECT_EQ(call("pos(", "abc"), kStays);
    EXPECT_EQ(call("search(", "b,abc"), "bc");
    EXPECT_EQ(call("search(", "z,abc"), "");
    EXPECT_EQ(call("search(", "abc"), kStays);
    EXPECT_EQ(call("lenght(", "ab cd"), "5");
    EXPECT_EQ(call("lenght(", ""), "0");
    EXPECT_EQ(call("toupper(", "a b"), "A B");
    EXPECT_EQ(call("tolower(", "A B"), "a b");
    EXPECT_EQ(call("strip(", "a b c"), "a b");
    EXPECT_EQ(call("escape(", "a.b*"), "a\\.b\\*");
    EXPECT_EQ(call("escape(", ""), "");
}

TEST_F(FunctionTest, ReplaceByTextByPatternAndRepeated)
{
    EXPECT_EQ(call("replace(", "-A,x,banana"), "bxnxnx");
    EXPECT_EQ(call("replace(", "-NAN,_,banana"), "ba_a") << "the text found, as written, at every place";
    EXPECT_EQ(call("replace(", "+a+,X,baaad aaa a"), "bXd X a") << "the matched text, wherever it occurs";
    EXPECT_EQ(call("replace(", ">ab,b,aaab"), "b");
    EXPECT_EQ(call("replace(", "+x_QUIBOSCRIPT_COMMA_y,_QUIBOSCRIPT_COMMA_,ax,yb"), "a,b");
    EXPECT_EQ(call("replace(", "+z,x,abc"), "abc");
}

TEST_F(FunctionTest, AReplacementThatWouldNeverEndStopsWithAnErrorLine)
{
    EXPECT_EQ(call("replace(", ">x,x,axb"), "axb");
    EXPECT_TRUE(printed_line(message(1162, ">x,x,axb", 100)));
    const Result grown = call("replace(", ">a,aa,a");
    ASSERT_TRUE(grown);
    EXPECT_LE(grown->size(), 64u * 1024);
    EXPECT_TRUE(printed_line(message(1163, ">a,aa,a", 64 * 1024)));
}

TEST_F(FunctionTest, ReplaceAndFilterErrorsGiveTheWholeArgument)
{
    EXPECT_EQ(call("replace(", "a,b,c"), "a,b,c");
    EXPECT_TRUE(printed_line("\0034ERROR\t\0039MISSING '>', '+' OR '-' IN PATTERN OF REPLACE ADVANCED FUNCTION. (a,b,c)"));
    EXPECT_EQ(call("replace(", "+a,b"), "+a,b");
    EXPECT_TRUE(printed_line("\0034ERROR\t\0039MISSING REPLACE STRING OF REPLACE ADVANCED FUNCTION. (+a,b)"));
    EXPECT_EQ(call("filter(", "a,b"), "a,b");
    EXPECT_TRUE(printed_line("\0034ERROR\t\0039MISSING '+' OR '-' IN REGEXP OF FILTER ADVANCED FUNCTION. (a)"));
    EXPECT_EQ(call("filter(", "+a"), kStays);
}

TEST_F(FunctionTest, FilterKeepsOrRemovesTheMatchedPart)
{
    EXPECT_EQ(call("filter(", "+[0-9]+,abc123def"), "123");
    EXPECT_EQ(call("filter(", "-[0-9]+,a12b12c"), "abc");
    EXPECT_EQ(call("filter(", "+[0-9]+,abc"), "abc") << "no match: the text";
    EXPECT_EQ(call("filter(", "+a{1_QUIBOSCRIPT_COMMA_2},baac"), "aa");
    hostsim::StdoutCapture quiet;
    EXPECT_EQ(call("filter(", "+(,abc"), "abc") << "a pattern that does not compile does not match";
}

TEST_F(FunctionTest, RemovecolorsTakesTheFormattingAndTheColourNumbers)
{
    EXPECT_EQ(call("removecolors(", "\00304,12red\002bold\017\026\037x"), "redboldx");
    EXPECT_EQ(call("removecolors(", "\003123"), "3") << "two digits at most";
    EXPECT_EQ(call("removecolors(", "\0034,x"), ",x") << "a comma without digits stays";
    EXPECT_EQ(call("removecolors(", "\003,12a"), ",12a") << "no colour number, no background";
}

TEST_F(FunctionTest, MatchEndTimeAndInit)
{
    EXPECT_EQ(call("match(", "bob,b@host.net,*!*@*.net"), "*!*@*.net");
    EXPECT_EQ(call("match(", "bob,b@host.net,*!*@*.org"), "0");
    EXPECT_EQ(call("match(", "bob,b@host.net"), kStays);
    EXPECT_EQ(call("end(", ""), "END_MACRO");
    EXPECT_EQ(sFlagEndMacro, 1);
    EXPECT_EQ(call("end(", "bye now"), "bye now");
    EXPECT_EQ(call("time(", ""), std::to_string(now()));
    EXPECT_EQ(call("init(", "no comma"), kStays);
}

}  // namespace
