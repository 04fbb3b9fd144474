// The user database's own rules, case by case.
#include "users/chatuser.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Database : public testing::Test {
protected:
    void SetUp() override { afresh(); }
    void TearDown() override { afresh(); }

    static void afresh()
    {
        for (unsigned i = 0; i < kDatabaseCount; ++i) {
            SetCurrentDatabase(i);
            FlushUser();
            IsDatabaseChanged();
        }
        QuerySetup(0);
        SetCurrentDatabase(0);
    }

    static ChatUser* add(const char* nick, const char* address, const char* channel = "#c",
                         const char* server = "irc.net")
    {
        ChatUserPtr user = CreateUser(server, channel, nick, address, nullptr);
        ChatUser* kept = user.get();
        const int inserted = InsertUser(user);
        IsDatabaseChanged();
        return inserted ? kept : nullptr;
    }

    static std::vector<std::string> nicks_in_order()
    {
        std::vector<std::string> nicks;
        for (const ChatUser* user = GetFirst(); user; user = user->pcuNext()) nicks.push_back(user->psUserNick());
        return nicks;
    }

    static std::vector<std::string> hits(const char* server, const char* channel, const char* nick,
                                         const char* fourth = nullptr)
    {
        std::vector<std::string> found;
        for (ChatUser* user = GetUser(server, channel, nick, fourth, nullptr); user; user = GetUserNext())
            found.push_back(user->psUserNick());
        return found;
    }
};

using Nicks = std::vector<std::string>;

TEST_F(Database, RecordsStandInHostOrderWithHostlessRecordsAhead)
{
    add("bee", "u@b");
    add("ay", "u@A");
    add("sea", "u@c");
    EXPECT_EQ(nicks_in_order(), (Nicks{"ay", "bee", "sea"}));
    add("nobody", nullptr);
    EXPECT_EQ(nicks_in_order(), (Nicks{"nobody", "ay", "bee", "sea"}));
    // A new host stops at the first record without one, even when it sorts after others further on.
    add("zed", "u@z");
    add("aa", "u@aa");
    EXPECT_EQ(nicks_in_order(), (Nicks{"aa", "zed", "nobody", "ay", "bee", "sea"}));
    EXPECT_EQ(GetSize(), 6);
    EXPECT_EQ(GetUserInPos(3)->psUserNick(), std::string("nobody"));
    EXPECT_EQ(GetUserInPos(0), nullptr);
    EXPECT_EQ(GetUserInPos(7), nullptr);
}

TEST_F(Database, AMatchingRecordIsRefusedAndStaysWithTheCaller)
{
    ASSERT_NE(add("Bob", "b@host"), nullptr);
    ChatUserPtr twin = CreateUser("IRC.NET", "#C", "bob", nullptr, nullptr);
    EXPECT_EQ(InsertUser(twin), 0);
    ASSERT_NE(twin, nullptr);
    FreeUser(twin);
    EXPECT_EQ(twin, nullptr);
    // Records need a nick, and a server or an address.
    ChatUserPtr nameless = CreateUser("irc.net", "#c", nullptr, "x@y", nullptr);
    ChatUserPtr nowhere = CreateUser(nullptr, "#c", "carl", nullptr, nullptr);
    EXPECT_EQ(InsertUser(nameless), 0);
    EXPECT_EQ(InsertUser(nowhere), 0);
    // A different address makes a different record.
    EXPECT_NE(add("bob", "other@host"), nullptr);
    EXPECT_EQ(GetSize(), 2);
}

TEST_F(Database, HostsDifferingInCaseHashDifferentlyAndDoNotMatchAsHosts)
{
    EXPECT_NE(HostHash("Host.Net"), HostHash("host.net"));
    // Squares of signed bytes: letters above 127 count as negative values.
    EXPECT_EQ(HostHash("\xff"), 1u);
    add("low", "u@host.net");
    QuerySetup(4);
    EXPECT_EQ(GetUser(nullptr, nullptr, nullptr, "HOST.NET", nullptr), nullptr);
    EXPECT_EQ(hits(nullptr, nullptr, nullptr, "host.net"), (Nicks{"low"}));
    // The address comparison alone ignores case.
    QuerySetup(0);
    EXPECT_EQ(hits(nullptr, nullptr, nullptr, "U@HOST.NET"), (Nicks{"low"}));
    // Case changes that keep the sum of squares still match as hosts.
    add("twin", "u@ADbc");
    QuerySetup(4);
    EXPECT_EQ(StatUser(nullptr, nullptr, nullptr, "adBC", nullptr), 1);
}

