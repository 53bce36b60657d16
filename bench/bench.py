#!/usr/bin/env python3
"""coffhex side by side with GNU objcopy.

Every case runs coffhex and its peer alternately, several times, in one run
of this script; each timed command writes real files into the scratch
directory (outputs are removed and the page cache is synced before every
timed command). The table gives the median wall time of each, the ratio,
the output sizes, the nanoseconds per output byte and the peak resident set
of every child (getrusage of the child through wait4).

Cases (N is --size, 64 MiB by default; the big section is --big, 256 MiB):
  1   N bytes to Intel, one file (-memwidth 8 -romwidth 8)
      against objcopy -I binary -O ihex
  1c  the same with -checksum (the figures of the file worked out as it is
      written), timed alternately with the same command without it (written
      to another file); target: the median of the rounds' ratios of the two
      wall times at most 1.35
  2   the same section, default 32-bit memory of 8-bit ROMs (four files)
      against four objcopy -O ihex --interleave=4 --byte=K runs together
  3   Motorola S3 (-m3 -memwidth 8 -romwidth 8) against objcopy -O srec
      --srec-forceS3; Extended Tektronix against objcopy -O tekhex (for
      information; the target is case 1 per output byte)
  4   image mode: an N-byte ROMS range holding one 16-byte section, nearly
      all fill (compared per output byte with case 1)
  5   peak memory of coffhex for a --big section (sparse input file)
"""
import argparse
import os
import re
import statistics
import struct
import subprocess
import sys
import time
import zlib

MIB = 1024 * 1024


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--coffhex", required=True)
    p.add_argument("--coffgen", required=True)
    p.add_argument("--objcopy", default="objcopy")
    p.add_argument("--work", required=True, help="scratch directory for inputs and outputs")
    p.add_argument("--runs", type=int, default=5, help="timed runs per command (default 5)")
    p.add_argument("--warmup", type=int, default=1,
                   help="untimed runs per command before the timed ones (default 1)")
    p.add_argument("--size", type=int, default=64, help="section size in MiB (default 64)")
    p.add_argument("--big", type=int, default=256, help="section size of case 5 in MiB (default 256)")
    p.add_argument("--cases", default="1,1c,2,3,4,5", help="cases to run (default 1,1c,2,3,4,5)")
    p.add_argument("--no-verify", action="store_true", help="skip the read-back checks")
    p.add_argument("--keep", action="store_true", help="keep the inputs in the scratch directory")
    return p.parse_args()


class Failure(Exception):
    pass


TIME = "/usr/bin/time"


def run_timed(cmds, cwd):
    """Runs the commands one after another; returns (wall seconds, CPU
    seconds (user + system), peak RSS KiB).

    A child forked from this Python process inherits its resident set in
    ru_maxrss (Linux keeps the high-water mark across exec), so the peak is
    taken by GNU time, which forks the command from a small process. Without
    it the figure from wait4 is an upper bound."""
    total = 0.0
    cpu = 0.0
    peak = 0
    rss_file = os.path.join(cwd, "rss.txt")
    for cmd in cmds:
        wrapped = [TIME, "-f", "%M", "-o", rss_file] + cmd if os.path.exists(TIME) else cmd
        with open(os.path.join(cwd, "stderr.txt"), "wb") as err:
            start = time.perf_counter()
            child = subprocess.Popen(wrapped, cwd=cwd, stdout=subprocess.DEVNULL, stderr=err)
            _, status, usage = os.wait4(child.pid, 0)
            total += time.perf_counter() - start
        cpu += usage.ru_utime + usage.ru_stime
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            with open(os.path.join(cwd, "stderr.txt"), "rb") as err:
                text = err.read().decode(errors="replace")
            raise Failure("%s exited with %d:\n%s" % (" ".join(cmd), child.returncode, text))
        rss = usage.ru_maxrss
        if wrapped is not cmd:
            with open(rss_file) as f:
                rss = int(f.read().split()[-1])
        peak = max(peak, rss)
    return total, cpu, peak


def remove(paths):
    for path in paths:
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


def sizes(paths):
    return sum(os.path.getsize(p) for p in paths)


