// The /EVENT command.
#include "events/internal.h"

#include <strings.h>

#include <cstdlib>

int event_cmd(HostSession* sess, int, char* word[], char* word_eol[])
{
    (void)word_eol;
    const char* sub = word[2] ? word[2] : "";
    if (strcasecmp(sub, "del") == 0) return DelSentinel(sess, std::abs(atoi(word[3] ? word[3] : "")), 0);
    if (strcasecmp(sub, "delh") == 0) return DelSentinel(sess, std::abs(atoi(word[3] ? word[3] : "")), 1);
    return 0;
}
