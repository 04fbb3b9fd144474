// The built-in functions of the script language, as the expression resolver
// calls them: two tables of function records (the main table and the first
// pass, which holds init( alone), the argument helpers every handler uses and
// the script state the handlers share with the resolver.
//
// How a call reaches a handler. The resolver first replaces every NAME( by
// the function's call marker and every ")" that ends a call by kCallClose.
// For the innermost pending call it copies the text after the marker, marks
// it with StringProtection(mode 0) (the argument's outer spaces become
// kArgumentBoundary, its inner spaces kProtectedSpace, and the copy ends at
// the close marker that balances the call) and hands that to the handler.
// A handler that returns a text replaces the whole call (every occurrence of
// the same call with the same argument); one that returns nothing leaves the
// call as the user wrote it.
//
// Values from outside. The argument is an InertText: its literal runs came
// from the network or from a value (a variable, a property, an event value).
// A handler may read them as data, but never as script, never splits them at
// "\;" and, when it queues a command made from them, queues it as an
// InertText with those runs (see queue.h). The resolver treats the result of
// a call whose argument held a literal run as literal too.
#pragma once

#include "utilities.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct HostSession;

// ---- marker bytes -------------------------------------------------------------------
// Control bytes that typed text does not hold; the resolver builds its markers
// from them and turns every marker back into text before it returns.

constexpr char kCallMarkerOpen = '\x07';     // call marker: 0x07 "-" NAME( 0x01
constexpr char kCallMarkerEnd = '\x01';
constexpr char kCallClose = '\x06';          // a ")" that ends a call
constexpr char kVariableMarkerOpen = '\t';   // variable marker: TAB "-" NAME 0x02 (NAME without "$")
constexpr char kPropertyMarkerOpen = '\x08'; // property marker: 0x08 "-" PROPERTY IN CAPITALS 0x02
constexpr char kNameMarkerEnd = '\x02';      // ends variable and property markers
constexpr char kExecNameMarker = '\x11';     // 0x11 "-" EXECNAME IN CAPITALS 0x11
constexpr char kArgumentBoundary = '\x04';   // the two ends of a marked argument
constexpr char kProtectedSpace = '\x05';     // a space inside a marked argument

// ---- function records -----------------------------------------------------------------

// Receives the marked argument (see StringProtection); returns the text that
// replaces the call, or nothing to leave the call as written.
using AdvancedFunctionHandler = std::optional<std::string> (*)(const InertText& argument);

struct AdvancedFunction {
    int number;                       // 1.. within its table
    size_t marker_length;             // marker.size()
    bool literal_argument;            // the argument is taken as written (exec( only)
    const char* name;                 // with its opening parenthesis: "exec("
    std::string marker;               // kCallMarkerOpen "-" name kCallMarkerEnd
    AdvancedFunctionHandler handler;
};

// The main table, 29 functions in the order the resolver tries them
// (exec( first, xchatvar( last).
std::span<const AdvancedFunction> advanced_functions();
// The first pass: init( alone, run before variables get their values.
std::span<const AdvancedFunction> first_pass_functions();
// The record whose name (with "(") is `name`, in either table; null when none.
const AdvancedFunction* find_advanced_function(std::string_view name);

// ---- argument helpers -----------------------------------------------------------------

// Rewrites a function argument in place.
// mode 0: `text` starts right after a call marker; it is cut at the close
//   marker that balances the call (call markers inside open nested levels),
//   a leading and a trailing space become kArgumentBoundary and every other
//   space kProtectedSpace. Returns 1 when the balancing close marker was
//   found, else 0 (the text is then marked to its end).
// mode 1: boundary and protected-space bytes back into spaces (undoes mode 0).
// mode 2: boundary bytes removed, protected spaces kept.
// mode 3: boundary bytes removed, protected spaces back into spaces.
// Modes 1 to 3 return 0.
int StringProtection(std::string& text, int mode);
// The same for an argument with literal runs: bytes inside a run are data,
// never markers, and keep their runs (the text's length never changes in
// mode 0 and 1; modes 2 and 3 keep the runs in step with the removed bytes).
int StringProtection(InertText& text, int mode);
// Removes leading spaces and cuts the text at its last space.
void StripParameter(std::string& text);

// The argument of a handler as plain text: boundary bytes removed, protected
// spaces back into spaces (StringProtection mode 3 on a copy).
std::string argument_text(const InertText& argument);

// ---- state shared by the resolver and the handlers ---------------------------------

// The window an expression is resolved for; set by quibo_if and quibo_var_cmd.
// The window of the command being run, execution_tab, lives with the queue.
extern HostSession* g_sess;
// Depth of exec( calls that are being resolved inside one another.
extern int iExecRecursion;
// Set by end( : the macro that is being read stops.
extern int16_t sFlagEndMacro;

// Used by init( : every marker in `text` back into the name it stands for.
std::string restore_variable_names(const std::string& text);
