// Our own declaration of the XChat 2 plug-in interface.
//
// The table below lists the 31 function slots, in order, that XChat 2.8 and
// HexChat 2.16 both hand to a plug-in. The plug-in calls nothing beyond them
// (and not read_fd, which HexChat leaves as a stub). The client's own records
// stay opaque: every value is asked for through get_info and the lists.
#pragma once

#include <ctime>

extern "C" {

struct xchat_plugin;
struct xchat_list;
struct xchat_hook;
struct xchat_context;

enum : int {
    XCHAT_PRI_HIGHEST = 127,
    XCHAT_PRI_HIGH = 64,
    XCHAT_PRI_NORM = 0,
    XCHAT_PRI_LOW = -64,
    XCHAT_PRI_LOWEST = -128,
};

enum : int {
    XCHAT_EAT_NONE = 0,
    XCHAT_EAT_XCHAT = 1,
    XCHAT_EAT_PLUGIN = 2,
    XCHAT_EAT_ALL = XCHAT_EAT_XCHAT | XCHAT_EAT_PLUGIN,
};

using xchat_cmd_cb = int (*)(char* word[], char* word_eol[], void* user_data);
using xchat_print_cb = int (*)(char* word[], void* user_data);
using xchat_timer_cb = int (*)(void* user_data);
using xchat_fd_cb = int (*)(int fd, int flags, void* user_data);

struct xchat_plugin {
    xchat_hook* (*xchat_hook_command)(xchat_plugin* ph, const char* name, int pri, xchat_cmd_cb callback,
                                      const char* help_text, void* userdata);
    xchat_hook* (*xchat_hook_server)(xchat_plugin* ph, const char* name, int pri, xchat_cmd_cb callback,
                                     void* userdata);
    xchat_hook* (*xchat_hook_print)(xchat_plugin* ph, const char* name, int pri, xchat_print_cb callback,
                                    void* userdata);
    xchat_hook* (*xchat_hook_timer)(xchat_plugin* ph, int timeout, xchat_timer_cb callback, void* userdata);
    xchat_hook* (*xchat_hook_fd)(xchat_plugin* ph, int fd, int flags, xchat_fd_cb callback, void* userdata);
    void* (*xchat_unhook)(xchat_plugin* ph, xchat_hook* hook);
    void (*xchat_print)(xchat_plugin* ph, const char* text);
    void (*xchat_printf)(xchat_plugin* ph, const char* format, ...);
    void (*xchat_command)(xchat_plugin* ph, const char* command);
    void (*xchat_commandf)(xchat_plugin* ph, const char* format, ...);
    int (*xchat_nickcmp)(xchat_plugin* ph, const char* s1, const char* s2);
    int (*xchat_set_context)(xchat_plugin* ph, xchat_context* ctx);
    xchat_context* (*xchat_find_context)(xchat_plugin* ph, const char* servname, const char* channel);
    xchat_context* (*xchat_get_context)(xchat_plugin* ph);
    const char* (*xchat_get_info)(xchat_plugin* ph, const char* id);
    int (*xchat_get_prefs)(xchat_plugin* ph, const char* name, const char** string, int* integer);
    xchat_list* (*xchat_list_get)(xchat_plugin* ph, const char* name);
    void (*xchat_list_free)(xchat_plugin* ph, xchat_list* xlist);
    const char* const* (*xchat_list_fields)(xchat_plugin* ph, const char* name);
    int (*xchat_list_next)(xchat_plugin* ph, xchat_list* xlist);
    const char* (*xchat_list_str)(xchat_plugin* ph, xchat_list* xlist, const char* name);
    int (*xchat_list_int)(xchat_plugin* ph, xchat_list* xlist, const char* name);
    void* (*xchat_plugingui_add)(xchat_plugin* ph, const char* filename, const char* name, const char* desc,
                                 const char* version, char* reserved);
    void (*xchat_plugingui_remove)(xchat_plugin* ph, void* handle);
    int (*xchat_emit_print)(xchat_plugin* ph, const char* event_name, ...);
    int (*xchat_read_fd)(xchat_plugin* ph, void* src, char* buf, int* len);
    time_t (*xchat_list_time)(xchat_plugin* ph, xchat_list* xlist, const char* name);
    char* (*xchat_gettext)(xchat_plugin* ph, const char* msgid);
    void (*xchat_send_modes)(xchat_plugin* ph, const char** targets, int ntargets, int modes_per_line, char sign,
                             char mode);
    char* (*xchat_strip)(xchat_plugin* ph, const char* str, int len, int flags);
    void (*xchat_free)(xchat_plugin* ph, void* ptr);
};

}  // extern "C"
