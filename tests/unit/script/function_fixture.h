// Built-in functions called the way the expression resolver calls them: the
// argument marked as it would be after "NAME(", handed to the table's handler.
#pragma once

#include "queue_fixture.h"

#include "script/functions.h"

#include <optional>
#include <string>

class FunctionTest : public QueueTest {
protected:
    void SetUp() override
    {
        QueueTest::SetUp();
        iFlagErrorMessage = 1;
        iFlagErrorMessage_internal = 1;
        sFlagEndMacro = 0;
        execution_tab = nullptr;
    }

    // The argument as the resolver hands it over: "NAME( ARGUMENT )", or "NAME()" for an empty one.
    static InertText marked(const std::string& argument)
    {
        std::string text = argument.empty() ? std::string(1, kCallClose) : " " + argument + " " + kCallClose;
        StringProtection(text, 0);
        return InertText(text);
    }

    // `name` with its "(": the handler's result for the argument.
    static std::optional<std::string> call(const char* name, const std::string& argument)
    {
        return call(name, marked(argument));
    }

    static std::optional<std::string> call(const char* name, const InertText& argument)
    {
        const AdvancedFunction* f = find_advanced_function(name);
        if (!f) {
            ADD_FAILURE() << "no function " << name;
            return std::nullopt;
        }
        return f->handler(argument);
    }

    // An argument whose middle part came from the network.
    static InertText with_value(const std::string& before, const std::string& value, const std::string& after)
    {
        InertText text;
        text.add_syntax(std::string(1, kArgumentBoundary) + before);
        text.add_literal(value);
        text.add_syntax(after + kArgumentBoundary);
        return text;
    }

    // Whether `line` was printed in the channel.
    bool printed_line(const std::string& line) const
    {
        for (const std::string& text : printed())
            if (text == line) return true;
        return false;
    }
    bool printed_message(int number, const std::string& value) const { return printed_line(message(number, value.c_str())); }
};
