// Language message files.
#include "settings/messages.h"

#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/settings.h"

#include <utilities.h>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr size_t kMaxLineLength = 4094;
constexpr int kReportCap = 9;
constexpr size_t kQuotePosition = 8;

std::array<std::string, kMessageSlots> apsMessageArray;
std::array<bool, kMessageSlots> slot_set{};
short ssFlagAlredyLoaded = 0;
std::map<std::pair<bool, int>, std::string> substitutes;  // one per missing number (and load state)

// One letter per value type; 0 for conversions the code never passes
// (%n, '*' widths and positional arguments land here too).
char conversion_kind(const std::string& length, char conversion)
{
    if (!conversion || !strchr("diouxXcsSpfFeEgGaA", conversion)) return 0;
    if (strchr("sS", conversion)) return length.empty() && conversion == 's' ? 's' : 0;
    if (conversion == 'p') return length.empty() ? 'p' : 0;
    if (strchr("fFeEgGaA", conversion)) return length.empty() ? 'f' : 0;
    if (length.empty() || length == "h" || length == "hh") return 'd';
    if (length == "l") return 'l';
    if (length == "z") return 'z';
    return 0;
}

struct Escape {
    const char* written;
    const char* becomes;
};

// Applied in this order, each over the whole text, never rescanning what it produced.
const Escape kEscapes[] = {
    {"\\n", "\n"},           {"\\t", "\t"},           {"\\\"", "\""},          {".xchatV", ".xchat2"},
    {"\\0030", "\0030"},     {"\\0031", "\0031"},     {"\\0032", "\0032"},     {"\\0033", "\0033"},
    {"\\0034", "\0034"},     {"\\0035", "\0035"},     {"\\0036", "\0036"},     {"\\0037", "\0037"},
    {"\\0038", "\0038"},     {"\\0039", "\0039"},     {"\\003", "\003"},       {"\\017", "\017"},
    {"\\\\", "\\"},
};

void replace_all(std::string& text, const char* from, const char* to)
{
    size_t from_length = strlen(from);
    size_t to_length = strlen(to);
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to_length))
        text.replace(at, from_length, to);
}

void apply_escapes(std::string& text)
{
    for (const Escape& escape : kEscapes) replace_all(text, escape.written, escape.becomes);
}

// Reports of one load; each goes to the window and to standard output, and
// only the first kReportCap of them are made.
struct LoadState {
    std::string path;
    int reports = 0;

    bool may_report() { return reports++ < kReportCap; }

    void syntax_error(int line)
    {
        if (!may_report()) return;
        sPrintText(current_tab, "\0034Errore di sintassi nel file \0036%s\0034 alla riga\0036 %d \0034: Messaggio ignorato",
                   path.c_str(), line);
        printf("\nErrore di sintassi nel file %s alla riga %d : Messaggio ignorato\n", path.c_str(), line);
    }

    void out_of_range(int line, int number)
    {
        if (!may_report()) return;
        printf("\nIl messaggio alla riga %d risulta avere un indice fuori limite ( %d ): Messaggio ignorato\n", line,
               number);
        sPrintText(current_tab,
                   "\0034Il messaggio alla riga\0036 %d\0034 risulta avere un indice fuori limite (\0036 %d \0034): "
                   "Messaggio ignorato",
                   line, number);
    }

    void mismatch(int line, int number)
    {
        if (!may_report()) return;
        sPrintText(current_tab,
                   "\0034Il messaggio\0036 %d\0034 alla riga\0036 %d\0034 del file\0036 %s\0034 non corrisponde ai "
                   "valori passati dal plugin: Messaggio ignorato",
                   number, line, path.c_str());
        printf("\nIl messaggio %d alla riga %d del file %s non corrisponde ai valori passati dal plugin: Messaggio "
               "ignorato\n",
               number, line, path.c_str());
    }

