// The indexed database against the plain reference list: one long random
// sequence of operations drives both, and every answer must agree.
#include "reference_list.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using reference::Record;
using reference::Text;

const std::vector<const char*> kServers = {"irc.a.net", "IRC.A.NET", "irc.b.org", nullptr};
const std::vector<const char*> kChannels = {"#chan", "#Chan", "#other", "*", "#x", kZombieChannel, nullptr, nullptr};
const std::vector<const char*> kIdents = {"u", "U", "~id", "web"};
// Case variants, an empty host, two hosts whose hashes collide although their letters differ in case, and hosts
// that share their first eight letters (exactly eight, more, or differing only in case after them).
const std::vector<const char*> kHosts = {"a.host",         "A.HOST",           "b.host",           "ADbc",
                                         "adBC",           "c",                "",                 "zz.example.com",
                                         "users.ex",       "users.example.net", "USERS.EXAMPLE.org", "users.exa",
                                         "users.example.NET.x"};
const std::vector<const char*> kInfos = {"real name", "REAL NAME", "another"};

Text text_of(const char* text) { return text ? Text(text) : std::nullopt; }

testing::AssertionResult same_text(const char* what, const char* real, const Text& expected)
{
    if (!real && !expected) return testing::AssertionSuccess();
    if (real && expected && *expected == real) return testing::AssertionSuccess();
    return testing::AssertionFailure() << what << ": real " << (real ? real : "(absent)") << ", expected "
                                       << (expected ? *expected : "(absent)");
}

testing::AssertionResult same_record(const ChatUser* real, const Record* expected)
{
    if (!real || !expected) {
        if (!real && !expected) return testing::AssertionSuccess();
        return testing::AssertionFailure() << "real " << (real ? "record" : "none") << ", expected "
                                           << (expected ? "record" : "none");
    }
    for (auto check : {same_text("server", real->psServer(), expected->server),
                       same_text("channel", real->psChannel(), expected->channel),
                       same_text("nick", real->psUserNick(), expected->nick),
                       same_text("address", real->psAddress(), expected->address),
                       same_text("ident", real->psIdent(), expected->ident),
                       same_text("host", real->psHost(), expected->host),
                       same_text("info", real->psInfo(), expected->info),
                       same_text("last message", real->psLastMessage(), expected->last_message)})
        if (!check) return check;
    if (real->tLastMessage != expected->time || real->uiHostHash != expected->host_hash ||
        real->usSpecial != expected->special || real->uiStatus != expected->status || real->uiKeep != expected->keep ||
        real->uiQuery != expected->query || real->uiAnswer != expected->answer ||
        real->uiBadCount != expected->bad_count || real->usFloodCount != expected->flood_count)
        return testing::AssertionFailure() << "numbers differ for tag " << expected->time;
    return testing::AssertionSuccess();
}

std::string dump_of(reference::Databases& ref)
{
    std::string out;
    auto shown = [](const Text& t) { return t ? *t : std::string("(null)"); };
    for (Record* r = ref.db().first; r; r = r->next) {
        char numbers[96];
        snprintf(numbers, sizeof numbers, "\t%d\t%d\t%d\t%d\t", r->bad_count, r->status, r->special,
                 static_cast<int32_t>(static_cast<uint32_t>(r->time)));
        out += shown(r->server) + "\t" + shown(r->channel) + "\t" + shown(r->nick) + "\t" + shown(r->address) + "\t" +
               shown(r->ident) + "\t" + shown(r->host) + "\t" + shown(r->info) + numbers + shown(r->last_message) +
               "\n";
    }
    return out;
}

class Driver {
public:
    explicit Driver(unsigned seed) : random_(seed) {}

    void step()
    {
        const int roll = pick(1000);
        if (roll < 280) return insert();
        if (roll < 380) return modify();
        if (roll < 470) return remove();
        if (roll < 620) return get_user();
        if (roll < 800) return get_user_next();
        if (roll < 820) return stat_user();
        if (roll < 850) return search();
        if (roll < 870) return search_next();
        if (roll < 920) return position();
        if (roll < 935) return select();
        if (roll < 960) return changed_flag();
        if (roll < 975) return change_in_place();
        if (roll < 985) return query_setup();
        if (roll < 992) return zombie();
        if (roll < 993) return flush();
        if (roll < 995) return dump();
        return whole_list();
    }

