// Clone detection and the watch files, with the plug-in linked in: the reports
// as the user sees them, and the fast scans against a plain transcription of
// the detection loops that counts clones by walking the whole database.
#include "linked_plugin.h"

#include "handlers/handlers.h"
#include "output/output.h"
#include "settings/messages.h"

#include <strings.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <unordered_map>

namespace {

std::string format_message(int number, const std::vector<std::string>& v)
{
    char line[1024];
    const char* f = GetMessage(number);
    if (v.size() == 5)
        snprintf(line, sizeof line, f, v[0].c_str(), v[1].c_str(), v[2].c_str(), v[3].c_str(), v[4].c_str());
    else
        snprintf(line, sizeof line, f, v[0].c_str(), v[1].c_str(), v[2].c_str(), v[3].c_str());
    return line;
}

// The clone report of one pair, as message 224 shows it.
std::string clone_line(const ChatUser& a, const ChatUser& b)
{
    return format_message(224, {a.psUserNick(), a.psChannel() ? a.psChannel() : "", b.psUserNick(),
                                b.psChannel() ? b.psChannel() : "", b.psAddress() ? b.psAddress() : ""});
}

// ---- the detection loops, transcribed plainly -------------------------------------------------------

bool same(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }
bool filled(const char* text) { return text && *text; }

bool reference_is_clone(const ChatUser* a, const ChatUser* b)
{
    if (!filled(a->psUserNick()) || !filled(b->psUserNick()) || !filled(a->psHost()) || !filled(b->psHost()))
        return false;
    return !same(a->psUserNick(), b->psUserNick()) && a->uiHostHash == b->uiHostHash && same(a->psHost(), b->psHost());
}

int reference_threshold() { return iMaxCloneCount > 9 ? iMaxCloneCount / 3 : 3; }

std::vector<std::string> reference_clone_detector(const std::string& server, const char* channel)
{
    std::vector<std::string> out;
    auto on_server = [&](const ChatUser* u) { return !u->psServer() || same(u->psServer(), server.c_str()); };
    int reports = 0;
    ChatUser* current = GetFirst();
    for (int pass = 0; pass < GetSize() - 1; ++pass) {
        if (!current) continue;
        ChatUser* next = current->pcuNext();
        if (on_server(current)) {
            while (next && reference_is_clone(next, current)) {
                if (reports == iMaxCloneCount) return out;
                if (channel && !same(current->psChannel(), channel)) {
                    next = next->pcuNext();
                    continue;
                }
                int clones = 0;
                for (ChatUser* other = GetFirst(); other; other = other->pcuNext())
                    if (other != current && on_server(other) && (!channel || same(other->psChannel(), channel)) &&
                        reference_is_clone(other, current))
                        ++clones;
                if (clones < reference_threshold()) {
                    ++reports;
                    out.push_back(clone_line(*current, *next));
                }
                next = next->pcuNext();
            }
        }
        current = next;
    }
    return out;
}

std::vector<std::string> reference_search_clone(const char* window, const char* nick)
{
    std::unordered_map<const ChatUser*, int> position;
    int at = 0;
    for (ChatUser* u = GetFirst(); u; u = u->pcuNext()) position[u] = ++at;
    std::vector<std::string> out;
    int reports = 1;
    bool resumed = false;
    ChatUser* resume = nullptr;
    std::vector<ChatUser*> records;
    for (ChatUser* u = GetUser(nullptr, nullptr, nick, nullptr, nullptr); u; u = GetUserNext()) records.push_back(u);
    for (ChatUser* record : records) {
        if (!filled(record->psUserNick()) || !filled(record->psChannel()) || reports > iMaxCloneCount) break;
        if (!same(record->psUserNick(), window) && !same(record->psChannel(), window)) continue;
        ChatUser* candidate = record->pcuNext();
        if (resumed && candidate && (!resume || position[candidate] < position[resume])) candidate = resume;
        while (candidate && reference_is_clone(candidate, record) && reports != iMaxCloneCount) {
            int clones = 0;
            for (ChatUser* other = GetFirst(); other; other = other->pcuNext())
                if (other != record && same(other->psChannel(), record->psChannel()) &&
                    reference_is_clone(other, record))
                    ++clones;
            if (clones < reference_threshold()) {
                out.push_back(clone_line(*record, *candidate));
                ++reports;
            }
            candidate = candidate->pcuNext();
        }
        resumed = true;
        resume = candidate;
        if (reports == iMaxCloneCount) ++reports;
    }
    return out;
}

class Clones : public LinkedPlugin {
protected:
    void SetUp() override
    {
        iFlagCloneDetect = 1;
        iMaxCloneCount = 10;
        iFlagPrintClone = 0;
        iFlagCurrentTab = 1;
    }
    void TearDown() override { iMaxCloneCount = 10; }

