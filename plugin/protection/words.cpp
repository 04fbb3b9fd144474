#include "protection/words.h"

WordList badword_list;
WordList badnick_list;
WordList filter_list;
int iFlagRemoveColors = 0;

void UpdateRemoveColors() { iFlagRemoveColors = return_badword("removecolors()", nullptr, filter_list, 4); }

// Not built yet: does nothing.
int load_badword_file(const char*, WordList&) { return 0; }
// Not built yet: does nothing.
int return_badword(const char*, std::string*, const WordList&, int) { return 0; }
// Not built yet (the word lists land later): does nothing.
void clean_badword_database(WordList& list) { list.clear(); }
// Not built yet: the filter list is empty, so every line passes.
int MessageFilterSystem(HostSession*, const char*, const char*, const char*, std::string&) { return 1; }
