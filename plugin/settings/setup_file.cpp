// The binary configuration file quiborc: a version number and then every
// stored setting in a fixed order, in the machine's byte order.
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

enum class FieldKind { Number, Seconds, Text, Pair, ParserModes };
// What an empty text (length 0) in the file does to the setting.
enum class EmptyText { BecomesNull, KeepsValue };

struct SetupField {
    FieldKind kind;
    void* variable;
    int since;  // the first file version that holds the field
    EmptyText empty = EmptyText::BecomesNull;
};

#define NUMBER(v, since) {FieldKind::Number, &v, since}
#define SECONDS(v) {FieldKind::Seconds, &v, 0}
#define TEXT(v, since, empty) {FieldKind::Text, &v, since, EmptyText::empty}
#define PAIR(v) {FieldKind::Pair, &v, 0}

const SetupField kSetupFields[] = {
    NUMBER(iFlagDebugMode, 0),          NUMBER(iFlagLogFile, 0),
    NUMBER(iFlagCloneDetect, 0),        NUMBER(iFlagPrintClone, 0),
    NUMBER(iFlagPrintList, 0),          NUMBER(iFlagColor, 0),
    NUMBER(iMaxCloneCount, 0),          NUMBER(iFlagQueryBeep, 0),
    NUMBER(iFlagNickBeep, 0),           NUMBER(iFlagDomainMonitoring, 0),
    NUMBER(iFlagNickJoinMonitoring, 0), NUMBER(iMaxQueryMSGFlood, 0),
    NUMBER(iFlagCTCPAnswer, 0),         SECONDS(tCTCPFloodTimer),
    NUMBER(iFlagBeep, 0),               SECONDS(tSoundCommandTimer),
    NUMBER(iMaxMessageSent, 0),         SECONDS(tMinSecondSent),
    NUMBER(iFlagTextFloodOutgoing, 0),  PAIR(psFlagChanJoinBeep),
    PAIR(psFlagChanModBeep),            PAIR(psFlagChanWordBeep),
    TEXT(psPrefixOutput, 12, BecomesNull), TEXT(psPostfixOutput, 12, BecomesNull),
    NUMBER(iFlagIgnoreMessage, 13),     NUMBER(iFlagQuiboMessage, 15),
    NUMBER(iFlagLocalUserModeChg, 16),  NUMBER(iFlagDebugModeFnc, 17),
    NUMBER(iFlagEnableDatabase, 17),    NUMBER(iFlagEnableEvent, 17),
    TEXT(psMessageLanguage, 18, KeepsValue), TEXT(psAwayPostfix, 19, BecomesNull),
    NUMBER(iFlagAwaySystem, 20),        TEXT(psPipeCommand, 21, KeepsValue),
    TEXT(psAudioDevice, 22, BecomesNull), NUMBER(iMaxMessageChar, 23),
    TEXT(psIdentifyCommand, 24, BecomesNull), NUMBER(iFlagErrorMessage, 25),
    NUMBER(iFlagDisableDBUpdating, 26), NUMBER(iFlagMonitoringMessage, 26),
    NUMBER(iFlagAwayMessage, 27),       NUMBER(iFlagCurrentTab, 28),
    NUMBER(iFlagTextFloodError, 28),    NUMBER(iFlagBadWordSystem, 29),
    NUMBER(iFlagBadWordMessage, 29),    NUMBER(iFlagEventsManagerDebug, 30),
    {FieldKind::ParserModes, iFlagParserMode, 30},
    NUMBER(iFlagTextFloodIncoming, 31), NUMBER(iFlagAdvancedLog, 32),
    NUMBER(iPrivateKillerAlert, 32),    NUMBER(iFlagFilterSystem, 33),
    NUMBER(iPrivateKillerMessage, 34),  NUMBER(iFlagKeepQueueCommandCorrupted, 35),
    NUMBER(iPKIgnoreCTCPVersion, 36),   NUMBER(iPKAllowOnTimeout, 37),
    NUMBER(iFlagDisableSHBM, 38),
};

#undef NUMBER
#undef SECONDS
#undef TEXT
#undef PAIR

// ---- writing ----------------------------------------------------------------

