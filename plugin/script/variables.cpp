// User variables and the variable command (/quibo cmd).
#include "script/internal.h"
#include "script/script.h"

#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <cstdlib>
#include <list>

unsigned uiCommandInvocation = 0;
unsigned uiMaxCommandInvocation = 0;

namespace {

constexpr uint32_t kUserVariableMagic = 1234567890;

struct UserVariable {
    uint32_t magic = kUserVariableMagic;
    int32_t checksum = 0;     // sum of the name's bytes as signed values, "$" included
    int32_t name_length = 0;  // with the "$"
    int16_t hidden = 0;
    std::string name;         // "$" and the given name
    std::string marker;
    std::string value;
};

// Longest name first; among equal lengths, the older first.
std::list<UserVariable> UserVariableList;

int32_t checksum_of(const std::string& name)
{
    int32_t sum = 0;
    for (char c : name) sum += static_cast<signed char>(c);
    return sum;
}

UserVariable make_record(const char* given, const char* value, int hidden)
{
    UserVariable v;
    std::string name = given ? given : "";
    name.resize(std::min(name.find('$'), name.size()));
    v.name = "$" + name;
    v.marker = std::string(1, kVariableMarkerOpen) + "-" + name + kNameMarkerEnd;
    v.value = value ? value : "";
    v.checksum = checksum_of(v.name);
    v.name_length = static_cast<int32_t>(v.name.size());
    v.hidden = hidden ? 1 : 0;
    return v;
}

// A damaged record ends the list: it and the records behind it are dropped.
bool intact(std::list<UserVariable>::iterator at, const char* operation)
{
    if (at->magic == kUserVariableMagic) return true;
    DebugPlugin(1, " *   %s() : INTEGRITY ERROR !", operation);
    UserVariableList.erase(at, UserVariableList.end());
    return false;
}

HostSession* report_window(HostSession* sess) { return iFlagCurrentTab ? current_tab : sess; }

void print_variable(HostSession* where, const UserVariable& v)
{
    sPrintText(where, "\0034%s\017 =\0033 %s\017", v.name.c_str(), v.value.c_str());
}

}  // namespace

int quibo_set_variable(HostSession* sess, const char* name, const char* value, int verbose, int hidden)
{
    DebugPlugin(2, "BEGIN: quibo_set_variable(%s, %s, %d, %d)", name ? name : "", value ? value : "", verbose, hidden);
    UserVariable record = make_record(name, value, hidden);
    auto insert_at = UserVariableList.end();
    for (auto at = UserVariableList.begin(); at != UserVariableList.end(); ++at) {
        if (!intact(at, "quibo_set_variable")) break;
        if (at->checksum == record.checksum && at->name == record.name) {
            at->value = std::move(record.value);
            if (verbose) print_variable(report_window(sess), *at);
            return 1;
        }
        if (insert_at == UserVariableList.end() && at->name_length < record.name_length) insert_at = at;
    }
    const UserVariable& added = *UserVariableList.insert(insert_at, std::move(record));
    if (verbose) print_variable(report_window(sess), added);
    return 0;
}

int quibo_list_variable(HostSession* sess, const char* pattern)
{
    HostSession* where = report_window(sess);
    if (UserVariableList.empty()) {
        sPrintText(where, "%s", GetMessage(832));
        return 1;
    }
    const std::string wanted = pattern ? pattern : "";
    const bool all = wanted == "*";
    for (auto at = UserVariableList.begin(); at != UserVariableList.end(); ++at) {
        if (!intact(at, "quibo_list_variable")) break;
        if (wanted.empty() || all) {
            if (all || at->hidden == 0) print_variable(where, *at);
        } else if (at->name.compare(1, std::string::npos, wanted) == 0) {
            print_variable(where, *at);
            return 1;
        }
    }
    if (!wanted.empty() && !all) sPrintText(where, GetMessage(833), wanted.c_str());
    return 0;
}

