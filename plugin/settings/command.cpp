// The /QUIBO command: reduces the first argument, then offers the command to
// each keyword family in turn.
#include "settings/command.h"

#include "host/host.h"
#include "host/trace.h"
#include "settings/main_command.h"
#include "settings/settings.h"

#include <utilities.h>

#include <strings.h>

#include <cstdio>
#include <cstring>

namespace {

// Families in the order they are searched; the first that takes the command ends the search.
std::span<const QuiboKeyword> (*const kKeywordFamilies[])() = {
    setting_keywords,
    main_keywords,
};

int reduce_argument(const char* text)
{
    int value = 0;
    if (!leading_int(text, value)) return -1;
    return value != 0;
}

bool dispatch(QuiboCommand& cmd)
{
    const char* keyword = cmd.arg(2);
    for (auto family : kKeywordFamilies)
        for (const QuiboKeyword& row : family())
            if (strcasecmp(row.keyword, keyword) == 0 && row.run(cmd, row.data)) return true;
    return false;
}

}  // namespace

HostSession* QuiboCommand::where() const { return iFlagCurrentTab ? current_tab : sess; }

int quibo_cmd(HostSession* sess, int, char* word[], char* word_eol[])
{
    QuiboCommand cmd{sess, word, word_eol, -1};
    DebugPlugin(0, "BEGIN: quibo_cmd(%s)", cmd.tail(2));
    cmd.argument = reduce_argument(cmd.arg(3));
    bool handled = dispatch(cmd);
    if (!handled) quibo_unknown_command(cmd);
    DebugPlugin(0, "END: quibo_cmd() = %d", handled ? 0 : 1);
    return 0;
}
