// Text, pattern, file and sound helpers shared by the plug-in and its tools.
//
// Texts are byte strings; nothing here knows about character encodings.
// Functions that make a new text return a std::string (a null argument reads
// as an empty text). The regular-expression helpers keep module-wide state
// and are not re-entrant.
#pragma once

#include <regex.h>

#include <cstdarg>
#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// ---- strings ---------------------------------------------------------------

// True for a null or empty text.
inline bool empty(const char* text) { return !text || !*text; }
// printf into a new string, cut to at most `limit` characters.
std::string vformat(const char* format, va_list ap, size_t limit = std::string::npos)
    __attribute__((format(printf, 1, 0)));
// The leading decimal integer of `text` (blanks and a sign allowed first),
// held to the int range; false, and `value` untouched, when the text does not
// begin with one.
bool leading_int(const char* text, int& value);
inline int clamped_int(const char* text, int fallback = 0)
{
    leading_int(text, fallback);
    return fallback;
}

std::string ustrcpy(const char* text);
std::string ustrtolower(const char* text);
std::string ustrtoupper(const char* text);
// The haystack from the first occurrence of the needle to its end; empty when none.
std::string ustrstr(const char* haystack, const char* needle);
// Every byte of `text` found in `characters` becomes `replacement`; a zero
// replacement therefore cuts the text at the first such byte.
std::string strchrpl(const char* text, const char* characters, char replacement);
std::string uinttostr(int number);

constexpr int kFindReplaceLimit = 4096;

// Replaces non-overlapping occurrences of `find`, left to right, never
// rescanning inserted text; at most `limit` of them (0: all). Returns the
// count; a limit above kFindReplaceLimit, an empty find or find == replace
// change nothing and give 0.
int ustrfindreplace_r(std::string& text, const char* find, const char* replace, int limit);
int ustrfindreplace(std::string& text, const char* find, const char* replace);

// The message text that local_ustrfindreplace edits in place.
extern std::string* psMessagePointer;
int local_ustrfindreplace(const char* find, const char* replace);

// A text in which some byte ranges came from outside (values from the
// network): those ranges are literal, and no stage that reads the rest as
// syntax (command separators, percent escapes, script variables) may read
// them. Stages that transform the text keep the ranges with it.
struct InertText {
    std::string text;
    std::vector<std::pair<size_t, size_t>> literal;  // [begin, end), ascending, disjoint, non-empty

    InertText() = default;
    explicit InertText(std::string syntax) : text(std::move(syntax)) {}
    void add_syntax(std::string_view part) { text += part; }
    void add_literal(std::string_view part);
    bool literal_at(size_t position) const;
    // Calls run(part, is_literal) for each run of the text, in order.
    template <typename Run>
    void each_run(Run run) const
    {
        size_t at = 0;
        for (const auto& [begin, end] : literal) {
            if (begin > at) run(std::string_view(text).substr(at, begin - at), false);
            run(std::string_view(text).substr(begin, end - begin), true);
            at = end;
        }
        if (at < text.size()) run(std::string_view(text).substr(at), false);
    }
};

// `text` as one single-quoted word for sh (each "'" written as '\'').
std::string shell_quoted(std::string_view text);

// ---- patterns --------------------------------------------------------------

// Start and end (exclusive) of the whole match of the last successful zemregexp.
extern regmatch_t pmatch;
// Readable text of the last compile error of zemregexp, or null. Callers that
// show it set it back to null.
extern const char* ps_zemregexp_error;

// 1 when the POSIX extended expression matches somewhere in `text`, else 0.
// Compiled expressions are kept, keyed by pattern, in a cache of at most
// kRegexpCacheSize entries. A pattern that would take far too long to compile
// or match (repetitions that expand to more than kMaxRegexpNodes pieces,
// back-references combined with repetitions) is refused like one that does
// not compile.
constexpr size_t kRegexpCacheSize = 128;
constexpr long kMaxRegexpNodes = 500;
int zemregexp(const char* pattern, const char* text);
// `text` with every regular-expression operator except '+' backslash-escaped;
// the result stays valid until the next call. Null for a null or empty text.
const char* zemescaperegexp(const char* text);
// 1 when the IRC wildcard mask (*, ?, backslash-quoted * and ?) matches the
// whole text under the IRC case rule, else 0.
int match_mask(const char* mask, const char* text);

// ---- files, timing and sound -----------------------------------------------

// 1 when `path` opens with the fopen mode `mode` (closed again at once), else 0.
int zemDeviceReady(const char* path, const char* mode);
// Writes `image` to "<path>.tmp" in the same folder, checks its size, syncs it
// and renames it over `path`: a crash at any moment leaves the old file or the
// new one. False (errno set) when anything failed; the old file is then kept.
bool zemReplaceFile(const std::string& path, const std::string& image);
// Appends `text` to `path`, keeping the file open between calls; 1 or 0.
// WriteFile(nullptr, nullptr) closes it.
int WriteFile(const char* path, const char* text);

// Runs the sound player `command` (program and arguments, no shell) with
// `device` as its last argument, at most once per `interval` seconds.
// Returns the player's exit status when it ran; -1 when the last sound is too
// recent; -2 when nothing can play (no command, no device or interval 0) but
// the time rule would have allowed a sound; 0 when neither, or when the player
// neither finished nor could be waited for; 127 when it could not be started;
// -3 when out of memory.
int zemSoundCommandTimed(const std::vector<std::string>& command, time_t interval, const char* device);
