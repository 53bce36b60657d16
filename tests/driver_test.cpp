// The driver end to end: usage texts, tool version, input classification
// and the gates before conversion, run on the real binary.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <thread>

#include "support/harness.h"

using namespace testsupport;

namespace {

// The project's version, as CMake's project() line gives it.
const std::string VERSION = COFFHEX_PROJECT_VERSION;

// The title left in 40 columns, the version from column 41.
const std::string TITLE_LINE = "coffhex COFF/ELF Hex Converter          v" + VERSION + "\n";

const std::string BANNER =
    TITLE_LINE + "Copyright (c) 2026                      the coffhex developers\n";

std::string short_usage() {
    return BANNER + "\nUsage: " + std::string(COFFHEX_BINARY) + " [-options | -h] filename\n\n";
}

std::string full_usage() {
    return short_usage() +
           "Options:\n"
           " -q            Quiet Operation\n"
           " -e<addr>      Specify entrypoint address or symbol name\n"
           " -o<file>      Specify output file names\n"
           " -image        Select image mode\n"
           " -linkerfill   Include linker fill sections in images\n"
           " -zero         Zero based addressing\n"
           " -fill<x>      Specify fill value\n"
           " -romwidth<x>  Specify rom width\n"
           " -memwidth<x>  Specify memory width\n"
           " -datawidth<x> Specify data width\n"
           " -order        Specify data ordering (endianness)\n"
           " -bootorg<adr> Specify origin address or symbol of boot table ROM\n"
           " -map<file>    Specify map file name\n"
           " -checksum     Report byte count, sum and CRC-32 of each output file\n"
           "\n"
           "Output Format Specification:\n"
           " -a            Output ASCII hex format\n"
           " -i            Output Intel hex format\n"
           " -m[1|2|3]     Output Motorola S hex format\n"
           " -t            Output QV-Tagged hex format\n"
           " -x            Output Extended Tektronix hex format\n"
           "\n"
           "            See the manual page (man coffhex) for additional information\n"
           "            and the options not listed here.\n"
           "\n";
}

}  // namespace

TEST(DriverUsage, NoArgumentsPrintsTheShortUsage) {
    TempDir dir;
    RunResult r = run_coffhex({}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, short_usage());
    EXPECT_EQ(r.err, "");
}

