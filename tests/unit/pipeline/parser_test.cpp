// The line parser: kinds, fields, the MODE split, switched-off sections and
// re-entry, with handlers that record what they were given.
#include "capture.h"
#include "file_text.h"
#include "hostsim.h"

#include "host/host.h"
#include "pipeline/irc_line.h"
#include "pipeline/parser.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace hostsim;

namespace {

struct Call {
    std::string handler;
    ParseVars vars;
    std::string kind;  // the argument of case_privmsg
};
std::vector<Call> calls;
// Run inside one handler call (re-entry test).
void (*inside_handler)(ParseVars&) = nullptr;

int record(const char* handler, ParseVars& vars, const char* kind = "")
{
    calls.push_back({handler, vars, kind});
    if (inside_handler) inside_handler(vars);
    return 0;
}

#define RECORDER(name) [](ParseVars& v) { return record(#name, v); }

const ParserHandlers kRecording = {
    .case_privmsg = [](ParseVars& v, const char* kind) { return record("case_privmsg", v, kind); },
    .case_lujoin = RECORDER(case_lujoin),
    .case_join = RECORDER(case_join),
    .who_manager = RECORDER(who_manager),
    .case_chnick = RECORDER(case_chnick),
    .case_clist = RECORDER(case_clist),
    .case_srvmsg = RECORDER(case_srvmsg),
    .case_part = RECORDER(case_part),
    .case_kick = RECORDER(case_kick),
    .case_mode = RECORDER(case_mode),
    .case_names = RECORDER(case_names),
    .case_who = RECORDER(case_who),
    .case_quit = RECORDER(case_quit),
    .case_oserver = RECORDER(case_oserver),
    .case_endwho = RECORDER(case_endwho),
    .case_errorlnk = RECORDER(case_errorlnk),
    .case_endmotd = RECORDER(case_endmotd),
    .case_notify = RECORDER(case_notify),
    .case_invite = RECORDER(case_invite),
};

std::string value(const ParseText& text) { return text ? *text : "<none>"; }

class Parser : public testing::Test {
protected:
    void SetUp() override
    {
        plugin_install(std::make_unique<Plugin>(sim.attach("parser"), "test", "", "", nullptr));
        update_session(nullptr);
        sess = session_of(chan.handle());
        std::fill(std::begin(iFlagParserMode), std::end(iFlagParserMode), 1);
        iFlagParserMode[18] = 0;
        calls.clear();
        inside_handler = nullptr;
    }
    void TearDown() override
    {
        plugin_install(nullptr);
        iFlagLogFile = 0;
        caPathLogFile.clear();
        iFlagParserMode[8] = 1;
    }

    // Parses `line` in #chan; the kind it got.
    int parse(std::string line)
    {
        message_parser(sess, line, kRecording);
        return calls.empty() ? 0 : calls.front().vars.bMessage;
    }
    const Call& only_call()
    {
        EXPECT_EQ(calls.size(), 1u);
        static Call none;
        return calls.empty() ? none : calls.front();
    }

