#include "pipeline/irc_line.h"

size_t IrcLine::scan_to(size_t n) const
{
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
    if (n + 1 < kKnownStarts) {
        // The next word starts after this one's blank (or there is none: this one runs to the end).
        const size_t next = word_start(n + 1);
        return text_.substr(start, next == std::string_view::npos ? std::string_view::npos : next - 1 - start);
    }
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

size_t IrcLine::prefix_bang() const
{
    if (!bang_known_) {
        bang_ = prefix().find('!');
        bang_known_ = true;
    }
    return bang_;
}

std::string_view IrcLine::prefix_nick() const { return prefix().substr(0, prefix_bang()); }

std::optional<std::string_view> IrcLine::prefix_address() const
{
    const size_t bang = prefix_bang();
    if (bang == std::string_view::npos) return std::nullopt;
    return prefix().substr(bang + 1);
}

std::string_view without_colon(std::string_view text)
{
    if (!text.empty() && text.front() == ':') text.remove_prefix(1);
    return text;
}

std::string_view first_word(std::string_view text) { return text.substr(0, text.find(' ')); }
