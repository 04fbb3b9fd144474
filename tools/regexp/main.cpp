// zemregexp: tries a regular expression exactly as the plug-in's matcher runs it.
#include "utilities.h"

#include <clocale>
#include <cstdio>
#include <string>

namespace {

// Script text carries a blank as "$_" and a comma as "_QUIBOSCRIPT_COMMA_".
void undo_script_encoding(std::string& text)
{
    ustrfindreplace(text, "$_", " ");
    ustrfindreplace(text, "_QUIBOSCRIPT_COMMA_", ",");
}

// The string may keep the shell's single quotes around it.
void strip_single_quotes(std::string& text)
{
    if (!text.empty() && text.front() == '\'') text.erase(0, 1);
    if (!text.empty() && text.back() == '\'') text.pop_back();
}

}  // namespace

int main(int argc, char* argv[])
{
    // The client runs in the user's locale, so the plug-in's patterns see
    // multi-byte characters as one; the tester must see them the same way.
    setlocale(LC_ALL, "");
    if (argc < 3) {
        printf("Sintax Error\nUse:\n\tzemregexp <regexp> <string>\n\tzemregexp '^[A-Z$_[:punct:]]*$' 'TEST !'\n");
        return 0;
    }
    std::string expression = ustrcpy(argv[1]);
    std::string text = ustrcpy(argv[2]);
    undo_script_encoding(expression);
    undo_script_encoding(text);
    strip_single_quotes(text);

    const int found = zemregexp(expression.c_str(), text.c_str());
    printf("regexp   %s   on:   %s   = %d\n", expression.c_str(), text.c_str(), found);
    if (found) {
        const int start = static_cast<int>(pmatch.rm_so);
        const int end = static_cast<int>(pmatch.rm_eo);
        printf("Pattern found from char %d to %d = '%s'\n", start + 1, end, text.substr(start, end - start).c_str());
    }
    return 0;
}
