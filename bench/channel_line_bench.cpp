// One channel PRIVMSG through the raw-line hook of the loaded plug-in, in a
// channel whose users the client and the plug-in know: the cost of a line must
// not grow with the size of the channel.
#include "bench_home.h"
#include "hostsim.h"
#include "internal.h"

#include "users/chatuser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

hostsim::User user(std::string nick, std::string host, std::string prefix = {})
{
    hostsim::User u;
    u.nick = std::move(nick);
    u.host = std::move(host);
    u.prefix = std::move(prefix);
    return u;
}

void ChannelPrivmsgWithUsersKnown(benchmark::State& state)
{
    const std::filesystem::path home = make_bench_home(state);
    if (home.empty()) return;

    hostsim::Sim sim;
    auto& server = sim.add_server("irc.bench.net", "me", "BenchNet", "irc.bench.net");
    auto& chan = sim.channel(server, "#big");
    const int users = static_cast<int>(state.range(0));
    chan.users.insert(user("me", "~me@bench.host", "@"));
    for (int i = 0; i < users; ++i)
        chan.users.insert(user("user" + std::to_string(i), "~u" + std::to_string(i) + "@host" + std::to_string(i)));
    sim.focus(chan);
    xchat_plugin* handle = sim.attach("bench", &chan);
    char *name, *desc, *version;
    {
        QuietStdout quiet;
        xchat_plugin_init(handle, &name, &desc, &version, nullptr);
    }
    // The hook as the client calls it for a line of #big; the client's own handling is not measured.
    const hostsim::Hook& raw_line = *sim.hooks(hostsim::HookKind::Server).front();
    // Not inlined: a profile tells the setup lines from the measured ones by their caller.
    auto feed = [&raw_line](const std::string& line) __attribute__((noinline)) {
        hostsim::WordArrays words(line, false, false);
        return raw_line.command_cb(words.word(), words.word_eol(), raw_line.userdata);
    };
    // Our own record first: a line seen while the database lacks it starts a repair.
    ChatUserPtr me = CreateUser("irc.bench.net", "#big", "me", "~me@bench.host", nullptr);
    SetSpecialUser(me.get(), "me");
    InsertUser(me);
    // Each user joins in the plug-in's sight and has a record in the user database.
    for (int i = 0; i < users; ++i) {
        const std::string nick = "user" + std::to_string(i);
        const std::string address = "~u" + std::to_string(i) + "@host" + std::to_string(i);
        feed(":" + nick + "!" + address + " JOIN :#big");
        ChatUserPtr record = CreateUser("irc.bench.net", "#big", nick.c_str(), address.c_str(), nullptr);
        InsertUser(record);
    }
    IsDatabaseChanged();
    sim.clear_records();

    const std::string line = ":user" + std::to_string(users / 2) + "!~u" + std::to_string(users / 2) + "@host" +
                             std::to_string(users / 2) + " PRIVMSG #big :hello everybody";
    hostsim::WordArrays words(line, false, false);
    for (auto _ : state) benchmark::DoNotOptimize(raw_line.command_cb(words.word(), words.word_eol(), raw_line.userdata));
    {
        QuietStdout quiet;
        xchat_plugin_deinit(handle);
    }
    sim.detach(handle);
    std::filesystem::remove_all(home);
}
BENCHMARK(ChannelPrivmsgWithUsersKnown)->Arg(100)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
