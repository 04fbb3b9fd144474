// The guard's list and its file. Entries live in memory, newest first; the
// file holds the stored ones, one "flag nick address" line each, and is read
// again whenever it changed on disk. Loading puts each line at the front and
// saving writes the list in order, so a load and a save reverse the lines.
#include "protection/private_killer.h"

#include "utilities.h"
#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <sstream>

unsigned int uiKillerUserNumber = 0;
time_t tKillerUserFileMod = 0;
int siFlagLock_load_killed_user_file = 0;

namespace {

constexpr const char* kUnit = "ioplugin";
constexpr const char* kFileName = "private_killer.txt";
// Longest line of the file, without its line feed.
constexpr size_t kMaxLine = 1022;

std::list<ChatUserPtr> pcuKilledUserList;

// What identifies one version of the file: a save replaces the file (a new
// inode), and an edit within the same second still changes the nanoseconds.
struct FileStamp {
    time_t seconds = 0;
    long nanoseconds = 0;
    ino_t inode = 0;
    off_t size = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp loaded_stamp;

std::string list_path() { return quibo_data_path(kFileName); }

const char* text_or_null(const char* text) { return empty(text) ? "(null)" : text; }
const char* text_of(const char* text) { return text ? text : ""; }

// Absent and empty texts are equal.
bool same_text(const char* a, const char* b) { return strcasecmp(a ? a : "", b ? b : "") == 0; }

// The file's stamp, or nothing (seconds 0) when it cannot be examined; an
// absent file is the usual case and is not reported.
FileStamp stamp_of(const std::string& path)
{
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            fprintf(stderr, "[%s:%d]> get_file_time(%s) ERROR: %s\n", QUIBO_HERE(kUnit), path.c_str(), strerror(errno));
        return {};
    }
    return {info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_ino, info.st_size};
}

// Sets the lock for one add or load, and puts back what was there.
class LoadLock {
public:
    LoadLock() : previous(siFlagLock_load_killed_user_file) { siFlagLock_load_killed_user_file = 1; }
    ~LoadLock() { siFlagLock_load_killed_user_file = previous; }
    LoadLock(const LoadLock&) = delete;
    LoadLock& operator=(const LoadLock&) = delete;

private:
    int previous;
};

// How one entry grades a sender: 3/2/1 (allow) or -3/-2/-1 (deny) for nick and
// address, nick only, address only; -4 when neither matches.
int score(const KilledUser& entry, const char* nick, const char* address)
{
    const bool n = same_text(entry.psUserNick(), nick);
    const bool a = same_text(entry.psAddress(), address);
    const int grade = n && a ? 3 : n ? 2 : a ? 1 : 0;
    if (grade == 0) return -4;
    return entry.uiStatus >= 0 ? grade : -grade;
}

KilledUser* find_pair(const char* nick, const char* address)
{
    for (const ChatUserPtr& entry : pcuKilledUserList)
        if (same_text(entry->psUserNick(), nick) && same_text(entry->psAddress(), address)) return entry.get();
    return nullptr;
}

bool put_front(const char* nick, const char* address, int flag, int temporary)
{
    ChatUserPtr entry = CreateUser(nullptr, nullptr, nick, empty(address) ? nullptr : address, nullptr);
    if (!entry) return false;
    entry->uiStatus = flag;
    entry->uiKeep = temporary ? 1 : 0;
    pcuKilledUserList.push_front(std::move(entry));
    ++uiKillerUserNumber;
    return true;
}

// A field the file can hold: no blank or line end splits it.
bool file_safe(const char* text) { return !text || !strpbrk(text, " \t\r\n\v\f"); }

bool acceptable(const char* nick, const char* address, int temporary)
{
    if (empty(nick) || (!temporary && empty(address))) return false;
    if (!file_safe(nick) || !file_safe(address)) return false;
    const size_t length = strlen(nick) + (address ? strlen(address) : 0) + 14;  // flag and blanks
    return length <= kMaxLine;
}

// ---- reading the file -----------------------------------------------------------

struct FileLine {
    int flag = 0;
    std::string nick;
    std::string address;
};

// The next blank-separated word of `line` from `at`; empty at the end.
std::string next_word(const std::string& line, size_t& at)
{
    static const char* const kBlanks = " \t\r\v\f";
    const size_t begin = line.find_first_not_of(kBlanks, at);
    if (begin == std::string::npos) return at = line.size(), std::string();
    const size_t end = std::min(line.find_first_of(kBlanks, begin), line.size());
    at = end;
    return line.substr(begin, end - begin);
}

bool read_flag(const std::string& word, int& flag)
{
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = strtol(word.c_str(), &end, 10);
    if (*end || errno || value < INT_MIN || value > INT_MAX) return false;
    flag = static_cast<int>(value);
    return true;
}

// Flag, nick and address; `consumed` tells how far the line was read.
bool parse_line(const std::string& line, FileLine& out, size_t& consumed)
{
    consumed = 0;
    if (line.size() > kMaxLine) return false;
    if (!read_flag(next_word(line, consumed), out.flag)) return false;
    out.nick = next_word(line, consumed);
    out.address = next_word(line, consumed);
    return !out.nick.empty() && !out.address.empty();
}

// One line of the file; true when it was a duplicate (the file is then rewritten).
bool load_line(const std::string& path, const std::string& line)
{
    FileLine entry;
    size_t consumed = 0;
    if (!parse_line(line, entry, consumed)) {
        fprintf(stderr, "[%s:%d]> load_killed_user_file(%s) ERROR at line: %s (%zu:%zu)\n", QUIBO_HERE(kUnit),
                path.c_str(), line.c_str(), line.size(), consumed);
        return false;
    }
    if (find_pair(entry.nick.c_str(), entry.address.c_str())) {
        fprintf(stderr, "[%s:%d]> load_killed_user_file(%s) WARNING at line: %s (user already found)\n",
                QUIBO_HERE(kUnit), path.c_str(), line.c_str());
        return true;
    }
    if (!put_front(entry.nick.c_str(), entry.address.c_str(), entry.flag, 0))
        fprintf(stderr, "[%s:%d]> load_killed_user_file(%s) ERROR: Unable to load user %s\n", QUIBO_HERE(kUnit),
                path.c_str(), entry.nick.c_str());
    return false;
}

bool read_whole(const std::string& path, std::string& text)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[8192];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        text.append(buffer, static_cast<size_t>(got));
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return got == 0;
}

