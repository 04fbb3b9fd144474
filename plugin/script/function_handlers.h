// The handlers of the built-in functions and the helpers they share; seen by
// the function files only (the resolver reaches the handlers through the tables).
#pragma once

#include "script/functions.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct HostServer;
struct HostUser;

namespace quibo_functions {

using Result = std::optional<std::string>;

// Longest text a function builds; a result that would be longer is refused
// with an error line.
constexpr size_t kMaxFunctionResult = 64 * 1024;
// Rounds of a repeated (">") replacement before it stops with an error line.
constexpr int kMaxReplaceRounds = 100;

// The argument's comma-separated fields: the first `count - 1` end at a comma,
// the last runs to the end of the text. Fewer fields when the text has fewer commas.
std::vector<std::string> fields(const std::string& text, size_t count);
// "_QUIBOSCRIPT_COMMA_" written in place of a comma, back into a comma.
std::string with_commas(std::string text);
// True when `text` (a pattern, a separator) held nothing but spaces or nothing at all.
bool blank(const std::string& text);
// The argument's text with its spaces kept as protected-space bytes, boundary bytes gone.
std::string argument_words(const InertText& argument);

// One of the functions' fixed error lines ("...(%s)") with the argument, in
// the window for reports, when error messages are on.
void function_error(const char* format, const std::string& argument);
// A numbered message, likewise.
void function_message(int number, ...);

// Every occurrence of `find` in `text` (left to right, inserted text never
// rescanned) becomes `with`; false, and `text` unchanged, when the result
// would be longer than kMaxFunctionResult. An empty `find` changes nothing.
bool replace_every(std::string& text, const std::string& find, const std::string& with, size_t& count);

// ---- the mode filter -------------------------------------------------------------

// A user's mode letters: the prefix character, then "o", "h", "v", "m" (the
// local user), "a" (away), "s" (selected in the user list) for each flag the user has.
std::string mode_letters(const HostUser& user, const HostServer* server);
// Letters select, letters after "-" exclude; an empty filter passes everybody.
bool passes_filter(std::string_view letters, std::string_view filter);

// ---- handlers ---------------------------------------------------------------------

Result _advanced_function__exec(const InertText& argument);
Result _advanced_function__connected(const InertText& argument);
Result _advanced_function__end(const InertText& argument);
Result _advanced_function__escape(const InertText& argument);
Result _advanced_function__filter(const InertText& argument);
Result _advanced_function__finduser(const InertText& argument);
Result _advanced_function__ignore_list(const InertText& argument);
Result _advanced_function__ignore_mask(const InertText& argument);
Result _advanced_function__int(const InertText& argument);
Result _advanced_function__lenght(const InertText& argument);
Result _advanced_function__match(const InertText& argument);
Result _advanced_function__math(const InertText& argument);
Result _advanced_function__mathf(const InertText& argument);
Result _advanced_function__network(const InertText& argument);
Result _advanced_function__pos(const InertText& argument);
Result _advanced_function__replace(const InertText& argument);
Result _advanced_function__removecolors(const InertText& argument);
Result _advanced_function__search(const InertText& argument);
Result _advanced_function__server(const InertText& argument);
Result _advanced_function__session(const InertText& argument);
Result _advanced_function__stat(const InertText& argument);
Result _advanced_function__strip(const InertText& argument);
Result _advanced_function__substr(const InertText& argument);
Result _advanced_function__tab(const InertText& argument);
Result _advanced_function__time(const InertText& argument);
Result _advanced_function__tolower(const InertText& argument);
Result _advanced_function__token(const InertText& argument);
Result _advanced_function__toupper(const InertText& argument);
Result _advanced_function__xchatvar(const InertText& argument);
Result _advanced_function__init(const InertText& argument);

}  // namespace quibo_functions
