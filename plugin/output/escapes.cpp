// Translations of text into IRC formatting bytes: the user's percent escapes
// and terminal colour sequences.
#include "output/output.h"
#include "utilities.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// ---- percent escapes ---------------------------------------------------------

constexpr struct {
    char letter;
    char byte;
} kPercentEscapes[] = {{'%', '%'}, {'B', '\002'}, {'C', '\003'}, {'O', '\017'}, {'R', '\026'}, {'U', '\037'}};

// Control bytes never come out of a numeric escape: a command must stay one line.
constexpr unsigned kLowestNumericByte = 0x20;

std::optional<char> letter_escape(char letter)
{
    for (const auto& escape : kPercentEscapes)
        if (escape.letter == letter) return escape.byte;
    return std::nullopt;
}

// The byte of "%nnn" starting at `at` (the "%"), when there is one.
std::optional<unsigned char> numeric_escape(std::string_view text, size_t at)
{
    if (at + 3 >= text.size()) return std::nullopt;
    unsigned value = 0;
    for (size_t i = at + 1; i <= at + 3; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    value %= 256;
    if (value < kLowestNumericByte) return std::nullopt;
    return static_cast<unsigned char>(value);
}

// One byte of the locale's character set as UTF-8; empty when it does not convert.
std::string locale_byte_to_utf8(unsigned char byte)
{
    iconv_t converter = iconv_open("UTF-8", nl_langinfo(CODESET));
    if (converter == reinterpret_cast<iconv_t>(-1)) return {};
    char in[1] = {static_cast<char>(byte)};
    char out[8];
    char* in_at = in;
    char* out_at = out;
    size_t in_left = 1;
    size_t out_left = sizeof out;
    const bool converted = iconv(converter, &in_at, &in_left, &out_at, &out_left) != static_cast<size_t>(-1);
    iconv_close(converter);
    return converted && in_left == 0 ? std::string(out, out_at) : std::string();
}

void append_numeric(std::string& out, unsigned char byte, bool utf8)
{
    std::string converted = utf8 ? locale_byte_to_utf8(byte) : std::string();
    if (converted.empty())
        out += static_cast<char>(byte);
    else
        out += converted;
}

// The translated text, or nothing when the text holds no "%".
std::optional<std::string> translate_escapes(std::string_view text, bool numeric, bool utf8)
{
    if (text.find('%') == std::string_view::npos) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (auto byte = numeric ? numeric_escape(text, i) : std::nullopt) {
            append_numeric(out, *byte, utf8);
            i += 3;
        } else if (auto escape = i + 1 < text.size() ? letter_escape(text[i + 1]) : std::nullopt) {
            out += *escape;
            ++i;
        } else {
            out += '%';
        }
    }
    return out;
}

// ---- terminal colours ----------------------------------------------------------

constexpr char kEscape = 27;
constexpr size_t kMaxDigits = 15;

int irc_colour(long long terminal_colour) { return Color_ansi_map[terminal_colour % 14]; }

class AnsiTranslator {
public:
    void feed(unsigned char c, std::string& out)
    {
        if (c == '\r') return;
        if (c == kEscape) {
            in_sequence = true;
            return;
        }
        if (!in_sequence) {
            out += static_cast<char>(c);
            return;
        }
        if (c == '[') return;
        if (c == ';') {
            first = collected();
            digits.clear();
        } else if (isdigit(c)) {
            if (digits.size() < kMaxDigits) digits += static_cast<char>(c);
        } else if (c >= 'A' && c <= 'z') {
            if (c == 'm') end_colour(out);
            in_sequence = false;
            digits.clear();
        }
    }

private:
    long long collected() const { return digits.empty() ? 0 : std::stoll(digits); }

    void end_colour(std::string& out)
    {
        if (digits.empty() || digits == "0") {
            out += '\017';
            bright = false;
            return;
        }
        const long long second = collected();
        if (first == 1) bright = true;
        if (first >= 30 && first <= 37) foreground = first - 30;
        if (second > 39) {
            background = second - 40;
            has_background = true;
        }
        if (second >= 30 && second <= 37) foreground = second - 30;
        if (bright) foreground += 8;
        foreground = irc_colour(foreground);
        char code[32];
        if (has_background) {
            background = irc_colour(background);
            snprintf(code, sizeof code, "\003%lld,%02lld", foreground, background);
        } else {
            snprintf(code, sizeof code, "\003%02lld", foreground);
        }
        out += code;
    }

    bool in_sequence = false;
    std::string digits;
    long long first = 0;
    long long foreground = 0;
    long long background = 0;
    bool has_background = false;
    bool bright = false;
};

}  // namespace

void check_special_chars(char* text, int enable_numeric)
{
    if (!text) return;
    if (auto translated = translate_escapes(text, enable_numeric != 0, false))
        memcpy(text, translated->c_str(), translated->size() + 1);
}

void check_special_chars_utf8(std::string& text, int enable_numeric)
{
    if (auto translated = translate_escapes(text, enable_numeric != 0, true)) text = std::move(*translated);
}

void check_special_chars_utf8(InertText& text, int enable_numeric)
{
    InertText translated;
    text.each_run([&](std::string_view part, bool literal) {
        if (literal) {
            translated.add_literal(part);
            return;
        }
        std::string syntax(part);
        check_special_chars_utf8(syntax, enable_numeric);
        translated.add_syntax(syntax);
    });
    text = std::move(translated);
}

std::string double_percent(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

std::string exec_handle_colors(std::string_view text)
{
    AnsiTranslator translator;
    std::string out;
    out.reserve(text.size());
    for (char c : text) translator.feed(static_cast<unsigned char>(c), out);
    return out;
}

void exec_handle_colors(char* text, size_t length)
{
    if (!text) return;
    const std::string translated = exec_handle_colors(std::string_view(text, length));
    const size_t kept = std::min(translated.size(), length);
    memcpy(text, translated.data(), kept);
    text[kept] = '\0';
}
