// Function trace, owned-buffer registry and the crash handler.
#include "host/trace.h"

#include "host/paths.h"
#include "output/output.h"
#include "settings/settings.h"

#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

std::vector<void*> registered_blocks;            // slot 0: blocks registered at run time
std::array<void*, kGarbageSlots> single_slots{};  // slots 1..1021: one text per global

struct sigaction previous_segv_action;
bool handler_installed = false;
int data_folder_fd = -1;

constexpr const char* kTraceFileName = "quibo.fnc";
constexpr const char* kCrashFileName = "crash.log";
constexpr int kBacktraceFrames = 32;
constexpr int kEchoedRingLines = 16;

// ---- trace line formatting -------------------------------------------------

// Writes into a fixed buffer as vsnprintf does: what does not fit is dropped
// and the text always ends with a NUL.
class BoundedText {
public:
    BoundedText(char* buffer, size_t size) : start(buffer), at(buffer), end(buffer + size - 1) {}
    ~BoundedText() { *at = '\0'; }
    BoundedText(const BoundedText&) = delete;
    BoundedText& operator=(const BoundedText&) = delete;

    void put(const char* text, size_t length)
    {
        const size_t room = static_cast<size_t>(end - at);
        if (length > room) length = room;
        memcpy(at, text, length);
        at += length;
    }
    void put(char c)
    {
        if (at < end) *at++ = c;
    }
    size_t length() const { return static_cast<size_t>(at - start); }

private:
    char* start;
    char* at;
    char* end;
};

void put_unsigned(BoundedText& out, unsigned long long value, unsigned base)
{
    char digits[24];
    char* at = digits + sizeof digits;
    do {
        *--at = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    out.put(at, static_cast<size_t>(digits + sizeof digits - at));
}

void put_signed(BoundedText& out, long long value)
{
    if (value < 0) out.put('-');
    put_unsigned(out, value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value),
                 10);
}

// ---- format plans ------------------------------------------------------------
//
// A trace line is kept as its format's plan number and its arguments, and
// written out only when it is read. The plan of a format lists its
// conversions once, so a call only copies its arguments. Formats with other
// conversions (flags, widths, %x, ...) and calls with an argument the plan
// cannot keep (a null text or pointer, a NUL character) are written at once
// by the C library and kept as text.

// What one conversion takes from the arguments and how it is written.
enum class Conversion : uint8_t {
    Percent,
    Text,
    TextPrecision,
    Int,
    Long,
    LongLong,
    SignedSize,
    Unsigned,
    UnsignedLong,
    UnsignedLongLong,
    Size,
    Char,
    Pointer,
};

struct ConversionSpelling {
    const char* spelling;  // what follows the '%'
    Conversion conversion;
};
// No spelling is the beginning of another, so the first that matches is the one.
constexpr ConversionSpelling kKeptConversions[] = {
    {"s", Conversion::Text},           {".*s", Conversion::TextPrecision},
    {"d", Conversion::Int},            {"i", Conversion::Int},
    {"ld", Conversion::Long},          {"li", Conversion::Long},
    {"lld", Conversion::LongLong},     {"lli", Conversion::LongLong},
    {"zd", Conversion::SignedSize},    {"zi", Conversion::SignedSize},
    {"u", Conversion::Unsigned},       {"lu", Conversion::UnsignedLong},
    {"llu", Conversion::UnsignedLongLong}, {"zu", Conversion::Size},
    {"c", Conversion::Char},           {"p", Conversion::Pointer},
    {"%", Conversion::Percent},
};

bool is_text(Conversion conversion)
{
    return conversion == Conversion::Text || conversion == Conversion::TextPrecision;
}

constexpr int kMaxPlanSteps = 12;
constexpr uint32_t kMaxFixedBytes = 60000;  // literal text of a format that still gets a plan

struct FormatStep {
    uint16_t literal;       // format bytes written before the conversion
    uint16_t fixed_before;  // bytes of the line before it that do not come from arguments
    uint8_t spelling;       // length of the conversion in the format, '%' included
    Conversion conversion;
};

struct FormatPlan {
    const char* format = nullptr;  // the key; null for a free slot
    bool kept = false;             // false: calls with this format are written at once
    uint8_t steps = 0;
    uint8_t texts = 0;
    uint8_t values = 0;      // arguments the conversions take; kNeverKept when calls are written at once
    uint16_t tail = 0;       // format bytes after the last conversion
    uint16_t ring_size = 0;  // the most bytes a ring entry of a call can take
    uint16_t number = 0;     // its slot in the table, which entries keep
    // Values (by their place, the first 16) the ring cannot keep when they are
    // zero: a null pointer, a NUL character.
    uint16_t null_pointers = 0;
    uint16_t nul_chars = 0;
    std::array<FormatStep, kMaxPlanSteps> step{};
};

constexpr size_t kPlanSlots = 512;  // a power of two
constexpr size_t kPlanLimit = kPlanSlots * 3 / 4;
constexpr uint16_t kNoPlan = 0xffff;
constexpr uint8_t kNeverKept = 0xff;  // more arguments than any call passes
std::array<FormatPlan, kPlanSlots> plans;
size_t plans_used = 0;