    TempHome home;
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");
    HostSession* sess = nullptr;
};

TEST_F(Parser, PrivmsgFillsTargetSenderAndTextWithTheLineContext)
{
    EXPECT_EQ(parse(":a!u@h PRIVMSG #chan :hello there"), kPrivmsg);
    const Call& call = only_call();
    EXPECT_EQ(call.handler, "case_privmsg");
    EXPECT_EQ(call.kind, "PRIVMSG");
    EXPECT_EQ(value(call.vars.psChannelName), "#chan");
    EXPECT_EQ(value(call.vars.psRemoteUserNick), "a");
    EXPECT_EQ(value(call.vars.psRemoteUserAddress), "u@h");
    EXPECT_EQ(value(call.vars.psMessageData), "hello there");
    EXPECT_EQ(call.vars.psCurrentServerName, "irc.test.net");
    EXPECT_EQ(call.vars.psCurrentChannelName, "#chan");
    EXPECT_EQ(call.vars.psLocalNickname, "me");
    EXPECT_EQ(call.vars.pSess, sess);
    // Between lines nothing is left over.
    EXPECT_FALSE(parse_vars().psChannelName);
    EXPECT_EQ(parse_vars().pText, nullptr);
}

TEST_F(Parser, TheSenderComesFromThePrefixOnly)
{
    // A server notice: no '!' in the prefix, the server is nick and address.
    EXPECT_EQ(parse(":irc.test.net NOTICE me :*** you are a!fake@address"), kNotice);
    EXPECT_EQ(only_call().kind, "NOTICE");
    EXPECT_EQ(value(only_call().vars.psRemoteUserNick), "irc.test.net");
    EXPECT_EQ(value(only_call().vars.psRemoteUserAddress), "irc.test.net");
    EXPECT_EQ(value(only_call().vars.psMessageData), "*** you are a!fake@address");
    // A '!' in the text of a private message never makes an address.
    calls.clear();
    EXPECT_EQ(parse(":services PRIVMSG me :admin!root@trusted says hi"), kPrivmsg);
    EXPECT_EQ(value(only_call().vars.psRemoteUserNick), "services");
    EXPECT_FALSE(only_call().vars.psRemoteUserAddress);
    calls.clear();
    EXPECT_EQ(parse(":nick!user@host NOTICE me :x"), kNotice);
    EXPECT_EQ(value(only_call().vars.psRemoteUserNick), "nick");
    EXPECT_EQ(value(only_call().vars.psRemoteUserAddress), "user@host");
}

std::vector<std::string> mode_calls()
{
    std::vector<std::string> seen;
    for (const Call& call : calls) {
        EXPECT_EQ(call.handler, "case_mode");
        EXPECT_EQ(value(call.vars.psChannelName), "#chan");
        EXPECT_EQ(value(call.vars.psLocalUserNick), "op");
        EXPECT_EQ(value(call.vars.psLocalUserAddress), "o@h");
        seen.push_back(value(call.vars.psRemoteUserNick) + " " + value(call.vars.psMessageData));
    }
    return seen;
}

TEST_F(Parser, ModeGivesOneCallPerParameterLastFirstEachWithItsOwnSign)
{
    using V = std::vector<std::string>;
    parse(":op!o@h MODE #chan +ov a b");
    EXPECT_EQ(mode_calls(), (V{"b +v", "a +o"}));
    EXPECT_EQ(calls[0].vars.sFlagNoClearVariables, 1);
    calls.clear();
    parse(":op!o@h MODE #chan +o-v a b");
    EXPECT_EQ(mode_calls(), (V{"b -v", "a +o"}));
    calls.clear();
    parse(":op!o@h MODE #chan +nt");
    EXPECT_EQ(mode_calls(), (V{"<none> +nt"}));
    EXPECT_EQ(calls[0].vars.sFlagNoClearVariables, 0);
    // Only q a o h v b e I k take a parameter, and l when set; the rest are kept together.
    calls.clear();
    parse(":op!o@h MODE #chan +ntlk-lb 10 key *!*@bad");
    EXPECT_EQ(mode_calls(), (V{"*!*@bad -b", "key +k", "10 +l", "<none> +nt-l"}));
    // One-letter nicks and a colon before the last parameter.
    calls.clear();
    parse(":op!o@h MODE #chan +vo x :y");
    EXPECT_EQ(mode_calls(), (V{"y +o", "x +v"}));
    // A parameter too few: the letter left without one is not given another's.
    calls.clear();
    parse(":op!o@h MODE #chan +ov a");
    EXPECT_EQ(mode_calls(), (V{"a +o", "<none> +v"}));
    EXPECT_FALSE(parse_vars().psRemoteUserNick);
}

TEST_F(Parser, ModesSetByAServerOrOnAUser)
{
    parse(":irc.test.net MODE #chan +o me");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(value(calls[0].vars.psLocalUserNick), "irc.test.net");
    EXPECT_FALSE(calls[0].vars.psLocalUserAddress);
    calls.clear();
    parse(":me MODE me :+iw");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(value(calls[0].vars.psRemoteUserNick), "me");
    EXPECT_EQ(value(calls[0].vars.psMessageData), "+iw");
    EXPECT_FALSE(calls[0].vars.psChannelName);
}

TEST_F(Parser, AWordThatOnlyBeginsWithModeEndsTheTests)
{
    // The line would otherwise pass the closing-link test further down.
    const std::string line = ":x MODEXERROR :Closing Link: me";
    EXPECT_EQ(parse(line), 0);
    EXPECT_TRUE(calls.empty());
    iFlagParserMode[8] = 0;
    parse(line);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handler, "case_errorlnk");
}

