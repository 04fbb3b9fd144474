// POSIX extended regular expressions with readable error texts.
#include "utilities.h"

#include <cstdio>
#include <cstring>
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

const char* error_text(int code)
{
    for (const auto& [known, text] : kErrorTexts)
        if (known == code) return text;
    return "zemregexp: Internal Error !";
}

// Owns a compiled expression for the length of one match.
class Compiled {
public:
    explicit Compiled(const char* pattern) : status(regcomp(&expression, pattern, REG_EXTENDED)) {}
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
    int status;
};

constexpr const char* kRegexpOperators = "\\.?*[](){}^$|";

std::string escaped_text;

}  // namespace

int zemregexp(const char* pattern, const char* text)
{
    if (!pattern || !*pattern || !text || !*text) return 0;
    ps_zemregexp_error = nullptr;
    Compiled compiled(pattern);
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
    if (!text || !*text) return nullptr;
    for (const char* c = text; *c; ++c) {
        if (strchr(kRegexpOperators, *c)) escaped_text += '\\';
        escaped_text += *c;
    }
    return escaped_text.c_str();
}
