// Private messages, notices and CTCP requests from peers through the loaded
// plug-in: the sender's record, mentions of our nick, CTCP answers and their
// blanking, the query and CTCP flood guards, away answers, and hostile text.
#include "scenario.h"
#include "hostile_payloads.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace hostsim;
using namespace scenario;

namespace {

// One line of the database dump: server, channel, nick, address, ident, host, info, bad words, status,
// special, last message time, last message.
using DumpRow = std::vector<std::string>;

class Privmsg : public Foundation {
protected:
    void SetUp() override
    {
        load();
        sim.focus(chan);
        who_listing_of_channel();
        // The private-message guard would ask about every new sender; sounds would start the player.
        sim.type(chan, "/QUIBO pktime 0");
        sim.type(chan, "/QUIBO alert 0");
        sim.clear_records();
    }

    bool from(const std::string& who, const std::string& rest) { return sim.server_line(net, ":" + who + " " + rest); }
    bool pm(const std::string& who, const std::string& text) { return from(who, "PRIVMSG tester :" + text); }
    bool say(const std::string& who, const std::string& text) { return from(who, "PRIVMSG #quibo :" + text); }

    std::vector<DumpRow> dump()
    {
        const size_t before = sim.printed().size();
        sim.type(chan, "/quibo dbsave");
        std::string path;
        for (size_t i = before; i < sim.printed().size(); ++i) {
            const std::string& text = sim.printed()[i].text;
            const size_t at = text.find("Database saved: ");
            if (at != std::string::npos) path = line_of(text.substr(at + 16));
        }
        std::vector<DumpRow> rows;
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            DumpRow row;
            std::stringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');) row.push_back(field);
            rows.push_back(row);
        }
        return rows;
    }

    std::vector<DumpRow> rows_of(const std::string& nick)
    {
        std::vector<DumpRow> found;
        for (const DumpRow& row : dump())
            if (row.size() > 2 && row[2] == nick) found.push_back(row);
        return found;
    }

    std::vector<std::string> plugin_commands() const
    {
        std::vector<std::string> out;
        for (const CommandRecord& c : sim.commands())
            if (c.origin == Origin::Plugin) out.push_back(c.text);
        return out;
    }

    int sent_starting(const std::string& prefix) const
    {
        int n = 0;
        for (const SentLine& s : sim.sent()) n += s.line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    // The mentions of our nick that /quibo mynick lists in `where`.
    std::vector<std::string> mynick(Context& where)
    {
        const size_t before = sim.printed().size();
        sim.type(where, "/quibo mynick");
        std::vector<std::string> calls;
        for (size_t i = before; i < sim.printed().size(); ++i)
            if (sim.printed()[i].text.find(" da\0038 ") != std::string::npos) calls.push_back(sim.printed()[i].text);
        return calls;
    }
};

TEST_F(Privmsg, AnUnknownSenderGetsARecordWithTheTimeAndTheTextOfTheMessage)
{
    sim.advance(3);
    EXPECT_FALSE(pm("bob!b@bob.host", "hello there"));
    const std::vector<DumpRow> rows = rows_of("bob");
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 12u);
    EXPECT_EQ(rows[0][0], "irc.test.net");
    EXPECT_EQ(rows[0][3], "b@bob.host");
    EXPECT_EQ(rows[0][10], std::to_string(sim.now()));
    EXPECT_EQ(rows[0][11], "hello there");
    EXPECT_EQ(sim.count_events("Private Message to Dialog") + sim.count_events("Private Message"), 1);
    // A later message refreshes the time; a new address is taken over with the user's state.
    sim.advance(7);
    pm("bob!b@other.host", "again");
    const std::vector<DumpRow> moved = rows_of("bob");
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0][3], "b@other.host");
    EXPECT_EQ(moved[0][5], "other.host");
    EXPECT_EQ(moved[0][10], std::to_string(sim.now()));
    EXPECT_EQ(moved[0][11], "again");
}