    std::vector<std::string> detect(const char* channel)
    {
        sim.clear_records();
        CloneDetector(session(chan), channel);
        return printed();
    }
    std::vector<std::string> search(hostsim::Context& window, const char* nick)
    {
        HostSession* sess = session(window);
        sim.clear_records();
        SearchClone(sess, nick);
        return printed();
    }
};

using Lines = std::vector<std::string>;

TEST_F(Clones, TwoNicksOfOneHostAreOnePairAndOneNickInTwoChannelsIsNoClone)
{
    ChatUser* first = add("#chan", "ann", "a@same.host");
    ChatUser* second = add("#chan", "bob", "b@same.host");
    add("#chan", "cid", "c@other.host");
    add("#other", "cid", "c@other.host");  // the same user seen twice
    // The newer record stands first among those of its host.
    EXPECT_EQ(detect("#chan"), Lines{clone_line(*second, *first)});
    EXPECT_EQ(detect(nullptr), Lines{clone_line(*second, *first)});
    EXPECT_EQ(search(chan, "cid"), Lines{});
}

TEST_F(Clones, HostsThatDifferInLetterCaseAreNoClones)
{
    add("#chan", "ann", "a@Mixed.Host");
    add("#chan", "bob", "b@mixed.host");
    EXPECT_EQ(detect("#chan"), Lines{});
    EXPECT_EQ(search(chan, "ann"), Lines{});
}

TEST_F(Clones, AHostSharedByAsManyClonesAsTheThresholdIsAVirtualHost)
{
    // With ten reports at most the threshold is three: three clones of a user are a shared provider.
    for (const char* nick : {"n1", "n2", "n3", "n4"}) add("#chan", nick, "u@provider.net");
    EXPECT_EQ(detect("#chan"), Lines{});
    EXPECT_EQ(search(chan, "n4"), Lines{});
    // Two clones of a user are still reported: the first record pairs with each.
    FlushUser();
    ChatUser* a = add("#chan", "n1", "u@small.net");
    ChatUser* b = add("#chan", "n2", "u@small.net");
    ChatUser* c = add("#chan", "n3", "u@small.net");
    EXPECT_EQ(detect("#chan"), (Lines{clone_line(*c, *b), clone_line(*c, *a)}));
}

TEST_F(Clones, ReportsStopAtTheLimitOneShortOfItForOneNick)
{
    // Fifteen clones of "lead", each in a channel of its own, so no channel holds a virtual host.
    std::vector<ChatUser*> clones;
    for (int i = 0; i < 15; ++i)
        clones.push_back(add(("#c" + std::to_string(i)).c_str(), ("clone" + std::to_string(i)).c_str(), "x@one.host"));
    ChatUser* lead = add("#chan", "lead", "x@one.host");
    const Lines found = search(chan, "lead");
    ASSERT_EQ(found.size(), 9u);
    EXPECT_EQ(found.front(), clone_line(*lead, *clones[14]));
    // Server-wide, fifteen pairs of distinct hosts give ten reports.
    FlushUser();
    for (int i = 0; i < 15; ++i) {
        const std::string host = "u@host" + std::to_string(i);
        add("#chan", ("a" + std::to_string(i)).c_str(), host.c_str());
        add("#chan", ("b" + std::to_string(i)).c_str(), host.c_str());
    }
    EXPECT_EQ(detect(nullptr).size(), 10u);
    iMaxCloneCount = 4;
    EXPECT_EQ(detect("#chan").size(), 4u);
}

TEST_F(Clones, WhileAwayClonesArePrintedInsteadOfAnnounced)
{
    ChatUser* a = add("#chan", "ann", "a@same.host");
    ChatUser* b = add("#chan", "b%Cob", "b@same.host");
    iFlagPrintClone = 1;
    net.away = true;
    session(chan)->server->is_away = 1;
    EXPECT_EQ(detect("#chan"), Lines{clone_line(*b, *a)});
    EXPECT_EQ(sim.commands().size(), 0u);
    session(chan)->server->is_away = 0;
    net.away = false;
    EXPECT_EQ(detect("#chan"), Lines{});
    // Announced through the pipe command; the nick's percent sign stays as it came from the network.
    ASSERT_EQ(sim.commands().size(), 1u);
    char announced[512];
    snprintf(announced, sizeof announced, GetMessage(983), "/ECHO ", "b%Cob", "#chan", "ann", "#chan", "a@same.host");
    EXPECT_EQ("/" + sim.commands()[0].text, announced);
    iFlagPrintClone = 0;
}

TEST_F(Clones, NickJoinFragmentsHitInAnyCaseOnceAndTheFileIsReadAgainOnlyWhenItChanges)
{
    home.write(".xchat2/quiboscript/quibo.nik", "\nwatch\nATCHE\n");
    HostSession* sess = session(chan);
    iFlagNickJoinMonitoring = 1;
    EXPECT_EQ(NickJoined(sess, "xWaTcHeR", "u@h", "#chan"), 1);
    const Lines first = printed();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[1].find("watch"), std::string::npos);
    EXPECT_EQ(iFlagNickJoinMonitoring, 1);
    EXPECT_EQ(NickJoined(sess, "plain", "u@h", "#chan"), 0);  // a blank line matches nobody

