// Conversions share nothing: several different ones run on separate threads
// of one process at the same time give exactly the files, messages and
// statuses they give run one after another.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver/run.h"
#include "support/capture.h"
#include "support/harness.h"

using namespace testsupport;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
    std::map<std::string, std::string> files;  // every file the run left, by name
};

struct Job {
    std::string dir;                 // the conversion's own folder
    std::vector<std::string> args;   // without the program name
    std::vector<std::string> inputs; // names in `dir` that are inputs, not results
};

Outcome run_job(const Job& job) {
    std::vector<std::string> args = {"coffhex"};
    args.insert(args.end(), job.args.begin(), job.args.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    MemoryStream out, err;
    Outcome outcome;
    outcome.status =
        coffhex::run_conversion(static_cast<int>(args.size()), argv.data(), out.stream(), err.stream());
    outcome.out = out.text();
    outcome.err = err.text();
    for (const std::string& name : list_files(job.dir)) {
        bool input = false;
        for (const std::string& in : job.inputs) input = input || in == name;
        if (!input) outcome.files[name] = read_text(job.dir + "/" + name);
    }
    return outcome;
}

void remove_results(const Job& job) {
    for (const std::string& name : list_files(job.dir)) {
        bool input = false;
        for (const std::string& in : job.inputs) input = input || in == name;
        if (!input) std::remove((job.dir + "/" + name).c_str());
    }
}

class Concurrency : public ::testing::Test {
protected:
    std::string folder(const std::string& name) {
        const std::string path = dir.file(name);
        EXPECT_EQ(run_program({"mkdir", "-p", path}, "").status, 0);
        return path;
    }
    TempDir dir;
};

}  // namespace

TEST_F(Concurrency, ConversionsOnThreadsMatchConversionsOneAfterAnother) {
    std::vector<Job> jobs;

    // Intel, four 8-bit lanes of a 32-bit memory, a map file.
    {
        const std::string d = folder("lanes");
        write_coff(d + "/app.out",
                   "entry 0x40\nsection .text paddr=0x0\n  pattern 5000 seed=1\n"
                   "section .data paddr=0x20000\n  pattern 300 seed=2\n");
        jobs.push_back({d,
                        {"-i", "-memwidth", "32", "-romwidth", "8", "-map", d + "/app.map", "-o",
                         d + "/a.i0", "-o", d + "/a.i1", "-o", d + "/a.i2", "-o", d + "/a.i3",
                         d + "/app.out"},
                        {"app.out"}});
    }
    // Motorola S3 in image mode, two ranges with fill from a command file,
    // a short section padded with a warning.
    {
        const std::string d = folder("image");
        write_coff(d + "/app.out",
                   "section .text paddr=0x100\n  pattern 1001 seed=3\n"
                   "section .data paddr=0x2000\n  pattern 64 seed=4\n");
        write_text(d + "/image.cmd",
                   "-m3 -image -memwidth 16 -romwidth 16\n"
                   "ROMS {\n  lo: origin = 0, length = 0x1000, fill = 0xA5A5, files = { \"" + d +
                       "/lo.m0\" }\n  hi: origin = 0x2000, length = 0x800, fill = 0x5A5A, files = { \"" +
                       d + "/hi.m0\" }\n}\n");
        jobs.push_back({d, {d + "/image.cmd", d + "/app.out"}, {"app.out", "image.cmd"}});
    }
    // A boot table in Extended Tektronix with an entry point symbol and a map.
    {
        const std::string d = folder("boot");
        write_coff(d + "/app.out",
                   "section .text paddr=0x8000\n  pattern 700 seed=5\n"
                   "section .data paddr=0x9000\n  pattern 96 seed=6\n"
                   "symbol _c_int00 0x8010\n");
        jobs.push_back({d,
                        {"-x", "-boot", "-bootorg", "0x1000", "-e", "_c_int00", "-memwidth", "8",
                         "-map", d + "/boot.map", "-o", d + "/boot.x0", d + "/app.out"},
                        {"app.out"}});
    }
    // ASCII-Hex with two 16-bit lanes and trace lines on standard output.
    {
        const std::string d = folder("ascii");
        write_coff(d + "/app.out", "section .text paddr=0x40\n  pattern 333 seed=7\n");
        jobs.push_back({d,
                        {"-a", "--v", "-memwidth", "32", "-romwidth", "16", "-o", d + "/s.a0", "-o",
                         d + "/s.a1", d + "/app.out"},
                        {"app.out"}});
    }
    // One that ends with a FATAL error after a warning, writing nothing.
    {
        const std::string d = folder("fatal");
        write_coff(d + "/app.out", "section .text paddr=0x0\n  pattern 16 seed=8\n");
        jobs.push_back({d, {"-order", "XX", "-frobnicate", "-o", d + "/x.x0", d + "/app.out"}, {"app.out"}});
    }
    // Binary of a single section.
    {
        const std::string d = folder("binary");
        write_coff(d + "/app.out", "section .text paddr=0x0\n  pattern 4096 seed=9\n");
        jobs.push_back({d, {"-b", "-q", "-o", d + "/app.b0", d + "/app.out"}, {"app.out"}});
    }

    std::vector<Outcome> one_by_one;
    for (const Job& job : jobs) {
        one_by_one.push_back(run_job(job));
        remove_results(job);
    }
    // The conversions did what they are meant to: files from all but the
    // FATAL one, which failed with its own messages.
    ASSERT_EQ(one_by_one[4].status, 1);
    EXPECT_EQ(one_by_one[4].err,
              ">>   ERROR: invalid -order option: specify MS or LS\n"
              ">> WARNING: invalid option: -frobnicate\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    EXPECT_TRUE(one_by_one[4].files.empty());
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (i == 4) continue;
        EXPECT_EQ(one_by_one[i].status, 0) << i << ": " << one_by_one[i].err;
        EXPECT_FALSE(one_by_one[i].files.empty()) << i;
    }
    EXPECT_EQ(one_by_one[0].files.size(), 5u);  // four lanes and the map
    EXPECT_NE(one_by_one[1].err.find("was padded by 1 bytes"), std::string::npos) << one_by_one[1].err;

    for (int round = 0; round < 3; ++round) {
        std::vector<Outcome> together(jobs.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < jobs.size(); ++i)
            threads.emplace_back([&, i] { together[i] = run_job(jobs[i]); });
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < jobs.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", conversion " << i);
            EXPECT_EQ(together[i].status, one_by_one[i].status);
            EXPECT_EQ(together[i].out, one_by_one[i].out);
            EXPECT_EQ(together[i].err, one_by_one[i].err);
            EXPECT_EQ(together[i].files, one_by_one[i].files);
            remove_results(jobs[i]);
        }
    }
}