    void whole_list()
    {
        ASSERT_EQ(GetSize(), ref_.db().size);
        const ChatUser* real = GetFirst();
        for (Record* r = ref_.db().first; r; r = r->next, real = real ? real->pcuNext() : nullptr)
            ASSERT_TRUE(same_record(real, r));
        ASSERT_EQ(real, nullptr);
        ASSERT_TRUE(same_record(GetLast(), ref_.db().last));
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    template <typename T>
    T pick(const std::vector<T>& from)
    {
        return from[pick(static_cast<int>(from.size()))];
    }
    const char* maybe(const std::vector<const char*>& from, int absent_in)
    {
        return pick(absent_in) == 0 ? nullptr : pick(from);
    }
    std::string nick() { return (pick(4) == 0 ? "NICK" : "nick") + std::to_string(pick(40)); }
    std::string address()
    {
        const int kind = pick(10);
        if (kind == 0) return pick(kIdents);  // no at sign
        return std::string(pick(kIdents)) + "@" + pick(kHosts);
    }

    struct Made {
        ChatUserPtr real;
        Record* expected;
    };
    Made make()
    {
        std::string n = nick(), a = address();
        const char* server = maybe(kServers, 8);
        const char* channel = pick(kChannels);
        const char* nick_text = pick(30) ? n.c_str() : nullptr;
        const char* address_text = pick(4) ? a.c_str() : nullptr;
        const char* info = pick(10) == 0 ? pick(kInfos) : nullptr;
        Made made{CreateUser(server, channel, nick_text, address_text, info),
                  ref_.adopt(reference::make(text_of(server), text_of(channel), text_of(nick_text),
                                             text_of(address_text), text_of(info)))};
        const int64_t tag = ++next_tag_ + (pick(2) ? int64_t{5000000000} : 0);
        made.real->tLastMessage = made.expected->time = tag;
        made.real->usFloodCount = made.expected->flood_count = static_cast<uint16_t>(pick(4));
        if (pick(3) == 0) {
            const std::string message = "hello " + std::to_string(pick(5));
            made.real->set_last_message(message.c_str());
            made.expected->last_message = message;
        }
        return made;
    }

    // A record of the current database picked by position, the same in both.
    std::pair<ChatUser*, Record*> existing()
    {
        const int position = 1 + pick(std::max(1, ref_.db().size));
        ChatUser* real = GetUserInPos(position);
        Record* expected = ref_.at(position);
        EXPECT_TRUE(same_record(real, expected));
        return {real, expected};
    }

    void insert()
    {
        Made made = make();
        const int result = InsertUser(made.real);
        ASSERT_EQ(result, ref_.insert(made.expected));
        ASSERT_EQ(made.real == nullptr, result == 1);
    }

    void modify()
    {
        auto [real, expected] = existing();
        if (!real) return;
        Made made = make();
        ChatUser* place = real;
        const int result = ModifyUser(place, made.real);
        ASSERT_EQ(result, ref_.modify(expected, made.expected));
        ASSERT_EQ(place, nullptr);
    }

    void remove()
    {
        auto [real, expected] = existing();
        if (!real) return;
        ChatUser* place = real;
        DeleteUser(place);
        ASSERT_TRUE(ref_.remove(expected));
        ASSERT_EQ(place, nullptr);
    }

    // Criteria drawn from the records' own values, each absent half of the time.
    void criteria(const char*& server, const char*& channel, std::string& nick_text, const char*& nick,
                  std::string& fourth_text, const char*& fourth, const char*& info)
    {
        server = maybe(kServers, 2);
        channel = pick(2) ? pick(kChannels) : nullptr;
        nick_text = this->nick();
        nick = pick(2) ? nick_text.c_str() : nullptr;
        const int kind = pick(3);
        fourth_text = kind == 0 ? address() : kind == 1 ? pick(kIdents) : pick(kHosts);
        fourth = pick(2) ? fourth_text.c_str() : nullptr;
        info = pick(8) == 0 ? pick(kInfos) : nullptr;
    }

    void get_user()
    {
        const char *server, *channel, *nick, *fourth, *info;
        std::string nick_text, fourth_text;
        criteria(server, channel, nick_text, nick, fourth_text, fourth, info);
        ASSERT_TRUE(same_record(GetUser(server, channel, nick, fourth, info),
                                ref_.get_user(text_of(server), text_of(channel), text_of(nick), text_of(fourth),
                                              text_of(info))));
    }

    void get_user_next()
    {
        for (int walk = pick(6); walk >= 0; --walk) ASSERT_TRUE(same_record(GetUserNext(), ref_.get_user_next()));
    }

    void stat_user()
    {
        const char *server, *channel, *nick, *fourth, *info;
        std::string nick_text, fourth_text;
        criteria(server, channel, nick_text, nick, fourth_text, fourth, info);
        ASSERT_EQ(StatUser(server, channel, nick, fourth, info),
                  ref_.stat_user(text_of(server), text_of(channel), text_of(nick), text_of(fourth), text_of(info)));
    }

    void search()
    {
        Made pattern = make();
        ASSERT_EQ(SearchUser(pattern.real.get()), ref_.search(*pattern.expected));
    }

    void search_next()
    {
        Made pattern = make();
        const int position = pick(ref_.db().size + 3) - 1;
        ASSERT_EQ(SearchUserNext(pattern.real.get(), position), ref_.search_next(*pattern.expected, position));
    }

    void position()
    {
        const int position = pick(ref_.db().size + 3) - 1;
        ASSERT_TRUE(same_record(GetUserInPos(position), ref_.at(position)));
    }

    void select()
    {
        const unsigned index = pick(4) ? 0 : static_cast<unsigned>(pick(18));
        SetCurrentDatabase(index);
        ref_.select(index);
        ASSERT_EQ(GetSize(), ref_.db().size);
    }

    void changed_flag()
    {
        if (pick(5) == 0) {
            SetDatabaseChanged();
            ref_.set_changed();
        } else {
            ASSERT_EQ(IsDatabaseChanged(), ref_.is_changed());
        }
    }

    // The state a replacement carries over, changed in place as handlers do.
    void change_in_place()
    {
        auto [real, expected] = existing();
        if (!real) return;
        const int32_t value = pick(2) ? kQueryAccepted : pick(300);
        real->uiQuery = expected->query = value;
        real->uiStatus = expected->status = value - 1;
        real->uiKeep = expected->keep = pick(2) ? kKeepUser : 0;
        real->uiAnswer = expected->answer = pick(4);
        real->uiBadCount = expected->bad_count = pick(9);
        real->usSpecial = expected->special = static_cast<uint16_t>(pick(2));
        if (pick(4) == 0) {
            const char* info = maybe(kInfos, 2);
            real->set_info(info);
            expected->info = text_of(info);
        }
    }

    void query_setup()
    {
        const int mode = pick(std::vector<int>{0, 2, 4, 6, 1});
        QuerySetup(mode);
        ref_.query_setup(mode);
    }

    void zombie()
    {
        auto [real, expected] = existing();
        if (!real) return;
        const bool moves = expected->channel && expected->channel->find(kZombieChannel) == std::string::npos;
        ASSERT_EQ(SetUserToZombie(real), moves ? 1 : 0);
        if (moves) expected->channel = kZombieChannel;
    }

    void flush()
    {
        FlushUser();
        ref_.flush();
    }

    void dump()
    {
        const char* path = SaveDatabase();
        ASSERT_NE(path, nullptr);
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        ASSERT_EQ(text.str(), dump_of(ref_));
        unlink(path);
    }

    std::mt19937 random_;
    reference::Databases ref_;
    int64_t next_tag_ = 0;
};

// Every database empty with its flag clear, database 0 selected.
void start_afresh()
{
    for (unsigned i = 0; i < kDatabaseCount; ++i) {
        SetCurrentDatabase(i);
        FlushUser();
        IsDatabaseChanged();
    }
    QuerySetup(0);
    SetCurrentDatabase(0);
}

class AgainstReference : public testing::TestWithParam<unsigned> {
protected:
    void SetUp() override { start_afresh(); }
    void TearDown() override { start_afresh(); }
};

TEST_P(AgainstReference, EveryAnswerAgreesOverALongRandomRun)
{
    Driver driver(GetParam());
    for (int i = 0; i < 100000; ++i) {
        driver.step();
        if (HasFatalFailure() || HasFailure()) FAIL() << "at operation " << i << ", seed " << GetParam();
        if (i % 5000 == 4999) {
            driver.whole_list();
            ASSERT_EQ(CheckDatabaseMemoryIntegrity(1), GetSize() > 0 ? 1 : 0) << "at operation " << i;
        }
    }
    driver.whole_list();
}

INSTANTIATE_TEST_SUITE_P(Seeds, AgainstReference, testing::Values(1u, 20261208u, 777u, 4242u));

}  // namespace