TEST_F(Parser, SwitchedOffSectionsAndUnknownLinesAreLoggedAsDiscarded)
{
    iFlagLogFile = 1;
    caPathLogFile = home.path() + "/server.log";
    const std::string invite = ":a!u@h INVITE me :#secret";
    parse(invite);  // section 18 is off by default
    EXPECT_TRUE(calls.empty());
    iFlagParserMode[17] = 0;
    parse(":a!u@h NOTICE me :psst");
    EXPECT_TRUE(calls.empty());
    parse("PING :irc.test.net");
    const std::string log = read_file(caPathLogFile);
    for (const std::string& line : {invite, std::string(":a!u@h NOTICE me :psst"), std::string("PING :irc.test.net")})
        EXPECT_NE(log.find(" -> data:[" + line + "]"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
    EXPECT_NE(log.find(" : DISCARDED: [" + std::to_string(Sim::kStartTime) + " | "), std::string::npos) << log;
    iFlagParserMode[18] = 1;
    iFlagParserMode[17] = 1;
    parse(invite);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handler, "case_invite");
    EXPECT_EQ(value(calls[0].vars.psChannelName), "me");
    EXPECT_EQ(value(calls[0].vars.psMessageData), "#secret");
}

TEST_F(Parser, AListEntryOfALocalChannelIsNotAListEntry)
{
    EXPECT_EQ(parse(":irc.test.net 322 me &local 3 :topic"), 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(parse(":irc.test.net 322 me #open 3 :a topic"), kClist);
    EXPECT_EQ(value(only_call().vars.psServerName), "irc.test.net");
    EXPECT_EQ(value(only_call().vars.psChannelName), "#open");
    EXPECT_EQ(value(only_call().vars.psChannelUsers), "a topic");
    EXPECT_EQ(value(only_call().vars.psLocalUserNick), "me");
}

TEST_F(Parser, MembershipLines)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(parse(":a!u@h JOIN :#chan"), kJoin);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(value(calls[0].vars.psChannelName), "#chan");
    EXPECT_EQ(calls[1].handler, "who_manager");
    EXPECT_EQ(value(calls[1].vars.psLocalUserNick), "me");
    EXPECT_EQ(value(calls[1].vars.psServerName), "irc.test.net");
    calls.clear();
    // Extended join: the account and real name are not part of the channel.
    parse(":a!u@h JOIN #chan acct :Real Name");
    EXPECT_EQ(value(calls.at(0).vars.psChannelName), "#chan");
    calls.clear();
    EXPECT_EQ(parse(":a!u@h PART #chan :bye"), kPart);
    EXPECT_EQ(value(only_call().vars.psChannelName), "#chan");
    calls.clear();
    EXPECT_EQ(parse(":old!u@h NICK :new"), kChnick);
    EXPECT_EQ(value(only_call().vars.psRemoteUserNick), "new");
    EXPECT_EQ(value(only_call().vars.psLocalUserNick), "old");
    EXPECT_EQ(value(only_call().vars.psRemoteUserAddress), "u@h");
    calls.clear();
    EXPECT_EQ(parse(":a!u@h QUIT :Quit: gone"), kQuit);
    EXPECT_EQ(value(only_call().vars.psMessageData), "Quit: gone");
    calls.clear();
    EXPECT_EQ(parse(":op!o@h KICK #chan victim :go away"), kKick);
    const ParseVars& kick = only_call().vars;
    EXPECT_EQ(V({value(kick.psChannelName), value(kick.psLocalUserNick), value(kick.psRemoteUserNick),
                 value(kick.psRemoteUserAddress), value(kick.psServerName), value(kick.psMessageData)}),
              (V{"#chan", "victim", "op", "o@h", "<none>", "go away"}));
    calls.clear();
    parse(":irc.test.net KICK #chan victim :flood");
    const ParseVars& server_kick = only_call().vars;
    EXPECT_EQ(V({value(server_kick.psRemoteUserNick), value(server_kick.psServerName)}),
              (V{"victim", "irc.test.net"}));
}

TEST_F(Parser, ServerReplies)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(parse(":irc.test.net 353 me = #chan :@a +b c "), kNames);
    EXPECT_EQ(V({value(only_call().vars.psChannelName), value(only_call().vars.psChannelUsers)}),
              (V{"#chan", "@a +b c"}));
    calls.clear();
    // Without a trailing blank the last name keeps its last letter.
    parse(":irc.test.net 353 me @ #chan :@a bob");
    EXPECT_EQ(value(only_call().vars.psChannelUsers), "@a bob");
    calls.clear();
    EXPECT_EQ(parse(":irc.test.net 352 me #chan ident host.net irc.test.net nick H@ :0 Real Name"), kWho);
    ASSERT_EQ(calls.size(), 2u);
    const ParseVars& who = calls[0].vars;
    EXPECT_EQ(V({value(who.psLocalUserNick), value(who.psChannelName), value(who.psRemoteUserHost),
                 value(who.psRemoteUserDomain), value(who.psRemoteUserNick), value(who.psRemoteUserAddress),
                 value(who.psMessageData), value(who.psServerName)}),
              (V{"me", "#chan", "ident", "host.net", "nick", "ident@host.net", "H@ :0 Real Name", "irc.test.net"}));
    EXPECT_EQ(calls[1].handler, "who_manager");
    calls.clear();
    EXPECT_EQ(parse(":irc.test.net 001 me :Welcome to the Test Network me!ident@host"), kOserver);
    EXPECT_EQ(value(only_call().vars.psRemoteUserAddress), "ident@host");
    calls.clear();
    EXPECT_EQ(parse(":irc.test.net 315 me #chan :End of WHO list"), kEndwho);
    EXPECT_EQ(value(only_call().vars.psMessageData), "End of WHO list");
    calls.clear();
    EXPECT_EQ(parse("ERROR :Closing Link: me[host] (Quit)"), kErrorlnk);
    EXPECT_EQ(value(only_call().vars.psLocalUserNick), "me[host]");
    calls.clear();
    EXPECT_EQ(parse(":irc.test.net 604 me friend fu fh 1700000000 :is online"), kNotify);
    EXPECT_EQ(only_call().handler, "case_notify");
    EXPECT_EQ(value(only_call().vars.psRemoteUserAddress), "fu@fh");
    EXPECT_EQ(value(only_call().vars.psMessageData), "is online");
}

