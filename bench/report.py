#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs every benchmark of a Release build and prints one table: measure,
ours, reference, ratio, goal, verdict. The table is also written, with the
machine it was measured on, to results.md in the build folder.

The in-process measures are Google Benchmark's, repeated in random
interleaving, by their medians; a Windows build's run under Wine, in rows of
their own. Start-up is a whole process: the programs
are started in turn, 51 times each (11 for a quick run), under the X server at
DISPLAY.

Usage: report.py BUILD_FOLDER [--quick] [--only STEP]... [--grade-submissions N]
                 [--windows WINDOWS_BUILD_FOLDER]...
"""
import argparse
import csv
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def windows_benchmark(binary, quick):
    """The same medians from a Windows build's benchmark, run under Wine; it
    prints them on its standard output."""
    command = [os.path.join(ROOT, "scripts", "wine"), binary,
               "--benchmark_repetitions=" + ("3" if quick else "9"),
               "--benchmark_min_time=" + ("0.1" if quick else "0.5")]
    ran = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if ran.returncode != 0:
        sys.exit(f"{binary} failed under Wine ({ran.returncode}):\n{ran.stderr}")
    return {run["run_name"]: run["real_time"] * UNIT_SECONDS[run["time_unit"]]
            for run in json.loads(ran.stdout)["benchmarks"]}


def google_benchmark(binary, quick, arguments=()):
    """Median real time of each benchmark, in seconds, by name."""
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "out.json")
        command = [binary, "--benchmark_out=" + out, "--benchmark_out_format=json",
                   "--benchmark_repetitions=" + ("3" if quick else "9"),
                   "--benchmark_enable_random_interleaving=true",
                   "--benchmark_report_aggregates_only=true",
                   "--benchmark_min_time=" + ("0.02" if quick else "0.2"), *arguments]
        ran = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if ran.returncode != 0:
            sys.exit(f"{binary} failed ({ran.returncode}):\n{ran.stderr}")
        with open(out, encoding="utf-8") as results:
            data = json.load(results)
    return {run["run_name"]: run["real_time"] * UNIT_SECONDS[run["time_unit"]]
            for run in data["benchmarks"] if run.get("aggregate_name") == "median"}


def clean_environment(scratch):
    home = os.path.join(scratch, "home")
    runtime = os.path.join(scratch, "runtime")
    os.makedirs(home, exist_ok=True)
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return {"PATH": "/usr/bin:/bin", "DISPLAY": os.environ["DISPLAY"], "HOME": home,
            "XDG_RUNTIME_DIR": runtime, "DBUS_SESSION_BUS_ADDRESS": "disabled:",
            "LANG": "C.UTF-8", "QT_QPA_PLATFORM": "xcb"}


def start_ups(build, runs):
    """Map times (s) and peak memory (kB) of Kavrelo1, of the bare program and
    of a lone button, started in turn, after one start of each that is not
    counted."""
    programs = {"ours": os.path.join(build, "bin", "kavrelo1"),
                "bare": os.path.join(build, "bench", "bare_window"),
                "lone": os.path.join(build, "bench", "lone_button")}
    watch = os.path.join(build, "bench", "map_watch")
    seen = {name: {"map": [], "peak": []} for name in programs}
    with tempfile.TemporaryDirectory() as scratch:
        environment = clean_environment(scratch)
        for run in range(runs + 1):
            for name, program in programs.items():
                line = subprocess.run([watch, program], env=environment, check=True, text=True,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
                fields = dict(field.split("=") for field in line.split())
                if run > 0:
                    seen[name]["map"].append(float(fields["map_ms"]) / 1000)
                    seen[name]["peak"].append(float(fields["peak_kb"]))
    return seen


def quartiles(values):
    q1, _, q3 = statistics.quantiles(values, n=4)
    return q1, q3


def seconds(value):
    if value >= 1000:
        return f"{value:,.0f} s"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6), ("ns", 1e-9)):
        if value >= scale:
            return f"{value / scale:.3g} {unit}"
    return f"{value / 1e-9:.3g} ns"


def rate(byte_count, time):
    return f"{byte_count / time / 1e9:.3g} GB/s"


class Table:
    def __init__(self):
        self.rows = []

    def add(self, measure, ours, reference, ratio=None, goal=None, met=None):
        verdict = "—" if met is None else ("met" if met else "missed")
        self.rows.append((measure, ours, reference, "—" if ratio is None else f"{ratio:.2f}",
                          goal or "—", verdict))

    def markdown(self):
        lines = ["| measure | ours | reference | ratio | goal | verdict |",
                 "|---|---|---|---|---|---|"]
        lines += ["| " + " | ".join(row) + " |" for row in self.rows]
        return "\n".join(lines)


def add_start_up(table, build, runs):
    seen = start_ups(build, runs)
    ours, bare = seen["ours"], seen["bare"]
    map_ratio = statistics.median(ours["map"]) / statistics.median(bare["map"])

    def spread(values, show):
        q1, q3 = quartiles(values)
        return f"{show(statistics.median(values))} ({show(q1)}–{show(q3)})"

    table.add(f"start-up: exec to Form1 mapped, median (quartiles) of {runs}",
              spread(ours["map"], seconds), spread(bare["map"], seconds) + ", bare Qt window",
              map_ratio, "≤ 1.05", map_ratio <= 1.05)
    lone = seen["lone"]
    table.add("start-up: a lone button as the window, against the bare window (information)",
              spread(lone["map"], seconds), spread(bare["map"], seconds) + ", bare Qt window",
              statistics.median(lone["map"]) / statistics.median(bare["map"]))
    peak_ratio = statistics.median(ours["peak"]) / statistics.median(bare["peak"])
    show_kb = lambda kb: f"{kb / 1024:.1f} MB"
    table.add("start-up: peak resident memory (VmHWM) at the map", spread(ours["peak"], show_kb),
              spread(bare["peak"], show_kb) + ", bare Qt window", peak_ratio, "≤ 1.10", peak_ratio <= 1.10)


def add_calls(table, build, quick):
    times = google_benchmark(os.path.join(build, "bench", "call_bench"), quick)
    prefix = "call/parser_SLR/short/"
    ours, hand = times[prefix + "ours"], times[prefix + "hand_written"]
    table.add("call overhead: parser_SLR, short text, through ZavlekLibrary", seconds(ours),
              seconds(hand) + ", hand-written", ours / hand, "≤ 1.25", ours / hand <= 1.25)
    table.add("call: the bare call, argument prepared (information)", seconds(times[prefix + "bare_call"]), "—")
    check = times[prefix + "answer_check"]
    table.add("call: the answer's check alone; hand-written code with it, against without (information)",
              seconds(check),
              seconds(hand) + ", hand-written", (hand + check) / hand)
    # The check may not be weakened, so hand-written code with it is the
    # floor the bound call can reach.
    table.add("call overhead against its floor, hand-written code with the answer's check (information)",
              seconds(ours), seconds(hand + check) + ", hand-written with the check", ours / (hand + check))
    table.add("call: first call, binding included (information)", seconds(times[prefix + "first_call"]), "—")


SIZES = {"1KB": 1 << 10, "1MB": 1 << 20, "64MB": 64 << 20}


def add_conversions(table, build, quick):
    times = google_benchmark(os.path.join(build, "bench", "conversions_bench"), quick)
    for way, title in (("to_8bit", "text to 8-bit"), ("from_8bit", "8-bit to text")):
        for kind, kind_title in (("ascii", "ASCII"), ("mixed", "mixed Latin-1")):
            for size_name, size in SIZES.items():
                prefix = f"conversion/{way}/{kind}/{size_name}/"
                ours = times[prefix + "ours"]
                measure = f"conversion: {title}, {kind_title}, {size_name}"
                if size_name == "64MB":
                    # At this size every page of the fresh block is a fault:
                    # a copy of the output's size is the floor.
                    floor = times[prefix + ("memcpy" if way == "to_8bit" else "memcpy_units")]
                    table.add(measure, rate(size, ours), rate(size, floor) + ", memcpy of the output's size",
                              floor / ours, "≥ 0.8 of that memcpy", floor / ours >= 0.8)
                elif kind == "ascii":
                    floor = times[prefix + "memcpy"]
                    table.add(measure, rate(size, ours), rate(size, floor) + ", memcpy", floor / ours,
                              "≥ 0.5 of memcpy", floor / ours >= 0.5)
                    # Either way one side is the 16-bit text, twice the bytes:
                    # copying it is what the conversion cannot go below.
                    units = times[prefix + "memcpy_units"]
                    table.add(f"{measure}, against a copy of the 16-bit text (information)", rate(size, ours),
                              rate(size, units) + ", memcpy of the 16-bit text", units / ours)
                else:
                    peer = times[prefix + "iconv"]
                    table.add(measure, rate(size, ours), rate(size, peer) + ", iconv", peer / ours,
                              "≥ 10 × iconv", peer / ours >= 10)


def add_long_answers(table, build, quick):
    times = google_benchmark(os.path.join(build, "bench", "window_bench"), quick)
    short, long = times["BM_Label3/100"], times[f"BM_Label3/{10 << 20}"]
    table.add("long answers: Label3 shows a 10 MB answer", seconds(long), seconds(short) + ", a 100-character answer",
              long / short, "≤ 1.5", long / short <= 1.5)
    # A box shows as much of a long answer as fits: what it costs beyond a
    # box-full of text is the cost of the rest of the answer.
    box_full, long = times["BM_MessageBoxFull"], times[f"BM_MessageBox/{16 << 20}"]
    table.add("long answers: a message box shows a 16 MB answer", seconds(long),
              seconds(box_full) + ", a box-full answer (what the box shows of it)", long / box_full, "≤ 1.10",
              long / box_full <= 1.10)
    short = times["BM_MessageBox/100"]
    table.add("long answers: the 16 MB box against a 100-character answer (information)", seconds(long),
              seconds(short) + ", 100 characters", long / short)


def add_parser(table, build, quick):
    times = google_benchmark(os.path.join(build, "bench", "parser_bench"), quick)
    sizes = {10_000: "10 KB", 100_000: "100 KB", 1_000_000: "1 MB", 10_000_000: "10 MB"}
    for size, size_name in sizes.items():
        ours, bison = times[f"BM_Slr/{size}"], times[f"BM_Bison/{size}"]
        table.add(f"reference parser: {size_name} of expression", seconds(ours),
                  seconds(bison) + ", Bison", bison / ours, "≥ 1.0 of Bison", bison / ours >= 1.0)
    per_byte = lambda size: times[f"BM_Slr/{size}"] / size
    growth = per_byte(10_000_000) / per_byte(10_000)
    table.add("reference parser: linear, time per byte at 10 MB over at 10 KB",
              f"{per_byte(10_000_000) * 1e9:.2f} ns/B", f"{per_byte(10_000) * 1e9:.2f} ns/B at 10 KB",
              growth, "≤ 1.5", growth <= 1.5)


def add_windows(table, build, quick):
    """The in-process measures of a Windows build, under Wine: indicative
    only, so without a verdict."""
    architecture = build.rsplit("-", 1)[-1]
    calls = windows_benchmark(os.path.join(build, "bench", "call_bench.exe"), quick)
    prefix = "call/parser_SLR/short/"
    ours, hand = calls[prefix + "ours"], calls[prefix + "hand_written"]
    table.add(f"Wine {architecture}: call overhead, parser_SLR, short text", seconds(ours),
              seconds(hand) + ", hand-written", ours / hand, "≤ 2 (indicative)")
    check = calls[prefix + "answer_check"]
    table.add(f"Wine {architecture}: the answer's check alone; hand-written code with it, against without "
              "(information)", seconds(check), seconds(hand) + ", hand-written", (hand + check) / hand)
    conversions = windows_benchmark(os.path.join(build, "bench", "conversions_bench.exe"), quick)
    for way, title in (("to_8bit", "text to 8-bit"), ("from_8bit", "8-bit to text")):
        for kind in ("ascii", "mixed"):
            prefix = f"conversion/{way}/{kind}/1MB/"
            ours, floor = conversions[prefix + "ours"], conversions[prefix + "memcpy"]
            goal = "≥ 0.5 of memcpy, as on Linux (indicative)" if kind == "ascii" else None
            table.add(f"Wine {architecture}: conversion, {title}, {kind}, 1MB (code page 1252)",
                      rate(SIZES["1MB"], ours), rate(SIZES["1MB"], floor) + ", memcpy", floor / ours, goal)


def fuzz_child_rate(tool, library, count, copies):
    """Short inputs a second through fuzz's child, which loads the library
    once, makes one call before the inputs and forks copies of itself that
    serve them: many to a copy, or (copies="--sin-persistencia") one each.
    The inputs on its standard input as fuzz frames them, a record for each
    on its channel."""
    texts = [f"{i} * (x{i % 97} + {i % 7})".encode() for i in range(count)]
    framed = b"".join(b"parser_SLR %d\n%s" % (len(text), text) for text in texts)
    channel_read, channel_write = os.pipe()
    started = time.perf_counter()
    child = subprocess.Popen([tool, "--child", str(channel_write), "fuzz", "parser_SLR", "--library", library]
                             + ([copies] if copies else []),
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, pass_fds=(channel_write,))
    os.close(channel_write)
    records = []
    reader = threading.Thread(target=lambda: records.extend(iter(lambda: os.read(channel_read, 1 << 16), b"")))
    reader.start()
    child.communicate(framed)
    reader.join()
    elapsed = time.perf_counter() - started
    os.close(channel_read)
    # The call before the inputs is answered too.
    answered = b"".join(records).count(b"Cadena aceptada") - 1
    if child.returncode != 0 or answered != count:
        sys.exit(f"fuzz's child answered {answered} of {count} inputs (status {child.returncode})")
    return count / elapsed


def process_per_input_rate(tool, library, count):
    """Short inputs a second when each is a call of its own: zavlek-call
    started for it, which starts its child and loads the library."""
    started = time.perf_counter()
    for i in range(count):
        subprocess.run([tool, "--library", library, "parser_SLR", f"{i} * (x{i % 97} + {i % 7})"],
                       check=True, stdout=subprocess.DEVNULL)
    return count / (time.perf_counter() - started)


def peak_memory(pid):
    """A running process's peak resident memory (VmHWM), in bytes; None once
    it has ended."""
    try:
        with open(f"/proc/{pid}/status", encoding="utf-8") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except FileNotFoundError:
        pass
    return None


def fuzz_peak_memories(tool, library, seconds):
    """The fuzz parent's peak resident memory over a run of tokeniza2, whose
    every answer lists the input's tokens (a shape of its own, nearly every
    one): at a quarter of the run, and at its end."""
    with tempfile.TemporaryDirectory() as scratch:
        run = subprocess.Popen([tool, "--library", library, "fuzz", "--entry", "tokeniza2", "--seed", "1",
                                "--seconds", str(seconds), "--out", os.path.join(scratch, "found")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        started = time.monotonic()
        quarter = last = None
        while run.poll() is None:
            seen = peak_memory(run.pid)
            last = seen or last
            if quarter is None and time.monotonic() - started >= seconds / 4:
                quarter = last
            time.sleep(1)
    if run.returncode != 0 or quarter is None or last is None:
        sys.exit(f"zavlek-call fuzz --entry tokeniza2 failed on the reference library ({run.returncode})")
    return quarter, last


def add_fuzz(table, build, quick):
    tool = os.path.join(build, "bin", "zavlek-call")
    library = os.path.join(build, "bin", "libZavlek.so")
    count = 5000 if quick else 20000
    # Side by side, run after run, so that a busy moment of the machine
    # weighs on both alike.
    persistent, forked = [], []
    for _ in range(3):
        persistent.append(fuzz_child_rate(tool, library, count * 5, None))
        forked.append(fuzz_child_rate(tool, library, count, "--sin-persistencia"))
    persistent, forked = statistics.median(persistent), statistics.median(forked)
    alone = statistics.median(process_per_input_rate(tool, library, 100 if quick else 300) for _ in range(3))
    table.add("fuzz: short inputs a second, one library load for all (fork server)", f"{forked:,.0f}/s", "—",
              goal="≥ 5,000/s", met=forked >= 5000)
    table.add("fuzz: short inputs a second, fork server against a process per input", f"{forked:,.0f}/s",
              f"{alone:,.0f}/s, a process per input", forked / alone, "≥ 20", forked / alone >= 20)
    table.add("fuzz: short inputs a second, copies serving many inputs each (persistent)", f"{persistent:,.0f}/s",
              "—", goal="≥ 40,000/s", met=persistent >= 40000)
    table.add("fuzz: short inputs a second, persistent copies against the fork server's copy per input",
              f"{persistent:,.0f}/s", f"{forked:,.0f}/s, fork server", persistent / forked, "≥ 10",
              persistent / forked >= 10)
    with tempfile.TemporaryDirectory() as scratch:
        ran = subprocess.run([tool, "--library", library, "fuzz", "--json", "--seed", "1", "--seconds",
                              "3" if quick else "10", "--out", scratch], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
    if ran.returncode != 0:
        sys.exit(f"zavlek-call fuzz found something in the reference library ({ran.returncode}):\n{ran.stdout}")
    table.add("fuzz: its own inputs (up to 1 MB) a second, the whole run (information)",
              f"{json.loads(ran.stdout)['por_segundo']:,}/s", "—")
    minutes = 1 if quick else 10
    quarter, end = fuzz_peak_memories(tool, library, minutes * 60)
    table.add(f"fuzz: the parent's peak resident memory (VmHWM), tokeniza2 for {minutes} min, against at a quarter "
              "of the run", f"{end / 1e6:.0f} MB", f"{quarter / 1e6:.0f} MB at {minutes * 15} s", end / quarter,
              "≤ 1.10 (flat)", end / quarter <= 1.10)


def add_check(table, build, quick):
    """The whole contract check of the reference library, every row in a
    child of its own: what a student waits for before each hand-in."""
    tool = os.path.join(build, "bin", "zavlek-call")
    library = os.path.join(build, "bin", "libZavlek.so")
    times = []
    for _ in range(1 if quick else 3):
        started = time.perf_counter()
        ran = subprocess.run([tool, "--library", library, "check"], stdout=subprocess.PIPE, text=True)
        times.append(time.perf_counter() - started)
        if ran.returncode != 0:
            sys.exit(f"zavlek-call check failed on the reference library ({ran.returncode}):\n{ran.stdout}")
    whole = statistics.median(times)
    table.add("check: the reference library, every row", seconds(whole), "—", goal="< 30 s", met=whole < 30)


GRADE_FUZZ_INPUTS = 2000


def timed(command, what):
    """Seconds a command takes, which must succeed."""
    started = time.perf_counter()
    ran = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    elapsed = time.perf_counter() - started
    if ran.returncode != 0:
        sys.exit(f"{what} failed ({ran.returncode}):\n{ran.stdout[-4000:]}")
    return elapsed


def add_grade_dlls(table, build, windows_folders, quick):
    """DLLs graded on Linux under Wine, each by the Windows build of its
    machine, against the same number of Linux libraries: the cost of a DLL
    against a Linux library's, for information. Half are 64-bit, half 32-bit;
    the rubric is the reference cases and a fuzz run (as a teacher would grade,
    the contract's long checks left out); the prefix is made once per run."""
    tool = os.path.join(build, "bin", "zavlek-call")
    programs = {os.path.basename(folder.rstrip("/")): os.path.join(folder, "bin") for folder in windows_folders}
    if not {"windows-x64", "windows-x86"} <= set(programs):
        sys.exit("the DLLs' row needs the windows-x64 and windows-x86 builds")
    cases = os.path.join(ROOT, "examples", "casos-referencia.txt")
    count = 4 if quick else 20
    with tempfile.TemporaryDirectory() as scratch:
        os.chmod(scratch, 0o755)
        with open(cases, encoding="utf-8") as reference:
            lines = reference.read()
        rubric = os.path.join(scratch, "rubrica.txt")
        with open(rubric, "w", encoding="utf-8") as written:
            written.write("@ Casos 80\n" + lines + "\n@ fuzz 20\n")

        def class_of(name, libraries):
            folders = []
            for number in range(count):
                folder = os.path.join(scratch, name, f"entrega-{number:02}")
                os.makedirs(folder)
                shutil.copy(libraries[number % len(libraries)], folder)
                folders.append(folder)
            return folders

        dlls = class_of("dll", [os.path.join(programs[machine], "Zavlek.dll")
                                for machine in ("windows-x64", "windows-x86")])
        linux = class_of("so", [os.path.join(build, "bin", "libZavlek.so")])
        environment = dict(os.environ,
                           ZAVLEK_CALL_WINDOWS_X64=os.path.join(programs["windows-x64"], "zavlek-call.exe"),
                           ZAVLEK_CALL_WINDOWS_X86=os.path.join(programs["windows-x86"], "zavlek-call.exe"))

        def graded(name, folders):
            out = os.path.join(scratch, "notas-" + name)
            started = time.perf_counter()
            subprocess.run([tool, "grade", "--rubric", rubric, "--out", out, "--jobs", "2", "--fuzz-inputs",
                            str(GRADE_FUZZ_INPUTS), *folders], check=True, env=environment,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            taken = time.perf_counter() - started
            with open(os.path.join(out, "notas.csv"), encoding="utf-8-sig", newline="") as grades:
                short = [row["entrega"] for row in csv.DictReader(grades) if row["nota"] != row["maximo"]]
            if short:
                sys.exit(f"zavlek-call grade did not give the reference {name} full marks: {', '.join(short)}")
            return taken / count

        under_wine = graded("dll", dlls)
        native = graded("so", linux)
    table.add(f"grade: {count} reference DLLs under Wine (x64 and x86), each, against a Linux library "
              f"(reference cases and fuzz, {GRADE_FUZZ_INPUTS:,} inputs, --jobs 2, the prefix made once; "
              "information)", seconds(under_wine), seconds(native) + " a Linux library", under_wine / native)


def add_grade(table, build, quick, submissions=None):
    """A class graded in one command, against grading it by hand: run, check
    and fuzz one after another on each submission. Every submission is a copy
    of the reference library, so that each does the whole of the work; the
    rubric is the reference cases, the contract and a fuzz run."""
    tool = os.path.join(build, "bin", "zavlek-call")
    library = os.path.join(build, "bin", "libZavlek.so")
    cases = os.path.join(ROOT, "examples", "casos-referencia.txt")
    count = submissions or (6 if quick else 300)
    # By hand each copy takes as long as any other: a few of them, timed and
    # scaled, stand for all.
    sample = min(count, 3)
    with tempfile.TemporaryDirectory() as scratch:
        # Run as root, grade's workers run as nobody, who must reach the
        # submissions.
        os.chmod(scratch, 0o755)
        folders = []
        for number in range(1, count + 1):
            folder = os.path.join(scratch, f"entrega-{number:03}")
            os.mkdir(folder)
            shutil.copy(library, folder)
            folders.append(folder)
        rubric = os.path.join(scratch, "rubrica.txt")
        with open(cases, encoding="utf-8") as reference:
            lines = reference.read()
        with open(rubric, "w", encoding="utf-8") as written:
            written.write("@ Casos 80\n" + lines + "\n@ contrato 10\n@ fuzz 10\n")
        # A case starts at each line that names an entry point.
        case_count = sum(1 for line in lines.splitlines() if line[:1].isalpha())

        def by_hand():
            taken = 0.0
            for folder in folders[:sample]:
                submitted = os.path.join(folder, "libZavlek.so")
                taken += timed([tool, "--library", submitted, "run", cases], "zavlek-call run")
                taken += timed([tool, "--library", submitted, "check"], "zavlek-call check")
                taken += timed([tool, "--library", submitted, "fuzz", "--inputs", str(GRADE_FUZZ_INPUTS), "--seed",
                                "1", "--out", os.path.join(scratch, "fuzz")], "zavlek-call fuzz")
            return taken * count / sample

        # Before grade and after it, so that a machine busier for a while
        # weighs on both alike.
        before = by_hand()
        out = os.path.join(scratch, "notas")
        graded = timed([tool, "grade", "--rubric", rubric, "--out", out, "--jobs", "2", "--fuzz-inputs",
                        str(GRADE_FUZZ_INPUTS), *folders], "zavlek-call grade")
        reference = (before + by_hand()) / 2
        with open(os.path.join(out, "notas.csv"), encoding="utf-8-sig", newline="") as grades:
            rows = list(csv.DictReader(grades))
    short = [row["entrega"] for row in rows if row["nota"] != row["maximo"]]
    if len(rows) != count or short:
        sys.exit(f"zavlek-call grade did not give the reference library full marks: {', '.join(short)}")
    measure = f"grade: {count} submissions"
    if count < 300:
        measure += " (not the 300 of the goal)"
    measure += (f", {case_count} reference cases, contract and fuzz ({GRADE_FUZZ_INPUTS:,} inputs), "
                "--jobs 2")
    shown = seconds(reference) + ", run + check + fuzz on each in turn, before grade and after it"
    if sample < count:
        shown += f" (timed on {sample}, scaled to {count})"
    table.add(measure, seconds(graded), shown, graded / reference, "≤ 0.6", graded / reference <= 0.6)


def machine():
    model = "unknown processor"
    with open("/proc/cpuinfo", encoding="utf-8") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return f"{model}, {os.cpu_count()} cores, Linux {platform.release()}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--only", action="append", default=[],
                        help="runs only the measures of this step (start-up, calls, fuzz...)")
    parser.add_argument("--grade-submissions", type=int, metavar="N",
                        help="grades N submissions rather than 300 (6 with --quick)")
    parser.add_argument("--windows", action="append", default=[],
                        help="a Windows build folder whose benchmarks run under Wine")
    options = parser.parse_args()

    table = Table()
    steps = [("start-up", lambda: add_start_up(table, options.build, 11 if options.quick else 51)),
             ("calls", lambda: add_calls(table, options.build, options.quick)),
             ("conversions", lambda: add_conversions(table, options.build, options.quick)),
             ("long answers", lambda: add_long_answers(table, options.build, options.quick)),
             ("parser", lambda: add_parser(table, options.build, options.quick)),
             ("fuzz", lambda: add_fuzz(table, options.build, options.quick)),
             ("check", lambda: add_check(table, options.build, options.quick)),
             ("grade", lambda: add_grade(table, options.build, options.quick, options.grade_submissions)),
             ("grade-dlls", lambda: add_grade_dlls(table, options.build, options.windows, options.quick))]
    steps += [(f"under Wine: {folder}", lambda folder=folder: add_windows(table, folder, options.quick))
              for folder in options.windows]
    if options.only:
        steps = [(name, step) for name, step in steps if name in options.only]
    for name, step in steps:
        print(f"--- {name}", file=sys.stderr, flush=True)
        step()

    heading = (f"Measured {datetime.date.today().isoformat()} on {machine()}"
               f"{' (quick run)' if options.quick else ''}.")
    text = heading + "\n\n" + table.markdown() + "\n"
    print(text)
    with open(os.path.join(options.build, "results.md"), "w", encoding="utf-8") as results:
        results.write(text)
    missed = sum(1 for row in table.rows if row[-1] == "missed")
    print(f"{missed} goal(s) missed." if missed else "Every goal met.")


if __name__ == "__main__":
    main()