void flush_user_variables()
{
    // Unload frees the window records after this step: the resolver's window must not outlive them.
    g_sess = nullptr;
    for (auto at = UserVariableList.begin(); at != UserVariableList.end(); ++at)
        if (!intact(at, "flush_user_variables")) break;
    UserVariableList.clear();
}

size_t user_variable_at(const std::string& text, size_t at)
{
    if (at >= text.size()) return 0;
    for (auto v = UserVariableList.begin(); v != UserVariableList.end(); ++v) {
        if (!intact(v, "resolve_expression")) break;
        if (v->name.size() > 1 && v->name[1] == text[at] && text.compare(at, v->name.size() - 1, v->name, 1) == 0)
            return v->name.size() - 1;
    }
    return 0;
}

std::optional<std::string> user_variable_value(std::string_view name)
{
    for (auto v = UserVariableList.begin(); v != UserVariableList.end(); ++v) {
        if (!intact(v, "resolve_expression")) break;
        if (std::string_view(v->name).substr(1) == name) return v->value;
    }
    return std::nullopt;
}

// ---- the variable command ------------------------------------------------------------

namespace {

// A starred line runs once, on the last of its arrivals (one per open window).
bool starred_line_waits(const MarkedText& line)
{
    const bool starred = !line.text.empty() && line.syntax_at(0) && line.text[0] == '*';
    if (starred && uiMaxCommandInvocation == 0) {
        const std::string windows = resolve_expression("stat( tab( n ),tab() s )", 0);
        uiMaxCommandInvocation = static_cast<unsigned>(strtoul(windows.c_str(), nullptr, 10));
    }
    if (starred && uiMaxCommandInvocation > uiCommandInvocation) return true;
    uiCommandInvocation = 0;
    uiMaxCommandInvocation = 0;
    return false;
}

// The pieces between the "\;" the user wrote (never one inside a value); a
// separator that is the last or next-to-last thing in the line does not split.
std::vector<MarkedText> command_pieces(const MarkedText& line)
{
    std::vector<MarkedText> pieces;
    size_t start = 0;
    for (size_t at; (at = line.find_syntax("\\;", start)) != std::string::npos && at + 3 < line.text.size();
         start = at + 2)
        pieces.push_back(line.slice(start, at - start));
    pieces.push_back(line.slice(start, line.text.size() - start));
    return pieces;
}

// The command a piece gives, or nothing when the piece does not run.
std::optional<InertText> piece_command(MarkedText piece)
{
    if (!piece.text.empty() && piece.syntax_at(0) && piece.text[0] == '*') piece.replace(0, 1, "", false);
    const bool unresolved = !piece.text.empty() && piece.syntax_at(0) && piece.text[0] == '|';
    if (unresolved) piece.replace(0, 1, "", false);
    InertText command = unresolved ? piece.inert() : resolve_expression(piece.inert(), 1);
    if (command.text.empty() || (command.text[0] == '\\' && !command.literal_at(0))) return std::nullopt;
    return command;
}

}  // namespace

int quibo_var_cmd(HostSession* sess, const InertText& text)
{
    DebugPlugin(2, "BEGIN: quibo_var_cmd(%s)", text.text.c_str());
    g_sess = sess;
    execution_tab = sess;
    ++uiCommandInvocation;
    const MarkedText line(text);
    if (starred_line_waits(line)) return 0;
    int queued = 0;
    for (MarkedText& piece : command_pieces(line)) {
        std::optional<InertText> command = piece_command(std::move(piece));
        if (!command) continue;
        ResetPriority();
        InsertCommandInQueuePriority(sess, std::move(*command), kPriorityHigh);
        ExecCommandInQueue(0);
        ++queued;
    }
    DebugPlugin(2, "END: quibo_var_cmd() = %d", queued);
    return queued;
}

int quibo_var_cmd(HostSession* sess, const char* text) { return quibo_var_cmd(sess, running_inert_tail(text)); }
