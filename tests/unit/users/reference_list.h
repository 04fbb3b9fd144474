// A deliberately plain user database for checking the real one against: one
// doubly linked list per database, every operation a walk from the first record,
// exactly as the database's rules read. Slow, short and obviously right.
#pragma once

#include <strings.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace reference {

using Text = std::optional<std::string>;

struct Record {
    Text server, channel, nick, address, ident, host, info, last_message;
    uint16_t special = 0;
    int32_t status = 0, keep = 0, query = 0, answer = 0, bad_count = 0;
    uint32_t host_hash = 0;
    uint16_t flood_count = 0;
    int64_t time = 0;  // the tests keep a unique tag here
    Record* prev = nullptr;
    Record* next = nullptr;
};

inline int compare_nocase(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()); }

inline uint32_t host_hash(const std::string& host)
{
    uint32_t sum = 0;
    for (char c : host) sum += static_cast<uint32_t>(static_cast<signed char>(c) * static_cast<signed char>(c));
    return sum;
}

inline Record make(Text server, Text channel, Text nick, Text address, Text info)
{
    Record r;
    r.server = server;
    r.channel = channel;
    r.nick = nick;
    r.info = info;
    if (address) {
        r.address = address;
        const size_t at = address->find('@');
        r.ident = address->substr(0, at);
        r.host = at == std::string::npos ? std::string() : address->substr(at + 1);
        if (!r.host->empty()) r.host_hash = host_hash(*r.host);
    }
    return r;
}

inline bool matches(const Record& r, const Record& p)
{
    bool compared = false;
    auto field = [&](const Text& a, const Text& b) {
        if (!a || !b) return true;
        compared = true;
        return compare_nocase(*a, *b) == 0;
    };
    if (!field(r.server, p.server) || !field(r.channel, p.channel) || !field(r.nick, p.nick)) return false;
    if (!field(r.address, p.address) || !field(r.ident, p.ident)) return false;
    if (r.host && p.host) {
        compared = true;
        if (r.host_hash != p.host_hash || compare_nocase(*r.host, *p.host) != 0) return false;
    }
    if (!field(r.info, p.info)) return false;
    return compared;
}

struct Database {
    Record* first = nullptr;
    Record* last = nullptr;
    int size = 0;
    int modified = 0;
    Record* last_find = nullptr;
    Record* first_find = nullptr;
};

class Databases {
public:
    Database& db() { return dbs_[current_]; }
    void select(unsigned index)
    {
        if (index < 16) current_ = index;
    }
    Record* adopt(const Record& r)
    {
        store_.push_back(r);
        return &store_.back();
    }
    void query_setup(int mode) { query_mode_ = mode; }

    void abandon() { db().last_find = db().first_find = nullptr; }
    Record* circular_next(Record* r) { return r->next ? r->next : db().first; }

    int search(const Record& p, int after = 0)
    {
        int position = 0;
        for (Record* r = db().first; r; r = r->next)
            if (++position > after && matches(*r, p)) return position;
        return 0;
    }
    int search_next(const Record& p, int position)
    {
        if (position < 1 || position > db().size) return 0;
        return search(p, position);
    }
    Record* at(int position)
    {
        if (position < 1 || position > db().size) return nullptr;
        Record* r = db().first;
        while (--position) r = r->next;
        return r;
    }

    int insert(Record* n)
    {
        if ((!n->server && !n->address) || !n->nick || search(*n)) return 0;
        Database& d = db();
        d.modified = 1;
        Record* stop = d.first;
        while (stop && stop->host && n->host && compare_nocase(*stop->host, *n->host) < 0) stop = stop->next;
        n->next = stop;
        n->prev = stop ? stop->prev : d.last;
        (n->prev ? n->prev->next : d.first) = n;
        (stop ? stop->prev : d.last) = n;
        ++d.size;
        abandon();
        return 1;
    }

    bool remove(Record* r)
    {
        Database& d = db();
        Record* found = d.first;
        while (found && found != r) found = found->next;
        if (!found) return false;
        d.modified = 1;
        --d.size;
        (r->prev ? r->prev->next : d.first) = r->next;
        (r->next ? r->next->prev : d.last) = r->prev;
        r->prev = r->next = nullptr;
        abandon();
        return true;
    }

    int modify(Record* e, Record* n)
    {
        db().modified = 1;
        n->special = e->special;
        n->status = e->status;
        n->keep = e->keep;
        n->query = e->query;
        n->answer = e->answer;
        n->bad_count = e->bad_count;
        if (n->host && !n->host->empty()) n->host_hash = host_hash(*n->host);
        if (!n->last_message) n->last_message = e->last_message;
        remove(e);
        return insert(n);
    }

    void flush()
    {
        while (db().first) remove(db().first);
    }

    Record* get_user(Text server, Text channel, Text nick, Text fourth, Text info)
    {
        pattern_ = Record{};
        pattern_.server = server;
        pattern_.channel = channel;
        pattern_.nick = nick;
        pattern_.info = info;
        if (query_mode_ & 2) {
            pattern_.ident = fourth;
        } else if (query_mode_ & 4) {
            pattern_.host = fourth;
            if (fourth) pattern_.host_hash = host_hash(*fourth);
        } else {
            pattern_.address = fourth;
        }
        if (!server && !channel && !nick && !fourth && !info) return nullptr;
        Database& d = db();
        Record* start = d.last_find && !d.modified ? d.last_find : d.first;
        if (!start) return nullptr;
        Record* r = start;
        do {
            if (matches(*r, pattern_)) {
                d.first_find = r;
                d.last_find = circular_next(r);
                return r;
            }
            r = circular_next(r);
        } while (r != start);
        return nullptr;
    }

    Record* get_user_next()
    {
        Database& d = db();
        if (!d.first_find || !d.last_find || d.modified) return nullptr;
        for (Record* r = d.last_find; r != d.first_find; r = circular_next(r)) {
            if (matches(*r, pattern_)) {
                d.last_find = circular_next(r);
                return r;
            }
        }
        return nullptr;
    }

    int stat_user(Text server, Text channel, Text nick, Text fourth, Text info)
    {
        int count = 0;
        for (Record* r = get_user(server, channel, nick, fourth, info); r; r = get_user_next()) ++count;
        return count;
    }

    int is_changed()
    {
        const int was = db().modified;
        db().modified = 0;
        return was;
    }
    void set_changed()
    {
        db().modified = 1;
        abandon();
    }

private:
    Database dbs_[16];
    unsigned current_ = 0;
    int query_mode_ = 0;
    Record pattern_;
    std::deque<Record> store_;
};

}  // namespace reference
