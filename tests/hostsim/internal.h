// Pieces of the simulator shared by its source files only.
#pragma once

#include "hostsim.h"

#include <array>
#include <map>

namespace hostsim {

// What the client keeps for one plug-in. The interface table comes first, so
// the handle the plug-in holds is the address of this record.
struct PluginHandle {
    xchat_plugin api;
    Sim* sim = nullptr;
    Context* context = nullptr;  // the plug-in's current context
    std::string name;
    bool alive = true;
    int in_callback = 0;
    Loaded* library = nullptr;
    void* dl = nullptr;
    int (*deinit)(xchat_plugin*) = nullptr;
    // The identity texts as the plug-in handed them over at init.
    const char* name_ptr = nullptr;
    const char* desc_ptr = nullptr;
    const char* version_ptr = nullptr;
    std::string info_scratch;  // backs get_info texts that the client makes on demand
};

// The interface table, and the registry that recognises the handles made from it.
void fill_interface(xchat_plugin& api);
void register_handle(PluginHandle* handle);
PluginHandle* handle_of(const xchat_plugin* ph);  // null for a handle no living simulator made
// The caller's record; a handle no simulator made ends the process, an unloaded one is a fault.
PluginHandle& checked_handle(xchat_plugin* ph, const char* call);
void forget_handles(const Sim& sim);

// One list handed out by list_get: a snapshot of the rows, walked with list_next.
struct SimList {
    struct Row {
        std::map<std::string, std::string> text;
        std::map<std::string, int> number;
        std::map<std::string, time_t> time;
        Context* context = nullptr;  // "context" of the channels list
    };
    std::string name;
    PluginHandle* owner = nullptr;
    std::vector<Row> rows;
    int pos = -1;  // -1 before the first list_next
    bool exhausted = false;
    bool freed = false;
};

// The list slots of the interface.
struct ListApi {
    static xchat_list* get(xchat_plugin* ph, const char* name);
    static void free(xchat_plugin* ph, xchat_list* list);
    static const char* const* fields(xchat_plugin* ph, const char* name);
    static int next(xchat_plugin* ph, xchat_list* list);
    static const char* str(xchat_plugin* ph, xchat_list* list, const char* field);
    static int integer(xchat_plugin* ph, xchat_list* list, const char* field);
    static time_t time(xchat_plugin* ph, xchat_list* list, const char* field);
};

// The word and word_eol arrays as the client builds them: index 0 unused,
// words from 1, every slot after the last word an empty (read-only) string.
class WordArrays {
public:
    static constexpr int kSlots = 32;

    WordArrays(std::string_view text, bool handle_quotes, bool allow_escape_quotes);
    WordArrays(const WordArrays&) = delete;
    WordArrays& operator=(const WordArrays&) = delete;

    char** word() { return word_.data(); }
    char** word_eol() { return word_eol_.data(); }

private:
    std::string line_;  // word_eol points into it
    std::string split_;  // word points into it
    std::array<char*, kSlots + 1> word_{};
    std::array<char*, kSlots + 1> word_eol_{};
};

// The empty string the client puts into unused slots (writing to it faults).
char* empty_word();

// Print-event arguments as the client passes them: word[0] the event name.
class EventWords {
public:
    EventWords(std::string_view event, const std::vector<std::string>& args);
    char** word() { return word_.data(); }

private:
    std::vector<std::string> storage_;
    std::array<char*, WordArrays::kSlots + 1> word_{};
};

// Whether the client shows anything for a print event, and what.
bool event_displayed(std::string_view event);
std::string render_event(std::string_view event, const std::vector<std::string>& args);

bool iequals(std::string_view a, std::string_view b);
// The client's match(): * and ? wildcards, letters compared as nicknames are.
bool wildcard_match(std::string_view mask, std::string_view text);

// The GTK stand-in acts on the simulator made last.
void attach_gtk_standin(Sim* sim);
void detach_gtk_standin(Sim* sim);
// The window of a tab as get_info("win_ptr") gives it to a plug-in.
void* window_widget(Context* ctx);

// The client's reaction to a server line, after the hooks let it through.
void client_handle_line(Sim& sim, Server& server, std::string_view line);
// A nickname change as the client shows it.
// A nickname change as the client shows it (quiet: no print event, as at login or while disconnected).
void client_nick_change(Sim& sim, Server& server, const std::string& old_nick, const std::string& new_nick,
                        bool quiet = false);

// The client's own handling of a command that no hook ate. Returns false when
// the command is not one of the client's (it is then sent to the server).
bool client_handle_command(Sim& sim, Context& ctx, WordArrays& words);
// Whether the client splits this command's words with quote handling.
bool command_handles_quotes(std::string_view name);

}  // namespace hostsim
