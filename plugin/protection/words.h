// Bad words, bad nicknames and line filters; the private-message allow/deny list.
#pragma once

#include <string>
#include <vector>

struct HostSession;

using WordList = std::vector<std::string>;

extern WordList badword_list;
extern WordList badnick_list;
extern WordList filter_list;
// 1 when the filter list asks for colours to be removed from incoming lines.
extern int iFlagRemoveColors;

// Reads `file` into `list`; 0 when it could not be read.
int load_badword_file(const char* file, WordList& list);
// Looks for an entry of `list` in `text` (`mode` chooses how); non-zero on a hit, the entry in `word`.
int return_badword(const char* text, std::string* word, const WordList& list, int mode);
// Empties `list`.
void clean_badword_database(WordList& list);

// The private-message allow/deny list ("private killer").
// Reloads the list from its file when the file changed.
void load_killed_user_file();
// One line per entry, into `sess` (or the current window).
void print_killed_user_list(HostSession* sess);
// Frees every entry.
void flush_killed_user_list();
