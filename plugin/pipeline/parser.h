// The IRC line parser: one raw server line becomes a kind and its fields,
// which the one handler of that kind reads from a ParseVars value.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

struct HostSession;

// A field cut from the line; absent when the line's kind does not fill it.
// One field of a line: absent, or a text. It reads like std::optional<std::string>, but an absent field
// keeps its buffer, so that the fields of the next line are filled without allocating.
class ParseText {
public:
    ParseText() = default;
    ParseText(std::nullopt_t) {}
    ParseText(std::string text) : text_(std::move(text)), present_(true) {}
    ParseText& operator=(std::nullopt_t)
    {
        reset();
        return *this;
    }
    ParseText& operator=(std::string_view text)
    {
        text_.assign(text.data(), text.size());
        present_ = true;
        return *this;
    }
    ParseText& operator=(const std::string& text) { return *this = std::string_view(text); }
    ParseText& operator=(const char* text) { return *this = std::string_view(text); }

    explicit operator bool() const { return present_; }
    bool has_value() const { return present_; }
    std::string& operator*() { return text_; }
    const std::string& operator*() const { return text_; }
    std::string* operator->() { return &text_; }
    const std::string* operator->() const { return &text_; }
    const std::string& value() const { return text_; }
    std::string value_or(std::string_view otherwise) const { return present_ ? text_ : std::string(otherwise); }
    void reset()
    {
        text_.clear();
        present_ = false;
    }

private:
    std::string text_;
    bool present_ = false;
};

inline const char* text_or_null(const ParseText& text) { return text ? text->c_str() : nullptr; }
inline const char* text_or_null(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// What the parser recognised (bMessage). Each kind but the first has one handler.
enum MessageKind : int {
    kUnknownLine = 0,
    kPrivmsg = 1,
    kLujoin = 2,
    kJoin = 3,
    kChnick = 4,
    kClist = 5,
    kSrvmsg = 6,
    kPart = 7,
    kKick = 8,
    kMode = 9,
    kNames = 10,
    kWho = 11,
    kQuit = 12,
    kOserver = 13,
    kEndwho = 14,
    kErrorlnk = 15,
    kEndmotd = 16,
    kNotify = 17,
    kNotice = 18,
    kInvite = 19,
};

// The fields of one recognised line. Handlers release them all at once.
struct LineFields {
    ParseText psChannelName;
    ParseText psRemoteUserNick;
    ParseText psRemoteUserAddress;
    ParseText psRemoteUserHost;
    ParseText psRemoteUserDomain;
    ParseText psLocalUserNick;
    ParseText psLocalUserAddress;
    ParseText psServerName;
    ParseText psMessageData;
    ParseText psChannelUsers;

    // Every field absent again.
    void clear()
    {
        for (ParseText* field : {&psChannelName, &psRemoteUserNick, &psRemoteUserAddress, &psRemoteUserHost,
                                 &psRemoteUserDomain, &psLocalUserNick, &psLocalUserAddress, &psServerName,
                                 &psMessageData, &psChannelUsers})
            field->reset();
    }
};

// One line's context and fields, handed by reference to every handler.
// `vars = {}` releases everything; a copy saves it.
struct ParseVars : LineFields {
    int bMessage = kUnknownLine;
    HostSession* pSess = nullptr;
    std::string* pText = nullptr;     // the line itself: a handler may empty it to drop the line
    std::string psCurrentServerName;  // the session's server name; empty when it has none
    std::string psCurrentChannelName;
    std::string psLocalNickname;      // our nickname on that server
    int iLocalUserAway = 0;
    int iNumberUserInChannel = 0;
    time_t tCurrentTime = 0;
    // 1 while the parser feeds one line to a handler several times: the handler leaves the fields alone.
    int16_t sFlagNoClearVariables = 0;

    LineFields& fields() { return *this; }
};

// The parse variables of the line being handled (empty between lines).
ParseVars& parse_vars();

// Clears the line fields, unless the parser asked the handlers to leave them.
void ResetLocalVariables(ParseVars& vars);

// The handlers the parser calls. The default set is the plug-in's own.
struct ParserHandlers {
    int (*case_privmsg)(ParseVars&, const char* kind);
    int (*case_lujoin)(ParseVars&);
    int (*case_join)(ParseVars&);
    int (*who_manager)(ParseVars&);
    int (*case_chnick)(ParseVars&);
    int (*case_clist)(ParseVars&);
    int (*case_srvmsg)(ParseVars&);
    int (*case_part)(ParseVars&);
    int (*case_kick)(ParseVars&);
    int (*case_mode)(ParseVars&);
    int (*case_names)(ParseVars&);
    int (*case_who)(ParseVars&);
    int (*case_quit)(ParseVars&);
    int (*case_oserver)(ParseVars&);
    int (*case_endwho)(ParseVars&);
    int (*case_errorlnk)(ParseVars&);
    int (*case_endmotd)(ParseVars&);
    int (*case_notify)(ParseVars&);
    int (*case_invite)(ParseVars&);
};
const ParserHandlers& plugin_handlers();

// Where the per-server log lines go (set for every raw line when logging is on).
extern std::string caPathLogFile;

// The line from the first occurrence of `word` on, when the word starts before
// the line's second blank (in the prefix and command); absent otherwise.
std::optional<std::string> IfMessage(std::string_view line, std::string_view word);
// The same test without the copy: the offset of the word, or npos.
size_t if_message_at(std::string_view line, std::string_view word);

// Parses one raw line of `sess` and runs its handler; a handler may empty `line`.
void message_parser(HostSession* sess, std::string& line, const ParserHandlers& handlers = plugin_handlers());

// Logs one of the local user's own channel messages.
void output_parser(const char* channel, const char* nick, const char* text);

// `text` with "%" doubled and the formatting bytes written as %R %U %B %C %O;
// empty for a null or empty text.
std::string _get_xchat_string_converted(const char* text);
// `text` with a backslash before every double quote; empty for a null or empty text.
std::string _get_string_escaped(const char* text);

// ctime() of `when` with its line end turned into a blank, as the log lines show it.
std::string ctime_text(time_t when);
