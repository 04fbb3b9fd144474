// /QUIBO action keywords: each hands its arguments to the subsystem that does the work.
#include "settings/main_command.h"

#include "events/events.h"
#include "handlers/handlers.h"
#include "host/dcc.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "output/art.h"
#include "output/output.h"
#include "pipeline/commands.h"
#include "protection/words.h"
#include "queue/queue.h"
#include "script/script.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

int iIfChainState = -1;

namespace {

void separator(HostSession* where) { sPrintText(where, "%s", kSeparatorLine); }

void print_message(const QuiboCommand& cmd, int number) { sPrintText(cmd.where(), "%s", GetMessage(number)); }

// False, after `refusal`, when the user database is switched off.
bool database_on(const QuiboCommand& cmd, int refusal = 285)
{
    if (iFlagEnableDatabase) return true;
    print_message(cmd, refusal);
    return false;
}

// False, after message 482, when the rest of the line from word `from` is empty.
bool has_text(const QuiboCommand& cmd, int from)
{
    if (*cmd.tail(from)) return true;
    print_message(cmd, 482);
    return false;
}

const char* window_name(const QuiboCommand& cmd) { return cmd.sess ? cmd.sess->channel.c_str() : ""; }

// Holds `variable` at `value` for the life of the guard.
class HeldAt {
public:
    HeldAt(int& variable, int value) : variable_(variable), saved_(variable) { variable_ = value; }
    ~HeldAt() { variable_ = saved_; }
    HeldAt(const HeldAt&) = delete;
    HeldAt& operator=(const HeldAt&) = delete;

private:
    int& variable_;
    int saved_;
};

// ---- database and memory ------------------------------------------------------

bool run_ver(QuiboCommand& cmd, const void*) { return quibo_ver(cmd.sess), true; }
bool run_dccsave(QuiboCommand&, const void*) { return write_dcc_database(1), true; }

bool run_dbcheck(QuiboCommand& cmd, const void*)
{
    if (database_on(cmd, 475)) CheckUpDatabase(1);
    return true;
}

bool run_dbsave(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd, 475)) return true;
    const char* file = SaveDatabase();
    if (file && cmd.arg(3)[0] != '\\') sPrintText(cmd.where(), "--- QuIbOsCrIpT Database saved: %s", file);
    return true;
}

bool run_freemem(QuiboCommand& cmd, const void*)
{
    printf("\n\nQuIbOsCrIpT plugin memory cleaning:\n");
    if (iFlagEnableDatabase) {
        printf("- Database Cleaning.\n");
        iFlagEnableDatabase = 0;
        FlushUser();
    }
    printf("- User Sentinels Cleaning.\n");
    FlushSentinel(cmd.where(), 0);
    printf("- Command's Queue Cleaning.\n");
    FlushWholeCommandQueue();
    printf("- Delete User's Variables.\n");
    flush_user_variables();
    fflush(stdout);
    sPrintText(cmd.where(), "\0033plugin Memory Cleaning Completed.");
    return true;
}

bool run_userflush(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd, 475)) return true;
    print_message(cmd, 474);
    FlushUser();
    return true;
}

bool run_userupdate(QuiboCommand& cmd, const void*)
{
    HeldAt updating(iFlagDisableDBUpdating, 0);
    UpdateChannel(cmd.sess, window_name(cmd));
    return true;
}

// ---- sessions, away, ban -------------------------------------------------------

bool run_allsess(QuiboCommand& cmd, const void*) { return quibo_allsess(cmd.tail(3)), true; }
bool run_alluser(QuiboCommand& cmd, const void*) { return quibo_alluser(cmd.sess, cmd.tail(3)), true; }
bool run_sendsess(QuiboCommand& cmd, const void*) { return quibo_sendsess(cmd.sess, cmd.arg(3), cmd.tail(4)), true; }

