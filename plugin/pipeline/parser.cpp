// The IRC line parser: context, the ordered kind tests, the fields each kind
// cuts, and the dispatch to the handlers.
#include "pipeline/parser.h"

#include "clock.h"
#include "events/events.h"
#include "handlers/handlers.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/irc_line.h"
#include "pipeline/sessions.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <utility>

std::string caPathLogFile;

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr const char* kUnit = "parser";

ParseVars the_parse_vars;

// ---- field cutters --------------------------------------------------------------------------------

// What a cutter made of a line whose test matched.
enum class Cut {
    Taken,     // the kind is decided
    Declined,  // not this kind after all: the later tests run
    Stop,      // not a line of any kind: no later test runs
};

// Parse fields copy the text into their own buffers.
std::string_view text(std::string_view view) { return view; }

std::string joined_address(const IrcLine& line, size_t user_word, size_t host_word)
{
    const std::string_view user = line.word(user_word), host = line.word(host_word);
    std::string address;
    address.reserve(user.size() + 1 + host.size());
    address.append(user).append(1, '@').append(host);
    return address;
}

// The text after the first ':' of the parameters (empty when there is none).
std::string_view after_first_colon(const IrcLine& line)
{
    const std::string_view params = line.rest_after(1);
    const size_t colon = params.find(':');
    return colon == npos ? std::string_view{} : params.substr(colon + 1);
}

// The text after the first ':' that follows word `n` (empty when there is none).
std::string_view after_colon_following(const IrcLine& line, size_t n)
{
    const std::string_view rest = line.rest_after(n);
    const size_t colon = rest.find(':');
    return colon == npos ? std::string_view{} : rest.substr(colon + 1);
}

void take_sender(const IrcLine& line, ParseVars& vars)
{
    vars.psRemoteUserNick = text(line.prefix_nick());
    if (auto address = line.prefix_address()) vars.psRemoteUserAddress = text(*address);
}

// PRIVMSG and INVITE: target, sender, and the text after the target.
Cut cut_message(const IrcLine& line, ParseVars& vars)
{
    vars.psChannelName = text(line.word(2));
    take_sender(line, vars);
    vars.psMessageData = text(after_colon_following(line, 2));
    return Cut::Taken;
}

// A notice from a server has no '!' in its prefix: the server is both nick and address.
Cut cut_notice(const IrcLine& line, ParseVars& vars)
{
    vars.psChannelName = text(line.word(2));
    if (line.prefix_address()) {
        take_sender(line, vars);
    } else {
        vars.psRemoteUserNick = text(line.prefix());
        vars.psRemoteUserAddress = text(line.prefix());
    }
    vars.psMessageData = text(after_colon_following(line, 2));
    return Cut::Taken;
}

// The one parameter of JOIN, PART and NICK, written with or without a colon.
std::string_view single_parameter(const IrcLine& line) { return first_word(without_colon(line.rest_after(1))); }

Cut cut_join(const IrcLine& line, ParseVars& vars)
{
    vars.psChannelName = single_parameter(line);
    take_sender(line, vars);
    return Cut::Taken;
}

Cut cut_part(const IrcLine& line, ParseVars& vars) { return cut_join(line, vars); }

Cut cut_nick(const IrcLine& line, ParseVars& vars)
{
    vars.psRemoteUserNick = single_parameter(line);
    vars.psLocalUserNick = text(line.prefix_nick());
    if (auto address = line.prefix_address()) vars.psRemoteUserAddress = text(*address);
    return Cut::Taken;
}

// Numerics 280 and 482: our nick, the server, a channel and a text.
Cut cut_channel_reply(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psServerName = text(line.prefix());
    vars.psChannelName = text(line.word(3));
    vars.psMessageData = text(after_colon_following(line, 3));
    return Cut::Taken;
}

// A channel-list entry; server-local '&' channels are not listed.
Cut cut_list_entry(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    if (line.word(3).starts_with('&')) return Cut::Declined;
    vars.psServerName = text(line.prefix());
    vars.psChannelName = text(line.word(3));
    vars.psChannelUsers = text(after_colon_following(line, 3));
    return Cut::Taken;
}

