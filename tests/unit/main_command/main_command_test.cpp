// /QUIBO help, the listing printed for an unknown command, and the action keywords.
#include "settings_fixture.h"

#include "handlers/handlers.h"
#include "pipeline/commands.h"
#include "settings/main_command.h"
#include "users/chatuser.h"

namespace {

// The keywords as the user sees them listed, in their listing order.
const std::vector<std::string> kSettings = {
    "audiodevice", "awaymessage", "awaypostfix", "alert", "badword", "badwordmsg", "quibomsg", "clonecount",
    "clonedetect", "cloneprint", "color", "ctcp", "ctcptime", "currenttab", "debug", "dm", "error", "eventdebug",
    "filter", "identifycmd", "ignoreprint", "language", "listprint", "jm", "log", "logadvanced", "maxchar",
    "maxquery", "maxsent", "minsecond", "mmsg", "mode", "nick", "pipecommand", "pkallow", "pkmsg", "pktime",
    "pkversion", "postfix", "prefix", "query", "textfloodin", "textfloodout", "textflooderr", "setaway",
    "soundtime"};
const std::vector<std::string> kCommands = {
    "allsess", "alluser", "away", "badwordfile", "badnickfile", "ban", "banner", "bigrose", "birth", "c",
    "cat", "clone", "cmd", "domain", "else", "exec", "filterfile", "if", "hello", "help", "ignore", "image",
    "join", "list", "macro", "mare", "mod", "msg", "msg2", "msg3", "mynick", "names", "natale", "part", "pipe",
    "qm", "rand", "read", "rose", "save", "set", "search", "sendsess", "var", "vbanner", "ver", "word"};
const std::vector<std::string> kTopics = {"advanced", "function", "file_domini", "file_nickname"};

std::vector<std::string> rows_of_three(const std::vector<std::string>& keywords)
{
    std::vector<std::string> rows;
    std::string row;
    for (size_t i = 0; i < keywords.size(); ++i) {
        row += "| " + keywords[i] + std::string(15 - keywords[i].size(), ' ') + "|";
        if (i % 3 == 2) {
            rows.push_back("\0038 |" + row + "|\n");
            row.clear();
        }
    }
    rows.push_back("\0038 |" + row + "|\n");
    return rows;
}

class MainCommand : public SettingsTest {
protected:
    std::vector<std::string> listing(const std::string& typed)
    {
        std::vector<std::string> lines{"--- Unknown QuIbOsCrIpT command: " + typed, sep};
        for (int n = 510; n <= 514; ++n) lines.push_back(GetMessage(n));
        auto add = [&](const std::vector<std::string>& rows, int after) {
            lines.insert(lines.end(), rows.begin(), rows.end());
            lines.push_back(GetMessage(after));
        };
        add(rows_of_three(kSettings), 515);
        add(rows_of_three(kCommands), 516);
        add(rows_of_three(kTopics), 517);
        lines.push_back(sep);
        return lines;
    }
};

TEST_F(MainCommand, ListingRowsAreFifteenCharacterColumns)
{
    std::string row;
    FormattaStringaComando(row, "c");
    EXPECT_EQ(row, std::string(14, ' ') + "|");
    row.clear();
    FormattaStringaComando(row, "abcdefghijklm");
    EXPECT_EQ(row, "  |");
    row.clear();
    FormattaStringaComando(row, "pipe_script_silent");
    EXPECT_EQ(row, " |");
}

TEST_F(MainCommand, BareCommandAndHelpListEveryKeywordByteForByte)
{
    quibo("");
    const auto bare = take();
    EXPECT_EQ(bare, listing(""));
    // 46 settings end with one cell, 47 commands with two, 4 topics with one.
    EXPECT_EQ(bare[7], "\0038 || audiodevice    || awaymessage    || awaypostfix    ||\n");
    EXPECT_EQ(bare[22], "\0038 || soundtime      ||\n");
    EXPECT_EQ(bare[39], "\0038 || ver            || word           ||\n");
    EXPECT_EQ(bare[42], "\0038 || file_nickname  ||\n");

    quibo("help");
    auto expected = listing("help");
    expected.insert(expected.begin(), GetMessage(487));
    EXPECT_EQ(take(), expected);

    quibo("HeLp");
    expected = listing("HeLp");
    expected.insert(expected.begin(), GetMessage(487));
    EXPECT_EQ(take(), expected);

    // A setting keyword that declines without its argument ends in the listing too.
    quibo("clonecount");
    EXPECT_EQ(take(), listing("clonecount"));
}

TEST_F(MainCommand, HelpOnASettingShowsItsCurrentValue)
{
    iMaxCloneCount = 7;
    quibo("help clonecount");
    EXPECT_EQ(take(), (std::vector<std::string>{message(485, "clonecount"),
                                                "\0037 /quibo clonecount [#]\n\0034 iMaxCloneCount = 7 default:[10]\n",
                                                std::string(GetMessage(321)) + "\n\n"}));
    quibo("help awaypostfix");
    EXPECT_EQ(take()[1], "\0037 /quibo awaypostfix [text]\n\0034 psAwayPostfix = _AWAY default:[_AWAY]\n");
}

TEST_F(MainCommand, HelpOnCommandsAndTopics)
{
    quibo("help ban");
    EXPECT_EQ(take(), (std::vector<std::string>{message(483, "ban"), "\0037 " + std::string(GetMessage(768)) + "\n\n"}));
    quibo("help file_domini");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(484), "\0037 " + std::string(GetMessage(381)) + "\n\n"}));
    // The advanced help is the script language's listing, framed by separator lines.
    quibo("help advanced");
    const std::vector<std::string> advanced = take();
    ASSERT_EQ(advanced.size(), 42u);
    EXPECT_EQ(advanced[1], GetMessage(318));
    EXPECT_EQ(advanced.back(), std::string(57, '-'));
}