TEST_F(Privmsg, AUserTheChannelShowsButTheDatabaseLacksIsReportedOnceAndRecorded)
{
    // The channel shows carol, whose join the database missed.
    sim.add_user(chan, "carol", "c@carol.host");
    say("carol!c@carol.host", "hi");
    say("carol!c@carol.host", "hi again");
    EXPECT_EQ(sim.count_printed_containing("L'utente\0038 carol\0034 manca nel database di\0038 irc.test.net"), 1);
    const std::vector<DumpRow> rows = rows_of("carol");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "#quibo");
    EXPECT_EQ(rows[0][11], "hi again");
}

TEST_F(Privmsg, EachMessageAndNoticeLeavesOneLogLine)
{
    sim.type(chan, "/QUIBO log 1");
    say("bob!b@bob.host", "hello %n all");
    from("bob!b@bob.host", "NOTICE tester :psst");
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(home.path() + "/.xchat2/quiboscript"))
        if (entry.path().extension() == ".log") {
            std::ifstream in(entry.path());
            log += std::string(std::istreambuf_iterator<char>(in), {});
        }
    const std::string when = std::to_string(sim.now());
    const auto count = [&log](const std::string& part) {
        size_t n = 0;
        for (size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("PRIVMSG: ["), 1u) << "a new sender's message is logged once";
    EXPECT_EQ(count("NOTICE: ["), 1u);
    EXPECT_NE(log.find("PRIVMSG: [" + when + " | "), std::string::npos) << log;
    EXPECT_NE(log.find("] -> channel:[#quibo] nick:[bob] address:[b@bob.host] data:[hello %n all]"), std::string::npos)
        << log;
    EXPECT_NE(log.find("NOTICE: [" + when + " | "), std::string::npos) << log;
    EXPECT_NE(log.find("] -> channel:[tester] nick:[bob] address:[b@bob.host] data:[psst]"), std::string::npos) << log;
}

TEST_F(Privmsg, TheClientsIgnoreListMarksTheRecordAndLetsItGoAgain)
{
    say("bob!b@bob.host", "first");
    sim.ignores().push_back({"bob!*@*", IG_CHAN});
    sim.print_event(chan, "Ignore Add", {"bob!*@*"});
    say("bob!b@bob.host", "ignored now");
    say("bob!b@bob.host", "still");
    EXPECT_EQ(sim.count_printed_containing("bob\0033 (\00308b@bob.host\0033) e' nella lista degli ignorati"), 1);
    EXPECT_EQ(rows_of("bob")[0][8], "255");
    sim.ignores().clear();
    sim.print_event(chan, "Ignore Remove", {"bob!*@*"});
    say("bob!b@bob.host", "back");
    EXPECT_EQ(sim.count_printed_containing("non e' piu' nella lista degli ignorati"), 1);
    EXPECT_EQ(rows_of("bob")[0][8], "0");
}

TEST_F(Privmsg, AWatchedChannelAndAWatchedWordShowInTheWindowTheUserLooksAt)
{
    sim.type(chan, "/QUIBO mod");
    sim.type(chan, "/QUIBO word spam *");
    ASSERT_NE(net.tab, nullptr);
    Context& server_tab = *net.tab;
    sim.focus(server_tab);
    say("bob!b@bob.host", "hi all");
    say("bob!b@bob.host", "cheap SPAM here");
    const std::vector<std::string> shown = sim.texts_in(server_tab);
    const auto count = [&](const std::string& part) {
        return std::count_if(shown.begin(), shown.end(), [&](auto& t) { return t.find(part) != std::string::npos; });
    };
    EXPECT_EQ(count("Attivita' in\0038 #quibo\0033 (\00308irc.test.net\0033) da parte di\0038 bob"), 2);
    EXPECT_EQ(count("la parola\0038 spam\0033 e' stata scritta da\0038 bob"), 1);
    // Looking at the channel itself, nothing is repeated there.
    sim.focus(chan);
    sim.clear_records();
    say("bob!b@bob.host", "more spam");
    EXPECT_EQ(sim.count_printed_containing("Attivita' in"), 0);
    EXPECT_EQ(sim.count_printed_containing("la parola"), 0);
}

