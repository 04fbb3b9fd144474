// /QUIBO keywords that set a text: the rest of the line after the keyword.
#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "settings/keywords.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <cstring>

namespace {

struct TextKeyword {
    const char* keyword;
    OptionalText* variable;
    const char* empty_value;    // what an empty rest of line gives; null: no value
    int set_message;            // shows the new value
    int help_message;
    const char* shown_for_null = nullptr;  // shown in the set message when there is no value
    int note_when_set = 0;                 // printed after the set message
    int message_when_null = 0;             // printed instead of the set message
    bool ends_with_blank = false;          // a text without blanks gets one appended
};

const TextKeyword kTextKeywords[] = {
    {"audiodevice", &psAudioDevice, nullptr, 701, 700, "Null Value - Skip the Audio Device Check-up !"},
    {"awaypostfix", &psAwayPostfix, "_AWAY", 601, 602},
    {"identifycmd", &psIdentifyCommand, nullptr, 725, 724, "Null Value - Skip the Auto-Identify !"},
    {"pipecommand", &psPipeCommand, "", 611, 612, nullptr, 0, 0, true},
    {"postfix", &psPostfixOutput, nullptr, 425, 428, nullptr, 426, 427},
    {"prefix", &psPrefixOutput, nullptr, 429, 431, nullptr, 426, 430},
};

void set_text(const TextKeyword& row, const char* rest)
{
    OptionalText& text = *row.variable;
    if (!*rest) {
        if (row.empty_value)
            text.assign(row.empty_value);
        else
            text.clear();
        return;
    }
    text.assign(rest);
    if (row.ends_with_blank && !strchr(rest, ' ')) text.value += ' ';
}

void report_text(const TextKeyword& row, HostSession* where)
{
    const OptionalText& text = *row.variable;
    if (text.set) {
        sPrintText(where, GetMessage(row.set_message), text.value.c_str());
        // The note takes no values; formatted, its "%%" show as the "%" the user types.
        if (row.note_when_set) sPrintText(where, GetMessage(row.note_when_set));
    } else if (row.message_when_null) {
        sPrintText(where, "%s", GetMessage(row.message_when_null));
    } else {
        sPrintText(where, GetMessage(row.set_message), row.shown_for_null);
    }
}

bool run_text_keyword(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const TextKeyword*>(data);
    if (!text_fits(cmd, cmd.tail(3))) return true;
    set_text(row, cmd.tail(3));
    report_text(row, cmd.where());
    PrintHelp(cmd.sess, GetMessage(row.help_message));
    return true;
}

bool run_language(QuiboCommand& cmd, const void*)
{
    HostSession* where = cmd.where();
    const char* rest = cmd.tail(3);
    if (!text_fits(cmd, rest)) return true;
    psMessageLanguage.clear();
    if (*rest) {
        psMessageLanguage.assign(rest);
        sPrintText(where, GetMessage(408), rest);
        load_language_reported(where, rest);
    } else {
        psMessageLanguage.assign("italiano");
        sPrintText(where, "%s", GetMessage(409));
    }
    PrintHelp(cmd.sess, GetMessage(410));
    return true;
}

}  // namespace

bool text_fits(const QuiboCommand& cmd, const char* text)
{
    if (strlen(text) <= static_cast<size_t>(kMaxSetupText)) return true;
    sPrintText(cmd.where(), GetMessage(1098), cmd.arg(2), kMaxSetupText);
    return false;
}

void report_language_failure(HostSession* where, const char* language)
{
    sPrintText(where, "%s", kSeparatorLine);
    quibo_play_sound("error");
    sPrintText(where, "\0034Sembra che sia stato impossibile caricare il file dei messaggi in %s.", language);
}

void load_language_reported(HostSession* where, const char* language)
{
    if (LoadMessageFile(language))
        sPrintText(where, "\0033./xchat2/quibo_%s.msg\0035 succesfully loaded.", language);
    else
        report_language_failure(where, language);
    sPrintText(where, "%s", kSeparatorLine);
}

void add_text_keywords(std::vector<QuiboKeyword>& table)
{
    for (const TextKeyword& row : kTextKeywords) table.push_back({row.keyword, run_text_keyword, &row});
    table.push_back({"language", run_language});
}
