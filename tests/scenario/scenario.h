// Scenario tests: the real plug-in library loaded into the simulated client,
// each test with a home folder of its own.
#pragma once

#include "capture.h"
#include "hostsim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scenario {

inline const std::string kDashes(57, '-');
inline const char* const kLoadedBanner = "--- \0038QuIbOsCrIpT\0036 XChat2\0034 module\0033\002 loaded.\n";
inline const char* const kUnloadedBanner = "--- \0038QuIbOsCrIpT\0036 XChat2\0034 module\0033\002 unloaded.\n";

// The print events the plug-in follows, besides the DCC ones.
inline const std::vector<std::string> kPrintEvents = {
    "Private Message",  "Private Message to Dialog", "Channel Action",      "Channel Action Hilight",
    "Ignore Add",       "Ignore Changed",            "Ignore Footer",       "Ignore Header",
    "Ignore Remove",    "Ignorelist Empty",          "Notice Send",         "Your Invitation",
    "Your Message",     "Your Nick Changing",        "Focus Tab",           "Focus Window",
};

inline const std::vector<std::string> kDccEvents = {
    "DCC CHAT Abort",   "DCC CHAT Connect",   "DCC CHAT Failed",          "DCC CHAT Offer",  "DCC CHAT Offering",
    "DCC CHAT Reoffer", "DCC Conection Failed", "DCC Generic Offer",      "DCC Header",      "DCC Malformed",
    "DCC Offer",        "DCC Offer Not Valid", "DCC RECV Abort",          "DCC RECV Complete", "DCC RECV Connect",
    "DCC RECV Failed",  "DCC RECV File Open Error", "DCC Rename",         "DCC RESUME Request", "DCC SEND Abort",
    "DCC SEND Complete", "DCC SEND Connect",  "DCC SEND Failed",          "DCC SEND Offer",  "DCC Stall",
    "DCC Timeout",
};

// The client commands the plug-in watches, in the order it hooks them.
inline const std::vector<std::string> kDefaultCommands = {
    "ADDBUTTON", "ALLCHAN",  "ALLSERV",  "AWAY",      "BACK",     "BAN",      "UNBAN",    "CHARSET",  "CLEAR",
    "CLOSE",     "CTCP",     "COUNTRY",  "CYCLE",     "DCC",      "DEBUG",    "DELBUTTON", "DEHOP",   "DEOP",
    "DEVOICE",   "DISCON",   "DNS",      "ECHO",      "EXEC",     "EXECKILL", "EXECSTOP", "EXECCONT", "EXECWRITE",
    "FLUSHQ",    "GATE",     "GETINT",   "GETSTR",    "HELP",     "HOP",      "IGNORE",   "INVITE",   "JOIN",
    "KICK",      "KICKBAN",  "LAGCHECK", "LASTLOG",   "LIST",     "LOAD",     "MDEHOP",   "MDEOP",    "MKICK",
    "ME",        "MSG",      "NAMES",    "NCTCP",     "NEWSERVER", "NICK",    "NOTICE",   "NOTIFY",   "OP",
    "PART",      "PING",     "QUERY",    "QUIT",      "QUOTE",    "RECONNECT", "RECV",    "SAY",      "SET",
    "SETTAB",    "SERVCHAN", "SERVER",   "TOPIC",     "UNIGNORE", "UNLOAD",   "USERLIST", "WALLCHOP", "WALLCHAN",
    "VOICE",
};

// The load report on standard output, step by step.
inline const std::vector<std::string> kLoadSteps = {
    "\n\nQuIbOsCrIpT plugin loading:",
    "- Initializing Plugin Process.",
    "- Initializing Signal Handler Backtrace Module.",
    "- Get Home Directory: ",
    "- Set Current Directory to: ",
    "- Check Current Directory: ",
    "- Check XCHAT 2.x Directory: ",
    "found.",
    "- Check QuIbOsCrIpT Directory: ",
    "found.",
    "- Initializing Garbage Collector.",
    "- Set Working Directory.",
    "- Load Default Language File:",
    "- Load Setup.",
    "- Load Configured Language File:",
    "- Check Binary Compatibility.",
    "- Check Sound System.",
    "- Input/Output Initializing.",
    "- Check for context.",
    "- Loading External Macro.",
    "- Loading Badword System.",
    "- Initializing Database: ................\n- Set Current Database.",
    "- Loading Private Killer System Database.",
    "QuIbOsCrIpT Loading completed.\n",
};

// Passes when every step occurs in `text`, each after the one before.
testing::AssertionResult appear_in_order(const std::string& text, const std::vector<std::string>& steps);

// `text` without one trailing newline.
std::string line_of(const std::string& text);

// What the plug-in printed into the client, in order, trailing newlines cut.
std::vector<std::string> plugin_lines(const hostsim::Sim& sim, const hostsim::Context* only_in = nullptr);

// A home folder with the data folder (and, unless told not to, the default
// language file) and a client with one connected server and one channel.
class Foundation : public testing::Test {
protected:
    explicit Foundation(bool with_language_file = true);
    void TearDown() override;  // unloads a plug-in still loaded; no client fault may be left

    hostsim::Loaded& load();            // standard output goes to load_output
    hostsim::UnloadResult unload();     // standard output goes to unload_output
    // The server's answer to a WHO of #quibo as the fixture placed its users: the plug-in's database then
    // holds what a channel join would have left in it (the local user's record included).
    void who_listing_of_channel();
    bool loaded() const { return plugin_ && plugin_->loaded; }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server& net;
    hostsim::Context& chan;
    std::string load_output;
    std::string unload_output;

private:
    hostsim::Loaded* plugin_ = nullptr;
};

}  // namespace scenario