void remember_file(const FileStamp& stamp)
{
    loaded_stamp = stamp;
    tKillerUserFileMod = stamp.seconds;
}

// ---- listings ----------------------------------------------------------------------

HostSession* output_window(HostSession* sess) { return iFlagCurrentTab ? current_tab : sess; }

const char* mark_of(const KilledUser& entry) { return entry.uiStatus < 1 ? "\0034X" : "\0033V"; }

}  // namespace

time_t get_file_time(const char* path)
{
    if (empty(path)) return 0;
    return stamp_of(path).seconds;
}

void load_killed_user_file()
{
    if (siFlagLock_load_killed_user_file) return;
    const std::string path = list_path();
    const FileStamp stamp = stamp_of(path);
    if (stamp.seconds == 0 || stamp == loaded_stamp) return;
    DebugPlugin(2, "BEGIN: load_killed_user_file(%s)", path.c_str());
    std::string text;
    if (!read_whole(path, text)) {
        fprintf(stderr, "[%s:%d]> load_killed_user_file(%s) ERROR: %s\n", QUIBO_HERE(kUnit), path.c_str(),
                strerror(errno));
        DebugPlugin(2, "END: load_killed_user_file() = 1");
        return;
    }
    flush_killed_user_list();
    bool duplicates = false;
    {
        LoadLock lock;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) duplicates |= load_line(path, line);
    }
    remember_file(stamp);
    if (duplicates) save_killed_user_list();
    DebugPlugin(2, "END: load_killed_user_file() = %u", uiKillerUserNumber);
}

int get_killed_user_flag(const char* nick, const char* address, KilledUser** best)
{
    load_killed_user_file();
    if (best) *best = nullptr;
    if (empty(nick) || empty(address)) return kPKUnknown;
    int top = -4;
    for (const ChatUserPtr& entry : pcuKilledUserList) {
        const int grade = score(*entry, nick, address);
        if (grade <= top) continue;
        top = grade;
        if (best) *best = entry.get();
    }
    return top == -4 ? kPKUnknown : top;
}

int add_killed_user(const char* nick, const char* address, int flag, int temporary)
{
    DebugPlugin(2, "BEGIN: add_killed_user(%s, %s, %d, %d)", text_or_null(nick), text_or_null(address), flag,
                temporary);
    bool added = false;
    {
        LoadLock lock;
        // Another entry for the nick or the address, or this very pair, refuses it.
        if (acceptable(nick, address, temporary) && get_killed_user_flag(nick, address) == kPKUnknown &&
            !find_pair(nick, address))
            added = put_front(nick, address, flag, temporary);
    }
    if (!added)
        fprintf(stderr, "[%s:%d]> add_killed_user(%s, %s, %d, %d) ERROR: Unable to add user.\n", QUIBO_HERE(kUnit),
                text_or_null(nick), text_or_null(address), flag, temporary);
    DebugPlugin(2, "END: add_killed_user() = %d", added ? 1 : 0);
    return added ? 1 : 0;
}