const ConversionSpelling* kept_conversion(const char* after_percent)
{
    for (const ConversionSpelling& known : kKeptConversions) {
        const size_t length = strlen(known.spelling);
        if (strncmp(after_percent, known.spelling, length) == 0) return &known;
    }
    return nullptr;
}

static_assert(kMaxPlanSteps <= 16, "a format with numbers only has its null checks in 16 bits");

void note_value(FormatPlan& plan, Conversion conversion)
{
    const unsigned bit = plan.values < 16 ? 1u << plan.values : 0;
    if (conversion == Conversion::Pointer) plan.null_pointers |= bit;
    if (conversion == Conversion::Char) plan.nul_chars |= bit;
    ++plan.values;
}

// Fills `plan` from `format`; false when the format has something a plan cannot keep.
bool parse_plan(FormatPlan& plan, const char* format)
{
    uint32_t fixed = 0;
    for (const char* p = format;;) {
        const char* percent = strchrnul(p, '%');
        const auto literal = static_cast<uint32_t>(percent - p);
        if (literal > kMaxFixedBytes || fixed + literal > kMaxFixedBytes) return false;
        fixed += literal;
        if (!*percent) {
            plan.tail = static_cast<uint16_t>(literal);
            return true;
        }
        const ConversionSpelling* known = kept_conversion(percent + 1);
        if (!known || plan.steps == kMaxPlanSteps) return false;
        const auto spelling = static_cast<uint8_t>(strlen(known->spelling) + 1);
        plan.step[plan.steps++] = {static_cast<uint16_t>(literal), static_cast<uint16_t>(fixed), spelling,
                                   known->conversion};
        if (known->conversion == Conversion::Percent) ++fixed;
        else note_value(plan, known->conversion);
        if (known->conversion == Conversion::TextPrecision) ++plan.values;
        if (is_text(known->conversion)) ++plan.texts;
        p = percent + spelling;
    }
}

struct ReadOnlySearch {
    uintptr_t address;
    bool found;
};

int find_read_only_segment(dl_phdr_info* object, size_t, void* data)
{
    auto* search = static_cast<ReadOnlySearch*>(data);
    for (int i = 0; i < object->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = object->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W)) continue;
        const uintptr_t start = object->dlpi_addr + segment.p_vaddr;
        if (search->address >= start && search->address - start < segment.p_memsz) search->found = true;
    }
    return search->found ? 1 : 0;
}

// A format kept by its address must never change: only text in a read-only
// segment of a loaded object (a string literal) qualifies.
bool is_constant_text(const char* format)
{
    ReadOnlySearch search{reinterpret_cast<uintptr_t>(format), false};
    dl_iterate_phdr(find_read_only_segment, &search);
    return search.found;
}

// ---- kept entries: the plan number, then the arguments ----------------------
//
// Numbers are kept as 8 bytes, texts as a 2-byte length and their bytes, cut to
// what the line can show. Entries kept as text have kStoredText as plan number.
// A number is kept as it came (a promoted value widened to 64 bits); its
// conversion narrows it when the line is written, as the C library would read it.

constexpr uint16_t kStoredText = 0xfffe;
constexpr size_t kEntryHeader = sizeof(uint16_t);

// The most bytes a call with `plan` can keep for a line of `line_bytes`.
size_t kept_size_bound(const FormatPlan& plan, size_t line_bytes)
{
    return kEntryHeader + plan.steps * sizeof(uint64_t) + plan.texts * sizeof(uint16_t) + line_bytes;
}

constexpr size_t kMaxKeptBytes = kEntryHeader + kMaxPlanSteps * (sizeof(uint64_t) + sizeof(uint16_t)) + kTraceLineMax;

size_t plan_hash(const char* format)
{
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(format) * 0x9E3779B97F4A7C15ULL) >> 40) &
           (kPlanSlots - 1);
}

// The plan number of `format` after a miss in its own slot: found further on,
// or made on its first use; kNoPlan once the table is full.
[[gnu::noinline]] uint16_t find_plan(const char* format, size_t slot)
{
    for (;; slot = (slot + 1) & (kPlanSlots - 1)) {
        FormatPlan& plan = plans[slot];
        if (plan.format == format) return static_cast<uint16_t>(slot);
        if (plan.format) continue;
        if (plans_used >= kPlanLimit) return kNoPlan;
        plan.kept = is_constant_text(format) && parse_plan(plan, format);
        if (!plan.kept) plan.values = kNeverKept;
        plan.ring_size = static_cast<uint16_t>(kept_size_bound(plan, kTraceRingLineBytes));
        plan.number = static_cast<uint16_t>(slot);
        plan.format = format;
        ++plans_used;
        return static_cast<uint16_t>(slot);
    }
}