// A kick by a user carries the kicker in the prefix; a kick by a server does not.
Cut cut_kick(const IrcLine& line, ParseVars& vars)
{
    vars.psChannelName = text(line.word(2));
    vars.psLocalUserNick = text(line.word(3));
    if (line.prefix_address()) {
        take_sender(line, vars);
    } else {
        vars.psRemoteUserNick = text(line.word(3));
        vars.psServerName = text(line.prefix());
    }
    vars.psMessageData = text(after_colon_following(line, 2));
    return Cut::Taken;
}

bool has_visible_text(std::string_view text) { return text.find_first_not_of(' ') != npos; }

// The setter of a mode: a user (nick and address) or a server (its name only).
void take_setter(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.prefix_nick());
    if (auto address = line.prefix_address()) vars.psLocalUserAddress = text(*address);
}

Cut cut_mode(const IrcLine& line, ParseVars& vars)
{
    if (line.word(1) != "MODE") return Cut::Stop;
    const std::string_view target = line.word(2);
    if (is_channel_name(target)) {
        vars.psChannelName = text(target);
        vars.psMessageData = text(without_colon(line.word(3)));
        const std::string_view parameters = line.rest_after(3);
        if (has_visible_text(parameters)) vars.psRemoteUserNick = text(parameters);
    } else {
        vars.psRemoteUserNick = text(target);
        const std::string_view rest = line.rest_after(1);
        const size_t colon = rest.find(':');
        vars.psMessageData = text(colon == npos ? line.rest_after(2) : rest.substr(colon + 1));
    }
    take_setter(line, vars);
    return Cut::Taken;
}

// A NAMES line: "353 nick = #channel :names"; the type word may be missing.
Cut cut_names(const IrcLine& line, ParseVars& vars)
{
    const std::string_view type = line.word(3);
    const size_t channel_word = type.size() == 1 && std::string_view("=*@").find(type.front()) != npos ? 4 : 3;
    vars.psLocalUserNick = text(line.word(2));
    vars.psServerName = text(line.prefix());
    vars.psChannelName = text(line.word(channel_word));
    std::string_view users = after_colon_following(line, channel_word);
    if (!users.empty() && users.back() == ' ') users.remove_suffix(1);
    vars.psChannelUsers = users;
    return Cut::Taken;
}

// A WHO reply: "352 nick #channel user host server nick flags :hops realname".
Cut cut_who(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psChannelName = text(line.word(3));
    vars.psRemoteUserHost = text(line.word(4));
    vars.psRemoteUserDomain = text(line.word(5));
    vars.psRemoteUserNick = text(line.word(7));
    vars.psRemoteUserAddress = joined_address(line, 4, 5);
    vars.psLocalUserAddress = vars.psRemoteUserAddress;
    vars.psMessageData = text(line.rest_after(7));
    vars.psServerName = text(line.prefix());
    return Cut::Taken;
}

Cut cut_quit(const IrcLine& line, ParseVars& vars)
{
    take_sender(line, vars);
    vars.psMessageData = text(after_colon_following(line, 1));
    return Cut::Taken;
}

// The welcome text ends with our own nick!user@host.
Cut cut_welcome(const IrcLine& line, ParseVars& vars)
{
    const std::string_view welcome = line.rest_after(2);
    const size_t bang = welcome.find('!');
    vars.psLocalUserNick = text(line.word(2));
    vars.psServerName = text(line.prefix());
    vars.psMessageData = text(welcome);
    vars.psRemoteUserAddress = bang == npos ? std::string() : text(welcome.substr(bang + 1));
    return Cut::Taken;
}

Cut cut_end_of_who(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psChannelName = text(line.word(3));
    vars.psServerName = text(line.prefix());
    vars.psMessageData = text(without_colon(line.rest_after(3)));
    return Cut::Taken;
}

