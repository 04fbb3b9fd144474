// The sixteen user databases: records, the running search, positions, the dump.
#include "users/chatuser.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/trace.h"
#include "settings/settings.h"
#include "users/user_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace {

constexpr const char* kUnit = "chatuser";
constexpr const char* kDumpLine = "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%d\t%d\t%d\t%d\t%s\n";
// A cached position this close is reached faster by walking the list than through the tree.
constexpr int kShortWalk = 8;

struct DatabaseSlot {
    uint32_t marker = 0;  // kChatUserMagic once the slot is in use
    UserStore store;
    uint16_t usFlagDatabaseModified = 0;
    ChatUser* pcuLastFind = nullptr;
    ChatUser* pcuFirstFind = nullptr;
};

// The pattern of the running search: the criteria GetUser was given.
struct SearchPattern {
    enum Field { Server, Channel, Nick, Address, Ident, Host, Info, FieldCount };
    std::array<std::optional<std::string>, FieldCount> text;
    uint32_t host_hash = 0;

    const char* get(Field field) const { return text[field] ? text[field]->c_str() : nullptr; }
    void set(Field field, const char* value)
    {
        if (value)
            text[field] = value;
        else
            text[field].reset();
    }
    UserPattern view() const
    {
        return {get(Server), get(Channel), get(Nick), get(Address),
                get(Ident),  get(Host), get(Info), host_hash};
    }
};

// A search walk kept between GetUserNext calls while nothing can have moved under it.
struct RunningWalk {
    std::unique_ptr<UserWalk> walk;
    unsigned database = 0;
    uint64_t generation = 0;
};

struct Databases {
    Databases() { release_text(intern_text("")); }  // the shared texts outlive the records
    std::vector<UserSnapshot*> snapshots;            // before the records, which tell them when they go
    std::array<DatabaseSlot, kDatabaseCount> MCU_DB;
    unsigned uiCurrentDB = 0;
    int FlagQuerySetup = 0;
    SearchPattern ciFind;
    ChatUser* pcuPointerPrevious = nullptr;
    int iPosPrevious = 1;
    uint64_t generation = 0;  // changes whenever a kept walk may no longer be continued
    RunningWalk running;
};

Databases* the_databases = nullptr;

__attribute__((noinline, cold)) Databases& make_databases()
{
    static Databases databases;
    the_databases = &databases;
    return databases;
}

// Called on every operation: a plain pointer once the databases exist.
inline Databases& db() { return __builtin_expect(the_databases != nullptr, 1) ? *the_databases : make_databases(); }

DatabaseSlot& current() { return db().MCU_DB[db().uiCurrentDB]; }
UserStore& store() { return current().store; }

const char* shown(const char* text) { return text ? text : "(null)"; }

bool alive(const ChatUser* user) { return user && user->uiMagic == kChatUserMagic; }

std::unique_ptr<char[]> copy_text(const char* text)
{
    if (!text) return nullptr;
    const size_t size = strlen(text) + 1;
    auto copy = std::make_unique<char[]>(size);
    memcpy(copy.get(), text, size);
    return copy;
}

__attribute__((format(printf, 2, 3))) void internal_error(int line, const char* format, ...)
{
    char what[256];
    va_list ap;
    va_start(ap, format);
    vsnprintf(what, sizeof what, format, ap);
    va_end(ap);
    printf("[%s:%d]> INTERNAL ERROR: %s\n", kUnit, line, what);
    fflush(stdout);
}

// Reports a record with a wrong marker and checks the list; false for such a record.
bool check_marker(const ChatUser* user, int line, const char* operation)
{
    if (alive(user)) return true;
    internal_error(line, "%s(%p)", operation, static_cast<const void*>(user));
    CheckDatabaseMemoryIntegrity(1);
    return false;
}

void abandon_search()
{
    current().pcuLastFind = nullptr;
    current().pcuFirstFind = nullptr;
    ++db().generation;
}

void set_modified() { current().usFlagDatabaseModified = 1; }

ChatUser* after_circular(ChatUser* user) { return user->pcuNext() ? user->pcuNext() : store().first(); }