    // Same size and time: the lines read before still hold.
    const std::string path = home.path() + "/.xchat2/quiboscript/quibo.nik";
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    home.write(".xchat2/quiboscript/quibo.nik", "\nplain\nATCHE\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(NickJoined(sess, "plain", "u@h", "#chan"), 0);
    // A newer file is read again.
    const timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 5, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    EXPECT_EQ(NickJoined(sess, "Plain", "u@h", "#chan"), 1);
}

TEST_F(Clones, TheNetworkFileReportsDomainsAndNicknames)
{
    home.write(".xchat2/quiboscript/irc.test.net", "evil.org comment\n^x@.*\\.ru$\n#nicks\nfriend Buddy\n");
    HostSession* sess = session(chan);
    sim.clear_records();
    UserInfo(sess, "someone", "x@bad.evil.org", 0);
    UserInfo(sess, "other", "x@mail.ru", 1);
    UserInfo(sess, "mybuddy2", "y@z", 2);
    UserInfo(sess, "friend", "y@z", 2);
    const Lines lines = printed();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("evil.org comment"), std::string::npos);
    EXPECT_NE(lines[1].find("mail.ru"), std::string::npos);
    EXPECT_NE(lines[2].find("friend Buddy"), std::string::npos);  // the second word occurs in the nick
    EXPECT_NE(lines[3].find("friend Buddy"), std::string::npos);  // the nick occurs in the line
}

TEST_F(Clones, SearchListWantsEveryWordSomewhereInTheRecord)
{
    add("#chan", "alice", "a@foo.net");
    add("#chan", "bob", "b@bar.net");
    HostSession* sess = session(chan);
    auto listed = [&](const char* words) {
        sim.clear_records();
        SearchList(sess, words);
        int count = 0;
        for (const std::string& line : printed()) count += line.find("\0033 (\00308") != std::string::npos;
        return count;
    };
    EXPECT_EQ(listed("ALICE foo"), 1);
    EXPECT_EQ(listed("alice bar"), 0);
    EXPECT_EQ(listed("test.net alice"), 1);  // the server and the nick
    EXPECT_EQ(listed(".net"), 2);
}

// Random channels: the scans report exactly what the plain loops report, in the same order.
TEST_F(Clones, TheFastScansReportWhatThePlainLoopsReport)
{
    std::mt19937 random(20261208);
    size_t scan_reports = 0;
    size_t search_reports = 0;
    const char* servers[] = {"irc.test.net", "IRC.TEST.NET", "irc.other.net"};
    const char* channels[] = {"#chan", "#CHAN", "#second", "#third"};
    const int limits[] = {3, 10, 30, 100000};
    for (int round = 0; round < 24; ++round) {
        FlushUser();
        IsDatabaseChanged();
        iMaxCloneCount = limits[round % 4];
        const int users = 1 + static_cast<int>(random() % (round < 20 ? 400 : 2000));
        const int hosts = 1 + users / (1 + static_cast<int>(random() % 4));
        for (int i = 0; i < users; ++i) {
            std::string host = "h" + std::to_string(random() % hosts) + ".net";
            if (random() % 8 == 0) host[0] = 'H';  // a case variant: a different host
            const std::string nick = "n" + std::to_string(random() % (users + users / 4 + 1));
            const std::string address = random() % 50 == 0 ? std::string("noat") : "id@" + host;
            ChatUserPtr user = CreateUser(servers[random() % 3], channels[random() % 4], nick.c_str(),
                                          address.c_str(), nullptr);
            InsertUser(user);
        }
        IsDatabaseChanged();
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(GetSize()) + " records");
        for (const char* channel : {static_cast<const char*>(nullptr), "#chan", "#second"}) {
            const Lines expected = reference_clone_detector("irc.test.net", channel);
            ASSERT_EQ(detect(channel), expected);
            scan_reports += expected.size();
        }
        for (int probe = 0; probe < 8; ++probe) {
            const std::string nick = "n" + std::to_string(random() % (users + 1));
            const Lines expected = reference_search_clone("#chan", nick.c_str());
            ASSERT_EQ(search(chan, nick.c_str()), expected) << nick;
            search_reports += expected.size();
        }
    }
    // The rounds did report: the comparison was not between two empty lists.
    EXPECT_GT(scan_reports, 200u);
    EXPECT_GT(search_reports, 20u);
}

}  // namespace
