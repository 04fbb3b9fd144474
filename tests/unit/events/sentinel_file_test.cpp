// quibo.snt: reading, writing, malformed lines, and writes that survive a crash.
#include "events_fixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

namespace {

using SentinelFile = EventsTest;

const std::string kQuotedLine =
    "Ripetizioni \"0\" Evento \"text\" Condizione \"hello=$data\" Azione \"/say hi \\\"there\\\"\"\n";

TEST_F(SentinelFile, EscapedQuotesReadBackPlainAndAreWrittenAgainTheSameWay)
{
    write_snt(kQuotedLine + "Ripetizioni \"-1\" Evento \"kick\" Condizione \"'a\\\"b=$ru\" Azione \"/say \\\\x\"\n");
    ASSERT_EQ(ReadSentinel(here(), nullptr), 0);
    ASSERT_EQ(uiSentinelInList, 2u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say hi \"there\"");
    EXPECT_EQ(sentinel_at(1, 0)->psCondition, "hello=$data");
    EXPECT_EQ(sentinel_at(2, 0)->psCondition, "'a\"b=$ru");
    EXPECT_EQ(sentinel_at(2, 0)->psCommand, "/say \\\\x");
    EXPECT_EQ(sentinel_at(2, 0)->iRepetitions, -1);
    EXPECT_EQ(sentinel_at(2, 0)->uiRemaining, 1);
    const std::string original = read_file(snt_path());
    unlink(snt_path().c_str());
    ASSERT_EQ(SaveSentinel(here(), nullptr), 0);
    EXPECT_EQ(read_file(snt_path()), original);
}

TEST_F(SentinelFile, AnythingTheStoreAcceptsComesBackFromTheFileUnchanged)
{
    const std::vector<std::string> commands = {
        "/say \"quoted\"", "/say a\\\"b", "/say \\\\\\\"", "/say \\;x", "/say ' \" '", "/say \"", "\"/say\"",
        "/say 50% \002b\003", "/say \\ in the middle"};
    for (const std::string& command : commands) ASSERT_EQ(add(0, "text", "\"x\"=$data", command), 0) << command;
    ASSERT_EQ(SaveSentinel(here(), nullptr), 0);
    ASSERT_EQ(ReadSentinel(here(), nullptr), 0);
    ASSERT_EQ(uiSentinelInList, commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(sentinel_at(static_cast<int>(i + 1), 0)->psCommand, commands[i]);
        EXPECT_EQ(sentinel_at(static_cast<int>(i + 1), 0)->psCondition, "\"x\"=$data");
    }
}

TEST_F(SentinelFile, MalformedLinesAreReportedAndSkippedAndTheRestIsRead)
{
    const std::string path = snt_path();
    write_snt("short\n" + kQuotedLine +
              "Ripetizioni \"0\" Evento \"text\" Condizione \"\" Azione \"/say empty condition\"\n"
              "Ripetizioni \"0\" Evento \"party\" Condizione \"*\" Azione \"/say bad kind\"\n"
              "\"9\" \"1\" \"text\" \"*\" \"/say five fields\"\n"
              "Ripetizioni \"0\" Evento \"text\" Condizione \"*\" Azione \"no break at the end\"");
    ASSERT_EQ(ReadSentinel(here(), nullptr), 0);
    const auto lines = printed();
    const std::vector<std::string> expected = {
        GetMessage(100),         message(105, 1, path.c_str()), message(102, 3, path.c_str()),
        message(103, 3, path.c_str()), message(89, "party"),    GetMessage(77),
        message(103, 4, path.c_str()), message(101, 5, path.c_str()), message(104, 6, path.c_str()),
        GetMessage(106)};
    std::vector<std::string> without_add_lines;
    for (const auto& line : lines)
        if (line.find("ADD\017") == std::string::npos) without_add_lines.push_back(line);
    EXPECT_EQ(without_add_lines, expected);
    ASSERT_EQ(uiSentinelInList, 2u);
    EXPECT_EQ(sentinel_at(2, 0)->iRepetitions, 1) << "the four fields nearest the end";
    EXPECT_EQ(sentinel_at(2, 0)->psCommand, "/say five fields");
}

TEST_F(SentinelFile, OverlongLinesAreSkipped)
{
    write_snt("Ripetizioni \"0\" Evento \"text\" Condizione \"*\" Azione \"/say " + std::string(5000, 'x') + "\"\n" +
              kQuotedLine);
    ASSERT_EQ(ReadSentinel(here(), nullptr), 0);
    EXPECT_TRUE(printed_message(1122, 1, snt_path().c_str()));
    EXPECT_EQ(uiSentinelInList, 1u);
}

TEST_F(SentinelFile, HiddenRulesSurviveReadingAndAreNeverWritten)
{
    add(0, "text", "*", "/say hidden", 1);
    add(0, "text", "*", "/say old user rule");
    write_snt(kQuotedLine);
    take();
    ASSERT_EQ(ReadSentinel(here(), nullptr), 0);
    EXPECT_EQ(printed()[0], GetMessage(97));
    ASSERT_EQ(sentinel_list.size(), 2u);
    EXPECT_EQ(sentinel_at(1, 1)->psCommand, "/say hidden");
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say hi \"there\"");
    ASSERT_EQ(SaveSentinel(here(), nullptr), 0);
    EXPECT_EQ(read_file(snt_path()), kQuotedLine);
}

