// Clone detection, the watch files and the listings of the user database.
//
// Records sit in host order, a new one before the others of its host, so a
// user's clones follow its record in the list. The scans walk the list as the
// detection rules read, but count the clones of a record through the
// database's host index instead of walking the whole database for each one,
// and they collect their reports first and print them after the walk, so that
// whatever printing runs cannot change the list under them.
#include "users/chatuser.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/parser.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/user_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <unordered_map>

namespace {

constexpr const char* kUnit = "clone";
constexpr size_t kWatchLineLength = 1022;
constexpr size_t kQueuedNamesLength = 1023;
constexpr int kClockEvery = 200;
constexpr double kCountLimitSeconds = 2.0;

const char* or_empty(const char* text) { return text ? text : ""; }

int virtual_host_threshold() { return iMaxCloneCount > 9 ? iMaxCloneCount / 3 : 3; }

void internal_problem(const char* operation)
{
    sPrintText(current_tab,
               "\0034OOPS, Internal Problem: I have detected anomalous situation; the plugin could become unstable.");
    sPrintText(current_tab, "module: clone : %s()", operation);
}

// The session's server name; empty, after the internal-problem notice, without one.
std::string server_of(HostSession* sess, const char* operation)
{
    if (sess && sess->server) return sess->server->servername;
    internal_problem(operation);
    return {};
}

HostSession* report_window(HostSession* sess) { return iFlagCurrentTab ? current_tab : sess; }

// ---- clone pairs ---------------------------------------------------------------------------------

// One pair to report, copied out of the database.
struct ClonePair {
    std::string nick, address, channel;
    std::string clone_nick, clone_address, clone_channel;
};

ClonePair pair_of(const ChatUser& user, const ChatUser& clone)
{
    return {or_empty(user.psUserNick()),  or_empty(user.psAddress()),  or_empty(user.psChannel()),
            or_empty(clone.psUserNick()), or_empty(clone.psAddress()), or_empty(clone.psChannel())};
}

void print_pair(HostSession* sess, const ClonePair& p)
{
    PrintClone(sess, p.nick.c_str(), p.address.c_str(), p.channel.c_str(), p.clone_nick.c_str(),
               p.clone_address.c_str(), p.clone_channel.c_str());
}

// The clones of `user` among the records that pass `keep`, other than the user itself.
template <typename Keep>
int count_clones(const ChatUser& user, Keep keep)
{
    std::vector<ChatUser*> same_host;
    current_user_store().same_host(user.psHost(), same_host);
    int count = 0;
    for (const ChatUser* other : same_host)
        if (other != &user && keep(*other) && IsClone(other, &user)) ++count;
    return count;
}

// The pairs SearchClone reports for the records of `nick` seen from the window named `window`.
std::vector<ClonePair> clone_pairs_of(const char* window, const char* nick)
{
    std::vector<ClonePair> pairs;
    const int limit = iMaxCloneCount;
    const int threshold = virtual_host_threshold();
    int reports = 1;
    bool resumed = false;
    ChatUser* resume = nullptr;  // where the previous record's candidates stopped (null: the end)
    UserSnapshot records(nullptr, nullptr, nick, nullptr, nullptr);
    for (ChatUser* user : records.hits()) {
        if (!user) continue;
        if (empty(user->psUserNick()) || empty(user->psChannel()) || reports > limit) break;
        if (!fold_equal(user->psUserNick(), window) && !fold_equal(user->psChannel(), window)) continue;
        // A record's clones follow it; a later record of the nick goes on where the previous one stopped.
        ChatUser* candidate = user->pcuNext();
        if (resumed && candidate && (!resume || UserStore::before(candidate, resume))) candidate = resume;
        std::optional<int> in_channel;
        for (; candidate && IsClone(candidate, user) && reports != limit; candidate = candidate->pcuNext()) {
            if (!in_channel)
                in_channel = count_clones(*user, [user](const ChatUser& other) {
                    return other.psChannel() && fold_equal(other.psChannel(), user->psChannel());
                });
            if (*in_channel < threshold) {
                pairs.push_back(pair_of(*user, *candidate));
                ++reports;
            } else {
                DebugPlugin(3, " * SearchClone() - virtual host %s (%d clones)", or_empty(user->psHost()), *in_channel);
            }
        }
        resumed = true;
        resume = candidate;
        if (reports == limit) ++reports;
    }
    return pairs;
}

// The channel-wide scan: every pair of records on server `server` (in `channel` when given).
class ChannelScan {
public:
    ChannelScan(const std::string& server, const char* channel) : server_(server), channel_(channel) {}