ChatUser* next_hit(UserWalk& walk, const UserPattern& pattern)
{
    for (ChatUser* user = walk.next(); user; user = walk.next())
        if (matches(*user, pattern)) return user;
    return nullptr;
}

// The first record that matches a pattern with a nick, going round the list from `start` (included): the
// nick's chain holds every candidate, so no walk is needed.
ChatUser* first_nick_hit(const UserStore& store, const UserPattern& pattern, ChatUser* start)
{
    BorrowedVector<ChatUser*> candidates;
    store.same_nick(pattern.nick, *candidates);
    ChatUser* from_start = nullptr;  // the first hit at or after `start`
    ChatUser* from_first = nullptr;  // the first hit of the list
    for (ChatUser* user : *candidates) {
        if (!matches(*user, pattern)) continue;
        if (!from_first || UserStore::before(user, from_first)) from_first = user;
        if (!UserStore::before(user, start) && (!from_start || UserStore::before(user, from_start))) from_start = user;
    }
    return from_start ? from_start : from_first;
}

int first_match_position(const UserPattern& pattern, ChatUser* start)
{
    if (pattern.empty()) return 0;
    UserWalk walk(store(), pattern, start, nullptr, UserWalk::Range::ToEnd);
    ChatUser* hit = next_hit(walk, pattern);
    return hit ? store().position_of(hit) : 0;
}

void fill_pattern(const char* server, const char* channel, const char* nick, const char* fourth, const char* info)
{
    SearchPattern& p = db().ciFind;
    const int mode = db().FlagQuerySetup;
    p = SearchPattern{};
    p.set(SearchPattern::Server, server);
    p.set(SearchPattern::Channel, channel);
    p.set(SearchPattern::Nick, nick);
    p.set(SearchPattern::Info, info);
    if (mode & 2) {
        p.set(SearchPattern::Ident, fourth);
    } else if (mode & 4) {
        p.set(SearchPattern::Host, fourth);
        if (fourth) p.host_hash = HostHash(fourth);
    } else {
        p.set(SearchPattern::Address, fourth);
    }
}

}  // namespace

// ---- records ---------------------------------------------------------------------------

void ChatUserDelete::operator()(ChatUser* user) const
{
    if (!user) return;
    user->~ChatUser();
    ::operator delete(static_cast<void*>(user));
}

ChatUser::~ChatUser()
{
    for (UserSnapshot* snapshot : db().snapshots) snapshot->forget(this);
    release_text(server_);
    release_text(channel_);
    uiMagic = 0;
}

void ChatUser::set_info(const char* text)
{
    set_texts(psUserNick(), psAddress(), text);
    if (links_.place) links_.place->owner->texts_moved(this);
}
void ChatUser::set_last_message(const char* text) { last_message_ = copy_text(text); }

// How a record's texts lie in their block: nick, address, ident (the address up to its '@'), info.
struct ChatUser::TextLayout {
    size_t nick_size, address_size, ident_length, info_size, total;
    const char* at;  // the address's '@', if any

    TextLayout(const char* nick, const char* address, const char* info)
    {
        nick_size = nick ? strlen(nick) + 1 : 0;
        address_size = address ? strlen(address) + 1 : 0;
        at = address ? strchr(address, '@') : nullptr;
        ident_length = at ? static_cast<size_t>(at - address) : address_size ? address_size - 1 : 0;
        const size_t ident_size = address ? ident_length + 1 : 0;
        info_size = info ? strlen(info) + 1 : 0;
        total = nick_size + address_size + ident_size + info_size;
    }
};

