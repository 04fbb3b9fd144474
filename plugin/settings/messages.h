// Numbered language messages: loaded from quibo_<language>.msg in the data folder.
#pragma once

#include <string>

struct HostSession;

constexpr int kMessageSlots = 10000;

// 1 when the file was read to its end, 0 otherwise; a second file overlays the first.
int LoadMessageFile(const char* language);
// The text of message `number`, never null (a substitute when there is none).
const char* GetMessage(int number);
void PrintMessage(int number);
void FlushMessage();

// The conversions the code passes into message `number` (see message_signatures.cpp),
// or null when the number has no entry yet.
const char* message_signature(int number);
// The conversions a text asks for, one letter each as in the signature table;
// false when the text holds one that the code never passes (%n, *, positional...).
bool message_conversions(const char* text, std::string& conversions);