    std::vector<ClonePair> run()
    {
        const UserStore& store = current_user_store();
        const int passes = store.size() - 1;
        ChatUser* current = store.first();
        for (int pass = 0; pass < passes && current && !stopped_; ++pass) {
            if (current->uiMagic != kChatUserMagic) {
                printf("[%s:%d]> INTERNAL ERROR: CloneDetector(%p, %s)\n", QUIBO_HERE(kUnit),
                       static_cast<void*>(current), channel_ ? channel_ : "");
                current = current->pcuNext();
                continue;
            }
            current = pairs_after(*current);
            if (!stopped_ && seconds() >= static_cast<double>(tMaxElaborationTime)) {
                stopped_ = true;
                if (error_output_on()) sPrintText(current_tab, "\0034Maximum Clone Detector Time Reached.");
            }
        }
        return std::move(pairs_);
    }

private:
    bool on_server(const ChatUser& user) const { return !user.psServer() || fold_equal(user.psServer(), server_.c_str()); }
    bool counted(const ChatUser& user) const
    {
        return on_server(user) && (!channel_ || (user.psChannel() && fold_equal(user.psChannel(), channel_)));
    }
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

    // Reports the clones that follow `user`; the record after them.
    ChatUser* pairs_after(ChatUser& user)
    {
        ChatUser* next = user.pcuNext();
        if (!on_server(user)) return next;
        std::optional<int> clones;
        for (; next && IsClone(next, &user); next = next->pcuNext()) {
            if (static_cast<int>(pairs_.size()) == iMaxCloneCount) {
                stopped_ = true;
                return nullptr;
            }
            if (channel_ && !(user.psChannel() && fold_equal(user.psChannel(), channel_))) continue;
            if (!clones) clones = count_of(user);
            if (stopped_) return nullptr;
            if (*clones < virtual_host_threshold()) pairs_.push_back(pair_of(user, *next));
        }
        return next;
    }

    int count_of(const ChatUser& user)
    {
        return count_clones(user, [this](const ChatUser& other) {
            if (++positions_ % kClockEvery == 0 && seconds() >= kCountLimitSeconds) stopped_ = true;
            return counted(other);
        });
    }