template <typename T>
void put_raw(std::string& image, T value)
{
    image.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put_text(std::string& image, const std::string& text)
{
    put_raw<int32_t>(image, static_cast<int32_t>(text.size()));
    image += text;
}

void put_field(std::string& image, const SetupField& field)
{
    switch (field.kind) {
    case FieldKind::Number: put_raw<int32_t>(image, *static_cast<int*>(field.variable)); break;
    case FieldKind::Seconds: put_raw<int64_t>(image, *static_cast<time_t*>(field.variable)); break;
    case FieldKind::Text: {
        auto* text = static_cast<OptionalText*>(field.variable);
        put_text(image, text->set ? text->value : std::string());
        break;
    }
    case FieldKind::Pair: {
        auto* pair = static_cast<SettingTextPair*>(field.variable);
        if (pair->set && !pair->text[0].empty()) {
            put_text(image, pair->text[0]);
            put_text(image, pair->text[1]);
        } else {
            put_raw<int32_t>(image, 0);
        }
        break;
    }
    case FieldKind::ParserModes:
        for (int mode : iFlagParserMode) put_raw<int32_t>(image, mode);
        break;
    }
}

void report_write_failure(const std::string& path, const char* reason)
{
    if (current_tab)
        sPrintText(current_tab, "\0034Unable to open file\0033 %s\0034 for writing (\0033%s\0034).", path.c_str(),
                   reason);
    printf("\nUnable to open file %s for writing (%s).\n", path.c_str(), reason);
    quibo_play_sound("error");
}

// ---- reading ----------------------------------------------------------------

class SetupReader {
public:
    explicit SetupReader(std::string bytes) : data(std::move(bytes)) {}

    bool number(int32_t& value) { return raw(value); }
    bool seconds(int64_t& value) { return raw(value); }

    // A length and its text; the length must be 0..kMaxSetupText.
    bool text(std::string& value)
    {
        int32_t length = 0;
        if (!raw(length) || length < 0 || length > kMaxSetupText || data.size() - at < static_cast<size_t>(length))
            return false;
        value.assign(data, at, static_cast<size_t>(length));
        at += static_cast<size_t>(length);
        return true;
    }

    size_t offset() const { return at; }

private:
    template <typename T>
    bool raw(T& value)
    {
        if (data.size() - at < sizeof value) return false;
        memcpy(&value, data.data() + at, sizeof value);
        at += sizeof value;
        return true;
    }

    std::string data;
    size_t at = 0;
};

// A text ends at its first zero byte, as every reader of the setting sees it.
std::string up_to_zero(const std::string& raw) { return std::string(raw.c_str()); }

bool read_text_field(SetupReader& reader, const SetupField& field)
{
    std::string value;
    if (!reader.text(value)) return false;
    auto* text = static_cast<OptionalText*>(field.variable);
    if (!value.empty())
        text->assign(up_to_zero(value));
    else if (field.empty == EmptyText::BecomesNull)
        text->clear();
    return true;
}

bool read_pair_field(SetupReader& reader, const SetupField& field)
{
    std::string first;
    std::string second;
    if (!reader.text(first)) return false;
    auto* pair = static_cast<SettingTextPair*>(field.variable);
    if (first.empty()) {
        pair->clear();
        return true;
    }
    if (!reader.text(second)) return false;
    pair->text[0] = up_to_zero(first);
    pair->text[1] = up_to_zero(second);
    pair->set = true;
    return true;
}

bool read_parser_modes(SetupReader& reader)
{
    int32_t modes[kParserModeCount];
    for (int32_t& mode : modes)
        if (!reader.number(mode)) return false;
    std::copy(std::begin(modes), std::end(modes), iFlagParserMode);
    return true;
}

bool read_field(SetupReader& reader, const SetupField& field)
{
    switch (field.kind) {
    case FieldKind::Number: {
        int32_t value = 0;
        if (!reader.number(value)) return false;
        *static_cast<int*>(field.variable) = value;
        return true;
    }
    case FieldKind::Seconds: {
        int64_t value = 0;
        if (!reader.seconds(value)) return false;
        *static_cast<time_t*>(field.variable) = value;
        return true;
    }
    case FieldKind::Text: return read_text_field(reader, field);
    case FieldKind::Pair: return read_pair_field(reader, field);
    case FieldKind::ParserModes: return read_parser_modes(reader);
    }
    return false;
}

// Values come back as they were stored; only a limit below one message per
// flood window would make the flood control hold back everything.
void keep_message_limit_usable()
{
    if (iMaxMessageSent < 1) iMaxMessageSent = 1;
}

void default_if_null(OptionalText& text, const char* value)
{
    if (!text.set) text.assign(value);
}

// Fields that the file's version does not hold.
void apply_version_defaults(int version)
{
    if (version < 21) psPipeCommand.assign("/ECHO ");
    if (version < 22) psAudioDevice.assign("ALSA");
    if (version < 24) psIdentifyCommand.assign("/MSG NickServ Identify");
}

void apply_last_defaults()
{
    default_if_null(psMessageLanguage, "italiano");
    default_if_null(psAwayPostfix, "_AWAY");
    default_if_null(psPipeCommand, "");
}

// Reads the fields the version holds; false at the first short read or bad length.
bool read_fields(SetupReader& reader, int version)
{
    for (const SetupField& field : kSetupFields)
        if (version >= field.since && !read_field(reader, field)) return false;
    return true;
}

void report_unreadable(const std::string& path)
{
    const char* reason = strerror(errno);
    sPrintText(current_tab, "%s", kSeparatorLine);
    if (!is_default_setup_path(path)) {
        sPrintText(current_tab, "\0034Unable to open configuration file \0033%s\0034. (\0038%s\0034)", path.c_str(),
                   reason);
        return;
    }
    sPrintText(current_tab, GetMessage(232), 0, iMinimunSetupVersion);
    sPrintText(current_tab, "%s", kSeparatorLine);
    quibo_play_sound("error");
    default_if_null(psPipeCommand, "/ECHO ");
    default_if_null(psAudioDevice, "ALSA");
    default_if_null(psIdentifyCommand, "/MSG NickServ Identify");
    apply_last_defaults();
}

void report_damage(const std::string& path, size_t offset)
{
    sPrintText(current_tab,
               "\0034Configuration file \0033%s\0034 is damaged at byte\0038 %zu\0034: the settings from there on keep "
               "their current values.",
               path.c_str(), offset);
}

// The contents of the file, at most `limit` bytes; false when it cannot be opened.
bool slurp(const std::string& path, std::string& bytes)
{
    constexpr size_t limit = 1 << 20;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[8192];
    ssize_t n;
    while (bytes.size() < limit && (n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

}  // namespace

bool is_default_setup_path(const std::string& path)
{
    return strcasecmp(path.c_str(), default_setup_path().c_str()) == 0;
}

std::string SetupImage()
{
    std::string image;
    put_raw<int32_t>(image, iSetupVersion);
    for (const SetupField& field : kSetupFields) put_field(image, field);
    return image;
}

void WriteSetup()
{
    DebugPlugin(0, "BEGIN: WriteSetup(%s)", psQuiboscriptRC.c_str());
    flag_write_setup_failed = 0;
    if (!zemReplaceFile(psQuiboscriptRC, SetupImage())) {
        flag_write_setup_failed = 1;
        report_write_failure(psQuiboscriptRC, strerror(errno));
    }
    DebugPlugin(0, "END: WriteSetup() = %d", flag_write_setup_failed);
}

void ReadSetup(HostSession*)
{
    DebugPlugin(0, "BEGIN: ReadSetup(%s)", psQuiboscriptRC.c_str());
    const std::string path = psQuiboscriptRC;
    std::string bytes;
    if (!slurp(path, bytes)) {
        report_unreadable(path);
        DebugPlugin(0, "END: ReadSetup() = unreadable");
        return;
    }
    SetupReader reader(std::move(bytes));
    int32_t version = 0;
    if (!reader.number(version)) {
        report_damage(path, reader.offset());
    } else if (version < iMinimunSetupVersion) {
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, GetMessage(231), version, iMinimunSetupVersion);
        sPrintText(current_tab, "%s", kSeparatorLine);
        quibo_play_sound("error");
    } else {
        bool complete = read_fields(reader, version);
        apply_version_defaults(version);
        keep_message_limit_usable();
        if (!complete)
            report_damage(path, reader.offset());
        else if (is_default_setup_path(path))
            sPrintText(current_tab, GetMessage(230), version);
        else
            sPrintText(current_tab, "\0033Configuration file\0038 %s\0033 readed successfully (\0032 %d\0033 version)",
                       path.c_str(), version);
    }
    apply_last_defaults();
    DebugPlugin(0, "END: ReadSetup() = %d", version);
}
