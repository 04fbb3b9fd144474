// One user database's list, order tree, labels and indexes.
#include "users/user_store.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

uint64_t fold_hash(const char* text)
{
    uint64_t hash = 1469598103934665603ULL;
    for (; *text; ++text) {
        hash ^= static_cast<unsigned char>(fold(*text));
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string folded(const char* text)
{
    std::string out(text);
    for (char& c : out) c = fold(c);
    return out;
}

ChatUserLinks& L(ChatUser* user) { return links(*user); }
uint64_t label_of(const ChatUser* user) { return links(*user).label; }

// The first eight bytes of a host, folded, as a number that orders as the texts do (zeros after the end).
uint64_t host_key_of(const char* host)
{
    uint64_t key = 0;
    int i = 0;
    if (host)
        for (; i < 8 && host[i]; ++i) key = key << 8 | static_cast<unsigned char>(fold(host[i]));
    return i == 0 ? 0 : i == 8 ? key : key << (8 * (8 - i));
}

// The host part of an address: after the first at sign, empty without one.
const char* host_of_address(const char* address)
{
    const char* at = strchr(address, '@');
    return at ? at + 1 : "";
}

std::string place_key(const char* server, const char* channel, bool addressed)
{
    std::string key;
    for (const char* text : {server, channel}) {
        if (!text) {
            key += '-';
            continue;
        }
        std::string f = folded(text);
        key += std::to_string(f.size());
        key += ':';
        key += f;
    }
    key += addressed ? 'a' : 'n';
    return key;
}

bool text_matches(const char* a, const char* b, bool& compared)
{
    if (!a || !b) return true;
    compared = true;
    return fold_equal(a, b);
}

std::unordered_map<std::string, uint32_t>& text_pool()
{
    static std::unordered_map<std::string, uint32_t> pool;
    return pool;
}

constexpr uint64_t kLabelSpace = uint64_t{1} << 62;
constexpr uint64_t kAppendStep = uint64_t{1} << 44;
constexpr int kLabelBits = 62;
// Density bound of the relabelling windows: a window of 2^i labels may hold (2 / 1.4)^i records.
constexpr double kWindowGrowth = 2.0 / 1.4;

}  // namespace

int fold_compare(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned char x = fold(*a), y = fold(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

bool fold_equal(const char* a, const char* b)
{
    if (a == b) return true;
    for (;; ++a, ++b) {
        const char x = *a, y = *b;
        if (x == y) {
            if (!x) return true;
        } else if (fold(x) != fold(y)) {
            return false;
        }
    }
}

namespace {
// The texts interned last (records come with the same server and channel again and again).
using PoolEntry = std::pair<const std::string, uint32_t>;
std::array<PoolEntry*, 4> recent_texts{};
size_t next_recent = 0;
}  // namespace

const std::string* intern_text(const char* text)
{
    if (!text) return nullptr;
    for (PoolEntry* entry : recent_texts)
        if (entry && strcmp(entry->first.c_str(), text) == 0) {
            ++entry->second;
            return &entry->first;
        }
    auto it = text_pool().try_emplace(text, 0).first;
    ++it->second;
    recent_texts[next_recent++ % recent_texts.size()] = &*it;
    return &it->first;
}

void release_text(const std::string* text)
{
    if (!text) return;
    for (PoolEntry* entry : recent_texts)
        if (entry && &entry->first == text && entry->second > 1) {
            --entry->second;
            return;
        }
    auto it = text_pool().find(*text);
    if (it == text_pool().end() || --it->second != 0) return;
    for (PoolEntry*& entry : recent_texts)
        if (entry == &*it) entry = nullptr;
    text_pool().erase(it);
}

UserPattern UserPattern::of(const ChatUser& user)
{
    return {user.psServer(), user.psChannel(), user.psUserNick(), user.psAddress(), user.psIdent(),
            user.psHost(),   user.psInfo(),    user.uiHostHash};
}

bool matches(const ChatUser& user, const UserPattern& p)
{
    bool compared = false;
    if (!text_matches(user.psServer(), p.server, compared)) return false;
    if (!text_matches(user.psChannel(), p.channel, compared)) return false;
    if (!text_matches(user.psUserNick(), p.nick, compared)) return false;
    if (!text_matches(user.psAddress(), p.address, compared)) return false;
    if (!text_matches(user.psIdent(), p.ident, compared)) return false;
    if (user.psHost() && p.host) {
        compared = true;
        if (user.uiHostHash != p.host_hash || !fold_equal(user.psHost(), p.host)) return false;
    }
    if (!text_matches(user.psInfo(), p.info, compared)) return false;
    return compared;
}

// ---- place indexes -------------------------------------------------------------

void PlaceBucket::tidy() const
{
    first_live = 0;
    if (!holes) return;
    size_t kept = 0;
    for (ChatUser* user : members) {
        if (!user) continue;
        links(*user).in_place = static_cast<uint32_t>(kept);
        members[kept++] = user;
    }
    members.resize(kept);
    holes = 0;
}

const PlaceMembers& PlaceBucket::ordered() const
{
    if (!in_order) {
        tidy();
        std::sort(members.begin(), members.end(), ByListOrder{});
        for (size_t i = 0; i < members.size(); ++i) links(*members[i]).in_place = static_cast<uint32_t>(i);
        in_order = true;
    }
    return members;
}

size_t PlaceBucket::live_from(size_t from) const
{
    while (from < members.size() && !members[from]) ++from;
    return from;
}

size_t PlaceBucket::lower_bound(uint64_t label) const
{
    // The records before `low` sort before `label`; those from `high` on do not. Null entries are passed over.
    size_t low = first_live, high = members.size();
    if (low < high && members[low] && links(*members[low]).label >= label) return low;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        size_t probe = middle;
        while (probe < high && !members[probe]) ++probe;
        if (probe < high && links(*members[probe]).label < label)
            low = probe + 1;
        else
            high = middle;
    }
    return low;
}

// ---- hash chains ---------------------------------------------------------------

void TextChains::add(ChatUser* user)
{
    if (count_ + 1 > heads_.size()) grow();
    const uint64_t hash = fold_hash((user->*key_)());
    L(user).*hash_ = hash;
    ChatUser*& head = heads_[slot(hash)];
    L(user).*link_ = head;
    head = user;
    ++count_;
}

void TextChains::remove(ChatUser* user)
{
    if (heads_.empty()) return;
    ChatUser** at = &heads_[slot(L(user).*hash_)];
    while (*at && *at != user) at = &(L(*at).*link_);
    if (!*at) return;
    *at = L(user).*link_;
    L(user).*link_ = nullptr;
    --count_;
}

void TextChains::grow()
{
    std::vector<ChatUser*> old = std::move(heads_);
    heads_.assign(old.empty() ? 16 : old.size() * 2, nullptr);
    for (ChatUser* user : old) {
        while (user) {
            ChatUser* next = L(user).*link_;
            ChatUser*& head = heads_[slot(L(user).*hash_)];
            L(user).*link_ = head;
            head = user;
            user = next;
        }
    }
}

// The table keeps its size: a database emptied is usually filled again to about the same size.
void TextChains::clear()
{
    std::fill(heads_.begin(), heads_.end(), nullptr);
    count_ = 0;
}

namespace {

// A record's links and its texts lie in different cache lines: both are asked for at once.
void prefetch_record(const ChatUser* user)
{
    __builtin_prefetch(&links(*user));
    __builtin_prefetch(reinterpret_cast<const char*>(user) + sizeof(ChatUser));
}

}  // namespace

void TextChains::prefetch(const char* text) const
{
    if (!heads_.empty()) __builtin_prefetch(&heads_[slot(fold_hash(text))]);
}

void TextChains::collect(const char* text, std::vector<ChatUser*>& out) const
{
    if (heads_.empty()) return;
    const uint64_t hash = fold_hash(text);
    for (ChatUser* user = heads_[slot(hash)]; user; user = L(user).*link_) {
        prefetch_record(user);
        if (L(user).*hash_ == hash && fold_equal((user->*key_)(), text)) out.push_back(user);
    }
}

bool TextChains::any_match(const char* text, const UserPattern& pattern) const
{
    if (heads_.empty()) return false;
    const uint64_t hash = fold_hash(text);
    for (ChatUser* user = heads_[slot(hash)]; user; user = L(user).*link_)
        if (L(user).*hash_ == hash && fold_equal((user->*key_)(), text) && matches(*user, pattern)) return true;
    return false;
}

// ---- the store -----------------------------------------------------------------

UserStore::UserStore()
    : seed_(0x9E3779B9u), nicks_(&ChatUser::psUserNick, &ChatUserLinks::same_nick, &ChatUserLinks::nick_hash),
      hosts_(&ChatUser::psHost, &ChatUserLinks::same_host, &ChatUserLinks::host_hash)
{
}

UserStore::~UserStore() { clear(); }

// The insertion walk's order: no host sorts after every host; the texts are read only when the first
// eight bytes agree.
bool UserStore::sorts_before(HostRef host, HostRef other) const
{
    if (host.node == kNoNode) return false;
    if (other.node == kNoNode) return true;
    if (host.key != other.key) return host.key < other.key;
    // Equal keys that end before eight bytes are equal texts.
    return (host.key & 0xFF) != 0 &&
           fold_compare(nodes_[host.node].user->psHost() + 8, nodes_[other.node].user->psHost() + 8) < 0;
}

UserStore::HostRef UserStore::own_host(uint32_t node) const
{
    const TreeNode& n = nodes_[node];
    return {n.has_host ? node : kNoNode, n.host_key};
}

UserStore::HostRef UserStore::last_host(uint32_t node) const
{
    const TreeNode& n = nodes_[node];
    return {n.last, n.last_key};
}

void UserStore::pull(uint32_t node)
{
    TreeNode& n = nodes_[node];
    uint32_t size = 1;
    uint32_t hostless = n.has_host ? 0 : 1;
    const TreeNode* children[2];
    int count = 0;
    for (uint32_t child : {n.left, n.right}) {
        if (child == kNoNode) continue;
        const TreeNode& c = nodes_[child];
        size += c.size;
        hostless += c.hostless;
        children[count++] = &c;
    }
    n.size = size;
    n.hostless = hostless;
    // A record without a host below makes the subtree's last host "none", which sorts after every host.
    if (hostless) {
        n.last = kNoNode;
        n.last_key = 0;
        return;
    }
    HostRef last = {node, n.host_key};
    for (int k = 0; k < count; ++k) {
        const HostRef other = {children[k]->last, children[k]->last_key};
        if (sorts_before(last, other)) last = other;
    }
    n.last = last.node;
    n.last_key = last.key;
}

ChatUser* UserStore::insertion_point(const ChatUser& user) const
{
    if (!user.psHost()) return first_;
    // The new host compared through a stand-in: its text is read from `user` on a tie.
    const uint64_t key = host_key_of(user.psHost());
    uint32_t node = root_;
    auto before_host = [&](HostRef ref) {
        if (ref.node == kNoNode) return false;
        if (ref.key != key) return ref.key < key;
        return (key & 0xFF) != 0 && fold_compare(nodes_[ref.node].user->psHost() + 8, user.psHost() + 8) < 0;
    };
    if (node == kNoNode || before_host(last_host(node))) return nullptr;
    for (;;) {
        const TreeNode& n = nodes_[node];
        // The walk goes one way or the other: both children, and theirs, are asked for ahead.
        for (const uint32_t child : {n.left, n.right}) {
            if (child == kNoNode) continue;
            const TreeNode& c = nodes_[child];
            if (c.left != kNoNode) __builtin_prefetch(&nodes_[c.left]);
            if (c.right != kNoNode) __builtin_prefetch(&nodes_[c.right]);
        }
        if (n.left != kNoNode && !before_host(last_host(n.left)))
            node = n.left;
        else if (!before_host(own_host(node)))
            return n.user;
        else
            node = n.right;
    }
}

void UserStore::insert(ChatUser* user)
{
    ChatUser* before = insertion_point(*user);
    ChatUserLinks& l = L(user);
    l = ChatUserLinks{};
    seed_ ^= seed_ << 13;
    seed_ ^= seed_ >> 17;
    seed_ ^= seed_ << 5;
    const uint32_t priority = seed_;
    link_in_list(user, before);
    assign_label(user);
    tree_insert_before(user, before, priority);
    nicks_.add(user);
    if (user->psHost()) hosts_.add(user);
    join_bucket(user);
    ++size_;
}

ChatUserPtr UserStore::remove(ChatUser* user)
{
    leave_bucket(user);
    nicks_.remove(user);
    if (user->psHost()) hosts_.remove(user);
    tree_erase(user);
    ChatUserLinks& l = L(user);
    (l.prev ? L(l.prev).next : first_) = l.next;
    (l.next ? L(l.next).prev : last_) = l.prev;
    l = ChatUserLinks{};
    --size_;
    return ChatUserPtr(user);
}

void UserStore::clear()
{
    for (ChatUser* user = first_; user;) {
        ChatUser* next = L(user).next;
        L(user) = ChatUserLinks{};
        ChatUserPtr doomed(user);
        user = next;
    }
    first_ = last_ = nullptr;
    root_ = kNoNode;
    nodes_.clear();
    free_nodes_.clear();
    size_ = 0;
    nicks_.clear();
    hosts_.clear();
    places_.clear();
    forget_memo();
}

void UserStore::link_in_list(ChatUser* user, ChatUser* before)
{
    ChatUser* after = before ? L(before).prev : last_;
    L(user).prev = after;
    L(user).next = before;
    (after ? L(after).next : first_) = user;
    (before ? L(before).prev : last_) = user;
}

// ---- order tree -------------------------------------------------------------------

uint32_t UserStore::new_node(ChatUser* user, uint32_t priority)
{
    uint32_t index;
    if (!free_nodes_.empty()) {
        index = free_nodes_.back();
        free_nodes_.pop_back();
    } else {
        index = static_cast<uint32_t>(nodes_.size());
        nodes_.emplace_back();
    }
    TreeNode& n = nodes_[index];
    n = TreeNode{};
    n.user = user;
    n.priority = priority;
    n.size = 1;
    n.has_host = user->psHost() != nullptr;
    n.host_key = host_key_of(user->psHost());
    n.last = n.has_host ? index : kNoNode;
    n.last_key = n.host_key;
    n.hostless = n.has_host ? 0 : 1;
    L(user).node = index;
    return index;
}

void UserStore::tree_insert_before(ChatUser* user, ChatUser* before, uint32_t priority)
{
    const uint32_t node = new_node(user, priority);
    if (root_ == kNoNode) {
        root_ = node;
        return;
    }
    // The new record's list neighbour on the left is its tree predecessor, whose right side is free.
    uint32_t parent;
    if (before && nodes_[L(before).node].left == kNoNode) {
        parent = L(before).node;
        nodes_[parent].left = node;
    } else {
        parent = L(L(user).prev).node;
        nodes_[parent].right = node;
    }
    nodes_[node].parent = parent;
    // The ancestors gain one record; only the new host can become their last one.
    // Once an ancestor's last host does not sort before the new one, no ancestor above it does either.
    const HostRef host = own_host(node);
    const bool hostless = !nodes_[node].has_host;
    bool may_be_last = true;
    for (uint32_t up = parent; up != kNoNode; up = nodes_[up].parent) {
        TreeNode& n = nodes_[up];
        ++n.size;
        if (hostless) ++n.hostless;
        if (may_be_last) {
            if (sorts_before(last_host(up), host)) {
                n.last = host.node;
                n.last_key = host.key;
            } else {
                may_be_last = false;
            }
        }
    }
    while (nodes_[node].parent != kNoNode && nodes_[nodes_[node].parent].priority < nodes_[node].priority)
        rotate_up(node);
}

void UserStore::tree_erase(ChatUser* user)
{
    const uint32_t node = L(user).node;
    for (;;) {
        const uint32_t left = nodes_[node].left;
        const uint32_t right = nodes_[node].right;
        if (left == kNoNode && right == kNoNode) break;
        rotate_up(left == kNoNode    ? right
                  : right == kNoNode ? left
                  : (nodes_[left].priority > nodes_[right].priority ? left : right));
    }
    uint32_t parent = nodes_[node].parent;
    if (parent == kNoNode)
        root_ = kNoNode;
    else
        (nodes_[parent].left == node ? nodes_[parent].left : nodes_[parent].right) = kNoNode;
    // The ancestors lose one record; their last host changes only where the leaf was it, or was their
    // only record without a host. The rest keep theirs, which spares reading their other children.
    const bool hostless = !nodes_[node].has_host;
    for (; parent != kNoNode; parent = nodes_[parent].parent) {
        TreeNode& n = nodes_[parent];
        --n.size;
        if (hostless) --n.hostless;
        if (hostless ? n.hostless == 0 : n.last == node) pull(parent);
    }
    nodes_[node] = TreeNode{};
    free_nodes_.push_back(node);
    L(user).node = kNoNode;
}

void UserStore::rotate_up(uint32_t node)
{
    TreeNode& n = nodes_[node];
    const uint32_t parent = n.parent;
    TreeNode& p = nodes_[parent];
    const uint32_t grand = p.parent;
    // The node takes over its parent's whole subtree, and with it the subtree's counts and last host.
    const uint32_t size = p.size, hostless = p.hostless, last = p.last;
    const uint64_t last_key = p.last_key;
    if (p.left == node) {
        p.left = n.right;
        if (n.right != kNoNode) nodes_[n.right].parent = parent;
        n.right = parent;
    } else {
        p.right = n.left;
        if (n.left != kNoNode) nodes_[n.left].parent = parent;
        n.left = parent;
    }
    p.parent = node;
    n.parent = grand;
    if (grand == kNoNode)
        root_ = node;
    else
        (nodes_[grand].left == parent ? nodes_[grand].left : nodes_[grand].right) = node;
    pull(parent);
    n.size = size;
    n.hostless = hostless;
    n.last = last;
    n.last_key = last_key;
}

ChatUser* UserStore::at(int position) const
{
    if (position < 1 || position > size_) return nullptr;
    uint32_t node = root_;
    auto wanted = static_cast<uint32_t>(position);
    for (;;) {
        const TreeNode& n = nodes_[node];
        const uint32_t left = size_of(n.left);
        if (wanted <= left) {
            node = n.left;
        } else if (wanted == left + 1) {
            return n.user;
        } else {
            wanted -= left + 1;
            node = n.right;
        }
    }
}

int UserStore::position_of(const ChatUser* user) const
{
    uint32_t node = links(*user).node;
    uint32_t rank = size_of(nodes_[node].left) + 1;
    for (; nodes_[node].parent != kNoNode; node = nodes_[node].parent) {
        const TreeNode& parent = nodes_[nodes_[node].parent];
        if (parent.right == node) rank += size_of(parent.left) + 1;
    }
    return static_cast<int>(rank);
}

// ---- labels -----------------------------------------------------------------------

void UserStore::assign_label(ChatUser* user)
{
    ChatUser* prev = L(user).prev;
    ChatUser* next = L(user).next;
    const uint64_t low = prev ? label_of(prev) : 0;
    const uint64_t high = next ? label_of(next) : kLabelSpace;
    if (high - low >= 2) {
        const uint64_t half = (high - low) / 2;
        if (!prev && !next)
            L(user).label = half;  // the first record starts in the middle: records come at both ends
        else if (!next)
            L(user).label = low + std::min(half, kAppendStep);
        else if (!prev)
            L(user).label = high - std::min(half, kAppendStep);
        else
            L(user).label = low + half;
        return;
    }
    relabel_around(user);
}

// Spreads the labels of the smallest aligned window around the new record that
// is sparse enough, the new record included.
void UserStore::relabel_around(ChatUser* user)
{
    ChatUser* anchor = L(user).prev ? L(user).prev : L(user).next;
    const uint64_t base = label_of(anchor);
    ChatUser* left = L(user).prev ? anchor : user;
    ChatUser* right = L(user).prev ? user : anchor;
    uint64_t count = 2;
    double limit = 1;
    for (int bits = 1; bits <= kLabelBits; ++bits) {
        limit *= kWindowGrowth;
        const uint64_t width = uint64_t{1} << bits;
        const uint64_t low = base & ~(width - 1);
        const uint64_t high = low + width - 1;
        while (L(left).prev && label_of(L(left).prev) >= low) left = L(left).prev, ++count;
        while (L(right).next && label_of(L(right).next) <= high) right = L(right).next, ++count;
        if (static_cast<double>(count) > limit && bits < kLabelBits) continue;
        if (static_cast<double>(count) > limit) left = first_, right = last_, count = size_ + 1;
        const uint64_t step = width / (count + 1);
        uint64_t label = low;
        for (ChatUser* node = left;; node = L(node).next) {
            label += step;
            L(node).label = label;
            if (node == right) break;
        }
        return;
    }
}

// ---- places -----------------------------------------------------------------------

PlaceBucket& UserStore::bucket_for(const ChatUser& user)
{
    // The memo holds its shared texts, so their addresses name them for as long as it lives.
    const bool addressed = user.psAddress() != nullptr;
    if (memo_.bucket && memo_.server == user.server_ && memo_.channel == user.channel_ && memo_.addressed == addressed)
        return *memo_.bucket;
    auto [it, fresh] = places_.try_emplace(place_key(user.psServer(), user.psChannel(), user.psAddress() != nullptr));
    PlaceBucket& bucket = it->second;
    if (fresh) {
        bucket.owner = this;
        bucket.has_server = user.psServer() != nullptr;
        bucket.has_channel = user.psChannel() != nullptr;
        bucket.addressed = user.psAddress() != nullptr;
        if (bucket.has_server) bucket.server = folded(user.psServer());
        if (bucket.has_channel) bucket.channel = folded(user.psChannel());
    }
    forget_memo();
    memo_ = {intern_text(user.psServer()), intern_text(user.psChannel()), addressed, &bucket};
    return bucket;
}

void UserStore::forget_memo()
{
    release_text(memo_.server);
    release_text(memo_.channel);
    memo_ = {};
}

void UserStore::join_bucket(ChatUser* user)
{
    PlaceBucket& bucket = bucket_for(*user);
    ChatUserLinks& l = L(user);
    l.place = &bucket;
    l.in_place = static_cast<uint32_t>(bucket.members.size());
    if (bucket.size() > 0) bucket.in_order = false;
    bucket.members.push_back(user);
}

void UserStore::leave_bucket(ChatUser* user)
{
    PlaceBucket* bucket = L(user).place;
    if (!bucket) return;
    bucket->members[L(user).in_place] = nullptr;
    ++bucket->holes;
    if (L(user).in_place == bucket->first_live) bucket->first_live = bucket->live_from(bucket->first_live);
    L(user).place = nullptr;
    if (bucket->size() == 0) {
        if (memo_.bucket == bucket) forget_memo();
        places_.erase(place_key(user->psServer(), user->psChannel(), user->psAddress() != nullptr));
    } else if (bucket->holes > 4 * bucket->size() + 64) {
        bucket->tidy();  // now and then, so that the entries never outgrow the records by much
    }
}

void UserStore::move_to_channel(ChatUser* user, const std::string* channel)
{
    const bool listed = holds(user);
    if (listed) leave_bucket(user);
    release_text(user->channel_);
    user->channel_ = channel;
    if (listed) join_bucket(user);
}

void UserStore::texts_moved(ChatUser* user)
{
    TreeNode& n = nodes_[L(user).node];
    n.has_host = user->psHost() != nullptr;
    n.host_key = host_key_of(user->psHost());
    for (uint32_t node = L(user).node; node != kNoNode; node = nodes_[node].parent) pull(node);
}

bool UserStore::consistent() const
{
    int count = 0;
    ChatUser* prev = nullptr;
    for (ChatUser* node = first_; node; prev = node, node = L(node).next) {
        if (node->uiMagic != kChatUserMagic || L(node).prev != prev || !holds(node)) return false;
        if (prev && label_of(prev) >= label_of(node)) return false;
        const PlaceBucket* place = L(node).place;
        if (L(node).in_place >= place->members.size() || place->members[L(node).in_place] != node) return false;
        ++count;
    }
    if (prev != last_ || count != size_ || static_cast<int>(size_of(root_)) != size_ ||
        nodes_.size() - free_nodes_.size() != static_cast<size_t>(size_))
        return false;
    // Every node's counts and last host agree with its children's.
    for (ChatUser* user = first_; user; user = L(user).next) {
        const uint32_t node = L(user).node;
        const TreeNode& n = nodes_[node];
        if (node >= nodes_.size() || n.user != user) return false;
        uint32_t hostless = n.has_host ? 0 : 1;
        HostRef last = own_host(node);
        for (uint32_t child : {n.left, n.right}) {
            if (child == kNoNode) continue;
            if (nodes_[child].parent != node) return false;
            hostless += nodes_[child].hostless;
            if (sorts_before(last, last_host(child))) last = last_host(child);
        }
        if (n.size != 1 + size_of(n.left) + size_of(n.right) || n.hostless != hostless) return false;
        if (sorts_before(last, last_host(node)) || sorts_before(last_host(node), last)) return false;
    }
    return true;
}

// ---- walks ------------------------------------------------------------------------

ChatUser* UserWalk::Stream::head() const
{
    if (sorted) return index < sorted->size() ? (*sorted)[index] : nullptr;
    if (bucket) return at < bucket->members.size() ? bucket->members[at] : nullptr;  // never a null entry
    return node;
}

void UserWalk::Stream::advance()
{
    if (sorted)
        ++index;
    else if (bucket)
        at = bucket->live_from(at + 1);
    else
        node = L(node).next;
}

void UserWalk::Stream::seek(ChatUser* from)
{
    if (sorted)
        index = std::lower_bound(sorted->begin(), sorted->end(), from, ByListOrder{}) - sorted->begin();
    else if (bucket)
        at = bucket->live_from(bucket->lower_bound(label_of(from)));
    else
        node = from;
}

void UserWalk::Stream::rewind()
{
    if (sorted)
        index = 0;
    else if (bucket)
        at = bucket->live_from(bucket->first_live);
    else
        node = list_first;
}

UserWalk::~UserWalk()
{
    give_back(snapshot_);
    give_back(streams_);
}

UserWalk::UserWalk(const UserStore& store, const UserPattern& pattern, ChatUser* start, ChatUser* stop, Range range)
    : snapshot_(borrow_vector<ChatUser*>()), streams_(borrow_vector<Stream>())
{
    if (!start || (range == Range::UpTo && start == stop)) {
        done_ = true;
        return;
    }
    choose_streams(store, pattern);
    const uint64_t from = label_of(start);
    if (range == Range::Circle) {
        wraps_ = true;
        stop_label_ = from;
    } else if (range == Range::UpTo) {
        const uint64_t to = label_of(stop);
        if (from < to) {
            bound_ = to;
        } else {
            wraps_ = true;
            stop_label_ = to;
        }
    }
    for (Stream& stream : streams_) stream.seek(start);
}

void UserWalk::take_snapshot()
{
    std::sort(snapshot_.begin(), snapshot_.end(), ByListOrder{});
    Stream stream;
    stream.sorted = &snapshot_;
    streams_.push_back(stream);
}

// Every record that can match comes from one of the streams: a nick is in
// every record, so its chain is enough; otherwise the host chain and the
// server and channel buckets stand in, with the whole list as the last resort.
void UserWalk::choose_streams(const UserStore& store, const UserPattern& p)
{
    if (p.nick) {
        store.nicks_.collect(p.nick, snapshot_);
        take_snapshot();
        return;
    }
    const char* host = p.host ? p.host : p.address ? host_of_address(p.address) : nullptr;
    const bool by_place = (p.server || p.channel) && !p.info;
    if (host && (by_place || (!p.server && !p.channel && !p.info))) {
        store.hosts_.collect(host, snapshot_);
        take_snapshot();
    }
    if (by_place) {
        const std::string server = p.server ? folded(p.server) : std::string();
        const std::string channel = p.channel ? folded(p.channel) : std::string();
        for (const auto& [key, bucket] : store.places_) {
            if (p.server && bucket.has_server && bucket.server != server) continue;
            if (p.channel && bucket.has_channel && bucket.channel != channel) continue;
            const bool shares = (p.server && bucket.has_server) || (p.channel && bucket.has_channel);
            const bool wanted = !bucket.addressed ? shares : !host && (shares || p.ident);
            if (!wanted) continue;
            bucket.ordered();
            Stream stream;
            stream.bucket = &bucket;
            streams_.push_back(stream);
        }
    } else if (!host || p.server || p.channel || p.info) {
        Stream stream;
        stream.whole_list = true;
        stream.list_first = store.first_;
        streams_.push_back(stream);
    }
}

ChatUser* UserWalk::next()
{
    while (!done_) {
        Stream* best = nullptr;
        ChatUser* pick = nullptr;
        for (Stream& stream : streams_) {
            ChatUser* head = stream.head();
            if (head && (!pick || label_of(head) < label_of(pick))) {
                pick = head;
                best = &stream;
            }
        }
        if (pick && label_of(pick) < bound_) {
            best->advance();
            return pick;
        }
        if (wraps_) {
            wraps_ = false;
            bound_ = stop_label_;
            for (Stream& stream : streams_) stream.rewind();
            continue;
        }
        done_ = true;
    }
    return nullptr;
}
