// The option parser: every option's value, fallback and message, fed the
// way a command file feeds them (values taken from the following tokens).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cmdfile/lexer.h"
#include "diag/common.h"
#include "diag/diag.h"
#include "driver/options.h"
#include "image/section_list.h"
#include "support/capture.h"
#include "support/harness.h"

using namespace coffhex;

namespace {

class Options : public ::testing::Test {
protected:
    void TearDown() override {
        if (stream_ != nullptr) std::fclose(stream_);
    }

    // Parses `option` (without its dash) with its values taken from
    // `values`, as in a command file; returns what was reported.
    std::string parse(const char* option, const std::string& values = "") {
        if (stream_ != nullptr) std::fclose(stream_);
        stream_ = std::tmpfile();
        std::fputs(values.c_str(), stream_);
        std::rewind(stream_);
        lexer.start(stream_);
        const size_t before = captured.err().size();
        parser.parse_option(option, nullptr);
        return captured.err().substr(before);
    }

    testsupport::CapturedDiagnostics captured;
    Settings settings;
    Lexer lexer{captured.diag};
    OptionParser parser{settings, lexer, captured.diag, "coffhex"};
    std::FILE* stream_ = nullptr;
};

}  // namespace

TEST_F(Options, FormatLettersAndWords) {
    struct Case {
        const char* text;
        Format format;
    } cases[] = {{"a", Format::AsciiHex},    {"i", Format::Intel},       {"m", Format::Motorola},
                 {"M1", Format::MotorolaS1}, {"m2", Format::MotorolaS2}, {"m3", Format::MotorolaS3},
                 {"t", Format::Tagged},      {"x", Format::Tektronix},   {"-d", Format::Debug}};
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.text), "") << c.text;
        EXPECT_EQ(static_cast<int>(settings.format), static_cast<int>(c.format)) << c.text;
    }
    EXPECT_EQ(parse("b"), "");
    EXPECT_EQ(static_cast<int>(settings.format), static_cast<int>(Format::Binary));
    EXPECT_EQ(settings.rom_width, 1);
    EXPECT_EQ(settings.mem_width, 1);
}

TEST_F(Options, WidthsAreCaseInsensitiveAndKeptInBytes) {
    EXPECT_EQ(parse("ROMWIDTH", "16"), "");
    EXPECT_EQ(settings.rom_width, 2);
    EXPECT_TRUE(settings.rom_width_given);
    EXPECT_EQ(parse("memwidth", "64"), ">> WARNING: memwidth(64) is greater than target width(32)\n");
    EXPECT_EQ(settings.mem_width, 8);
    EXPECT_EQ(parse("datawidth", "16"), "");
    EXPECT_EQ(settings.data_width, 2);
}

TEST_F(Options, IllegalWidthsFallBackToTheDefault) {
    parse("romwidth", "16");
    EXPECT_EQ(parse("romwidth", "12"), ">> WARNING: illegal romwidth of 12, using romwidth=8\n");
    EXPECT_EQ(settings.rom_width, 1);  // reset first, not the earlier 16
    parse("memwidth", "16");
    EXPECT_EQ(parse("memwidth", "20"), ">> WARNING: illegal memwidth of 20, using memwidth=32\n");
    EXPECT_EQ(settings.mem_width, 4);
    EXPECT_EQ(parse("datawidth", "12"), ">> WARNING: illegal datawidth of 12, using datawidth=8\n");
    EXPECT_EQ(settings.data_width, 1);
    // A data width of 0 has no bytes to order and is refused the same way.
    EXPECT_EQ(parse("datawidth", "0"), ">> WARNING: illegal datawidth of 0, using datawidth=8\n");
    EXPECT_EQ(settings.data_width, 1);
}

TEST_F(Options, MissingOrNonNumericValuesAreIgnoredWithAWarning) {
    settings.fill_value = 7;
    EXPECT_EQ(parse("fill"), ">> WARNING: invalid value for -fill option (ignored)\n");
    EXPECT_EQ(settings.fill_value, 7u);
    EXPECT_EQ(parse("F", "abc"), ">> WARNING: invalid value for -F option (ignored)\n");
    EXPECT_EQ(parse("fill", "0x12345678"), "");
    EXPECT_EQ(settings.fill_value, 0x12345678u);
    EXPECT_EQ(parse("bootpage", "-1"), ">> WARNING: invalid value for -bootpage option (ignored)\n");
    EXPECT_EQ(parse("bootpage", "3"), "");
    EXPECT_EQ(settings.boot_page, 3);
}