// "ERROR :Closing Link: nick[host] (reason)": the word after "Closing Link: ".
Cut cut_closing_link(const IrcLine& line, ParseVars& vars)
{
    constexpr size_t kNickOffset = sizeof("ERROR :Closing Link: ") - 1;
    const std::string_view whole = line.text();
    const size_t error = if_message_at(whole, "ERROR :");
    const bool long_enough = error != npos && error + kNickOffset < whole.size();
    vars.psLocalUserNick = long_enough ? text(first_word(whole.substr(error + kNickOffset))) : std::string();
    return Cut::Taken;
}

Cut cut_end_of_motd(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psServerName = text(line.prefix());
    vars.psMessageData = text(line.rest_after(2));
    return Cut::Taken;
}

// Notify-list numerics: "60x nick target user host time :text".
Cut cut_notify(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psRemoteUserNick = text(line.word(3));
    vars.psRemoteUserHost = text(line.word(4));
    vars.psRemoteUserDomain = text(line.word(5));
    vars.psRemoteUserAddress = joined_address(line, 4, 5);
    vars.psMessageData = text(after_first_colon(line));
    vars.psServerName = text(line.prefix());
    return Cut::Taken;
}

// An ISON reply: the nicks of the notify list that are online.
Cut cut_ison(const IrcLine& line, ParseVars& vars)
{
    vars.psLocalUserNick = text(line.word(2));
    vars.psRemoteUserNick = text(after_first_colon(line));
    vars.psServerName = text(line.prefix());
    return Cut::Taken;
}

// ---- the kind tests, read top to bottom -------------------------------------------------------------

struct KindTest {
    std::string_view words[4];  // the line holds one of these (as IfMessage finds it)
    const char* also;           // and, when set, this anywhere (case ignored)
    int section;                // the switch of "/QUIBO parser"
    MessageKind kind;
    Cut (*cut)(const IrcLine&, ParseVars&);
};

constexpr KindTest kKindTests[] = {
    {{" PRIVMSG"}, nullptr, 0, kPrivmsg, cut_message},
    {{" NOTICE"}, nullptr, 17, kNotice, cut_notice},
    {{" INVITE"}, nullptr, 18, kInvite, cut_message},
    {{" JOIN"}, nullptr, 1, kJoin, cut_join},
    {{" 280"}, nullptr, 2, kLujoin, cut_channel_reply},
    {{" NICK"}, nullptr, 3, kChnick, cut_nick},
    {{" 322"}, nullptr, 4, kClist, cut_list_entry},
    {{" 482"}, nullptr, 5, kSrvmsg, cut_channel_reply},
    {{" PART"}, nullptr, 6, kPart, cut_part},
    {{" KICK"}, nullptr, 7, kKick, cut_kick},
    {{" MODE"}, nullptr, 8, kMode, cut_mode},
    {{" 353"}, nullptr, 9, kNames, cut_names},
    {{" 352"}, nullptr, 10, kWho, cut_who},
    {{" QUIT"}, nullptr, 11, kQuit, cut_quit},
    {{" 001"}, nullptr, 12, kOserver, cut_welcome},
    {{" 315"}, nullptr, 13, kEndwho, cut_end_of_who},
    {{"ERROR :"}, "Closing Link", 14, kErrorlnk, cut_closing_link},
    {{" 376"}, nullptr, 15, kEndmotd, cut_end_of_motd},
    {{" 600", " 601", " 604", " 605"}, nullptr, 16, kNotify, cut_notify},
    {{" 303"}, nullptr, 16, kNotify, cut_ison},
};

bool contains_ignoring_case(std::string_view haystack, std::string_view needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           }) != haystack.end();
}

// The offset of the line's second blank: IfMessage looks for words that start before it.
size_t second_blank(std::string_view line)
{
    const size_t first = line.find(' ');
    return first == npos ? npos : line.find(' ', first + 1);
}

