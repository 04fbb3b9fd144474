// Texts a hostile peer sends to make the plug-in run something it should not:
// command separators, script variables, shell syntax, percent escapes, CTCP
// bytes, quotes, line breaks, invalid UTF-8 and very long texts.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace hostsim {

inline std::vector<std::string> hostile_payloads()
{
    return {"\\;", "a\\;b", "\\;/quit", "_QUIBO_SEPARATOR_", "x_QUIBO_SEPARATOR_/quit",
            "_QUIBO_COMMAND_SEPARATOR-00001_", "_QUIBO_COMMAND_SEPARATOR-00001_/quit", "$(id)",
            "$(touch CANARY)", "`touch CANARY`", "; touch CANARY", "| touch CANARY", "&& touch CANARY #",
            "'$(touch CANARY)'", "\"; touch CANARY; \"", "$password", "$nickname", "$ru", "$data ^data $number",
            "\025-$DATA\025", "\025-$NUMBER\025\025-^LU\025", "%010QUIT", "%013", "%%", "%B%C4red%O%U%R",
            "%s%n%x", "\001ACTION x\001", "\"", "\"quoted\" 'single'", "\\", "\\\\;", "back\\slash\\",
            "/quit", "\r\nQUIT :bye", "line\nbreak", "\xff\xfe\xc3\x28 invalid", "$_ $event_params ^event_params",
            std::string(8192, 'x'), "$(touch CANARY)" + std::string(300, 'y'), "a\\;b"};
}

// What the client is handed of a value: line breaks never reach it.
inline std::string as_received(std::string value)
{
    std::erase_if(value, [](char c) { return c == '\r' || c == '\n'; });
    return value;
}

// What `command` prints when a shell runs it in `folder`.
inline std::string shell_output(const std::string& command, const std::string& folder)
{
    FILE* pipe = popen(("cd '" + folder + "' && " + command).c_str(), "r");
    if (!pipe) return "<no shell>";
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

}  // namespace hostsim