[[gnu::always_inline]] inline uint16_t plan_of(const char* format)
{
    const size_t slot = plan_hash(format);
    return plans[slot].format == format ? static_cast<uint16_t>(slot) : find_plan(format, slot);
}

template <typename T>
unsigned char* put_raw(unsigned char* at, T value)
{
    memcpy(at, &value, sizeof value);
    return at + sizeof value;
}

// What a line keeps of its texts: only what it can show. The line's fixed
// text before each text and the texts before it are known; numbers are counted
// as nothing, so a text is never cut shorter than the line shows it.
struct TextRoom {
    size_t left;  // bytes of the line the texts kept so far leave

    size_t before(const FormatStep& step) const { return left - std::min<size_t>(left, step.fixed_before); }
    void take(size_t length) { left -= length; }
};

template <typename T>
[[gnu::always_inline]] inline void copy_word(unsigned char* to, const char* from)
{
    T word;
    memcpy(&word, from, sizeof word);
    memcpy(to, &word, sizeof word);
}

// Copies `length` bytes; the short lengths most texts have (nicks, channels,
// hosts) with two loads that may overlap, not a call.
[[gnu::always_inline]] inline void copy_bytes(unsigned char* to, const char* from, size_t length)
{
    if (length > 16) {
        memcpy(to, from, length);
    } else if (length >= 8) {
        copy_word<uint64_t>(to, from);
        copy_word<uint64_t>(to + length - 8, from + length - 8);
    } else if (length >= 4) {
        copy_word<uint32_t>(to, from);
        copy_word<uint32_t>(to + length - 4, from + length - 4);
    } else if (length > 0) {
        to[0] = static_cast<unsigned char>(from[0]);
        to[length / 2] = static_cast<unsigned char>(from[length / 2]);
        to[length - 1] = static_cast<unsigned char>(from[length - 1]);
    }
}

// Copies a text argument, as much as `room` allows (and `precision` when not
// negative); null for a null text.
[[gnu::always_inline]] inline unsigned char* keep_text(const char* text, int precision, const FormatStep& step,
                                                       TextRoom& room, unsigned char* at)
{
    if (!text) return nullptr;
    size_t bound = room.before(step);
    if (precision >= 0 && static_cast<size_t>(precision) < bound) bound = static_cast<size_t>(precision);
    const size_t length = strnlen(text, bound);
    at = put_raw(at, static_cast<uint16_t>(length));
    copy_bytes(at, text, length);
    room.take(length);
    return at + length;
}

// The arguments of a C variadic call, each read as its conversion says.
class VariadicValues {
public:
    explicit VariadicValues(va_list* ap) : ap(ap) {}

    [[gnu::always_inline]] uint64_t next(Conversion conversion)
    {
        switch (conversion) {
        case Conversion::Text:
        case Conversion::TextPrecision:
        case Conversion::Pointer: return reinterpret_cast<uintptr_t>(va_arg(*ap, const void*));
        case Conversion::Long: return static_cast<uint64_t>(va_arg(*ap, long));
        case Conversion::LongLong: return static_cast<uint64_t>(va_arg(*ap, long long));
        case Conversion::SignedSize: return static_cast<uint64_t>(va_arg(*ap, ssize_t));
        case Conversion::UnsignedLong: return va_arg(*ap, unsigned long);
        case Conversion::UnsignedLongLong: return va_arg(*ap, unsigned long long);
        case Conversion::Size: return va_arg(*ap, size_t);
        case Conversion::Unsigned: return va_arg(*ap, unsigned);
        default: return static_cast<uint64_t>(va_arg(*ap, int));  // %d, %i, %c, a precision
        }
    }

private:
    va_list* ap;
};

// The arguments of a typed call, already widened to 64 bits.
class WordValues {
public:
    explicit WordValues(const uint64_t* words) : at(words) {}
    [[gnu::always_inline]] uint64_t next(Conversion) { return *at++; }

private:
    const uint64_t* at;
};

// Keeps the value `step` takes from the arguments; null when the C library must
// write the line (a null text or pointer, a NUL character).
template <typename Values>
[[gnu::always_inline]] inline unsigned char* keep_argument(const FormatStep& step, Values& values, TextRoom& room,
                                                           unsigned char* at)
{
    if (step.conversion == Conversion::Text)
        return keep_text(reinterpret_cast<const char*>(values.next(Conversion::Text)), -1, step, room, at);
    if (step.conversion >= Conversion::Int && step.conversion <= Conversion::Size)
        return put_raw(at, values.next(step.conversion));
    switch (step.conversion) {
    case Conversion::Percent: return at;
    case Conversion::TextPrecision: {
        const auto precision = static_cast<int>(values.next(Conversion::Int));
        return keep_text(reinterpret_cast<const char*>(values.next(Conversion::Text)), precision, step, room, at);
    }
    case Conversion::Char: {
        const uint64_t c = values.next(Conversion::Char);
        return static_cast<unsigned char>(c) ? put_raw(at, c) : nullptr;
    }
    case Conversion::Pointer: {
        const uint64_t pointer = values.next(Conversion::Pointer);
        return pointer ? put_raw(at, pointer) : nullptr;
    }
    default: return put_raw(at, values.next(step.conversion));
    }
}