bool run_ban(QuiboCommand& cmd, const void*)
{
    if (cmd.has_arg(3) && cmd.has_arg(4) && cmd.has_arg(5))
        quibo_ban(cmd.sess, cmd.arg(3), cmd.arg(4), cmd.arg(5), cmd.tail(6));
    return true;
}

const char* away_reason()
{
    if (!acAwayMessage.empty()) return acAwayMessage.c_str();
    const std::string& reason = host_pref_text(HostPref::AwayReason);
    if (!reason.empty()) return reason.c_str();
    return QUIBO_MESSAGE;
}

bool run_away(QuiboCommand& cmd, const void*)
{
    if (!iFlagAwaySystem) {
        separator(cmd.where());
        sPrintText(cmd.where(), "\0034Variable\0036 iFlagAwaySystem\0034 disabled; see \0033/quibo help setaway\0034.");
        separator(cmd.where());
        return true;
    }
    if (*cmd.tail(3))
        SetAwayState(1, cmd.tail(3));
    else
        SetAwayState(!sFlagAway, "");
    quibo_away(sFlagAway ? away_reason() : nullptr);
    return true;
}

bool run_part(QuiboCommand& cmd, const void*)
{
    CloseWindowAfterPart();
    const char* message = *cmd.tail(3) ? cmd.tail(3) : QUIBO_MESSAGE;
    InsertCommandInQueue(cmd.sess, std::string("/PART ") + window_name(cmd) + " " + message);
    ExecCommandInQueue(0);
    return true;
}

// ---- ignore --------------------------------------------------------------------

bool run_ignore(QuiboCommand& cmd, const void*)
{
    const char* tail = cmd.tail(3);
    const bool quiet_form = strstr(tail, " -") != nullptr;
    if (strchr(tail, '\\')) {
        if (cmd.arg(4)[0] == '-')
            quibo_unignore(cmd.sess, window_name(cmd), 1);
        else if (quiet_form)
            quibo_unignore(cmd.sess, tail, 1);
        else if (cmd.arg(3)[0] == '\\')
            quibo_unignore(cmd.sess, window_name(cmd), 1);
        else
            quibo_unignore(cmd.sess, tail, 0);
    } else if (!cmd.has_arg(3)) {
        quibo_ignore(cmd.sess, window_name(cmd), 0);
    } else if (cmd.arg(3)[0] == '-') {
        quibo_ignore(cmd.sess, window_name(cmd), 1);
    } else {
        quibo_ignore(cmd.sess, tail, quiet_form ? 1 : 0);
    }
    return true;
}

// ---- word lists ----------------------------------------------------------------

struct WordFileRow {
    WordList* list;
    const char* default_file;
};
const WordFileRow kBadWordFile{&badword_list, "badword.txt"};
const WordFileRow kBadNickFile{&badnick_list, "badnick.txt"};
const WordFileRow kFilterFile{&filter_list, "filter.txt"};

bool run_word_file(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const WordFileRow*>(data);
    const std::string file = cmd.has_arg(3) ? cmd.arg(3) : quibo_data_path(row.default_file);
    load_badword_file(file.c_str(), *row.list);
    if (row.list == &filter_list) UpdateRemoveColors();
    return true;
}

// ---- text art ------------------------------------------------------------------

struct ArtRow {
    int (*draw)(HostSession*, const char*);
};
const ArtRow kBanner{quibo_banner}, kBigrose{quibo_bigrose}, kBirth{quibo_birth}, kCat{quibo_cat},
    kHello{quibo_hello}, kImage{quibo_image}, kMsg1{quibo_msg1}, kMsg2{quibo_msg2}, kMsg3{quibo_msg3},
    kChristmas{quibo_christmas}, kRand{quibo_rand}, kRose{quibo_rose}, kVbanner{quibo_vbanner};

bool run_art(QuiboCommand& cmd, const void* data)
{
    static_cast<const ArtRow*>(data)->draw(cmd.sess, cmd.tail(3));
    return true;
}