int del_killed_user(const char* nick, const char* address)
{
    if (pcuKilledUserList.empty() || (empty(nick) && empty(address))) {
        fprintf(stderr, "[%s:%d]> del_killed_user(%s, %s) ERROR: Unable to delete user.\n", QUIBO_HERE(kUnit),
                text_or_null(nick), text_or_null(address));
        return 0;
    }
    const auto matches = [nick, address](const ChatUserPtr& entry) {
        return (empty(nick) || same_text(entry->psUserNick(), nick)) &&
               (empty(address) || same_text(entry->psAddress(), address));
    };
    const auto deleted = static_cast<unsigned int>(std::erase_if(pcuKilledUserList, matches));
    uiKillerUserNumber -= deleted;
    DebugPlugin(2, "END: del_killed_user(%s, %s) = %u", text_or_null(nick), text_or_null(address), deleted);
    return static_cast<int>(deleted);
}

int save_killed_user_list()
{
    if (pcuKilledUserList.empty()) return 0;
    const std::string path = list_path();
    std::string image;
    for (const ChatUserPtr& entry : pcuKilledUserList) {
        if (entry->uiKeep) continue;
        image += std::to_string(entry->uiStatus) + ' ' + text_of(entry->psUserNick()) + ' ' +
                 text_of(entry->psAddress()) + '\n';
    }
    if (!zemReplaceFile(path, image)) {
        fprintf(stderr, "[%s:%d]> save_killed_user_list(%s) ERROR: %s\n", QUIBO_HERE(kUnit), path.c_str(),
                strerror(errno));
        return 0;
    }
    // Our own save is what the list already holds: it is not read back, so
    // the temporary entries stay.
    remember_file(stamp_of(path));
    DebugPlugin(2, "END: save_killed_user_list(%s) = 1", path.c_str());
    return 1;
}

void flush_killed_user_list()
{
    const auto freed = static_cast<unsigned int>(pcuKilledUserList.size());
    pcuKilledUserList.clear();
    if (uiKillerUserNumber != freed)
        fprintf(stderr, "[%s:%d]> flush_killed_user_list() ERROR: %s\n", QUIBO_HERE(kUnit),
                "mismatched number of elements");
    uiKillerUserNumber = 0;
    remember_file({});
}

std::vector<KilledUser*> killed_user_list()
{
    std::vector<KilledUser*> entries;
    entries.reserve(pcuKilledUserList.size());
    for (const ChatUserPtr& entry : pcuKilledUserList) entries.push_back(entry.get());
    return entries;
}

void print_killed_user_list(HostSession* sess)
{
    HostSession* where = output_window(sess);
    for (const ChatUserPtr& entry : pcuKilledUserList)
        sPrintText(where, "---\t%s\0036 %s\017 [\0038 %s\017 ] [%s\017 ]", mark_of(*entry), text_of(entry->psUserNick()),
                   text_of(entry->psAddress()), entry->uiKeep ? "\0034 TEMPORARY" : "\0033 STORED");
}

void print_killed_user(HostSession* sess, const char* nick)
{
    HostSession* where = output_window(sess);
    for (const ChatUserPtr& entry : pcuKilledUserList)
        if (same_text(entry->psUserNick(), nick))
            sPrintText(where, "---\t%s\0036 %s\017 [\0038 %s\017 ]", mark_of(*entry), text_of(entry->psUserNick()),
                       text_of(entry->psAddress()));
}

int killed_user_rule_answer(const HostServer& server, const char* nick)
{
    for (const ChatUserPtr& entry : pcuKilledUserList) {
        const char* rule = entry->psUserNick();
        const char* place = entry->psAddress();
        if (!rule || rule[0] != '/' || empty(place) || entry->uiStatus < 0) continue;
        if (same_text(place, server.hostname.c_str())) return kPKAllowOnce;
        if (GetUser(server.servername.c_str(), place, nick, nullptr, nullptr)) return kPKAllowOnce;
    }
    return kPKUnknown;
}

int killed_user_answer(const char* nick, const char* address, int answer)
{
    struct Recorded {
        int answer, flag, temporary;
    };
    static const Recorded kRecorded[] = {
        {kPKAllowOnce, 3, 1},
        {kPKAllowAlways, 3, 0},
        {kPKRefuseOnce, -3, 1},
        {kPKRefuseAlways, -3, 0},
    };
    for (const Recorded& row : kRecorded) {
        if (row.answer != answer) continue;
        const int added = add_killed_user(nick, address, row.flag, row.temporary);
        if (added && !row.temporary) save_killed_user_list();
        return added;
    }
    return 0;
}