TEST_F(Privmsg, TextFloodFromOneUserIsReportedOnceTheLimitIsPassed)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.type(chan, "/QUIBO maxsent 3");
    for (int i = 0; i < 3; ++i) say("bob!b@bob.host", "line " + std::to_string(i));
    EXPECT_EQ(sim.count_printed_containing("Flood da"), 0);
    say("bob!b@bob.host", "line 3");
    EXPECT_EQ(sim.count_printed_containing("Flood da\0038 bob\0034 in\0038 #quibo"), 1);
    // Short lines at least five seconds apart never count.
    for (int i = 0; i < 10; ++i) {
        sim.advance(5);
        say("bob!b@bob.host", "calm " + std::to_string(i));
    }
    EXPECT_EQ(sim.count_printed_containing("Flood da"), 1);
}

TEST_F(Privmsg, TheEventsCarryTheSenderAndTheText)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.type(chan, "/EVENT add 0 query * /echo Q $ru $rhost $channel $data");
    sim.type(chan, "/EVENT add 0 ctcp * /echo C $ru $data");
    sim.type(chan, "/EVENT add 0 text * /echo T $ru $channel $data");
    sim.type(chan, "/EVENT add 0 flood * /echo F $ru $data");
    sim.clear_records();
    pm("bob!b@bob.host", "psst");
    pm("bob!b@bob.host", "\001version\001");
    for (int i = 0; i < 4; ++i) say("bob!b@bob.host", "x" + std::to_string(i));
    sim.advance(6);
    // One flood count per user, whatever the line: the fourth line within five seconds passes maxsent 3.
    const std::vector<std::string> wanted = {"echo Q bob b@bob.host tester psst", "echo T bob tester psst",
                                             "echo C bob \001VERSION\001", "echo T bob #quibo x0",
                                             "echo F bob x1", "echo T bob #quibo x1",
                                             "echo T bob #quibo x2", "echo T bob #quibo x3"};
    EXPECT_EQ(plugin_commands(), wanted);
}

TEST_F(Privmsg, OurOwnLinesEchoedByTheServerAreNoMentions)
{
    say("tester!t@test.host", "tester was here");
    EXPECT_TRUE(mynick(chan).empty());
    say("bob!b@bob.host", "tester?");
    EXPECT_EQ(mynick(chan).size(), 1u);
}

class Mentions : public Privmsg {
protected:
    // Our nick on a server of its own, with a channel the peer writes in.
    std::vector<std::string> mentions_of(const std::string& nick, const std::vector<std::string>& texts)
    {
        Server& s = sim.add_server("irc." + nick + ".net", nick, nick + "Net", "irc." + nick + ".net");
        Context& c = sim.channel(s, "#talk");
        sim.add_user(c, nick, "me@my.host", "@");
        sim.focus(c);
        for (const std::string& text : texts) sim.server_line(s, ":peer!p@peer.host PRIVMSG #talk :" + text);
        return mynick(c);
    }
};

TEST_F(Mentions, AShortNickCountsOnlyAsAWordALongerOneAnywhere)
{
    const std::vector<std::string> short_calls =
        mentions_of("quib", {"quibble", "xquib yes", "quib_ is away", "[quib]", "hi QUIB!", "\0034quib\003 red",
                             "well, quib", "quib"});
    ASSERT_EQ(short_calls.size(), 4u);
    EXPECT_NE(short_calls[0].find("hi \0033quib\017!"), std::string::npos) << short_calls[0];
    EXPECT_NE(short_calls[1].find("\0033quib\017 red"), std::string::npos) << short_calls[1];
    EXPECT_NE(short_calls[2].find("well, \0033quib\017"), std::string::npos) << short_calls[2];
    const std::vector<std::string> long_calls = mentions_of("quibo", {"quibolino", "xQuIbOx", "qui bo"});
    ASSERT_EQ(long_calls.size(), 2u);
    EXPECT_NE(long_calls[0].find("\0033quibo\017lino"), std::string::npos) << long_calls[0];
    EXPECT_NE(long_calls[1].find("x\0033quibo\017x"), std::string::npos) << long_calls[1];
}

