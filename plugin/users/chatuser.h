// The user databases and the listings built on them (clones, domains, users).
//
// Sixteen independent databases, one current at a time; every operation acts on
// the current one. A database keeps its records in one list, ordered by host
// (see InsertUser), and indexes them by nick, by host and by server and channel,
// so that lookups never walk the whole list.
#pragma once

#include "host/host.h"

#include <cstdint>
#include <climits>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct HostSession;
class ChatUser;
class UserStore;
struct PlaceBucket;

constexpr uint32_t kChatUserMagic = 1234567890;
constexpr unsigned kDatabaseCount = 16;
// uiQuery: the user's queries are accepted.
constexpr int32_t kQueryAccepted = static_cast<int32_t>(0xFFFFFFFFu);
// uiKeep: the record was made by a forced update (KEEPUSER in listings).
constexpr int32_t kKeepUser = static_cast<int32_t>(0xFFFFFFFEu);
// GetSpecialFlagUser for an absent or damaged record.
constexpr uint32_t kNoSpecialFlag = 0xFFFFFFFFu;

// Frees a record; a record still in a list is never handed to it.
struct ChatUserDelete {
    void operator()(ChatUser* user) const;
};
using ChatUserPtr = std::unique_ptr<ChatUser, ChatUserDelete>;

// List order, for the indexes that keep records in it.
struct ByListOrder {
    bool operator()(const ChatUser* a, const ChatUser* b) const;
};
// The records of one place index (see PlaceBucket).
using PlaceMembers = std::vector<ChatUser*>;

// Where a record sits in its database; kept by the database only.
struct ChatUserLinks {
    ChatUser* prev = nullptr;
    ChatUser* next = nullptr;
    uint32_t node = UINT32_MAX;  // in the order tree
    ChatUser* same_nick = nullptr;
    ChatUser* same_host = nullptr;
    uint64_t nick_hash = 0;  // of the folded texts, for the chains above
    uint64_t host_hash = 0;
    PlaceBucket* place = nullptr;  // null while the record is in no database
    uint32_t in_place = 0;         // the record's entry in its place's members
    uint64_t label = 0;  // grows along the list; last, beside the texts a search reads
};

// One sighting of a nickname on a server and channel, or in a private conversation.
// Texts read as null when absent; an absent text matches anything in a search.
// The texts a database indexes (server, channel, nick, address) change only
// through the operations below.
class ChatUser {
public:
    uint16_t usSpecial = 0;  // 1: the local user
    int32_t uiStatus = 0;    // 0 unchecked, 1 checked, 255 ignored; CTCP counting goes below 0
    int32_t uiKeep = 0;      // kKeepUser or anything else
    int32_t uiQuery = 0;     // 0 no query yet, 255 signalled, kQueryAccepted
    int32_t uiAnswer = 0;    // away answers sent, 0..3
    int32_t uiBadCount = 0;
    uint32_t uiHostHash = 0;
    uint16_t usFloodCount = 0;
    int64_t tLastMessage = 0;
    uint32_t uiMagic = kChatUserMagic;

    const char* psServer() const { return server_ ? server_->c_str() : nullptr; }
    const char* psChannel() const { return channel_ ? channel_->c_str() : nullptr; }
    const char* psUserNick() const { return text_at(nick_at_); }
    const char* psAddress() const { return text_at(address_at_); }
    const char* psIdent() const { return text_at(ident_at_); }
    const char* psHost() const { return text_at(host_at_); }
    const char* psInfo() const { return text_at(info_at_); }
    const char* psLastMessage() const { return last_message_.get(); }
    void set_info(const char* text);
    void set_last_message(const char* text);

    // Neighbours in the database's list (null at the ends and for detached records).
    ChatUser* pcuPrevious() const { return links_.prev; }
    ChatUser* pcuNext() const { return links_.next; }

    ~ChatUser();
    ChatUser(const ChatUser&) = delete;
    ChatUser& operator=(const ChatUser&) = delete;

private:
    friend ChatUserPtr CreateUser(const char*, const char*, const char*, const char*, const char*);
    friend ChatUserPtr CopyUser(const ChatUser*);
    friend int SetUserToZombie(ChatUser*);
    friend class UserStore;
    ChatUser() = default;
    struct TextLayout;
    // A record with these texts in the room right after it, in the same block.
    static ChatUser* make(const char* nick, const char* address, const char* info);
    // Nick, address (with its ident and host) and info share one block: the record's own room when they fit,
    // else a block of their own.
    void set_texts(const char* nick, const char* address, const char* info);
    void set_texts(const TextLayout& layout, const char* nick, const char* address, const char* info);
    char* room() { return reinterpret_cast<char*>(this + 1); }
    const char* text_at(uint32_t at) const { return at == kAbsent ? nullptr : texts_ + at; }
    static constexpr uint32_t kAbsent = UINT32_MAX;

    ChatUserLinks links_;
    friend ChatUserLinks& links(ChatUser& user) { return user.links_; }
    friend const ChatUserLinks& links(const ChatUser& user) { return user.links_; }

    const std::string* server_ = nullptr;  // shared texts
    const std::string* channel_ = nullptr;
    const char* texts_ = nullptr;          // room() or spilled_
    std::unique_ptr<char[]> spilled_;      // texts that did not fit the record's room
    std::unique_ptr<char[]> last_message_;
    uint32_t room_bytes_ = 0;
    uint32_t nick_at_ = kAbsent;  // offsets in texts_
    uint32_t address_at_ = kAbsent;
    uint32_t ident_at_ = kAbsent;
    uint32_t host_at_ = kAbsent;
    uint32_t info_at_ = kAbsent;
};

