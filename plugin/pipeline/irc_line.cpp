#include "pipeline/irc_line.h"

size_t IrcLine::word_start(size_t n) const
{
    if (n < known_) return starts_[n];
    size_t i = known_ - 1;
    size_t at = starts_[i];
    for (; i < n; ++i) {
        if (at == std::string_view::npos) return at;
        at = text_.find(' ', at);
        if (at != std::string_view::npos) ++at;
        if (i + 1 < kKnownStarts) {
            starts_[i + 1] = at;
            known_ = i + 2;
        }
    }
    return at;
}

std::string_view IrcLine::word(size_t n) const
{
    const size_t start = word_start(n);
    if (start == std::string_view::npos) return {};
    return first_word(text_.substr(start));
}

std::string_view IrcLine::rest_after(size_t n) const
{
    const size_t start = word_start(n + 1);
    return start == std::string_view::npos ? std::string_view{} : text_.substr(start);
}

std::string_view IrcLine::trailing_after(size_t n) const
{
    const std::string_view rest = rest_after(n);
    const size_t colon = rest.find(':');
    return colon == std::string_view::npos ? rest : rest.substr(colon + 1);
}

std::string_view IrcLine::prefix() const { return without_colon(word(0)); }

std::string_view IrcLine::prefix_nick() const
{
    const std::string_view from = prefix();
    return from.substr(0, from.find('!'));
}

std::optional<std::string_view> IrcLine::prefix_address() const
{
    const std::string_view from = prefix();
    const size_t bang = from.find('!');
    if (bang == std::string_view::npos) return std::nullopt;
    return from.substr(bang + 1);
}

std::string_view without_colon(std::string_view text)
{
    if (!text.empty() && text.front() == ':') text.remove_prefix(1);
    return text;
}

std::string_view first_word(std::string_view text) { return text.substr(0, text.find(' ')); }