TEST_F(Parser, ShortLinesGiveEmptyFieldsNeverAnythingBeyondTheLine)
{
    const char* const lines[] = {
        ":a PRIVMSG ", ":a NOTICE ", ":a JOIN ", ":a 280 ", ":a NICK ", ":a 322 ", ":a 482 ", ":a PART ",
        ":a KICK ", ":a MODE ", ":a 353 ", ":a 352 ", ":a QUIT ", ":a 001 ", ":a 315 ", "ERROR :Closing Link ",
        ":a 376 ", ":a 600 ", ":a 303 ", ": : ", "  ", ":a!b 353 x = ",
    };
    for (const char* line : lines) {
        calls.clear();
        parse(line);
        for (const Call& call : calls) {
            for (const ParseText* field : {&call.vars.psChannelName, &call.vars.psMessageData,
                                           &call.vars.psChannelUsers, &call.vars.psLocalUserNick})
                EXPECT_TRUE(!*field || field->value().size() <= std::string(line).size()) << line;
        }
    }
    calls.clear();
    parse("ERROR :Closing Link");
    EXPECT_EQ(value(only_call().vars.psLocalUserNick), "");
}

TEST_F(Parser, ANestedLineLeavesTheOuterLineItsVariables)
{
    inside_handler = [](ParseVars& vars) {
        if (vars.bMessage != kPrivmsg) return;
        inside_handler = nullptr;
        std::string nested = ":b!v@i JOIN #other";
        message_parser(vars.pSess, nested, kRecording);
        EXPECT_EQ(value(vars.psChannelName), "#chan");
        EXPECT_EQ(value(vars.psMessageData), "outer");
        EXPECT_EQ(*vars.pText, ":a!u@h PRIVMSG #chan :outer");
    };
    parse(":a!u@h PRIVMSG #chan :outer");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(value(calls[1].vars.psChannelName), "#other");
}