    const std::string& server_;
    const char* channel_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::vector<ClonePair> pairs_;
    long positions_ = 0;
    bool stopped_ = false;
};

// ---- message templates with values from the network ----------------------------------------------

struct TemplateValue {
    const char* text;
    bool literal;  // a value from the network: never read as escapes or script
};

// `format` with each "%s" filled by the next value, and "%%" as one "%".
InertText fill_template(const char* format, std::initializer_list<TemplateValue> values)
{
    InertText out;
    auto value = values.begin();
    std::string syntax;
    for (const char* at = format; *at; ++at) {
        if (at[0] == '%' && at[1] == '%') {
            syntax += '%';
            ++at;
        } else if (at[0] == '%' && at[1] == 's' && value != values.end()) {
            if (value->literal) {
                out.add_syntax(syntax);
                syntax.clear();
                out.add_literal(or_empty(value->text));
            } else {
                syntax += or_empty(value->text);
            }
            ++value;
            ++at;
        } else {
            syntax += *at;
        }
    }
    out.add_syntax(syntax);
    return out;
}

void cut_to(InertText& text, size_t length)
{
    if (text.text.size() <= length) return;
    text.text.resize(length);
    std::erase_if(text.literal, [length](const auto& range) { return range.first >= length; });
    for (auto& range : text.literal) range.second = std::min(range.second, length);
}

// ---- watch files ---------------------------------------------------------------------------------

// A watch file as last read; read again only when the file changed.
struct WatchFile {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    uint64_t checked_in = 0;  // the batch in which the file was last looked at
    std::vector<std::string> lines;
    std::vector<std::string> upper;  // the lines upper-cased
};

int batch_depth = 0;
uint64_t batch_serial = 1;

std::string upper_case(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void read_lines(WatchFile& file, const std::string& path)
{
    file.lines.clear();
    file.upper.clear();
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (line.size() > kWatchLineLength) line.resize(kWatchLineLength);
        file.upper.push_back(upper_case(line));
        file.lines.push_back(std::move(line));
    }
}

const WatchFile& watch_file(const std::string& path)
{
    static std::unordered_map<std::string, WatchFile> files;
    WatchFile& file = files[path];
    if (batch_depth > 0 && file.checked_in == batch_serial) return file;
    file.checked_in = batch_serial;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        file = WatchFile{};
        file.checked_in = batch_serial;
        return file;
    }
    const bool same = file.present && file.device == info.st_dev && file.inode == info.st_ino &&
                      file.size == info.st_size && file.modified.tv_sec == info.st_mtim.tv_sec &&
                      file.modified.tv_nsec == info.st_mtim.tv_nsec;
    if (same) return file;
    file.present = true;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = info.st_size;
    file.modified = info.st_mtim;
    read_lines(file, path);
    return file;
}

// The per-network file is named after the server's host name; a name that is not a plain file name has none.
std::optional<std::string> network_file(HostSession* sess)
{
    if (!sess || !sess->server) {
        internal_problem("UserInfo");
        return std::nullopt;
    }
    const std::string& name = sess->server->hostname;
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) return std::nullopt;
    return quibo_data_path(name);
}

std::string blanks_for_tabs(const std::string& line)
{
    std::string out = line;
    for (char& c : out)
        if (c == '\t') c = ' ';
    return out;
}

// The second word of a line (words apart at blanks, tabs, carriage returns and line feeds).
std::string second_word(const std::string& line)
{
    constexpr const char* kApart = " \t\r\n";
    const size_t first = line.find_first_not_of(kApart);
    if (first == std::string::npos) return {};
    const size_t gap = line.find_first_of(kApart, first);
    if (gap == std::string::npos) return {};
    const size_t second = line.find_first_not_of(kApart, gap);
    if (second == std::string::npos) return {};
    return line.substr(second, line.find_first_of(kApart, second) - second);
}

bool domain_hit(const std::string& pattern, const char* address)
{
    return strstr(address, pattern.c_str()) || zemregexp(pattern.c_str(), address);
}

bool nickname_hit(const std::string& upper_line, const std::string& upper_nick)
{
    if (upper_line.find(upper_nick) != std::string::npos) return true;
    const std::string word = second_word(blanks_for_tabs(upper_line));
    return !word.empty() && upper_nick.find(word) != std::string::npos;
}

int nick_joined(HostSession* sess, const WatchFile& list, const char* nick, const char* address, const char* channel)
{
    if (iFlagNickJoinMonitoring < 1) return 0;
    const std::string upper_nick = upper_case(nick);
    for (size_t i = 0; i < list.upper.size(); ++i) {
        const std::string& entry = list.upper[i];
        if (entry.empty() || upper_nick.find(entry) == std::string::npos) continue;
        const std::string server = sess && sess->server ? sess->server->servername : std::string();
        quibo_play_sound("alert");
        HostSession* where = GetContext(server.c_str(), channel);
        sPrintText(where, GetMessage(220), nick, address, channel, server.c_str());
        sPrintText(where, GetMessage(221), list.lines[i].c_str());
        iFlagNickJoinMonitoring = -1;  // one report per join, also from inside the reports above
        UserInfo(sess, nick, address, 2);
        iFlagNickJoinMonitoring = 1;
        return 1;
    }
    return 0;
}

// ---- listings ------------------------------------------------------------------------------------

