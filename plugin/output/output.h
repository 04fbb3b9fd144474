// Printing, logging and client commands: every text the plug-in shows, logs
// or hands to the client goes through these entry points.
#pragma once

#include <string>

struct HostSession;

// Formats (at most 2046 characters) and prints unchanged in `sess` (current context when null).
int sPrintText(HostSession* sess, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Formats the same way and appends to a log file.
int sPrintLog(const char* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Formats the same way and runs the text as a client command in `sess`.
int sHandleCommand(HostSession* sess, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Percent escapes (%B %C %O %R %U %% and, when enabled, %nnn), in place.
void check_special_chars(char* text, int enable_numeric);        // byte form
void check_special_chars_utf8(std::string& text, int enable_numeric);  // %nnn bytes converted to UTF-8

HostSession* GetContext(const char* server, const char* channel);

void OutputRoutineInitialize(int message_flag, int colour_flag, int print_clone_flag);
