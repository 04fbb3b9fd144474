// The /QUIBO command.
#pragma once

struct HostSession;

int quibo_cmd(HostSession* sess, int flags, char* word[], char* word_eol[]);