// Where `word` starts before the line's second blank (`first` and `second` are its first two blanks), or
// npos. A word that starts with a blank can only start at the first blank, so it is compared there; other
// words are looked for.
size_t word_at(std::string_view line, size_t first, size_t second, std::string_view word)
{
    if (word.empty()) return npos;
    if (word.front() == ' ') return line.substr(first).starts_with(word) ? first : npos;
    return line.substr(0, second - 1 + word.size()).find(word);
}

bool word_before(std::string_view line, size_t first, size_t second, std::string_view word)
{
    return word_at(line, first, second, word) != npos;
}

bool test_matches(const KindTest& test, std::string_view line, size_t first, size_t second)
{
    for (std::string_view word : test.words) {
        if (word.empty()) return false;  // the words come first, the unused places after them
        if (word_before(line, first, second, word)) return !test.also || contains_ignoring_case(line, test.also);
    }
    return false;
}

MessageKind recognise(const IrcLine& line, ParseVars& vars)
{
    const size_t second = second_blank(line.text());
    if (second == npos) return kUnknownLine;
    const size_t first = line.text().find(' ');
    for (const KindTest& test : kKindTests) {
        if (!test_matches(test, line.text(), first, second) || !iFlagParserMode[test.section]) continue;
        const Cut cut = test.cut(line, vars);
        if (cut == Cut::Taken) return test.kind;
        vars.fields().clear();
        if (cut == Cut::Stop) break;
    }
    return kUnknownLine;
}

// ---- dispatch ------------------------------------------------------------------------------------------

const std::string& log_file()
{
    static std::string fallback;
    if (!caPathLogFile.empty()) return caPathLogFile;
    fallback = quibo_data_path("quibo.log");
    return fallback;
}

// A line of no kind (or of a kind switched off): logged, then offered to the sentinels as "other".
void discard_line(ParseVars& vars, const ParserHandlers&)
{
    const std::string& line = *vars.pText;
    if (iFlagLogFile) {
        if (iFlagAdvancedLog) {
            vars.psMessageData = line;
            AdvancedLog("OTHER");
            vars.psMessageData.reset();
        } else {
            sPrintLog(log_file().c_str(), "DISCARDED: [%d | %s] -> data:[%s]", static_cast<int>(vars.tCurrentTime),
                      ctime_text(vars.tCurrentTime).c_str(), line.c_str());
        }
    }
    if (!CheckSession(vars.pSess)) {
        DebugPlugin(1, " * message_parser() - INVALID SESSION %p", static_cast<void*>(vars.pSess));
        return;
    }
    if (iFlagEnableEvent)
        VerifyEvent(vars.pSess, "other", vars.psLocalNickname.c_str(), "", "", vars.psCurrentChannelName.c_str(),
                    vars.psCurrentServerName.c_str(), line.c_str());
}

void run_join(ParseVars& vars, const ParserHandlers& handlers)
{
    handlers.case_join(vars);
    vars.psLocalUserNick = vars.psLocalNickname;
    vars.psServerName = vars.psCurrentServerName;
    handlers.who_manager(vars);
}

void run_who(ParseVars& vars, const ParserHandlers& handlers)
{
    handlers.case_who(vars);
    handlers.who_manager(vars);
}

// ---- the MODE split ---------------------------------------------------------------------------------------

struct ModeChange {
    char sign;
    char letter;
    std::string parameter;
};

bool takes_parameter(char sign, char letter)
{
    return std::string_view("qaohvbeIk").find(letter) != npos || (letter == 'l' && sign == '+');
}

// Mode parameters, split at blanks; one starting with ':' runs to the end.
std::vector<std::string> mode_parameters(std::string_view rest)
{
    std::vector<std::string> parameters;
    while (!rest.empty()) {
        if (rest.front() == ' ') {
            rest.remove_prefix(1);
        } else if (rest.front() == ':') {
            parameters.emplace_back(rest.substr(1));
            break;
        } else {
            parameters.emplace_back(first_word(rest));
            rest.remove_prefix(parameters.back().size());
        }
    }
    return parameters;
}

