// The setting keyword families of /QUIBO, shared by the files that build them.
#pragma once

#include "settings/command.h"

#include <vector>

void add_text_keywords(std::vector<QuiboKeyword>& table);      // texts and the language
void add_setting_keywords(std::vector<QuiboKeyword>& table);   // switches and numbers
void add_settings_commands(std::vector<QuiboKeyword>& table);  // var, save, read, parser, join, mod, word

// False, after message 1098, when `text` is longer than the configuration
// file keeps (kMaxSetupText): a value that could not be saved whole is refused.
bool text_fits(const QuiboCommand& cmd, const char* text);

// Loads `language` and reports the outcome as "language" and "read" do.
void load_language_reported(HostSession* where, const char* language);
