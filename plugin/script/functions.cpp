// The built-in functions: their two tables, init( and the helpers every handler shares.
#include "script/function_handlers.h"

#include "output/output.h"
#include "script/script.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "host/host.h"

#include <array>
#include <cstdarg>
#include <cstdio>

HostSession* g_sess = nullptr;
int iExecRecursion = 0;
int16_t sFlagEndMacro = 0;

namespace quibo_functions {

std::vector<std::string> fields(const std::string& text, size_t count)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (out.size() + 1 < count) {
        const size_t comma = text.find(',', start);
        if (comma == std::string::npos) break;
        out.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    out.push_back(text.substr(start));
    return out;
}

std::string with_commas(std::string text)
{
    ustrfindreplace(text, "_QUIBOSCRIPT_COMMA_", ",");
    return text;
}

bool blank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string argument_words(const InertText& argument)
{
    std::string text = argument.text;
    StringProtection(text, 2);
    return text;
}

void function_error(const char* format, const std::string& argument)
{
    if (!error_output_on()) return;
    sPrintText(current_tab, format, argument.c_str());
}

void function_message(int number, ...)
{
    if (!error_output_on()) return;
    va_list ap;
    va_start(ap, number);
    const std::string text = vformat(GetMessage(number), ap, kMaxFormattedText);
    va_end(ap);
    sPrintText(current_tab, "%s", text.c_str());
}

bool replace_every(std::string& text, const std::string& find, const std::string& with, size_t& count)
{
    count = 0;
    if (find.empty()) return true;
    std::string out;
    size_t at = 0;
    for (size_t hit = text.find(find); hit != std::string::npos; hit = text.find(find, at)) {
        out.append(text, at, hit - at);
        out += with;
        at = hit + find.size();
        ++count;
        if (out.size() + (text.size() - at) > kMaxFunctionResult) return false;
    }
    if (count == 0) return true;
    out.append(text, at, std::string::npos);
    text = std::move(out);
    return true;
}

// init( $NAME,VALUE ): runs before variables get their values, so an
// existing variable's name is already its marker here and the call gives that
// marker (the value follows). A name still written with "$" is a new variable:
// it is made with VALUE as written (other variables by name, not value).
Result _advanced_function__init(const InertText& argument)
{
    std::string text = argument.text;
    StringProtection(text, 3);
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return std::nullopt;
    const std::string name = text.substr(0, comma);
    std::string value = text.substr(comma + 1);
    if (name.empty() || name[0] != '$') return name;
    const bool hidden = name.find("quiboscript_") != std::string::npos;
    quibo_set_variable(g_sess, name.c_str() + 1, restore_variable_names(value).c_str(), 0, hidden ? 1 : 0);
    return value;
}

}  // namespace quibo_functions

namespace {

using namespace quibo_functions;
using Handler = AdvancedFunctionHandler;

AdvancedFunction record(int number, const char* name, Handler handler, bool literal = false)
{
    std::string marker = std::string(1, kCallMarkerOpen) + "-" + name + kCallMarkerEnd;
    const size_t length = marker.size();
    return AdvancedFunction{number, length, literal, name, std::move(marker), handler};
}

const std::array<AdvancedFunction, 29>& main_table()
{
    static const std::array<AdvancedFunction, 29> table{
        record(1, "exec(", _advanced_function__exec, true),
        record(2, "connected(", _advanced_function__connected),
        record(3, "end(", _advanced_function__end),
        record(4, "escape(", _advanced_function__escape),
        record(5, "filter(", _advanced_function__filter),
        record(6, "finduser(", _advanced_function__finduser),
        record(7, "ignore_list(", _advanced_function__ignore_list),
        record(8, "ignore_mask(", _advanced_function__ignore_mask),
        record(9, "int(", _advanced_function__int),
        record(10, "lenght(", _advanced_function__lenght),
        record(11, "match(", _advanced_function__match),
        record(12, "math(", _advanced_function__math),
        record(13, "mathf(", _advanced_function__mathf),
        record(14, "network(", _advanced_function__network),
        record(15, "pos(", _advanced_function__pos),
        record(16, "replace(", _advanced_function__replace),
        record(17, "removecolors(", _advanced_function__removecolors),
        record(18, "search(", _advanced_function__search),
        record(19, "server(", _advanced_function__server),
        record(20, "session(", _advanced_function__session),
        record(21, "stat(", _advanced_function__stat),
        record(22, "strip(", _advanced_function__strip),
        record(23, "substr(", _advanced_function__substr),
        record(24, "tab(", _advanced_function__tab),
        record(25, "time(", _advanced_function__time),
        record(26, "tolower(", _advanced_function__tolower),
        record(27, "token(", _advanced_function__token),
        record(28, "toupper(", _advanced_function__toupper),
        record(29, "xchatvar(", _advanced_function__xchatvar),
    };
    return table;
}

const std::array<AdvancedFunction, 1>& init_table()
{
    static const std::array<AdvancedFunction, 1> table{record(1, "init(", _advanced_function__init)};
    return table;
}

}  // namespace

std::span<const AdvancedFunction> advanced_functions() { return main_table(); }

std::span<const AdvancedFunction> first_pass_functions() { return init_table(); }

const AdvancedFunction* find_advanced_function(std::string_view name)
{
    for (auto table : {advanced_functions(), first_pass_functions()})
        for (const AdvancedFunction& f : table)
            if (name == f.name) return &f;
    return nullptr;
}
