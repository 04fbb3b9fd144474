// Word arrays, print-event texts and the client's string comparisons.
#include "internal.h"

#include <cctype>
#include <cstring>

namespace hostsim {

namespace {

// In the client these slots point at a string literal: read-only memory.
const char kEmpty[2] = {0, 0};

// Length of the UTF-8 sequence that starts with `lead` (as g_utf8_skip).
size_t utf8_skip(unsigned char lead)
{
    if (lead >= 0xFC) return 6;
    if (lead >= 0xF8) return 5;
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

unsigned char rfc_lower(unsigned char c)
{
    switch (c) {
    case '[': return '{';
    case ']': return '}';
    case '\\': return '|';
    case '~': return '^';
    default: return static_cast<unsigned char>(std::tolower(c));
    }
}

struct EventText {
    const char* name;
    const char* text;  // $1..$4 the arguments, $t a tab; null: nothing is shown
};

// Plain renderings of the client's default event texts (colours left out).
const EventText kEventTexts[] = {
    {"Channel Message", "<$1>$t$2"},
    {"Channel Msg Hilight", "<$1>$t$2"},
    {"Channel Action", "*$t$1 $2"},
    {"Channel Action Hilight", "*$t$1 $2"},
    {"Channel Notice", "-$1/$2-$t$3"},
    {"Private Message", "*$1*$t$2"},
    {"Private Message to Dialog", "<$1>$t$2"},
    {"Private Action", "**$t$1 $2 **"},
    {"Private Action to Dialog", "*$t$1 $2"},
    {"Your Message", "<$1>$t$2"},
    {"Your Action", "*$t$1 $2"},
    {"Message Send", ">$1<$t$2"},
    {"Notice Send", "->$1<-$t$2"},
    {"Notice", "-$1-$t$2"},
    {"Server Notice", "$1"},
    {"Server Text", "$1"},
    {"CTCP Generic", "Received a CTCP $1 from $2"},
    {"CTCP Send", ">$1<$tCTCP $2"},
    {"CTCP Generic to Channel", "Received a CTCP $1 from $2 (to $3)"},
    {"Join", "-->$t$1 ($3) has joined $2"},
    {"You Join", "-->$tYou are now talking on $2"},
    {"Part", "<--$t$1 ($2) has left $3"},
    {"Part with Reason", "<--$t$1 ($2) has left $3 ($4)"},
    {"You Part", "<--$tYou have left channel $3"},
    {"You Part with Reason", "<--$tYou have left channel $3 ($4)"},
    {"Quit", "<--$t$1 has quit ($2)"},
    {"Change Nick", "---$t$1 is now known as $2"},
    {"Your Nick Changing", "---$tYou are now known as $2"},
    {"Kick", "<--$t$1 has kicked $2 from $3 ($4)"},
    {"You Kicked", "<--$tYou have been kicked from $2 by $3 ($4)"},
    {"Topic", "---$tTopic for $1 is: $2"},
    {"Topic Change", "---$t$1 has changed the topic to: $2"},
    {"Invited", "---$tYou have been invited to $1 by $2 ($3)"},
    {"Your Invitation", "---$tYou've invited $1 to $2 ($3)"},
    {"Ignore Add", "$1 added to ignore list."},
    {"Ignore Changed", "Ignore on $1 changed."},
    {"Ignore Remove", "$1 removed from ignore list."},
    {"Ignore Header", " Hostmask                  PRIV NOTI CHAN CTCP DCC  INVI UNIG "},
    {"Ignore Footer", ""},
    {"Ignorelist Empty", "  Ignore list is empty."},
    {"Focus Tab", nullptr},
    {"Focus Window", nullptr},
};

}  // namespace

char* empty_word() { return const_cast<char*>(kEmpty); }

bool iequals(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

int rfc_casecmp(std::string_view a, std::string_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int d = rfc_lower(static_cast<unsigned char>(a[i])) - rfc_lower(static_cast<unsigned char>(b[i]));
        if (d != 0) return d;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool wildcard_match(std::string_view mask, std::string_view text)
{
    size_t m = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        bool same = m < mask.size() && mask[m] != '*' &&
                    (mask[m] == '?' || rfc_lower(static_cast<unsigned char>(mask[m])) == rfc_lower(static_cast<unsigned char>(text[t])));
        if (m < mask.size() && mask[m] == '*') {
            star = m++;
            resume = t;
        } else if (same) {
            ++m;
            ++t;
        } else if (star != std::string_view::npos) {
            m = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

std::string rfc_lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(rfc_lower(static_cast<unsigned char>(c)));
    return out;
}

WordArrays::WordArrays(std::string_view text, bool handle_quotes, bool allow_escape_quotes)
    : line_(text), split_(text.size() + 1, '\0')
{
    word_.fill(empty_word());
    word_eol_.fill(empty_word());
    word_[kSlots] = nullptr;
    word_eol_[kSlots] = nullptr;

    char* buf = split_.data();
    char* cmd = line_.data();
    word_[1] = buf;
    word_eol_[1] = cmd;
    int wordcount = 2;
    bool space = false;
    bool quote = false;
    size_t j = 0;

    while (*cmd) {
        if (*cmd == '"' && handle_quotes && !(allow_escape_quotes && cmd[1] == '"')) {
            if (quote) space = false;
            quote = !quote;
            ++cmd;
            continue;
        }
        if (*cmd == '"' && handle_quotes) ++cmd;  // two quotes make one
        else if (*cmd == ' ' && !quote) {
            if (!space) {
                buf[j++] = '\0';
                if (wordcount < kSlots) {
                    word_[wordcount] = &buf[j];
                    word_eol_[wordcount] = cmd + 1;
                    ++wordcount;
                }
                space = true;
            }
            ++cmd;
            continue;
        }
        space = false;
        size_t len = std::min(utf8_skip(static_cast<unsigned char>(*cmd)), std::strlen(cmd));
        std::memcpy(buf + j, cmd, len);
        j += len;
        cmd += len;
    }
    buf[j] = '\0';
}

EventWords::EventWords(std::string_view event, const std::vector<std::string>& args)
{
    storage_.emplace_back(event);
    storage_.insert(storage_.end(), args.begin(), args.end());
    word_.fill(empty_word());
    word_[WordArrays::kSlots] = nullptr;
    for (size_t i = 0; i < storage_.size() && i < WordArrays::kSlots; ++i) word_[i] = storage_[i].data();
}

namespace {

const EventText* find_event_text(std::string_view event)
{
    for (const EventText& e : kEventTexts)
        if (iequals(e.name, event)) return &e;
    return nullptr;
}

}  // namespace

bool event_displayed(std::string_view event)
{
    const EventText* e = find_event_text(event);
    return !e || e->text;
}

std::string render_event(std::string_view event, const std::vector<std::string>& args)
{
    const EventText* e = find_event_text(event);
    std::string out;
    if (!e) {  // not in the table: the arguments, joined
        for (const std::string& a : args) out += (out.empty() ? "" : " ") + a;
        return out;
    }
    for (const char* p = e->text ? e->text : ""; *p; ++p) {
        if (p[0] == '$' && p[1] == 't') {
            out += '\t';
            ++p;
        } else if (p[0] == '$' && p[1] >= '1' && p[1] <= '9') {
            size_t index = static_cast<size_t>(p[1] - '1');
            if (index < args.size()) out += args[index];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace hostsim
