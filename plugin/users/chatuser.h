// The user databases and the listings built on them (clones, domains, users).
#pragma once

#include <string>

struct HostSession;

// One sighting of a nickname on a server and channel.
struct ChatUser {
    std::string psServer;
    std::string psChannel;
    std::string psNick;
    std::string psAddress;  // ident@host
    unsigned int uiQuery = 0;  // 0 no query seen, 255 signalled, 0xFFFFFFFF queries accepted
};

constexpr unsigned int kQueryAccepted = 0xFFFFFFFF;

// Starts a search of the current database (null criteria match anything); the first hit or null.
ChatUser* GetUser(const char* server, const char* channel, const char* nick, const char* fourth, const char* info);
// The next hit of the search GetUser started, or null.
ChatUser* GetUserNext();
// Frees every record of every database.
void FlushUser();
// Makes database `index` (0..15) current, setting it up on first use.
void SetCurrentDatabase(unsigned int index);
// Writes the dump file; its path, or null when nothing was written.
const char* SaveDatabase();

// Listings printed into `sess`.
int SearchDomain(HostSession* sess);
int UserList(HostSession* sess, int short_form);
// Non-zero when the closing separator is not wanted.
int SearchList(HostSession* sess, const char* mask);
int Names(HostSession* sess);
