// The built-in functions that work on their argument's text alone.
#include "script/function_handlers.h"

#include "clock.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace quibo_functions {

namespace {

std::string text_of(const InertText& argument) { return argument_text(argument); }

// The fixed error lines of the text functions.
constexpr const char* kReplaceMode =
    "\0034ERROR\t\0039MISSING '>', '+' OR '-' IN PATTERN OF REPLACE ADVANCED FUNCTION. (%s)";
constexpr const char* kReplaceString = "\0034ERROR\t\0039MISSING REPLACE STRING OF REPLACE ADVANCED FUNCTION. (%s)";
constexpr const char* kFilterSign = "\0034ERROR\t\0039MISSING '+' OR '-' IN REGEXP OF FILTER ADVANCED FUNCTION. (%s)";
constexpr const char* kTokenNumber =
    "\0034ERROR\t\0039THE TOKEN PARAMETER OF TOKEN ADVANCED FUNCTION MUST BE MAJOR OF ZERO. (%s)";
constexpr const char* kTokenString = "\0034ERROR\t\0039MISSING STRING PARAMETER OF TOKEN ADVANCED FUNCTION. (%s)";
constexpr const char* kTokenSeparator =
    "\0034ERROR\t\0039MISSING FIELD SEPARATOR PARAMETER OF TOKEN ADVANCED FUNCTION. (%s)";

// The part of `text` that `pattern` matches; nothing when it does not match
// (a pattern that does not compile does not match either).
std::optional<std::string> regexp_match(const std::string& pattern, const std::string& text)
{
    if (!zemregexp(pattern.c_str(), text.c_str())) return std::nullopt;
    if (pmatch.rm_so < 0 || pmatch.rm_eo < pmatch.rm_so) return std::nullopt;
    return text.substr(static_cast<size_t>(pmatch.rm_so), static_cast<size_t>(pmatch.rm_eo - pmatch.rm_so));
}

// Every occurrence of `find` becomes `with`; on a result too long, the error
// line and false (`text` unchanged).
bool replace_or_report(std::string& text, const std::string& find, const std::string& with, const std::string& call)
{
    size_t count = 0;
    if (replace_every(text, find, with, count)) return true;
    function_message(1163, call.c_str(), static_cast<int>(kMaxFunctionResult));
    return false;
}

std::string decimal(long long value) { return std::to_string(value); }

}  // namespace

Result _advanced_function__end(const InertText& argument)
{
    sFlagEndMacro = 1;
    const std::string text = text_of(argument);
    return text.empty() ? std::string("END_MACRO") : text;
}

Result _advanced_function__escape(const InertText& argument)
{
    const char* escaped = zemescaperegexp(text_of(argument).c_str());
    return std::string(escaped ? escaped : "");
}

// filter( ±REGEX,TEXT ): "+" the matched part, "-" TEXT without it; no match: TEXT.
Result _advanced_function__filter(const InertText& argument)
{
    const std::string whole = text_of(argument);
    const std::vector<std::string> f = fields(whole, 2);
    if (f.size() < 2) return std::nullopt;
    const std::string regex = with_commas(f[0]);
    if (regex.empty() || (regex[0] != '+' && regex[0] != '-')) {
        function_error(kFilterSign, regex);
        return whole;
    }
    std::string text = f[1];
    const std::optional<std::string> found = regexp_match(regex.substr(1), text);
    if (!found) return text;
    if (regex[0] == '+') return *found;
    replace_or_report(text, *found, "", whole);
    return text;
}

// int( NUMBER ): the integer part of NUMBER + 0.5; a comma may be the decimal separator.
Result _advanced_function__int(const InertText& argument)
{
    std::string text = text_of(argument);
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty() || isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    const double value = strtod(text.c_str(), &end);
    if (end == text.c_str() || *end) return std::nullopt;
    const double rounded = std::trunc(value + 0.5);
    if (!std::isfinite(rounded) || std::fabs(rounded) > 9.2e18) {
        function_message(1161, text.c_str());
        return std::nullopt;
    }
    return decimal(static_cast<long long>(rounded));
}

Result _advanced_function__lenght(const InertText& argument) { return decimal(text_of(argument).size()); }

// match( NICK,ADDRESS,MASK ): MASK when it matches NICK!ADDRESS, else "0".
Result _advanced_function__match(const InertText& argument)
{
    const std::vector<std::string> f = fields(text_of(argument), 3);
    if (f.size() < 3) return std::nullopt;
    const std::string full = f[0] + "!" + f[1];
    return match_mask(f[2].c_str(), full.c_str()) ? f[2] : std::string("0");
}

// pos( NEEDLE,TEXT ): 1-based position of the first NEEDLE, else "0".
Result _advanced_function__pos(const InertText& argument)
{
    const std::vector<std::string> f = fields(text_of(argument), 2);
    if (f.size() < 2) return std::nullopt;
    if (f[0].empty()) return std::string("0");
    const size_t at = f[1].find(f[0]);
    return at == std::string::npos ? std::string("0") : decimal(static_cast<long long>(at) + 1);
}

