// A plug-in's settings against the simulated client: a fresh home folder with
// the Italian language file, and helpers to type /QUIBO commands.
#pragma once

#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "settings/command.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include "capture.h"
#include "hostsim.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdarg>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home.make_dir(".xchat2/quiboscript");
        home.copy_in(QUIBO_SOURCE_DIR "/data/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
        quibo_paths_resolve();
        irc = &sim.add_server("irc.test.net", "me", "TestNet", "irc.test.net");
        chan = &sim.channel(*irc, "#quibo");
        sim.add_user(*chan, "me", "me@local.host", "@");
        sim.focus(*chan);
        handle = sim.attach("quibo-unit", chan);
        plugin_install(std::make_unique<Plugin>(handle, "QuIbOsCrIpT", "d", "3.7.86", nullptr));
        current_tab = session_of(chan->handle());
        hostsim::StdoutCapture quiet;
        LoadMessageFile("italiano");
        quiet.stop();
        ResetSettings();
        iFlagBeep = 0;
        psQuiboscriptRC = default_setup_path();
        sim.clear_records();
    }

    void TearDown() override
    {
        current_tab = nullptr;
        host_records_flush();
        plugin_install(nullptr);
        sim.detach(handle);
    }

    // Types "/quibo <line>" as the client would hand it to the command hook.
    void quibo(const std::string& line)
    {
        std::string full = "quibo " + line;
        std::vector<std::string> words(kCommandWords);
        std::vector<std::string> tails(kCommandWords);
        size_t at = 0;
        for (int i = 1; i < kCommandWords && at < full.size(); ++i) {
            while (at < full.size() && full[at] == ' ') ++at;
            tails[i] = full.substr(at);
            size_t end = full.find(' ', at);
            if (end == std::string::npos) end = full.size();
            words[i] = full.substr(at, end - at);
            at = end;
        }
        std::vector<char*> word, word_eol;
        for (int i = 0; i < kCommandWords; ++i) {
            word.push_back(words[i].data());
            word_eol.push_back(tails[i].data());
        }
        quibo_cmd(session_of(chan->handle()), 0, word.data(), word_eol.data());
    }

    std::vector<std::string> printed() const { return sim.texts_in(*chan); }
    std::vector<std::string> take()
    {
        auto lines = printed();
        sim.clear_records();
        return lines;
    }

    static std::string message(int number, ...)
    {
        char buffer[2048];
        va_list ap;
        va_start(ap, number);
        vsnprintf(buffer, sizeof buffer, GetMessage(number), ap);
        va_end(ap);
        return buffer;
    }

    static std::string help(int number) { return std::string("\0033") + GetMessage(number); }

    // A player in the data folder that writes its arguments to a file instead of playing.
    std::string fake_player()
    {
        const std::string record = home.path() + "/played";
        home.write(".xchat2/quiboscript/zemplaysound", "#!/bin/sh\necho \"$@\" >> '" + record + "'\n");
        chmod((home.path() + "/.xchat2/quiboscript/zemplaysound").c_str(), 0755);
        return record;
    }

    static std::string read_file(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server* irc = nullptr;
    hostsim::Context* chan = nullptr;
    xchat_plugin* handle = nullptr;
    const std::string sep = kSeparatorLine;
};
