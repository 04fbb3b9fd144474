// Bad words, bad nicknames and line filters.
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
// Sets iFlagRemoveColors from the entries of the filter list.
void UpdateRemoveColors();

// Reads `file` into `list`; 0 when it could not be read.
int load_badword_file(const char* file, WordList& list);
// Looks for an entry of `list` in `text` (`mode` chooses how); non-zero on a hit, the entry in `word`.
int return_badword(const char* text, std::string* word, const WordList& list, int mode);
// Empties `list`.
void clean_badword_database(WordList& list);


// Offers a line to the filter list: 1 pass, 0 blocked (the line is then emptied).
// `subject` is the channel joined or left, or the session's channel; `pattern` "*JOIN*", "*PART*" or null.
int MessageFilterSystem(HostSession* sess, const char* host, const char* subject, const char* pattern,
                        std::string& text);
