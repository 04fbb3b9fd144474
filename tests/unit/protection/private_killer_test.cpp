// The guard's list: its file, the verdict, adding, deleting, saving and the
// listings; and a save killed at random moments.
#include "guard_fixture.h"

#include "host/host.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <random>

namespace {

class PrivateKiller : public GuardTest {};

TEST_F(PrivateKiller, WithoutAFileEveryVerdictIsUnknownAndNothingIsLoaded)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_killed_user_flag("bob", "bob@some.host"), kPKUnknown);
    EXPECT_EQ(get_file_time(list_path().c_str()), 0);
    EXPECT_EQ(get_file_time(""), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "an absent list is no error";
    EXPECT_EQ(uiKillerUserNumber, 0u);
    EXPECT_EQ(tKillerUserFileMod, 0);
    EXPECT_EQ(save_killed_user_list(), 0) << "an empty list writes nothing";
    struct stat info{};
    EXPECT_NE(stat(list_path().c_str(), &info), 0);
}

TEST_F(PrivateKiller, AllowEntriesWinOverDenyEntriesAndFullMatchesOverPartOnes)
{
    write_list("3 bob bob@good.host\n-3 eve eve@bad.host\n");
    KilledUser* best = nullptr;
    EXPECT_EQ(get_killed_user_flag("bob", "bob@good.host", &best), kPKAllowedBoth);
    ASSERT_NE(best, nullptr);
    EXPECT_STREQ(best->psUserNick(), "bob");
    EXPECT_EQ(get_killed_user_flag("BOB", "BOB@Good.Host"), kPKAllowedBoth) << "without regard to case";
    EXPECT_EQ(get_killed_user_flag("bob", "other@where"), kPKAllowedNick);
    EXPECT_EQ(get_killed_user_flag("carl", "bob@good.host"), kPKAllowedAddress);
    EXPECT_EQ(get_killed_user_flag("eve", "eve@bad.host"), kPKBlockedBoth);
    EXPECT_EQ(get_killed_user_flag("eve", "other@where"), kPKBlockedNick);
    EXPECT_EQ(get_killed_user_flag("zed", "eve@bad.host"), kPKBlockedAddress);

    best = nullptr;
    EXPECT_EQ(get_killed_user_flag("bob", "eve@bad.host", &best), kPKAllowedNick) << "allow by nick, deny by address";
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->uiStatus, 3);

    EXPECT_EQ(get_killed_user_flag("zed", "zed@else.where", &best), kPKUnknown);
    EXPECT_EQ(best, nullptr);
    EXPECT_EQ(get_killed_user_flag("bob", "", &best), kPKUnknown) << "no address, no verdict";
    EXPECT_EQ(get_killed_user_flag(nullptr, "bob@good.host"), kPKUnknown);
    EXPECT_EQ(uiKillerUserNumber, 2u);
}