// Keeps a call with plan `number` at `at`, which has room for kept_size_bound();
// returns the end of the entry, or null when the C library must write the line.
template <typename Values>
[[gnu::always_inline]] inline unsigned char* keep_arguments(const FormatPlan& plan, Values& values, unsigned char* at,
                                                            size_t line_bytes)
{
    at = put_raw(at, plan.number);
    TextRoom room{line_bytes};
    const int steps = plan.steps;  // read once: the stores below may alias anything
    for (int i = 0; i < steps; ++i) {
        at = keep_argument(plan.step[i], values, room, at);
        if (!at) return nullptr;
    }
    return at;
}

// Reads kept values without passing the end of their entry.
class KeptValues {
public:
    KeptValues(const unsigned char* at, const unsigned char* end) : at(at), end(end) {}

    bool number(uint64_t& value) { return take(&value, sizeof value); }
    bool text(const char*& text, uint16_t& length)
    {
        if (!take(&length, sizeof length) || static_cast<size_t>(end - at) < length) return false;
        text = reinterpret_cast<const char*>(at);
        at += length;
        return true;
    }

private:
    bool take(void* value, size_t size)
    {
        if (static_cast<size_t>(end - at) < size) return false;
        memcpy(value, at, size);
        at += size;
        return true;
    }
    const unsigned char* at;
    const unsigned char* end;
};

// Writes a kept number as `conversion` reads it.
void write_number(Conversion conversion, uint64_t value, BoundedText& out)
{
    switch (conversion) {
    case Conversion::Int: put_signed(out, static_cast<int32_t>(value)); break;
    case Conversion::Unsigned: put_unsigned(out, static_cast<uint32_t>(value), 10); break;
    case Conversion::Long:
    case Conversion::LongLong:
    case Conversion::SignedSize: put_signed(out, static_cast<long long>(value)); break;
    case Conversion::Char: out.put(static_cast<char>(value)); break;
    case Conversion::Pointer:
        out.put("0x", 2);
        put_unsigned(out, value, 16);
        break;
    default: put_unsigned(out, value, 10); break;
    }
}

bool write_argument(Conversion conversion, KeptValues& values, BoundedText& out)
{
    if (conversion == Conversion::Percent) {
        out.put('%');
        return true;
    }
    if (is_text(conversion)) {
        const char* text = nullptr;
        uint16_t length = 0;
        if (!values.text(text, length)) return false;
        out.put(text, length);
        return true;
    }
    uint64_t value = 0;
    if (!values.number(value)) return false;
    write_number(conversion, value, out);
    return true;
}

// Writes the line of the entry [at, end): its text, or its format with its kept values.
// Works in signal context: no allocation, no stdio.
void write_entry(const unsigned char* at, const unsigned char* end, BoundedText& out)
{
    uint16_t number = kNoPlan;
    if (static_cast<size_t>(end - at) < kEntryHeader) return;
    memcpy(&number, at, sizeof number);
    at += kEntryHeader;
    if (number == kStoredText) {
        out.put(reinterpret_cast<const char*>(at), static_cast<size_t>(end - at));
        return;
    }
    if (number >= kPlanSlots || !plans[number].kept) return;
    const FormatPlan& plan = plans[number];
    const char* literal = plan.format;
    KeptValues values(at, end);
    for (int i = 0; i < plan.steps; ++i) {
        const FormatStep& step = plan.step[i];
        out.put(literal, step.literal);
        literal += step.literal + step.spelling;
        if (!write_argument(step.conversion, values, out)) return;
    }
    out.put(literal, plan.tail);
}

// One trace line into `buffer`, cut to its size, as the C library would write it.
void format_trace_line(char* buffer, size_t size, const char* format, va_list ap)
{
    const uint16_t number = plan_of(format);
    if (number != kNoPlan && plans[number].kept && size - 1 <= kTraceLineMax) {
        unsigned char kept[kMaxKeptBytes];
        va_list args;
        va_copy(args, ap);
        VariadicValues values(&args);
        const unsigned char* end = keep_arguments(plans[number], values, kept, size - 1);
        va_end(args);
        if (end) {
            BoundedText out(buffer, size);
            write_entry(kept, end, out);
            return;
        }
    }
    vsnprintf(buffer, size, format, ap);
}

// ---- the ring ------------------------------------------------------------------
//
// Entries are packed one after the other in a block of bytes used as a circle:
// a new entry goes after the newest, or back at the start of the block once the
// oldest entries there are gone. The writing position goes back to the start as
// soon as the block holds a little more than the kept lines need, so a stream
// of lines touches little memory. Two blocks are reserved when the plug-in
// loads, each large enough for the 4092 largest entries there can be and two
// more: when a burst of long lines finds no room, the kept entries move, in
// order, to the start of the other block. No line leaves before 4092 newer ones
// came, and tracing never allocates.