ChatUser* ChatUser::make(const char* nick, const char* address, const char* info)
{
    static_assert(alignof(ChatUser) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    const TextLayout layout(nick, address, info);
    void* block = ::operator new(sizeof(ChatUser) + layout.total);
    auto* user = new (block) ChatUser;
    user->room_bytes_ = static_cast<uint32_t>(layout.total);
    user->set_texts(layout, nick, address, info);
    return user;
}

void ChatUser::set_texts(const char* nick, const char* address, const char* info)
{
    set_texts(TextLayout(nick, address, info), nick, address, info);
}

void ChatUser::set_texts(const TextLayout& layout, const char* nick, const char* address, const char* info)
{
    const size_t nick_size = layout.nick_size, address_size = layout.address_size, info_size = layout.info_size;
    const size_t ident_length = layout.ident_length, total = layout.total;
    const char* at = layout.at;
    // A record that has texts builds the new ones apart first: the old ones may be among the arguments.
    const bool fresh = texts_ == nullptr;
    std::unique_ptr<char[]> spilled = total > room_bytes_ ? std::make_unique<char[]>(total) : nullptr;
    char local[256];
    std::unique_ptr<char[]> scratch =
        !spilled && !fresh && total > sizeof local ? std::make_unique<char[]>(total) : nullptr;
    char* block = spilled ? spilled.get() : fresh ? room() : scratch ? scratch.get() : local;
    size_t used = 0;
    auto place = [&](const char* text, size_t length, uint32_t& offset) {
        if (!text) {
            offset = kAbsent;
            return;
        }
        offset = static_cast<uint32_t>(used);
        memcpy(block + used, text, length);
        block[used + length] = '\0';
        used += length + 1;
    };
    place(nick, nick_size ? nick_size - 1 : 0, nick_at_);
    place(address, address_size ? address_size - 1 : 0, address_at_);
    place(address, ident_length, ident_at_);
    place(info, info_size ? info_size - 1 : 0, info_at_);
    host_at_ = !address ? kAbsent : at ? address_at_ + static_cast<uint32_t>(ident_length) + 1
                                       : address_at_ + static_cast<uint32_t>(address_size - 1);
    if (spilled) {
        spilled_ = std::move(spilled);
        texts_ = spilled_.get();
    } else {
        if (total && block != room()) memcpy(room(), block, total);
        spilled_.reset();
        texts_ = room();
    }
}

uint32_t HostHash(const char* host)
{
    uint32_t hash = 0;
    for (; host && *host; ++host) {
        const int byte = static_cast<signed char>(*host);
        hash += static_cast<uint32_t>(byte * byte);
    }
    return hash;
}

ChatUserPtr CreateUser(const char* server, const char* channel, const char* nick, const char* address,
                       const char* info)
{
    DebugPlugin(2, "BEGIN: CreateUser(%s, %s, %s, %s, %s)", shown(server), shown(channel), shown(nick),
                shown(address), shown(info));
    ChatUserPtr user(ChatUser::make(nick, address, info));
    user->server_ = intern_text(server);
    user->channel_ = intern_text(channel);
    UpdateHashCode(user.get());
    DebugPlugin(2, "END: CreateUser() = %p", static_cast<void*>(user.get()));
    return user;
}

ChatUserPtr CopyUser(const ChatUser* user)
{
    if (!user) return nullptr;
    if (!check_marker(user, __LINE__, "CopyUser")) return nullptr;
    ChatUserPtr copy(ChatUser::make(user->psUserNick(), user->psAddress(), user->psInfo()));
    copy->server_ = intern_text(user->psServer());
    copy->channel_ = intern_text(user->psChannel());
    copy->usSpecial = user->usSpecial;
    copy->uiStatus = user->uiStatus;
    copy->uiKeep = user->uiKeep;
    copy->uiQuery = user->uiQuery;
    copy->uiAnswer = user->uiAnswer;
    copy->uiBadCount = user->uiBadCount;
    copy->uiHostHash = user->uiHostHash;
    copy->usFloodCount = user->usFloodCount;
    copy->tLastMessage = user->tLastMessage;
    copy->uiMagic = user->uiMagic;
    return copy;
}

void FreeUser(ChatUserPtr& user) { user.reset(); }

int CompareUser(const ChatUser* user, const ChatUser* pattern)
{
    if (!user || !pattern) return 0;
    if (!check_marker(user, __LINE__, "CompareUser") || !check_marker(pattern, __LINE__, "CompareUser"))
        return 0;
    return matches(*user, UserPattern::of(*pattern)) ? 1 : 0;
}

void UpdateHashCode(ChatUser* user)
{
    if (!user || !check_marker(user, __LINE__, "UpdateHashCode")) return;
    const char* host = user->psHost();
    if (host && *host) user->uiHostHash = HostHash(host);
}

void SetSpecialUser(ChatUser* user, const char* nick)
{
    CheckDatabaseMemoryIntegrity(0);
    if (!user || !nick) return;
    user->usSpecial = user->psUserNick() && strcmp(user->psUserNick(), nick) == 0 ? 1 : 0;
}

uint32_t GetSpecialFlagUser(const ChatUser* user)
{
    if (!user) return kNoSpecialFlag;
    if (!check_marker(user, __LINE__, "GetSpecialFlagUser")) return kNoSpecialFlag;
    return user->usSpecial;
}

int SetUserToZombie(ChatUser* user)
{
    if (!user || !user->psChannel() || strstr(user->psChannel(), kZombieChannel)) return 0;
    const std::string* zombie = intern_text(kZombieChannel);
    if (UserStore* owner = links(*user).place ? links(*user).place->owner : nullptr) {
        owner->move_to_channel(user, zombie);
    } else {
        release_text(user->channel_);
        user->channel_ = zombie;
    }
    ++db().generation;
    return 1;
}

// ---- the current database ----------------------------------------------------------------

void SetCurrentDatabase(unsigned index)
{
    DebugPlugin(2, "BEGIN: SetCurrentDatabase(%u)", index);
    if (index < kDatabaseCount) {
        Databases& d = db();
        DatabaseSlot& slot = d.MCU_DB[index];
        slot.marker = kChatUserMagic;
        d.uiCurrentDB = index;
        d.pcuPointerPrevious = nullptr;
        d.iPosPrevious = 1;
        ++d.generation;
    }
    DebugPlugin(2, "END: SetCurrentDatabase() = %u", db().uiCurrentDB);
}

unsigned CurrentDatabase() { return db().uiCurrentDB; }

int InsertUser(ChatUserPtr& user)
{
    DebugPlugin(2, "BEGIN: InsertUser(%p)", static_cast<void*>(user.get()));
    ChatUser* record = user.get();
    int result = 0;
    if (record && check_marker(record, __LINE__, "InsertUser") && !links(*record).place &&
        (record->psServer() || record->psAddress()) && record->psUserNick() &&
        !store().holds_match_by_nick(UserPattern::of(*record))) {
        set_modified();
        store().insert(user.release());
        abandon_search();
        result = 1;
    }
    DebugPlugin(2, "END: InsertUser() = %d", result);
    return result;
}

int ModifyUser(ChatUser*& existing, ChatUserPtr& replacement)
{
    DebugPlugin(2, "BEGIN: ModifyUser(%p, %p)", static_cast<void*>(existing), static_cast<void*>(replacement.get()));
    if (!existing || !replacement) return 0;
    set_modified();
    ChatUser& n = *replacement;
    n.usSpecial = existing->usSpecial;
    n.uiStatus = existing->uiStatus;
    n.uiKeep = existing->uiKeep;
    n.uiQuery = existing->uiQuery;
    n.uiAnswer = existing->uiAnswer;
    n.uiBadCount = existing->uiBadCount;
    UpdateHashCode(&n);
    if (!n.psLastMessage()) n.set_last_message(existing->psLastMessage());
    DeleteUser(existing);
    existing = nullptr;
    n.uiMagic = kChatUserMagic;
    const int result = InsertUser(replacement);
    DebugPlugin(2, "END: ModifyUser() = %d", result);
    return result;
}

void DeleteUser(ChatUser*& user)
{
    DebugPlugin(2, "BEGIN: DeleteUser(%p)", static_cast<void*>(user));
    if (user && store().holds(user)) {
        if (!alive(user)) {
            internal_error(__LINE__, "DeleteUser(%p)", static_cast<void*>(user));
            CheckDatabaseMemoryIntegrity(1);
        }
        set_modified();
        store().remove(user);
        abandon_search();
        user = nullptr;
    }
    DebugPlugin(2, "END: DeleteUser()");
}

void FlushUser()
{
    DebugPlugin(2, "BEGIN: FlushUser()");
    if (store().size() > 0) {
        set_modified();
        store().clear();
        abandon_search();
    }
    DebugPlugin(2, "END: FlushUser()");
}

int SearchUser(const ChatUser* pattern)
{
    if (!pattern || !check_marker(pattern, __LINE__, "SearchUser")) return 0;
    return first_match_position(UserPattern::of(*pattern), store().first());
}

int SearchUserNext(const ChatUser* pattern, int position)
{
    if (!pattern) return 0;
    if (!alive(pattern)) {
        internal_error(__LINE__, "SearchUserNext(%p, %d)", static_cast<const void*>(pattern), position);
        CheckDatabaseMemoryIntegrity(1);
        return 0;
    }
    if (position < 1 || position >= store().size()) return 0;
    return first_match_position(UserPattern::of(*pattern), store().at(position + 1));
}

ChatUser* GetUserInPos(int position)
{
    Databases& d = db();
    if (position < 1 || position > store().size()) return nullptr;
    ChatUser* found = nullptr;
    const int distance = position - d.iPosPrevious;
    if (!current().usFlagDatabaseModified && d.pcuPointerPrevious && distance >= 0 && distance <= kShortWalk) {
        found = d.pcuPointerPrevious;
        for (int i = 0; i < distance; ++i) found = found->pcuNext();
    } else {
        found = store().at(position);
    }
    d.pcuPointerPrevious = found;
    d.iPosPrevious = position;
    return found;
}

ChatUser* GetUser(const char* server, const char* channel, const char* nick, const char* fourth, const char* info)
{
    DebugPlugin(2, "BEGIN: GetUser(%s, %s, %s, %s, %s)", shown(server), shown(channel), shown(nick), shown(fourth),
                shown(info));
    Databases& d = db();
    fill_pattern(server, channel, nick, fourth, info);
    ++d.generation;
    d.running.walk.reset();
    const UserPattern pattern = d.ciFind.view();
    DatabaseSlot& slot = current();
    ChatUser* start = slot.pcuLastFind && !slot.usFlagDatabaseModified ? slot.pcuLastFind : slot.store.first();
    ChatUser* hit = nullptr;
    if (pattern.nick && start) {
        hit = first_nick_hit(slot.store, pattern, start);
    } else if (!pattern.empty() && start) {
        UserWalk walk(slot.store, pattern, start, start, UserWalk::Range::Circle);
        hit = next_hit(walk, pattern);
    }
    if (hit) {
        slot.pcuFirstFind = hit;
        slot.pcuLastFind = after_circular(hit);
    }
    DebugPlugin(2, "END: GetUser() = %p", static_cast<void*>(hit));
    return hit;
}

ChatUser* GetUserNext()
{
    Databases& d = db();
    DatabaseSlot& slot = current();
    const UserPattern pattern = d.ciFind.view();
    if (!slot.pcuFirstFind || !slot.pcuLastFind || slot.usFlagDatabaseModified || pattern.empty()) return nullptr;
    RunningWalk& running = d.running;
    if (!running.walk || running.database != d.uiCurrentDB || running.generation != d.generation) {
        running.walk = std::make_unique<UserWalk>(slot.store, pattern, slot.pcuLastFind, slot.pcuFirstFind,
                                                  UserWalk::Range::UpTo);
        running.database = d.uiCurrentDB;
        running.generation = d.generation;
    }
    ChatUser* hit = next_hit(*running.walk, pattern);
    if (hit) slot.pcuLastFind = after_circular(hit);
    return hit;
}

int StatUser(const char* server, const char* channel, const char* nick, const char* fourth, const char* info)
{
    int count = 0;
    for (ChatUser* user = GetUser(server, channel, nick, fourth, info); user; user = GetUserNext()) ++count;
    return count;
}

void QuerySetup(int mode) { db().FlagQuerySetup = mode; }

const UserStore& current_user_store() { return store(); }

ChatUser* GetFirst() { return store().first(); }
ChatUser* GetLast() { return store().last(); }

int GetSize()
{
    CheckDatabaseMemoryIntegrity(0);
    return store().size();
}

int IsDatabaseChanged()
{
    DatabaseSlot& slot = current();
    const int changed = slot.usFlagDatabaseModified;
    slot.usFlagDatabaseModified = 0;
    db().pcuPointerPrevious = nullptr;
    db().iPosPrevious = 1;
    return changed;
}

void SetDatabaseChanged()
{
    CheckDatabaseMemoryIntegrity(0);
    set_modified();
    abandon_search();
}

// The containers cannot lose records, so there is nothing to repair; a deep
// check still verifies the links and reports what disagrees.
int CheckDatabaseMemoryIntegrity(int deep)
{
    if (store().size() == 0) {
        current().pcuLastFind = current().pcuFirstFind = nullptr;
        return 0;
    }
    if (deep && !store().consistent()) {
        internal_error(__LINE__, "CheckDatabaseMemoryIntegrity() [%d]", store().size());
    }
    return 1;
}

// ---- dump ----------------------------------------------------------------------------------

const char* DatabaseDumpPath()
{
    static std::string path;
    path = "/tmp/quiboscript_database_" + std::to_string(getpid()) + ".dat";
    return path.c_str();
}

namespace {

// A fresh file only: a file we left behind earlier is removed, anything else
// at the path (another user's file, a link) makes the open fail.
int open_dump(const char* path)
{
    struct stat info {};
    if (lstat(path, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid()) unlink(path);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) fchmod(fd, 0600);
    return fd;
}

bool write_records(FILE* file)
{
    for (const ChatUser* u = store().first(); u; u = u->pcuNext()) {
        const auto time_low = static_cast<int32_t>(static_cast<uint32_t>(u->tLastMessage));
        if (fprintf(file, kDumpLine, shown(u->psServer()), shown(u->psChannel()), shown(u->psUserNick()),
                    shown(u->psAddress()), shown(u->psIdent()), shown(u->psHost()), shown(u->psInfo()),
                    u->uiBadCount, u->uiStatus, u->usSpecial, time_low, shown(u->psLastMessage())) < 0)
            return false;
    }
    return true;
}

}  // namespace

const char* SaveDatabase()
{
    DebugPlugin(2, "BEGIN: SaveDatabase()");
    const int errors = iFlagErrorMessage_internal;
    iFlagErrorMessage_internal = 0;
    CheckUpDatabase(0);
    iFlagErrorMessage_internal = errors;

    const char* path = DatabaseDumpPath();
    const int fd = open_dump(path);
    FILE* file = fd >= 0 ? fdopen(fd, "w") : nullptr;
    bool written = file && write_records(file);
    if (file && fclose(file) != 0) written = false;
    if (!file && fd >= 0) close(fd);
    if (!written) {
        printf("ERROR: Cannot open database file (%s); reason: %s\n", path, strerror(errno));
        fflush(stdout);
    }
    DebugPlugin(2, "END: SaveDatabase() = %s", written ? path : "(null)");
    return written ? path : nullptr;
}

// ---- snapshots -----------------------------------------------------------------------------

UserSnapshot::UserSnapshot(const char* server, const char* channel, const char* nick, const char* fourth,
                           const char* info)
    : hits_(borrow_vector<ChatUser*>())
{
    for (ChatUser* user = GetUser(server, channel, nick, fourth, info); user; user = GetUserNext())
        hits_.push_back(user);
    db().snapshots.push_back(this);
}

UserSnapshot::UserSnapshot(ChatUser* user) : hits_(borrow_vector<ChatUser*>())
{
    hits_.push_back(user);
    db().snapshots.push_back(this);
}

UserSnapshot::~UserSnapshot()
{
    std::erase(db().snapshots, this);
    give_back(hits_);
}

void UserSnapshot::forget(const ChatUser* user)
{
    for (ChatUser*& hit : hits_)
        if (hit == user) hit = nullptr;
}

// ---- load and unload ------------------------------------------------------------------------

void InitializeDatabases(void (*each)(unsigned index))
{
    for (unsigned i = 0; i < kDatabaseCount; ++i) {
        if (each) each(i);
        SetCurrentDatabase(i);
    }
    SetCurrentDatabase(0);
}

void FlushDatabases(void (*each)(unsigned index))
{
    for (unsigned i = 0; i < kDatabaseCount; ++i) {
        if (each) each(i);
        SetCurrentDatabase(i);
        FlushUser();
    }
}
