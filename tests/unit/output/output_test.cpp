// Escapes, terminal colours, painting, the window choice and the log appender.
#include "clock.h"
#include "host/host.h"
#include "output/output.h"
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

std::string byte_form(std::string text, int numeric)
{
    check_special_chars(text.data(), numeric);
    return text.c_str();
}

std::string utf8_form(std::string text, int numeric)
{
    check_special_chars_utf8(text, numeric);
    return text;
}

std::string or_null(const char* text) { return text ? text : "(null)"; }

}  // namespace

TEST(PercentEscapes, BothFormsTranslateTheSameWay)
{
    const std::tuple<const char*, int, const char*> cases[] = {
        {"%Bbold%O", 1, "\002bold\017"}, {"%C4red%C", 1, "\0034red\003"}, {"%R%U", 0, "\026\037"},
        {"100%", 1, "100%"},             {"%%C", 1, "%C"},                {"%c%x", 1, "%c%x"},
        {"%065", 1, "A"},                {"%300", 1, ","},                {"%065", 0, "%065"},
        {"x%06", 1, "x%06"},             {"%%065", 1, "%065"},
        {"a%010b%013%000", 1, "a%010b%013%000"},  // never a control byte: a command stays one line
    };
    for (const auto& [in, numeric, out] : cases) {
        EXPECT_EQ(byte_form(in, numeric), out) << in;
        EXPECT_EQ(utf8_form(in, numeric), out) << in;
    }
    EXPECT_EQ(utf8_form("caf%233", 1), "caf\xE9") << "the C locale cannot convert it: the byte stays";
}

TEST(TerminalColours, SequencesBecomeIrcColours)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\033[1;31mX", "\00307X"},  // bright red is orange
        {"\033[0mX\033[m", "\017X\017"},
        {"\033[32;44m", "\0033,02"},
        {"\033[2Jclear\r\n", "clear\n"},
        {"\033[33m\033[44m", "\00305\00310,02"},        // the held foreground is mapped again
        {"\033[1;32mA\033[0m\033[34mB", "\00309A\017\00312B"},  // "1;" stays the first number
        {"\033[99999999999999999999m", "\0031,01"},      // digits past 15 are dropped
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(exec_handle_colors(in), out) << in;

    char grows[] = "\033[40m\033[1m\0GUARD";  // becomes "\0031,01\0034,04": longer than itself
    exec_handle_colors(grows, 9);
    EXPECT_STREQ(grows, "\0031,01\0034,0");
    EXPECT_STREQ(grows + 10, "GUARD");
}

TEST(MsgColor, PaintsKeepsCharactersWholeAndRefusesWhatDoesNotFit)
{
    EXPECT_EQ(or_null(msg_color("hi", Colors, 6, 7, "/say ")), "/say %C0,1 h%C6,1 i");
    EXPECT_EQ(or_null(msg_color("\xC3\xA8" "5", Colors, 6, 7, "")), "%C0,1 \xC3\xA8%C6,1 5");
    EXPECT_EQ(msg_color("", Colors, 6, 7, "/say "), nullptr);
    EXPECT_EQ(msg_color(std::string(200, 'a').c_str(), Colors, 6, 7, ""), nullptr);
    EXPECT_EQ(strlen(msg_color(std::string(145, 'a').c_str(), Colors, 6, 7, "")), 6u + 144 * 7 + 1);
    OutputRoutineInitialize(1, 0, 1);
    EXPECT_EQ(or_null(msg_color("hi", Colors, 6, 7, "/say ")), "/say hi");
    EXPECT_EQ(iFlagQuiboMessageLocal + iFlagPrintCloneLocal, 2);
    const std::string unit = std::string("%C0,") + Colors4[4] + " ";
    EXPECT_GE(Colors4[4], '1');
    EXPECT_LE(Colors4[4], '9');
    EXPECT_EQ(std::string(Colors4), unit + unit + unit + unit + unit + unit + unit + unit + unit);
    OutputRoutineInitialize(0, 1, 0);
}

class GetContextTest : public testing::Test {
protected:
    void SetUp() override
    {
        iFlagCurrentTab = 0;
        libera.servername = "irc.Libera.chat";
        for (auto [server, channel] : {std::pair{&libera, "irc.libera.chat"}, {&libera, "#Quibo"}, {&oftc, "#other"},
                                       {&libera, "#more"}}) {
            sessions.push_back(std::make_unique<HostSession>(HostSession{nullptr, server, channel}));
            sess_list.push_back(sessions.back().get());
        }
        current_tab = &focused;
    }
    void TearDown() override
    {
        iFlagCurrentTab = 1;
        sess_list.clear();
        current_tab = nullptr;
    }
    HostServer libera, oftc;
    HostSession focused;
    std::vector<std::unique_ptr<HostSession>> sessions;
};

TEST_F(GetContextTest, ChoosesByServerAndChannel)
{
    EXPECT_EQ(GetContext("IRC.LIBERA.CHAT", "#QUIBO"), sessions[1].get());
    EXPECT_EQ(GetContext("irc.libera.chat", "#nowhere"), sessions[3].get()) << "the server's last session";
    EXPECT_EQ(GetContext("irc.unknown.net", "#Other"), sessions[2].get()) << "a channel on any server";
    EXPECT_EQ(GetContext("irc.unknown.net", "#none"), &focused);
    iFlagCurrentTab = 1;
    EXPECT_EQ(GetContext("irc.libera.chat", "#quibo"), &focused);
}

namespace {
time_t fake_time = 1000;
time_t fake_now() { return fake_time; }
}  // namespace

TEST(WriteLog, StampsLinesWithPidAndSecondsSinceTheFirstCall)
{
    set_clock_source(fake_now);
    const std::string path = testing::TempDir() + "quibo_writelog.log";
    std::remove(path.c_str());
    EXPECT_EQ(sPrintLog(path.c_str(), "first %d", 1), 1);
    fake_time += 7;
    EXPECT_EQ(WriteLog(path.c_str(), "second"), 1);
    WriteLog(nullptr, nullptr);
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    const std::string pid = std::to_string(getpid());
    EXPECT_EQ(text.str(), pid + "_00000 : first 1\n" + pid + "_00007 : second\n");
    set_clock_source(nullptr);
}