struct LineRef {
    uint32_t offset;
    uint32_t size;
};

// The most an entry takes: a kept call with every step a text, or a line stored as text.
constexpr size_t kMaxEntryBytes =
    std::max(kEntryHeader + kMaxPlanSteps * (sizeof(uint64_t) + sizeof(uint16_t)) + kTraceRingLineBytes,
             kEntryHeader + kTraceRingLineBytes + 1);
constexpr size_t kRingBytes = (kTraceRingLines + 2) * kMaxEntryBytes;

alignas(uint64_t) unsigned char ring_storage[2][kRingBytes];

struct TraceRing {
    unsigned char* bytes = ring_storage[0];
    static constexpr size_t capacity = kRingBytes;
    size_t write = 0;        // end of the newest entry
    size_t room_end = 0;     // new entries go at `write` while they end before this
    size_t kept_bytes = 0;   // bytes of the entries kept
    size_t reserved = 0;     // where the entry being written goes
    // Lines are numbered as they come; a line's number, cut to the size of the
    // table, is its place in it.
    static constexpr uint32_t line_slots = 4096;
    std::array<LineRef, line_slots> line{};
    uint32_t next = 0;   // number of the next line
    uint32_t lines = 0;  // how many are kept

    int count() const { return static_cast<int>(lines); }
    uint32_t first() const { return next - lines; }
    LineRef& numbered(uint32_t number) { return line[number & (line_slots - 1)]; }
};
static_assert(TraceRing::line_slots >= kTraceRingLines && (TraceRing::line_slots & (TraceRing::line_slots - 1)) == 0);
TraceRing ring;

LineRef& ring_line(int i) { return ring.numbered(ring.first() + static_cast<uint32_t>(i)); }

[[gnu::always_inline]] inline void drop_oldest_line()
{
    ring.kept_bytes -= ring.numbered(ring.first()).size;
    if (--ring.lines == 0) ring.write = 0;
}

// Where `need` bytes fit without touching a kept entry; false when nowhere.
[[gnu::always_inline]] inline bool find_room(size_t need, size_t& place)
{
    place = 0;
    if (ring.count() == 0) return need <= ring.capacity;
    const size_t oldest = ring.numbered(ring.first()).offset;
    if (ring.write <= oldest) {  // the newest entries are already before the oldest
        place = ring.write;
        return ring.write + need <= oldest;
    }
    const size_t enough = ring.kept_bytes + ring.kept_bytes / 4 + need;
    const bool fits_after = ring.write + need <= ring.capacity;
    const bool fits_before = need <= oldest;
    if (fits_after && !(fits_before && ring.write + need > enough)) place = ring.write;
    return fits_after || fits_before;
}

// No room where the next entry would go: the kept entries move, in order, to
// the start of the other block, which leaves room after them (the block holds
// more than the entries can take).
[[gnu::noinline]] bool make_room(size_t need, size_t& place)
{
    unsigned char* other = ring.bytes == ring_storage[0] ? ring_storage[1] : ring_storage[0];
    size_t at = 0;
    for (int i = 0; i < ring.count(); ++i) {
        LineRef& line = ring_line(i);
        memcpy(other + at, ring.bytes + line.offset, line.size);
        line.offset = static_cast<uint32_t>(at);
        at += line.size;
    }
    ring.bytes = other;
    ring.write = at;
    if (find_room(need, place)) return true;
    while (ring.count() > 0) {  // cannot happen with blocks of this size; the newest line wins if it does
        drop_oldest_line();
        if (find_room(need, place)) return true;
    }
    return find_room(need, place);
}

// Where the free stretch that begins at `place` ends for new entries: at the
// oldest entry when the newest are before it, else at the end of the block,
// or earlier, where going back to the start is better.
size_t room_end_from(size_t place, size_t need)
{
    // After the oldest entry (or in an empty ring) the stretch ends where the block holds a little more than
    // the kept entries need, as find_room decides: the ring then goes back to the start and stays small.
    if (ring.count() > 0 && place < ring.numbered(ring.first()).offset) return ring.numbered(ring.first()).offset;
    return std::min(ring.capacity, place + need > ring.kept_bytes + ring.kept_bytes / 4 + need
                                       ? place + need
                                       : ring.kept_bytes + ring.kept_bytes / 4 + need);
}

// The entry does not fit where the last one ended: a place is looked for, and
// the stretch that the next entries can take without looking again.
[[gnu::noinline]] bool place_entry(size_t need, size_t& place)
{
    if (!find_room(need, place) && !make_room(need, place)) return false;
    ring.room_end = room_end_from(place, need);
    return true;
}

// Room for a new entry of at most `need` bytes, or null when there is none at all.
[[gnu::always_inline]] inline unsigned char* ring_reserve(size_t need)
{
    if (ring.count() == kTraceRingLines) drop_oldest_line();
    size_t place = ring.write;
    if (place + need > ring.room_end && !place_entry(need, place)) return nullptr;
    ring.reserved = place;
    return ring.bytes + place;
}