TEST(DriverUsage, OptionsWithoutAFilePrintTheShortUsage) {
    TempDir dir;
    RunResult r = run_coffhex({"-i", "-image"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, short_usage());
}

TEST(DriverUsage, HelpInEverySpellingPrintsTheFullText) {
    TempDir dir;
    for (const char* option : {"-h", "-H", "--help", "--HELP"}) {
        RunResult r = run_coffhex({option}, dir.path());
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_EQ(r.out, full_usage()) << option;
        EXPECT_EQ(r.err, "") << option;
    }
}

TEST(DriverUsage, BannerTitleFieldIsFortyColumns) {
    TempDir dir;
    RunResult r = run_coffhex({}, dir.path());
    ASSERT_GT(r.out.size(), 41 + VERSION.size());
    EXPECT_EQ(r.out.substr(0, 41), "coffhex COFF/ELF Hex Converter          v");
    EXPECT_EQ(r.out.substr(41, VERSION.size() + 1), VERSION + "\n");
}

TEST(DriverToolVersion, PrintsTitleAndBuildNumber) {
    TempDir dir;
    RunResult r = run_coffhex({"--toolversion", "whatever"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.substr(0, TITLE_LINE.size()), TITLE_LINE);
    // The build number is the version, followed in a git checkout by the
    // revision the build was configured at.
    std::string build = r.out.substr(TITLE_LINE.size());
    ASSERT_EQ(build.substr(0, 13 + VERSION.size()), "Build Number " + VERSION);
    std::string revision = build.substr(13 + VERSION.size());
    EXPECT_TRUE(std::regex_match(revision, std::regex("(-g[0-9a-f]{12}(-dirty)?)?\n"))) << revision;
    EXPECT_FALSE(file_exists(dir.file("whatever.i0"))) << "no conversion after --toolversion";
}

TEST(DriverVersion, PrintsNameAndVersionOnOneLineAndStops) {
    TempDir dir;
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  bytes 01 02 03 04\n");
    // "--version app" is not the trace option "--v": nothing is converted.
    for (const char* option : {"--version", "--VERSION"}) {
        RunResult r = run_coffhex({option, "-i", "app"}, dir.path());
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.out, "coffhex " + VERSION + "\n") << option;
        EXPECT_EQ(r.err, "") << option;
    }
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
    // The trace option keeps its short spelling.
    RunResult traced = run_coffhex({"--v", "-q", "-i", "app"}, dir.path());
    EXPECT_EQ(traced.status, 0) << traced.err;
    EXPECT_NE(traced.out, "");
    EXPECT_TRUE(file_exists(dir.file("app.i0")));
}

TEST(DriverVersion, NoTextCarriesAPlaceholderTitle) {
    TempDir dir;
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  bytes 01 02 03 04\n");
    RunResult usage = run_coffhex({"-h"}, dir.path());
    RunResult tool = run_coffhex({"--toolversion"}, dir.path());
    RunResult version = run_coffhex({"--version"}, dir.path());
    RunResult conversion = run_coffhex({"-q", "-i", "-map", "app.map", "app"}, dir.path());
    ASSERT_EQ(conversion.status, 0) << conversion.err;
    std::string map = read_text(dir.file("app.map"));
    for (const std::string& text : {usage.out, tool.out, version.out, map}) {
        EXPECT_NE(text.find("coffhex"), std::string::npos) << text;
        for (const char* placeholder : {"KRV550", "1EE3T", "Release_", "User's guide"})
            EXPECT_EQ(text.find(placeholder), std::string::npos) << placeholder << " in\n" << text;
    }
}

TEST(DriverToolVersion, OneDashIsAnInvalidOption) {
    TempDir dir;
    RunResult r = run_coffhex({"-toolversion"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> WARNING: invalid option: -toolversion\n");
    EXPECT_EQ(r.out, short_usage());
}

TEST(DriverInput, MissingFileGetsOutExtensionInTheMessage) {
    TempDir dir;
    RunResult r = run_coffhex({"prog"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: cannot open input file 'prog.out': No such file or directory\n"
              "                (aborting)\n");
}

TEST(DriverInput, ExtensionRuleLooksAtTheLastPathComponentOnly) {
    TempDir dir;
    RunResult r = run_coffhex({"dir.b/prog"}, dir.path());
    EXPECT_NE(r.err.find("'dir.b/prog.out'"), std::string::npos) << r.err;
    r = run_coffhex({"prog.x"}, dir.path());
    EXPECT_NE(r.err.find("'prog.x'"), std::string::npos) << r.err;
    r = run_coffhex({"dir\\prog"}, dir.path());
    EXPECT_NE(r.err.find("'dir\\prog.out'"), std::string::npos) << r.err;
}

TEST(DriverInput, OneByteFileCannotBeRead) {
    TempDir dir;
    write_text(dir.file("tiny.out"), "x");
    RunResult r = run_coffhex({"tiny"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: cannot read input file tiny.out (aborting)\n");
}

TEST(DriverInput, NonTextNonCoffFileIsIgnored) {
    TempDir dir;
    // The top bit of either of the first two bytes marks a binary file.
    write_bytes(dir.file("low.bin"), {0x80, 0x41, 0x00});
    write_bytes(dir.file("high.bin"), {0x41, 0x80});
    RunResult r = run_coffhex({"low.bin", "high.bin"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: illegal input file type: low.bin ignored\n"
              ">> WARNING: illegal input file type: high.bin ignored\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(DriverInput, ControlCharacterAtTheStartMarksABinaryFile) {
    // A control character other than tab, line feed, form feed and carriage
    // return in either of the first two bytes: the file is not read as a
    // command file, and the conversion of the COFF file goes on.
    TempDir dir;
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  bytes 12 34 56 78\n");
    write_bytes(dir.file("nul.bin"), {0x00, 0x2D, 0x69, 0x0A});
    write_bytes(dir.file("second.bin"), {0x2D, 0x00, 0x69, 0x0A});
    write_bytes(dir.file("del.bin"), {0x7F, 0x2D, 0x69, 0x0A});
    write_bytes(dir.file("esc.bin"), {0x1B, 0x5B});
    // Blanks of every kind are text: the command file selects -memwidth 8.
    write_bytes(dir.file("blanks.cmd"), {0x09, 0x0C, 0x0D, 0x0A, 0x2D, 0x6D, 0x65, 0x6D, 0x77, 0x69,
                                         0x64, 0x74, 0x68, 0x20, 0x38, 0x0A});
    RunResult r = run_coffhex({"-q", "-i", "nul.bin", "second.bin", "del.bin", "esc.bin", "blanks.cmd",
                               "app"},
                              dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: illegal input file type: nul.bin ignored\n"
              ">> WARNING: illegal input file type: second.bin ignored\n"
              ">> WARNING: illegal input file type: del.bin ignored\n"
              ">> WARNING: illegal input file type: esc.bin ignored\n");
    // 4 bytes at 0: 04 + 12 + 34 + 56 + 78 = 0x118 -> 18 -> checksum E8.
    EXPECT_EQ(read_text(dir.file("app.i0")), ":0400000012345678E8\n:00000001FF\n");
}

TEST(DriverInput, CommandFileWithoutCoffFileHasNoInputFiles) {
    TempDir dir;
    write_text(dir.file("cmd.txt"), "/* nothing but a comment */\n");
    RunResult r = run_coffhex({"cmd.txt"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(DriverInput, EmptyCommandFileCannotBeRead) {
    // A command file of fewer than two bytes is refused before any parsing.
    TempDir dir;
    write_text(dir.file("empty.cmd"), "");
    RunResult r = run_coffhex({"empty.cmd"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: cannot read input file empty.cmd (aborting)\n");
}

namespace {

// Starts coffhex on a FIFO (it blocks opening it), sends `signal`, and
// returns the exit status and standard error. A signal in `ignored` is
// ignored when coffhex starts, and SIGTERM follows the signal.
RunResult interrupted_run(int signal_number, int ignored = 0) {
    TempDir dir;
    std::string fifo = dir.file("pipe.out");
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string err_path = dir.file("stderr.txt");
    pid_t pid = fork();
    if (pid == 0) {
        FILE* err = std::freopen(err_path.c_str(), "w", stderr);
        (void)err;
        default_signal_dispositions();
        if (ignored != 0) signal(ignored, SIG_IGN);
        execl(COFFHEX_BINARY, "coffhex", fifo.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Once coffhex has opened the FIFO for reading (its fault handlers are
    // installed by then), a non-blocking open for writing succeeds; it then
    // waits for the FIFO's first bytes.
    int writer = -1;
    for (int tries = 0; tries < 2000 && writer < 0; ++tries) {
        writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(writer, 0) << "coffhex never opened its input";
    kill(pid, signal_number);
    if (ignored != 0) {
        // An ignored signal leaves coffhex waiting.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, SIGTERM);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (writer >= 0) close(writer);
    RunResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.err = read_text(err_path);
    return r;
}

const std::string SUPPORT_TEXT =
    "This is a serious problem.  Please contact Customer\n"
    "Support with this message and a copy of the input file\n"
    "and help us to continue to make the tools more robust.\n\n";

}  // namespace

// A request to stop writes a one-line notice; a fault the INTERNAL ERROR
// text. Both end with status 2.
TEST(DriverSignals, EverySignalEndsWithStatus2AndItsText) {
    const struct {
        int signal_number;
        std::string text;
    } cases[] = {
        {SIGTERM, "[coffhex received a terminate signal]\n"},
        {SIGINT, "[coffhex received an interrupt signal]\n"},
        {SIGHUP, "[coffhex received a hangup signal]\n"},
        {SIGPIPE, "[coffhex received a broken pipe signal]\n"},
        {SIGQUIT, "[coffhex received a quit signal]\n"},
        {SIGSEGV, "\nINTERNAL ERROR: coffhex experienced a segmentation fault\n" + SUPPORT_TEXT},
        {SIGILL, "\nINTERNAL ERROR: coffhex executed an illegal instruction\n" + SUPPORT_TEXT},
        {SIGFPE, "\nINTERNAL ERROR: coffhex received a floating point exception\n" + SUPPORT_TEXT},
        {SIGABRT, "\nINTERNAL ERROR: coffhex aborted\n" + SUPPORT_TEXT},
    };
    for (const auto& c : cases) {
#ifdef COFFHEX_SANITIZED
        // Under the sanitizers these two faults are the sanitizer's to report.
        if (c.signal_number == SIGSEGV || c.signal_number == SIGFPE) continue;
#endif
        RunResult r = interrupted_run(c.signal_number);
        EXPECT_EQ(r.status, 2) << strsignal(c.signal_number);
        EXPECT_EQ(r.err, c.text) << strsignal(c.signal_number);
    }
}

// A request to stop that coffhex was started with ignored (nohup, a
// background job) stays ignored: only the SIGTERM sent after it ends the
// run.
TEST(DriverSignals, RequestIgnoredAtStartStaysIgnored) {
    for (int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE}) {
        RunResult r = interrupted_run(signal_number, signal_number);
        EXPECT_EQ(r.status, 2) << strsignal(signal_number);
        EXPECT_EQ(r.err, "[coffhex received a terminate signal]\n") << strsignal(signal_number);
    }
}