TEST_F(SentinelFile, SavingToAnotherFileListsEachRuleAndAnEmptyListWritesAnEmptyFile)
{
    add(0, "text", "*", "/say a");
    add(-1, "kick", "*", "/say b");
    take();
    const std::string other = home.path() + "/other.snt";
    ASSERT_EQ(SaveSentinel(here(), other.c_str()), 0);
    EXPECT_EQ(take(), (std::vector<std::string>{
                          GetMessage(109), "\0034SAVED\017:[\0036   1\017]\t\0033 0\0034 text\0037 *\0038 /say a\017",
                          "\0034SAVED\017:[\0036   2\017]\t\0033 ?\0034 kick\0037 *\0038 /say b\017",
                          GetMessage(106)}));
    FlushAllSentinel();
    ASSERT_EQ(SaveSentinel(here(), other.c_str()), 0);
    EXPECT_EQ(read_file(other), "");
    EXPECT_EQ(printed()[0], message(107, snt_path().c_str()));
    EXPECT_EQ(ReadSentinel(here(), (home.path() + "/missing.snt").c_str()), 1);
}

TEST_F(SentinelFile, AFailedSaveKeepsTheOldFile)
{
    write_snt(kQuotedLine);
    add(0, "text", "*", "/say new");
    // The temporary file cannot be made: a folder stands in its place.
    mkdir((snt_path() + ".tmp").c_str(), 0755);
    take();
    EXPECT_EQ(SaveSentinel(here(), nullptr), 1);
    EXPECT_EQ(printed(), std::vector<std::string>{message(99, snt_path().c_str())});
    EXPECT_EQ(read_file(snt_path()), kQuotedLine);
    rmdir((snt_path() + ".tmp").c_str());
}

// A child saves two different lists in turn, as fast as it can, and is killed
// at random moments: the file is always one list or the other, whole.
constexpr int kSaves = 1000;

TEST_F(SentinelFile, KilledWhileSavingLeavesTheOldOrTheNewFile)
{
    add(0, "text", "*", "/say first list " + std::string(1500, 'a'));
    add(0, "kick", "me=$lu", "/join $channel");
    ASSERT_EQ(SaveSentinel(here(), nullptr), 0);
    const std::string first = read_file(snt_path());
    add(7, "jchannel", "*", "/msg $ru " + std::string(2000, 'b'));
    ASSERT_EQ(SaveSentinel(here(), nullptr), 0);
    const std::string second = read_file(snt_path());

    std::mt19937 random(12345);
    int saves = 0, kills = 0;
    while (saves < kSaves) {
        int counts[2];
        ASSERT_EQ(pipe(counts), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(counts[0]);
            hostsim::StdoutCapture quiet;
            for (int round = 0;; ++round) {
                if (round % 2 == 0)
                    sentinel_list.back()->uiSpecial = 1, --uiSentinelInList;
                else
                    sentinel_list.back()->uiSpecial = 0, ++uiSentinelInList;
                SaveSentinel(here(), nullptr);
                if (write(counts[1], "s", 1) != 1) _exit(1);
            }
        }
        close(counts[1]);
        usleep(std::uniform_int_distribution<int>(0, 20000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ++kills;
        char buffer[4096];
        for (ssize_t n; (n = read(counts[0], buffer, sizeof buffer)) > 0;) saves += static_cast<int>(n);
        close(counts[0]);
        const std::string now = read_file(snt_path());
        ASSERT_TRUE(now == first || now == second) << "after " << saves << " saves: " << now.size() << " bytes";
    }
    EXPECT_GT(kills, 1);
}

}  // namespace
