// The plug-in's alert sounds, played through the companion sound player.
#include "output/output.h"

#include "host/paths.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "utilities.h"

#include <cstring>

int quibo_play_sound(const char* name)
{
    if (!iFlagBeep || !name || !*name) return 0;
    const std::vector<std::string> player{quibo_data_path("zemplaysound"), quibo_data_path(std::string(name) + ".au")};
    return zemSoundCommandTimed(player, tSoundCommandTimer, psAudioDevice.c_str());
}

void SoundSystemCheck(HostSession* sess)
{
    const char* device = psAudioDevice.c_str();
    if (!iFlagBeep || !device || !*device) {
        sPrintText(sess, "%s", GetMessage(237));
        return;
    }
    // The ALSA player needs no device file; any other device must be writable.
    if (strncmp(device, "ALSA", 4) == 0 || zemDeviceReady(device, "w")) quibo_play_sound("warning");
}