[[gnu::always_inline]] inline void ring_commit(size_t size)
{
    ring.numbered(ring.next++) = {static_cast<uint32_t>(ring.reserved), static_cast<uint32_t>(size)};
    ++ring.lines;
    ring.write = ring.reserved + size;
    ring.kept_bytes += size;
}

void ring_keep_text(const char* format, va_list ap)
{
    unsigned char* at = ring_reserve(kEntryHeader + kTraceRingLineBytes + 1);
    if (!at) return;
    put_raw(at, kStoredText);
    char* text = reinterpret_cast<char*>(at + kEntryHeader);
    text[0] = '\0';
    text[kTraceRingLineBytes] = '\0';
    vsnprintf(text, kTraceRingLineBytes + 1, format, ap);
    ring_commit(kEntryHeader + strnlen(text, kTraceRingLineBytes));
}

// The plan of `format` when the ring can keep calls with it by their
// arguments, `arguments` of them; null when they must be written at once.
[[gnu::always_inline]] inline const FormatPlan* kept_plan(const char* format, size_t arguments)
{
    const uint16_t number = plan_of(format);
    if (number == kNoPlan) return nullptr;
    const FormatPlan& plan = plans[number];
    return plan.values <= arguments ? &plan : nullptr;
}

// Keeps a call by its plan and arguments; false when it must be written at once.
template <typename Values>
[[gnu::always_inline]] inline bool ring_keep(const FormatPlan& plan, Values& values)
{
    unsigned char* at = ring_reserve(plan.ring_size);
    if (!at) return true;  // no memory for any line: dropped
    const unsigned char* end = keep_arguments(plan, values, at, kTraceRingLineBytes);
    if (end) ring_commit(static_cast<size_t>(end - at));
    return end != nullptr;
}

// A typed call, the general way: any plan, any place in the ring.
[[gnu::noinline]] bool ring_keep_words(const char* format, const uint64_t* words, size_t count) noexcept
{
    const FormatPlan* plan = kept_plan(format, count);
    if (!plan) return false;
    WordValues values(words);
    return ring_keep(*plan, values);
}

// ---- the usual typed call ----------------------------------------------------
//
// Its plan sits in its own slot and its entry fits where the last one ended.
// These functions reach the general way only by a tail call, so the one for
// numbers saves no register at all.

// Adds the entry written at [start, end) after the last one, in the place of
// the oldest when the ring is full. That entry is dropped only now: the new one
// went where nothing was kept, and the line table has room for both.
[[gnu::always_inline]] inline void add_entry(const unsigned char* start, const unsigned char* end)
{
    const auto place = static_cast<uint32_t>(start - ring.bytes);
    const auto size = static_cast<uint32_t>(end - start);
    if (ring.lines == kTraceRingLines) ring.kept_bytes -= ring.numbered(ring.first()).size;
    else ++ring.lines;
    ring.numbered(ring.next++) = {place, size};
    ring.write = place + size;
    ring.kept_bytes += size;
}

[[gnu::noinline]] bool keep_words_elsewhere(const FormatPlan& plan, const uint64_t* words) noexcept
{
    WordValues values(words);
    return ring_keep(plan, values);
}

[[gnu::noinline]] bool keep_texts_after_last(const FormatPlan& plan, const uint64_t* words) noexcept
{
    if (ring.write + plan.ring_size > ring.room_end) [[unlikely]]
        return keep_words_elsewhere(plan, words);
    WordValues values(words);
    const unsigned char* end = keep_arguments(plan, values, ring.bytes + ring.write, kTraceRingLineBytes);
    if (!end) return false;
    add_entry(ring.bytes + ring.write, end);
    return true;
}

bool has_zero(uint32_t places, const uint64_t* words, uint64_t mask)
{
    for (; places; places &= places - 1) {
        if (!(words[__builtin_ctz(places)] & mask)) return true;
    }
    return false;
}

// A format with numbers only: its entry is what keep_arguments makes of it,
// the plan number and the words as they came, but without looking at each
// conversion. It calls nothing on its way, so it saves no register.
[[gnu::noinline]] bool keep_numbers_after_last(const FormatPlan& plan, const uint64_t* words) noexcept
{
    if (ring.write + plan.ring_size > ring.room_end) [[unlikely]]
        return keep_words_elsewhere(plan, words);
    if ((plan.null_pointers | plan.nul_chars) &&
        (has_zero(plan.null_pointers, words, ~uint64_t{0}) || has_zero(plan.nul_chars, words, 0xff)))
        return false;
    unsigned char* const start = ring.bytes + ring.write;
    unsigned char* at = put_raw(start, plan.number);
    const int values = plan.values;  // read once: the stores below may alias anything
    for (int i = 0; i < values; ++i) at = put_raw(at, words[i]);
    add_entry(start, at);
    return true;
}

enum class TraceRoute : uint8_t { Nowhere, File, Ring };