    void unterminated(int line)
    {
        if (!may_report()) return;
        sPrintText(current_tab,
                   "\0034ATTENZIONE: nel file \0036%s\0034 alla riga\0036 %d \0034 e' presente un Messaggio senza "
                   "terminatore.",
                   path.c_str(), line);
        printf("\nATTENZIONE: nel file %s alla riga %d e' presente un Messaggio senza terminatore.\n", path.c_str(),
               line);
    }
};

// The header "// %04d ": "//", any blanks, an optional sign and up to four
// characters of number in all, then any blanks.
bool parse_header(const std::string& line, int& number)
{
    if (line.compare(0, 2, "//") != 0) return false;
    size_t at = 2;
    while (at < line.size() && isspace(static_cast<unsigned char>(line[at]))) ++at;
    size_t width = 4;
    bool negative = false;
    if (at < line.size() && (line[at] == '-' || line[at] == '+')) {
        negative = line[at] == '-';
        ++at;
        --width;
    }
    size_t digits = 0;
    int value = 0;
    while (at < line.size() && digits < width && isdigit(static_cast<unsigned char>(line[at]))) {
        value = value * 10 + (line[at++] - '0');
        ++digits;
    }
    if (digits == 0) return false;
    number = negative ? -value : value;
    return true;
}

// A text is refused when the conversions it asks for are not the values the code passes.
bool conversions_match(int number, const std::string& text)
{
    const char* expected = message_signature(number);
    if (!expected) return true;
    std::string found;
    return message_conversions(text.c_str(), found) && found == expected;
}

// `had_break`: the line ended with a line break (the last line of a file may not).
void store(LoadState& state, const std::string& line, bool had_break, int line_number, int number)
{
    if (line.size() <= kQuotePosition || line[kQuotePosition] != '"' ||
        (line.size() == kQuotePosition + 1 && !had_break)) {
        state.syntax_error(line_number);
        return;
    }
    std::string text = line.substr(kQuotePosition + 1);
    if (!text.empty() && text.back() == '"')
        text.pop_back();
    else if (!text.empty())
        state.unterminated(line_number);
    apply_escapes(text);
    if (!conversions_match(number, text)) {
        // Not even an earlier file's text: the substitute shows that this one is wrong.
        state.mismatch(line_number, number);
        apsMessageArray[number].clear();
        slot_set[number] = false;
        return;
    }
    apsMessageArray[number] = std::move(text);
    slot_set[number] = true;
}

}  // namespace

namespace {

// Reads one line, keeping at most kMaxLineLength bytes of it: the rest of a
// longer line is read past, never held. False at the end of the file.
bool read_line(std::streambuf& file, std::string& line, bool& had_break)
{
    line.clear();
    had_break = false;
    bool any = false;
    for (int c = file.sbumpc(); c != std::char_traits<char>::eof(); c = file.sbumpc()) {
        any = true;
        if (c == '\n') {
            had_break = true;
            break;
        }
        if (line.size() < kMaxLineLength) line += static_cast<char>(c);
    }
    return any;
}

// Reads every line of the open file; false when it holds too many messages.
bool read_messages(LoadState& state, std::streambuf& file)
{
    std::string line;
    bool had_break = false;
    int line_number = 0;
    int message_lines = 0;
    while (read_line(file, line, had_break)) {
        ++line_number;
        if (!line.empty() && (line[0] == '#' || line[0] == '\0')) continue;
        int number = -1;
        if (!parse_header(line, number)) {
            state.syntax_error(line_number);
            number = -1;
        } else if (++message_lines > kMessageSlots - 1) {
            sPrintText(current_tab, "\0034E' stato superato il numero massimo di messaggi gestibili dal plugin.");
            printf("\nE' stato superato il numero massimo di messaggi gestibili dal plugin.\n");
            return false;
        }
        if (number < 0 || number >= kMessageSlots) {
            state.out_of_range(line_number, number);
            continue;
        }
        store(state, line, had_break, line_number, number);
    }
    return true;
}

int load_message_file(const char* language)
{
    if (!ssFlagAlredyLoaded) {
        puts("  - Initializing Memory Map File.");
        FlushMessage();
    }
    if (!language || !*language) return 0;
    LoadState state;
    puts("  - Calculating Language File Path.");
    state.path = quibo_data_path(std::string("quibo_") + language + ".msg");
    printf("  - Parsing Language File ....");
    if (!zemDeviceReady(state.path.c_str(), "r")) {
        printf("ERROR: Unable to load file %s; reason: %s\n", state.path.c_str(), strerror(errno));
        return 0;
    }
    std::filebuf file;
    if (!file.open(state.path, std::ios::in | std::ios::binary) || !read_messages(state, file)) return 0;
    ssFlagAlredyLoaded = 1;
    puts(" completed.");
    return 1;
}

}  // namespace

