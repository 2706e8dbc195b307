// The command line, option by option: what is taken, what is refused.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, TakesEachOptionOnceRefusesTheRestAndLetsQtOptionsThrough) {
    using A = TCommandLine::TAction;
    const struct {
        std::vector<std::string> Arguments;
        bool Ok;
        A Action;
        std::string Settings, Target;
    } Rows[] = {
        {{}, true, A::Wizard, "", ""},
        {{"--compile", "x.m3u"}, true, A::Compile, "", "x.m3u"},
        {{"-compile", "x.m3u"}, true, A::Compile, "", "x.m3u"}, // Qt's single-dash words
        {{"--compile=x.pls", "--settings", "s.ini"}, true, A::Compile, "s.ini", "x.pls"},
        {{"--screenshots", "shots"}, true, A::Screenshots, "", "shots"},
        {{"--settings", "caf\xe9\xff.ini"}, true, A::Wizard, "caf\xe9\xff.ini", ""}, // bytes
        {{"-platform", "offscreen", "-style", "fusion", "--settings", "s"},
         true,
         A::Wizard,
         "s",
         ""},
        {{"--reverse", "--compile", "x"}, true, A::Compile, "", "x"},
        {{"--help"}, true, A::Help, "", ""},
        {{"-h"}, true, A::Help, "", ""},
        {{"--version"}, true, A::Version, "", ""},
        {{"--compile", "a", "--compile", "b"}, false, A::Wizard, "", ""},
        {{"--settings", "a", "-settings", "b"}, false, A::Wizard, "", ""},
        {{"--help", "-h"}, false, A::Wizard, "", ""},
        {{"--screenshots", "d", "--compile", "x"}, false, A::Wizard, "", ""},
        {{"--help", "--version"}, false, A::Wizard, "", ""},
        {{"--version", "--settings", "s"}, false, A::Wizard, "", ""},
        {{"--settings", ""}, false, A::Wizard, "", ""},
        {{"--compile", ""}, false, A::Wizard, "", ""},
        {{"--compile"}, false, A::Wizard, "", ""},
        {{"--bogus"}, false, A::Wizard, "", ""},
        {{"-x"}, false, A::Wizard, "", ""},
        {{"stray"}, false, A::Wizard, "", ""},
        {{"--", "--compile"}, false, A::Wizard, "", ""},
    };
    for (const auto& Row : Rows) {
        std::string Joined;
        for (const std::string& Argument : Row.Arguments)
            Joined += Argument + ' ';
        TCommandLine Line;
        std::string Error;
        const bool Ok = ParseCommandLine(Row.Arguments, Line, Error);
        ASSERT_EQ(Ok, Row.Ok) << Joined << Error;
        if (!Ok) {
            EXPECT_FALSE(Error.empty()) << Joined;
            continue;
        }
        EXPECT_EQ(Line.Action, Row.Action) << Joined;
        EXPECT_EQ(Line.SettingsFile, Row.Settings) << Joined;
        EXPECT_EQ(Line.Target, Row.Target) << Joined;
    }
    TCommandLine Line;
    std::string Error;
    ParseCommandLine({"--bogus\n"}, Line, Error);
    EXPECT_EQ(Error, "Unknown option 'bogus\\x0A'.");
    ParseCommandLine({"--compile", "a", "--compile", "b"}, Line, Error);
    EXPECT_EQ(Error, "--compile is given more than once");
}

TEST(CommandLine, PlaylistOptionsAndExtrasGoWithCompile) {
    using F = PlaylistFormat;
    using P = PlaylistPaths;
    const struct {
        std::vector<std::string> Arguments;
        std::optional<F> Format;
        std::optional<P> Paths;
        bool Extended, Unique;
        std::string Explain;
    } Taken[] = {
        {{"--compile", "x"}, {}, {}, false, false, ""},
        {{"--compile", "x", "--format", "m3u8"}, F::M3U8, {}, false, false, ""},
        {{"--compile", "x", "--format=pls"}, F::PLS, {}, false, false, ""},
        {{"--compile", "x", "--format", "m3u"}, F::M3U, {}, false, false, ""},
        {{"--compile", "x", "--paths", "relative"}, {}, P::Relative, false, false, ""},
        {{"--compile", "x", "--paths", "absolute"}, {}, P::Absolute, false, false, ""},
        {{"--compile", "x", "--extended", "--unique"}, {}, {}, true, true, ""},
        {{"--compile", "x", "--explain", "w\xe9.tsv"}, {}, {}, false, false, "w\xe9.tsv"},
    };
    for (const auto& Row : Taken) {
        TCommandLine Line;
        std::string Error;
        ASSERT_TRUE(ParseCommandLine(Row.Arguments, Line, Error)) << Error;
        EXPECT_EQ(Line.Compile.Format, Row.Format) << Row.Arguments[2];
        EXPECT_EQ(Line.Compile.Paths, Row.Paths) << Row.Arguments[2];
        EXPECT_EQ(Line.Compile.Extended, Row.Extended) << Row.Arguments[2];
        EXPECT_EQ(Line.Compile.Unique, Row.Unique) << Row.Arguments[2];
        EXPECT_EQ(Line.Compile.ExplainFile, Row.Explain) << Row.Arguments[2];
    }
    const std::pair<std::vector<std::string>, const char*> Refused[] = {
        {{"--compile", "x", "--format", "M3U"}, "--format takes m3u, m3u8 or pls"},
        {{"--compile", "x", "--paths", "rel"}, "--paths takes absolute or relative"},
        {{"--compile", "x", "--explain", ""}, "--explain needs a value that is not empty"},
        {{"--compile", "x", "--unique", "--unique"}, "--unique is given more than once"},
        {{"--extended"}, "--extended goes with --compile"},
        {{"--unique", "--settings", "s"}, "--unique goes with --compile"},
        {{"--explain", "w.tsv"}, "--explain goes with --compile"},
        {{"--screenshots", "d", "--paths", "relative"}, "--paths goes with --compile"},
        {{"--format", "pls"}, "--format goes with --compile"},
        {{"--counts", "c.tsv"}, "--counts goes with --compile or --refresh"},
        {{"--watch", "--counts", "c.tsv"}, "--counts goes with --compile or --refresh"},
        {{"--refresh", "s.morvane", "--counts", ""}, "--counts needs a value that is not empty"},
    };
    for (const auto& [Arguments, Message] : Refused) {
        TCommandLine Line;
        std::string Error;
        EXPECT_FALSE(ParseCommandLine(Arguments, Line, Error)) << Message;
        EXPECT_EQ(Error, Message);
    }
    // The counts go with a compile and with a refresh.
    for (const std::vector<std::string>& Arguments :
         {std::vector<std::string>{"--compile", "x", "--counts", "c\xe9.tsv"},
          std::vector<std::string>{"--refresh", "s.morvane", "--counts", "c\xe9.tsv"}}) {
        TCommandLine Line;
        std::string Error;
        ASSERT_TRUE(ParseCommandLine(Arguments, Line, Error)) << Error;
        EXPECT_EQ(Line.CountsFile, "c\xe9.tsv");
        EXPECT_EQ(Line.Compile.CountsFile, Arguments[0] == "--compile" ? "c\xe9.tsv" : "");
    }
}
