#include "users/chatuser.h"

// Not built yet: does nothing.
int SearchDomain(HostSession*) { return 0; }
// Not built yet: does nothing.
int UserList(HostSession*, int) { return 0; }
// Not built yet: does nothing.
int SearchList(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int Names(HostSession*) { return 0; }
// Not built yet: does nothing.
void SearchClone(HostSession*, const char*) {}
// Not built yet: does nothing.
void UserInfo(HostSession*, const char*, const char*, int16_t) {}
// Not built yet: does nothing.
int NickJoined(HostSession*, const char*, const char*, const char*) { return 0; }
