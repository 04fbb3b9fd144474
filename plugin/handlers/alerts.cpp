// Alerts shared by the IRC handlers: the sound helper, the nickname characters and the monitoring rule.
#include "handlers/handlers.h"

#include "host/host.h"
#include "host/paths.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "utilities.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <strings.h>

int iSoundBusyCount = 0;
int16_t sNoSound_PrintText = 0;

int SoundDeviceBusy(const char* sound, time_t interval)
{
    if (!iFlagBeep || !sound || !*sound) return 0;
    const std::vector<std::string> player{quibo_data_path("zemplaysound"), quibo_data_path(std::string(sound) + ".au")};
    const char* device = psAudioDevice.c_str();
    const bool has_device = device && *device;
    const int result = zemSoundCommandTimed(player, interval, device);
    if (has_device) {
        if (result == 1) {
            --iSoundBusyCount;
            return 1;
        }
        if (result == 0) {
            if (error_output_on() && iSoundBusyCount < 1) sPrintText(current_tab, "%s", GetMessage(19));
            iSoundBusyCount = 8;
            fe_beep();
        }
        return 0;
    }
    if (result == -2) fe_beep();
    return 0;
}

int is_nickname_char(int c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u < 0x80 && isalnum(u)) || (u && strchr("|-_[]{}\\`^", u)) ? 1 : 0;
}

void MonitoringLine(const char* channel, const char* nick, const char* format, ...)
{
    if (!current_tab || !is_session(current_tab) || current_tab->channel.empty()) return;
    if (!channel || !*channel || !nick || !*nick) return;
    const char* name = current_tab->channel.c_str();
    if (strcasecmp(name, channel) == 0 || strcasecmp(name, nick) == 0) return;
    if (iFlagMonitoringMessage) {
        va_list args;
        va_start(args, format);
        const std::string line = vformat(format, args);
        va_end(args);
        sPrintText(current_tab, "%s", line.c_str());
    }
    sNoSound_PrintText = 0;
}
