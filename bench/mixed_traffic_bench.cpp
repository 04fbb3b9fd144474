// Mixed channel traffic through the raw-line hook of the loaded plug-in: users
// talk, change nick, leave, come back and quit in a channel whose users the
// plug-in knows. Reports the cost of one line of each kind; none may grow with
// the number of users known.
#include "bench_home.h"
#include "hostsim.h"
#include "internal.h"

#include "users/chatuser.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

constexpr const char* kServer = "irc.bench.net";

enum Kind { kPrivmsg, kJoin, kPart, kQuit, kNick, kKinds };
constexpr std::array<const char*, kKinds> kKindNames = {"PRIVMSG_ns", "JOIN_ns", "PART_ns", "QUIT_ns", "NICK_ns"};

std::string nick_of(int i) { return "user" + std::to_string(i); }
std::string address_of(int i) { return "~u" + std::to_string(i) + "@host" + std::to_string(i) + ".example.net"; }

// A record of the user in #big, as the WHO manager keeps it once the user joined.
void known(const std::string& nick, const std::string& address)
{
    ChatUserPtr record = CreateUser(kServer, "#big", nick.c_str(), address.c_str(), nullptr);
    InsertUser(record);
    IsDatabaseChanged();
}

class Traffic {
public:
    explicit Traffic(int users) : users_(users)
    {
        auto& server = sim_.add_server(kServer, "me", "BenchNet", kServer);
        auto& chan = sim_.channel(server, "#big");
        sim_.add_user(chan, "me", "~me@bench.host", "@");
        for (int i = 0; i < users; ++i) sim_.add_user(chan, nick_of(i), address_of(i));
        sim_.focus(chan);
        handle_ = sim_.attach("bench", &chan);
        char *name, *desc, *version;
        {
            QuietStdout quiet;
            xchat_plugin_init(handle_, &name, &desc, &version, nullptr);
        }
        raw_line_ = sim_.hooks(hostsim::HookKind::Server).front();
        for (int i = 0; i < users; ++i) known(nick_of(i), address_of(i));
        ChatUserPtr me = CreateUser(kServer, "#big", "me", "~me@bench.host", nullptr);
        SetSpecialUser(me.get(), "me");
        InsertUser(me);
        IsDatabaseChanged();
        sim_.clear_records();
    }
    ~Traffic()
    {
        QuietStdout quiet;
        xchat_plugin_deinit(handle_);
        FlushDatabases();
        SetCurrentDatabase(0);
        sim_.detach(handle_);
    }

    // One round of one user's traffic; the time of each line is added to its kind.
    void round(int i)
    {
        const std::string nick = nick_of(i);
        const std::string address = address_of(i);
        const std::string prefix = ":" + nick + "!" + address;
        timed(kPrivmsg, prefix + " PRIVMSG #big :hello everybody, how is it going?");
        timed(kNick, prefix + " NICK :" + nick + "_away");
        timed(kNick, ":" + nick + "_away!" + address + " NICK :" + nick);
        timed(kPart, prefix + " PART #big :see you");
        timed(kJoin, prefix + " JOIN :#big");
        known(nick, address);
        timed(kQuit, prefix + " QUIT :Quit: bye");
        timed(kJoin, prefix + " JOIN :#big");
        known(nick, address);
    }

    void report(benchmark::State& state) const
    {
        for (int k = 0; k < kKinds; ++k)
            state.counters[kKindNames[k]] = lines_[k] ? static_cast<double>(nanoseconds_[k]) / lines_[k] : 0.0;
    }

    int users() const { return users_; }

private:
    // The processor time of this thread: the machine may be shared, and waiting is not the plug-in's cost.
    static long long thread_ns()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1000000000LL + now.tv_nsec;
    }

    // What reading the clock twice costs, taken off every line.
    static long long clock_cost()
    {
        constexpr int kReads = 1000;
        const long long start = thread_ns();
        for (int i = 0; i < kReads; ++i) benchmark::DoNotOptimize(thread_ns());
        return (thread_ns() - start) / kReads;
    }

    void timed(Kind kind, const std::string& line)
    {
        hostsim::WordArrays words(line, false, false);
        const long long start = thread_ns();
        benchmark::DoNotOptimize(raw_line_->command_cb(words.word(), words.word_eol(), raw_line_->userdata));
        nanoseconds_[kind] += thread_ns() - start - clock_cost_;
        ++lines_[kind];
    }

    int users_;
    hostsim::Sim sim_;
    xchat_plugin* handle_ = nullptr;
    const hostsim::Hook* raw_line_ = nullptr;
    const long long clock_cost_ = clock_cost();
    std::array<long long, kKinds> nanoseconds_{};
    std::array<long long, kKinds> lines_{};
};

void MixedChannelTraffic(benchmark::State& state)
{
    const std::filesystem::path home = make_bench_home(state);
    if (home.empty()) return;
    {
        Traffic traffic(static_cast<int>(state.range(0)));
        int i = 0;
        for (auto _ : state) {
            traffic.round(i);
            i = (i + 7919) % traffic.users();  // users all over the list, not one corner of it
        }
        traffic.report(state);
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(MixedChannelTraffic)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
