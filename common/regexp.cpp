// POSIX extended regular expressions with readable error texts, compiled once
// and kept in a bounded cache.
#include "utilities.h"

#include <cstdio>
#include <cstring>
#include <list>
#include <memory>
#include <unordered_map>
#include <utility>

regmatch_t pmatch{};
const char* ps_zemregexp_error = nullptr;

namespace {

constexpr std::pair<int, const char*> kErrorTexts[] = {
    {REG_BADPAT, "Invalid use of pattern operators such as group or list."},
    {REG_ECOLLATE, "Invalid collating element."},
    {REG_ECTYPE, "Unknown character class name."},
    {REG_EESCAPE, "Trailing backslash."},
    {REG_ESUBREG, "Invalid back reference to a subexpression."},
    {REG_EBRACK, "Un-matched bracket list operators."},
    {REG_EPAREN, "Un-matched parenthesis group operators."},
    {REG_EBRACE, "Un-matched brace interval operators."},
    {REG_BADBR, "Invalid use of back reference operator."},
    {REG_ERANGE,
     "Invalid use of the range operator, eg. the ending point of the range occurs prior to the starting  point."},
    {REG_ESPACE, "The regex routines ran out of memory."},
    {REG_BADRPT, "Invalid use of repetition operators such as using `*' as the first character."},
    {REG_EEND, "Non specific error.  This is not defined by POSIX.2."},
    {REG_ESIZE,
     "Compiled  regular expression requires a pattern buffer larger than 64Kb.  This is not defined by POSIX.2."},
};

// Codes of our own for patterns refused before they reach regcomp.
constexpr int kTooManyPieces = -1;
constexpr int kBackReferenceRepeated = -2;

constexpr std::pair<int, const char*> kRefusalTexts[] = {
    {kTooManyPieces, "Pattern too complex: its repetitions expand to too many pieces to match in reasonable time."},
    {kBackReferenceRepeated,
     "Pattern too complex: back-references together with repetition operators can take minutes to match."},
};

const char* error_text(int code)
{
    for (const auto& [known, text] : kErrorTexts)
        if (known == code) return text;
    for (const auto& [known, text] : kRefusalTexts)
        if (known == code) return text;
    return "zemregexp: Internal Error !";
}

// ---- cost estimate ------------------------------------------------------------

// The C library expands a counted repetition into that many copies of its
// operand, and its matching time and memory grow with the number of pieces
// after that expansion; back-references make it backtrack, which together
// with repetitions is exponential. This walks the pattern as the library
// reads it and estimates both, saturating rather than overflowing. It never
// refuses a pattern for its syntax: regcomp judges that.
class PatternCost {
public:
    explicit PatternCost(const char* pattern) : at(pattern) { frames.emplace_back(); }

    int verdict()
    {
        while (*at && total() <= kMaxRegexpNodes) step();
        if (total() > kMaxRegexpNodes) return kTooManyPieces;
        return back_reference && repetition ? kBackReferenceRepeated : 0;
    }

private:
    struct Frame {
        long done = 0;     // finished alternatives
        long current = 0;  // the alternative being read
        long last = 0;     // the last operand, which a repetition applies to
    };

    static long saturated(long value) { return value > kCap ? kCap : value; }
    static long times(long a, long b) { return a != 0 && b > kCap / a ? kCap : saturated(a * b); }

    long total() const
    {
        long sum = 0;
        for (const Frame& frame : frames) sum = saturated(sum + frame.done + frame.current);
        return sum;
    }

    void operand(long size)
    {
        Frame& frame = frames.back();
        frame.current = saturated(frame.current + size);
        frame.last = size;
    }

    // The last operand becomes `copies` copies of itself plus `extra` pieces.
    void repeat(long copies, long extra)
    {
        Frame& frame = frames.back();
        const long repeated = saturated(times(frame.last, copies) + extra);
        frame.current = saturated(frame.current - frame.last + repeated);
        frame.last = repeated;
        repetition = true;
    }

    void step()
    {
        const char c = *at++;
        switch (c) {
        case '(': frames.emplace_back(); return;
        case ')': close_group(); return;
        case '|': {
            Frame& frame = frames.back();
            frame.done = saturated(frame.done + frame.current + 1);
            frame.current = frame.last = 0;
            return;
        }
        case '*':
        case '?': repeat(1, 1); return;
        case '+': repeat(2, 1); return;
        case '{': interval(); return;
        case '[': bracket(); return;
        case '\\': escape(); return;
        default: operand(1);
        }
    }

