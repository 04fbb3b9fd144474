// Hostile server lines through the raw-line hook of the plug-in, loaded into
// the simulated client: real lines from a seed file, mutated the ways a broken
// or malicious server would (no prefix, a lone ':', '!' outside the prefix,
// 8 KB lines, control bytes, missing parameters, MODE with 50 parameters,
// NAMES without its trailing blank). A fixed seed makes every run the same.
//
//   raw_line_fuzz --seeds FILE [--lines N] [--seed S] [--progress]
//
// Run under the sanitizers: any report or crash ends the run with an error.
#include "hostsim.h"

#include "settings/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

namespace {

struct Options {
    std::string seeds;
    long lines = 200000;
    uint64_t seed = 20261208;
    bool progress = false;
};

bool parse_options(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--seeds" && has_value) options.seeds = argv[++i];
        else if (arg == "--lines" && has_value) options.lines = std::atol(argv[++i]);
        else if (arg == "--seed" && has_value) options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--progress") options.progress = true;
        else return false;
    }
    return !options.seeds.empty() && options.lines > 0;
}

// "\001" in the seed file stands for the byte 0x01.
std::string unescape(const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 4, "\\001") == 0) {
            out += '\001';
            i += 3;
        } else {
            out += line[i];
        }
    }
    return out;
}

std::vector<std::string> read_seeds(const std::string& path)
{
    std::vector<std::string> seeds;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') seeds.push_back(unescape(line));
    return seeds;
}

class Mutator {
public:
    Mutator(uint64_t seed, std::vector<std::string> seeds) : rng(seed), seeds(std::move(seeds)) {}

