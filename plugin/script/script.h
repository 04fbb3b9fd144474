// The script language: expressions, conditions, user variables, macro files,
// the pipe command and the help on functions.
//
// Values from outside stay inert. An expression arrives as an InertText
// (common/utilities.h) whose literal runs came from the network; the resolver
// never reads a name, a call, a separator or a shell substitution inside one,
// and every value it puts in place (a variable, a property, the result of a
// call made from a value) becomes a literal run of the text it returns.
#pragma once

#include "utilities.h"

#include <span>
#include <string>

struct HostSession;
struct AdvancedFunction;

// The text with its variables, properties and function calls replaced by their
// values; with `flag` set, "$_" is a space. The input is not changed.
InertText resolve_expression(const InertText& text, int flag);
std::string resolve_expression(const char* text, int flag);
// Resolves the innermost pending call of a function of `table` (with every
// identical occurrence of it); the number of occurrences replaced minus one,
// or -1 when nothing was resolved.
int resolve_advanced_function_recursive(std::span<const AdvancedFunction> table, std::string& text);

// Runs `command` when "<a> <op> <b>" holds; 1 when it held (the command is queued), else 0.
int quibo_if(HostSession* sess, const char* a, char op, const char* b, const char* command);
int quibo_if(HostSession* sess, const InertText& a, char op, const InertText& b, const InertText& command);
// Resolves variables and functions in `commands` and queues the result.
int quibo_var_cmd(HostSession* sess, const char* commands);
int quibo_var_cmd(HostSession* sess, const InertText& commands);
// Runs the macro file `name`; `word` and `word_eol` give it its arguments.
int quibo_filemacro(HostSession* sess, const char* name, char* word[], char* word_eol[]);
// Runs `command` through a shell and queues each line of its output.
int quibo_pipe(HostSession* sess, const char* command);
int quibo_set_variable(HostSession* sess, const char* name, const char* value, int verbose, int hidden);
int quibo_list_variable(HostSession* sess, const char* name);
void flush_user_variables();

// Help on the advanced functions and on the built-in functions.
int quibo_advanced(HostSession* sess);
int quibo_function(HostSession* sess);

// Output of the last shell substitution of a condition ($output).
extern std::string psOutput_OperatingSystem;
// Arrivals of starred variable commands, and how many make one run.
extern unsigned uiCommandInvocation;
extern unsigned uiMaxCommandInvocation;

// A shell command of a condition: its output, or why the shell did not start.
struct ShellResult {
    bool started = false;
    bool timed_out = false;  // the command was killed at the time limit
    std::string output;      // at most 4095 bytes
    std::string error;       // the system's reason when it did not start
};
// How long a shell command may run before it is killed (10 s).
extern int iShellTimeLimitMs;
// The shell that runs it.
extern std::string psShellProgram;
ShellResult run_shell_command(const std::string& command);
