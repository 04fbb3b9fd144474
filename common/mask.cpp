// IRC wildcard masks, compared under the IRC case rule.
#include "utilities.h"

#include <array>

namespace {

// Every byte folds to itself except A-Z and the four characters that IRC
// treats as the upper case of {|}~.
constexpr std::array<unsigned char, 256> make_irc_fold()
{
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) table[c] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = static_cast<unsigned char>(c - 'A' + 'a');
    table['['] = '{';
    table['\\'] = '|';
    table[']'] = '}';
    table['^'] = '~';
    return table;
}

constexpr std::array<unsigned char, 256> kIrcFold = make_irc_fold();

bool same(char a, char b) { return kIrcFold[static_cast<unsigned char>(a)] == kIrcFold[static_cast<unsigned char>(b)]; }

bool quoted_wildcard(const char* m) { return m[0] == '\\' && (m[1] == '*' || m[1] == '?'); }

// Compares one mask element with one text byte; on success moves the mask past it.
bool step(const char*& m, char t)
{
    if (*m == '?') {
        ++m;
        return true;
    }
    const char literal = quoted_wildcard(m) ? *++m : *m;
    if (!same(literal, t)) return false;
    ++m;
    return true;
}

}  // namespace

int match_mask(const char* mask, const char* text)
{
    if (!mask || !text) return 0;
    const char* m = mask;
    const char* t = text;
    const char* star_mask = nullptr;  // mask just after the last '*'
    const char* star_text = nullptr;  // where the text resumes when we fall back to it
    for (;;) {
        if (*m == '*') {
            while (*m == '*') ++m;
            if (!*m) return 1;
            star_mask = m;
            star_text = t;
            continue;
        }
        if (!*m && !*t) return 1;
        if (*t && *m && step(m, *t)) {
            ++t;
            continue;
        }
        // Mismatch, or one side used up: only the most recent star can take one more byte.
        if (!star_mask || !*star_text) return 0;
        m = star_mask;
        t = ++star_text;
    }
}
