// The shipped language files against the signature table and the source:
// both load cleanly, every checked number has a text whose conversions are the
// ones the code passes, English overlays Italian, and every number the code
// fetches has a row in the table.
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "settings/command.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include "capture.h"
#include "hostsim.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kLanguages[] = {"italiano", "english"};

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Numbers of the message lines of a shipped file, in file order.
std::vector<int> numbers_in_file(const std::string& language)
{
    std::vector<int> numbers;
    std::istringstream lines(read_file(QUIBO_SOURCE_DIR "/data/quibo_" + language + ".msg"));
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("// ", 0) == 0) numbers.push_back(std::stoi(line.substr(3, 4)));
    return numbers;
}

std::vector<int> checked_numbers()
{
    std::vector<int> numbers;
    for (int number = 0; number < kMessageSlots; ++number)
        if (message_signature(number)) numbers.push_back(number);
    return numbers;
}

bool is_substitute(const char* text) { return std::string(text).find("ATTENZIONE: Messaggio numero") != std::string::npos; }

class MessageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.make_dir(".xchat2/quiboscript");
        for (const char* language : kLanguages) {
            std::string name = std::string("quibo_") + language + ".msg";
            home.copy_in(QUIBO_SOURCE_DIR "/data/" + name, ".xchat2/quiboscript/" + name);
        }
        quibo_paths_resolve();
        auto& irc = sim.add_server("irc.test.net", "me", "TestNet", "irc.test.net");
        chan = &sim.channel(irc, "#quibo");
        sim.focus(*chan);
        handle = sim.attach("quibo-unit", chan);
        plugin_install(std::make_unique<Plugin>(handle, "QuIbOsCrIpT", "d", "3.7.86", nullptr));
        current_tab = session_of(chan->handle());
        FlushMessage();
    }

    void TearDown() override
    {
        FlushMessage();
        current_tab = nullptr;
        host_records_flush();
        plugin_install(nullptr);
        sim.detach(handle);
    }

    // Loads a language; what it reported in the window and on standard output is kept.
    int load(const char* language)
    {
        sim.clear_records();
        hostsim::StdoutCapture capture;
        int result = LoadMessageFile(language);
        console = capture.stop();
        window = sim.texts_in(*chan);
        return result;
    }

    std::map<int, std::string> texts() const
    {
        std::map<int, std::string> all;
        for (int number : checked_numbers()) all[number] = GetMessage(number);
        return all;
    }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Context* chan = nullptr;
    xchat_plugin* handle = nullptr;
    std::string console;
    std::vector<std::string> window;
};

TEST_F(MessageFiles, EachFileLoadsWithoutReportsAndMatchesEverySignature)
{
    const auto checked = checked_numbers();
    ASSERT_GE(checked.size(), 800u);
    for (const char* language : kLanguages) {
        SCOPED_TRACE(language);
        FlushMessage();
        ASSERT_EQ(load(language), 1);
        EXPECT_TRUE(window.empty()) << window.front();
        for (const char* report : {"Errore", "ATTENZIONE", "non corrisponde", "fuori limite"})
            EXPECT_EQ(console.find(report), std::string::npos) << console;
        for (int number : checked) {
            const char* text = GetMessage(number);
            EXPECT_FALSE(is_substitute(text)) << number;
            std::string found;
            EXPECT_TRUE(message_conversions(text, found)) << number;
            EXPECT_EQ(found, message_signature(number)) << number << ": " << text;
            // A one-digit colour right before an inserted value would swallow a value
            // that starts with a digit ("2.16.1" shown as ".16.1").
            for (const char* at = strchr(text, '\003'); at; at = strchr(at + 1, '\003'))
                EXPECT_FALSE(isdigit(static_cast<unsigned char>(at[1])) && at[2] == '%') << number << ": " << text;
        }
        // Every text in the file is a checked one, written once.
        auto numbers = numbers_in_file(language);
        EXPECT_EQ(numbers.size(), checked.size());
        EXPECT_EQ(std::set<int>(numbers.begin(), numbers.end()), std::set<int>(checked.begin(), checked.end()));
    }
}

TEST_F(MessageFiles, EnglishOverlaysEveryItalianText)
{
    ASSERT_EQ(load("english"), 1);
    const auto english = texts();
    FlushMessage();
    ASSERT_EQ(load("italiano"), 1);
    const auto italian = texts();
    ASSERT_EQ(load("english"), 1);
    EXPECT_EQ(texts(), english);
    EXPECT_NE(italian.at(233), english.at(233));
}

