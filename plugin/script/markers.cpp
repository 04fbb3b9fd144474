// The marked form of a function's argument, and turning markers back into names.
#include "script/internal.h"

#include <vector>

namespace {

// Mode 0 on `text`; `literal(i)` tells the bytes that are data, never markers.
template <typename IsLiteral>
int protect(std::string& text, IsLiteral literal)
{
    int depth = 0;
    size_t end = text.size();
    bool matched = false;
    for (size_t i = 0; i < text.size() && !matched; ++i) {
        if (literal(i)) continue;
        if (text[i] == kCallMarkerOpen) {
            ++depth;
        } else if (text[i] == kCallClose) {
            if (depth == 0) {
                end = i;
                matched = true;
            } else {
                --depth;
            }
        }
    }
    text.resize(end);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ' ' || literal(i)) continue;
        text[i] = i == 0 || i + 1 == text.size() ? kArgumentBoundary : kProtectedSpace;
    }
    return matched ? 1 : 0;
}

void unprotect(std::string& text, int mode)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == kArgumentBoundary) {
            if (mode == 1) out += ' ';
        } else if (c == kProtectedSpace) {
            out += mode == 2 ? c : ' ';
        } else {
            out += c;
        }
    }
    text = std::move(out);
}

}  // namespace

int StringProtection(std::string& text, int mode)
{
    if (mode == 0) return protect(text, [](size_t) { return false; });
    unprotect(text, mode);
    return 0;
}

int StringProtection(InertText& text, int mode)
{
    if (mode == 0) {
        std::vector<bool> literal(text.text.size(), false);
        for (const auto& [begin, end] : text.literal)
            for (size_t i = begin; i < end && i < literal.size(); ++i) literal[i] = true;
        const int matched = protect(text.text, [&](size_t i) { return literal[i]; });
        std::erase_if(text.literal, [&](auto& run) {
            run.second = std::min(run.second, text.text.size());
            return run.first >= run.second;
        });
        return matched;
    }
    InertText out;
    text.each_run([&](std::string_view part, bool literal) {
        if (literal) {
            out.add_literal(part);
            return;
        }
        std::string syntax(part);
        unprotect(syntax, mode);
        out.add_syntax(syntax);
    });
    text = std::move(out);
    return 0;
}

void StripParameter(std::string& text)
{
    text.erase(0, text.find_first_not_of(' ') == std::string::npos ? text.size() : text.find_first_not_of(' '));
    const size_t last_space = text.rfind(' ');
    if (last_space != std::string::npos) text.resize(last_space);
}

std::string argument_text(const InertText& argument)
{
    InertText text = argument;
    StringProtection(text, 3);
    return std::move(text.text);
}

std::string restore_variable_names(const std::string& marked)
{
    MarkedText work(marked);
    unmark_calls(work);
    unmark_properties(work);
    restore_exec_names(work);
    const std::string& text = work.text;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t end = text[i] == kVariableMarkerOpen && i + 1 < text.size() && text[i + 1] == '-'
                               ? text.find(kNameMarkerEnd, i + 2)
                               : std::string::npos;
        if (end == std::string::npos) {
            out += text[i];
            continue;
        }
        out += '$';
        out.append(text, i + 2, end - i - 2);
        i = end;
    }
    return out;
}