TraceRoute trace_route(int level, const char* format)
{
    const bool to_file = iFlagDebugModeFnc >= 1;
    if (!format || (to_file && iFlagDebugModeFnc <= level)) return TraceRoute::Nowhere;
    if (to_file) return TraceRoute::File;
    return iFlagDisableDebugPlugin || iFlagDisableSHBM ? TraceRoute::Nowhere : TraceRoute::Ring;
}

[[gnu::noinline]] bool keep_by_route(int level, const char* format, const uint64_t* words, size_t count) noexcept
{
    const TraceRoute route = trace_route(level, format);
    if (route != TraceRoute::Ring) return route == TraceRoute::Nowhere;
    return ring_keep_words(format, words, count);
}

// The C library writes the line: whole to the trace file, or cut into the ring.
void write_at_once(const char* format, va_list ap)
{
    if (iFlagDebugModeFnc >= 1) {
        char line[kTraceLineMax + 1];
        format_trace_line(line, sizeof line, format, ap);
        WriteLog(quibo_data_path(kTraceFileName).c_str(), line);
    } else {
        ring_keep_text(format, ap);
    }
}

// The text of kept line `i` (0 the oldest) in `buffer` of kTraceRingLineBytes + 1 bytes; returns its length.
size_t ring_line_text(int i, char* buffer)
{
    const LineRef& line = ring_line(i);
    BoundedText out(buffer, kTraceRingLineBytes + 1);
    if (line.offset + static_cast<size_t>(line.size) <= ring.capacity) {
        const unsigned char* at = ring.bytes + line.offset;
        write_entry(at, at + line.size, out);
    }
    return out.length();
}

// ---- signal context: write(2) only ----------------------------------------

void put(int fd, const char* text)
{
    if (fd >= 0) (void)!write(fd, text, strlen(text));
}

// Decimal text of `value`, right-aligned in `width` columns.
const char* decimal(long value, int width, char (&buffer)[24])
{
    char* end = buffer + sizeof buffer - 1;
    char* at = end;
    *at = '\0';
    bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative) *--at = '-';
    while (end - at < width && at > buffer) *--at = ' ';
    return at;
}

const char* hexadecimal(const void* pointer, char (&buffer)[24])
{
    auto value = reinterpret_cast<uintptr_t>(pointer);
    char* at = buffer + sizeof buffer - 1;
    *at = '\0';
    do {
        *--at = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value);
    *--at = 'x';
    *--at = '0';
    return at;
}

void* instruction_address(void* context)
{
    if (!context) return nullptr;
    auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
    return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void*>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return nullptr;
#endif
}

void report_signal(int sig, siginfo_t* info, void* ip)
{
    char a[24], b[24], c[24];
    if (sig == SIGSEGV) {
        put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: RECEIVED SIGNAL ");
        put(STDOUT_FILENO, decimal(sig, 0, a));
        put(STDOUT_FILENO, ", FAULTY ADDRESS IS ");
        put(STDOUT_FILENO, hexadecimal(info ? info->si_addr : nullptr, b));
        put(STDOUT_FILENO, ", FROM ");
        put(STDOUT_FILENO, hexadecimal(ip, c));
        put(STDOUT_FILENO, "\n");
    } else {
        put(STDOUT_FILENO, "\n\n[QuIbOsCrIpT Signal Handler]: GOT SIGNAL ");
        put(STDOUT_FILENO, decimal(sig, 0, a));
        put(STDOUT_FILENO, "\n");
    }
}

void report_backtrace(void* ip)
{
    void* frames[kBacktraceFrames];
    int depth = backtrace(frames, kBacktraceFrames);
    if (depth > 1 && ip) frames[1] = ip;
    put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: EXECUTION BACKTRACE:\n");
    for (int i = 1; i < depth; ++i) {
        put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: ");
        backtrace_symbols_fd(&frames[i], 1, STDOUT_FILENO);
    }
}

void report_ring(int crash_fd)
{
    for (int i = 0; i < ring.count(); ++i) {
        char text[kTraceRingLineBytes + 1];
        ring_line_text(i, text);
        put(crash_fd, text);
        put(crash_fd, "\n");
        int counted = i + 1;
        if (counted > kTraceRingLines - kEchoedRingLines) {
            char number[24];
            put(STDOUT_FILENO, decimal(kTraceRingLines - counted, 4, number));
            put(STDOUT_FILENO, ": ");
            put(STDOUT_FILENO, text);
            put(STDOUT_FILENO, "\n");
        }
    }
}

}  // namespace

int(DebugPlugin)(int level, const char* format, ...)
{
    const TraceRoute route = trace_route(level, format);
    if (route == TraceRoute::Nowhere) return 0;
    va_list ap;
    bool kept = false;
    if (route == TraceRoute::Ring) {
        const FormatPlan* plan = kept_plan(format, kMaxPlanSteps * 2);  // a variadic call has what its format takes
        va_start(ap, format);
        VariadicValues values(&ap);
        kept = plan && ring_keep(*plan, values);
        va_end(ap);
    }
    if (kept) return 0;
    // Written now: the arguments are read again from the start.
    va_start(ap, format);
    write_at_once(format, ap);
    va_end(ap);
    return 0;
}