const char* special_label(const ChatUser& u) { return u.usSpecial == 1 ? "\0034LOCAL" : "\0033REMOTE"; }
const char* status_label(const ChatUser& u)
{
    switch (u.uiStatus) {
    case 0: return "\0035UNCHECKED";
    case 1: return "\0033CHECKED";
    case 255: return "\0034IGNORED";
    default: return "\0033UNKNOWN";
    }
}
const char* keep_label(const ChatUser& u) { return u.uiKeep == kKeepUser ? "\0034KEEPUSER" : "\0033DEFAULT"; }
const char* query_label(const ChatUser& u)
{
    return u.uiQuery == 0 ? "\0034NOQUERY" : u.uiQuery == kQueryAccepted ? "\0033YES" : "\0034NO";
}
const char* answer_label(const ChatUser& u) { return u.uiAnswer == 0 ? "\0033YES" : u.uiAnswer == 3 ? "\0034NO" : "\0033ANSWERED"; }

// A record as a listing shows it, copied out so that the reports may change the database.
struct ListedUser {
    std::string server, channel, nick, address, info;
    std::string labels[5];
    int bad_count = 0;
    time_t last_message = 0;
};

ListedUser listed(const ChatUser& u)
{
    return {or_empty(u.psServer()),
            or_empty(u.psChannel()),
            or_empty(u.psUserNick()),
            or_empty(u.psAddress()),
            or_empty(u.psInfo()),
            {special_label(u), status_label(u), keep_label(u), query_label(u), answer_label(u)},
            u.uiBadCount,
            static_cast<time_t>(u.tLastMessage)};
}

template <typename Keep>
std::vector<ListedUser> listed_users(Keep keep)
{
    std::vector<ListedUser> out;
    for (ChatUser* u = GetFirst(); u; u = u->pcuNext())
        if (keep(*u)) out.push_back(listed(*u));
    return out;
}

// Message 225, then 762 for a new nick, then the watch-file reports.
void list_user(HostSession* sess, const ListedUser& u, std::string& previous_nick, const char* window)
{
    HostSession* where = report_window(sess);
    sPrintText(where, GetMessage(225), u.nick.c_str(), u.address.c_str(), u.channel.c_str(), u.server.c_str(),
               u.info.c_str());
    if (!fold_equal(u.nick.c_str(), previous_nick.c_str()))
        sPrintText(where, GetMessage(762), u.labels[0].c_str(), u.labels[1].c_str(), u.labels[2].c_str(),
                   u.labels[3].c_str(), u.labels[4].c_str(), u.bad_count, ctime_text(u.last_message).c_str());
    previous_nick = u.nick;
    UserInfo(sess, u.nick.c_str(), u.address.c_str(), 0);
    if (fold_equal(u.nick.c_str(), window)) UserInfo(sess, u.nick.c_str(), u.address.c_str(), 2);
}

void quiet_check()
{
    const int gate = iFlagErrorMessage_internal;
    iFlagErrorMessage_internal = 0;
    CheckUpDatabase(0);
    iFlagErrorMessage_internal = gate;
}

const char* window_name(HostSession* sess) { return sess ? sess->channel.c_str() : "none"; }

std::vector<std::string> lower_words(const char* text)
{
    std::vector<std::string> words;
    std::string word;
    for (const char* at = text;; ++at) {
        if (*at == ' ' || !*at) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
            if (!*at) break;
        } else {
            word += (*at >= 'A' && *at <= 'Z') ? static_cast<char>(*at - 'A' + 'a') : *at;
        }
    }
    return words;
}

bool holds_every_word(const ChatUser& u, const std::vector<std::string>& words)
{
    std::string fields[5];
    const char* texts[5] = {u.psServer(), u.psChannel(), u.psUserNick(), u.psAddress(), u.psInfo()};
    for (int i = 0; i < 5; ++i) fields[i] = ustrtolower(or_empty(texts[i]));
    for (const std::string& word : words) {
        bool found = false;
        for (const std::string& field : fields) found = found || field.find(word) != std::string::npos;
        if (!found) return false;
    }
    return true;
}

}  // namespace

