// Under a debugger the plug-in leaves the crash signal alone.
#include "scenario.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace hostsim;

namespace {

enum Failure : int {
    kInitFailed = 1,
    kHandlerChanged = 2,
    kNoNotice = 4,
    kNotAnExit = 64,
};

// Runs in the grandchild; the exit status carries the failures.
int load_under_a_debugger()
{
    TempHome home;
    home.copy_in(std::string(QUIBO_DATA_DIR) + "/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
    Sim sim;
    sim.add_server("irc.test.net", "tester");

    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    StdoutCapture out;
    Loaded& plugin = sim.load(QUIBO_PLUGIN_PATH);
    std::string report = out.stop();
    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);

    int failures = 0;
    if (plugin.init_result != 1) failures |= kInitFailed;
    if (after.sa_sigaction != before.sa_sigaction || after.sa_flags != before.sa_flags) failures |= kHandlerChanged;
    if (report.find("  GBD Detected (PID: ") == std::string::npos) failures |= kNoNotice;

    StdoutCapture quiet;
    if (plugin.loaded) sim.unload(plugin);
    return failures;
}

int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : kNotAnExit; }

TEST(ParentProcess, NamedGdbGetsNoCrashHandler)
{
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        prctl(PR_SET_NAME, "GDB");
        pid_t grandchild = fork();
        if (grandchild == 0) _exit(load_under_a_debugger());
        int status = 0;
        if (grandchild < 0 || waitpid(grandchild, &status, 0) != grandchild) _exit(kNotAnExit);
        _exit(exit_code(status));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    int failures = exit_code(status);
    EXPECT_EQ(failures & kInitFailed, 0) << "init did not return 1";
    EXPECT_EQ(failures & kHandlerChanged, 0) << "the SIGSEGV handler was replaced under a parent named GDB";
    EXPECT_EQ(failures & kNoNotice, 0) << "no \"  GBD Detected (PID: \" line on standard output";
    EXPECT_EQ(failures & kNotAnExit, 0) << "the loading process did not exit normally";
}

}  // namespace