bool run_c(QuiboCommand& cmd, const void*) { return quibo_msg4(cmd.sess, cmd.tail(3), '1'), true; }
bool run_mare(QuiboCommand& cmd, const void*) { return quibo_mare(cmd.sess, cmd.arg(3)), true; }

// The command line for the shell: values from an event become single quoted
// words, never shell syntax, and survive the percent translation on the way.
std::string shell_command(const char* tail)
{
    std::string line;
    running_inert_tail(tail).each_run([&](std::string_view part, bool literal) {
        line += literal ? double_percent(shell_quoted(part)) : std::string(part);
    });
    return line;
}

bool run_exec(QuiboCommand& cmd, const void*)
{
    if (has_text(cmd, 3)) xchat_exec(shell_command(cmd.tail(3)).c_str());
    return true;
}

// ---- script --------------------------------------------------------------------

// Word `i` with the literal runs it has in the running command.
InertText inert_word(const QuiboCommand& cmd, int i)
{
    InertText word = running_inert_tail(cmd.tail(i));
    const std::string_view plain = cmd.arg(i);
    if (word.text.compare(0, plain.size(), plain) != 0) {
        // Not a prefix of its tail (the client unquoted it): trust it only when nothing is literal.
        const InertText* running = running_inert_command();
        InertText whole;
        if (running && !running->literal.empty())
            whole.add_literal(plain);
        else
            whole.add_syntax(plain);
        return whole;
    }
    word.text.resize(plain.size());
    std::erase_if(word.literal, [&](auto& run) {
        run.second = std::min(run.second, plain.size());
        return run.first >= run.second;
    });
    return word;
}

// "<a> <op> <b> <command...>" from word `from` on.
int run_condition(const QuiboCommand& cmd, int from)
{
    return quibo_if(cmd.sess, inert_word(cmd, from), cmd.arg(from + 1)[0], inert_word(cmd, from + 2),
                    running_inert_tail(cmd.tail(from + 3)));
}

bool run_if(QuiboCommand& cmd, const void*)
{
    if (database_on(cmd) && has_text(cmd, 3)) iIfChainState = run_condition(cmd, 3);
    return true;
}

bool run_else(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd) || iIfChainState != 0) return true;
    if (strcasecmp(cmd.arg(3), "if") != 0) {
        iIfChainState = -1;
        quibo_var_cmd(cmd.sess, cmd.tail(3));
    } else if (has_text(cmd, 4)) {
        iIfChainState = run_condition(cmd, 4);
    }
    return true;
}

bool run_cmd(QuiboCommand& cmd, const void*)
{
    if (database_on(cmd) && has_text(cmd, 3)) quibo_var_cmd(cmd.sess, cmd.tail(3));
    return true;
}

bool run_macro(QuiboCommand& cmd, const void*)
{
    return quibo_filemacro(cmd.sess, cmd.arg(3), cmd.word, cmd.word_eol), true;
}

struct PipeRow {
    bool silent;
    bool script;
};
const PipeRow kPipe{false, false}, kPipeSilent{true, false}, kPipeScript{false, true}, kPipeScriptSilent{true, true};

int pipe_silently(const QuiboCommand& cmd)
{
    const int flood = iFlagTextFloodOutgoing_internal;
    const int errors = iFlagErrorMessage_internal;
    iFlagTextFloodOutgoing_internal = 0;
    iFlagErrorMessage_internal = 0;
    const int result = quibo_pipe(cmd.sess, cmd.tail(3));
    if (flood == 1) iFlagTextFloodOutgoing_internal = 1;
    if (errors == 1) iFlagErrorMessage_internal = 1;
    return result;
}

bool run_pipe(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const PipeRow*>(data);
    if (row.script) iFlagPipeCommand_internal = 1;
    if (row.silent)
        pipe_silently(cmd);
    else
        quibo_pipe(cmd.sess, cmd.tail(3));
    if (row.script) iFlagPipeCommand_internal = 0;
    return true;
}