TEST_F(MainCommand, TopicsAreCaseSensitiveAndAMissOnePlaysTheWarning)
{
    const std::string played = fake_player();
    iFlagBeep = 1;
    quibo("help CLONECOUNT");
    auto lines = take();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], message(486, "CLONECOUNT"));
    EXPECT_EQ(lines[1], GetMessage(487));
    EXPECT_EQ(lines[2], "--- Unknown QuIbOsCrIpT command: help CLONECOUNT");
    EXPECT_EQ(lines.size(), listing("").size() + 2);
    EXPECT_NE(read_file(played).find("warning.au ALSA"), std::string::npos) << read_file(played);

    iFlagBeep = 0;
    sim.advance(60);
    quibo("help nosuchtopic");
    EXPECT_EQ(take()[0], message(486, "nosuchtopic"));
    EXPECT_EQ(read_file(played).find("warning.au", read_file(played).find("warning.au") + 1), std::string::npos);
}

TEST_F(MainCommand, DatabaseKeywordsRefuseWhileItIsOff)
{
    iFlagEnableDatabase = 0;
    for (const char* line : {"if a = a /echo", "else /echo", "cmd /echo", "domain", "list", "search"}) {
        quibo(line);
        EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(285)})) << line;
    }
    for (const char* line : {"dbcheck", "dbsave", "userflush"}) {
        quibo(line);
        EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(475)})) << line;
    }
    quibo("qm");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(505)}));  // a channel window
}

TEST_F(MainCommand, QmAcceptsAndRefusesEveryRecordOfTheQueryPartner)
{
    iFlagEnableDatabase = 1;
    hostsim::Context& query = sim.dialog(*irc, "bob");
    extern_update_session();
    for (const char* channel : {"#a", "#b"}) {
        ChatUserPtr user = CreateUser("irc.test.net", channel, "Bob", "b@bob.host", nullptr);
        ASSERT_EQ(InsertUser(user), 1);
    }
    ChatUserPtr elsewhere = CreateUser("irc.other.net", "#a", "bob", "b@bob.host", nullptr);
    ASSERT_EQ(InsertUser(elsewhere), 1);
    IsDatabaseChanged();

    // Records of one host stand newest first, so #b comes before #a.
    quibo("qm", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{sep, message(503, "bob", "#b"), sep, sep, message(503, "bob", "#a"), sep}));
    quibo("qm", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{sep, message(504, "bob", "#b"), sep, sep, message(504, "bob", "#a"), sep}));
    EXPECT_EQ(StatUser(nullptr, nullptr, "bob", nullptr, nullptr), 3);
    quibo("qm \\", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{message(500, "bob", "#b"), message(500, "bob", "#a")}));
    quibo("qm \\", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{message(501, "bob", "#b"), message(501, "bob", "#a")}));
    ChatUser* other = GetUser("irc.other.net", nullptr, "bob", nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->uiQuery, 0);

    quibo("userflush", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(474)}));
    EXPECT_EQ(GetSize(), 0);
    quibo("qm \\", &query);
    EXPECT_EQ(take(), (std::vector<std::string>{message(502, "bob")}));
}

