// Not built with the rest: a test compiles it and expects the compiler to point
// at the conversion that does not match its value.
#include "host/trace.h"

int trace_with_a_wrong_conversion(long count, const char* nick)
{
    return DebugPlugin(0, "END: CountUsers(%s) = %d", nick, count);
}