// Each letter with its own sign; the letters that take a parameter get the next one in turn,
// the others (and those left without one) are gathered, with their signs, in `rest`.
std::vector<ModeChange> mode_changes(std::string_view letters, std::vector<std::string> parameters, std::string& rest)
{
    std::vector<ModeChange> changes;
    size_t next = 0;
    char sign = '+';
    char rest_sign = 0;
    for (char letter : letters) {
        if (letter == '+' || letter == '-') {
            sign = letter;
        } else if (takes_parameter(sign, letter) && next < parameters.size()) {
            changes.push_back({sign, letter, std::move(parameters[next++])});
        } else {
            if (rest_sign != sign) rest += sign;
            rest_sign = sign;
            rest += letter;
        }
    }
    return changes;
}

// One handler call per mode that carries a parameter, the last parameter first; then one
// call for the modes without a parameter. A line without parameters is one call as written.
void split_mode(ParseVars& vars, const ParserHandlers& handlers)
{
    if (!vars.psChannelName || !vars.psRemoteUserNick) {
        handlers.case_mode(vars);
        return;
    }
    std::string rest;
    const std::vector<ModeChange> changes =
        mode_changes(vars.psMessageData.value_or(""), mode_parameters(*vars.psRemoteUserNick), rest);
    if (changes.empty()) {
        handlers.case_mode(vars);
        return;
    }
    const LineFields line = vars.fields();
    vars.sFlagNoClearVariables = 1;
    for (auto change = changes.rbegin(); change != changes.rend(); ++change) {
        vars.fields() = line;
        vars.psRemoteUserNick = change->parameter;
        vars.psMessageData = std::string{change->sign, change->letter};
        handlers.case_mode(vars);
    }
    if (!rest.empty()) {
        vars.fields() = line;
        vars.psRemoteUserNick.reset();
        vars.psMessageData = rest;
        handlers.case_mode(vars);
    }
    vars.sFlagNoClearVariables = 0;
    vars.fields().clear();
    ResetLocalVariables(vars);
}

// ---- notify ------------------------------------------------------------------------------------------------

// One report of the online list through the notify handler, with the line's fields around it.
void report_notify(ParseVars& vars, const ParserHandlers& handlers, const LineFields& line, const std::string& nick,
                   const char* text)
{
    vars.fields() = line;
    vars.psRemoteUserNick = nick;
    vars.psRemoteUserAddress = std::string();
    vars.psMessageData = text;
    handlers.case_notify(vars);
}

std::vector<std::string> nick_list(std::string_view text)
{
    std::vector<std::string> nicks;
    while (!text.empty()) {
        const std::string_view nick = first_word(text);
        if (!nick.empty()) nicks.emplace_back(nick);
        text.remove_prefix(std::min(text.size(), nick.size() + 1));
    }
    return nicks;
}

void mark_online(ParseVars& vars, const ParserHandlers& handlers, const LineFields& line, const std::string& nick)
{
    const char* server = vars.psCurrentServerName.c_str();
    if (ChatUser* known = GetUser(server, nullptr, nick.c_str(), nullptr, nullptr)) {
        known->uiStatus = 1;
        return;
    }
    ChatUserPtr record = CreateUser(server, nullptr, nick.c_str(), nullptr, nullptr);
    record->uiStatus = 1;
    if (InsertUser(record)) {
        IsDatabaseChanged();
        report_notify(vars, handlers, line, nick, "is online");
    } else {
        printf("[%s:%d]> DATABASE ERROR: %s\n", QUIBO_HERE(kUnit), vars.pText->c_str());
        FreeUser(record);
    }
}

// The first record of this server that the reply did not mention (the notify list is short).
ChatUser* first_gone(const char* server)
{
    for (ChatUser* user = GetFirst(); user; user = user->pcuNext())
        if (user->uiStatus == 0 && user->psServer() && strcasecmp(user->psServer(), server) == 0) return user;
    return nullptr;
}

