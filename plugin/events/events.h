// The events manager: the /EVENT command and special events raised by the client.
#pragma once

struct HostSession;

int event_cmd(HostSession* sess, int flags, char* word[], char* word_eol[]);
int make_special_event(HostSession* sess, const char* name, const char* a1, const char* a2, const char* a3,
                       const char* a4, const char* a5, const char* a6);

// Raises again the event that was put off under `reference` ("#<id>");
// 1 when a sentinel fired.
int VerifyDeferredEvent(HostSession* sess, const char* reference);

// Frees every sentinel; reports go to `where`.
void FlushSentinel(HostSession* where, int mode);
// Replaces the user sentinels by those of `file` (the default file when null or empty).
int ReadSentinel(HostSession* sess, const char* file);
// Deletes every sentinel without a word (unload).
void FlushAllSentinel();

// Offers one IRC event to the sentinels; 1 when one of them fired.
int VerifyEvent(HostSession* sess, const char* event, const char* local_nick, const char* remote_nick,
                const char* remote_address, const char* channel, const char* server, const char* data);
