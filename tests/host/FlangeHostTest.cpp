// The host's pure pieces on the flange side, case by case.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "Check.h"
#include "Cli.h"
#include "Quote.h"

namespace pendrax_host {
namespace {

Arg Named(const char* text) {
    Arg arg;
    arg.text = text;
    return arg;
}

TEST(QuoteName, PlainNamesAsTheyAreControlsAndBadBytesEscaped) {
    const struct {
        std::string name;
        const char* always;
        const char* whenNeeded;
    } cases[] = {
        {"a.wav", "'a.wav'", "a.wav"},
        {"my song.wav", "'my song.wav'", "my song.wav"},
        {"it's", "'it'\\''s'", "it's"},
        {"caf\xc3\xa9 \xe5\xa3\xb0", "'caf\xc3\xa9 \xe5\xa3\xb0'", "caf\xc3\xa9 \xe5\xa3\xb0"},
        {"a\nb", "'a'$'\\n''b'", "'a'$'\\n''b'"},
        {"\x1b[2Jx", "$'\\033''[2Jx'", "$'\\033''[2Jx'"},
        {"x\t\r", "'x'$'\\t\\r'", "'x'$'\\t\\r'"},
        {"bad\xff", "'bad'$'\\377'", "'bad'$'\\377'"},
        {"\xc0\xaf", "$'\\300\\257'", "$'\\300\\257'"},                // overlong
        {"\xed\xa0\x80", "$'\\355\\240\\200'", "$'\\355\\240\\200'"},  // a surrogate
        {"\xc2\x9b", "$'\\302\\233'", "$'\\302\\233'"},                // C1 control
        {"\xe5\xa3", "$'\\345\\243'", "$'\\345\\243'"},                // cut short
        {std::string("n\0", 2), "'n'$'\\000'", "'n'$'\\000'"},
        {"", "''", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuoteName(c.name), c.always) << c.always;
        EXPECT_EQ(QuoteName(c.name, Quotes::kWhenNeeded), c.whenNeeded) << c.always;
    }
}

TEST(SoxCommand, QuotedForEachShellAndSafeForADash) {
    const struct {
        const char* input;
        bool stream;
        Shell shell;
        const char* expected;
    } cases[] = {
        {"in.wav", false, Shell::Posix,
         "sox in.wav -r 8000 -c 1 -b 16 -e signed-integer in-8000.wav"},
        {"-dash.wav", false, Shell::Posix,
         "sox ./-dash.wav -r 8000 -c 1 -b 16 -e signed-integer ./-dash-8000.wav"},
        {"it's.wav", false, Shell::Posix,
         "sox 'it'\\''s.wav' -r 8000 -c 1 -b 16 -e signed-integer 'it'\\''s-8000.wav'"},
        {"-dash.wav", false, Shell::Cmd,
         "sox .\\-dash.wav -r 8000 -c 1 -b 16 -e signed-integer .\\-dash-8000.wav"},
        {"C:\\My Music\\a&b.wav", false, Shell::Cmd,
         "sox \"C:\\My Music\\a&b.wav\" -r 8000 -c 1 -b 16 -e signed-integer \"C:\\My "
         "Music\\a&b-8000.wav\""},
        {"-", true, Shell::Posix,
         "sox -t wav - -r 8000 -c 1 -b 16 -e signed-integer converted.wav"},
        {"/dev/fd/63", true, Shell::Posix,
         "sox -t wav /dev/fd/63 -r 8000 -c 1 -b 16 -e signed-integer converted.wav"},
        {"/dev/stdin", false, Shell::Posix,
         "sox /dev/stdin -r 8000 -c 1 -b 16 -e signed-integer converted.wav"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SoxCommand(Named(c.input), c.stream, "wav", c.shell), c.expected) << c.input;
    }
}

TEST(FormatNames, CodedFormatsByNameAndArticlesBySound) {
    EXPECT_EQ(FormatName(0x31, 0), "GSM 6.10");
    EXPECT_EQ(FormatName(0x11, 4), "IMA ADPCM");
    EXPECT_EQ(FormatName(1, 24), "24-bit PCM");
    EXPECT_EQ(FormatName(0x1234, 8), "format 4660");
    for (const auto& [number, text] : {std::pair<int, const char*>{18, "an 18"},
                                       {8, "an 8"},
                                       {11, "an 11"},
                                       {16, "a 16"},
                                       {40, "a 40"},
                                       {80, "an 80"},
                                       {110, "a 110"},
                                       {18000, "an 18000"}}) {
        EXPECT_EQ(WithArticle(number), text);
    }
}

TEST(Options, PrefixesBundlesAndValuesAsGetoptLongReadsThem) {
    const std::initializer_list<OptionSpec> specs = {{'q', "--quiet", false},
                                                     {'D', "--device", true},
                                                     {0, "--force", false},
                                                     {0, "--forward", false}};
    const struct {
        std::vector<const char*> args;
        const char* seen;  // each item: option name=value, or the operand
    } cases[] = {
        {{"-qD", "null", "out"}, "--quiet --device=null out"},
        {{"-qDhw:1", "--", "-q"}, "--quiet --device=hw:1 -q"},
        {{"--dev=x", "-"}, "--device=x -"},
        {{"--forc"}, "--force"},
        {{"--force=yes"}, "!option '--force' takes no value"},
        {{"--for"}, "!option '--for' is ambiguous; possibilities: '--force' '--forward'"},
        {{"-qx"}, "--quiet !unknown option '-x' in '-qx'"},
        {{"-D"}, "!option '-D' needs a value"},
    };
    for (const auto& c : cases) {
        Args args;
        std::transform(c.args.begin(), c.args.end(), std::back_inserter(args), Named);
        OptionScanner scan(args, specs);
        std::string seen;
        while (scan.Next()) {
            seen += seen.empty() ? "" : " ";
            if (!scan.Problem().empty()) {
                seen += "!" + scan.Problem();
                break;
            }
            seen += scan.IsOption() ? std::string(scan.Is("--device") ? "--device=" : "") +
                                          (scan.Is("--device")  ? scan.Value()
                                           : scan.Is("--quiet") ? "--quiet"
                                                                : "--force")
                                    : scan.Operand().text;
        }
        EXPECT_EQ(seen, c.seen);
    }
}

}  // namespace
}  // namespace pendrax_host
