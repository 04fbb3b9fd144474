// resolve_expression: variables, properties and function calls of a text
// replaced by their values. Names are first turned into markers, so that a
// value put in place is never taken for a name; values are inserted as
// literal runs, which no later step reads as script.
#include "script/internal.h"
#include "script/script.h"

#include "host/dcc.h"
#include "host/trace.h"
#include "users/chatuser.h"

#include <array>
#include <vector>

namespace {

constexpr int kMaxFunctionPasses = 1024;

struct ExecName {
    const char* name;
    const char* marker;
};

const std::array<ExecName, 6> kExecNames{{
    {"$execnick", "\x11-EXECNICK\x11"},
    {"$exechostname", "\x11-EXECHOSTNAME\x11"},
    {"$execrealname", "\x11-EXECREALNAME\x11"},
    {"$execservername", "\x11-EXECSERVERNAME\x11"},
    {"$execlasttalk", "\x11-EXECLASTTALK\x11"},
    {"$execprefix", "\x11-EXECPREFIX\x11"},
}};

std::string variable_marker(std::string_view name)
{
    std::string marker(1, kVariableMarkerOpen);
    marker += '-';
    marker += name;
    marker += kNameMarkerEnd;
    return marker;
}

void replace_placeholders(MarkedText& work, int flag)
{
    work.replace_syntax("_QUIBO_US_DOLLAR_", "$");
    work.replace_syntax("_QUIBO_SEPARATOR_", "\\;");
    if (flag) work.replace_syntax("$_", " ");
}

// A file name is a value: it is inserted as data.
void replace_file_names(MarkedText& work)
{
    for (size_t at = work.find_syntax("$database"); at != std::string::npos; at = work.find_syntax("$database", at)) {
        const std::string path = or_empty(SaveDatabase());
        work.replace(at, 9, path, true);
        at += path.size();
    }
    for (size_t at = work.find_syntax("$dcc_database"); at != std::string::npos;
         at = work.find_syntax("$dcc_database", at)) {
        const std::string path = write_dcc_database(0);
        work.replace(at, 13, path, true);
        at += path.size();
    }
}

void hide_exec_names(MarkedText& work)
{
    if (!work.has_syntax("exec(")) return;
    for (const ExecName& e : kExecNames) work.replace_syntax(e.name, e.marker);
}

// Each "$NAME" of a built-in or user variable becomes its marker: the
// built-in names first, each the longest that fits, then the user variables
// in their list order (longest name first).
void mark_variables(MarkedText& work)
{
    for (size_t at = work.find_syntax('$'); at != std::string::npos; at = work.find_syntax('$', at + 1)) {
        size_t length = builtin_variable_at(work.text, at + 1);
        if (length == 0) length = user_variable_at(work.text, at + 1);
        if (length == 0 || !work.syntax_range(at + 1, length)) continue;
        const std::string marker = variable_marker(std::string_view(work.text).substr(at + 1, length));
        work.replace(at, length + 1, marker, false);
        at += marker.size() - 1;
    }
}

// The functions of both tables by the last letter of their name, longest
// name first; no name ends another, so at most one fits before a "(".
const std::array<std::vector<const AdvancedFunction*>, 256>& functions_by_last_letter()
{
    static const auto built = [] {
        std::array<std::vector<const AdvancedFunction*>, 256> index;
        for (auto table : {advanced_functions(), first_pass_functions()})
            for (const AdvancedFunction& f : table) {
                const std::string_view name = f.name;
                index[static_cast<unsigned char>(name[name.size() - 2])].push_back(&f);
            }
        return index;
    }();
    return built;
}

// Each "NAME(" of a function becomes its call marker.
void mark_calls(MarkedText& work)
{
    for (size_t at = work.find_syntax('('); at != std::string::npos; at = work.find_syntax('(', at + 1)) {
        if (at == 0) continue;
        for (const AdvancedFunction* f : functions_by_last_letter()[static_cast<unsigned char>(work.text[at - 1])]) {
            const size_t length = std::string_view(f->name).size();
            if (at + 1 < length || !work.syntax_range(at + 1 - length, length) ||
                work.text.compare(at + 1 - length, length, f->name) != 0)
                continue;
            work.replace(at + 1 - length, length, f->marker, false);
            at += f->marker_length - length;
            break;
        }
    }
}

// A ")" right after a space, a call marker or an argument boundary ends a call.
void mark_closes(MarkedText& work)
{
    for (size_t at = work.find_syntax(')'); at != std::string::npos; at = work.find_syntax(')', at + 1)) {
        const char before = at > 0 ? work.text[at - 1] : '\0';
        if (before == ' ' || before == kCallMarkerEnd || before == kArgumentBoundary) work.text[at] = kCallClose;
    }
}

void function_pass(std::span<const AdvancedFunction> table, MarkedText& work)
{
    for (int pass = 0; pass < kMaxFunctionPasses; ++pass) {
        if (!work.has_syntax(std::string_view("\x07-", 2))) return;
        if (resolve_advanced_function_recursive(table, work) < 0) return;
    }
}

// Every variable marker becomes its value: built-in names first, then the
// user variables. A marker whose name has no value any more becomes the name.
void replace_variables(MarkedText& work)
{
    constexpr std::string_view kOpen("\t-", 2);
    size_t from = 0;
    for (size_t at; (at = work.find_syntax(kOpen, from)) != std::string::npos;) {
        from = at + 1;
        const size_t end = work.find_syntax(kNameMarkerEnd, at + 2);
        if (end == std::string::npos) return;
        const std::string_view name = std::string_view(work.text).substr(at + 2, end - at - 2);
        std::optional<std::string> value = builtin_variable_value(name);
        if (!value) value = user_variable_value(name);
        if (!value) continue;
        work.replace(at, end + 1 - at, *value, true);
        from = at + value->size();
    }
}

void unmark_variables(MarkedText& work)
{
    for (size_t at = work.find_syntax(std::string_view("\t-", 2)); at != std::string::npos;
         at = work.find_syntax(std::string_view("\t-", 2), at + 1)) {
        const size_t end = work.find_syntax(kNameMarkerEnd, at + 2);
        if (end == std::string::npos) return;
        work.replace(at, 2, "$", false);
        work.replace(end - 1, 1, "", false);
    }
}

// No "$", "." or "(" and no placeholder: the text stays as it is.
bool nothing_to_resolve(const std::string& text)
{
    bool underscore = false;
    for (char c : text) {
        if (c == '$' || c == '.' || c == '(') return false;
        underscore = underscore || c == '_';
    }
    return !underscore || text.find("_QUIBO_") == std::string::npos;
}

}  // namespace

void restore_exec_names(MarkedText& work)
{
    if (!work.has_syntax(std::string_view("\x11-", 2))) return;
    for (const ExecName& e : kExecNames) work.replace_syntax(e.marker, e.name);
}

InertText resolve_expression(const InertText& text, int flag)
{
    if (nothing_to_resolve(text.text)) return text;
    MarkedText work(text);
    DebugPlugin(3, "BEGIN: resolve_expression(%s, %d)", text.text.c_str(), flag);
    replace_placeholders(work, flag);
    replace_file_names(work);
    hide_exec_names(work);
    mark_properties(work);
    mark_variables(work);
    mark_calls(work);
    mark_closes(work);
    function_pass(first_pass_functions(), work);
    replace_variables(work);
    resolve_properties(work, text.text);
    function_pass(advanced_functions(), work);
    unmark_properties(work);
    unmark_variables(work);
    unmark_calls(work);
    restore_exec_names(work);
    InertText resolved = work.inert();
    DebugPlugin(3, "END: resolve_expression() = %s", resolved.text.c_str());
    return resolved;
}

std::string resolve_expression(const char* text, int flag)
{
    return resolve_expression(InertText(text ? text : ""), flag).text;
}