// ---- clones --------------------------------------------------------------------------------------

int IsClone(const ChatUser* a, const ChatUser* b)
{
    if (!a || !b) return 0;
    const char* nick_a = a->psUserNick();
    const char* nick_b = b->psUserNick();
    const char* host_a = a->psHost();
    const char* host_b = b->psHost();
    if (empty(nick_a) || empty(nick_b) || empty(host_a) || empty(host_b)) return 0;
    if (fold_equal(nick_a, nick_b)) return 0;
    return a->uiHostHash == b->uiHostHash && fold_equal(host_a, host_b) ? 1 : 0;
}

void SearchClone(HostSession* sess, const char* nick)
{
    DebugPlugin(2, "BEGIN: SearchClone(%p, %s)", static_cast<void*>(sess), or_empty(nick));
    quiet_check();
    if (!iFlagCloneDetect || empty(nick) || !iFlagEnableDatabase) {
        DebugPlugin(2, "END: SearchClone()");
        return;
    }
    const std::string wanted = nick;  // the caller's text may belong to a record
    const std::string window = window_name(sess);
    for (const ClonePair& pair : clone_pairs_of(window.c_str(), wanted.c_str())) print_pair(sess, pair);
    DebugPlugin(2, "END: SearchClone()");
}

void CloneDetector(HostSession* sess, const char* channel)
{
    DebugPlugin(2, "BEGIN: CloneDetector(%p, %s)", static_cast<void*>(sess), or_empty(channel));
    const std::string server = server_of(sess, "CloneDetector");
    if (!iFlagCloneDetect || GetSize() == 0) {
        DebugPlugin(2, "END: CloneDetector()");
        return;
    }
    const std::optional<std::string> wanted = channel ? std::optional<std::string>(channel) : std::nullopt;
    ChannelScan scan(server, wanted ? wanted->c_str() : nullptr);
    for (const ClonePair& pair : scan.run())
        print_pair(GetContext(server.c_str(), pair.clone_channel.c_str()), pair);
    DebugPlugin(2, "END: CloneDetector()");
}

void PrintClone(HostSession* sess, const char* nick, const char* address, const char* channel, const char* clone_nick,
                const char* clone_address, const char* clone_channel)
{
    if (!nick || !address || !channel || !clone_nick || !clone_address || !clone_channel) {
        DebugPlugin(1, " * PrintClone() - corrupted call");
        return;
    }
    const bool away = sess && sess->server && sess->server->is_away;
    if (!iFlagPrintClone || away) {
        sPrintText(report_window(sess), GetMessage(224), nick, channel, clone_nick, clone_channel, clone_address);
        return;
    }
    quibo_handle_command(fill_template(GetMessage(983), {{psPipeCommand.c_str(), false},
                                                         {nick, true},
                                                         {channel, true},
                                                         {clone_nick, true},
                                                         {clone_channel, true},
                                                         {clone_address, true}}),
                         sess);
}

// ---- watch files ---------------------------------------------------------------------------------

WatchFileBatch::WatchFileBatch()
{
    if (batch_depth++ == 0) ++batch_serial;
}

WatchFileBatch::~WatchFileBatch() { --batch_depth; }

void UserInfo(HostSession* sess, const char* nick, const char* address, int16_t mode)
{
    if (empty(nick) || empty(address)) return;
    const std::optional<std::string> path = network_file(sess);
    if (!path) return;
    const WatchFile& file = watch_file(*path);
    const std::string upper_nick = upper_case(nick);
    const char* label = mode == 2 ? "Nickname" : "Domain";
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const std::string& line = file.lines[i];
        bool hit;
        bool last = false;
        if (mode == 2) {
            hit = nickname_hit(file.upper[i], upper_nick);
            last = hit;
        } else {
            const std::string pattern = line.substr(0, line.find_first_of(" \t"));
            hit = !pattern.empty() && domain_hit(pattern, address);
            last = mode == 1 && pattern[0] == '#';
        }
        if (hit) sPrintText(current_tab, GetMessage(219), label, nick, address, blanks_for_tabs(line).c_str());
        if (last) break;
    }
}