TEST_F(MainCommand, ElseRunsOnlyAfterAFalseIf)
{
    iFlagEnableDatabase = 1;
    quibo("if");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(482)}));
    iIfChainState = 0;
    quibo("else /echo x");
    EXPECT_EQ(iIfChainState, -1);
    EXPECT_EQ(take(), std::vector<std::string>{"x"});  // the else branch ran
    quibo("else /echo x");
    EXPECT_EQ(iIfChainState, -1);
    iIfChainState = 1;
    quibo("ELSE if a = b /echo y");
    EXPECT_EQ(iIfChainState, 1);
    iIfChainState = 0;
    take();  // what the else commands printed
    quibo("else IF");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(482)}));
    quibo("else if a = b /echo y");
    EXPECT_EQ(iIfChainState, 0);  // the condition's own result
}

TEST_F(MainCommand, PartLeavesWithTheAnnouncementLine)
{
    sFlagCloseWindow_Part = 0;
    quibo("part");
    EXPECT_EQ(sFlagCloseWindow_Part, 1);
    quibo("part see you");
    std::vector<std::string> parts;
    for (const auto& c : sim.commands())
        if (c.name == "PART") parts.push_back(c.text);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], "PART #quibo \002QuIbOsCrIpT\017 [http://quibo.localhost/] XChat Plugin by ZEM'Software (V. 3.7.86)");
    EXPECT_EQ(parts[1], "PART #quibo see you");
}

TEST_F(MainCommand, AwayNeedsTheAwaySystemAndTogglesWithoutAReason)
{
    iFlagAwaySystem = 0;
    quibo("away gone");
    EXPECT_EQ(take(), (std::vector<std::string>{
                          sep, "\0034Variable\0036 iFlagAwaySystem\0034 disabled; see \0033/quibo help setaway\0034.", sep}));
    EXPECT_EQ(sFlagAway, 0);
    iFlagAwaySystem = 1;
    quibo("away gone fishing");
    EXPECT_EQ(sFlagAway, 1);
    EXPECT_EQ(acAwayMessage, "gone fishing");
    quibo("away");
    EXPECT_EQ(sFlagAway, 0);
    EXPECT_EQ(acAwayMessage, "");
}

TEST_F(MainCommand, PipeVariantsPutTheirSwitchesBack)
{
    iFlagErrorMessage_internal = 1;
    iFlagTextFloodOutgoing_internal = 0;
    quibo("pipe_script_silent ls");
    EXPECT_EQ(iFlagErrorMessage_internal, 1);
    EXPECT_EQ(iFlagTextFloodOutgoing_internal, 0);
    EXPECT_EQ(iFlagPipeCommand_internal, 0);
    EXPECT_TRUE(take().empty());
}

TEST_F(MainCommand, SetRefusesDollarNamesAndWarnsAboutTheStar)
{
    quibo("set $x 1");
    EXPECT_EQ(take(), (std::vector<std::string>{message(823, "$x")}));
    quibo("seth x *all");
    EXPECT_EQ(take(), (std::vector<std::string>{"WARNING: The '*' character is internally used to list all variables."}));
}

TEST_F(MainCommand, MynickShowsMentionsOfThisServerAndChannel)
{
    MyNickCallDB.clear();
    quibo("mynick");
    EXPECT_EQ(take(), (std::vector<std::string>{sep, message(994, "#quibo"), sep, GetMessage(998), sep}));

    const time_t at = sim.now();
    MyNickCallDB = {{at, "irc.test.net", "#quibo", "bob", "hi me"},
                    {at, "irc.test.net", "#other", "ann", "me?"},
                    {at, "irc.other.net", "#quibo", "cid", "me!"},
                    {at, "irc.test.net", "bob", "bob", "psst me"}};
    struct tm local {};
    localtime_r(&at, &local);
    quibo("mynick");
    EXPECT_EQ(take(), (std::vector<std::string>{
                          sep, message(994, "#quibo"), sep,
                          message(996, 1, local.tm_hour, local.tm_min, local.tm_sec, "bob", "hi me"),
                          message(995, 2, local.tm_hour, local.tm_min, local.tm_sec, "bob", "psst me"), sep}));
    quibo("mynick nobody");
    EXPECT_EQ(take()[3], message(997, "#quibo"));
    MyNickCallDB.clear();
}

}  // namespace
