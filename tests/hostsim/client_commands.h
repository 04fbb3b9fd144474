// The client's commands kept outside commands.cpp: channel and mode commands,
// CTCP and DCC, the connection, and the input box.
#pragma once

#include "internal.h"

namespace hostsim {

// false: the client prints the command's usage.
#define HOSTSIM_COMMAND(name) bool name(Sim& sim, Context& ctx, char** word, char** word_eol)

HOSTSIM_COMMAND(cmd_mode);
HOSTSIM_COMMAND(cmd_names);
HOSTSIM_COMMAND(cmd_kick);
HOSTSIM_COMMAND(cmd_kickban);
HOSTSIM_COMMAND(cmd_cycle);
HOSTSIM_COMMAND(cmd_ban);
HOSTSIM_COMMAND(cmd_unban);
HOSTSIM_COMMAND(cmd_op);
HOSTSIM_COMMAND(cmd_deop);
HOSTSIM_COMMAND(cmd_voice);
HOSTSIM_COMMAND(cmd_devoice);
HOSTSIM_COMMAND(cmd_hop);
HOSTSIM_COMMAND(cmd_dehop);
HOSTSIM_COMMAND(cmd_nctcp);
HOSTSIM_COMMAND(cmd_dcc);
HOSTSIM_COMMAND(cmd_quit);
HOSTSIM_COMMAND(cmd_discon);
HOSTSIM_COMMAND(cmd_reconnect);
HOSTSIM_COMMAND(cmd_settext);
HOSTSIM_COMMAND(cmd_setcursor);

#undef HOSTSIM_COMMAND

// The client's server_disconnect: QUIT when asked, "Disconnected" in every tab, channels left.
void client_disconnect(Sim& sim, Server& server, bool send_quit, std::string_view error, std::string reason = {});

}  // namespace hostsim
