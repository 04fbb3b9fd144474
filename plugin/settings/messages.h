// Numbered language messages: loaded from quibo_<language>.msg in the data folder.
#pragma once

struct HostSession;

constexpr int kMessageSlots = 10000;

// 1 when the file was read to its end, 0 otherwise; a second file overlays the first.
int LoadMessageFile(const char* language);
// The text of message `number`, never null (a substitute when there is none).
const char* GetMessage(int number);
void PrintMessage(int number);
void FlushMessage();
