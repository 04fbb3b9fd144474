// The two function passes: calls are resolved innermost first, one call (with
// every identical occurrence of it) per pass.
#include "script/internal.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::string_view kMarkerBytes = "\x01\x02\x04\x05\x06\x07\x08\x11\t";

// The close marker that balances a call whose argument starts at `from`; npos when none.
size_t balancing_close(const MarkedText& work, size_t from)
{
    int depth = 0;
    for (size_t i = from; i < work.text.size(); ++i) {
        if (!work.syntax_at(i)) continue;
        if (work.text[i] == kCallMarkerOpen) {
            ++depth;
        } else if (work.text[i] == kCallClose) {
            if (depth == 0) return i;
            --depth;
        }
    }
    return std::string::npos;
}

// Every function of both tables by its name (with "(").
const std::unordered_map<std::string_view, const AdvancedFunction*>& functions_by_name()
{
    static const auto built = [] {
        std::unordered_map<std::string_view, const AdvancedFunction*> map;
        for (auto table : {advanced_functions(), first_pass_functions()})
            for (const AdvancedFunction& f : table) map.emplace(f.name, &f);
        return map;
    }();
    return built;
}

// The function whose marker starts at `at`; null when none.
const AdvancedFunction* marker_at(const MarkedText& work, size_t at)
{
    if (!work.syntax_range(at, 2) || work.text.compare(at, 2, "\x07-") != 0) return nullptr;
    const size_t end = work.text.find(kCallMarkerEnd, at + 2);
    if (end == std::string::npos) return nullptr;
    const auto& map = functions_by_name();
    const auto found = map.find(std::string_view(work.text).substr(at + 2, end - at - 2));
    if (found == map.end() || !work.syntax_range(at, end + 1 - at)) return nullptr;
    return found->second;
}

bool in_table(const AdvancedFunction* f, std::span<const AdvancedFunction> table)
{
    return f && f >= table.data() && f < table.data() + table.size();
}

// Calls of the functions that `restore` accepts back into the text the user
// wrote (name and ")"); the other calls keep their markers.
template <typename Restore>
void unmark_calls_if(MarkedText& work, Restore restore)
{
    std::vector<bool> open;  // per call marker met: restored or kept
    for (size_t i = 0; i < work.text.size(); ++i) {
        if (!work.syntax_at(i)) continue;
        if (work.text[i] == kCallMarkerOpen) {
            const AdvancedFunction* f = marker_at(work, i);
            const bool restored = !f || restore(f);
            open.push_back(restored);
            if (f && restored) {
                work.replace(i, f->marker_length, f->name, false);
                i += std::string_view(f->name).size() - 1;
            }
        } else if (work.text[i] == kCallClose) {
            const bool restored = open.empty() || open.back();
            if (!open.empty()) open.pop_back();
            if (restored) work.text[i] = ')';
        }
    }
}

// Every identical occurrence of `call` (same bytes, same origin) becomes `result`; the count.
int replace_occurrences(MarkedText& work, const MarkedText& call, const std::string& result, bool literal)
{
    int count = 0;
    for (size_t at = work.text.find(call.text); at != std::string::npos; at = work.text.find(call.text, at)) {
        if (!std::equal(call.literal.begin(), call.literal.end(), work.literal.begin() + at)) {
            ++at;
            continue;
        }
        work.replace(at, call.text.size(), result, literal);
        at += result.size();
        ++count;
    }
    return count;
}

struct Pass {
    std::span<const AdvancedFunction> table;
    MarkedText& work;

    int resolve_between(size_t from, size_t to);
    int resolve_call(const AdvancedFunction& f, size_t at);
    int resolve_exec(const AdvancedFunction& f, size_t at);
    int evaluate(const AdvancedFunction& f, size_t at, size_t close, MarkedText argument);
};