TEST_F(PrivateKiller, ASecondLineForTheSamePairKeepsTheFirstWarnsAndRewritesTheFile)
{
    write_list("3 bob bob@good.host\n-3 BOB Bob@Good.Host\n-3 eve eve@bad.host\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(get_killed_user_flag("bob", "bob@good.host"), kPKAllowedBoth);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("]> load_killed_user_file(" + list_path() +
                          ") WARNING at line: -3 BOB Bob@Good.Host (user already found)\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(entries(), (Lines{"-3 eve eve@bad.host", "3 bob bob@good.host"}));
    EXPECT_EQ(list_file(), "-3 eve eve@bad.host\n3 bob bob@good.host\n") << "rewritten without the duplicate";
    EXPECT_EQ(uiKillerUserNumber, 2u);
}

TEST_F(PrivateKiller, ALoadAndASaveReverseTheLinesAndOnlyStoredEntriesAreWritten)
{
    write_list("3 a a@x\n-3 b b@x\n3 c c@x\n");
    load_killed_user_file();
    EXPECT_EQ(entries(), (Lines{"3 c c@x", "-3 b b@x", "3 a a@x"}));
    ASSERT_EQ(add_killed_user("t", "t@x", 3, 1), 1);
    ASSERT_EQ(save_killed_user_list(), 1);
    EXPECT_EQ(list_file(), "3 c c@x\n-3 b b@x\n3 a a@x\n");
    EXPECT_EQ(get_file_time(list_path().c_str()), tKillerUserFileMod);
    struct stat info{};
    EXPECT_NE(stat((list_path() + ".tmp").c_str(), &info), 0) << "no temporary file left behind";
}

TEST_F(PrivateKiller, TemporaryEntriesGoWhenTheFileChangesButOurOwnSaveKeepsThem)
{
    write_list("3 bob bob@good.host\n");
    load_killed_user_file();
    ASSERT_EQ(add_killed_user("eve", "eve@some.host", 3, 1), 1);
    ASSERT_EQ(add_killed_user("carl", "carl@some.where", -3, 0), 1);
    ASSERT_EQ(save_killed_user_list(), 1);
    EXPECT_EQ(get_killed_user_flag("eve", "eve@some.host"), kPKAllowedBoth) << "our own save is not read back";

    // Edited outside, within the same second: the new file is still noticed.
    write_list("-3 zed zed@some.where\n3 bob bob@good.host\n");
    EXPECT_EQ(get_killed_user_flag("eve", "eve@some.host"), kPKUnknown);
    EXPECT_EQ(entries(), (Lines{"3 bob bob@good.host", "-3 zed zed@some.where"}));

    // A file that cannot be read keeps the list as it was.
    unlink(list_path().c_str());
    home.make_dir(".xchat2/quiboscript/private_killer.txt");
    testing::internal::CaptureStderr();
    load_killed_user_file();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("load_killed_user_file(" + list_path() + ") ERROR: "),
              std::string::npos);
    EXPECT_EQ(uiKillerUserNumber, 2u);
}

TEST_F(PrivateKiller, BadLinesAreSkippedWithTheirReasonAndTheRestLoads)
{
    const std::string too_long = "3 " + std::string(1000, 'n') + " " + std::string(30, 'a');
    write_list("3 onlynick\n\nx bob a@b\n3 ok ok@host extra words\r\n99999999999 big b@c\n" + too_long + "\n");
    testing::internal::CaptureStderr();
    load_killed_user_file();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("ERROR at line: 3 onlynick (10:10)"), std::string::npos) << errors;
    EXPECT_NE(errors.find("ERROR at line: x bob a@b (9:1)"), std::string::npos) << errors;
    EXPECT_NE(errors.find("ERROR at line: 99999999999 big b@c"), std::string::npos) << "out of the int range";
    EXPECT_NE(errors.find("(1033:0)"), std::string::npos) << "a line longer than the file allows";
    EXPECT_EQ(entries(), (Lines{"3 ok ok@host"}));
}

