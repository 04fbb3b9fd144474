// The raw-line hook: every line a server sends, before the client handles it.
// Log file, line filter, the private-message guard, then the parser.
#include "pipeline/pipeline.h"

#include "clock.h"
#include "handlers/handlers.h"
#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/irc_line.h"
#include "pipeline/parser.h"
#include "pipeline/sessions.h"
#include "protection/private_killer.h"
#include "protection/words.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstdio>

std::string psLastMessageParsed;

namespace {

constexpr const char* kUnit = "ioplugin";
constexpr size_t kExcerptLimit = 128;
constexpr size_t kExcerptCut = 120;

bool same_name(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void choose_log_file(HostSession* sess)
{
    if (!iFlagLogFile) return;
    const bool named = sess && sess->server && !sess->server->hostname.empty();
    caPathLogFile = quibo_data_path(named ? sess->server->hostname + ".log" : std::string("quibo.log"));
}

// ---- line filter -------------------------------------------------------------------------------------

// A JOIN or PART that the filter blocked is undone only when it was our own:
// someone else's line never makes us leave a channel.
void filter_line(HostSession* sess, std::string& text)
{
    const IrcLine line(text);
    const char* host = sess && sess->server ? sess->server->hostname.c_str() : "";
    const char* pattern = if_message_at(text, " JOIN") != std::string::npos   ? "*JOIN*"
                          : if_message_at(text, " PART") != std::string::npos ? "*PART*"
                                                                             : nullptr;
    if (!pattern) {
        MessageFilterSystem(sess, host, sess ? sess->channel.c_str() : "", nullptr, text);
        return;
    }
    const std::string channel(first_word(without_colon(line.rest_after(1))));
    const std::string sender(line.prefix_nick());
    const bool ours = sess && sess->server && same_name(sender, sess->server->nick);
    if (MessageFilterSystem(sess, host, channel.c_str(), pattern, text) == 0 && text.empty() && ours)
        sHandleCommand(sess, "/PART %s", double_percent(channel).c_str());
}

// ---- the private-message guard -------------------------------------------------------------------------

// A private message, notice or invitation addressed to us by a user.
struct GuardedLine {
    int kind_message = 0;      // 847 PRIVMSG, 848 NOTICE, 849 INVITE
    int question_message = 0;  // 852, 853, 854
    bool privmsg = false;
    std::string nick, address, target, excerpt;
    HostSession* sess = nullptr;
    HostSession* output = nullptr;
    ChatUser* record = nullptr;
    bool asked = false;
};

struct GuardKind {
    const char* word;
    int kind_message;
    int question_message;
};
constexpr GuardKind kGuardKinds[] = {
    {" PRIVMSG", 847, 852},
    {" NOTICE", 848, 853},
    {" INVITE", 849, 854},
};

const GuardKind* guarded_kind(const std::string& text, const IrcLine& line)
{
    if (!line.prefix_address()) return nullptr;  // a server's line, not a user's
    for (const GuardKind& kind : kGuardKinds) {
        if (if_message_at(text, kind.word) == std::string::npos) continue;
        const bool version_request = text.find("\001VERSION\001") != std::string::npos;
        if (kind.kind_message == 847 && iPKIgnoreCTCPVersion && version_request) return nullptr;
        return &kind;
    }
    return nullptr;
}

std::string excerpt_of(const std::string& text)
{
    const size_t separator = text.find(" :", 1);
    std::string excerpt = separator == std::string::npos ? std::string() : text.substr(separator + 2);
    if (excerpt.size() > kExcerptLimit) excerpt = excerpt.substr(0, kExcerptCut) + " ...";
    return excerpt;
}

// The line when the guard must look at it: from a user, to our own nickname.
std::optional<GuardedLine> guarded_line(HostSession* sess, const std::string& text, const GuardKind* kind)
{
    if (!kind || !sess || !sess->server) return std::nullopt;
    const IrcLine line(text);
    const std::string_view nick = line.prefix_nick();
    const std::string_view target = line.word(2);
    if (nick.empty() || !same_name(target, sess->server->nick)) return std::nullopt;
    GuardedLine guarded;
    guarded.kind_message = kind->kind_message;
    guarded.question_message = kind->question_message;
    guarded.privmsg = kind->kind_message == 847;
    guarded.nick = std::string(nick);
    guarded.target = std::string(target);
    guarded.address = std::string(line.prefix_address().value_or(""));
    guarded.excerpt = excerpt_of(text);
    guarded.sess = sess;
    guarded.output = iFlagCurrentTab ? current_tab : sess;
    return guarded;
}

bool ignored_by_client(const GuardedLine& g)
{
    const std::string full = g.nick + "!" + g.address;
    for (const IgnoreEntry& entry : ignore_list)
        if ((entry.flags & (1 | 2 | 4)) && match(entry.mask.c_str(), full.c_str())) return true;
    return false;
}

void print_timeout_line(const GuardedLine& g)
{
    sPrintText(g.output, "\0033Private Killer \t\0034Query Dialog Timeout (\0035 %s\0034 )", g.excerpt.c_str());
}

// Someone we already warned about writes again: warn at most once a minute.
void throttle_alerts(GuardedLine& g)
{
    if (!g.record || iPrivateKillerMessage <= 0 || g.record->uiBadCount <= 0) return;
    --g.record->uiBadCount;
    if (now() - g.record->tLastMessage < 60) return;
    g.record->tLastMessage = now();
    sPrintText(g.output, GetMessage(865), g.nick.c_str(), g.address.c_str());
    quibo_play_sound("warning");
    if (iPrivateKillerMessage > 1) print_timeout_line(g);
}

// Prints once per guard entry.
template <typename... Values>
void notify_once(const GuardedLine& g, int message, Values... values)
{
    if (g.record) {
        if (g.record->uiAnswer != 0) return;
        g.record->uiAnswer = 1;
    }
    sPrintText(g.output, GetMessage(message), values...);
}

const char* kind_word(const GuardedLine& g) { return GetMessage(g.kind_message); }

void log_refusal(const GuardedLine& g)
{
    sPrintLog(quibo_data_path("private_killer.log").c_str(), "[%s] %s (%s) = %s", ctime_text(now()).c_str(),
              g.nick.c_str(), g.address.c_str(), g.excerpt.c_str());
}

LineVerdict refuse(const GuardedLine& g, std::string& text)
{
    sHandleCommand(g.sess, GetMessage(855), double_percent(g.nick).c_str(), double_percent(g.nick).c_str(),
                   double_percent(g.target).c_str());
    log_refusal(g);
    text.clear();
    return LineVerdict::Eat;
}

LineVerdict eat_silently(GuardedLine& g, std::string& text)
{
    log_refusal(g);
    text.clear();
    return LineVerdict::Eat;
}

// An allow rule ("/" entries) for the server we are on, or for a channel where the sender is known.
int allow_rule_answer(const GuardedLine& g)
{
    for (ChatUser* entry : killed_user_list()) {
        if (!std::string_view(entry->psUserNick() ? entry->psUserNick() : "").starts_with('/')) continue;
        const HostServer& server = *g.sess->server;
        if (strcasecmp(entry->psAddress() ? entry->psAddress() : "", server.hostname.c_str()) == 0) return 1;
        if (GetUser(server.servername.c_str(), entry->psAddress(), g.nick.c_str(), nullptr, nullptr)) return 1;
        return 0;
    }
    return 0;
}

bool question_open = false;

// One question at a time: while one is open, the next sender gets the time-out answer.
int ask_user(GuardedLine& g)
{
    if (question_open) return 0;
    quibo_play_sound("warning");
    question_open = true;
    g.asked = true;
    char question[4096];
    snprintf(question, sizeof question, GetMessage(851), g.nick.c_str(), GetMessage(g.question_message),
             g.excerpt.c_str());
    const int answer = zem_gtk_query_kill_request(question);
    question_open = false;
    return answer;
}

// A refusal that nobody answered: remembered so that the next messages are only counted.
LineVerdict timed_out(GuardedLine& g, std::string& text)
{
    add_killed_user(g.nick.c_str(), g.address.c_str(), -3, 1);
    if (flag_auto_close_dialog_private_killer) {
        flag_auto_close_dialog_private_killer = 0;
        if (get_killed_user_flag(g.nick.c_str(), g.address.c_str(), &g.record) < 0) {
            if (iPrivateKillerMessage > 0 && !iPKAllowOnTimeout)
                sPrintText(g.output, GetMessage(865), g.nick.c_str(), g.address.c_str());
            quibo_play_sound("warning");
            if (g.asked && iPrivateKillerMessage > 1) print_timeout_line(g);
            if (g.record) {
                g.record->uiBadCount = iPrivateKillerAlert;
                g.record->tLastMessage = now();
            } else {
                fprintf(stderr, "[%s:%d]> quibo_in() INTERNAL ERROR.\n", QUIBO_HERE(kUnit));
            }
        }
    }
    return iPKAllowOnTimeout ? LineVerdict::Pass : refuse(g, text);
}

LineVerdict unknown_sender(GuardedLine& g, std::string& text)
{
    int answer = allow_rule_answer(g);
    const bool scan_pending = sFlagEndWhoCloneScanning != 0;
    if (scan_pending && !g.privmsg) answer = 4;
    if (answer == 0) answer = ask_user(g);
    switch (answer) {
    case 1:
        add_killed_user(g.nick.c_str(), g.address.c_str(), 3, 1);
        if (iPrivateKillerMessage > 1) sPrintText(g.output, GetMessage(856), g.nick.c_str(), g.address.c_str());
        return LineVerdict::Pass;
    case 2:
        add_killed_user(g.nick.c_str(), g.address.c_str(), 3, 0);
        save_killed_user_list();
        if (iPrivateKillerMessage > 1) sPrintText(g.output, "%s", GetMessage(857));
        return LineVerdict::Pass;
    case -1:
        add_killed_user(g.nick.c_str(), g.address.c_str(), -3, 0);
        save_killed_user_list();
        return refuse(g, text);
    case 0: return timed_out(g, text);
    default: return LineVerdict::Pass;
    }
}

struct GuardAction {
    int flag;
    LineVerdict (*act)(GuardedLine&, std::string&);
};

// What each verdict of the guard does with the line.
const GuardAction kGuardActions[] = {
    {-4,
     [](GuardedLine& g, std::string&) {
         printf("[%s:%d]> PKS IGNORING USER: %s [%s]\n", QUIBO_HERE(kUnit), g.nick.c_str(), g.address.c_str());
         return LineVerdict::Pass;
     }},
    {-3, eat_silently},
    {-2,
     [](GuardedLine& g, std::string& text) {
         if (iPrivateKillerMessage > 0) notify_once(g, 846, kind_word(g), g.nick.c_str());
         return eat_silently(g, text);
     }},
    {-1,
     [](GuardedLine& g, std::string& text) {
         quibo_play_sound("warning");
         if (iPrivateKillerMessage > 0) notify_once(g, 850, kind_word(g), g.nick.c_str(), g.address.c_str());
         return eat_silently(g, text);
     }},
    {0, unknown_sender},
    {1,
     [](GuardedLine& g, std::string&) {
         quibo_play_sound("warning");
         if (iPrivateKillerMessage > 1) notify_once(g, 858, kind_word(g), g.nick.c_str(), g.address.c_str());
         return LineVerdict::Pass;
     }},
    {2,
     [](GuardedLine& g, std::string&) {
         if (iPrivateKillerMessage > 1) notify_once(g, 859, kind_word(g), g.nick.c_str());
         return LineVerdict::Pass;
     }},
    {3,
     [](GuardedLine& g, std::string&) {
         if (iPrivateKillerMessage > 1) notify_once(g, 860, g.nick.c_str(), g.address.c_str());
         return LineVerdict::Pass;
     }},
};

LineVerdict act_on_flag(int flag, GuardedLine& g, std::string& text)
{
    for (const GuardAction& action : kGuardActions)
        if (action.flag == flag) return action.act(g, text);
    printf("[%s:%d]> PKS SKIP QUERY DIALOG\n", QUIBO_HERE(kUnit));
    return LineVerdict::Pass;
}

// `private_message`: the guard counted the line as a user's PRIVMSG (to us or not).
LineVerdict guard_line(HostSession* sess, std::string& text, bool& private_message)
{
    private_message = false;
    if (iPrivateKillerAlert < 1) return LineVerdict::Pass;
    const GuardKind* kind = guarded_kind(text, IrcLine(text));
    private_message = kind && kind->kind_message == 847;
    std::optional<GuardedLine> guarded = guarded_line(sess, text, kind);
    if (!guarded) return LineVerdict::Pass;
    GuardedLine& g = *guarded;
    int flag = get_killed_user_flag(g.nick.c_str(), g.address.c_str(), &g.record);
    if (ignored_by_client(g)) flag = -4;
    throttle_alerts(g);
    return act_on_flag(flag, g, text);
}

// ---- parse ----------------------------------------------------------------------------------------------

void remember_private_text(const std::string& text)
{
    psLastMessageParsed.clear();
    if (if_message_at(text, " PRIVMSG") == std::string::npos) return;
    const size_t separator = text.find(" :");
    if (separator != std::string::npos) psLastMessageParsed.assign(text, separator + 2);
}

void parse_line(HostSession* sess, std::string& text, bool private_message)
{
    const int serial = sess && sess->server ? sess->server->id : 0;
    const char* name = sess ? sess->channel.c_str() : "none";
    DebugPlugin(0, "PRE PARSING: quibo_in() - (sess [%d>%s] | text = %s)", serial, name, text.c_str());
    if (sess && strcasecmp(sess->channel.c_str(), kZombieChannel) != 0) {
        if (!is_channel_name(sess->channel) && private_message && sess->server)
            UserDetect(sess, sess->server->servername.c_str(), sess->channel.c_str());
        message_parser(sess, text);
        remember_private_text(text);
    }
    DebugPlugin(0, "POST PARSING: quibo_in() - (sess [%d>%s] | text = %s)", serial, name, text.c_str());
}

}  // namespace

LineVerdict quibo_in(HostSession* sess, const char* server, std::string& text)
{
    DebugPlugin(0, "BEGIN: quibo_in(sess = %s, server = %s, text = %s, null1 = %s)",
                sess ? sess->channel.c_str() : "none", server ? server : "NULL", text.c_str(), "NULL");
    choose_log_file(sess);
    filter_line(sess, text);
    bool private_message = false;
    if (!text.empty() && guard_line(sess, text, private_message) == LineVerdict::Pass && !text.empty())
        parse_line(sess, text, private_message);
    const LineVerdict verdict = text.empty() ? LineVerdict::Eat : LineVerdict::Pass;
    DebugPlugin(0, "END: quibo_in() = %d", verdict == LineVerdict::Eat ? -1 : 0);
    return verdict;
}
