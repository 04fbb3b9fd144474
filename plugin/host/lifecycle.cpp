// Entry and exit: hooks, the load report and the unload sequence.
#include "host/lifecycle.h"

#include "events/events.h"
#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "events/events.h"
#include "handlers/handlers.h"
#include "output/output.h"
#include "pipeline/pipeline.h"
#include "pipeline/sessions.h"
#include "protection/private_killer.h"
#include "protection/words.h"
#include "queue/queue.h"
#include "script/script.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"
#include "utilities.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

const char* const kSeparatorLine = "---------------------------------------------------------";
const char* const kEventHelp = "Usage: /EVENT [help] [command] [options]";
const char* const kInactiveNotice =
    "\0034QuIbOsCrIpT\0033 stays loaded but inactive: it lets every event pass and runs nothing until it is "
    "unloaded and loaded again with its message file in place.";

xchat_hook* pxhEvent[kEventHookSlots] = {};
xchat_hook* pxhCommand[kDefaultCommandCount] = {};

pid_t iPidOfProcess = 0;
std::string acNameOfFatherProcess;
std::string psXChatVersion;
std::string psPluginName;
std::string psDescription;
std::string psVersion;

namespace {

constexpr const char* kQuiboHelp = "Usage: /QUIBO [help] [variable | command ] [options]";
constexpr const char* kMakerLine = "\0036 QuIbOsCrIpT by ZEM'Software - support: quibo-support@zemsoftware.invalid";
constexpr const char* kRequiredClientVersion = "2.8.6";
constexpr size_t kMaxParentName = 4095;

// Set when a load stopped early; the plug-in then stays loaded but inactive until unloaded.
bool load_stopped = false;

struct PrintHook {
    EventHook slot;
    const char* event;
    xchat_print_cb callback;
};

// The print events followed, in the order they are hooked.
const PrintHook kPrintHooks[] = {
    {kHookPrivateMessage, "Private Message", cb_private_message},
    {kHookPrivateMessageToDialog, "Private Message to Dialog", cb_output},
    {kHookChannelAction, "Channel Action", cb_output},
    {kHookChannelActionHilight, "Channel Action Hilight", cb_output},
    {kHookIgnoreAdd, "Ignore Add", cb_ignore},
    {kHookIgnoreChanged, "Ignore Changed", cb_ignore},
    {kHookIgnoreFooter, "Ignore Footer", cb_ignore},
    {kHookIgnoreHeader, "Ignore Header", cb_ignore},
    {kHookIgnoreRemove, "Ignore Remove", cb_ignore},
    {kHookIgnorelistEmpty, "Ignorelist Empty", cb_ignore},
    {kHookNoticeSend, "Notice Send", cb_output},
    {kHookYourInvitation, "Your Invitation", cb_output},
    {kHookYourMessage, "Your Message", cb_output},
    {kHookYourNickChanging, "Your Nick Changing", cb_output},
    {kHookFocusTab, "Focus Tab", cb_focus},
    {kHookFocusWindow, "Focus Window", cb_focus},
};

struct CommandHook {
    EventHook slot;
    const char* name;
    xchat_cmd_cb callback;
    const char* help;
};

const CommandHook kCommandHooks[] = {
    {kHookQuiboCommand, "QUIBO", cb_quibo_command, kQuiboHelp},
    {kHookEventCommand, "EVENT", cb_event_command, kEventHelp},
};

constexpr int kDccEventCount = 26;
const char* const kDccEvents[kDccEventCount] = {
    "DCC CHAT Abort",    "DCC CHAT Connect",    "DCC CHAT Failed",          "DCC CHAT Offer",
    "DCC CHAT Offering", "DCC CHAT Reoffer",    "DCC Conection Failed",     "DCC Generic Offer",
    "DCC Header",        "DCC Malformed",       "DCC Offer",                "DCC Offer Not Valid",
    "DCC RECV Abort",    "DCC RECV Complete",   "DCC RECV Connect",         "DCC RECV Failed",
    "DCC RECV File Open Error", "DCC Rename",   "DCC RESUME Request",       "DCC SEND Abort",
    "DCC SEND Complete", "DCC SEND Connect",    "DCC SEND Failed",          "DCC SEND Offer",
    "DCC Stall",         "DCC Timeout",
};

struct DefaultCommand {
    const char* name;
    int slot;
};

// Registration order; the number is the command's slot in pxhCommand.
const DefaultCommand kDefaultCommands[kDefaultCommandCount] = {
    {"ADDBUTTON", 0},  {"ALLCHAN", 1},   {"ALLSERV", 2},    {"AWAY", 3},       {"BACK", 72},    {"BAN", 4},
    {"UNBAN", 5},      {"CHARSET", 6},   {"CLEAR", 7},      {"CLOSE", 8},      {"CTCP", 9},     {"COUNTRY", 10},
    {"CYCLE", 11},     {"DCC", 12},      {"DEBUG", 13},     {"DELBUTTON", 14}, {"DEHOP", 15},   {"DEOP", 16},
    {"DEVOICE", 17},   {"DISCON", 18},   {"DNS", 19},       {"ECHO", 20},      {"EXEC", 21},    {"EXECKILL", 22},
    {"EXECSTOP", 23},  {"EXECCONT", 24}, {"EXECWRITE", 25}, {"FLUSHQ", 26},    {"GATE", 27},    {"GETINT", 28},
    {"GETSTR", 29},    {"HELP", 30},     {"HOP", 31},       {"IGNORE", 32},    {"INVITE", 33},  {"JOIN", 34},
    {"KICK", 35},      {"KICKBAN", 36},  {"LAGCHECK", 37},  {"LASTLOG", 38},   {"LIST", 39},    {"LOAD", 40},
    {"MDEHOP", 41},    {"MDEOP", 42},    {"MKICK", 43},     {"ME", 44},        {"MSG", 45},     {"NAMES", 46},
    {"NCTCP", 47},     {"NEWSERVER", 48}, {"NICK", 49},     {"NOTICE", 50},    {"NOTIFY", 51},  {"OP", 52},
    {"PART", 53},      {"PING", 54},     {"QUERY", 55},     {"QUIT", 56},      {"QUOTE", 57},   {"RECONNECT", 58},
    {"RECV", 59},      {"SAY", 60},      {"SET", 61},       {"SETTAB", 62},    {"SERVCHAN", 63}, {"SERVER", 64},
    {"TOPIC", 65},     {"UNIGNORE", 66}, {"UNLOAD", 67},    {"USERLIST", 68},  {"WALLCHOP", 69}, {"WALLCHAN", 70},
    {"VOICE", 71},
};

// The name "QuIbOsCrIpT" one letter at a time, colours 5 6 7 8 9 3 4 and round again.
std::string coloured_banner(const char* tail)
{
    static const int kColours[] = {5, 6, 7, 8, 9, 3, 4};
    std::string banner;
    int index = 0;
    for (const char* letter = "QuIbOsCrIpT"; *letter; ++letter, ++index) {
        banner += '\003';
        banner += std::to_string(kColours[index % 7]);
        banner += ' ';
        banner += *letter;
    }
    return banner + tail;
}

void system_error(HostSession* sess, const char* what, const char* reason)
{
    printf("\n  * System Error: %s (%s).\n", what, reason);
    sPrintText(sess, "\0034SYSTEM ERROR:\t\0038%s (%s).\n", what, reason);
}

// Name of the parent process: the text between the first '(' and the last ')'.
bool read_parent_name(pid_t parent, std::string& name)
{
    std::ifstream stat("/proc/" + std::to_string(parent) + "/stat");
    if (!stat) return false;
    std::stringstream content;
    content << stat.rdbuf();
    const std::string text = content.str();
    size_t open = text.find('(');
    size_t close = text.rfind(')');
    name = open != std::string::npos && close != std::string::npos && close > open
               ? text.substr(open + 1, close - open - 1)
               : std::string();
    if (name.size() > kMaxParentName) name.resize(kMaxParentName);
    return true;
}

bool is_directory(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool step_signal_handler(HostSession* sess)
{
    puts("- Initializing Signal Handler Backtrace Module.");
    pid_t parent = getppid();
    if (read_parent_name(parent, acNameOfFatherProcess)) {
        printf("  PID: %d = %s\n", parent, acNameOfFatherProcess.c_str());
    } else {
        const char* reason = strerror(errno);
        printf("\n  * System Error: Unable to get process name of PID %d (%s).\n", parent, reason);
        sPrintText(sess, "\0034SYSTEM ERROR:\t\0038Unable to get process name of PID %d (%s).\n", parent, reason);
    }
    if (strcasecmp(acNameOfFatherProcess.c_str(), "gdb") != 0) {
        crash_handler_install();
    } else {
        iFlagDisableDebugPlugin = 1;
        printf("  GBD Detected (PID: %d): Disable SHBM.\n", parent);
    }
    return true;
}

bool step_directories(HostSession* sess)
{
    printf("- Get Home Directory: ");
    quibo_paths_resolve();
    const std::string& home = quibo_home();
    if (home.empty()) {
        system_error(sess, "Unable to get home directory", "HOME is not set");
    } else {
        printf("%s\n- Set Current Directory to: ", home.c_str());
        if (chdir(home.c_str()) == 0)
            printf("%s\n", home.c_str());
        else
            system_error(sess, "Unable to change current directory", strerror(errno));
    }

    printf("- Check Current Directory: ");
    char cwd[4094];
    if (!getcwd(cwd, sizeof cwd)) {
        system_error(sess, "Unable to locate current directory", strerror(errno));
        return true;
    }
    printf("%s\n- Check XCHAT 2.x Directory: ", cwd);
    std::string xchat_dir = std::string(cwd) + "/.xchat2";
    if (!is_directory(xchat_dir)) {
        system_error(sess, "Unable to locate XChat directory", xchat_dir.c_str());
        return true;
    }
    puts("found.");
    printf("- Check QuIbOsCrIpT Directory: ");
    std::string data_dir = xchat_dir + "/quiboscript";
    if (is_directory(data_dir))
        puts("found.");
    else
        system_error(sess, "Unable to locate QuIbOsCrIpT directory", data_dir.c_str());
    return true;
}

void print_language_fatal(HostSession* sess)
{
    char cwd[4094];
    const char* where = getcwd(cwd, sizeof cwd) ? cwd : "";
    sPrintText(sess, "%s", kSeparatorLine);
    sPrintText(sess, "\0034FATAL ERROR !!!");
    sPrintText(sess,
               "\0033 ATTENTION: I can't find the .xchat2/quiboscript/quibo_italiano.msg file in current path (%s).",
               where);
    sPrintText(sess, "\0033 If you want to use quiboscript you must create a symbolic link to the directory that "
                     "contains it.");
    sPrintText(sess, "\0033 Example :");
    sPrintText(sess, "\0033  Shell  : \0038mkdir .xchat2");
    sPrintText(sess, "\0033  Shell  : \0038ln -s $HOME/.xchat2/quiboscript %s/.xchat2/quiboscript", where);
    sPrintText(sess, "\0033  XChat : \0038/loaddll .xchat2/quiboscript/quibo.so");
    sPrintText(sess, "%s", kMakerLine);
    sPrintText(sess, "%s", kSeparatorLine);
}

bool step_configured_language(HostSession* sess)
{
    puts("- Load Configured Language File:");
    const char* language = psMessageLanguage.c_str();
    if (language && strcasecmp(language, "italiano") != 0 && !LoadMessageFile(language)) {
        report_language_failure(sess, language);
        sPrintText(sess, "%s", kSeparatorLine);
    }
    sPrintText(sess, GetMessage(233), language ? language : "");
    return true;
}

bool step_client_version(HostSession* sess)
{
    puts("- Check Binary Compatibility.");
    if (psXChatVersion == kRequiredClientVersion) return true;
    sPrintText(sess, "%s", kSeparatorLine);
    sPrintText(sess, GetMessage(235), psXChatVersion.c_str(), kRequiredClientVersion);
    sPrintText(sess, GetMessage(236), kRequiredClientVersion);
    sPrintText(sess, "%s", kSeparatorLine);
    return true;
}

bool step_sound_check(HostSession* sess)
{
    puts("- Check Sound System.");
    SoundSystemCheck(sess);
    return true;
}

bool step_output_and_events(HostSession* sess)
{
    puts("- Input/Output Initializing.");
    OutputRoutineInitialize(iFlagQuiboMessage, iFlagColor, iFlagPrintClone);
    if (!iFlagEnableEvent)
        sPrintText(sess, "%s", GetMessage(240));
    else if (access(quibo_data_path("quibo.snt").c_str(), R_OK) != 0)
        sPrintText(sess, "%s", GetMessage(239));
    else
        ReadSentinel(sess, nullptr);
    return true;
}

bool step_context(HostSession* sess)
{
    puts("- Check for context.");
    if (!sess || sess->channel.empty()) return true;
    if (!strchr("#&!'", sess->channel[0])) return true;
    sPrintText(sess, "%s", GetMessage(241));
    CheckUpDatabase(1);
    return true;
}

// Runs a macro file with flood control and error reports held off, and the
// queue in its load state.
void run_lifecycle_macro(HostSession* sess, const char* name)
{
    iFlagTextFloodOutgoing_internal = 0;
    iFlagErrorMessage_internal = 0;
    quibo_filemacro(sess, name, nullptr, nullptr);
    iFlagTextFloodOutgoing_internal = 1;
    iFlagErrorMessage_internal = 1;
}

bool step_macro(HostSession* sess)
{
    puts("- Loading External Macro.");
    sPrintText(sess, "\0033LOAD INIT MACRO FILE (onload.mcr)");
    iFlagTextFloodOutgoing_internal = 0;
    iFlagErrorMessage_internal = 0;
    quibo_pipe(nullptr, nullptr);
    quibo_filemacro(nullptr, nullptr, nullptr, nullptr);
    run_lifecycle_macro(sess, "onload");
    sQueueOnLoad = 0;
    return true;
}

bool step_word_lists(HostSession*)
{
    puts("- Loading Badword System.");
    load_badword_file(quibo_data_path("badword.txt").c_str(), badword_list);
    load_badword_file(quibo_data_path("badnick.txt").c_str(), badnick_list);
    load_badword_file(quibo_data_path("filter.txt").c_str(), filter_list);
    iFlagRemoveColors = return_badword("removecolors()", nullptr, filter_list, 4);
    return true;
}

void print_progress_dot(unsigned) { printf("."); }

bool step_databases(HostSession*)
{
    printf("- Initializing Database: ");
    InitializeDatabases(print_progress_dot);
    printf("\n- Set Current Database.\n");
    SetCurrentDatabase(0);
    return true;
}

bool step_private_killer(HostSession* sess)
{
    puts("- Loading Private Killer System Database.");
    sPrintText(sess, "\0033LOAD PRIVATE KILLER SYSTEM DATABASE");
    load_killed_user_file();
    print_killed_user_list(sess);
    sPrintText(sess, "%s", kSeparatorLine);
    return true;
}

// ---- unload counterparts, in the order they run --------------------------------

bool unload_macro(HostSession* sess)
{
    sQueueOnLoad = 1;
    puts("- Unloading External Macro.");
    run_lifecycle_macro(sess, "unload");
    sQueueOnLoad = 0;
    return true;
}

bool unload_databases(HostSession*)
{
    if (iFlagEnableDatabase) {
        DebugPlugin(1, " * module_cleanup() - Database Cleaning");
        printf("- Database Cleaning: ");
        iFlagEnableDatabase = 0;
        FlushDatabases(print_progress_dot);
    }
    printf("\n");
    return true;
}

bool unload_sentinels(HostSession*)
{
    puts("- Sentinels Cleaning.");
    FlushAllSentinel();
    return true;
}

bool unload_language(HostSession*)
{
    puts("- Language Database Unloading.");
    FlushMessage();
    return true;
}

bool unload_word_lists(HostSession*)
{
    puts("- Badword Database Unloading.");
    clean_badword_database(badword_list);
    puts("- Badnick Database Unloading.");
    clean_badword_database(badnick_list);
    puts("- Filters Database Unloading.");
    clean_badword_database(filter_list);
    return true;
}

bool unload_queue(HostSession*)
{
    puts("- Command's Queue Cleaning.");
    iCommandStatus_CommandsQueue = 2;
    FlushCommandInQueue();
    iCommandStatus_CommandsQueue = 0;
    for (int i = 0; i < 16; ++i) sHandleCommand(current_tab, "/TIMER -quiet -delete 2255");
    return true;
}

bool unload_config(HostSession*)
{
    puts("- Config Cleaning.");
    ConfigCleaning();
    return true;
}

bool unload_logs(HostSession*)
{
    puts("- Closing all LOG Files");
    WriteLog(nullptr, nullptr);
    return true;
}

// The former nicknames and the last nickname of a dialog report.
bool unload_session_memory(HostSession*)
{
    FlushSessionMemory();
    return true;
}

void print_freed_block(int slot)
{
    if (slot == 0)
        printf("#");
    else
        printf("(%d)", slot);
}

bool unload_garbage_collector(HostSession*)
{
    printf("- Cleaning Garbage Collector: ");
    GarbageCollectorFree(print_freed_block);
    zemescaperegexp(nullptr);
    return true;
}

bool unload_user_variables(HostSession*)
{
    puts("\n- Deleting User Variables");
    flush_user_variables();
    return true;
}

bool unload_private_killer(HostSession*)
{
    puts("- Cleaning Private Killer Database");
    flush_killed_user_list();
    return true;
}

bool step_process(HostSession*)
{
    puts("\n\nQuIbOsCrIpT plugin loading:");
    quibo_paths_resolve();
    unlink(quibo_data_path("crash.log").c_str());
    puts("- Initializing Plugin Process.");
    iPidOfProcess = getpid();
    return true;
}

bool step_garbage_collector(HostSession* sess)
{
    puts("- Initializing Garbage Collector.");
    GarbageCollectorClear();
    sPrintText(sess, "%s", coloured_banner("\0035 \017caricato con successo.\n").c_str());
    sPrintText(sess, "\0033 %s", QUIBO_VER);
    iFlagDebugModeFnc = 0;
    puts("- Set Working Directory.");
    if (chdir(quibo_home().c_str()) != 0) sPrintText(sess, "\0034SYSTEM ERROR: Cannot change current directory.");
    return true;
}

// Without the default messages nothing else can be loaded: the load stops here.
bool step_default_language(HostSession* sess)
{
    puts("- Load Default Language File:");
    if (LoadMessageFile("italiano")) return true;
    print_language_fatal(sess);
    sPrintText(sess, "%s", kInactiveNotice);
    return false;
}

bool step_setup(HostSession* sess)
{
    puts("- Load Setup.");
    psQuiboscriptRC = default_setup_path();
    ReadSetup(sess);
    DebugPlugin(0, "START: module_init()");
    return true;
}

// One step of loading or unloading: what it is, the trace line it writes
// (none when null) and what it does; false stops a load.
struct LifecycleStep {
    const char* name;
    const char* trace;
    bool (*run)(HostSession* sess);
};

// Loading, in order. A step that leaves something to free has a counterpart
// of the same name in the unload table.
const LifecycleStep kLoadSteps[] = {
    {"process", nullptr, step_process},
    {"crash handler", nullptr, step_signal_handler},
    {"directories", nullptr, step_directories},
    {"garbage collector", nullptr, step_garbage_collector},
    {"language", nullptr, step_default_language},
    {"configuration", nullptr, step_setup},
    {"configured language", nullptr, step_configured_language},
    {"client version", nullptr, step_client_version},
    {"sound", nullptr, step_sound_check},
    {"sentinels", nullptr, step_output_and_events},
    {"context", nullptr, step_context},
    {"macro", nullptr, step_macro},
    {"word lists", nullptr, step_word_lists},
    {"databases", nullptr, step_databases},
    {"private killer", nullptr, step_private_killer},
};

// Unloading, in order: the unload macro first, while everything is still
// there. The queue, the logs and the user variables fill while the plug-in
// runs; the crash handler goes last, with the hooks (xchat_plugin_deinit).
const LifecycleStep kUnloadSteps[] = {
    {"macro", nullptr, unload_macro},
    {"databases", nullptr, unload_databases},
    {"sentinels", " * module_cleanup() - Sentinels Cleaning", unload_sentinels},
    {"language", " * module_cleanup() - Language Database Unloading", unload_language},
    {"word lists", " * module_cleanup() - Badword/Badnick Database Unloading", unload_word_lists},
    {"queue", " * module_cleanup() - Command's Queue Cleaning", unload_queue},
    {"configuration", " * module_cleanup() - Config Cleaning", unload_config},
    {"logs", nullptr, unload_logs},
    {"session memory", nullptr, unload_session_memory},
    {"garbage collector", nullptr, unload_garbage_collector},
    {"user variables", " * module_cleanup() - Deleting User Variables", unload_user_variables},
    {"private killer", nullptr, unload_private_killer},
};

template <size_t N>
bool run_steps(const LifecycleStep (&steps)[N], HostSession* sess)
{
    for (const LifecycleStep& step : steps) {
        if (step.trace) DebugPlugin(1, "%s", step.trace);
        if (!step.run(sess)) return false;
    }
    return true;
}

}  // namespace

int module_init(int, int, HostSession* sess)
{
    load_stopped = false;
    // The hooks stay active while the steps run (the load macro's commands
    // pass through them); only a load that ends early, or fails, stops them.
    struct StopUnlessLoaded {
        bool loaded = false;
        ~StopUnlessLoaded() { load_stopped = !loaded; }
    } outcome;
    if (!run_steps(kLoadSteps, sess)) return 1;
    outcome.loaded = true;
    printf("QuIbOsCrIpT Loading completed.\n");
    DebugPlugin(0, "END: module_init() = 0");
    return 0;
}

int module_cleanup(int, HostSession* sess)
{
    DebugPlugin(0, "BEGIN: module_cleanup()");
    puts("\n\nQuIbOsCrIpT plugin unloading:");
    run_steps(kUnloadSteps, sess);
    sPrintText(sess, "%s", coloured_banner("\0035 \017scaricato dalla memoria.\n").c_str());
    printf("\nQuIbOsCrIpT Unloading completed.\n");
    DebugPlugin(0, "END: module_cleanup()");
    return fflush(stdout);
}

bool module_active() { return !load_stopped; }

void QuiboscriptAbort()
{
    DebugPlugin(0, "BEGIN: QuiboscriptAbort()");
    sPrintText(current_tab, "%s", kSeparatorLine);
    sPrintText(current_tab, "\0034FATAL ERROR !!!");
    sPrintText(current_tab, "\0033 Attention, this version of XChat is not compatible with QuIbOsCrIpT.");
    sPrintText(current_tab, "\0033 Unable to find the local user nickname.");
    sPrintText(current_tab, "\0033 (It's probable that the binary of the client does not support SSL)");
    sPrintText(current_tab, "%s", kMakerLine);
    sPrintText(current_tab, "\0033 Automatic unload of QuIbOsCrIpT.");
    sHandleCommand(current_tab, "/TIMER 3 UNLOAD quibo.so");
    sPrintText(current_tab, "%s", kSeparatorLine);
    DebugPlugin(0, "END: QuiboscriptAbort()");
}

void PrintHelp(HostSession* sess, const char* text)
{
    DebugPlugin(2, "BEGIN: PrintHelp(%s)", text ? text : "");
    HostSession* where = iFlagCurrentTab ? current_tab : sess;
    if (text) {
        sPrintText(where, "%s", kSeparatorLine);
        sPrintText(where, "\0033%s", text);
        sPrintText(where, "%s", kSeparatorLine);
    } else {
        sPrintText(where, "%s", GetMessage(298));
    }
    DebugPlugin(2, "END: PrintHelp()");
}

void hook_default_commands()
{
    for (const DefaultCommand& command : kDefaultCommands)
        pxhCommand[command.slot] = plugin().hook_command(command.name, cb_default_command, nullptr, nullptr);
}

void unhook_default_commands()
{
    Plugin& p = plugin();
    for (int slot = 0; slot <= 3; ++slot) p.unhook(&pxhCommand[slot]);
    p.unhook(&pxhCommand[72]);
    for (int slot = 4; slot <= 71; ++slot) p.unhook(&pxhCommand[slot]);
}

// ---- entry points ------------------------------------------------------------

namespace {

// The DCC hooks are removed at unload like every other hook, rather than left to the client.
xchat_hook* dcc_hooks[kDccEventCount] = {};

// A failure while loading or unloading is reported, never thrown into the
// client; a load that fails so leaves the plug-in inactive.
template <typename Body>
void reported(const char* operation, int line, Body body)
{
    try {
        body();
    } catch (...) {
        printf("[%s:%d]> Internal Error (%s())\n", "xchat2", line, operation);
    }
}

void register_hooks()
{
    Plugin& p = plugin();
    pxhEvent[kHookRawLine] = p.hook_server("RAW LINE", cb_raw_line, nullptr);
    for (const PrintHook& hook : kPrintHooks) pxhEvent[hook.slot] = p.hook_print(hook.event, hook.callback, nullptr);
    for (int i = 0; i < kDccEventCount; ++i) dcc_hooks[i] = p.hook_print(kDccEvents[i], cb_DCC_Manager, nullptr);
    hook_default_commands();
}

void register_commands()
{
    for (const CommandHook& hook : kCommandHooks)
        pxhEvent[hook.slot] = plugin().hook_command(hook.name, hook.callback, hook.help, nullptr);
}

// The mirror image of register_hooks and register_commands.
void remove_hooks()
{
    Plugin& p = plugin();
    p.unhook(&pxhEvent[kHookRawLine]);
    for (const PrintHook& hook : kPrintHooks) p.unhook(&pxhEvent[hook.slot]);
    for (xchat_hook*& hook : dcc_hooks) p.unhook(&hook);
    unhook_default_commands();
    for (const CommandHook& hook : kCommandHooks) p.unhook(&pxhEvent[hook.slot]);
}

}  // namespace

#define QUIBO_EXPORT extern "C" __attribute__((visibility("default")))

QUIBO_EXPORT int xchat_plugin_init(xchat_plugin* handle, char** plugin_name, char** plugin_desc,
                                   char** plugin_version, char* arg)
{
    psPluginName = "QuIbOsCrIpT";
    psDescription = "Full featured plugin for Italian users";
    const char* blank = strchr(QUIBO_VER, ' ');
    psVersion = blank ? blank + 1 : QUIBO_VER;
    // The client keeps these pointers for as long as the plug-in is loaded.
    *plugin_name = psPluginName.data();
    *plugin_desc = psDescription.data();
    *plugin_version = psVersion.data();

    plugin_install(std::make_unique<Plugin>(handle, psPluginName.c_str(), psDescription.c_str(), psVersion.c_str(),
                                            arg));
    reported("xchat_plugin_init", __LINE__, [] {
        register_hooks();
        current_tab = session_of(plugin().get_context());
    });
    reported("xchat_plugin_init", __LINE__, register_commands);
    reported("xchat_plugin_init", __LINE__, [] {
        prefs_setup();
        const char* version = plugin().get_info_version();
        psXChatVersion = version ? version : "";
    });
    reported("module_init", __LINE__, [] { module_init(0, 0, nullptr); });
    reported("xchat_plugin_init", __LINE__, [] {
        plugin().print("--- \0038QuIbOsCrIpT\0036 XChat2\0034 module\0033\002 loaded.\n");
        plugin().print(kSeparatorLine);
    });
    fflush(stdout);
    return 1;
}

QUIBO_EXPORT int xchat_plugin_deinit(xchat_plugin*)
{
    puts("\n\nQuIbOsCrIpT XChat2 Module Unloading:");
    puts("- Ignored Users List Cleaning.");
    ignore_list.clear();
    sess_list.clear();
    serv_list.clear();

    puts("- Call the old cleanup function");
    reported("module_cleanup", __LINE__, [] { module_cleanup(0, session_of(plugin().get_context())); });
    load_stopped = false;

    reported("xchat_plugin_deinit", __LINE__, [] {
        plugin().print("--- \0038QuIbOsCrIpT\0036 XChat2\0034 module\0033\002 unloaded.\n");
        plugin().print(kSeparatorLine);
    });
    reported("remove_hooks", __LINE__, remove_hooks);

    crash_handler_remove();
    host_records_flush();
    plugin_install(nullptr);
    psPluginName.clear();
    psDescription.clear();
    psVersion.clear();
    fflush(stdout);
    return 1;
}

QUIBO_EXPORT int hexchat_plugin_init(xchat_plugin* handle, char** plugin_name, char** plugin_desc,
                                     char** plugin_version, char* arg)
{
    return xchat_plugin_init(handle, plugin_name, plugin_desc, plugin_version, arg);
}

QUIBO_EXPORT int hexchat_plugin_deinit(xchat_plugin* handle) { return xchat_plugin_deinit(handle); }