// An ISON reply lists the nicks of the notify list that are online: database 1 follows it.
void reconcile_online_list(ParseVars& vars, const ParserHandlers& handlers)
{
    const LineFields line = vars.fields();
    vars.sFlagNoClearVariables = 1;
    SetCurrentDatabase(1);
    for (ChatUser* user = GetFirst(); user; user = user->pcuNext()) user->uiStatus = 0;
    for (const std::string& nick : nick_list(line.psRemoteUserNick.value_or(""))) mark_online(vars, handlers, line, nick);
    const char* server = vars.psCurrentServerName.c_str();
    for (int left = GetSize(); left > 0; --left) {
        ChatUser* gone = first_gone(server);
        if (!gone) break;
        const std::string nick = gone->psUserNick() ? gone->psUserNick() : "";
        DeleteUser(gone);
        IsDatabaseChanged();
        report_notify(vars, handlers, line, nick, "is offline");
    }
    vars.sFlagNoClearVariables = 0;
    SetCurrentDatabase(0);
    vars.fields().clear();
    ResetLocalVariables(vars);
}

void run_notify(ParseVars& vars, const ParserHandlers& handlers)
{
    if (vars.psRemoteUserHost)
        handlers.case_notify(vars);
    else
        reconcile_online_list(vars, handlers);
}

// ---- the dispatch table ------------------------------------------------------------------------------------

using Handler = void (*)(ParseVars&, const ParserHandlers&);

struct Dispatch {
    MessageKind kind;
    Handler run;
};

constexpr Dispatch kDispatch[] = {
    {kUnknownLine, discard_line},
    {kPrivmsg, [](ParseVars& v, const ParserHandlers& h) { h.case_privmsg(v, "PRIVMSG"); }},
    {kLujoin, [](ParseVars& v, const ParserHandlers& h) { h.case_lujoin(v); }},
    {kJoin, run_join},
    {kChnick, [](ParseVars& v, const ParserHandlers& h) { h.case_chnick(v); }},
    {kClist, [](ParseVars& v, const ParserHandlers& h) { h.case_clist(v); }},
    {kSrvmsg, [](ParseVars& v, const ParserHandlers& h) { h.case_srvmsg(v); }},
    {kPart, [](ParseVars& v, const ParserHandlers& h) { h.case_part(v); }},
    {kKick, [](ParseVars& v, const ParserHandlers& h) { h.case_kick(v); }},
    {kMode, split_mode},
    {kNames, [](ParseVars& v, const ParserHandlers& h) { h.case_names(v); }},
    {kWho, run_who},
    {kQuit, [](ParseVars& v, const ParserHandlers& h) { h.case_quit(v); }},
    {kOserver, [](ParseVars& v, const ParserHandlers& h) { h.case_oserver(v); }},
    {kEndwho, [](ParseVars& v, const ParserHandlers& h) { h.case_endwho(v); }},
    {kErrorlnk, [](ParseVars& v, const ParserHandlers& h) { h.case_errorlnk(v); }},
    {kEndmotd, [](ParseVars& v, const ParserHandlers& h) { h.case_endmotd(v); }},
    {kNotify, run_notify},
    {kNotice, [](ParseVars& v, const ParserHandlers& h) { h.case_privmsg(v, "NOTICE"); }},
    {kInvite, [](ParseVars& v, const ParserHandlers& h) { h.case_invite(v); }},
};

constexpr bool dispatch_in_kind_order()
{
    for (size_t i = 0; i < std::size(kDispatch); ++i)
        if (kDispatch[i].kind != static_cast<int>(i)) return false;
    return true;
}
static_assert(dispatch_in_kind_order(), "the dispatch table is indexed by kind");

// ---- one line ------------------------------------------------------------------------------------------------

// The parse variables of an outer line, put back when a nested one is done.
class NestedLine {
public:
    NestedLine() : outer(std::exchange(the_parse_vars, ParseVars{})) {}
    ~NestedLine() { the_parse_vars = std::move(outer); }
    NestedLine(const NestedLine&) = delete;
    NestedLine& operator=(const NestedLine&) = delete;

private:
    ParseVars outer;
};

