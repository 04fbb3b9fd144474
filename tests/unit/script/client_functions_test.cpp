// The functions that read the client: servers, windows, user lists, the
// ignore list, preferences, and the help listings.
#include "function_fixture.h"

#include "host/paths.h"
#include "script/function_handlers.h"
#include "script/script.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Result = std::optional<std::string>;

class ClientFunctionTest : public FunctionTest {
protected:
    void SetUp() override
    {
        FunctionTest::SetUp();
        other = &sim.add_server("irc.other.org", "me", "Other", "other.example.org");
        sim.channel(*other, "#elsewhere");
        sim.add_user(*chan, "op1", "o@one.net", "@");
        sim.add_user(*chan, "half", "h@one.net", "%");
        sim.add_user(*chan, "voiced", "v@one.net", "+");
        sim.add_user(*chan, "plain", "p@one.net").away = true;
        sim.clear_records();
    }

    hostsim::Server* other = nullptr;
};

TEST_F(ClientFunctionTest, ServersAreFoundByEitherName)
{
    EXPECT_EQ(call("connected(", "IRC.TEST.NET"), "1");
    EXPECT_EQ(call("connected(", "other.example.org"), "1");
    EXPECT_EQ(call("connected(", "irc.nowhere.net"), "0");
    EXPECT_EQ(call("network(", "irc.other.org"), "other.example.org");
    EXPECT_EQ(call("network(", "other.example.org"), "") << "network( takes a servername";
    EXPECT_EQ(call("server(", "OTHER.example.org"), "irc.other.org");
    EXPECT_EQ(call("server(", "nowhere"), "");
}

TEST_F(ClientFunctionTest, SessionsAndUsersOnAGivenServer)
{
    EXPECT_EQ(call("session(", "#QUIBO"), "1");
    EXPECT_EQ(call("session(", "irc.test.net,#quibo"), "1");
    EXPECT_EQ(call("session(", "irc.other.org,#quibo"), "0");
    EXPECT_EQ(call("session(", "other.example.org,#elsewhere"), "1");
    EXPECT_EQ(call("finduser(", "irc.test.net,OP1"), "1");
    EXPECT_EQ(call("finduser(", "irc.other.org,op1"), "0");
    EXPECT_EQ(call("finduser(", "irc.test.net"), std::nullopt);
}

TEST_F(ClientFunctionTest, StatCountsTheUsersThatPassTheFilter)
{
    EXPECT_EQ(call("stat(", "#quibo"), "5");
    EXPECT_EQ(call("stat(", "#quibo -o"), "3") << "not operators: half, voiced, plain";
    EXPECT_EQ(call("stat(", "#quibo o"), "2") << "me and op1";
    EXPECT_EQ(call("stat(", "#quibo o-m"), "1");
    EXPECT_EQ(call("stat(", "#quibo hv"), "2");
    EXPECT_EQ(call("stat(", "#quibo a"), "1");
    EXPECT_EQ(call("stat(", "#quibo @"), "2") << "the prefix character is a letter too";
    EXPECT_EQ(call("stat(", "irc.test.net,#quibo -a"), "4");
    EXPECT_EQ(call("stat(", "irc.other.org,#quibo"), std::nullopt) << "no such channel there: the call stays";
    EXPECT_EQ(call("stat(", "#nowhere"), std::nullopt);
}

TEST_F(ClientFunctionTest, TheModeFilterSelectsAndExcludes)
{
    EXPECT_TRUE(quibo_functions::passes_filter("@o", ""));
    EXPECT_TRUE(quibo_functions::passes_filter("@o", "ov"));
    EXPECT_FALSE(quibo_functions::passes_filter("+v", "o"));
    EXPECT_FALSE(quibo_functions::passes_filter("@om", "o-m"));
    EXPECT_TRUE(quibo_functions::passes_filter("", "-o"));
    EXPECT_TRUE(quibo_functions::passes_filter("a", "-"));
}

TEST_F(ClientFunctionTest, TabGivesTheFocusedWindowOrItsServer)
{
    EXPECT_EQ(call("tab(", ""), "#quibo");
    EXPECT_EQ(call("tab(", "s"), "irc.test.net");
    sim.focus(sim.channel(*other, "#elsewhere"));
    EXPECT_EQ(call("tab(", "n"), "other.example.org");
    EXPECT_EQ(call("tab(", "x"), "#elsewhere");
}