TEST_F(Mentions, TheListOfMentionsKeepsTheLatestFiveHundred)
{
    std::vector<std::string> texts;
    for (int i = 0; i < 520; ++i) texts.push_back("quibo number " + std::to_string(i));
    const std::vector<std::string> calls = mentions_of("quibo", texts);
    ASSERT_EQ(calls.size(), 500u);
    EXPECT_NE(calls.front().find("number 20"), std::string::npos) << calls.front();
    EXPECT_NE(calls.back().find("number 519"), std::string::npos) << calls.back();
}

TEST_F(Privmsg, AVersionRequestGetsTheClientsOneAnswerAndIsReported)
{
    pm("bob!b@bob.host", "\001VERSION\001");
    EXPECT_EQ(sent_starting("NOTICE bob :\001VERSION "), 1);
    EXPECT_EQ(sim.sent().size(), 1u);
    EXPECT_EQ(sim.count_printed_containing("Richiesta CTCP da\0038 bob"), 1);
    EXPECT_TRUE(plugin_commands().empty());
}

TEST_F(Privmsg, WithAnswersOffARequestIsBlankedButAnActionStillShows)
{
    sim.type(chan, "/QUIBO ctcp 0");
    sim.clear_records();
    EXPECT_TRUE(pm("bob!b@bob.host", "\001VERSION\001"));
    EXPECT_TRUE(pm("bob!b@bob.host", "\001TIME\001"));
    EXPECT_TRUE(sim.sent().empty());
    EXPECT_EQ(sim.count_printed("\0036QuIbOsCrIpT MeSsAgE: \0035CTCP Ignored"), 1) << "told once";
    EXPECT_FALSE(say("bob!b@bob.host", "\001ACTION waves\001"));
    EXPECT_EQ(sim.count_events("Channel Action"), 1);
}

TEST_F(Privmsg, ARequestFromAUserWhoseCtcpsAreIgnoredIsBlankedButHisActionIsShown)
{
    sim.ignores().push_back({"alice!*@*", IG_CTCP});
    sim.print_event(chan, "Ignore Add", {"alice!*@*"});
    sim.clear_records();
    EXPECT_TRUE(pm("alice!a@alice.host", "\001VERSION\001"));
    EXPECT_TRUE(sim.sent().empty());
    EXPECT_FALSE(say("alice!a@alice.host", "\001ACTION waves\001"));
    EXPECT_EQ(sim.count_events("Channel Action"), 1);
    // Others still get their answer.
    pm("bob!b@bob.host", "\001VERSION\001");
    EXPECT_EQ(sent_starting("NOTICE bob :\001VERSION "), 1);
}

TEST_F(Privmsg, AQueryFloodClosesQueriesUntilTenQuietSeconds)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.type(chan, "/QUIBO maxquery 8");
    sim.clear_records();
    // The first message opens the count; each of the next eight within a second adds one.
    for (int i = 1; i <= 8; ++i) EXPECT_FALSE(pm("bob!b@bob.host", "msg " + std::to_string(i))) << i;
    EXPECT_EQ(sim.count_printed_containing("Flood di query"), 0);
    EXPECT_TRUE(pm("bob!b@bob.host", "msg 9"));
    EXPECT_EQ(sim.count_printed_containing("Flood di query"), 1);
    EXPECT_EQ(sim.count_printed_containing("Responsabile:\0038 bob"), 1);
    EXPECT_EQ(sim.count_sent("WHO bob"), 1);
    // Closed for everybody while private messages keep coming.
    EXPECT_TRUE(pm("carol!c@carol.host", "me too"));
    sim.advance(6);
    EXPECT_TRUE(pm("bob!b@bob.host", "still here"));
    sim.advance(10);
    EXPECT_TRUE(pm("bob!b@bob.host", "ten seconds are not enough"));
    sim.advance(11);
    EXPECT_FALSE(pm("bob!b@bob.host", "after eleven quiet seconds"));
    EXPECT_FALSE(pm("carol!c@carol.host", "and again"));
    EXPECT_EQ(sim.count_printed_containing("Flood di query"), 1);
}

