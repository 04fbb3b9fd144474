// Values are data: a user variable, a user's property or an event value that
// looks like script is put in place as that text and never expanded, called,
// split, percent-translated or run by a shell.
#include "script_fixture.h"

namespace {

class InertScript : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        canary = home.path() + "/CANARY";
    }

    std::vector<std::string> payloads() const
    {
        return {"$password", "$nickname", "toupper( x )", "ignore_list( " + canary + " )", "\\;", "a\\;/echo b",
                "$(id)", "$(touch " + canary + ")", "%010", "%B%C4x", "peer.exist", "$_", "_QUIBO_SEPARATOR_",
                "\x07-toupper(\x01 y \x06", "\t-nickname\x02", "|/echo z", "\\"};
    }

    // Every command the client receives while the queue and the commands it starts run out.
    std::vector<std::string> echoed(const std::function<void()>& action)
    {
        sim.clear_records();
        action();
        for (int i = 0; i < 8 && !pCmdQueue.empty(); ++i) ExecCommandInQueue(-1);
        std::vector<std::string> out;
        for (const std::string& c : drained_so_far())
            if (c.rfind("echo", 0) == 0) out.push_back(c);
        return out;
    }

    std::string canary;
};

TEST_F(InertScript, AUserVariablesValueIsPlainText)
{
    for (const std::string& p : payloads()) {
        SCOPED_TRACE(p);
        quibo_set_variable(here(), "v", p.c_str(), 0, 0);
        EXPECT_EQ(echoed([&] { quibo("cmd /echo [$v]"); }), std::vector<std::string>{"echo [" + p + "]"});
        EXPECT_EQ(resolve("<$v>"), "<" + p + ">");
        EXPECT_EQ(resolve("toupper( $v )"), ustrtoupper(p.c_str()));
        EXPECT_EQ(echoed([&] { quibo("if $v = $v /echo same $v"); }), std::vector<std::string>{"echo same " + p});
    }
    EXPECT_FALSE(exists(canary));
}

TEST_F(InertScript, APropertysValueIsPlainText)
{
    for (const std::string& p : payloads()) {
        SCOPED_TRACE(p);
        FlushUser();
        remember("peer", "peer@example.org", p.c_str(), p.c_str());
        for (const char* property : {"say", "who", "realname"})
            EXPECT_EQ(echoed([&] { quibo(std::string("cmd /echo <peer.") + property + ">"); }),
                      std::vector<std::string>{"echo <" + p + ">"});
    }
    EXPECT_FALSE(exists(canary));
}

TEST_F(InertScript, AnEventValueIsPlainTextInCmdAndIf)
{
    ASSERT_EQ(add(0, "text", "*", "/quibo cmd /echo [$data]"), 0);
    ASSERT_EQ(add(0, "text", "*", "/quibo if x$data = x$data /echo eq [$data]"), 0);
    std::vector<std::string> values = payloads();
    values.push_back("$(touch${IFS}" + canary + ")");
    for (const std::string& p : values) {
        SCOPED_TRACE(p);
        const std::vector<std::string> got = echoed([&] { offer("text", p.c_str()); });
        ASSERT_EQ(got.size(), p.find(' ') == std::string::npos ? 2u : 1u);
        EXPECT_EQ(got[0], "echo [" + p + "]");
        if (got.size() > 1) {
            EXPECT_EQ(got[1], "echo eq [" + p + "]");
        }
    }
    EXPECT_FALSE(exists(canary));
}

TEST_F(InertScript, AValueOnTheRightIsComparedAsTextNotAsAPattern)
{
    quibo_set_variable(here(), "p", "/.*", 0, 0);
    EXPECT_TRUE(echoed([&] { quibo("if anything = $p /echo matched"); }).empty());
    EXPECT_EQ(echoed([&] { quibo("if /.* = $p /echo same"); }), std::vector<std::string>{"echo same"});
    EXPECT_EQ(echoed([&] { quibo("if anything = /.* /echo pattern"); }), std::vector<std::string>{"echo pattern"});
}

TEST_F(InertScript, ValuesInAShellSubstitutionAreQuotedForTheShell)
{
    const std::string injection = "'; touch " + canary + "; '";
    const std::string value_quoted[][2] = {
        {"$(echo$_", ")"},             // plain
        {"$(echo$_\"", "\")"},         // inside the user's double quotes
        {"$(echo$_\\(", "\\))"},       // inside the quotes "\(" and "\)" stand for
        {"$(echo$_\\", ")"},           // right after a backslash
    };
    for (const auto& [before, after] : value_quoted) {
        SCOPED_TRACE(before);
        InertText left;
        left.add_syntax(before);
        left.add_literal(injection);
        left.add_syntax(after);
        EXPECT_EQ(quibo_if(here(), left, '=', InertText("x"), InertText("/echo y")), 0);
        EXPECT_EQ(psOutput_OperatingSystem, injection);
    }
    EXPECT_FALSE(exists(canary));
}

}  // namespace
