// /QUIBO dbsave typed in the simulated client: the plug-in's objects are linked
// into the test so that records can be made through the database's own operations.
#include "capture.h"
#include "linked_load.h"
#include "hostsim.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>


namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

class DatabaseSave : public testing::Test {
protected:
    DatabaseSave() : net(sim.add_server("irc.test.net", "me", "TestNet")), chan(sim.channel(net, "#quibo"))
    {
        install_language_file(home, "quibo_italiano.msg");
        sim.add_user(chan, "me", "me@local.host", "@");
        sim.focus(chan);
        handle = load_linked_plugin(sim, chan);
        unlink(path.c_str());
    }

    ~DatabaseSave() override
    {
        hostsim::StdoutCapture quiet;
        xchat_plugin_deinit(handle);
        FlushDatabases();
        SetCurrentDatabase(0);
        quiet.stop();
        sim.detach(handle);
        unlink(path.c_str());
    }

    static ChatUser* record(const char* channel, const char* nick, const char* address, const char* info)
    {
        ChatUserPtr user = CreateUser("irc.test.net", channel, nick, address, info);
        ChatUser* kept = user.get();
        EXPECT_EQ(InsertUser(user), 1);
        IsDatabaseChanged();
        return kept;
    }

    // Types the command and returns what the plug-in wrote on standard output meanwhile.
    std::string dbsave(const std::string& argument = "")
    {
        sim.clear_records();
        hostsim::StdoutCapture out;
        sim.type(chan, "/QUIBO dbsave" + argument);
        return out.stop();
    }

    std::vector<std::string> printed() const { return sim.texts_in(chan); }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server& net;
    hostsim::Context& chan;
    xchat_plugin* handle = nullptr;
    const std::string path = "/tmp/quiboscript_database_" + std::to_string(getpid()) + ".dat";
    const std::string saved = "--- QuIbOsCrIpT Database saved: " + path;
};

TEST_F(DatabaseSave, WritesTwelveFieldsPerRecordInListOrder)
{
    ChatUser* alice = record("#quibo", "alice", "~al@alice.example.org", "Alice A");
    alice->uiBadCount = 2;
    alice->uiStatus = -1;  // counted down by CTCP requests
    alice->tLastMessage = 0xFFFFFFFFLL;
    alice->set_last_message("ciao a tutti");
    ChatUser* me = record("#quibo", "me", "me@local.host", nullptr);
    SetSpecialUser(me, "me");
    me->tLastMessage = 0x100000005LL;
    record(nullptr, "bob", nullptr, nullptr);

    dbsave();
    EXPECT_EQ(printed(), (std::vector<std::string>{saved}));
    const std::vector<std::string> lines = split(read_file(path), '\n');
    ASSERT_EQ(lines.size(), 4u);  // three lines and the empty rest after the last newline
    EXPECT_EQ(lines[0], "irc.test.net\t(null)\tbob\t(null)\t(null)\t(null)\t(null)\t0\t0\t0\t0\t(null)");
    EXPECT_EQ(lines[1], "irc.test.net\t#quibo\talice\t~al@alice.example.org\t~al\talice.example.org\tAlice A\t2\t-1\t0\t-1\t"
                        "ciao a tutti");
    EXPECT_EQ(lines[2], "irc.test.net\t#quibo\tme\tme@local.host\tme\tlocal.host\t(null)\t0\t0\t1\t5\t(null)");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(split(lines[i], '\t').size(), 12u) << lines[i];

    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(info.st_uid, geteuid());
}

TEST_F(DatabaseSave, ALeftoverFileOfOursIsReplacedAndTheBackslashSavesQuietly)
{
    record("#quibo", "alice", "a@alice.host", nullptr);
    std::ofstream(path) << "stale contents\n";
    chmod(path.c_str(), 0644);
    dbsave(" \\");
    EXPECT_EQ(printed(), std::vector<std::string>{});
    EXPECT_EQ(read_file(path), "irc.test.net\t#quibo\talice\ta@alice.host\ta\talice.host\t(null)\t0\t0\t0\t0\t(null)\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST_F(DatabaseSave, ALinkAtThePathIsNeverFollowed)
{
    record("#quibo", "alice", "a@alice.host", nullptr);
    const std::string target = home.path() + "/target";
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    const std::string out = dbsave();
    EXPECT_EQ(printed(), std::vector<std::string>{});
    EXPECT_NE(out.find("ERROR: Cannot open database file (" + path + "); reason: "), std::string::npos) << out;
    EXPECT_NE(access(target.c_str(), F_OK), 0) << "the dump went through the link";
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
}

}  // namespace