void report_missing_context()
{
    sPrintText(current_tab, "%s",
               "\0034OOPS, Internal Problem: I have detected anomalous situation; the plugin could become unstable.");
    sPrintText(current_tab, "%s", "module: parser : message_parser()");
}

void set_context(ParseVars& vars, HostSession* sess, std::string& line)
{
    vars.bMessage = kUnknownLine;
    vars.pSess = sess;
    vars.pText = &line;
    vars.tCurrentTime = now();
    if (!sess || !sess->server) {
        report_missing_context();
        return;
    }
    vars.psCurrentServerName = sess->server->servername;
    vars.psCurrentChannelName = sess->channel;
    vars.psLocalNickname = sess->server->nick;
    vars.iLocalUserAway = sess->server->is_away;
    vars.iNumberUserInChannel = sess->user_count;
    if (iFlagDebugMode)
        sPrintLog(quibo_data_path("quibo.dbg").c_str(), "%s:%s:%s:%s", vars.psCurrentServerName.c_str(),
                  vars.psCurrentChannelName.c_str(), vars.psLocalNickname.c_str(), line.c_str());
}

// Our own record, looked up once per server and nickname: without it the database has lost
// track of us and is rebuilt; with it, it is marked as ours.
void check_local_user(const ParseVars& vars)
{
    static const HostServer* previous_server = nullptr;
    static std::string previous_nick;
    const HostServer* server = vars.pSess ? vars.pSess->server : nullptr;
    if (!server || GetSize() == 0 || vars.iNumberUserInChannel == 0 || !iFlagEnableDatabase) return;
    if (server == previous_server && vars.psLocalNickname == previous_nick) return;
    const std::string& line = *vars.pText;
    if (line.find(" NOTICE ") != npos || line.find(" 001 ") != npos) return;
    const char* nick = vars.psLocalNickname.c_str();
    ChatUser* me = GetUser(vars.psCurrentServerName.c_str(), nullptr, nick, nullptr, nullptr);
    if (!me && sWhoDatabaseUpdate == 0) {
        sWhoDatabaseUpdate = 1;
        quibo_play_sound("error");
        printf("[%s:%d]> DATABASE CORRUPTED\n", QUIBO_HERE(kUnit));
        if (error_output_on()) {
            HostSession* where = GetContext(vars.psCurrentServerName.c_str(), nullptr);
            sPrintText(where, "%s", kSeparatorLine);
            sPrintText(where, GetMessage(8), kUnit, __LINE__);
            sPrintText(where, GetMessage(9), nick, vars.psCurrentServerName.c_str());
            sPrintText(where, "%s", kSeparatorLine);
        }
        const int gate = iFlagErrorMessage_internal;
        iFlagErrorMessage_internal = 0;
        CheckUpDatabase(1);
        iFlagErrorMessage_internal = gate;
    } else if (me && me->usSpecial == 0) {
        SetSpecialUser(me, nick);
    }
    previous_server = server;
    previous_nick = vars.psLocalNickname;
}

void reenable_queries(const ParseVars& vars)
{
    if (sFlagEnableQUERY == 0 && vars.tCurrentTime - tLastQueryTime > 10) sFlagEnableQUERY = 1;
}

void end_of_line()
{
    ExecCommandInQueue(-1);
    sFlagLockCheckUpDB = sFlagLockCheckUpDB < 0 ? -1 : 0;
}

}  // namespace

ParseVars& parse_vars() { return the_parse_vars; }

void ResetLocalVariables(ParseVars& vars)
{
    if (!vars.sFlagNoClearVariables) vars.fields().clear();
}

const ParserHandlers& plugin_handlers()
{
    static const ParserHandlers handlers = {
        .case_privmsg = case_privmsg,
        .case_lujoin = case_lujoin,
        .case_join = case_join,
        .who_manager = who_manager,
        .case_chnick = case_chnick,
        .case_clist = case_clist,
        .case_srvmsg = case_srvmsg,
        .case_part = case_part,
        .case_kick = case_kick,
        .case_mode = case_mode,
        .case_names = case_names,
        .case_who = case_who,
        .case_quit = case_quit,
        .case_oserver = case_oserver,
        .case_endwho = case_endwho,
        .case_errorlnk = case_errorlnk,
        .case_endmotd = case_endmotd,
        .case_notify = case_notify,
        .case_invite = case_invite,
    };
    return handlers;
}

