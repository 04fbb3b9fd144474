// Every function with arguments a script may well hand it by mistake or by
// malice: each gives a result or leaves the call, and never crashes or hangs.
#include "function_fixture.h"

#include "host/paths.h"

#include <span>

namespace {

std::vector<std::string> hostile_arguments()
{
    const std::string big(8 * 1024, 'a');
    std::string commas;
    for (int i = 0; i < 2048; ++i) commas += "9,";
    return {
        "",
        " ",
        ",",
        ",,,,",
        big,
        commas,
        std::string(8 * 1024, '(') + " )",
        ") ) (",
        "%n%n%n%s%s%s",
        "%n,%s,%n",
        ">%n,%s,%n",
        "\xff\xfe\xc0\xaf,\xe2\x82,\xf0\x9f",
        "-1,-1,-1",
        "0,0,0",
        "4294967296,18446744073709551616,abc",
        "99999999999999999999999999999999/3",
        "-9223372036854775808/-1",
        "-9223372036854775808%-1",
        "1e309v0",
        "2^99999",
        ">(a*)*b,x," + big,
        "+((((((((((a))))))))))*,x," + big,
        "-" + big + "," + big + "," + big,
        ">a,aa," + big,
        "o-m," + big,
        "@ohvmas-,/echo %n $execnick $execrealname",
        "#quibo -" + big,
        "irc.test.net," + big,
        std::string("\x01\x02\x04\x05\x06\x07\x08\x11,\x06,\x07"),
        "$quiboscript_x,\x07-substr(\x01",
        "/etc/passwd",
        "../../../../tmp/x",
    };
}

TEST_F(FunctionTest, EveryFunctionAnswersEveryHostileArgument)
{
    iFlagEnableDatabase = 1;
    hostsim::StdoutCapture quiet;  // compile errors of patterns and unknown operators
    const std::vector<std::string> arguments = hostile_arguments();
    for (std::span<const AdvancedFunction> table : {advanced_functions(), first_pass_functions()}) {
        for (const AdvancedFunction& f : table) {
            if (std::string_view(f.name) == "ignore_list(") continue;  // below, with files that may be written
            for (const std::string& argument : arguments) {
                SCOPED_TRACE(std::string(f.name) + " with " + argument.substr(0, 40));
                const std::optional<std::string> result = f.handler(marked(argument));
                if (result) {
                    EXPECT_LE(result->size(), 64u * 1024 + argument.size());
                }
            }
            pCmdQueue.clear();
            iObjectInQueue = 0;
        }
    }
    quiet.stop();
    sim.clear_records();
}

TEST_F(FunctionTest, IgnoreListWithHostileNamesWritesOnlyInsideTheDataFolder)
{
    const std::string data = quibo_data_path("");
    for (const std::string& argument : hostile_arguments()) {
        SCOPED_TRACE(argument.substr(0, 40));
        if (!argument.empty() && argument[0] == '/') continue;  // a path the user typed is the user's choice
        const std::optional<std::string> result = call("ignore_list(", argument);
        if (result) {
            EXPECT_TRUE(*result == "0" || *result == "1");
        }
    }
    EXPECT_EQ(access((home.path() + "/tmp").c_str(), F_OK), -1);
}

}  // namespace
