#include "users/chatuser.h"

// Not built yet: no records exist.
ChatUser* GetUser(const char*, const char*, const char*, const char*, const char*) { return nullptr; }
// Not built yet: does nothing.
ChatUser* GetUserNext() { return nullptr; }
// Not built yet: does nothing.
void FlushUser() {}
// Not built yet (the user databases land later): does nothing.
void SetCurrentDatabase(unsigned int) {}
// Not built yet: does nothing.
const char* SaveDatabase() { return nullptr; }