struct SetRow {
    int verbose;
    int hidden;
};
const SetRow kSet{1, 0}, kSetHidden{0, 0}, kSetInternal{0, 1};

bool run_set(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const SetRow*>(data);
    const char* name = cmd.arg(3);
    if (*name && cmd.has_arg(4) && name[0] != '$') {
        if (cmd.tail(4)[0] == '*')
            sPrintText(cmd.where(), "WARNING: The '*' character is internally used to list all variables.");
        quibo_set_variable(cmd.sess, name, cmd.tail(4), row.verbose, row.hidden);
    } else if (name[0] == '$') {
        sPrintText(cmd.where(), GetMessage(823), name);
    } else {
        quibo_list_variable(cmd.sess, name);
    }
    return true;
}

// ---- listings ------------------------------------------------------------------

bool run_clone(QuiboCommand& cmd, const void*)
{
    if (cmd.has_arg(3)) {
        quibo_clonesearch(cmd.sess, cmd.arg(3));
        return true;
    }
    HeldAt detecting(iFlagCloneDetect, 1);
    quibo_clone(cmd.sess);
    return true;
}

bool run_domain(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd)) return true;
    separator(current_tab);
    SearchDomain(cmd.sess);
    return true;
}

bool run_list(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd)) return true;
    separator(current_tab);
    UserList(cmd.sess, strcmp(cmd.arg(3), "\\") == 0);
    return true;
}

bool run_search(QuiboCommand& cmd, const void*)
{
    if (!database_on(cmd)) return true;
    separator(current_tab);
    if (SearchList(cmd.sess, cmd.has_arg(3) ? cmd.tail(3) : window_name(cmd)) == 0) separator(current_tab);
    return true;
}

bool run_names(QuiboCommand& cmd, const void*) { return Names(cmd.sess), true; }

}  // namespace

void add_action_keywords(std::vector<QuiboKeyword>& table)
{
    table.insert(table.end(), {
        {"ver", run_ver},
        {"dccsave", run_dccsave},
        {"dbcheck", run_dbcheck},
        {"dbsave", run_dbsave},
        {"freemem", run_freemem},
        {"userflush", run_userflush},
        {"userupdate", run_userupdate},
        {"allsess", run_allsess},
        {"alluser", run_alluser},
        {"away", run_away},
        {"badwordfile", run_word_file, &kBadWordFile},
        {"badnickfile", run_word_file, &kBadNickFile},
        {"ban", run_ban},
        {"banner", run_art, &kBanner},
        {"bigrose", run_art, &kBigrose},
        {"birth", run_art, &kBirth},
        {"c", run_c},
        {"cat", run_art, &kCat},
        {"exec", run_exec},
        {"filterfile", run_word_file, &kFilterFile},
        {"if", run_if},
        {"else", run_else},
        {"clone", run_clone},
        {"cmd", run_cmd},
        {"domain", run_domain},
        {"hello", run_art, &kHello},
        {"ignore", run_ignore},
        {"image", run_art, &kImage},
        {"list", run_list},
        {"macro", run_macro},
        {"mare", run_mare},
        {"msg", run_art, &kMsg1},
        {"msg2", run_art, &kMsg2},
        {"msg3", run_art, &kMsg3},
        {"mynick", run_mynick},
        {"names", run_names},
        {"natale", run_art, &kChristmas},
        {"part", run_part},
        {"pipe", run_pipe, &kPipe},
        {"pipe_silent", run_pipe, &kPipeSilent},
        {"pipe_script", run_pipe, &kPipeScript},
        {"pipe_script_silent", run_pipe, &kPipeScriptSilent},
        {"qm", run_qm},
        {"rand", run_art, &kRand},
        {"rose", run_art, &kRose},
        {"set", run_set, &kSet},
        {"seth", run_set, &kSetHidden},
        {"seth_internal", run_set, &kSetInternal},
        {"search", run_search},
        {"sendsess", run_sendsess},
        {"vbanner", run_art, &kVbanner},
    });
}
