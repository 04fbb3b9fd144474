// How one user database holds its records (private to plugin/users).
//
// The records form one doubly linked list. Over it sit:
// - an order tree (a treap keyed by list position, its nodes in one array)
//   that gives positions and, through the host that sorts last in each
//   subtree, the insertion point of a new record in logarithmic time;
// - labels that grow along the list, so that two records compare by list order
//   in constant time (relabelled in small windows when a gap closes);
// - hash chains by nick and by host, and buckets by server, channel and
//   "has an address" (put in list order when a search walks them), from which
//   a search takes its candidates in list order.
#pragma once

#include "users/chatuser.h"

#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// ASCII case folding, as every name comparison of the database uses.
int fold_compare(const char* a, const char* b);
bool fold_equal(const char* a, const char* b);

// Shared copies of the texts many records repeat (servers, channels).
const std::string* intern_text(const char* text);
void release_text(const std::string* text);

// What a search looks for; null fields match anything.
struct UserPattern {
    const char* server = nullptr;
    const char* channel = nullptr;
    const char* nick = nullptr;
    const char* address = nullptr;
    const char* ident = nullptr;
    const char* host = nullptr;
    const char* info = nullptr;
    uint32_t host_hash = 0;

    static UserPattern of(const ChatUser& user);
    bool empty() const { return !server && !channel && !nick && !address && !ident && !host && !info; }
};
// The comparison rule: every field both have is equal (the host by hash, then
// text), and at least one field was compared.
bool matches(const ChatUser& user, const UserPattern& pattern);

// The records of one server, channel and "has an address" combination. Records join at the end and leave
// a null entry behind, so that a join or a part touches no other record; a walk that needs them in list
// order has them sorted first (ordered()), which lasts until the next change of the database.
struct PlaceBucket {
    UserStore* owner = nullptr;
    bool has_server = false;
    bool has_channel = false;
    bool addressed = false;
    std::string server;  // folded
    std::string channel;
    mutable PlaceMembers members;
    mutable size_t holes = 0;       // null entries in members
    mutable size_t first_live = 0;  // no entry before it is a record
    mutable bool in_order = true;   // the entries that are not null are in list order

    size_t size() const { return members.size() - holes; }
    // The members with those that are not null in list order.
    const PlaceMembers& ordered() const;
    // Drops the null entries, keeping the order of the rest.
    void tidy() const;
    // The first entry, from `from` on, that is a record (members.size() when none is).
    size_t live_from(size_t from) const;
    // Where the records of an ordered bucket reach `label`: the first entry whose label is not below it.
    size_t lower_bound(uint64_t label) const;
};

// Records grouped by a folded text (nick or host) in hash chains.
class TextChains {
public:
    using Key = const char* (ChatUser::*)() const;
    TextChains(Key key, ChatUser* ChatUserLinks::*link, uint64_t ChatUserLinks::*hash)
        : key_(key), link_(link), hash_(hash)
    {
    }
    void add(ChatUser* user);
    void remove(ChatUser* user);
    void clear();
    // Every record whose text folds to `text`'s, in no particular order.
    void collect(const char* text, std::vector<ChatUser*>& out) const;
    // Asks the cache for the chain of `text` ahead of its use.
    void prefetch(const char* text) const;
    // True when one record whose text folds to `text`'s also matches `pattern`.
    bool any_match(const char* text, const UserPattern& pattern) const;

private:
    size_t slot(uint64_t hash) const { return hash & (heads_.size() - 1); }
    void grow();

    Key key_;
    ChatUser* ChatUserLinks::*link_;
    uint64_t ChatUserLinks::*hash_;  // the folded text's hash, kept so that chains are walked without the texts
    std::vector<ChatUser*> heads_;
    size_t count_ = 0;
};

// Emptied vectors kept for the next user: searches run on nearly every line and should not allocate.
// A namespace-scope store, set up when the plug-in loads, so that it ends after the databases.
template <class T>
inline std::vector<std::vector<T>> spare_vector_store;

template <class T>
std::vector<T> borrow_vector()
{
    auto& spare = spare_vector_store<T>;
    if (spare.empty()) return {};
    std::vector<T> vector = std::move(spare.back());
    spare.pop_back();
    return vector;
}

template <class T>
void give_back(std::vector<T>& vector)
{
    constexpr size_t kKeptCapacity = 1024;
    constexpr size_t kKeptVectors = 64;
    auto& spare = spare_vector_store<T>;
    if (vector.capacity() == 0 || vector.capacity() > kKeptCapacity || spare.size() >= kKeptVectors) return;
    vector.clear();
    spare.push_back(std::move(vector));
}

// A spare vector for the length of a scope.
template <class T>
class BorrowedVector {
public:
    BorrowedVector() : vector_(borrow_vector<T>()) {}
    ~BorrowedVector() { give_back(vector_); }
    BorrowedVector(const BorrowedVector&) = delete;
    BorrowedVector& operator=(const BorrowedVector&) = delete;
    std::vector<T>& operator*() { return vector_; }
    std::vector<T>* operator->() { return &vector_; }

private:
    std::vector<T> vector_;
};

class UserWalk;
class UserStore;
// The store of the current database.
const UserStore& current_user_store();

class UserStore {
public:
    UserStore();
    ~UserStore();
    UserStore(const UserStore&) = delete;
    UserStore& operator=(const UserStore&) = delete;