int LoadMessageFile(const char* language)
{
    if (iFlagDebugModeFnc > 1) DebugPlugin(0, "BEGIN: LoadMessageFile(%s)", language ? language : "");
    int loaded = load_message_file(language);
    if (iFlagDebugModeFnc > 1) DebugPlugin(0, "END: LoadMessageFile() = %d", loaded);
    return loaded;
}

namespace {

const std::string& message_text(int number)
{
    if (number >= 0 && number < kMessageSlots && slot_set[number] && !apsMessageArray[number].empty())
        return apsMessageArray[number];
    // One substitute per number (and load state), kept for the life of the process:
    // callers may hold the pointer they were given.
    const std::pair<bool, int> key{ssFlagAlredyLoaded != 0, number};
    auto found = substitutes.find(key);
    if (found != substitutes.end()) return found->second;
    char buffer[256];
    if (ssFlagAlredyLoaded)
        snprintf(buffer, sizeof buffer,
                 "\0034ATTENZIONE: Messaggio numero %d fuori dal limite o comunque vuoto. Contattare la ZEM'Software !",
                 number);
    else
        snprintf(buffer, sizeof buffer,
                 "\0034ATTENZIONE: File dei messaggi non ancora caricato dal plugin. Contattare la ZEM'Software !");
    return substitutes.emplace(key, buffer).first->second;
}

}  // namespace

const char* GetMessage(int number)
{
    if (iFlagDebugModeFnc > 2) DebugPlugin(0, "BEGIN: GetMessage(%d)", number);
    const std::string& text = message_text(number);
    psMessagePointer = const_cast<std::string*>(&text);
    if (iFlagDebugModeFnc > 2) DebugPlugin(0, "END: GetMessage() = %s", text.c_str());
    return text.c_str();
}

void PrintMessage(int number) { sPrintText(current_tab, "%s", GetMessage(number)); }

void FlushMessage()
{
    if (iFlagDebugModeFnc > 2) DebugPlugin(0, "BEGIN: FlushMessage()");
    for (std::string& text : apsMessageArray) std::string().swap(text);
    slot_set.fill(false);
    if (psMessagePointer && psMessagePointer >= &apsMessageArray.front() && psMessagePointer <= &apsMessageArray.back())
        psMessagePointer = nullptr;
    if (iFlagDebugModeFnc > 2) DebugPlugin(0, "END: FlushMessage()");
}

bool message_conversions(const char* text, std::string& conversions)
{
    conversions.clear();
    for (const char* at = text; at && *at; ++at) {
        if (*at != '%') continue;
        ++at;
        if (*at == '%') continue;
        at += strspn(at, "-+ #0'");
        at += strspn(at, "0123456789");
        if (*at == '.') {
            ++at;
            at += strspn(at, "0123456789");
        }
        std::string length;
        while (*at && strchr("hlLqjzt", *at)) length += *at++;
        char kind = conversion_kind(length, *at);
        if (!kind) return false;
        conversions += kind;
    }
    return true;
}
