// The sentinel file quibo.snt: one user sentinel per line, four quoted fields.
#include "events/internal.h"

#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"
#include "utilities.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

using namespace events_detail;

namespace {

constexpr int kFieldCount = 4;

std::string default_path() { return quibo_data_path("quibo.snt"); }

std::string chosen_path(const char* file) { return file && *file ? std::string(file) : default_path(); }

// Every double quote written as \" so that the reader can tell it from a field's end.
std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::string unescaped(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') continue;
        out += text[i];
    }
    return out;
}

bool unescaped_quote(const std::string& line, size_t at) { return line[at] == '"' && (at == 0 || line[at - 1] != '\\'); }

void line_message(HostSession* sess, int number, int line)
{
    sPrintText(where(sess), GetMessage(number), line, default_path().c_str());
}

// The quoted fields of `line` (its final quote removed), last field first.
// False after message 101 when there are more than four.
bool fields_from_end(HostSession* sess, const std::string& line, int number, std::vector<std::string>& fields)
{
    size_t cut = line.size();
    bool expect_opening = true;
    for (size_t at = line.size(); at-- > 0;) {
        if (!unescaped_quote(line, at)) continue;
        if (!expect_opening) {
            cut = at;
            expect_opening = true;
            continue;
        }
        std::string field = line.substr(at + 1, cut - at - 1);
        cut = at;
        expect_opening = false;
        if (field.empty()) {
            line_message(sess, 102, number);
            continue;
        }
        if (fields.size() == kFieldCount) {
            line_message(sess, 101, number);
            return false;
        }
        fields.push_back(std::move(field));
    }
    return true;
}

// One line of the file as a record; null (after its message) when the line is not one.
std::unique_ptr<Sentinel> parse_line(HostSession* sess, std::string line, int number, bool had_break)
{
    if (line.size() + (had_break ? 1 : 0) < 9) {
        line_message(sess, 105, number);
        return nullptr;
    }
    if (!had_break || line.back() != '"') {
        line_message(sess, 104, number);
        return nullptr;
    }
    line.pop_back();
    std::vector<std::string> fields;
    fields_from_end(sess, line, number, fields);
    if (fields.size() != kFieldCount) {
        line_message(sess, 103, number);
        return nullptr;
    }
    return make_sentinel(atoi(fields[3].c_str()), fields[2], unescaped(fields[1]), unescaped(fields[0]));
}

void delete_user_sentinels(HostSession* sess)
{
    if (uiSentinelInList == 0) return;
    sPrintText(where(sess), "%s", GetMessage(97));
    for (int number = static_cast<int>(uiSentinelInList); number >= 1; --number)
        if (DelSentinel(sess, number, 0) != 0) sPrintText(where(sess), GetMessage(98), number);
}

void read_lines(HostSession* sess, std::istream& in)
{
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const bool had_break = !in.eof();
        if (line.size() + 1 > kSentinelLineMax) {
            line_message(sess, 1122, number);
            continue;
        }
        std::unique_ptr<Sentinel> record = parse_line(sess, line, number, had_break);
        if (record && AddSentinel(sess, record) != 0) line_message(sess, 103, number);
    }
}

void report_saved(HostSession* sess, int number, const Sentinel& s)
{
    std::string event = shown(s.psEvent), condition = shown(s.psCondition), command = shown(s.psCommand);
    if (s.iRepetitions < 0)
        sPrintText(where(sess), "\0034SAVED\017:[\0036 %3d\017]\t\0033 %c\0034 %s\0037 %s\0038 %s\017", number, '?',
                   event.c_str(), condition.c_str(), command.c_str());
    else
        sPrintText(where(sess), "\0034SAVED\017:[\0036 %3d\017]\t\0033 %d\0034 %s\0037 %s\0038 %s\017", number,
                   s.iRepetitions, event.c_str(), condition.c_str(), command.c_str());
}

}  // namespace

std::string events_detail::file_line(const Sentinel& s)
{
    return "Ripetizioni \"" + std::to_string(s.iRepetitions) + "\" Evento \"" + escaped(s.psEvent) +
           "\" Condizione \"" + escaped(s.psCondition) + "\" Azione \"" + escaped(s.psCommand) + "\"\n";
}

int ReadSentinel(HostSession* sess, const char* file)
{
    const std::string path = chosen_path(file);
    DebugPlugin(1, "BEGIN: ReadSentinel(%s)", path.c_str());
    delete_user_sentinels(sess);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        sPrintText(where(sess), GetMessage(99), path.c_str());
        DebugPlugin(1, "END: ReadSentinel() = 1");
        return 1;
    }
    sPrintText(where(sess), "%s", GetMessage(100));
    read_lines(sess, in);
    sPrintText(where(sess), "%s", GetMessage(106));
    DebugPlugin(1, "END: ReadSentinel() = 0");
    return 0;
}

int SaveSentinel(HostSession* sess, const char* file)
{
    const std::string path = chosen_path(file);
    DebugPlugin(1, "BEGIN: SaveSentinel(%s)", path.c_str());
    if (uiSentinelInList == 0) sPrintText(where(sess), GetMessage(107), default_path().c_str());
    std::string image;
    for (const auto& s : sentinel_list)
        if (s->uiSpecial == 0) image += file_line(*s);
    // Written whole beside the old file and renamed over it: the old file stays on any error.
    if (!zemReplaceFile(path, image)) {
        const char* reason = strerror(errno);
        sPrintText(where(sess), GetMessage(99), path.c_str());
        printf("[%s:%d]> SaveSentinel(%s): %s\n", "events", __LINE__, path.c_str(), reason);
        DebugPlugin(1, "END: SaveSentinel() = 1");
        return 1;
    }
    sPrintText(where(sess), "%s", GetMessage(109));
    int number = 0;
    const bool other_file = path != default_path();
    for (const auto& s : sentinel_list) {
        if (s->uiSpecial != 0) continue;
        ++number;
        if (other_file) report_saved(sess, number, *s);
        printf("* SALVATAGGIO SENTINELLA: %s\n", file_line(*s).c_str());
    }
    sPrintText(where(sess), "%s", GetMessage(106));
    DebugPlugin(1, "END: SaveSentinel() = 0");
    return 0;
}