TEST_F(Database, SearchesGoRoundFromWhereTheLastOneLeftOff)
{
    add("a1", "u@a", "#one");
    add("b1", "u@b", "#one");
    add("c2", "u@c", "#two");
    add("d1", "u@d", "#one");
    EXPECT_EQ(hits("irc.net", "#one", nullptr), (Nicks{"a1", "b1", "d1"}));
    EXPECT_EQ(GetUser(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(StatUser(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    // The next search starts after the previous hit and wraps round.
    ASSERT_EQ(GetUser("irc.net", "#one", nullptr, nullptr, nullptr)->psUserNick(), std::string("a1"));
    ASSERT_EQ(GetUser("irc.net", nullptr, "c2", nullptr, nullptr)->psUserNick(), std::string("c2"));
    EXPECT_EQ(hits("irc.net", "#one", nullptr), (Nicks{"d1", "a1", "b1"}));
    // A change ends the running search; the next one starts from the first record.
    ASSERT_NE(GetUser("irc.net", "#one", nullptr, nullptr, nullptr), nullptr);
    add("e1", "u@e", "#one");
    EXPECT_EQ(GetUserNext(), nullptr);
    EXPECT_EQ(hits("irc.net", "#one", nullptr), (Nicks{"a1", "b1", "d1", "e1"}));
    SetDatabaseChanged();
    EXPECT_EQ(GetUserNext(), nullptr);
    EXPECT_EQ(IsDatabaseChanged(), 1);
    EXPECT_EQ(IsDatabaseChanged(), 0);
}

TEST_F(Database, SixteenDatabasesSelectedOneAtATime)
{
    add("zero", "u@h");
    ASSERT_NE(GetUser("irc.net", nullptr, "zero", nullptr, nullptr), nullptr);
    SetCurrentDatabase(16);
    EXPECT_EQ(CurrentDatabase(), 0u);
    EXPECT_EQ(GetSize(), 1);
    SetCurrentDatabase(1);
    EXPECT_EQ(GetSize(), 0);
    EXPECT_EQ(GetFirst(), nullptr);
    ChatUser* online = add("one", "u@h");
    SetCurrentDatabase(0);
    EXPECT_EQ(nicks_in_order(), (Nicks{"zero"}));
    // A record of another database is not this one's to delete.
    ChatUser* place = online;
    DeleteUser(place);
    EXPECT_EQ(place, online);
    EXPECT_EQ(GetSize(), 1);
    SetCurrentDatabase(1);
    EXPECT_EQ(nicks_in_order(), (Nicks{"one"}));
    DeleteUser(place);
    EXPECT_EQ(place, nullptr);
    EXPECT_EQ(GetSize(), 0);
}

TEST_F(Database, SpecialFlagFollowsTheExactNick)
{
    ChatUser* user = add("Me", "u@h");
    SetSpecialUser(user, "Me");
    EXPECT_EQ(user->usSpecial, 1);
    SetSpecialUser(user, "me");
    EXPECT_EQ(user->usSpecial, 0);
    user->usSpecial = 1;
    SetSpecialUser(user, nullptr);
    EXPECT_EQ(user->usSpecial, 1);
}

TEST_F(Database, CopiesLeaveTheLastMessageBehind)
{
    ChatUser* user = add("orig", "id@host", "#c");
    user->set_last_message("hi");
    user->uiQuery = 255;
    user->tLastMessage = 5;
    ChatUserPtr copy = CopyUser(user);
    EXPECT_STREQ(copy->psAddress(), "id@host");
    EXPECT_STREQ(copy->psIdent(), "id");
    EXPECT_STREQ(copy->psHost(), "host");
    EXPECT_EQ(copy->psLastMessage(), nullptr);
    EXPECT_EQ(copy->uiQuery, 255);
    EXPECT_EQ(copy->tLastMessage, 5);
    EXPECT_EQ(copy->pcuNext(), nullptr);
    ChatUserPtr bare = CreateUser("s", nullptr, "n", "no-at-sign", nullptr);
    EXPECT_STREQ(bare->psIdent(), "no-at-sign");
    EXPECT_STREQ(bare->psHost(), "");
    EXPECT_EQ(bare->uiHostHash, 0u);
}

TEST_F(Database, ASnapshotForgetsRecordsDeletedWhileItIsWalked)
{
    add("q", "u@a", "#one");
    add("q", "u@b", "#two");
    add("q", "u@c", "#three");
    UserSnapshot records("irc.net", nullptr, "q", nullptr, nullptr);
    ASSERT_EQ(records.hits().size(), 3u);
    ChatUser* second = records.hits()[1];
    DeleteUser(second);
    FlushUser();
    EXPECT_EQ(records.hits(), (std::vector<ChatUser*>{nullptr, nullptr, nullptr}));
}

TEST_F(Database, AnEmptyDatabaseDumpsToAnEmptyOwnFile)
{
    const char* path = SaveDatabase();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), "/tmp/quiboscript_database_" + std::to_string(getpid()) + ".dat");
    struct stat info {};
    ASSERT_EQ(lstat(path, &info), 0);
    EXPECT_EQ(info.st_size, 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    unlink(path);
}

TEST_F(Database, LargeListsKeepTheirOrderThroughManyInsertsAtOnePlace)
{
    // Front and middle inserts exhaust the gaps between neighbours again and again.
    add("hostless", nullptr);
    for (int i = 0; i < 3000; ++i) add(("f" + std::to_string(i)).c_str(), "u@m");
    for (int i = 0; i < 3000; ++i) add(("g" + std::to_string(i)).c_str(), nullptr);
    ASSERT_EQ(GetSize(), 6001);
    EXPECT_EQ(CheckDatabaseMemoryIntegrity(1), 1);
    EXPECT_STREQ(GetUserInPos(1)->psUserNick(), "g2999");
    EXPECT_STREQ(GetUserInPos(3000)->psUserNick(), "g0");
    EXPECT_STREQ(GetUserInPos(3001)->psUserNick(), "f2999");
    EXPECT_STREQ(GetUserInPos(6000)->psUserNick(), "f0");
    EXPECT_STREQ(GetUserInPos(6001)->psUserNick(), "hostless");
    EXPECT_EQ(StatUser(nullptr, nullptr, nullptr, "u@m", nullptr), 3000);
    FlushUser();
    EXPECT_EQ(CheckDatabaseMemoryIntegrity(1), 0);
}

}  // namespace

// A record keeps its texts in its own block while they fit; a longer info moves them out and a shorter one
// brings them back, and the record's own texts may be handed back to it.
TEST_F(Database, InfoChangesKeepEveryOtherTextWhereverTheTextsLive)
{
    ChatUserPtr user = CreateUser("irc.net", "#c", "nick", "ident@some.host", "short");
    ChatUser* record = user.get();
    const auto expect_texts = [&](const char* info) {
        EXPECT_STREQ(record->psUserNick(), "nick");
        EXPECT_STREQ(record->psAddress(), "ident@some.host");
        EXPECT_STREQ(record->psIdent(), "ident");
        EXPECT_STREQ(record->psHost(), "some.host");
        if (info)
            EXPECT_STREQ(record->psInfo(), info);
        else
            EXPECT_EQ(record->psInfo(), nullptr);
    };
    expect_texts("short");
    const std::string long_info(300, 'i');
    record->set_info(long_info.c_str());
    expect_texts(long_info.c_str());
    record->set_info(record->psInfo());  // its own text, wherever it lives
    expect_texts(long_info.c_str());
    record->set_info("tiny");
    expect_texts("tiny");
    record->set_info(record->psInfo());
    expect_texts("tiny");
    record->set_info(nullptr);
    expect_texts(nullptr);
    ASSERT_EQ(InsertUser(user), 1);
    record->set_info("after the insert, a text longer than the room the record was made with");
    expect_texts("after the insert, a text longer than the room the record was made with");
    EXPECT_EQ(GetUser("irc.net", "#c", "nick", nullptr, nullptr), record);
    EXPECT_EQ(CheckDatabaseMemoryIntegrity(1), 1);

    ChatUserPtr copy = CopyUser(record);
    EXPECT_STREQ(copy->psInfo(), record->psInfo());
    EXPECT_STREQ(copy->psHost(), "some.host");
}
