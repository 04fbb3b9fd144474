// The text being resolved with its per-byte literal flags.
#include "script/internal.h"

#include <algorithm>

MarkedText::MarkedText(const InertText& source) : text(source.text), literal(source.text.size(), 0)
{
    for (const auto& [begin, end] : source.literal)
        std::fill(literal.begin() + std::min(begin, text.size()), literal.begin() + std::min(end, text.size()), 1);
}

InertText MarkedText::inert() const
{
    InertText out;
    size_t start = 0;
    for (size_t i = 1; i <= text.size(); ++i) {
        if (i < text.size() && literal[i] == literal[start]) continue;
        const std::string_view part = std::string_view(text).substr(start, i - start);
        if (literal[start])
            out.add_literal(part);
        else
            out.add_syntax(part);
        start = i;
    }
    return out;
}

bool MarkedText::syntax_range(size_t pos, size_t n) const
{
    if (pos + n > text.size()) return false;
    return std::none_of(literal.begin() + pos, literal.begin() + pos + n, [](char c) { return c != 0; });
}

bool MarkedText::any_literal(size_t pos, size_t n) const
{
    n = std::min(n, text.size() - std::min(pos, text.size()));
    return std::any_of(literal.begin() + pos, literal.begin() + pos + n, [](char c) { return c != 0; });
}

size_t MarkedText::find_syntax(std::string_view what, size_t from) const
{
    for (size_t at = text.find(what, from); at != std::string::npos; at = text.find(what, at + 1))
        if (syntax_range(at, what.size())) return at;
    return std::string::npos;
}

size_t MarkedText::find_syntax(char c, size_t from) const
{
    for (size_t at = text.find(c, from); at != std::string::npos; at = text.find(c, at + 1))
        if (!literal[at]) return at;
    return std::string::npos;
}

void MarkedText::replace(size_t pos, size_t n, std::string_view with, bool with_literal)
{
    text.replace(pos, n, with);
    literal.erase(literal.begin() + pos, literal.begin() + pos + n);
    literal.insert(literal.begin() + pos, with.size(), with_literal ? 1 : 0);
}

int MarkedText::replace_syntax(std::string_view find, std::string_view with)
{
    if (find.empty()) return 0;
    int count = 0;
    for (size_t at = find_syntax(find); at != std::string::npos; at = find_syntax(find, at + with.size())) {
        replace(at, find.size(), with, false);
        ++count;
    }
    return count;
}

MarkedText MarkedText::slice(size_t pos, size_t n) const
{
    MarkedText out;
    out.text = text.substr(pos, n);
    out.literal.assign(literal.begin() + pos, literal.begin() + pos + out.text.size());
    return out;
}
