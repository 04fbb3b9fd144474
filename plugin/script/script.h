// The script language: conditions, user variables, macro files, the pipe command and the help on functions.
#pragma once

struct HostSession;

// Runs `command` when "<a> <op> <b>" holds; the condition's result (0 false).
int quibo_if(HostSession* sess, const char* a, char op, const char* b, const char* command);
// Resolves variables and functions in `commands` and queues the result.
int quibo_var_cmd(HostSession* sess, const char* commands);
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
