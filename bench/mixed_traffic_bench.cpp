// Mixed channel traffic through the raw-line hook of the loaded plug-in: users
// talk, change nick, leave, come back and quit in a channel whose users the
// plug-in knows. Reports the cost of one line of each kind; none may grow with
// the number of users known. Lines of one kind are timed in batches of users.
#include "bench_home.h"
#include "hostsim.h"
#include "internal.h"

#include "users/chatuser.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

constexpr const char* kServer = "irc.bench.net";
// Users whose lines of one kind are timed together (distinct users: fewer than either user count).
constexpr int kBatchUsers = 50;

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

    // One round of traffic for a batch of users, step by step: every user of the batch talks, then every one
    // changes nick and back, leaves, comes back and quits and comes back. Each step's lines are timed
    // together, so that reading the clock (a system call here, over a microsecond) weighs on no line.
    void round(const std::vector<int>& batch)
    {
        std::vector<std::string> prefixes, nicks, addresses;
        for (int i : batch) {
            nicks.push_back(nick_of(i));
            addresses.push_back(address_of(i));
            prefixes.push_back(":" + nicks.back() + "!" + addresses.back());
        }
        const size_t n = batch.size();
        timed(kPrivmsg, n, [&](size_t k) { return prefixes[k] + " PRIVMSG #big :hello everybody, how is it going?"; });
        timed(kNick, n, [&](size_t k) { return prefixes[k] + " NICK :" + nicks[k] + "_away"; });
        timed(kNick, n, [&](size_t k) { return ":" + nicks[k] + "_away!" + addresses[k] + " NICK :" + nicks[k]; });
        timed(kPart, n, [&](size_t k) { return prefixes[k] + " PART #big :see you"; });
        timed(kJoin, n, [&](size_t k) { return prefixes[k] + " JOIN :#big"; });
        for (size_t k = 0; k < n; ++k) known(nicks[k], addresses[k]);
        timed(kQuit, n, [&](size_t k) { return prefixes[k] + " QUIT :Quit: bye"; });
        timed(kJoin, n, [&](size_t k) { return prefixes[k] + " JOIN :#big"; });
        for (size_t k = 0; k < n; ++k) known(nicks[k], addresses[k]);
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

    // The lines are split into words first (the client's work); then the hook gets them one after another.
    template <class LineOf>
    void timed(Kind kind, size_t count, LineOf line_of)
    {
        std::vector<std::unique_ptr<hostsim::WordArrays>> lines;
        for (size_t k = 0; k < count; ++k) lines.push_back(std::make_unique<hostsim::WordArrays>(line_of(k), false, false));
        const long long start = thread_ns();
        for (const auto& words : lines)
            benchmark::DoNotOptimize(raw_line_->command_cb(words->word(), words->word_eol(), raw_line_->userdata));
        nanoseconds_[kind] += thread_ns() - start - clock_cost_;
        lines_[kind] += static_cast<long long>(count);
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
        std::vector<int> batch(kBatchUsers);
        for (auto _ : state) {
            for (int& user : batch) {
                user = i;
                i = (i + 7919) % traffic.users();  // users all over the list, not one corner of it
            }
            traffic.round(batch);
        }
        traffic.report(state);
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(MixedChannelTraffic)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
