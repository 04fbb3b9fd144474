// The guard's list against the simulated client: a fresh data folder, an
// empty list, and helpers to write the list's file and read it back.
#pragma once

#include "settings_fixture.h"

#include "protection/private_killer.h"

#include <string>
#include <vector>

class GuardTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        flush_killed_user_list();
        flag_auto_close_dialog_private_killer = 0;
    }

    void TearDown() override
    {
        flush_killed_user_list();
        SettingsTest::TearDown();
    }

    static std::string list_path() { return quibo_data_path("private_killer.txt"); }
    void write_list(const std::string& text) { home.write(".xchat2/quiboscript/private_killer.txt", text); }
    static std::string list_file() { return read_file(list_path()); }

    // The entries, newest first, as "flag nick address" with " temporary" for those.
    static std::vector<std::string> entries()
    {
        std::vector<std::string> shown;
        for (const KilledUser* e : killed_user_list())
            shown.push_back(std::to_string(e->uiStatus) + " " + e->psUserNick() + " " +
                            (e->psAddress() ? e->psAddress() : "") +
                            (e->uiKeep ? " temporary" : ""));
        return shown;
    }

    using Lines = std::vector<std::string>;
};