// The first call of the table (in table order, then text order) between the
// two positions that resolves; count - 1, or -1 when none did.
int Pass::resolve_between(size_t from, size_t to)
{
    std::vector<std::pair<size_t, size_t>> calls;  // (index in the table, position)
    constexpr std::string_view kOpen("\x07-", 2);
    for (size_t at = work.find_syntax(kOpen, from); at != std::string::npos && at < to; at = work.find_syntax(kOpen, at + 1))
        if (const AdvancedFunction* f = marker_at(work, at); in_table(f, table))
            calls.emplace_back(static_cast<size_t>(f - table.data()), at);
    std::sort(calls.begin(), calls.end());
    for (const auto& [index, at] : calls) {
        const AdvancedFunction& f = table[index];
        const int result = f.literal_argument ? resolve_exec(f, at) : resolve_call(f, at);
        if (result >= 0) return result;
    }
    return -1;
}

int Pass::resolve_call(const AdvancedFunction& f, size_t at)
{
    const size_t argument = at + f.marker_length;
    const size_t close = balancing_close(work, argument);
    if (close == std::string::npos) return -1;
    // Innermost first: a call inside the argument is resolved by this pass, and
    // this one by a later pass, on the argument as it then reads.
    const int inner = resolve_between(argument, close);
    if (inner >= 0) return inner;
    MarkedText text = work.slice(argument, close - argument);
    // Calls inside that cannot be resolved reach the handler as written.
    // In the first pass the calls of the main table keep their markers: init(
    // stores them by name and the second pass resolves them in the value it gives.
    const bool main_pass = table.data() == advanced_functions().data();
    unmark_calls_if(text, [&](const AdvancedFunction* g) { return main_pass || in_table(g, table); });
    if (main_pass) {
        unmark_properties(text);
        restore_exec_names(text);
    }
    return evaluate(f, at, close, std::move(text));
}

// exec( takes its argument as written, up to the last " )" before the next
// exec( call or the end: the commands it queues see the calls inside unresolved.
int Pass::resolve_exec(const AdvancedFunction& f, size_t at)
{
    const size_t argument = at + f.marker_length;
    const size_t limit = std::min(work.find_syntax(f.marker, argument), work.text.size());
    size_t close = std::string::npos;
    for (size_t i = argument; i + 1 < limit; ++i)
        if (work.text[i] == ' ' && work.text[i + 1] == kCallClose && work.syntax_range(i, 2)) close = i + 1;
    if (close == std::string::npos) return -1;
    MarkedText text = work.slice(argument, close - argument);
    unmark_calls_if(text, [](const AdvancedFunction*) { return true; });
    restore_exec_names(text);
    return evaluate(f, at, close, std::move(text));
}

int Pass::evaluate(const AdvancedFunction& f, size_t at, size_t close, MarkedText argument)
{
    InertText marked = argument.inert();
    StringProtection(marked, 0);
    const std::optional<std::string> result = f.handler(marked);
    if (!result) return -1;
    // A result made from a value stays a value; so does one that holds marker
    // bytes, except in the first pass, whose results carry variable markers.
    const bool literal = argument.any_literal(0, argument.text.size()) ||
                         (in_table(&f, advanced_functions()) && result->find_first_of(kMarkerBytes) != std::string::npos);
    const MarkedText call = work.slice(at, close + 1 - at);
    return replace_occurrences(work, call, *result, literal) - 1;
}

}  // namespace

int resolve_advanced_function_recursive(std::span<const AdvancedFunction> table, MarkedText& work)
{
    Pass pass{table, work};
    return pass.resolve_between(0, work.text.size());
}

int resolve_advanced_function_recursive(std::span<const AdvancedFunction> table, std::string& text)
{
    MarkedText work(std::move(text));
    const int result = resolve_advanced_function_recursive(table, work);
    text = std::move(work.text);
    return result;
}

void unmark_calls(MarkedText& work)
{
    unmark_calls_if(work, [](const AdvancedFunction*) { return true; });
}
