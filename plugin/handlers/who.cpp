#include "handlers/handlers.h"

std::vector<NickCall> MyNickCallDB;
int16_t sFlagCloseWindow_Part = 0;
std::string psFlagDisableUpdateChannel;

// Not built yet: does nothing.
void CheckUpDatabase(int) {}
// Not built yet: does nothing.
void UpdateChannel(HostSession*, const char*) {}
