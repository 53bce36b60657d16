// End to end, replacing the files of an earlier run: a conversion writes its
// output and map files under temporary names and puts them in place only
// when it has written everything. A run that ends early (FATAL, a failed
// write, a signal) leaves the earlier files exactly as they were and no
// temporary file behind; names that are not regular files are written
// directly.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "support/harness.h"

using namespace testsupport;

namespace {

// Two sections, so that the second is converted after the first one's
// records are written.
const char* const GOOD_OBJECT =
    "section .text paddr=0x0\n  pattern 256 seed=1\n"
    "section .data paddr=0x1000\n  pattern 64 seed=2\n"
    "symbol main 0x10\n";

// The same with the second section's data beyond the end of the file: the
// read fails after the first section has gone out.
const char* const BROKEN_OBJECT =
    "section .text paddr=0x0\n  pattern 256 seed=3\n"
    "section .data paddr=0x1000 datapos=0x7FFFFF\n  pattern 64 seed=2\n";

class E2eReplace : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) { return run_coffhex(args, dir.path()); }

    // A good conversion: app.i0 .. app.i3 and app.map, whose contents are
    // kept for comparison.
    void good_run() {
        write_coff(dir.file("app.out"), GOOD_OBJECT);
        RunResult r = run({"-q", "-i", "-map", "app.map", "app"});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& name : OUTPUTS) before[name] = read_bytes(dir.file(name));
    }

    // The earlier files are unchanged and nothing else is in the folder.
    void expect_earlier_files_kept(const std::vector<std::string>& others = {}) {
        for (const std::string& name : OUTPUTS)
            EXPECT_EQ(read_bytes(dir.file(name)), before[name]) << name;
        std::vector<std::string> expected = OUTPUTS;
        expected.insert(expected.end(), others.begin(), others.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(list_files(dir.path()), expected);
    }

    const std::vector<std::string> OUTPUTS = {"app.i0", "app.i1", "app.i2", "app.i3", "app.map",
                                              "app.out"};
    std::map<std::string, std::vector<uint8_t>> before;
    TempDir dir;
};

}  // namespace

