// exec( FILTER,COMMAND ): COMMAND queued once for each user of the channel
// who passes FILTER, with that user's values in place of the $exec names.
//
// The values come from the network (nicknames, addresses, real names): they
// enter the queued command as literal runs, so that no later stage reads them
// as commands, separators, variables or percent escapes.
#include "script/function_handlers.h"

#include "host/host.h"
#include "queue/queue.h"
#include "users/chatuser.h"

#include <array>
#include <cctype>
#include <unordered_map>

namespace quibo_functions {

namespace {

enum class ExecName { Nick, Hostname, Realname, Servername, Lasttalk, Prefix, Dollar };

struct NameSpelling {
    std::string_view text;
    ExecName name;
};

constexpr std::array<NameSpelling, 7> kExecNames{{
    {"$execnick", ExecName::Nick},
    {"$exechostname", ExecName::Hostname},
    {"$execrealname", ExecName::Realname},
    {"$execservername", ExecName::Servername},
    {"$execlasttalk", ExecName::Lasttalk},
    {"$execprefix", ExecName::Prefix},
    {"_QUIBO_US_DOLLAR_", ExecName::Dollar},
}};

// One piece of the command: text as written (syntax or literal) or a name to fill in.
struct Piece {
    std::string text;
    bool literal = false;
    std::optional<ExecName> name;
};

// COMMAND cut into pieces once; every user's command is put together from them.
std::vector<Piece> pieces_of(const InertText& command)
{
    std::vector<Piece> pieces;
    command.each_run([&](std::string_view run, bool literal) {
        if (literal) {
            pieces.push_back(Piece{std::string(run), true, std::nullopt});
            return;
        }
        size_t from = 0;
        for (size_t i = 0; i < run.size(); ++i) {
            if (run[i] != '$' && run[i] != '_') continue;
            for (const NameSpelling& spelling : kExecNames) {
                if (run.substr(i, spelling.text.size()) != spelling.text) continue;
                if (i > from) pieces.push_back(Piece{std::string(run.substr(from, i - from)), false, std::nullopt});
                pieces.push_back(Piece{std::string(), false, spelling.name});
                from = i + spelling.text.size();
                i = from - 1;
                break;
            }
        }
        if (from < run.size()) pieces.push_back(Piece{std::string(run.substr(from)), false, std::nullopt});
    });
    return pieces;
}

bool uses(const std::vector<Piece>& pieces, ExecName name)
{
    for (const Piece& piece : pieces)
        if (piece.name == name) return true;
    return false;
}

std::string nick_key(const std::string& nick)
{
    std::string key = nick;
    for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return key;
}

// The real names the user database keeps for the channel's users, by
// nickname, for a client whose user list does not give them. One walk of the
// channel's records.
using KnownNames = std::unordered_map<std::string, std::string>;

KnownNames database_names(HostSession* sess)
{
    KnownNames names;
    if (!sess->server) return names;
    for (ChatUser* u = GetUser(sess->server->servername.c_str(), sess->channel.c_str(), nullptr, nullptr, nullptr); u;
         u = GetUserNext())
        if (u->psUserNick() && u->psInfo()) names.emplace(nick_key(u->psUserNick()), u->psInfo());
    return names;
}

struct UserValues {
    const HostUser& user;
    const HostServer* server;
    const std::string* known_name;
};

std::string value_of(ExecName name, const UserValues& v)
{
    switch (name) {
    case ExecName::Nick: return v.user.nick;
    case ExecName::Hostname: return v.user.address;
    case ExecName::Realname: return !v.user.realname.empty() || !v.known_name ? v.user.realname : *v.known_name;
    // The client's list does not say which server each user is on: the channel's server.
    case ExecName::Servername: return v.server ? v.server->servername : std::string();
    case ExecName::Lasttalk: return std::to_string(static_cast<long long>(v.user.lasttalk));
    case ExecName::Prefix: return v.user.prefix.substr(0, 1);
    case ExecName::Dollar: return "$";
    }
    return std::string();
}

InertText command_for(const std::vector<Piece>& pieces, const UserValues& values)
{
    InertText command;
    for (const Piece& piece : pieces) {
        if (!piece.name) {
            piece.literal ? command.add_literal(piece.text) : command.add_syntax(piece.text);
        } else if (*piece.name == ExecName::Dollar) {
            command.add_syntax("$");
        } else {
            command.add_literal(value_of(*piece.name, values));
        }
    }
    return command;
}

// The part of `text` from `from` on, with its literal runs.
InertText tail_of(const InertText& text, size_t from)
{
    InertText out;
    size_t at = 0;
    text.each_run([&](std::string_view run, bool literal) {
        const size_t begin = at;
        at += run.size();
        if (at <= from) return;
        const std::string_view part = run.substr(from > begin ? from - begin : 0);
        literal ? out.add_literal(part) : out.add_syntax(part);
    });
    return out;
}

bool is_channel_name(const std::string& name)
{
    return !name.empty() && (name[0] == '#' || name[0] == '&' || name[0] == '!' || name[0] == '\'');
}

// exec( runs inside the commands it queues only through the queue; deeper
// nesting than this is a loop.
constexpr int kMaxExecDepth = 8;

class ExecDepth {
public:
    ExecDepth() { ++iExecRecursion; }
    ~ExecDepth() { --iExecRecursion; }
    ExecDepth(const ExecDepth&) = delete;
    ExecDepth& operator=(const ExecDepth&) = delete;
};

}  // namespace

Result _advanced_function__exec(const InertText& argument)
{
    InertText text = argument;
    StringProtection(text, 3);
    size_t comma = text.text.find(',');
    while (comma != std::string::npos && text.literal_at(comma)) comma = text.text.find(',', comma + 1);
    if (comma == std::string::npos) return std::nullopt;
    std::string filter = text.text.substr(0, comma);
    std::erase(filter, ' ');
    const std::vector<Piece> pieces = pieces_of(tail_of(text, comma + 1));

    // The window of the command being run; a window closed since then gives way to the focused one.
    HostSession* sess = execution_tab && session_exists(execution_tab) ? execution_tab : current_tab;
    if (!sess || !session_exists(sess) || !is_channel_name(sess->channel)) return std::string("0");
    if (iExecRecursion >= kMaxExecDepth) return std::string("0");
    ExecDepth depth;

    const bool needs_names = uses(pieces, ExecName::Realname);
    const KnownNames known = needs_names ? database_names(sess) : KnownNames();
    // Queuing reads no client list, so the mirror stays as it is while it is walked.
    const std::vector<HostUser>& users = zem_userlist_flat_list(sess);
    long long count = 0;
    for (const HostUser& user : users) {
        if (!filter.empty() && !passes_filter(mode_letters(user, sess->server), filter)) continue;
        const auto found = needs_names ? known.find(nick_key(user.nick)) : known.end();
        const UserValues values{user, sess->server, found == known.end() ? nullptr : &found->second};
        InertText command = command_for(pieces, values);
        ResetPriority();
        InsertCommandInQueuePriority(sess, std::move(command), kPriorityLow);
        ++count;
    }
    return std::to_string(count);
}

}  // namespace quibo_functions
