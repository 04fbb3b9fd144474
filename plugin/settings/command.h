// The /QUIBO command: one table of keywords per family, searched in order.
#pragma once

#include <span>

struct HostSession;

// One typed /QUIBO command as the client hands it over: word[2] is the
// keyword, word[3] the first argument, word_eol[3] the rest of the line.
struct QuiboCommand {
    HostSession* sess;
    char** word;
    char** word_eol;
    // The first argument reduced to a switch: 1 for a leading non-zero
    // integer, 0 for a leading zero, -1 when empty or not a number.
    int argument;

    const char* arg(int i) const { return word && word[i] ? word[i] : ""; }
    const char* tail(int i) const { return word_eol && word_eol[i] ? word_eol[i] : ""; }
    bool has_arg(int i) const { return *arg(i) != '\0'; }
    // Where reports go: the current window, or the window the command came from.
    HostSession* where() const;
};

// A keyword's action; false when it did not take the command (the search goes on).
using QuiboKeywordAction = bool (*)(QuiboCommand& cmd, const void* data);

struct QuiboKeyword {
    const char* keyword;
    QuiboKeywordAction run;
    const void* data = nullptr;  // the row the action works on, for table-driven families
};

// The setting keywords: single settings, var, save, read, parser, join, mod, word.
std::span<const QuiboKeyword> setting_keywords();

int quibo_cmd(HostSession* sess, int flags, char* word[], char* word_eol[]);
// Client-style word arrays hold at least this many entries.
constexpr int kCommandWords = 32;