TEST_F(ClientFunctionTest, XchatvarGivesTextsNumbersAndSwitches)
{
    EXPECT_EQ(call("xchatvar(", "away_reason"), "I'm busy");
    EXPECT_EQ(call("xchatvar(", "tab_new_to_front"), "2");
    EXPECT_EQ(call("xchatvar(", "tab_chans"), "ON");
    EXPECT_EQ(call("xchatvar(", "no_such_pref"), "no_such_pref");
}

TEST_F(ClientFunctionTest, IgnoreMaskAndIgnoreListReadTheClientsList)
{
    sim.ignores().push_back({"*!*@bad.net", 3});
    sim.ignores().push_back({"spam!*@*", 8});
    EXPECT_EQ(call("ignore_mask(", "*!*@BAD.net"), "1");
    EXPECT_EQ(call("ignore_mask(", "*!*@good.net"), "0");
    EXPECT_EQ(call("ignore_list(", "ignored.txt"), "1");
    EXPECT_EQ(read_file(quibo_data_path("ignored.txt")), "*!*@bad.net\t3\nspam!*@*\t8\n");
    struct stat st {};
    ASSERT_EQ(stat(quibo_data_path("ignored.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    sim.ignores().clear();
    EXPECT_EQ(call("ignore_list(", "ignored.txt"), "0") << "its own file is written again";
    EXPECT_EQ(read_file(quibo_data_path("ignored.txt")), "");
    const std::string typed = home.path() + "/typed.txt";
    EXPECT_EQ(call("ignore_list(", typed), "0");
    EXPECT_EQ(access(typed.c_str(), F_OK), 0) << "a full path the user typed";
}

TEST_F(ClientFunctionTest, IgnoreListNeverTouchesAFileItDidNotMake)
{
    sim.ignores().push_back({"*!*@bad.net", 3});
    home.write(".xchat2/quiboscript/mine.txt", "keep me\n");
    EXPECT_EQ(call("ignore_list(", "mine.txt"), "0");
    EXPECT_EQ(read_file(quibo_data_path("mine.txt")), "keep me\n");
    EXPECT_TRUE(printed_message(1165, quibo_data_path("mine.txt")));

    home.write("target.txt", "target\n");
    ASSERT_EQ(symlink((home.path() + "/target.txt").c_str(), quibo_data_path("link.txt").c_str()), 0);
    EXPECT_EQ(call("ignore_list(", "link.txt"), "0");
    EXPECT_EQ(read_file(home.path() + "/target.txt"), "target\n") << "a symbolic link is never followed";

    for (const char* refused : {"../escape.txt", "a/../../escape.txt"}) {
        EXPECT_EQ(call("ignore_list(", refused), "0");
        EXPECT_TRUE(printed_message(1164, refused));
    }
    EXPECT_EQ(access((home.path() + "/.xchat2/escape.txt").c_str(), F_OK), -1);
    const InertText from_network = with_value("", home.path() + "/net.txt", "");
    EXPECT_EQ(call("ignore_list(", from_network), "0") << "a path that came from the network";
    EXPECT_EQ(access((home.path() + "/net.txt").c_str(), F_OK), -1);
}

TEST_F(ClientFunctionTest, TheHelpListingsAreFramedAndComplete)
{
    quibo_advanced(nullptr);
    std::vector<std::string> lines = take();
    ASSERT_EQ(lines.size(), 42u) << testing::PrintToString(lines);
    EXPECT_EQ(lines.front(), std::string(57, '-'));
    EXPECT_EQ(lines[1], GetMessage(318));
    EXPECT_EQ(lines[lines.size() - 2], GetMessage(317));
    EXPECT_EQ(lines[lines.size() - 3], " ");
    EXPECT_EQ(lines.back(), std::string(57, '-'));

    quibo_function(nullptr);
    lines = take();
    EXPECT_GE(lines.size(), 150u);
    EXPECT_EQ(lines[1], GetMessage(875));
    EXPECT_EQ(lines[8], " ") << "875 to 881, then an empty line";
    EXPECT_EQ(lines[lines.size() - 2], GetMessage(1045));
    for (const std::string& line : lines) EXPECT_EQ(line.find("ATTENZIONE"), std::string::npos) << line;
}

}  // namespace
