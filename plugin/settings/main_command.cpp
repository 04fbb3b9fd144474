// /QUIBO help and the unknown-command listing.
#include "settings/main_command.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "script/script.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <cstring>

const CommandHelp aCommandHelp[kCommandHelpCount] = {
    {"allsess", 344},  {"alluser", 345}, {"away", 346},     {"badwordfile", 778}, {"badnickfile", 810},
    {"ban", 768},      {"banner", 347},  {"bigrose", 348},  {"birth", 349},       {"c", 350},
    {"cat", 351},      {"clone", 352},   {"cmd", 834},      {"domain", 353},      {"else", 820},
    {"exec", 354},     {"filterfile", 992}, {"if", 821},    {"hello", 355},       {"help", 356},
    {"ignore", 357},   {"image", 358},   {"join", 359},     {"list", 360},        {"macro", 361},
    {"mare", 362},     {"mod", 363},     {"msg", 364},      {"msg2", 365},        {"msg3", 366},
    {"mynick", 993},   {"names", 367},   {"natale", 368},   {"part", 369},        {"pipe", 610},
    {"qm", 370},       {"rand", 371},    {"read", 373},     {"rose", 374},        {"save", 375},
    {"set", 822},      {"search", 376},  {"sendsess", 707}, {"var", 377},         {"vbanner", 378},
    {"ver", 379},      {"word", 380},
};

const TopicHelp aTopicHelp[kTopicHelpCount] = {
    {"advanced", 0, 0},
    {"function", 1, 0},
    {"file_domini", -1, 381},
    {"file_nickname", -1, 382},
};

namespace {

int (*const kHelpFunctions[])(HostSession*) = {quibo_advanced, quibo_function};

constexpr const char* kHelpDescription = "\0037 %s\n\n";
constexpr const char* kListingRow = "\0038 |%s|\n";

bool help_on_command(const QuiboCommand& cmd, const char* topic)
{
    for (const CommandHelp& row : aCommandHelp) {
        if (strcmp(row.keyword, topic) != 0) continue;
        sPrintText(cmd.where(), GetMessage(483), topic);
        sPrintText(cmd.where(), kHelpDescription, GetMessage(row.message));
        return true;
    }
    return false;
}

bool help_on_topic(const QuiboCommand& cmd, const char* topic)
{
    for (const TopicHelp& row : aTopicHelp) {
        if (strcmp(row.topic, topic) != 0) continue;
        if (row.help_function >= 0) {
            if (row.help_function < static_cast<int>(std::size(kHelpFunctions)))
                kHelpFunctions[row.help_function](cmd.sess);
            else
                sPrintText(cmd.where(), "%s", GetMessage(298));
            return true;
        }
        sPrintText(cmd.where(), "%s", GetMessage(484));
        sPrintText(cmd.where(), kHelpDescription, GetMessage(row.message));
        return true;
    }
    return false;
}

bool help_on_setting(const QuiboCommand& cmd, const char* topic)
{
    for (const SettingDescriptor& row : aSettingDescriptor) {
        if (strcmp(row.keyword, topic) != 0) continue;
        sPrintText(cmd.where(), GetMessage(485), topic);
        sPrintText(cmd.where(), "%s", setting_syntax(row).c_str());
        sPrintText(cmd.where(), "%s\n\n", GetMessage(row.message));
        return true;
    }
    return false;
}

// Declines without a known topic, so that the listing of every keyword follows.
bool run_help(QuiboCommand& cmd, const void*)
{
    const char* topic = cmd.arg(3);
    if (*topic) {
        if (help_on_command(cmd, topic) || help_on_topic(cmd, topic) || help_on_setting(cmd, topic)) return true;
        quibo_play_sound("warning");
        sPrintText(cmd.where(), GetMessage(486), topic);
    }
    sPrintText(cmd.where(), "%s", GetMessage(487));
    return false;
}

template <typename Row, typename Name>
void print_in_rows(const Row* rows, int count, Name name)
{
    std::string line;
    int cells = 0;
    for (int i = 0; i < count; ++i) {
        const char* keyword = name(rows[i]);
        line += "| ";
        line += keyword;
        FormattaStringaComando(line, keyword);
        if (++cells == 3) {
            sPrintText(current_tab, kListingRow, line.c_str());
            line.clear();
            cells = 0;
        }
    }
    sPrintText(current_tab, kListingRow, line.c_str());
}

}  // namespace

void FormattaStringaComando(std::string& row, const char* keyword)
{
    const size_t length = strlen(keyword);
    if (length >= 1 && length <= 13)
        row.append(15 - length, ' ').append("|");
    else
        row += " |";
}

void print_keyword_rows(const char* const* names, int count)
{
    print_in_rows(names, count, [](const char* name) { return name; });
}

void quibo_unknown_command(const QuiboCommand& cmd)
{
    sPrintText(cmd.where(), "--- Unknown QuIbOsCrIpT command: %s", cmd.tail(2));
    sPrintText(current_tab, "%s", kSeparatorLine);
    for (int message = 510; message <= 514; ++message) PrintText(cmd.sess, GetMessage(message));
    print_in_rows(aSettingDescriptor, kSettingDescriptorCount, [](const SettingDescriptor& r) { return r.keyword; });
    sPrintText(current_tab, "%s", GetMessage(515));
    print_in_rows(aCommandHelp, kCommandHelpCount, [](const CommandHelp& r) { return r.keyword; });
    sPrintText(current_tab, "%s", GetMessage(516));
    print_in_rows(aTopicHelp, kTopicHelpCount, [](const TopicHelp& r) { return r.topic; });
    sPrintText(current_tab, "%s", GetMessage(517));
    sPrintText(current_tab, "%s", kSeparatorLine);
}

std::span<const QuiboKeyword> main_keywords()
{
    static const std::vector<QuiboKeyword> table = [] {
        std::vector<QuiboKeyword> rows;
        add_action_keywords(rows);
        add_internal_keywords(rows);
        // help sits between hello and ignore in the search order; no other keyword shares its name.
        rows.push_back({"help", run_help});
        return rows;
    }();
    return table;
}
