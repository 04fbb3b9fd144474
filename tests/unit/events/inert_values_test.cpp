// Hostile values from the network offered as event values: every rule gives
// exactly its own commands, each carrying the value as plain text; nothing
// is split off, resolved, percent-translated or handed to a shell as syntax.
#include "events_fixture.h"
#include "hostile_payloads.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kLongestCommand = 2048;

using hostsim::hostile_payloads;

using hostsim::as_received;
using hostsim::shell_output;

class InertValues : public EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        iFlagEnableDatabase = 1;
        ASSERT_EQ(add(0, "all", "*", "/say d=$data\\;/say r=$ru h=$rhost\\;/say c=$channel s=$server l=$lu"), 0);
        ASSERT_EQ(add(0, "all", "*", "/quibo exec printf %%s: $data $ru $rhost $channel $server"), 0);
        ASSERT_EQ(add(0, "text", "*", "/notice $ru %Bgot%O $data"), 0);
        shell_folder = home.make_dir("shell");
    }

    struct Event {
        std::string kind, lu = "me", ru = "peer", rhost = "peer@example.org", channel = "#quibo",
                          server = "irc.test.net", data = "hello";
    };

    std::vector<std::string> expected_commands(const Event& e)
    {
        auto v = [](const std::string& s) { return as_received(s); };
        std::vector<std::string> wanted = {
            "say d=" + v(e.data), "say r=" + v(e.ru) + " h=" + v(e.rhost),
            "say c=" + v(e.channel) + " s=" + v(e.server) + " l=" + v(e.lu),
            "quibo exec printf %s: " + v(e.data) + " " + v(e.ru) + " " + v(e.rhost) + " " + v(e.channel) + " " +
                v(e.server),
            "EXEC printf %s: " + shell_quoted(v(e.data)) + " " + shell_quoted(v(e.ru)) + " " +
                shell_quoted(v(e.rhost)) + " " + shell_quoted(v(e.channel)) + " " + shell_quoted(v(e.server))};
        if (e.kind == "text") wanted.push_back("notice " + v(e.ru) + " \002got\017 " + v(e.data));
        // A command too long for one line is refused whole, never cut into a fragment.
        std::erase_if(wanted, [](const std::string& c) { return c.size() > kLongestCommand; });
        if (std::none_of(wanted.begin(), wanted.end(), [](auto& c) { return c.rfind("quibo exec", 0) == 0; }))
            std::erase_if(wanted, [](const std::string& c) { return c.rfind("EXEC ", 0) == 0; });
        return wanted;
    }

    void check(const Event& e, const std::string& where)
    {
        SCOPED_TRACE(where + " carries a " + std::to_string(e.data.size() + e.ru.size()) + "-byte mix");
        EXPECT_EQ(VerifyEvent(here(), e.kind.c_str(), e.lu.c_str(), e.ru.c_str(), e.rhost.c_str(),
                              e.channel.c_str(), e.server.c_str(), e.data.c_str()),
                  1);
        const std::vector<std::string> commands = drained();
        const std::vector<std::string> wanted = expected_commands(e);
        EXPECT_EQ(commands, wanted);
        for (const std::string& command : commands)
            if (command.rfind("EXEC ", 0) == 0) {
                const std::string out = shell_output(command.substr(5), shell_folder);
                EXPECT_EQ(out, as_received(e.data) + ":" + as_received(e.ru) + ":" + as_received(e.rhost) + ":" +
                                   as_received(e.channel) + ":" + as_received(e.server) + ":");
                ++shell_runs;
            }
        struct stat info{};
        EXPECT_NE(stat((shell_folder + "/CANARY").c_str(), &info), 0) << "a value ran as shell syntax";
    }

    std::string shell_folder;
    int shell_runs = 0;
};

TEST_F(InertValues, HostilePayloadsInEveryEventFieldStayPlainText)
{
    const std::vector<std::pair<const char*, std::string Event::*>> fields = {
        {"message text", &Event::data}, {"nick", &Event::ru},        {"ident and host", &Event::rhost},
        {"channel name", &Event::channel}, {"server", &Event::server}, {"own nick", &Event::lu}};
    const char* kinds[] = {"text", "kick", "pserver", "other", "notify", "query", "invite"};
    int events = 0;
    for (const std::string& payload : hostile_payloads()) {
        for (const auto& [name, field] : fields) {
            Event e;
            e.kind = kinds[events++ % std::size(kinds)];
            e.*field = payload;
            check(e, std::string(name) + " in a " + e.kind + " event");
        }
    }
    EXPECT_EQ(events, 40 * 6);
    EXPECT_GT(shell_runs, 200);
}

TEST_F(InertValues, KickReasonsQuitReasonsTopicsAndNoticesFromAPeerCarryTheNickToo)
{
    for (const char* kind : {"kick", "pserver", "other", "text"}) {
        Event e;
        e.kind = kind;
        e.ru = "a\\;b";
        e.rhost = "`touch CANARY`@$(touch CANARY)";
        e.data = "\\;/quit %010QUIT _QUIBO_SEPARATOR_ $(touch CANARY)";
        check(e, kind);
    }
}

TEST_F(InertValues, AValueNeverNamesTheCommandToRun)
{
    add(0, "query", "*", "$data");
    add(0, "query", "*", "/$ru hello");
    VerifyEvent(here(), "query", "me", "quit", "h", "#c", "net", "/quit bye");
    const auto commands = drained();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](auto& c) { return c.find("quit") == 0; }), 0);
    EXPECT_EQ(sim.count_printed_containing("cannot name the command"), 2);
}

TEST_F(InertValues, PercentEscapesStillWorkInTheUsersOwnText)
{
    FlushAllSentinel();
    add(0, "text", "*", "/say %Bbold%O %C4red %% $data");
    offer("text", "%B50%%");
    EXPECT_EQ(drained(), std::vector<std::string>{"say \002bold\017 \0034red % %B50%%"});
}

}  // namespace