TEST_F(MessageFiles, QuiboLanguageEnglishSwitchesTheTexts)
{
    ASSERT_EQ(load("italiano"), 1);
    std::string words_text[] = {"", "quibo", "language", "english"};
    std::string tails_text[] = {"", "quibo language english", "language english", "english"};
    std::vector<char*> word(kCommandWords, const_cast<char*>("")), word_eol(kCommandWords, const_cast<char*>(""));
    for (int i = 1; i < 4; ++i) {
        word[i] = words_text[i].data();
        word_eol[i] = tails_text[i].data();
    }
    iFlagBeep = 0;
    hostsim::StdoutCapture quiet;
    sim.clear_records();
    quibo_cmd(session_of(chan->handle()), 0, word.data(), word_eol.data());
    quiet.stop();
    const auto shown = sim.texts_in(*chan);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "\0033./xchat2/quibo_english.msg\0035 succesfully loaded."),
              shown.end());
    EXPECT_EQ(std::string(GetMessage(233)).rfind("\0033Message language:", 0), 0u);
    EXPECT_EQ(std::string(GetMessage(483)).rfind("\0033Help on the command", 0), 0u);
}

// Texts that are sent as client commands: with the values the code passes they
// form one command line.
TEST_F(MessageFiles, CommandTemplatesAreSingleClientCommands)
{
    const int templates[] = {14, 16, 17, 18, 30, 32, 33, 226, 280, 286, 704, 705, 764, 855, 983};
    for (const char* language : kLanguages) {
        FlushMessage();
        ASSERT_EQ(load(language), 1);
        for (int number : templates) {
            std::string text = GetMessage(number);
            std::string command = number == 983 ? "/ECHO " + text : text;  // 983 starts with the pipe command
            EXPECT_EQ(command.front(), '/') << language << " " << number;
            EXPECT_EQ(command.find_first_of("\r\n\003\002\017"), std::string::npos) << language << " " << number;
        }
    }
}

// Comments, string and character literals blanked out, so that digits in them are not read.
std::string code_only(const std::string& source)
{
    std::string out;
    for (size_t at = 0; at < source.size();) {
        if (source.compare(at, 2, "//") == 0) {
            at = source.find('\n', at);
            if (at == std::string::npos) break;
        } else if (source.compare(at, 2, "/*") == 0) {
            size_t end = source.find("*/", at + 2);
            at = end == std::string::npos ? source.size() : end + 2;
        } else if (source[at] == '"' || source[at] == '\'') {
            const char quote = source[at++];
            while (at < source.size() && source[at] != quote && source[at] != '\n') at += source[at] == '\\' ? 2 : 1;
            out += quote;
            out += quote;
            ++at;
        } else {
            out += source[at++];
        }
    }
    return out;
}

void add_numbers(const std::string& text, const std::string& where, std::map<int, std::string>& used)
{
    static const std::regex number(R"((^|[^\w.])(\d+)(?![\w.]))");
    for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it) {
        int value = std::stoi((*it)[2]);
        if (value >= 1 && value <= 1098) used.emplace(value, where);
    }
}

// Message numbers the plug-in's code fetches: literal GetMessage/PrintMessage
// arguments and, in files that fetch by a variable, the numbers in table rows,
// in "..._message = N" fields and in calls of helpers taking "int message".
std::map<int, std::string> numbers_used_by_code()
{
    static const std::regex direct(R"(\b(?:GetMessage|PrintMessage)\s*\(\s*(\d+)\s*\))");
    static const std::regex indirect(R"(\b(?:GetMessage|PrintMessage)\s*\(\s*[A-Za-z_])");
    static const std::regex row(R"(^\s*(\{|[A-Z][A-Z0-9_]*\())");
    static const std::regex field(R"(\b\w*[Mm]essage\s*=\s*(\d+))");
    static const std::regex helper(R"(\b(\w+)\s*\([^()]*\bint\s+message\b[^()]*\)\s*\{)");
    std::map<int, std::string> used;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QUIBO_SOURCE_DIR "/plugin")) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h") continue;
        const std::string where = entry.path().filename().string();
        const std::string code = code_only(read_file(entry.path().string()));
        for (std::sregex_iterator it(code.begin(), code.end(), direct), end; it != end; ++it)
            used.emplace(std::stoi((*it)[1]), where);
        if (!std::regex_search(code, indirect)) continue;
        std::istringstream lines(code);
        for (std::string line; std::getline(lines, line);)
            if (std::regex_search(line, row)) add_numbers(line, where + ": " + line, used);
        for (std::sregex_iterator it(code.begin(), code.end(), field), end; it != end; ++it)
            add_numbers((*it)[1], where, used);
        for (std::sregex_iterator it(code.begin(), code.end(), helper), end; it != end; ++it) {
            const std::regex call("\\b" + (*it)[1].str() + R"(\s*\(([^;{}]*)\)\s*;)");
            for (std::sregex_iterator c(code.begin(), code.end(), call); c != end; ++c)
                add_numbers((*c)[1], where + ": " + (*it)[1].str(), used);
        }
    }
    return used;
}

TEST(MessageSources, EveryNumberTheCodeFetchesHasASignature)
{
    const auto used = numbers_used_by_code();
    EXPECT_FALSE(used.empty());
    for (const auto& [number, where] : used) EXPECT_NE(message_signature(number), nullptr) << number << " in " << where;
}

}  // namespace