TEST_F(Privmsg, MessagesMoreThanASecondApartNeverCountAsAQueryFlood)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.type(chan, "/QUIBO maxquery 8");
    for (int i = 0; i < 20; ++i) {
        sim.advance(2);
        EXPECT_FALSE(pm("bob!b@bob.host", "slow " + std::to_string(i)));
    }
    EXPECT_EQ(sim.count_printed_containing("Flood di query"), 0);
}

TEST_F(Privmsg, ACtcpFloodSwitchesAnsweringOffAtThreeTimesTheMessageLimit)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.type(chan, "/QUIBO maxsent 3");
    sim.clear_records();
    // The first request opens the window; the ninth after it, inside the window, reaches 3 x 3.
    for (int i = 0; i < 9; ++i) pm("bob!b@bob.host", "\001PING " + std::to_string(i) + "\001");
    EXPECT_EQ(sent_starting("NOTICE bob :\001PING "), 9);
    EXPECT_EQ(sim.count_printed_containing("Flood di richieste CTCP"), 0);
    EXPECT_TRUE(pm("bob!b@bob.host", "\001PING 9\001"));
    EXPECT_EQ(sim.count_printed_containing("Flood di richieste CTCP"), 1);
    EXPECT_EQ(sim.count_printed_containing(
                  "Responsabile:\0038 bob\0034 (\00308b@bob.host\0034) sul server\0038 irc.test.net"),
              1);
    EXPECT_TRUE(pm("carol!c@carol.host", "\001VERSION\001"));
    EXPECT_EQ(sent_starting("NOTICE"), 9) << "answering stays off";
    sim.advance(60);
    EXPECT_TRUE(pm("carol!c@carol.host", "\001VERSION\001"));
    sim.type(chan, "/QUIBO ctcp 1");
    EXPECT_FALSE(pm("carol!c@carol.host", "\001VERSION\001"));
    EXPECT_EQ(sent_starting("NOTICE carol :\001VERSION "), 1);
}

TEST_F(Privmsg, RequestsSpreadOverTimeNeverMakeAFlood)
{
    sim.type(chan, "/QUIBO textfloodin 1");
    sim.clear_records();
    for (int i = 0; i < 30; ++i) {
        sim.advance(2);
        pm("bob!b@bob.host", "\001VERSION\001");
    }
    EXPECT_EQ(sent_starting("NOTICE bob :\001VERSION "), 30);
    EXPECT_EQ(sim.count_printed_containing("Flood di richieste CTCP"), 0);
}

