// Copies, case conversion, search and find-and-replace on byte strings.
#include "utilities.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

std::string* psMessagePointer = nullptr;

namespace {

template <typename Convert>
std::string each_byte(const char* text, Convert convert)
{
    std::string result = ustrcpy(text);
    for (char& c : result) c = static_cast<char>(convert(static_cast<unsigned char>(c)));
    return result;
}

}  // namespace

std::string ustrcpy(const char* text) { return text ? std::string(text) : std::string(); }

std::string ustrtolower(const char* text) { return each_byte(text, ::tolower); }

std::string ustrtoupper(const char* text) { return each_byte(text, ::toupper); }

std::string ustrstr(const char* haystack, const char* needle)
{
    if (empty(haystack) || empty(needle)) return {};
    const char* found = strstr(haystack, needle);
    return found ? std::string(found) : std::string();
}

std::string strchrpl(const char* text, const char* characters, char replacement)
{
    std::string result = ustrcpy(text);
    if (empty(characters)) return result;
    for (size_t i = 0; i < result.size(); ++i) {
        if (!strchr(characters, result[i])) continue;
        if (replacement == '\0') {
            result.resize(i);
            break;
        }
        result[i] = replacement;
    }
    return result;
}

std::string uinttostr(int number) { return std::to_string(number); }

std::string vformat(const char* format, va_list ap, size_t limit)
{
    va_list copy;
    va_copy(copy, ap);
    const int size = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size), '\0');
    vsnprintf(text.data(), text.size() + 1, format, ap);
    if (text.size() > limit) text.resize(limit);
    return text;
}

bool leading_int(const char* text, int& value)
{
    if (!text) return false;
    char* end = nullptr;
    const long long number = strtoll(text, &end, 10);  // saturates instead of overflowing
    if (end == text) return false;
    value = static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
    return true;
}

int ustrfindreplace_r(std::string& text, const char* find, const char* replace, int limit)
{
    if (text.empty() || !find || !replace || !*find || limit < 0 || limit > kFindReplaceLimit) return 0;
    if (find == replace || strcmp(find, replace) == 0) return 0;
    const std::string_view needle(find);
    std::string result;
    int count = 0;
    size_t from = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, from)) {
        result.append(text, from, at - from).append(replace);
        from = at + needle.size();
        if (++count == limit) break;
    }
    if (count == 0) return 0;
    result.append(text, from, std::string::npos);
    text.swap(result);
    return count;
}

int ustrfindreplace(std::string& text, const char* find, const char* replace)
{
    return ustrfindreplace_r(text, find, replace, 0);
}

int local_ustrfindreplace(const char* find, const char* replace)
{
    // Same rules as ustrfindreplace; the message texts it edits are short.
    return psMessagePointer ? ustrfindreplace(*psMessagePointer, find, replace) : 0;
}

void InertText::add_literal(std::string_view part)
{
    if (part.empty()) return;
    const size_t begin = text.size();
    text += part;
    if (!literal.empty() && literal.back().second == begin)
        literal.back().second = text.size();
    else
        literal.emplace_back(begin, text.size());
}

bool InertText::literal_at(size_t position) const
{
    for (const auto& [begin, end] : literal)
        if (position >= begin && position < end) return true;
    return false;
}

std::string shell_quoted(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}
