// Language message files: syntax, escapes, report cap, overlay, checked conversions.
#include "settings_fixture.h"

#include "largest_allocation.h"

#include <fstream>

namespace {

class Messages : public SettingsTest {
protected:
    // Writes quibo_<language>.msg and loads it; the window lines it printed are returned.
    std::vector<std::string> load(const std::string& language, const std::string& content)
    {
        home.write(".xchat2/quiboscript/quibo_" + language + ".msg", content);
        sim.clear_records();
        hostsim::StdoutCapture quiet;
        loaded = LoadMessageFile(language.c_str());
        standard_output = quiet.stop();
        return take();
    }
    int loaded = -1;
    std::string standard_output;  // what the last load wrote there
};

const char* const kNotLoaded =
    "\0034ATTENZIONE: File dei messaggi non ancora caricato dal plugin. Contattare la ZEM'Software !";

// Runs before any file is loaded in this process.
TEST(MessagesBeforeLoading, SubstituteSaysNothingIsLoaded)
{
    EXPECT_STREQ(GetMessage(7005), kNotLoaded);
    EXPECT_EQ(GetMessage(7005), GetMessage(7005));  // one substitute per number
}

TEST_F(Messages, QuotePositionEscapesAndTerminator)
{
    auto reports = load("prova", "# commento\n"
                                 "// 7005 \"Hello\\n\"\n"
                                 "//  123 \"x\"\n"
                                 "// 7006 \"a\\\\n\\0033b\\t\\\"c\\\".xchatV\"\n"
                                 "// 7007 \"open\n"
                                 "// 7008 \"dup1\"\n"
                                 "// 7008 \"dup2\"\n"
                                 "// 7009 \"cr\"\r\n"
                                 "// 7010 \"\"\n");
    EXPECT_EQ(loaded, 1);
    EXPECT_STREQ(GetMessage(7005), "Hello\n");
    EXPECT_STREQ(GetMessage(123), "x");
    EXPECT_STREQ(GetMessage(7006), "a\\\n\0033b\t\"c\".xchat2");
    EXPECT_STREQ(GetMessage(7007), "open");
    EXPECT_STREQ(GetMessage(7008), "dup2");
    EXPECT_STREQ(GetMessage(7009), "cr\"\r");
    EXPECT_STREQ(GetMessage(7010), "\0034ATTENZIONE: Messaggio numero 7010 fuori dal limite o comunque vuoto. Contattare "
                                 "la ZEM'Software !");
    EXPECT_STREQ(GetMessage(-1), message(-1).c_str());
    EXPECT_NE(std::string(GetMessage(10000)).find("numero 10000 fuori"), std::string::npos);
    std::string path = home.path() + "/.xchat2/quiboscript/quibo_prova.msg";
    EXPECT_EQ(reports, (std::vector<std::string>{
                           "\0034ATTENZIONE: nel file \0036" + path +
                               "\0034 alla riga\0036 5 \0034 e' presente un Messaggio senza terminatore.",
                           "\0034ATTENZIONE: nel file \0036" + path +
                               "\0034 alla riga\0036 8 \0034 e' presente un Messaggio senza terminatore.",
                       }));
}

TEST_F(Messages, BadLinesAreReportedAtMostNineTimes)
{
    std::string content = "// 5 \"x\"\n\n";
    for (int i = 0; i < 10; ++i) content += "nonsense\n";
    content += "// 0011 \"kept\"\n";
    auto reports = load("guasto", content);
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(reports.size(), 9u);
    std::string path = home.path() + "/.xchat2/quiboscript/quibo_guasto.msg";
    EXPECT_EQ(reports[0], "\0034Errore di sintassi nel file \0036" + path + "\0034 alla riga\0036 1 \0034: Messaggio ignorato");
    EXPECT_EQ(reports[2], "\0034Il messaggio alla riga\0036 2\0034 risulta avere un indice fuori limite (\0036 -1 "
                          "\0034): Messaggio ignorato");
    EXPECT_STREQ(GetMessage(11), "kept");
    size_t lines = 0;
    for (size_t at = 0; (at = standard_output.find("ignorato\n", at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 9u) << standard_output;
}

TEST_F(Messages, AHugeOneLineFileIsNotHeldWhole)
{
    constexpr size_t kLine = 8 << 20;
    std::string content = "// 7005 \"" + std::string(kLine, 'h') + "\"\n// 7006 \"after\"\n";
    home.write(".xchat2/quiboscript/quibo_enorme.msg", content);
    std::string().swap(content);
    largest_allocation = 0;
    hostsim::StdoutCapture quiet;
    EXPECT_EQ(LoadMessageFile("enorme"), 1);
    quiet.stop();
    EXPECT_LT(largest_allocation, kLine / 64);
    EXPECT_EQ(std::string(GetMessage(7005)), std::string(4094 - 9, 'h'));  // the line's first 4094 bytes
    EXPECT_STREQ(GetMessage(7006), "after");
}

TEST_F(Messages, SecondLanguageOverlaysTheFirst)
{
    load("inglese", "// 0233 \"Language: %s\"\n");
    EXPECT_STREQ(GetMessage(233), "Language: %s");
    EXPECT_STREQ(GetMessage(230), "\0033File di configurazione caricato correttamente (versione\0038 %d\0033).");
}

TEST_F(Messages, TextWithOtherConversionsIsRefused)
{
    FlushMessage();
    auto reports = load("rotto", "// 0230 \"%s boom\"\n// 0231 \"%d e %d\"\n// 0233 \"%n\"\n// 7004 \"%s free\"\n");
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_NE(std::string(GetMessage(230)).find("Messaggio numero 230"), std::string::npos);
    EXPECT_STREQ(GetMessage(231), "%d e %d");
    EXPECT_NE(std::string(GetMessage(233)).find("Messaggio numero 233"), std::string::npos);
    EXPECT_STREQ(GetMessage(7004), "%s free");  // no signature yet: not checked
    EXPECT_EQ(message(230, 5), GetMessage(230));
}

TEST_F(Messages, AMismatchedOverlayFallsBackToTheSubstitute)
{
    ASSERT_STREQ(GetMessage(230), "\0033File di configurazione caricato correttamente (versione\0038 %d\0033).");
    auto reports = load("sbagliato", "// 0230 \"%s\"\n");
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_NE(std::string(GetMessage(230)).find("Messaggio numero 230"), std::string::npos);
}

TEST_F(Messages, ConversionsAreReadAsTheCodePassesThem)
{
    std::string found;
    EXPECT_TRUE(message_conversions("%-38s:%d %% %5.2f %zu %ld %c %p", found));
    EXPECT_EQ(found, "sdfzldp");
    for (const char* text : {"%n", "%*d", "%1$s", "%lls", "50%"}) EXPECT_FALSE(message_conversions(text, found));
}

TEST_F(Messages, ShippedItalianFileMatchesEverySignature)
{
    FlushMessage();
    auto reports = load("italiano", [] {
        std::ifstream file(QUIBO_SOURCE_DIR "/data/quibo_italiano.msg");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }());
    EXPECT_EQ(loaded, 1);
    EXPECT_TRUE(reports.empty());
    for (int number = 0; number < kMessageSlots; ++number)
        if (message_signature(number)) {
            EXPECT_EQ(std::string(GetMessage(number)).find("ATTENZIONE: Messaggio"), std::string::npos) << number;
        }
}

TEST_F(Messages, MissingFileLoadsNothing)
{
    hostsim::StdoutCapture quiet;
    EXPECT_EQ(LoadMessageFile("nessuno"), 0);
    EXPECT_EQ(LoadMessageFile(""), 0);
    quiet.stop();
}

}  // namespace