TEST_F(Options, OlengthBelowOneBecomesOne) {
    EXPECT_EQ(parse("olength", "0"), ">> WARNING: illegal value 0 for -olength, using 1\n");
    EXPECT_EQ(settings.olength, 1);
    EXPECT_EQ(parse("olength", "4"), "");
    EXPECT_EQ(settings.olength, 4);
}

TEST_F(Options, OrderTakesTheFirstLetterOnly) {
    EXPECT_EQ(parse("order", "ls"), "");
    EXPECT_EQ(settings.order, ORDER_LS);
    EXPECT_EQ(parse("order", "Most"), "");
    EXPECT_EQ(settings.order, ORDER_MS);
    EXPECT_EQ(parse("order", "Little"), "");
    EXPECT_EQ(settings.order, ORDER_LS);
    EXPECT_EQ(parse("order", "x"), ">>   ERROR: invalid -order option: specify MS or LS\n");
    EXPECT_EQ(captured.diag.worst_severity(), ERROR);
}

TEST_F(Options, EntryPointIsAnAddressOrASymbol) {
    EXPECT_EQ(parse("e", "main"), "");
    EXPECT_EQ(settings.entry_symbol.value_or(""), "main");
    EXPECT_EQ(settings.entry_point, ALL_ONES);
    EXPECT_EQ(parse("e", "0x100"), "");
    EXPECT_EQ(settings.entry_point, 0x100u);
    EXPECT_FALSE(settings.entry_symbol.has_value());
    // Neither a number nor a name leaves both as they were.
    EXPECT_EQ(parse("e", "="), ">> WARNING: invalid value for -e option (ignored)\n");
    EXPECT_EQ(settings.entry_point, 0x100u);
}

TEST_F(Options, BootOrigin) {
    EXPECT_EQ(parse("bootorg", "0x4000"), "");
    EXPECT_EQ(settings.boot_org, 0x4000u);
    EXPECT_EQ(parse("bootorg", "start"), ">> WARNING: illegal -bootorg value (ignored)\n");
    EXPECT_EQ(parse("bootorg"), ">> WARNING: illegal value on -bootorg (ignored)\n");
    EXPECT_EQ(settings.boot_org, 0x4000u);
}

TEST_F(Options, BootstrapKeepsTheCaseOfItsSection) {
    EXPECT_EQ(parse("BOOTSTRAP=MySect"), "");
    EXPECT_EQ(settings.bootstrap_section.value_or(""), "MySect");
    EXPECT_EQ(parse("bootstrap"), ">> WARNING: invalid option: -bootstrap\n");
}

TEST_F(Options, BootSectionTakesANameAndAnAddress) {
    EXPECT_EQ(parse("bootsection", ".boot 0x200"), "");
    EXPECT_EQ(settings.boot_section_name.value_or(""), ".boot");
    EXPECT_EQ(settings.boot_section_address, 0x200u);
    EXPECT_EQ(parse("bootsection", ".other"), ">> WARNING: invalid value for -bootsection option (ignored)\n");
    EXPECT_EQ(settings.boot_section_name.value_or(""), ".other");
    EXPECT_EQ(settings.boot_section_address, 0x200u);
}

TEST_F(Options, OutputNamesAccumulate) {
    EXPECT_EQ(parse("o", "first.hex"), "");
    EXPECT_EQ(parse("o", "c:\\out\\second.hex"), "");
    EXPECT_EQ(parse("o"), ">> WARNING: no name on -o (ignored)\n");
    EXPECT_EQ(settings.output_names, (std::vector<std::string>{"first.hex", "c:\\out\\second.hex"}));
}

TEST_F(Options, MapIsOnlyNamed) {
    EXPECT_EQ(parse("map", "run.map"), "");
    EXPECT_EQ(settings.map_file_name, "run.map");
    EXPECT_EQ(parse("map"), ">> WARNING: no name on -map (ignored)\n");
    EXPECT_EQ(settings.map_file_name, "run.map");
}

TEST_F(Options, DoubleDashOptionsDispatchOnTheirSecondCharacter) {
    EXPECT_EQ(parse("-bin"), "");
    EXPECT_EQ(static_cast<int>(settings.format), static_cast<int>(Format::Generic));
    EXPECT_EQ(settings.rom_width, 1);
    EXPECT_EQ(parse("-w"), "");
    EXPECT_EQ(settings.rom_width, 2);
    parse("romwidth", "16");
    parse("-b");
    EXPECT_EQ(settings.rom_width, 2);  // an explicit ROM width is kept
    parse("-v");
    parse("-verbose");
    EXPECT_EQ(settings.trace_level, 2);
    parse("-s");
    EXPECT_EQ(settings.symbol_trace, 1);
    EXPECT_EQ(parse("-q"), ">> WARNING: invalid option: --q\n");
    EXPECT_EQ(parse("-"), ">> WARNING: invalid option: --\n");
}