TEST_F(Parser, AnIsonReplyKeepsDatabaseOneToWhoIsOnline)
{
    SetCurrentDatabase(1);
    for (const char* nick : {"alice", "bob"}) {
        ChatUserPtr record = CreateUser("irc.test.net", nullptr, nick, nullptr, nullptr);
        ASSERT_EQ(InsertUser(record), 1);
    }
    ChatUserPtr elsewhere = CreateUser("irc.other.net", nullptr, "bob", nullptr, nullptr);
    ASSERT_EQ(InsertUser(elsewhere), 1);
    SetCurrentDatabase(0);

    parse(":irc.test.net 303 me :alice carol ");
    std::vector<std::string> reports;
    for (const Call& call : calls) {
        EXPECT_EQ(call.handler, "case_notify");
        EXPECT_EQ(call.vars.sFlagNoClearVariables, 1);
        EXPECT_EQ(value(call.vars.psRemoteUserAddress), "");
        reports.push_back(value(call.vars.psRemoteUserNick) + " " + value(call.vars.psMessageData));
    }
    EXPECT_EQ(reports, (std::vector<std::string>{"carol is online", "bob is offline"}));
    EXPECT_EQ(CurrentDatabase(), 0u);
    SetCurrentDatabase(1);
    EXPECT_TRUE(GetUser("irc.test.net", nullptr, "alice", nullptr, nullptr));
    EXPECT_TRUE(GetUser("irc.test.net", nullptr, "carol", nullptr, nullptr));
    EXPECT_FALSE(GetUser("irc.test.net", nullptr, "bob", nullptr, nullptr));
    EXPECT_TRUE(GetUser("irc.other.net", nullptr, "bob", nullptr, nullptr));  // another server's list is its own
    FlushUser();
    SetCurrentDatabase(0);
}

TEST(IfMessage, TheWordCountsOnlyInThePrefixAndCommand)
{
    EXPECT_EQ(IfMessage(":a!b@c PRIVMSG #x :hi", " PRIVMSG").value_or("none"), " PRIVMSG #x :hi");
    EXPECT_FALSE(IfMessage(":a!b@c NOTICE #x :PRIVMSG y", " PRIVMSG"));
    EXPECT_FALSE(IfMessage(":a!b@c PRIVMSG", " PRIVMSG"));  // fewer than two blanks
    EXPECT_FALSE(IfMessage("", " PRIVMSG"));
    EXPECT_FALSE(IfMessage(":a b c", ""));
    EXPECT_EQ(IfMessage("ERROR :Closing Link: x", "ERROR :").value_or("none"), "ERROR :Closing Link: x");
}

TEST(Converters, FormattingBytesBecomeEscapesAndQuotesAreEscaped)
{
    EXPECT_EQ(_get_xchat_string_converted("\0024\003 50% \026\037\017"), "%B4%C 50%% %R%U%O");
    EXPECT_EQ(_get_xchat_string_converted(nullptr), "");
    EXPECT_EQ(_get_string_escaped("say \"hi\""), "say \\\"hi\\\"");
    EXPECT_EQ(_get_string_escaped(""), "");
}

}  // namespace

// Word positions are remembered after the first look; asking in any order must give what a fresh scan gives.
TEST(IrcLineWords, RememberedStartsAgreeWithAFreshScan)
{
    const std::string text = ":n!u@h 352 me #c id h.net srv nick H :0 a b c d e f g h i j k l m n o p  q";
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        IrcLine line(text);
        for (int ask = 0; ask < 40; ++ask) {
            const size_t n = random() % 30;
            // Words at every single blank, counted by hand.
            size_t start = 0;
            for (size_t i = 0; i < n && start != std::string::npos; ++i) {
                start = text.find(' ', start);
                if (start != std::string::npos) ++start;
            }
            const std::string word = start == std::string::npos ? "" : text.substr(start, text.find(' ', start) - start);
            ASSERT_EQ(line.word(n), word) << n;
        }
    }
    IrcLine short_line("a b");
    EXPECT_EQ(short_line.word(5), "");
    EXPECT_EQ(short_line.word(1), "b");
    EXPECT_EQ(short_line.rest_after(3), "");
}
