// A raw server line seen as blank-separated words, for the parser and the
// raw-line hook. Every cut is bounds-checked: what the line lacks is empty.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// Words are counted at every single blank: 0 is the prefix, 1 the command,
// 2 and on the parameters. Views point into the text given.
class IrcLine {
public:
    explicit IrcLine(std::string_view text) : text_(text) {}

    std::string_view text() const { return text_; }
    // Word `n`; empty past the end of the line.
    std::string_view word(size_t n) const;
    // Everything after word `n` and its blank; empty when nothing follows.
    std::string_view rest_after(size_t n) const;
    // The text after the first ':' that follows word `n`; a line without one
    // gives what follows word `n` instead.
    std::string_view trailing_after(size_t n) const;

    // The first word without its leading ':'.
    std::string_view prefix() const;
    // The sender: the prefix up to its '!' (the whole prefix when it has none).
    std::string_view prefix_nick() const;
    // The sender's address: the prefix after its '!'; absent when it has none.
    std::optional<std::string_view> prefix_address() const;

private:
    size_t word_start(size_t n) const { return n < known_ ? starts_[n] : scan_to(n); }  // npos past the end
    size_t scan_to(size_t n) const;
    size_t prefix_bang() const;         // the '!' in the prefix, found once

    std::string_view text_;
    // Where the first words start, found once: the parser asks for the same words many times.
    static constexpr size_t kKnownStarts = 16;
    mutable size_t starts_[kKnownStarts] = {0};
    mutable size_t known_ = 1;  // word 0 starts at 0
    mutable size_t bang_ = 0;
    mutable bool bang_known_ = false;
};

// One leading ':' skipped.
std::string_view without_colon(std::string_view text);
// The text up to its first blank.
std::string_view first_word(std::string_view text);
// A channel name begins with '#', '&', '!' or '\''.
inline bool is_channel_name(std::string_view name)
{
    return !name.empty() && std::string_view("#&!'").find(name.front()) != std::string_view::npos;
}