bool trace_front::keep(int level, const char* format, const uint64_t* words, size_t count) noexcept
{
    // The usual settings: everything goes to the ring.
    if ((iFlagDebugModeFnc | iFlagDisableDebugPlugin | iFlagDisableSHBM) != 0 || !format) [[unlikely]]
        return keep_by_route(level, format, words, count);
    const FormatPlan& plan = plans[plan_hash(format)];
    if (plan.format != format || plan.values > count) [[unlikely]]
        return ring_keep_words(format, words, count);
    return plan.texts ? keep_texts_after_last(plan, words) : keep_numbers_after_last(plan, words);
}

int trace_front::write_now(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    write_at_once(format, ap);
    va_end(ap);
    return 0;
}

std::vector<std::string> DebugPluginRingLines()
{
    std::vector<std::string> lines;
    lines.reserve(ring.count());
    char text[kTraceRingLineBytes + 1];
    for (int i = 0; i < ring.count(); ++i) lines.emplace_back(text, ring_line_text(i, text));
    return lines;
}

int DebugPluginRingCount() { return ring.count(); }

size_t DebugPluginRingBytes() { return ring.kept_bytes; }

size_t DebugPluginRingReach()
{
    size_t reach = 0;
    for (int i = 0; i < ring.count(); ++i) reach = std::max(reach, size_t{ring_line(i).offset} + ring_line(i).size);
    return reach;
}

void DebugPluginRingClear()
{
    ring.next = 0;
    ring.lines = 0;
    ring.write = 0;
    ring.room_end = 0;
    ring.kept_bytes = 0;
}

void* AddToGarbageCollector(void* block)
{
    DebugPlugin(0, "BEGIN: AddToGarbageCollector(%p)", block);
    if (!block) {
        DebugPlugin(0, "END: AddToGarbageCollector() = 0");
        return nullptr;
    }
    registered_blocks.push_back(block);
    DebugPlugin(0, "END: AddToGarbageCollector() = %p", block);
    return block;
}

void GarbageCollectorClear()
{
    single_slots.fill(nullptr);
}

void GarbageCollectorSetSlot(int slot, void* block)
{
    if (slot < 1 || slot >= kGarbageSlots) return;
    if (single_slots[slot] != block) free(single_slots[slot]);
    single_slots[slot] = block;
}

void GarbageCollectorFree(void (*progress)(int slot))
{
    for (void* block : registered_blocks) {
        free(block);
        if (progress) progress(0);
    }
    registered_blocks.clear();
    registered_blocks.shrink_to_fit();
    for (int slot = 1; slot < kGarbageSlots; ++slot) {
        if (!single_slots[slot]) continue;
        free(single_slots[slot]);
        single_slots[slot] = nullptr;
        if (progress) progress(slot);
    }
}

void bt_sighandler(int sig, siginfo_t* info, void* context)
{
    void* ip = instruction_address(context);
    put(STDOUT_FILENO, "\n\nSTART DEBUG INFORMATION\n");
    put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler Backtrace Module]: MEMORY CRASH\n");
    report_signal(sig, info, ip);
    report_backtrace(ip);
    put(STDOUT_FILENO, "\n\n[QuIbOsCrIpT Advanced Debug Function LOG]: FUNCTION CALL STACK\n");

    int crash_fd = data_folder_fd >= 0
                       ? openat(data_folder_fd, kCrashFileName, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)
                       : -1;
    if (iFlagDisableSHBM == 1) {
        put(STDOUT_FILENO, "WARNING: SHBM IS DISABLED !");
        put(crash_fd, "WARNING: SHBM IS DISABLED !\n");
    }
    report_ring(crash_fd);
    if (crash_fd >= 0) close(crash_fd);

    put(STDOUT_FILENO, "Please send the file .xchat2/quiboscript/crash.log to ZEM'Software "
                       "(quibo-support@zemsoftware.invalid): it helps us fix this crash.\n");
    put(STDOUT_FILENO, "\n\nEND DEBUG INFORMATION\n");
    // Hand the signal back to whoever had it before, so the process ends
    // with the real crash status.
    sigaction(sig, &previous_segv_action, nullptr);
    raise(sig);
}

bool crash_handler_install()
{
    if (handler_installed) return true;
    data_folder_fd = open(quibo_data_path("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The first backtrace() loads the unwinder; do it now, not in the handler.
    void* warm_up[2];
    backtrace(warm_up, 2);
    struct sigaction action{};
    action.sa_sigaction = bt_sighandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    if (sigaction(SIGSEGV, &action, &previous_segv_action) != 0) {
        crash_handler_remove();
        return false;
    }
    handler_installed = true;
    return true;
}

void crash_handler_remove()
{
    if (handler_installed) sigaction(SIGSEGV, &previous_segv_action, nullptr);
    handler_installed = false;
    if (data_folder_fd >= 0) close(data_folder_fd);
    data_folder_fd = -1;
}