inline bool ByListOrder::operator()(const ChatUser* a, const ChatUser* b) const
{
    return links(*a).label < links(*b).label;
}

// ---- records --------------------------------------------------------------------

// A detached record with every number 0; an address also fills ident, host and hash.
ChatUserPtr CreateUser(const char* server, const char* channel, const char* nick, const char* address,
                       const char* info);
// A detached copy of everything but the last message.
ChatUserPtr CopyUser(const ChatUser* user);
// Frees a detached record and clears the place.
void FreeUser(ChatUserPtr& user);
// 1 when every field that both have is equal (and at least one is), else 0.
int CompareUser(const ChatUser* user, const ChatUser* pattern);
void UpdateHashCode(ChatUser* user);
uint32_t HostHash(const char* host);
void SetSpecialUser(ChatUser* user, const char* nick);
uint32_t GetSpecialFlagUser(const ChatUser* user);
// Moves the record to the zombie channel; 1 when it moved.
int SetUserToZombie(ChatUser* user);

// ---- the current database ----------------------------------------------------------

void SetCurrentDatabase(unsigned index);
unsigned CurrentDatabase();
// 1: the database took the record (`user` is released); 0: refused, `user` stays with the caller.
int InsertUser(ChatUserPtr& user);
// Replaces `existing` (cleared) with `replacement`, carrying the user's state over;
// the result is that of inserting the replacement.
int ModifyUser(ChatUser*& existing, ChatUserPtr& replacement);
// Unlinks and frees a record of the current database and clears the place;
// a record that is not in it is left alone.
void DeleteUser(ChatUser*& user);
// Deletes every record of the current database.
void FlushUser();

// 1-based positions; 0 when nothing matches.
int SearchUser(const ChatUser* pattern);
int SearchUserNext(const ChatUser* pattern, int position);
ChatUser* GetUserInPos(int position);

// Starts a search (absent criteria match anything); the first hit or null.
// The fourth criterion is an ident, a host or an address as QuerySetup chose.
ChatUser* GetUser(const char* server, const char* channel, const char* nick, const char* fourth, const char* info);
// The next hit of the search GetUser started, or null.
ChatUser* GetUserNext();
// The number of hits of such a search (which it runs).
int StatUser(const char* server, const char* channel, const char* nick, const char* fourth, const char* info);
// 2: the fourth criterion is an ident; 4: a host; anything else: an address.
void QuerySetup(int mode);

ChatUser* GetFirst();
ChatUser* GetLast();
int GetSize();
// The modified flag, cleared.
int IsDatabaseChanged();
// Sets the modified flag and ends the running search.
void SetDatabaseChanged();
// 0 when the database is empty, else 1.
int CheckDatabaseMemoryIntegrity(int deep);
// Writes the current database to its dump file; the path, or null when it cannot be written.
const char* SaveDatabase();
// The dump file of this process.
const char* DatabaseDumpPath();

// The hits of one search, kept safe for a walk that may change the database:
// a record freed meanwhile reads as null.
class UserSnapshot {
public:
    UserSnapshot(const char* server, const char* channel, const char* nick, const char* fourth, const char* info);
    // One record already at hand, watched without a search.
    explicit UserSnapshot(ChatUser* user);
    ~UserSnapshot();
    UserSnapshot(const UserSnapshot&) = delete;
    UserSnapshot& operator=(const UserSnapshot&) = delete;

    const std::vector<ChatUser*>& hits() const { return hits_; }
    void forget(const ChatUser* user);

private:
    std::vector<ChatUser*> hits_;
};

// ---- load and unload ----------------------------------------------------------------

// Selects each database in turn (so that each is initialised), calling `each`
// before every one, and then selects database 0.
void InitializeDatabases(void (*each)(unsigned index) = nullptr);
// Selects each database in turn, calling `each` before every one, and flushes it.
void FlushDatabases(void (*each)(unsigned index) = nullptr);

// ---- listings printed into `sess` --------------------------------------------------------

int SearchDomain(HostSession* sess);
int UserList(HostSession* sess, int short_form);
// Non-zero when the closing separator is not wanted.
int SearchList(HostSession* sess, const char* mask);
int Names(HostSession* sess);

// ---- clone detection and watch lists ---------------------------------------------------

// 1 when both have non-empty nicks that differ and the same non-empty host (hash and text), else 0.
int IsClone(const ChatUser* a, const ChatUser* b);
// Reports clones of the records of `nick`.
void SearchClone(HostSession* sess, const char* nick);
// Reports the clones on the session's server (in `channel` when given), bounded in count and time.
void CloneDetector(HostSession* sess, const char* channel);
// Prints one clone pair, or announces it through the pipe command.
void PrintClone(HostSession* sess, const char* nick, const char* address, const char* channel, const char* clone_nick,
                const char* clone_address, const char* clone_channel);
// While one lives, each watch file is looked at (and read again when it changed) once only.
class WatchFileBatch {
public:
    WatchFileBatch();
    ~WatchFileBatch();
    WatchFileBatch(const WatchFileBatch&) = delete;
    WatchFileBatch& operator=(const WatchFileBatch&) = delete;
};
// Reports watch-file hits: mode 0 or 1 domain check, 2 nickname check.
void UserInfo(HostSession* sess, const char* nick, const char* address, int16_t mode);
// 1 when the nick matched the nick-join file, else 0.
int NickJoined(HostSession* sess, const char* nick, const char* address, const char* channel);
// NickJoined for every record of `server` and `channel`, the file looked at once.
void NickJoinedChannel(HostSession* sess, const char* server, const char* channel);