    ChatUser* first() const { return first_; }
    ChatUser* last() const { return last_; }
    int size() const { return size_; }
    bool holds(const ChatUser* user) const { return user && links(*user).place && links(*user).place->owner == this; }
    // Every record whose host folds to `host`'s, in no particular order.
    void same_host(const char* host, std::vector<ChatUser*>& out) const { hosts_.collect(host, out); }
    // Every record whose nick folds to `nick`'s, in no particular order.
    void same_nick(const char* nick, std::vector<ChatUser*>& out) const { nicks_.collect(nick, out); }
    // Asks the cache for what a lookup of `nick` and an insertion with `host` (either may be null) read.
    void prefetch(const char* nick, const char* host) const
    {
        if (nick) nicks_.prefetch(nick);
        if (host) hosts_.prefetch(host);
    }
    // True when a record matches `pattern`, which names a nick (found without a walk).
    bool holds_match_by_nick(const UserPattern& pattern) const { return nicks_.any_match(pattern.nick, pattern); }
    // True when `a` comes before `b` in the list.
    static bool before(const ChatUser* a, const ChatUser* b) { return links(*a).label < links(*b).label; }

    // Takes the record and links it where the host order walk would stop.
    void insert(ChatUser* user);
    // Unlinks the record and hands it back.
    ChatUserPtr remove(ChatUser* user);
    void clear();

    ChatUser* at(int position) const;  // 1-based; null outside 1..size
    int position_of(const ChatUser* user) const;
    void move_to_channel(ChatUser* user, const std::string* channel);
    // The record's texts were copied elsewhere: the order tree keeps pointers to hosts.
    void texts_moved(ChatUser* user);
    // Checks the links and counts; false when anything disagrees.
    bool consistent() const;

private:
    friend class UserWalk;

    // One record's place in the order tree. The nodes sit together in one array, apart from the records,
    // so that a walk down the tree touches little memory.
    static constexpr uint32_t kNoNode = UINT32_MAX;
    struct TreeNode {
        uint64_t host_key = 0;  // the record's host folded into its first eight bytes, for quick comparisons
        uint64_t last_key = 0;  // the same of the host that sorts last in the subtree
        ChatUser* user = nullptr;
        uint32_t parent = kNoNode;
        uint32_t left = kNoNode;
        uint32_t right = kNoNode;
        uint32_t size = 0;
        uint32_t priority = 0;
        uint32_t last = kNoNode;  // the node whose host sorts last in the subtree; kNoNode when one has none
        uint32_t hostless = 0;    // records without a host in the subtree
        bool has_host = false;
    };
    // A host in the tree: the node that has it (kNoNode: no host, which sorts after every host) and its key.
    struct HostRef {
        uint32_t node;
        uint64_t key;
    };
    uint32_t size_of(uint32_t node) const { return node == kNoNode ? 0 : nodes_[node].size; }
    bool sorts_before(HostRef host, HostRef other) const;
    HostRef own_host(uint32_t node) const;
    HostRef last_host(uint32_t node) const;
    void pull(uint32_t node);
    uint32_t new_node(ChatUser* user, uint32_t priority);

    ChatUser* insertion_point(const ChatUser& user) const;
    void link_in_list(ChatUser* user, ChatUser* before);
    void tree_insert_before(ChatUser* user, ChatUser* before, uint32_t priority);
    void tree_erase(ChatUser* user);
    void rotate_up(uint32_t node);
    void assign_label(ChatUser* user);
    void relabel_around(ChatUser* user);
    PlaceBucket& bucket_for(const ChatUser& user);
    void join_bucket(ChatUser* user);
    void leave_bucket(ChatUser* user);
    void forget_memo();

    ChatUser* first_ = nullptr;
    ChatUser* last_ = nullptr;
    uint32_t root_ = kNoNode;
    std::vector<TreeNode> nodes_;
    std::vector<uint32_t> free_nodes_;
    int size_ = 0;
    uint32_t seed_;
    TextChains nicks_;
    TextChains hosts_;
    std::unordered_map<std::string, PlaceBucket> places_;
    // The bucket found last, by the shared texts that found it: records come in runs of one place.
    struct PlaceMemo {
        const std::string* server = nullptr;
        const std::string* channel = nullptr;
        bool addressed = false;
        PlaceBucket* bucket = nullptr;
    } memo_;
};

// The candidates of a search in list order; the caller compares each with the pattern.
class UserWalk {
public:
    enum class Range {
        Circle,  // from `start` round the list back to it
        UpTo,    // from `start` round to `stop` (not included); nothing when they are the same
        ToEnd,   // from `start` to the end of the list
    };
    UserWalk(const UserStore& store, const UserPattern& pattern, ChatUser* start, ChatUser* stop, Range range);
    ~UserWalk();
    UserWalk(const UserWalk&) = delete;
    UserWalk& operator=(const UserWalk&) = delete;

    ChatUser* next();

private:
    struct Stream {
        const std::vector<ChatUser*>* sorted = nullptr;
        size_t index = 0;
        const PlaceBucket* bucket = nullptr;
        size_t at = 0;
        ChatUser* node = nullptr;  // the whole list
        ChatUser* list_first = nullptr;
        bool whole_list = false;

        ChatUser* head() const;
        void advance();
        void seek(ChatUser* from);
        void rewind();
    };
    void choose_streams(const UserStore& store, const UserPattern& pattern);
    void take_snapshot();

    std::vector<ChatUser*> snapshot_;
    std::vector<Stream> streams_;
    uint64_t bound_ = UINT64_MAX;
    uint64_t stop_label_ = 0;
    bool wraps_ = false;
    bool done_ = false;
};
