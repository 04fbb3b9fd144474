// Conditions: /quibo if, else if and else. Both operands are resolved, the left
// one may run a shell command "$( … )", and a true condition queues its command.
#include "script/internal.h"
#include "script/script.h"

#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cstring>

std::string psOutput_OperatingSystem;

namespace {

constexpr std::string_view kOperators = "<=>:!";

HostSession* report_window(HostSession* sess) { return iFlagCurrentTab ? current_tab : sess; }

// ---- shell substitution ------------------------------------------------------------

// Where a shell command stands: after the state of the text before it, a value
// must be put in so that sh reads it as one plain word piece.
struct ShellQuoting {
    enum State { Plain, Single, Double } state = Plain;
    bool escaped = false;

    void read(std::string_view syntax)
    {
        for (char c : syntax) {
            if (escaped) {
                escaped = false;
            } else if (state == Single) {
                if (c == '\'') state = Plain;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '\'' && state == Plain) {
                state = Single;
            } else if (c == '"') {
                state = state == Double ? Plain : Double;
            }
        }
    }

    std::string value(std::string_view text)
    {
        const std::string quoted = shell_quoted(text);
        // A pending backslash would escape the opening quote: a backslash-newline
        // pair is removed by sh, so the escape falls on nothing.
        const std::string lead = escaped ? "\n" : "";
        escaped = false;
        if (state == Single) return lead + "'" + quoted + "'";
        if (state == Double) return lead + "\"" + quoted + "\"";
        return lead + quoted;
    }
};

// The user's own text of the command: quotes escaped for the quoting that
// "\(" and "\)" stand for, and the two placeholders for a literal "\(" or "\)".
std::string command_syntax(std::string text)
{
    ustrfindreplace_r(text, "'", "'\\''", 0);
    ustrfindreplace_r(text, "\\(", "'", 0);
    ustrfindreplace_r(text, "\\)", "'", 0);
    ustrfindreplace_r(text, "_QUIBO_PROTECT_OPEN_", "\\(", 0);
    ustrfindreplace_r(text, "_QUIBO_PROTECT_CLOSE_", "\\)", 0);
    return text;
}

// The shell command of `part`: the user's text as written, each value single-quoted.
std::string shell_command(const MarkedText& part)
{
    std::string command;
    ShellQuoting quoting;
    part.inert().each_run([&](std::string_view run, bool literal) {
        if (literal) {
            command += quoting.value(run);
            return;
        }
        const std::string syntax = command_syntax(std::string(run));
        quoting.read(syntax);
        command += syntax;
    });
    return command;
}

// "\(" and "\)" must come in pairs; the message when one is missing.
const char* unbalanced_protection(const MarkedText& part)
{
    const bool open = part.has_syntax("\\(");
    const bool close = part.has_syntax("\\)");
    if (open && !close) return "\0034Missing\0036 \\)\0034 in command.";
    if (close && !open) return "\0034Missing\0036 \\(\0034 in command.";
    return nullptr;
}

std::string joined_output(std::string output)
{
    std::replace(output.begin(), output.end(), '\n', ' ');
    if (!output.empty() && output.back() == ' ') output.pop_back();
    return output;
}

// Replaces the "$( … )" of the left operand by the command's output; false
// when the condition cannot hold (a missing "\(" or "\)", no shell).
bool substitute_shell(HostSession* sess, MarkedText& left)
{
    const size_t open = left.find_syntax("$(");
    if (open == std::string::npos) return true;
    size_t close = std::string::npos;
    for (size_t at = left.find_syntax(')', open + 2); at != std::string::npos; at = left.find_syntax(')', at + 1))
        close = at;
    if (close == std::string::npos) return true;
    const MarkedText part = left.slice(open + 2, close - open - 2);
    if (const char* missing = unbalanced_protection(part)) {
        sPrintText(sess, "%s", missing);
        return false;
    }
    const std::string command = shell_command(part);
    DebugPlugin(3, " * quibo_if() shell: %s", command.c_str());
    const ShellResult run = run_shell_command(command);
    if (!run.started) {
        sPrintText(report_window(sess), GetMessage(717), command.c_str(), run.error.c_str());
        return false;
    }
    psOutput_OperatingSystem = joined_output(run.output);
    left.replace(open, close + 1 - open, psOutput_OperatingSystem, true);
    return true;
}

// ---- comparison ------------------------------------------------------------------------

bool is_number(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789,") == std::string::npos;
}

// -1, 0 or 1. Integers compare exactly at any length; a comma makes both
// floating-point numbers with the comma as the decimal separator.
int compare_numbers(const std::string& a, const std::string& b)
{
    if (a.find(',') != std::string::npos || b.find(',') != std::string::npos) {
        auto read = [](std::string text) {
            std::replace(text.begin(), text.end(), ',', '.');
            double value = 0;
            std::from_chars(text.data(), text.data() + text.size(), value);
            return value;
        };
        const double x = read(a), y = read(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    auto digits = [](const std::string& text) { return text.substr(std::min(text.find_first_not_of('0'), text.size())); };
    const std::string x = digits(a), y = digits(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y) < 0 ? -1 : x.compare(y) > 0 ? 1 : 0;
}

int order(const std::string& a, const std::string& b)
{
    if (is_number(a) && is_number(b)) return compare_numbers(a, b);
    const int c = strcasecmp(a.c_str(), b.c_str());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return ustrtolower(haystack.c_str()).find(ustrtolower(needle.c_str())) != std::string::npos;
}

// "=" and "!": a right operand beginning with a "/" that the user wrote is a
// regular expression; a value that begins with one is compared as text.
bool equal(HostSession* sess, const std::string& left, const MarkedText& right_operand)
{
    const std::string& right = right_operand.text;
    if (right.empty() || right[0] != '/' || !right_operand.syntax_at(0))
        return strcasecmp(left.c_str(), right.c_str()) == 0;
    const bool matched = zemregexp(right.c_str() + 1, left.c_str()) == 1;
    if (ps_zemregexp_error) {
        sPrintText(report_window(sess), GetMessage(827), right.c_str(), ps_zemregexp_error);
        ps_zemregexp_error = nullptr;
    }
    return matched;
}

bool holds(HostSession* sess, const std::string& left, char op, const MarkedText& right_operand)
{
    const std::string& right = right_operand.text;
    switch (op) {
        case '=': return equal(sess, left, right_operand);
        case '!': return !equal(sess, left, right_operand);
        case ':': return contains(left, right) || contains(right, left);
        case '<': return order(left, right) < 0;
        default: return order(left, right) > 0;
    }
}

// The first problem of the condition's parts as its message number, else 0.
int missing_part(const InertText& a, char op, const InertText& b, const InertText& command)
{
    if (a.text.empty()) return 831;
    if (op == '\0' || kOperators.find(op) == std::string_view::npos) return 830;
    if (b.text.empty()) return 829;
    if (command.text.empty()) return 828;
    return 0;
}

InertText condition_command(const InertText& command)
{
    MarkedText text(command);
    if (text.syntax_at(0) && text.text[0] == '|') {
        text.replace(0, 1, "", false);
        text.replace_syntax("_QUIBO_US_DOLLAR_", "$");
        return text.inert();
    }
    return resolve_expression(command, 0);
}

void trace_condition(HostSession* sess, bool result, const std::string& a, char op, const std::string& b,
                     const std::string& command)
{
    if (iFlagEventsManagerDebug != 1) return;
    const char* format = result ? "\0033if\017 (\0033 %s %c %s\017 ) {\0033 %s\017;}"
                                : "\0034if\017 (\0034 %s %c %s\017 ) {\0034 %s\017;}";
    sPrintText(report_window(sess), format, a.c_str(), op, b.c_str(), command.c_str());
}

}  // namespace

int quibo_if(HostSession* sess, const InertText& a, char op, const InertText& b, const InertText& command)
{
    if (!sess) return 0;
    DebugPlugin(2, "BEGIN: quibo_if(%s, %c, %s, %s)", a.text.c_str(), op ? op : ' ', b.text.c_str(), command.text.c_str());
    if (const int message = missing_part(a, op, b, command)) {
        sPrintText(report_window(sess), "%s", GetMessage(message));
        return 0;
    }
    g_sess = sess;
    execution_tab = sess;
    MarkedText left(resolve_expression(a, 1));
    const MarkedText right(resolve_expression(b, 1));
    const bool result = substitute_shell(sess, left) && holds(sess, left.text, op, right);
    if (!result) {
        trace_condition(sess, false, left.text, op, right.text, command.text);
        return 0;
    }
    InertText queued = condition_command(command);
    trace_condition(sess, true, left.text, op, right.text, queued.text);
    ResetPriority();
    InsertCommandInQueuePriority(sess, std::move(queued), kPriorityHigh);
    ExecCommandInQueue(0);
    DebugPlugin(2, "END: quibo_if() = 1");
    return 1;
}

int quibo_if(HostSession* sess, const char* a, char op, const char* b, const char* command)
{
    return quibo_if(sess, InertText(a ? a : ""), op, InertText(b ? b : ""), running_inert_tail(command));
}