namespace {

// The nick-join file's path, made again only when the home folder changes.
const std::string& nick_join_file()
{
    static std::string home, path;
    if (path.empty() || home != quibo_home()) {
        home = quibo_home();
        path = quibo_data_path("quibo.nik");
    }
    return path;
}

}  // namespace

int NickJoined(HostSession* sess, const char* nick, const char* address, const char* channel)
{
    if (empty(nick) || empty(address) || empty(channel)) return 0;
    return nick_joined(sess, watch_file(nick_join_file()), nick, address, channel);
}

void NickJoinedChannel(HostSession* sess, const char* server, const char* channel)
{
    WatchFileBatch batch;
    // Without a fragment to look for, no record can hit: the channel is not walked at all.
    const WatchFile& list = watch_file(nick_join_file());
    if (std::none_of(list.upper.begin(), list.upper.end(), [](const std::string& entry) { return !entry.empty(); }))
        return;
    UserSnapshot joined(server, channel, nullptr, nullptr, nullptr);
    for (const ChatUser* user : joined.hits())
        if (user && user->psUserNick() && user->psAddress())
            NickJoined(sess, std::string(user->psUserNick()).c_str(), std::string(user->psAddress()).c_str(), channel);
}

// ---- listings ------------------------------------------------------------------------------------

int UserList(HostSession* sess, int mode)
{
    CheckUpDatabase(0);
    const std::string window = sess ? sess->channel : std::string();
    const bool all = mode != 0;
    const auto users = listed_users([&](const ChatUser& u) {
        return u.psChannel() && (all || fold_equal(u.psChannel(), window.c_str()) ||
                                 (u.psUserNick() && fold_equal(u.psUserNick(), window.c_str())));
    });
    WatchFileBatch batch;
    std::string previous_nick;
    for (const ListedUser& u : users) {
        if (all)
            NickJoined(sess, u.nick.c_str(), u.address.c_str(), u.channel.c_str());
        else
            list_user(sess, u, previous_nick, window.c_str());
    }
    return 0;
}

int Names(HostSession* sess)
{
    CheckUpDatabase(0);
    const std::string window = sess ? sess->channel : std::string();
    const auto users = listed_users(
        [&](const ChatUser& u) { return u.psChannel() && fold_equal(u.psChannel(), window.c_str()); });
    for (const ListedUser& u : users) {
        if (iFlagPrintList) {
            InertText line = fill_template(GetMessage(226), {{u.nick.c_str(), true}, {u.address.c_str(), true}});
            cut_to(line, kQueuedNamesLength);
            InsertCommandInQueuePriority(sess, std::move(line), 0);
        } else {
            sPrintText(current_tab, GetMessage(227), u.nick.c_str(), u.address.c_str());
        }
    }
    ExecCommandInQueue(0);
    return 0;
}

int SearchDomain(HostSession* sess)
{
    CheckUpDatabase(0);
    const std::string server = server_of(sess, "SearchDomain");
    const std::string me = sess && sess->server ? sess->server->nick : std::string();
    const auto users = listed_users([&](const ChatUser& u) {
        return u.psServer() && fold_equal(u.psServer(), server.c_str()) &&
               !(u.psUserNick() && fold_equal(u.psUserNick(), me.c_str()));
    });
    WatchFileBatch batch;
    for (const ListedUser& u : users) UserInfo(sess, u.nick.c_str(), u.address.c_str(), 1);
    return 0;
}

int SearchList(HostSession* sess, const char* text)
{
    quiet_check();
    if (empty(text)) return 0;
    const std::vector<std::string> words = lower_words(text);
    if (words.empty()) return 0;
    const std::string window = sess ? sess->channel : std::string();
    const auto users = listed_users([&](const ChatUser& u) { return holds_every_word(u, words); });
    WatchFileBatch batch;
    std::string previous_nick;
    for (const ListedUser& u : users) list_user(sess, u, previous_nick, window.c_str());
    return 0;
}
