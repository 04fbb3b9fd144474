// Pieces of the script language shared by its own files only.
#pragma once

#include "script/functions.h"

#include <string>
#include <string_view>
#include <vector>

inline std::string or_empty(const char* text) { return text ? text : ""; }

// A text being resolved, with a flag per byte: a byte that came from outside
// (a value from the network, or any value the resolver inserted) is data and
// never read as a name, a marker or a separator.
struct MarkedText {
    std::string text;
    std::vector<char> literal;

    MarkedText() = default;
    explicit MarkedText(const InertText& source);
    explicit MarkedText(std::string syntax) : text(std::move(syntax)), literal(text.size(), 0) {}
    InertText inert() const;

    bool syntax_at(size_t i) const { return i < text.size() && !literal[i]; }
    bool syntax_range(size_t pos, size_t n) const;
    bool any_literal(size_t pos, size_t n) const;
    // First occurrence at or after `from` lying wholly in syntax; npos when none.
    size_t find_syntax(std::string_view what, size_t from = 0) const;
    size_t find_syntax(char c, size_t from = 0) const;
    bool has_syntax(std::string_view what) const { return find_syntax(what) != std::string::npos; }
    void replace(size_t pos, size_t n, std::string_view with, bool with_literal);
    // Every syntax occurrence of `find`, left to right; the replacement is syntax. The count.
    int replace_syntax(std::string_view find, std::string_view with);
    MarkedText slice(size_t pos, size_t n) const;
};

// ---- built-in variables and properties -------------------------------------------------

// g_sess when it has a server; else null (the window's values are then empty).
HostSession* script_window();

// The built-in variable whose name (without "$") starts `text` at `at` and is
// longest, as its name length; 0 when none.
size_t builtin_variable_at(const std::string& text, size_t at);
// The value of a built-in variable (name without "$"); nothing when no such name.
std::optional<std::string> builtin_variable_value(std::string_view name);
// Every property name ("." first) becomes its marker; then each marker with the
// nickname before it becomes the user's value, or stays when the user is unknown.
void mark_properties(MarkedText& work);
void resolve_properties(MarkedText& work, const std::string& expression);
// Markers left unresolved back into the names the user wrote.
void unmark_properties(MarkedText& work);

// ---- user variables --------------------------------------------------------------------

// The user variable whose name (without "$") starts `text` at `at`, in list
// order (longest name first), as its name length; 0 when none.
size_t user_variable_at(const std::string& text, size_t at);
std::optional<std::string> user_variable_value(std::string_view name);

// ---- functions -------------------------------------------------------------------------

int resolve_advanced_function_recursive(std::span<const AdvancedFunction> table, MarkedText& work);
// Every call marker and close marker in `text` back into the name and ")".
void unmark_calls(MarkedText& work);
// The markers of $execnick and the other exec( names back into those names.
void restore_exec_names(MarkedText& work);
