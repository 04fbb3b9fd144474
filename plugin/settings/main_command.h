// The /QUIBO help, the listing of every keyword for an unknown command, and
// the action keywords that hand their work to the other subsystems.
#pragma once

#include "settings/command.h"

#include <string>
#include <vector>

// The result of the last "/QUIBO if"; -1 before the first. "/QUIBO else" runs only when it is 0.
extern int iIfChainState;

// help and the action keywords, in the order they are searched.
std::span<const QuiboKeyword> main_keywords();

// The unknown-command report: the command, then every keyword and topic in rows of three.
void quibo_unknown_command(const QuiboCommand& cmd);

// Appends the padding that closes a listing cell holding `keyword`: a column
// of 15 characters and "|" (a keyword of 14 or more characters gets " |").
void FormattaStringaComando(std::string& row, const char* keyword);
// Prints `names` three to a row, as the keyword listing does.
void print_keyword_rows(const char* const* names, int count);

// One row of the command help: the keyword and the message that describes it.
struct CommandHelp {
    const char* keyword;
    int message;
};
// One row of the topic help: a help function (help_function >= 0) or a message.
struct TopicHelp {
    const char* topic;
    int help_function;
    int message;
};
constexpr int kCommandHelpCount = 47;
constexpr int kTopicHelpCount = 4;
extern const CommandHelp aCommandHelp[kCommandHelpCount];
extern const TopicHelp aTopicHelp[kTopicHelpCount];

// The action keywords (everything but help), for main_keywords.
void add_action_keywords(std::vector<QuiboKeyword>& table);
// The internal keywords: the queue's, the input box's, the guard's, and the other calls the plug-in makes to itself.
void add_internal_keywords(std::vector<QuiboKeyword>& table);
// The two that read other subsystems' records: mentions of the own nickname, and query permission.
bool run_mynick(QuiboCommand& cmd, const void*);
bool run_qm(QuiboCommand& cmd, const void*);
