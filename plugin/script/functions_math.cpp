// math( AopB ) and mathf( AopB ): one operator between two numbers.
#include "script/function_handlers.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quibo_functions {

namespace {

// The argument without its spaces, split into A, the operator and B.
template <typename Number, typename Read>
bool read_operation(const InertText& argument, Read read, Number& a, char& op, Number& b, std::string& text)
{
    text = argument_text(argument);
    std::erase(text, ' ');
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    a = read(start, &end);
    if (end == start || !*end || errno == ERANGE) return false;
    op = *end;
    const char* second = end + 1;
    b = read(second, &end);
    return end != second && !*end && errno != ERANGE;
}

Result unknown_operation(const std::string& text, char op)
{
    printf("_advanced_function__math(%s) : ERROR: Unknown Mathematic Operation %c .\n", text.c_str(), op);
    fflush(stdout);
    return std::string();
}

// A result past what a 64-bit integer holds, or no number at all: the error line, and the call stays.
Result out_of_range(const std::string& text)
{
    function_message(1161, text.c_str());
    return std::nullopt;
}

Result division_by_zero(const std::string& text)
{
    function_message(1160, text.c_str());
    return std::nullopt;
}

bool fits_integer(double value) { return std::isfinite(value) && std::fabs(value) < 9.2e18; }

}  // namespace

Result _advanced_function__math(const InertText& argument)
{
    long long a = 0, b = 0, r = 0;
    char op = 0;
    std::string text;
    auto read = [](const char* s, char** end) { return strtoll(s, end, 10); };
    if (!read_operation(argument, read, a, op, b, text)) {
        return errno == ERANGE ? out_of_range(text) : std::nullopt;
    }
    bool overflow = false;
    switch (op) {
    case '+': overflow = __builtin_add_overflow(a, b, &r); break;
    case '-': overflow = __builtin_sub_overflow(a, b, &r); break;
    case '*': overflow = __builtin_mul_overflow(a, b, &r); break;
    case '/':
    case '%':
        if (b == 0) return division_by_zero(text);
        if (a == LLONG_MIN && b == -1) return out_of_range(text);
        r = op == '/' ? a / b : a % b;
        break;
    case '^':
    case 'v': {
        const double value = op == '^' ? std::pow(static_cast<double>(a), static_cast<double>(b))
                                       : std::sqrt(static_cast<double>(a));
        if (!fits_integer(value)) return out_of_range(text);
        r = static_cast<long long>(value);
        break;
    }
    default:
        return unknown_operation(text, op);
    }
    if (overflow) return out_of_range(text);
    return std::to_string(r);
}

Result _advanced_function__mathf(const InertText& argument)
{
    double a = 0, b = 0, r = 0;
    char op = 0;
    std::string text;
    auto read = [](const char* s, char** end) { return strtod(s, end); };
    if (!read_operation(argument, read, a, op, b, text)) {
        return errno == ERANGE ? out_of_range(text) : std::nullopt;
    }
    switch (op) {
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    case '*': r = a * b; break;
    case '/':
        if (b == 0) return division_by_zero(text);
        r = a / b;
        break;
    case '%':
        if (!fits_integer(a) || !fits_integer(b)) return out_of_range(text);
        if (std::trunc(b) == 0) return division_by_zero(text);
        r = static_cast<double>(static_cast<long long>(a) % static_cast<long long>(b));
        break;
    case '^': r = std::pow(a, b); break;
    case 'v': r = std::sqrt(a); break;
    default:
        return unknown_operation(text, op);
    }
    if (!std::isfinite(r)) return out_of_range(text);
    return std::to_string(r);
}

}  // namespace quibo_functions