TEST_F(Options, FlagsAndQuiet) {
    parse("image");
    parse("LinkerFill");
    parse("z");
    parse("byte");
    parse("boot");
    EXPECT_TRUE(settings.image);
    EXPECT_TRUE(settings.linker_fill);
    EXPECT_TRUE(settings.zero_based);
    EXPECT_TRUE(settings.byte_addressing);
    EXPECT_TRUE(settings.boot_all);
    parse("q");
    EXPECT_EQ(settings.quiet, 1);
    EXPECT_EQ(parse("nonsense"), ">> WARNING: invalid option: -nonsense\n");
    // -qq silences the warnings that follow.
    parse("qq");
    EXPECT_EQ(settings.quiet, 2);
    EXPECT_EQ(parse("nonsense"), "");
}

TEST_F(Options, AttachedValuesAreNotRecognised) {
    EXPECT_EQ(parse("ofile.hex"), ">> WARNING: invalid option: -ofile.hex\n");
    EXPECT_EQ(parse("@cmd.txt"), ">> WARNING: invalid option: -@cmd.txt\n");
}

TEST_F(Options, ExcludePatterns) {
    EXPECT_EQ(parse("exclude", ".debug*"), "");
    EXPECT_EQ(parse("exclude", "*.cinit"), "");
    EXPECT_EQ(parse("exclude", ".text"), "");
    EXPECT_EQ(parse("exclude", "a*b"), ">> WARNING: -exclude section wildcard invalid (a*b)\n");
    EXPECT_EQ(parse("exclude", "**"), ">> WARNING: -exclude section wildcard invalid (**)\n");
    EXPECT_EQ(parse("exclude", "*"), ">> WARNING: -exclude section wildcard invalid (*)\n");
    EXPECT_EQ(parse("exclude"), ">> WARNING: exclude section not specified\n");
    const std::vector<ExcludePattern>& patterns = settings.exclude_patterns;
    EXPECT_TRUE(is_excluded(patterns, ".debug_info"));
    EXPECT_TRUE(is_excluded(patterns, ".debug"));
    EXPECT_TRUE(is_excluded(patterns, "my.cinit"));
    EXPECT_TRUE(is_excluded(patterns, ".text"));
    EXPECT_FALSE(is_excluded(patterns, ".text2"));
    EXPECT_FALSE(is_excluded(patterns, ".DEBUG_info"));  // case counts
    EXPECT_FALSE(is_excluded(patterns, ".debu"));
    const size_t before = captured.err().size();
    parser.add_exclude("");
    EXPECT_EQ(captured.err().substr(before), ">> WARNING: -exclude section name not provided\n");
    EXPECT_EQ(patterns.size(), 3u);
}

// The command line feeds values from the following arguments.
TEST(OptionsCommandLine, ValuesComeFromTheNextArgument) {
    testsupport::TempDir dir;
    // -fill takes "-q" as its value (not a number), so -q is not an option
    // here and the warnings of the later options are still written.
    testsupport::RunResult r =
        testsupport::run_coffhex({"-romwidth", "12", "-fill", "-q", "-olength", "0", "-fill"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: illegal romwidth of 12, using romwidth=8\n"
              ">> WARNING: invalid value for -fill option (ignored)\n"
              ">> WARNING: illegal value 0 for -olength, using 1\n"
              ">> WARNING: invalid value for -fill option (ignored)\n");
}

TEST(OptionsCommandLine, LongValuesAreKeptWhole) {
    testsupport::TempDir dir;
    // A path of well over 255 characters names the output file.
    std::string sub = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(120, 'f');
    ASSERT_EQ(std::system(("mkdir -p " + dir.file(sub)).c_str()), 0);
    testsupport::write_coff(dir.file("app.out"), "section .text paddr=0\n  bytes 12\n");
    std::string out = sub + "/out.hex";
    testsupport::RunResult r =
        testsupport::run_coffhex({"-q", "-i", "-memwidth", "8", "-o", out, "app"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::read_text(dir.file(out)), ":0100000012ED\n:00000001FF\n");
}