    void close_group()
    {
        if (frames.size() == 1) {  // an unmatched ')' is an ordinary character here
            operand(1);
            return;
        }
        const Frame inner = frames.back();
        frames.pop_back();
        operand(saturated(inner.done + inner.current + 2));
    }

    static long number(const char*& p)
    {
        long value = 0;
        while (*p >= '0' && *p <= '9') value = saturated(value * 10 + (*p++ - '0'));
        return value;
    }

    // {m}, {m,}, {m,n} and {,n}
    void interval()
    {
        const char* p = at;
        const long low = number(p);
        long high = low;
        bool open_ended = false;
        if (*p == ',') {
            ++p;
            open_ended = !(*p >= '0' && *p <= '9');
            high = open_ended ? low + 1 : number(p);
        }
        if (*p != '}') {  // not an interval: leave it to regcomp
            operand(1);
            return;
        }
        if (low > RE_DUP_MAX || high > RE_DUP_MAX) {  // regcomp refuses these itself
            operand(1);
            return;
        }
        at = p + 1;
        const long copies = high > low ? high : low;
        repeat(copies, copies + (open_ended ? 1 : 0));
    }

    void bracket()
    {
        if (*at == '^') ++at;
        if (*at == ']') ++at;
        while (*at && *at != ']') {
            if (at[0] == '[' && at[1] && strchr(":.=", at[1])) {
                const char kind = at[1];
                const char* end = at + 2;
                while (*end && !(end[0] == kind && end[1] == ']')) ++end;
                at = *end ? end + 2 : end;
                continue;
            }
            ++at;
        }
        if (*at) ++at;
        operand(1);
    }

    void escape()
    {
        if (!*at) return;
        if (*at >= '1' && *at <= '9') back_reference = true;
        ++at;
        operand(1);
    }

    static constexpr long kCap = 1L << 40;

    const char* at;
    std::vector<Frame> frames;
    bool back_reference = false;
    bool repetition = false;
};

// ---- compiled expressions -----------------------------------------------------

// A compiled expression, or the reason there is none.
class Compiled {
public:
    explicit Compiled(const char* pattern)
    {
        status = PatternCost(pattern).verdict();
        if (status == 0) status = regcomp(&expression, pattern, REG_EXTENDED);
    }
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    ~Compiled()
    {
        if (status == 0) regfree(&expression);
    }
    int error() const { return status; }
    bool search(const char* text, regmatch_t& match) const { return regexec(&expression, text, 1, &match, 0) == 0; }

private:
    regex_t expression{};
    int status = 0;
};

// Least recently used entries leave first.
class CompiledCache {
public:
    const Compiled& get(const char* pattern)
    {
        auto found = index.find(pattern);
        if (found != index.end()) {
            order.splice(order.begin(), order, found->second);
            return *found->second->second;
        }
        if (order.size() >= kRegexpCacheSize) {
            index.erase(order.back().first);
            order.pop_back();
        }
        order.emplace_front(pattern, std::make_unique<Compiled>(pattern));
        index.emplace(order.front().first, order.begin());
        return *order.front().second;
    }

private:
    using Entry = std::pair<std::string, std::unique_ptr<Compiled>>;
    std::list<Entry> order;
    std::unordered_map<std::string, std::list<Entry>::iterator> index;
};

CompiledCache cache;

constexpr const char* kRegexpOperators = "\\.?*[](){}^$|";

std::string escaped_text;

}  // namespace

int zemregexp(const char* pattern, const char* text)
{
    if (empty(pattern) || empty(text)) return 0;
    ps_zemregexp_error = nullptr;
    const Compiled& compiled = cache.get(pattern);
    if (compiled.error() != 0) {
        ps_zemregexp_error = error_text(compiled.error());
        printf("OOPS, Invalid regexp (%s)\n", ps_zemregexp_error);
        return 0;
    }
    regmatch_t match{};
    if (!compiled.search(text, match)) return 0;
    pmatch = match;
    return 1;
}

const char* zemescaperegexp(const char* text)
{
    escaped_text.clear();
    if (empty(text)) return nullptr;
    for (const char* c = text; *c; ++c) {
        if (strchr(kRegexpOperators, *c)) escaped_text += '\\';
        escaped_text += *c;
    }
    return escaped_text.c_str();
}