class Away : public Privmsg {
protected:
    void SetUp() override
    {
        Privmsg::SetUp();
        sim.type(chan, "/AWAY gone fishing");
        sim.server_line(net, ":irc.test.net 306 tester :You have been marked as being away");
        sim.focus(sim.front(net));
        sim.focus(chan);
        sim.clear_records();
    }
    int answers_to(const std::string& nick) const
    {
        int n = 0;
        for (const std::string& c : plugin_commands()) n += c.rfind("NOTICE " + nick + " ", 0) == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(Away, ASenderIsAnsweredAtMostThreeTimesAndNotMoreOftenThanTheSpacing)
{
    pm("bob!b@bob.host", "are you there?");
    ASSERT_EQ(answers_to("bob"), 2) << testing::PrintToString(plugin_commands());
    // The text is the client's away reason preference.
    EXPECT_EQ(plugin_commands()[0],
              "NOTICE bob Ciao bob, in questo momento sono assente: " + sim.pref_text("away_reason"));
    EXPECT_EQ(plugin_commands()[1], "NOTICE bob Il tuo messaggio e' stato ricevuto: rispondero' appena possibile.");
    sim.advance(1);
    pm("bob!b@bob.host", "hello?");
    EXPECT_EQ(answers_to("bob"), 2) << "too soon";
    sim.advance(5);
    pm("bob!b@bob.host", "hello??");
    EXPECT_EQ(answers_to("bob"), 4);
    sim.advance(6);
    pm("bob!b@bob.host", "hello???");
    ASSERT_EQ(answers_to("bob"), 8) << "the third answer adds the last two texts";
    EXPECT_EQ(plugin_commands()[7].rfind("NOTICE bob Risposta automatica di \002QuIbOsCrIpT\017", 0), 0u)
        << plugin_commands()[7];
    sim.advance(6);
    pm("bob!b@bob.host", "HELLO");
    EXPECT_EQ(answers_to("bob"), 8) << "three answers are all a sender gets";
    for (const SentLine& line : sim.sent()) EXPECT_EQ(line.line.find_first_of("\r\n"), std::string::npos);
}

TEST_F(Away, AMentionIsAnsweredOnceAndANoticeNever)
{
    say("carol!c@carol.host", "tester: lunch?");
    EXPECT_EQ(answers_to("carol"), 2);
    sim.advance(6);
    pm("dave!d@dave.host", "tester, are you there?");
    EXPECT_EQ(answers_to("dave"), 2) << "one answer for a private message that also mentions us";
    sim.advance(6);
    from("erin!e@erin.host", "NOTICE tester :tester, ping me");
    EXPECT_EQ(answers_to("erin"), 0);
}

// ---- hostile peers ------------------------------------------------------------------------------------

// A value that can stand in a line's prefix as a nick, an ident or a host.
bool fits_prefix(const std::string& value)
{
    return !value.empty() && value.find_first_of(" !@\r\n:") == std::string::npos;
}

// One word for sh, as the plug-in hands a value to the shell.
std::string shell_word(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool one_line(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

TEST_F(Away, HostileTextsAndNicksGetTheirAnswersAsSingleLinesAndNothingElse)
{
    const std::vector<std::string> payloads = {"%010", "%013", "a\r\nQUIT :bye", "$(id)", "\\;", "%n%s",
                                               std::string(8192, 'x')};
    int peer = 0;
    for (const std::string& p : payloads) {
        SCOPED_TRACE(p.substr(0, 40));
        const auto fresh = [&] { return "peer" + std::to_string(++peer); };
        const auto deliver = [&](const std::string& who, const std::string& rest) {
            sim.advance(6);
            sim.clear_records();
            from(who, rest);
            // The client's own CTCP answer echoes what it was sent; the rest comes from the plug-in.
            for (const SentLine& line : sim.sent())
                EXPECT_TRUE(line.line.find('\001') != std::string::npos || one_line(line.line)) << line.line;
            for (const std::string& c : plugin_commands()) EXPECT_TRUE(one_line(c)) << c;
            return plugin_commands();
        };
        const auto answers = [&](const std::string& nick) {
            return std::vector<std::string>{
                "NOTICE " + nick + " Ciao " + nick + ", in questo momento sono assente: " +
                    sim.pref_text("away_reason"),
                "NOTICE " + nick + " Il tuo messaggio e' stato ricevuto: rispondero' appena possibile."};
        };
        std::string nick = fresh();
        EXPECT_EQ(deliver(nick + "!u@h", "PRIVMSG tester :" + p), answers(nick));
        nick = fresh();
        EXPECT_EQ(deliver(nick + "!u@h", "NOTICE tester :" + p), std::vector<std::string>{});
        nick = fresh();
        const std::vector<std::string> ctcp = deliver(nick + "!u@h", "PRIVMSG tester :\001PING " + p + "\001");
        ASSERT_EQ(ctcp.size(), 1u);
        EXPECT_EQ(ctcp[0].rfind("NOTICE " + nick + " \002QuIbOsCrIpT\017 [http://", 0), 0u) << ctcp[0];
        EXPECT_LE(sim.sent().size(), 2u) << "the client's answer and ours";
        if (!fits_prefix(p)) continue;
        const std::vector<std::string> to_hostile = deliver(p + "!u@h", "PRIVMSG tester :hi");
        if (p.size() < 1000)
            EXPECT_EQ(to_hostile, answers(p));
        else
            EXPECT_EQ(to_hostile, std::vector<std::string>{}) << "a command too long for one line is refused whole";
    }
}

// The rules of the injection suite: every value of a "text" event echoed into /say and into a queued /quibo
// command that hands them to the shell.
class Injection : public Privmsg {
protected:
    void SetUp() override
    {
        Privmsg::SetUp();
        sim.type(chan, "/EVENT add 0 text * /say d=$data\\;/say r=$ru h=$rhost\\;/say c=$channel s=$server");
        sim.type(chan, "/EVENT add 0 text * /quibo exec printf %%s: $data $ru $rhost $channel $server");
        shell_folder = home.make_dir("shell");
        sim.clear_records();
    }

    struct Values {
        std::string nick = "peer", ident = "p", host = "peer.host", target = "#quibo", text = "hello";
        std::string kind = "PRIVMSG";
    };

    std::vector<std::string> expected(const Values& v) const
    {
        if (v.text.find("\001ACTION") != std::string::npos) return {};  // a CTCP request is no text event
        const std::string data = as_received(v.text), address = v.ident + "@" + v.host;
        std::vector<std::string> wanted = {
            "say d=" + data, "say r=" + v.nick + " h=" + address, "say c=" + v.target + " s=irc.test.net",
            "quibo exec printf %s: " + data + " " + v.nick + " " + address + " " + v.target + " irc.test.net",
            "EXEC printf %s: " + shell_word(data) + " " + shell_word(v.nick) + " " + shell_word(address) + " " +
                shell_word(v.target) + " 'irc.test.net'"};
        std::erase_if(wanted, [](const std::string& c) { return c.size() > 2048; });
        if (std::none_of(wanted.begin(), wanted.end(), [](auto& c) { return c.rfind("quibo exec", 0) == 0; }))
            std::erase_if(wanted, [](const std::string& c) { return c.rfind("EXEC ", 0) == 0; });
        return wanted;
    }

    void check(const Values& v, const std::string& where)
    {
        SCOPED_TRACE(where);
        sim.advance(6);
        sim.clear_records();
        from(v.nick + "!" + v.ident + "@" + v.host, v.kind + " " + v.target + " :" + v.text);
        sim.advance(6);
        const std::vector<std::string> commands = plugin_commands();
        EXPECT_EQ(commands, expected(v));
        for (const std::string& c : commands)
            if (c.rfind("EXEC ", 0) == 0) {
                const std::string printed = as_received(v.text) + ":" + v.nick + ":" + v.ident + "@" + v.host + ":" +
                                            v.target + ":irc.test.net:";
                EXPECT_EQ(shell_output(c.substr(5), shell_folder), printed);
                ++shell_checks;
            }
        for (const SentLine& line : sim.sent()) EXPECT_TRUE(one_line(line.line)) << line.line;
        struct stat info {};
        EXPECT_NE(stat((shell_folder + "/CANARY").c_str(), &info), 0) << "a value ran as shell syntax";
    }

    std::string shell_folder;
    int shell_checks = 0;
};


TEST_F(Injection, HostileTextsNicksIdentsAndHostsFromPeersStayPlainTextInEveryRule)
{
    const std::vector<std::string> payloads = hostile_payloads();
    ASSERT_EQ(payloads.size(), 40u);
    int deliveries = 0;
    for (const std::string& p : payloads) {
        const std::string shown = p.substr(0, 40);
        Values channel_text;
        channel_text.text = p;
        check(channel_text, "channel message " + shown);
        Values private_text;
        private_text.target = "tester";
        private_text.text = p;
        check(private_text, "private message " + shown);
        Values notice_text = private_text;
        notice_text.kind = "NOTICE";
        check(notice_text, "notice " + shown);
        deliveries += 3;
        if (!fits_prefix(p)) continue;
        for (std::string Values::*field : {&Values::nick, &Values::ident, &Values::host}) {
            Values v;
            v.*field = p;
            check(v, "sender " + shown);
            ++deliveries;
        }
    }
    EXPECT_GT(deliveries, 150);
    EXPECT_GT(shell_checks, 100);
}

}  // namespace