size_t if_message_at(std::string_view line, std::string_view word)
{
    const size_t second = second_blank(line);
    if (second == npos) return npos;
    return word_at(line, line.find(' '), second, word);
}

std::optional<std::string> IfMessage(std::string_view line, std::string_view word)
{
    DebugPlugin(1, "BEGIN: IfMessage(%.*s, %.*s)", static_cast<int>(line.size()), line.data(),
                static_cast<int>(word.size()), word.data());
    const size_t at = if_message_at(line, word);
    if (at == npos) {
        DebugPlugin(1, "END: IfMessage() = 0");
        return std::nullopt;
    }
    std::string found(line.substr(at));
    DebugPlugin(1, "END: IfMessage() = %s", found.c_str());
    return found;
}

void message_parser(HostSession* sess, std::string& line, const ParserHandlers& handlers)
{
    NestedLine nested;
    ParseVars& vars = the_parse_vars;
    DebugPlugin(0, "BEGIN: message_parser(%p)", static_cast<void*>(sess));
    set_context(vars, sess, line);
    reenable_queries(vars);
    check_local_user(vars);
    vars.bMessage = recognise(IrcLine(line), vars);
    DebugPlugin(1, " * message_parser() - case = %d", vars.bMessage);
    kDispatch[vars.bMessage].run(vars, handlers);
    end_of_line();
    DebugPlugin(0, "END: message_parser()");
}

void output_parser(const char* channel, const char* nick, const char* text)
{
    const bool named = channel && *channel && nick && *nick;
    if (!named || !iFlagEnableDatabase || !iFlagLogFile) return;
    const ChatUser* user = GetUser(nullptr, channel, nick, nullptr, nullptr);
    if (!user || user->usSpecial != 1) return;
    if (!iFlagAdvancedLog) {
        const time_t when = now();
        sPrintLog(log_file().c_str(), "CHANMSG: [%d | %s] -> from:[%s] ip:[%s] address:[%s] data:[%s]",
                  static_cast<int>(when), ctime_text(when).c_str(), channel, nick,
                  user->psAddress() ? user->psAddress() : "", text ? text : "");
        return;
    }
    // The event log reads the parse variables: those of a line being parsed are put back after.
    const ParseVars saved = the_parse_vars;
    the_parse_vars.psChannelName = channel;
    the_parse_vars.psRemoteUserNick = nick;
    if (user->psAddress()) the_parse_vars.psRemoteUserAddress = user->psAddress();
    the_parse_vars.psMessageData = text ? text : "";
    AdvancedLog("CHANMSG");
    the_parse_vars = saved;
}

std::string _get_xchat_string_converted(const char* text)
{
    DebugPlugin(2, "BEGIN: _get_xchat_string_converted(%s)", text ? text : "");
    std::string converted;
    for (const char* p = text; p && *p; ++p) {
        switch (*p) {
        case '%': converted += "%%"; break;
        case '\026': converted += "%R"; break;
        case '\037': converted += "%U"; break;
        case '\002': converted += "%B"; break;
        case '\003': converted += "%C"; break;
        case '\017': converted += "%O"; break;
        default: converted += *p;
        }
    }
    DebugPlugin(2, "END: _get_xchat_string_converted() = %s", converted.c_str());
    return converted;
}

std::string _get_string_escaped(const char* text)
{
    std::string escaped;
    for (const char* p = text; p && *p; ++p) {
        if (*p == '"') escaped += '\\';
        escaped += *p;
    }
    return escaped;
}

std::string ctime_text(time_t when)
{
    char buffer[64] = "";
    if (!ctime_r(&when, buffer)) return {};
    std::string text = buffer;
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}