class Side:
    """One side of a case: the commands and the files they write."""

    def __init__(self, cmds, outputs, baseline=None):
        self.cmds = cmds
        self.outputs = outputs
        # The same work without the feature under test, timed alternately
        # with this side (case 1c).
        self.baseline = baseline
        self.times = []
        self.cpu = []
        self.rss = 0
        self.bytes = 0

    def measure(self, work, timed=True):
        remove(self.outputs)
        os.sync()
        seconds, cpu, rss = run_timed(self.cmds, work)
        if not timed:
            return
        self.times.append(seconds)
        self.cpu.append(cpu)
        self.rss = max(self.rss, rss)
        self.bytes = sizes(self.outputs)

    @property
    def median(self):
        return statistics.median(self.times)

    @property
    def cpu_median(self):
        return statistics.median(self.cpu)

    @property
    def ns_per_byte(self):
        return self.median / self.bytes * 1e9 if self.bytes else float("nan")


def make_inputs(args, work):
    """The COFF input of N pseudo-random bytes, the same bytes as a raw
    binary for the peer, and the image-mode input with its command file."""
    size = args.size * MIB
    coff = os.path.join(work, "in.out")
    with open(os.path.join(work, "in.coff"), "w") as f:
        f.write("section .data paddr=0\n  pattern %d seed=1\n" % size)
    subprocess.run([args.coffgen, "in.coff", "in.out"], cwd=work, check=True)
    # The raw data of the one section: file header (22 bytes), one 48-byte
    # section header whose raw-data position is at offset 22 + 20.
    with open(coff, "rb") as f:
        header = f.read(70)
        (data_pos,) = struct.unpack_from("<I", header, 42)
        (length,) = struct.unpack_from("<I", header, 38)
        if length != size:
            raise Failure("in.out: section size %d, expected %d" % (length, size))
        f.seek(data_pos)
        with open(os.path.join(work, "in.bin"), "wb") as out:
            remaining = size
            while remaining:
                block = f.read(min(remaining, 4 * MIB))
                if not block:
                    raise Failure("in.out: short raw data")
                out.write(block)
                remaining -= len(block)

    # Image mode: one range of N bytes, one 16-byte section in its middle.
    with open(os.path.join(work, "fill.coff"), "w") as f:
        f.write("section .data paddr=0x%x\n  pattern 16 seed=2\n" % (size // 2))
    subprocess.run([args.coffgen, "fill.coff", "fill.out"], cwd=work, check=True)
    with open(os.path.join(work, "fill.cmd"), "w") as f:
        f.write("fill.out\nROMS\n{\n  PAGE 0:\n    rom: origin = 0, length = 0x%x,\n"
                "         romwidth = 8, memwidth = 8, files = { c4.i0 }\n}\n" % size)


def make_big_input(args, work):
    """A --big section backed by a sparse file: headers only, extended."""
    size = args.big * MIB
    with open(os.path.join(work, "big.coff"), "w") as f:
        f.write("section .data paddr=0 size=0x%x datapos=70\n" % size)
    subprocess.run([args.coffgen, "big.coff", "big.out"], cwd=work, check=True)
    os.truncate(os.path.join(work, "big.out"), 70 + size)


def cases(args, work):
    x, o = args.coffhex, args.objcopy
    narrow = ["-memwidth", "8", "-romwidth", "8"]
    w = lambda *names: [os.path.join(work, n) for n in names]
    lanes = ["c2.i%d" % k for k in range(4)]
    peer_lanes = ["p2.hex%d" % k for k in range(4)]
    return [
        ("1", "Intel, 1 file",
         Side([[x, "-q", "-i", *narrow, "in.out", "-o", "c1.i0"]], w("c1.i0")),
         Side([[o, "-I", "binary", "-O", "ihex", "in.bin", "p1.hex"]], w("p1.hex"))),
        ("1c", "Intel, 1 file, -checksum",
         Side([[x, "-q", "-i", *narrow, "-checksum", "in.out", "-o", "c1c.i0"]], w("c1c.i0"),
              baseline=Side([[x, "-q", "-i", *narrow, "in.out", "-o", "c1b.i0"]], w("c1b.i0"))),
         None),
        ("2", "Intel, 32-bit memory, 4 x 8-bit ROMs",
         Side([[x, "-q", "-i", "in.out"] + sum((["-o", n] for n in lanes), [])], w(*lanes)),
         Side([[o, "-I", "binary", "-O", "ihex", "--interleave=4", "--byte=%d" % k,
                "in.bin", peer_lanes[k]] for k in range(4)], w(*peer_lanes))),
        ("3", "Motorola S3, 1 file",
         Side([[x, "-q", "-m3", *narrow, "in.out", "-o", "c3.m0"]], w("c3.m0")),
         Side([[o, "-I", "binary", "-O", "srec", "--srec-forceS3", "in.bin", "p3.s3"]],
              w("p3.s3"))),
        ("3", "Extended Tektronix, 1 file",
         Side([[x, "-q", "-x", *narrow, "in.out", "-o", "c3.x0"]], w("c3.x0")),
         Side([[o, "-I", "binary", "-O", "tekhex", "in.bin", "p3.tek"]], w("p3.tek"))),
        ("4", "Intel image mode, 16 B section in %d MiB of fill" % args.size,
         Side([[x, "-q", "-i", "-image", *narrow, "fill.cmd"]], w("c4.i0")),
         None),
    ]


def verify(args, work):
    """Read-back checks (untimed): the Intel and S3 files decode to the
    input bytes, and each Intel lane file holds every fourth byte."""
    with open(os.path.join(work, "in.bin"), "rb") as f:
        data = f.read()
    results = []
    for name, target in (("c1.i0", "ihex"), ("c1c.i0", "ihex"), ("c3.m0", "srec")):
        path = os.path.join(work, name)
        if not os.path.exists(path):
            continue
        back = os.path.join(work, "back.bin")
        subprocess.run([args.objcopy, "-I", target, "-O", "binary", path, back], check=True)
        with open(back, "rb") as f:
            ok = f.read() == data
        remove([back])
        results.append(("read-back of %s matches the input" % name, ok))
    for k in range(4):
        path = os.path.join(work, "c2.i%d" % k)
        if not os.path.exists(path):
            continue
        parts = []
        with open(path) as f:
            for line in f:
                if line[7:9] == "00":
                    parts.append(line[9:-3])
        results.append(("read-back of %s matches the input" % os.path.basename(path),
                        bytes.fromhex("".join(parts)) == data[k::4]))
    if "1c" in set(args.cases.split(",")):
        results.append(("the -checksum figures of c1c.i0 are the input's size, sum and CRC-32",
                        checksum_figures_match(args, work, data)))
    return results


def checksum_figures_match(args, work, data):
    """Runs case 1c once more with its figures on standard output and
    compares them with the input's size, sum and zlib's CRC-32: one file of
    the section's bytes at addresses 0 to N - 1."""
    out = subprocess.run([args.coffhex, "-i", "-memwidth", "8", "-romwidth", "8", "-checksum",
                          "in.out", "-o", "c1c.i0"], cwd=work, check=True,
                         stdout=subprocess.PIPE).stdout.decode()
    remove([os.path.join(work, "c1c.i0")])
    expected = "%08x..%08x  bytes=%d  sum=%08x (%04x)  crc32=%08x" % (
        0, len(data) - 1, len(data), sum(data) & 0xFFFFFFFF, sum(data) & 0xFFFF,
        zlib.crc32(data))
    match = re.search(r"^   c1c\.i0  (.*)$", out, re.MULTILINE)
    return match is not None and match.group(1) == expected


def fmt_mib(n):
    return "%.1f" % (n / MIB)


def main():
    args = parse_args()
    args.coffhex = os.path.abspath(args.coffhex)
    args.coffgen = os.path.abspath(args.coffgen)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    wanted = set(args.cases.split(","))
    load_before = os.getloadavg()
    print("load average before: %.2f %.2f %.2f" % load_before, flush=True)
    print("making inputs in %s ..." % work, flush=True)
    make_inputs(args, work)

    measured = []
    for number, title, ours, peer in cases(args, work):
        if number not in wanted:
            continue
        print("case %s: %s ..." % (number, title), flush=True)
        other = peer if peer is not None else ours.baseline
        for _ in range(args.warmup):
            for side in (ours, other):
                if side is not None:
                    side.measure(work, timed=False)
        for r in range(args.runs):
            # Alternate which side goes first, so neither always runs
            # after the other's writeback.
            sides = [ours, other] if r % 2 == 0 else [other, ours]
            for side in sides:
                if side is not None:
                    side.measure(work)
        measured.append((number, title, ours, peer))

    checks = [] if args.no_verify else verify(args, work)
    for _, _, ours, peer in measured:
        remove(ours.outputs)
        if ours.baseline is not None:
            remove(ours.baseline.outputs)
        if peer is not None:
            remove(peer.outputs)

    big = None
    if "5" in wanted:
        print("case 5: peak memory, %d MiB section ..." % args.big, flush=True)
        make_big_input(args, work)
        side = Side([[args.coffhex, "-q", "-i", "-memwidth", "8", "-romwidth", "8",
                      "big.out", "-o", "c5.i0"]], [os.path.join(work, "c5.i0")])
        side.measure(work)
        big = side
        remove(side.outputs + [os.path.join(work, "big.out")])

    if not args.keep:
        remove([os.path.join(work, n) for n in
                ("in.out", "in.bin", "in.coff", "fill.out", "fill.coff", "fill.cmd", "big.coff",
                 "stderr.txt", "rss.txt")])

    load_after = os.getloadavg()
    report(args, measured, big, checks, load_before, load_after)


def report(args, measured, big, checks, load_before, load_after):
    print()
    print("%d runs per command, median wall time; %d MiB section; load average %.2f before, %.2f after"
          % (args.runs, args.size, load_before[0], load_after[0]))
    print()
    print("| case | coffhex s | objcopy s | objcopy / coffhex | coffhex CPU s | objcopy CPU s "
          "| coffhex MiB out | objcopy MiB out | coffhex ns/B | objcopy ns/B "
          "| coffhex RSS MiB | objcopy RSS MiB |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    for number, title, ours, peer in measured:
        row = ["%s %s" % (number, title), "%.3f" % ours.median]
        row += ["%.3f" % peer.median, "%.2f" % (peer.median / ours.median)] if peer else ["-", "-"]
        row += ["%.3f" % ours.cpu_median, "%.3f" % peer.cpu_median if peer else "-"]
        row += [fmt_mib(ours.bytes), fmt_mib(peer.bytes) if peer else "-"]
        row += ["%.2f" % ours.ns_per_byte, "%.2f" % peer.ns_per_byte if peer else "-"]
        row += ["%.1f" % (ours.rss / 1024), "%.1f" % (peer.rss / 1024) if peer else "-"]
        print("| " + " | ".join(row) + " |")
    if big is not None:
        print("| 5 peak memory, %d MiB section | %.3f | - | - | %.3f | - | %s | - | %.2f | - | %.1f | - |"
              % (args.big, big.median, big.cpu_median, fmt_mib(big.bytes), big.ns_per_byte,
                 big.rss / 1024))
    print()
    targets = []
    by_title = {(n, t): (o, p) for n, t, o, p in measured}
    first = next((v for (n, t), v in by_title.items() if n == "1"), None)
    for (number, title), (ours, peer) in by_title.items():
        if number == "1c":
            # The two commands ran one right after the other in every round:
            # the median of the rounds' ratios is steadier than the ratio of
            # the medians when the machine's load drifts.
            rel = statistics.median(a / b for a, b in zip(ours.times, ours.baseline.times))
            targets.append(("case 1c %s: %.2f x the wall time without -checksum (median of %d "
                            "rounds; medians %.3f s and %.3f s) (target <= 1.35)"
                            % (title, rel, len(ours.times), ours.median, ours.baseline.median),
                            rel <= 1.35))
        elif number in ("1", "2"):
            ratio = peer.median / ours.median
            targets.append(("case %s %s: objcopy / coffhex = %.2f (target >= 3)" % (number, title, ratio),
                            ratio >= 3))
        elif first is not None:
            rel = ours.ns_per_byte / first[0].ns_per_byte
            targets.append(("case %s %s: %.2f x case 1 per output byte (target <= 1.30)"
                            % (number, title, rel), rel <= 1.30))
    if big is not None:
        mib = big.rss / 1024
        targets.append(("case 5: peak RSS %.1f MiB for a %d MiB section (target < 16)"
                        % (mib, args.big), mib < 16))
    for text, ok in targets:
        print("%s  %s" % ("PASS" if ok else "FAIL", text))
    for name, ok in checks:
        print("%s  %s" % ("PASS" if ok else "FAIL", name))
    if not all(ok for _, ok in targets + checks):
        sys.exit(1)


if __name__ == "__main__":
    try:
        main()
    except Failure as e:
        print("bench: %s" % e, file=sys.stderr)
        sys.exit(2)