TEST_F(PrivateKiller, AddRefusesAnyMatchingEntryAndDeleteRemovesEveryMatch)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(add_killed_user("bob", "bob@a.host", 3, 0), 1);
    EXPECT_EQ(add_killed_user("BOB", "other@b.host", -3, 1), 0) << "the nick is listed";
    EXPECT_EQ(add_killed_user("eve", "bob@a.host", -3, 1), 0) << "the address is listed";
    EXPECT_EQ(add_killed_user("", "x@y", 3, 1), 0);
    EXPECT_EQ(add_killed_user("two words", "x@y", 3, 0), 0) << "the file could not hold it";
    EXPECT_EQ(add_killed_user("zed", nullptr, 2, 0), 0) << "a stored entry needs its address";
    EXPECT_EQ(add_killed_user("zed", nullptr, -2, 1), 1) << "a temporary one for a nick alone";
    EXPECT_EQ(add_killed_user("zed", nullptr, -2, 1), 0) << "but only once";
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("]> add_killed_user(BOB, other@b.host, -3, 1) ERROR: Unable to add user.\n"),
              std::string::npos);
    EXPECT_NE(errors.find("add_killed_user((null), x@y, 3, 1) ERROR"), std::string::npos);

    EXPECT_EQ(get_killed_user_flag("zed", "zed@any.host"), kPKBlockedNick);
    EXPECT_EQ(uiKillerUserNumber, 2u);

    ASSERT_EQ(add_killed_user("amy", "amy@c.host", 3, 1), 1);
    ASSERT_EQ(add_killed_user("ann", "ann@d.host", 3, 1), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(del_killed_user(nullptr, nullptr), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("del_killed_user((null), (null)) ERROR: Unable to delete user."),
              std::string::npos);
    EXPECT_EQ(del_killed_user("ZED", nullptr), 1);
    EXPECT_EQ(del_killed_user(nullptr, "AMY@c.host"), 1);
    EXPECT_EQ(del_killed_user("ann", "wrong@address"), 0) << "both must match when both are given";
    EXPECT_EQ(del_killed_user("ann", "ann@d.host"), 1);
    EXPECT_EQ(entries(), (Lines{"3 bob bob@a.host"}));
    EXPECT_EQ(uiKillerUserNumber, 1u);
    EXPECT_EQ(del_killed_user("bob", nullptr), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(del_killed_user("bob", nullptr), 0) << "an empty list";
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: Unable to delete user."), std::string::npos);
}

TEST_F(PrivateKiller, ASaveThatFailsKeepsTheOldFileAndSaysWhy)
{
    write_list("3 bob bob@good.host\n");
    load_killed_user_file();
    ASSERT_EQ(add_killed_user("eve", "eve@bad.host", -3, 0), 1);
    home.make_dir(".xchat2/quiboscript/private_killer.txt.tmp");  // the temporary file cannot be made
    testing::internal::CaptureStderr();
    EXPECT_EQ(save_killed_user_list(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("]> save_killed_user_list(" + list_path() + ") ERROR: "),
              std::string::npos);
    EXPECT_EQ(list_file(), "3 bob bob@good.host\n");
    EXPECT_EQ(get_killed_user_flag("eve", "eve@bad.host"), kPKBlockedBoth) << "the list is kept too";
}

TEST_F(PrivateKiller, ListingsShowEveryEntryOrOneNickInTheChosenWindow)
{
    write_list("-3 eve eve@bad.host\n3 bob bob@good.host\n");
    load_killed_user_file();
    ASSERT_EQ(add_killed_user("amy", "amy@some.host", 3, 1), 1);
    ASSERT_EQ(add_killed_user("eve2", "e@x", 0, 1), 1);
    sim.clear_records();
    print_killed_user_list(nullptr);
    EXPECT_EQ(take(), (Lines{"---\t\0034X\0036 eve2\017 [\0038 e@x\017 ] [\0034 TEMPORARY\017 ]",
                             "---\t\0033V\0036 amy\017 [\0038 amy@some.host\017 ] [\0034 TEMPORARY\017 ]",
                             "---\t\0033V\0036 bob\017 [\0038 bob@good.host\017 ] [\0033 STORED\017 ]",
                             "---\t\0034X\0036 eve\017 [\0038 eve@bad.host\017 ] [\0033 STORED\017 ]"}));
    print_killed_user(nullptr, "EVE");
    EXPECT_EQ(take(), (Lines{"---\t\0034X\0036 eve\017 [\0038 eve@bad.host\017 ]"}));

    hostsim::Context& other = sim.channel(*irc, "#other");
    iFlagCurrentTab = 0;
    print_killed_user(session_of(other.handle()), "bob");
    EXPECT_TRUE(printed().empty());
    EXPECT_EQ(sim.texts_in(other), (Lines{"---\t\0033V\0036 bob\017 [\0038 bob@good.host\017 ]"}));
}

TEST_F(PrivateKiller, AllowRulesCoverTheirNetworkAndDenyRulesCoverNothing)
{
    HostSession* sess = session_of(chan->handle());
    ASSERT_NE(sess->server, nullptr);
    const std::string host = sess->server->hostname;
    write_list("-3 /deny " + host + "\n");
    EXPECT_EQ(killed_user_rule_answer(*sess->server, "stranger"), kPKUnknown);
    write_list("3 /net irc.elsewhere.net\n3 /net2 " + host + "\n-3 /deny " + host + "\n");
    EXPECT_EQ(get_killed_user_flag("stranger", "s@where"), kPKUnknown) << "rules are no nick entries";
    EXPECT_EQ(killed_user_rule_answer(*sess->server, "stranger"), kPKAllowOnce)
        << "a later rule still counts after one for another network";
    write_list("3 /chan #quibo\n");
    load_killed_user_file();
    EXPECT_EQ(killed_user_rule_answer(*sess->server, "stranger"), kPKUnknown) << "not known in that channel";
    ChatUserPtr known = CreateUser(sess->server->servername.c_str(), "#quibo", "stranger", "s@where", nullptr);
    ASSERT_EQ(InsertUser(known), 1);
    EXPECT_EQ(killed_user_rule_answer(*sess->server, "STRANGER"), kPKAllowOnce) << "known in that channel";
    EXPECT_EQ(killed_user_rule_answer(*sess->server, "other"), kPKUnknown);
    FlushUser();
}

TEST_F(PrivateKiller, EachAnswerMakesItsEntryAndTheStoredOnesReachTheFile)
{
    EXPECT_EQ(killed_user_answer("a1", "a1@h", kPKAllowOnce), 1);
    EXPECT_EQ(killed_user_answer("a2", "a2@h", kPKAllowAlways), 1);
    EXPECT_EQ(killed_user_answer("r0", "r0@h", kPKRefuseOnce), 1);
    EXPECT_EQ(killed_user_answer("r1", "r1@h", kPKRefuseAlways), 1);
    EXPECT_EQ(killed_user_answer("x", "x@h", 4), 0) << "no entry for what is no answer";
    EXPECT_EQ(entries(), (Lines{"-3 r1 r1@h", "-3 r0 r0@h temporary", "3 a2 a2@h", "3 a1 a1@h temporary"}));
    EXPECT_EQ(list_file(), "-3 r1 r1@h\n3 a2 a2@h\n");
    EXPECT_EQ(get_killed_user_flag("r0", "r0@h"), kPKBlockedBoth);
    EXPECT_EQ(get_killed_user_flag("a1", "a1@h"), kPKAllowedBoth);
}

// The data folder in memory when the machine has one: syncing a thousand
// saves to a disk would take a minute, and a killed process is what is tested.
class MemoryHome {
public:
    MemoryHome()
    {
        char pattern[] = "/dev/shm/quibo-guard-XXXXXX";
        if (!mkdtemp(pattern)) return;
        folder = pattern;
        old_home = getenv("HOME");
        setenv("HOME", folder.c_str(), 1);
        mkdir((folder + "/.xchat2").c_str(), 0700);
        mkdir((folder + "/.xchat2/quiboscript").c_str(), 0700);
        quibo_paths_resolve();
    }
    ~MemoryHome()
    {
        if (folder.empty()) return;
        setenv("HOME", old_home.c_str(), 1);
        quibo_paths_resolve();
        std::string command = "rm -rf '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << "left " << folder;
    }
    MemoryHome(const MemoryHome&) = delete;
    MemoryHome& operator=(const MemoryHome&) = delete;

private:
    std::string folder;
    std::string old_home;
};

// Two lists, each written whole; a saver is killed at random moments until a
// thousand saves have been made. The file is always one list or the other.
TEST_F(PrivateKiller, ASaveKilledAtAnyMomentLeavesTheOldListOrTheNewOne)
{
    MemoryHome memory;
    auto make_list = [](const std::string& tag, int count) {
        flush_killed_user_list();
        for (int i = 0; i < count; ++i)
            add_killed_user((tag + std::to_string(i)).c_str(), (tag + "@host" + std::to_string(i)).c_str(),
                            i % 2 ? 3 : -3, 0);
    };
    make_list("old", 200);
    ASSERT_EQ(save_killed_user_list(), 1);
    const std::string old_list = list_file();
    make_list("new", 150);
    ASSERT_EQ(save_killed_user_list(), 1);
    const std::string new_list = list_file();
    ASSERT_NE(old_list, new_list);

    auto* saves = static_cast<std::atomic<int>*>(
        mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(saves, MAP_FAILED);
    new (saves) std::atomic<int>(0);
    std::mt19937 random(12345);
    int rounds = 0;
    while (saves->load() < 1000 && rounds < 2000) {
        ++rounds;
        const int before = saves->load();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0; i < 1000; ++i) {
                make_list(i % 2 ? "old" : "new", i % 2 ? 200 : 150);
                if (save_killed_user_list()) saves->fetch_add(1);
            }
            _exit(0);
        }
        // Killed once it is saving (a child can take a while to start), at a random moment.
        for (int waited = 0; saves->load() == before && waited < 20000; ++waited) usleep(100);
        usleep(std::uniform_int_distribution<useconds_t>(0, 10000)(random));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const std::string now_there = list_file();
        ASSERT_TRUE(now_there == old_list || now_there == new_list)
            << "round " << rounds << ": " << now_there.size() << " bytes";
    }
    EXPECT_GE(saves->load(), 1000);
    munmap(saves, sizeof(std::atomic<int>));
}

}  // namespace