    std::string next()
    {
        std::string line = seeds[pick(seeds.size())];
        const size_t mutations = pick(5);
        for (size_t i = 0; i < mutations; ++i) mutate(line);
        // What the client hands on: one line, no NUL, no line end.
        std::erase_if(line, [](char c) { return c == '\0' || c == '\n' || c == '\r'; });
        return line;
    }

private:
    size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; }
    bool coin() { return pick(2) == 0; }

    std::string word()
    {
        static const char* const words[] = {
            "me",    "ME",     "#chan", "&local", "!excl",  "'quote", "+plus", "alice", ":",      "::",
            "!",     "@",      "*",     "",       "#",      "a!b@c",  ":x",    "\001",   "%s%n%d", "-",
            "+o",    "-v+b",   "0",     "-1",     "999999", "*!*@*",  "~",     "@me",    ":me",    "#QuIbOsCrIpT",
        };
        return words[pick(std::size(words))];
    }

    void mutate(std::string& line)
    {
        using Step = void (Mutator::*)(std::string&);
        static const Step steps[] = {
            &Mutator::drop_prefix,     &Mutator::lone_colon,      &Mutator::bang_outside_prefix,
            &Mutator::grow_to_8k,      &Mutator::control_bytes,   &Mutator::truncate,
            &Mutator::mode_50,         &Mutator::names_unpadded,  &Mutator::other_command,
            &Mutator::flip_byte,       &Mutator::drop_word,       &Mutator::insert_word,
            &Mutator::odd_prefix,      &Mutator::double_blanks,   &Mutator::ctcp,
            &Mutator::target_variants,
        };
        (this->*steps[pick(std::size(steps))])(line);
    }

    size_t blank_after(const std::string& line, size_t n)
    {
        size_t at = 0;
        for (size_t i = 0; i < n && at != std::string::npos; ++i) at = line.find(' ', at + (i ? 1 : 0));
        return at;
    }

    void drop_prefix(std::string& line)
    {
        if (line.starts_with(':')) line.erase(0, std::min(line.size(), line.find(' ') + 1));
    }
    void lone_colon(std::string& line)
    {
        static const char* const forms[] = {":", ": ", ":  ", " :", ": PRIVMSG", ":: ::"};
        line = coin() ? forms[pick(std::size(forms))] : ":" + line.substr(std::min(line.size(), line.find(' ')));
    }
    void bang_outside_prefix(std::string& line)
    {
        const size_t first = line.find(' ');
        const size_t at = first == std::string::npos ? line.size() : first + pick(line.size() - first + 1);
        line.insert(std::min(at, line.size()), coin() ? "!" : "!evil@spoofed.host");
    }
    // Now and then 8 KB; otherwise a line a few times the size a server may send.
    void grow_to_8k(std::string& line)
    {
        const size_t target = pick(4) == 0 ? 8192 + pick(256) : 512 + pick(1024);
        if (coin()) {
            while (line.size() < target) line += " " + word() + std::to_string(pick(1000));
        } else if (line.size() < target) {
            line.append(target - line.size(), 'x');
        }
        line.resize(target);
    }
    void control_bytes(std::string& line)
    {
        for (size_t n = 1 + pick(8); n; --n)
            line.insert(pick(line.size() + 1), 1, static_cast<char>(1 + pick(31)));
    }
    void truncate(std::string& line) { line.resize(pick(line.size() + 1)); }
    void mode_50(std::string& line)
    {
        static const char letters[] = "qaohvbeIklimnstp+-";
        std::string modes = coin() ? "+" : "";
        std::string params;
        for (int i = 0; i < 50; ++i) {
            modes += letters[pick(sizeof letters - 1)];
            params += " " + (coin() ? word() : "n" + std::to_string(i));
        }
        line = (coin() ? ":op!o@h" : ":irc.quibo.test") + std::string(" MODE ") + (coin() ? "#chan " : "me ") + modes +
               params;
    }
    void names_unpadded(std::string& line)
    {
        line = ":irc.quibo.test 353 me " + std::string(coin() ? "= " : "") + "#chan :" + (coin() ? "@a +b c" : "");
        if (coin()) line += std::string(pick(3), ' ');
    }
    void other_command(std::string& line)
    {
        static const char* const commands[] = {
            "PRIVMSG", "NOTICE", "INVITE", "JOIN", "280",  "NICK", "322",  "482",  "PART", "KICK",   "MODE", "MODEX",
            "353",     "352",    "QUIT",   "001",  "315",  "376",  "600",  "601",  "604",  "605",    "303",  "PING",
            "ERROR",   "0011",   "3530",   "",     "KILL", "TOPIC", "PRIVMSGX", "CAP", "005", "433", "NOTICEX",
        };
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        const std::string head = first == std::string::npos ? line : line.substr(0, first);
        const std::string tail = second == std::string::npos ? "" : line.substr(second);
        line = head + " " + commands[pick(std::size(commands))] + tail;
    }
    void flip_byte(std::string& line)
    {
        if (!line.empty()) line[pick(line.size())] = static_cast<char>(pick(256));
    }
    void drop_word(std::string& line)
    {
        const size_t start = blank_after(line, pick(8));
        if (start == std::string::npos || start >= line.size()) return;
        const size_t end = line.find(' ', start + 1);
        line.erase(start, end == std::string::npos ? std::string::npos : end - start);
    }
    void insert_word(std::string& line)
    {
        const size_t at = blank_after(line, pick(8));
        line.insert(at == std::string::npos ? line.size() : at, " " + word());
    }
    void odd_prefix(std::string& line)
    {
        static const std::string prefixes[] = {
            ":",           ":!",          ":nick!",         ":!user@host",          ":a!b!c@d",
            ":me!~quibo@127.0.0.1", ":irc.quibo.test", "::alice!a@h", ":alice!~alice@127.0.0.2",
            ":" + std::string(600, 'n') + "!u@" + std::string(600, 'h'),
        };
        const size_t first = line.find(' ');
        line = prefixes[pick(std::size(prefixes))] + (first == std::string::npos ? " PRIVMSG" : line.substr(first));
    }
    void double_blanks(std::string& line)
    {
        const size_t at = line.find(' ', pick(line.size() + 1));
        if (at != std::string::npos) line.insert(at, std::string(1 + pick(4), ' '));
    }
    void ctcp(std::string& line)
    {
        static const char* const requests[] = {
            "\001VERSION\001", "\001ACTION x\001", "\001DCC SEND a 1 2 3\001", "\001PING\001", "\001", "\001\001",
            "\001SOUND x.wav\001", "\001VERSION",
        };
        const size_t colon = line.find(" :");
        const std::string head = colon == std::string::npos ? line : line.substr(0, colon);
        line = head + " :" + requests[pick(std::size(requests))];
    }
    void target_variants(std::string& line)
    {
        const size_t start = blank_after(line, 2);
        if (start == std::string::npos) return;
        const size_t end = line.find(' ', start + 1);
        line.replace(start + 1, end == std::string::npos ? std::string::npos : end - start - 1, word());
    }

    std::mt19937_64 rng;
    std::vector<std::string> seeds;
};

// Keeps the model of the client where the lines expect it, and small: the
// mutated lines open tabs and fill user lists without end.
void tidy(hostsim::Sim& sim, hostsim::Server& server)
{
    sim.clear_records();
    server.nick = "me";
    for (hostsim::Context* tab : sim.tabs()) {
        const bool kept = tab == server.tab || tab->channel == "#chan" || tab->channel == "alice";
        if (!kept && tab->server == &server) sim.close(*tab);
    }
    hostsim::Context& chan = sim.channel(server, "#chan");
    if (chan.users.size() > 64) chan.users.clear();
    if (!chan.find_user("alice")) sim.add_user(chan, "alice", "~alice@127.0.0.2", "+");
    if (!chan.find_user("me")) sim.add_user(chan, "me", "~quibo@127.0.0.1", "@");
}

// Switches some settings now and then, through the command the user types.
void vary_settings(hostsim::Sim& sim, hostsim::Context& where, std::mt19937_64& rng)
{
    const int section = static_cast<int>(rng() % kParserModeCount);
    sim.type(where, "/QUIBO parser " + std::to_string(section) + " " + std::to_string(rng() % 2));
    if (rng() % 4 == 0) sim.type(where, "/QUIBO log");
    if (rng() % 8 == 0) sim.type(where, "/QUIBO pktime " + std::to_string(rng() % 3));
}