// replace( MODE PATTERN,REPLACEMENT,TEXT ): ">" repeated regular-expression
// replacement, "+" once, "-" plain text ignoring case.
Result _advanced_function__replace(const InertText& argument)
{
    const std::string whole = text_of(argument);
    const std::vector<std::string> f = fields(whole, 3);
    const char mode = f[0].empty() ? '\0' : f[0][0];
    if (mode != '>' && mode != '+' && mode != '-') {
        function_error(kReplaceMode, whole);
        return whole;
    }
    if (f.size() < 3) {
        function_error(kReplaceString, whole);
        return whole;
    }
    const std::string pattern = with_commas(f[0].substr(1));
    const std::string replacement = with_commas(f[1]);
    std::string text = f[2];
    if (mode == '-') {
        if (pattern.empty()) return text;
        const char* found = strcasestr(text.c_str(), pattern.c_str());
        if (found) replace_or_report(text, std::string(found, pattern.size()), replacement, whole);
        return text;
    }
    for (int round = 0;; ++round) {
        const std::optional<std::string> found = regexp_match(pattern, text);
        if (!found || found->empty()) return text;
        if (round == kMaxReplaceRounds) {
            function_message(1162, whole.c_str(), kMaxReplaceRounds);
            return text;
        }
        size_t count = 0;
        if (!replace_every(text, *found, replacement, count)) {
            function_message(1163, whole.c_str(), static_cast<int>(kMaxFunctionResult));
            return text;
        }
        if (mode == '+' || count == 0) return text;
    }
}

// removecolors( TEXT ): the IRC formatting bytes and the colour numbers after 0x03.
Result _advanced_function__removecolors(const InertText& argument)
{
    const std::string text = text_of(argument);
    std::string out;
    out.reserve(text.size());
    auto digits = [&text](size_t& i) {
        for (int n = 0; n < 2 && i < text.size() && isdigit(static_cast<unsigned char>(text[i])); ++n) ++i;
    };
    for (size_t i = 0; i < text.size();) {
        const char c = text[i++];
        if (c == '\x03') {
            const size_t before = i;
            digits(i);
            if (i > before && i + 1 < text.size() && text[i] == ',' &&
                isdigit(static_cast<unsigned char>(text[i + 1]))) {
                ++i;
                digits(i);
            }
        } else if (c != '\x02' && c != '\x0f' && c != '\x16' && c != '\x1f') {
            out += c;
        }
    }
    return out;
}

// search( NEEDLE,TEXT ): TEXT from the first NEEDLE on, else empty.
Result _advanced_function__search(const InertText& argument)
{
    const std::vector<std::string> f = fields(text_of(argument), 2);
    if (f.size() < 2) return std::nullopt;
    return ustrstr(f[1].c_str(), f[0].c_str());
}

Result _advanced_function__strip(const InertText& argument)
{
    std::string text = text_of(argument);
    StripParameter(text);
    return text;
}

// substr( START,LENGTH,TEXT ): START and LENGTH unsigned; START 0 or past the
// end means the last byte; LENGTH 0 means up to the end.
Result _advanced_function__substr(const InertText& argument)
{
    const std::vector<std::string> f = fields(text_of(argument), 3);
    if (f.size() < 3) return std::nullopt;
    const std::string& text = f[2];
    const unsigned long start = strtoul(f[0].c_str(), nullptr, 10);
    const unsigned long length = strtoul(f[1].c_str(), nullptr, 10);
    if (text.empty()) return std::string();
    const size_t from = start == 0 || start > text.size() ? text.size() - 1 : start - 1;
    return text.substr(from, length == 0 ? std::string::npos : length);
}

Result _advanced_function__time(const InertText&) { return decimal(static_cast<long long>(now())); }

Result _advanced_function__tolower(const InertText& argument) { return ustrtolower(text_of(argument).c_str()); }

Result _advanced_function__toupper(const InertText& argument) { return ustrtoupper(text_of(argument).c_str()); }

// token( N,SEPARATOR,TEXT ) and token( >N,SEPARATOR,TEXT ): the N-th field
// (the last one when there are fewer), or the text from it to the end.
Result _advanced_function__token(const InertText& argument)
{
    const std::string whole = text_of(argument);
    const std::vector<std::string> f = fields(whole, 3);
    const bool to_end = !f[0].empty() && f[0][0] == '>';
    int n = 0;
    if (!leading_int(f[0].c_str() + (to_end ? 1 : 0), n) || n <= 0) {
        function_error(kTokenNumber, whole);
        return whole;
    }
    if (f.size() < 3) {
        function_error(kTokenString, whole);
        return whole;
    }
    const std::string separator = with_commas(f[1]);
    if (separator.empty()) {
        function_error(kTokenSeparator, whole);
        return whole;
    }
    const std::string& text = f[2];
    size_t start = 0;
    for (int field = 1; field < n; ++field) {
        const size_t next = text.find(separator, start);
        if (next == std::string::npos) break;
        start = next + separator.size();
    }
    if (to_end) return text.substr(start);
    const size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace quibo_functions
