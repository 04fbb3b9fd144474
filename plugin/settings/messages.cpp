// Language message files.
#include "settings/messages.h"

#include "host/host.h"
#include "host/paths.h"
#include "output/output.h"

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

struct LoadState {
    std::string path;
    int reports = 0;

    bool may_report() { return reports++ < kReportCap; }

    void syntax_error(int line)
    {
        if (may_report())
            sPrintText(current_tab, "\0034Errore di sintassi nel file \0036%s\0034 alla riga\0036 %d \0034: Messaggio ignorato",
                       path.c_str(), line);
        printf("\nErrore di sintassi nel file %s alla riga %d : Messaggio ignorato\n", path.c_str(), line);
    }

    void out_of_range(int line, int number)
    {
        printf("\nIl messaggio alla riga %d risulta avere un indice fuori limite ( %d ): Messaggio ignorato\n", line,
               number);
        if (may_report())
            sPrintText(current_tab,
                       "\0034Il messaggio alla riga\0036 %d\0034 risulta avere un indice fuori limite (\0036 %d \0034): "
                       "Messaggio ignorato",
                       line, number);
    }

    void unterminated(int line)
    {
        if (may_report())
            sPrintText(current_tab,
                       "\0034ATTENZIONE: nel file \0036%s\0034 alla riga\0036 %d \0034 e' presente un Messaggio senza "
                       "terminatore.",
                       path.c_str(), line);
        printf("\nATTENZIONE: nel file %s alla riga %d e' presente un Messaggio senza terminatore.\n", path.c_str(),
               line);
    }
};

// The header: "//", blanks, up to four digits, one blank.
bool parse_header(const std::string& line, int& number)
{
    if (line.size() < 3 || line.compare(0, 2, "//") != 0) return false;
    size_t at = 2;
    while (at < line.size() && line[at] == ' ') ++at;
    size_t digits = 0;
    int value = 0;
    while (at < line.size() && digits < 4 && isdigit(static_cast<unsigned char>(line[at]))) {
        value = value * 10 + (line[at] - '0');
        ++at;
        ++digits;
    }
    if (digits == 0 || at >= line.size() || line[at] != ' ') return false;
    number = value;
    return true;
}

void store(LoadState& state, const std::string& line, int line_number, int number)
{
    if (line.size() <= kQuotePosition || line[kQuotePosition] != '"' || line.size() == kQuotePosition + 1) {
        state.syntax_error(line_number);
        return;
    }
    std::string text = line.substr(kQuotePosition + 1);
    if (!text.empty() && text.back() == '"')
        text.pop_back();
    else if (!text.empty())
        state.unterminated(line_number);
    apply_escapes(text);
    apsMessageArray[number] = std::move(text);
    slot_set[number] = true;
}

}  // namespace

int LoadMessageFile(const char* language)
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
    if (access(state.path.c_str(), R_OK) != 0) {
        printf("ERROR: Unable to load file %s; reason: %s\n", state.path.c_str(), strerror(errno));
        return 0;
    }
    std::ifstream file(state.path, std::ios::binary);
    if (!file) return 0;

    std::string line;
    int line_number = 0;
    int message_lines = 0;
    while (std::getline(file, line)) {
        ++line_number;
        if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
        if (line.empty() ? false : line[0] == '#') continue;
        int number = -1;
        if (!parse_header(line, number)) {
            state.syntax_error(line_number);
            number = -1;
        } else if (++message_lines > kMessageSlots - 1) {
            sPrintText(current_tab, "\0034E' stato superato il numero massimo di messaggi gestibili dal plugin.");
            printf("\nE' stato superato il numero massimo di messaggi gestibili dal plugin.\n");
            return 0;
        }
        if (number < 0 || number >= kMessageSlots) {
            state.out_of_range(line_number, number);
            continue;
        }
        store(state, line, line_number, number);
    }
    ssFlagAlredyLoaded = 1;
    puts(" completed.");
    return 1;
}

const char* GetMessage(int number)
{
    if (number >= 0 && number < kMessageSlots && slot_set[number] && !apsMessageArray[number].empty())
        return apsMessageArray[number].c_str();
    const std::pair<bool, int> key{ssFlagAlredyLoaded != 0, number};
    auto found = substitutes.find(key);
    if (found != substitutes.end()) return found->second.c_str();
    char buffer[256];
    if (ssFlagAlredyLoaded)
        snprintf(buffer, sizeof buffer,
                 "\0034ATTENZIONE: Messaggio numero %d fuori dal limite o comunque vuoto. Contattare la ZEM'Software !",
                 number);
    else
        snprintf(buffer, sizeof buffer,
                 "\0034ATTENZIONE: File dei messaggi non ancora caricato dal plugin. Contattare la ZEM'Software !");
    return substitutes.emplace(key, buffer).first->second.c_str();
}

void PrintMessage(int number) { sPrintText(current_tab, "%s", GetMessage(number)); }

void FlushMessage()
{
    for (std::string& text : apsMessageArray) std::string().swap(text);
    slot_set.fill(false);
    substitutes.clear();
}