// The word arrays the client hands a server hook: word[1..31] and word_eol[1..31],
// empty strings past the end; word[0] is the command word.
class HookWords {
public:
    explicit HookWords(const std::string& line) : line_(line), split_(line)
    {
        word_.fill(empty_);
        word_eol_.fill(empty_);
        size_t at = 0;
        for (int i = 1; i < kSlots && at <= line_.size(); ++i) {
            word_eol_[i] = line_.data() + at;
            word_[i] = split_.data() + at;
            const size_t blank = line_.find(' ', at);
            if (blank == std::string::npos) break;
            split_[blank] = '\0';
            at = blank + 1;
        }
        word_[0] = line_.starts_with(':') ? word_[2] : word_[1];
    }
    char** word() { return word_.data(); }
    char** word_eol() { return word_eol_.data(); }

private:
    static constexpr int kSlots = 32;
    std::string line_;
    std::string split_;
    char empty_[1] = "";
    std::array<char*, kSlots + 1> word_{};
    std::array<char*, kSlots + 1> word_eol_{};
};

// Most lines go straight to the plug-in's raw-line hook, as the client calls it;
// one in kThroughClient also takes the client's own way, so that its model of
// tabs and users moves as the lines say.
constexpr long kThroughClient = 32;

bool feed(hostsim::Sim& sim, hostsim::Server& server, const hostsim::Hook& raw_line, const std::string& line, long i)
{
    if (i % kThroughClient == 0) return sim.server_line(server, line);
    if (line.empty()) return false;
    HookWords words(line);
    return raw_line.command_cb(words.word(), words.word_eol(), raw_line.userdata) & XCHAT_EAT_XCHAT;
}

struct Totals {
    long eaten = 0;
    size_t faults = 0;
};

// The simulated client keeps every tab and list it ever handed out, so a long
// run uses a fresh client (and a fresh load of the plug-in) every so many lines.
constexpr long kLinesPerClient = 20000;

void run_client(Mutator& mutator, std::mt19937_64& settings_rng, const std::filesystem::path& data, long lines,
                Totals& totals)
{
    hostsim::Sim sim;
    auto& server = sim.add_server("irc.quibo.test", "me", "QuiboNet", "irc.quibo.test");
    auto& chan = sim.channel(server, "#chan");
    sim.dialog(server, "alice");
    sim.focus(chan);
    tidy(sim, server);
    xchat_plugin* handle = sim.attach("fuzz", &chan);
    char *name, *description, *version;
    xchat_plugin_init(handle, &name, &description, &version, nullptr);
    vary_settings(sim, chan, settings_rng);
    const auto server_hooks = sim.hooks(hostsim::HookKind::Server);
    if (server_hooks.size() != 1) {
        fprintf(stderr, "expected the raw-line hook alone, found %zu server hooks\n", server_hooks.size());
        ++totals.faults;
        return;
    }
    for (long i = 0; i < lines; ++i) {
        if (i % 1000 == 0) tidy(sim, server);
        if (feed(sim, server, *server_hooks.front(), mutator.next(), i)) ++totals.eaten;
    }
    xchat_plugin_deinit(handle);
    sim.detach(handle);
    for (const auto& entry : std::filesystem::directory_iterator(data))
        if (entry.path().extension() == ".log") std::filesystem::remove(entry.path());
    for (const std::string& fault : sim.faults()) fprintf(stderr, "client fault: %s\n", fault.c_str());
    totals.faults += sim.faults().size();
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse_options(argc, argv, options)) {
        fprintf(stderr, "usage: %s --seeds FILE [--lines N] [--seed S] [--progress]\n", argv[0]);
        return 2;
    }
    std::vector<std::string> seeds = read_seeds(options.seeds);
    if (seeds.empty()) {
        fprintf(stderr, "no seed lines in %s\n", options.seeds.c_str());
        return 2;
    }
    char home[] = "/tmp/quibo_fuzz_XXXXXX";
    if (!mkdtemp(home)) return 2;
    setenv("HOME", home, 1);
    const std::filesystem::path data = std::filesystem::path(home) / ".xchat2" / "quiboscript";
    std::filesystem::create_directories(data);

    Mutator mutator(options.seed, std::move(seeds));
    std::mt19937_64 settings_rng(options.seed ^ 0x5bd1e995u);
    // The plug-in's reports on standard output would drown the figures.
    fflush(stdout);
    const int saved_stdout = dup(STDOUT_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, STDOUT_FILENO);
    Totals totals;
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < options.lines; done += kLinesPerClient) {
        const long chunk = std::min(kLinesPerClient, options.lines - done);
        run_client(mutator, settings_rng, data, chunk, totals);
        if (options.progress) dprintf(saved_stdout, "%ld lines\n", done + chunk);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fflush(stdout);
    dup2(saved_stdout, STDOUT_FILENO);
    close(saved_stdout);
    close(null_fd);
    std::filesystem::remove_all(home);
    printf("raw_line_fuzz: %ld lines (seed %llu), %ld eaten, %.1f s, %.0f lines/s, %zu client faults\n", options.lines,
           static_cast<unsigned long long>(options.seed), totals.eaten, seconds, options.lines / seconds,
           totals.faults);
    return totals.faults == 0 ? 0 : 1;
}
