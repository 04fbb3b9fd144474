// The built-in functions: their two tables and their handlers.
#include "script/functions.h"

#include "script/script.h"

#include <array>
#include <cstdlib>

HostSession* g_sess = nullptr;
int iExecRecursion = 0;
int16_t sFlagEndMacro = 0;

namespace {

using Handler = AdvancedFunctionHandler;

// The argument's comma-separated fields: the first `count - 1` end at a comma,
// the last runs to the end of the text. Fewer fields when the text has fewer commas.
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

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__exec(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__connected(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__end(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__escape(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__filter(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__finduser(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__ignore_list(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__ignore_mask(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__int(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__lenght(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__match(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__math(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__mathf(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__network(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__pos(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__replace(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__removecolors(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__search(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__server(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__session(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__stat(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__strip(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__tab(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__time(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__tolower(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__token(const InertText&) { return std::nullopt; }

// Lands with the built-in functions; until then the call stays as written.
std::optional<std::string> _advanced_function__xchatvar(const InertText&) { return std::nullopt; }

std::optional<std::string> _advanced_function__toupper(const InertText& argument)
{
    return ustrtoupper(argument_text(argument).c_str());
}

// substr( START,LENGTH,TEXT ): START and LENGTH unsigned; START 0 or past the
// end means the last byte; LENGTH 0 means up to the end.
std::optional<std::string> _advanced_function__substr(const InertText& argument)
{
    const std::vector<std::string> f = fields(argument_text(argument), 3);
    if (f.size() < 3) return std::nullopt;
    const std::string& text = f[2];
    const unsigned long start = strtoul(f[0].c_str(), nullptr, 10);
    const unsigned long length = strtoul(f[1].c_str(), nullptr, 10);
    if (text.empty()) return std::string();
    size_t from = start == 0 || start > text.size() ? text.size() - 1 : start - 1;
    return text.substr(from, length == 0 ? std::string::npos : length);
}

// init( $NAME,VALUE ): runs before variables get their values, so an
// existing variable's name is already its marker here and the call gives that
// marker (the value follows). A name still written with "$" is a new variable:
// it is made with VALUE as written (other variables by name, not value).
std::optional<std::string> _advanced_function__init(const InertText& argument)
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