TEST_F(E2eReplace, FatalErrorLeavesTheEarlierFiles) {
    good_run();
    write_coff(dir.file("app.out"), BROKEN_OBJECT);
    before["app.out"] = read_bytes(dir.file("app.out"));
    RunResult r = run({"-q", "-i", "-map", "app.map", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: error reading COFF file (aborting)\n");
    expect_earlier_files_kept();
}

// A file size limit makes the writes fail (the limit's signal ignored, so
// the writes return an error instead).
TEST_F(E2eReplace, FailedWriteLeavesTheEarlierFiles) {
    good_run();
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  pattern 65536 seed=5\n");
    before["app.out"] = read_bytes(dir.file("app.out"));
    RunResult r = run_program({"sh", "-c",
                               "ulimit -f 8 && trap '' XFSZ && exec \"$0\" -q -i -map app.map app",
                               COFFHEX_BINARY},
                              dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(">>   ERROR: cannot write output file 'app.i0': File too large\n"),
              std::string::npos)
        << r.err;
    expect_earlier_files_kept();
}

// An ERROR that does not stop the conversion (an entry point symbol that is
// not there) still gives complete files: they replace the earlier ones.
TEST_F(E2eReplace, ErrorAfterACompleteConversionReplacesTheFiles) {
    good_run();
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  fill 8 0xAB\n");
    RunResult r = run({"-q", "-i", "-memwidth", "8", "-e", "nothere", "-map", "app.map", "app"});
    EXPECT_EQ(r.status, 1);
    // The message text ends in a line end of its own.
    EXPECT_EQ(r.err, ">>   ERROR: Requested boot table entry point symbol 'nothere' not found\n\n");
    // 8 bytes AB at 0: 08 + 8 * AB = 0x560 -> 60 -> checksum A0.
    EXPECT_EQ(read_text(dir.file("app.i0")), ":08000000ABABABABABABABABA0\n:00000001FF\n");
    EXPECT_NE(read_text(dir.file("app.map")), std::string(before["app.map"].begin(), before["app.map"].end()));
}

// Killed while it waits to open its second output file (a FIFO nobody
// reads), after the first one has been created under its temporary name.
TEST_F(E2eReplace, SignalLeavesTheEarlierFilesAndNoTemporaryFile) {
    write_coff(dir.file("app.out"), GOOD_OBJECT);
    write_text(dir.file("app.i0"), "earlier image\n");
    before["app.i0"] = read_bytes(dir.file("app.i0"));
    ASSERT_EQ(mkfifo(dir.file("lane1").c_str(), 0600), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(COFFHEX_BINARY, "coffhex", "-q", "-i", "-memwidth", "16", "-o", "app.i0", "-o",
              "lane1", "app", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The temporary file of app.i0 appears beside it before the FIFO blocks.
    bool staged = false;
    for (int tries = 0; tries < 2000 && !staged; ++tries) {
        for (const std::string& name : list_files(dir.path()))
            staged = staged || name.rfind("app.i0.", 0) == 0;
        if (!staged) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(staged) << "no temporary file appeared";
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_EQ(read_bytes(dir.file("app.i0")), before["app.i0"]);
    EXPECT_EQ(list_files(dir.path()), (std::vector<std::string>{"app.i0", "app.out"}));
}

namespace {

// How a conversion under way is stopped, and what it says.
struct Stop {
    const char* what;
    int signal_number;  // sent to coffhex; 0: the reader closes its pipe instead
    bool pipe_ignored;  // coffhex starts with SIGPIPE ignored
    int status;
    std::string err;
};

}  // namespace

// A conversion of 1 MiB of data whose first lane goes to standard output, a
// pipe the test reads: once the first records arrive, the conversion is
// under way with the other lanes open under temporary names, and it cannot
// finish while the test reads no further. Stopped there, it leaves the
// files of the earlier run as they were and no temporary file. With
// SIGPIPE ignored, the write to the closed pipe fails instead, which is an
// ERROR that keeps every file out of place the same way.
TEST_F(E2eReplace, StopInTheMiddleLeavesTheEarlierFilesAndNoTemporaryFile) {
    const Stop stops[] = {
        {"interrupt", SIGINT, false, 2, "[coffhex received an interrupt signal]\n"},
        {"hangup", SIGHUP, false, 2, "[coffhex received a hangup signal]\n"},
        {"broken pipe", 0, false, 2, "[coffhex received a broken pipe signal]\n"},
        {"failed write to a closed pipe", 0, true, 1,
         ">>   ERROR: cannot write output file '/dev/stdout': Broken pipe\n"},
    };
    good_run();
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  pattern 1048576 seed=7\n");
    before["app.out"] = read_bytes(dir.file("app.out"));
    TempDir err_dir;  // standard error goes beside, not among the files
    const std::string err_path = err_dir.file("stderr.txt");

    for (const Stop& stop : stops) {
        SCOPED_TRACE(stop.what);
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(126);
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out[1], 1);
            dup2(err, 2);
            close(out[0]);
            default_signal_dispositions();
            if (stop.pipe_ignored) signal(SIGPIPE, SIG_IGN);
            execl(COFFHEX_BINARY, "coffhex", "-q", "-i", "-map", "app.map", "-o", "/dev/stdout", "app",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // The first 4 KiB of lane 0's records.
        size_t received = 0;
        char buffer[4096] = {};
        while (received < sizeof buffer) {
            pollfd ready = {out[0], POLLIN, 0};
            if (poll(&ready, 1, 10000) <= 0) break;
            const ssize_t n = read(out[0], buffer, sizeof buffer - received);
            if (n <= 0) break;
            received += static_cast<size_t>(n);
        }
        EXPECT_EQ(received, sizeof buffer);
        EXPECT_EQ(std::string(buffer, 9), ":20000000");
        // The other lanes are being written under temporary names.
        int staged = 0;
        for (const std::string& name : list_files(dir.path()))
            staged += name.find(".~") != std::string::npos ? 1 : 0;
        EXPECT_GE(staged, 3);

        if (stop.signal_number != 0) kill(pid, stop.signal_number);
        else close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (stop.signal_number != 0) close(out[0]);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), stop.status);
        EXPECT_EQ(read_text(err_path), stop.err);
        expect_earlier_files_kept();
    }
}

// A replaced file keeps its mode; a new one gets the mode of any new file
// (0666 less the umask); a link stays a link and the file it leads to gets
// the new image; a device is written directly.
TEST_F(E2eReplace, ModesLinksAndDevices) {
    write_coff(dir.file("app.out"), "section .text paddr=0x0\n  fill 8 0xAB\n");
    const std::string image = ":08000000ABABABABABABABABA0\n:00000001FF\n";
    write_text(dir.file("old.i0"), "earlier\n");
    ASSERT_EQ(chmod(dir.file("old.i0").c_str(), 0640), 0);
    ASSERT_EQ(mkdir(dir.file("real").c_str(), 0755), 0);
    write_text(dir.file("real/target.i0"), "earlier\n");
    ASSERT_EQ(symlink("real/target.i0", dir.file("link.i0").c_str()), 0);

    for (const char* name : {"old.i0", "new.i0", "link.i0"}) {
        RunResult r = run({"-q", "-i", "-memwidth", "8", "-o", name, "app"});
        ASSERT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(read_text(dir.file(name)), image) << name;
    }
    struct stat st {};
    ASSERT_EQ(stat(dir.file("old.i0").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    const mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat(dir.file("new.i0").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~mask);
    ASSERT_EQ(lstat(dir.file("link.i0").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_text(dir.file("real/target.i0")), image);
    EXPECT_EQ(list_files(dir.file("real")), std::vector<std::string>{"target.i0"});

    RunResult r = run({"-q", "-i", "-memwidth", "8", "-o", "/dev/stdout", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, image);
    EXPECT_EQ(r.err, "");
}

// The final file cannot be created: the same FATAL as ever, no file left.
TEST_F(E2eReplace, MissingDirectoryIsStillFatal) {
    write_coff(dir.file("app.out"), GOOD_OBJECT);
    RunResult r = run({"-q", "-i", "-memwidth", "8", "-o", "nodir/app.i0", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: cannot open output file 'nodir/app.i0': No such file or\n"
              "                directory (aborting)\n");
    EXPECT_EQ(list_files(dir.path()), std::vector<std::string>{"app.out"});
}
