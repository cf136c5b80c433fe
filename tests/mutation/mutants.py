#!/usr/bin/env python3
"""Mutation run: proves that the fast tests notice small faults in the code.

Each mutant is one small change to one line of a source file of the program
or its tools (a flipped comparison, a dropped clamp, a swapped sign, a
constant changed by one, a removed statement, an inverted condition). The
script never touches the tree it is run from: each worker has a copy of it
(the files git knows, refreshed at every start) with a build tree of its
own, under the --build folder. A worker applies one mutant at a time to its
copy, rebuilds only the test binaries of that folder, runs them directly
(fail fast; a few command-line checks through ctest), puts the file back and
records whether a test noticed:

  killed     a test failed, crashed or ran past its time limit, or the
             build's own check of the content it builds refused it
  survived   every test passed: a fault the tests would let through
  stillborn  the mutant does not compile (not counted)
  equivalent listed in equivalent.txt with the reason it cannot change
             behaviour (not built, not counted)

The score of a folder is killed / (killed + survived). Each folder of TESTS
is sampled and scored on its own; naming a folder runs it alone (music does
not take in music/full, which is a folder of its own).

Usage (the Makefile's `make mutants` runs the first form):
  mutants.py --sample 40 --seed 13 --budget 60 --workers 2
  mutants.py --sample 40 --seed 13 capture     # one folder alone
  mutants.py --list music/effects.cpp          # the mutants, without running
  mutants.py --rerun build-mutants/mutants.json --only survived
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
HERE = Path(__file__).resolve().parent

# The fast test binaries that exercise each folder, quickest first so a
# killed mutant is found early. End-to-end, fuzz, benchmark, thread-sanitizer
# and allocation-counting binaries are left out: they are slow, and the first
# three need a display, a fuzzer or a timer rather than assertions. An entry
# "ctest:NAME" runs the ctest tests whose name starts with NAME (command-line
# checks that are no binary of their own); BUILD names what they need built
# beside the test binaries.
TESTS = {
    "music": ["tests/music/music_tests", "tests/music/music_output_tests"],
    "music/full": ["tests/music/full/music_full_tests"],
    "display": ["tests/display/display_scene_tests", "tests/app/app_tests"],
    "app": ["tests/app/app_tests", "tests/display/display_scene_tests"],
    "capture": ["tests/capture/capture_test"],
    "tools/content": ["tests/tools/content/art_tests", "ctest:art_cli_"],
    "tools/song": ["tests/tools/song/tools_song_tests", "ctest:songc_cli_", "ctest:music_render_digests"],
    "platform": ["tests/platform/platform_headless_tests", "tests/display/display_scene_tests",
                 "tests/app/app_tests"],
}
BUILD = {
    "tools/content": ["fontc", "fpsgen", "anigen", "textc", "iconc"],
    "tools/song": ["songc", "xmrender"],
}


def group_of(path):
    """The entry of TESTS whose folder holds the file (the deepest one)."""
    folders = [f for f in TESTS if path.startswith(f + "/")]
    return max(folders, key=len) if folders else path.split("/")[0]

# Files no fast test links: the Linux entry point is run end to end only,
# the web program's exports in the browser's own tree.
EXCLUDED = {"app/main.cpp", "app/web_exports.cpp"}
# The backends a test of this machine does not run: SDL (the e2e tests under
# Xvfb), the browser's and Windows' (their own trees), and the surface and
# GDI calls that only the SDL and browser backends take.
EXCLUDED_FOLDERS = ("platform/sdl/", "platform/web/", "platform/win32/", "platform/memory/")

# --- mutation rules -----------------------------------------------------------

COMPARISONS = {" < ": " <= ", " <= ": " < ", " > ": " >= ", " >= ": " > ", " == ": " != ", " != ": " == "}
LOGIC = {" && ": " || ", " || ": " && "}
SIGNS = {" + ": " - ", " - ": " + ", " += ": " -= ", " -= ": " += "}
BOOLS = {"true": "false", "false": "true"}
INTEGER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)(?=[uUlL]*(?![\w.]))")
DECLARATION = re.compile(
    r"^(?:(?:static|const|constexpr|inline|auto|unsigned|signed|struct|volatile)\s+)*"
    r"[A-Za-z_][\w:]*(?:<[^;=()]*>)?[\s*&]+[A-Za-z_]\w*\s*(?:=|\{|\[|;|\()")
CONDITION = re.compile(r"\b(if|while)\s*\(")


def code_spans(line):
    """Parts of the line outside string and character literals and outside a
    trailing comment: (start, end) pairs."""
    spans, start, i, quote = [], 0, 0, None
    while i < len(line):
        ch = line[i]
        if quote:
            if ch == "\\":
                i += 1
            elif ch == quote:
                quote, start = None, i + 1
        elif ch in "\"'":
            spans.append((start, i))
            quote = ch
        elif line.startswith("//", i) or line.startswith("/*", i):
            spans.append((start, i))
            return spans
        i += 1
    if not quote:
        spans.append((start, len(line)))
    return spans


def in_code(spans, start, end):
    return any(a <= start and end <= b for a, b in spans)


def matching_paren(line, open_index):
    depth = 0
    for i in range(open_index, len(line)):
        if line[i] == "(":
            depth += 1
        elif line[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def replacements(line, table, spans):
    for old, new in table.items():
        for m in re.finditer(re.escape(old), line):
            if in_code(spans, m.start(), m.end()):
                yield line[: m.start()] + new + line[m.end():], f"{old.strip()} -> {new.strip()}"


def statement_starts_here(previous):
    p = previous.rstrip()
    return p == "" or p.endswith((";", "{", "}", ":")) or CONDITION.search(p) is not None or p.endswith(")") or \
        p.strip() in ("else", "do")


def line_mutants(line, previous):
    """Every mutant of one line: (rule, new line, description)."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("#", "//", "/*", "*")) or "static_assert" in line:
        return
    spans = code_spans(line)
    for new, what in replacements(line, COMPARISONS, spans):
        yield "comparison", new, what
    for new, what in replacements(line, LOGIC, spans):
        yield "logic", new, what
    for new, what in replacements(line, SIGNS, spans):
        yield "sign", new, what
    for word, other in BOOLS.items():
        for m in re.finditer(rf"\b{word}\b", line):
            if in_code(spans, m.start(), m.end()):
                yield "bool", line[: m.start()] + other + line[m.end():], f"{word} -> {other}"
    # Constants up by one. Array sizes and shifts count as well;
    # the ones that cannot matter are listed in equivalent.txt.
    if not stripped.startswith(("case ", "default")):
        for m in INTEGER.finditer(line):
            if not in_code(spans, m.start(), m.end()):
                continue
            text = m.group(1)
            if text.lower().startswith("0x"):
                new_text = hex(int(text, 16) + 1)
            elif len(text) > 1 and text.startswith("0"):
                new_text = "0" + format(int(text, 8) + 1, "o")  # an octal literal (file modes)
            else:
                new_text = str(int(text) + 1)
            yield "constant", line[: m.start()] + new_text + line[m.end():], f"{text} -> {new_text}"
    # Inverted conditions: the whole condition of an if or while on this line.
    for m in CONDITION.finditer(line):
        if not in_code(spans, m.start(), m.end()):
            continue
        open_index = m.end() - 1
        close = matching_paren(line, open_index)
        if close < 0:
            continue
        inner = line[open_index + 1: close]
        yield "condition", line[: open_index + 1] + "!(" + inner + ")" + line[close:], f"{m.group(1)} (c) -> (!c)"
    # Removed statements: a whole statement on this line that is not a
    # declaration, a return or a label, becomes the empty statement. The body
    # of an if whose condition names the variable it assigns is a clamp.
    if (stripped.endswith(";") and statement_starts_here(previous) and not DECLARATION.match(stripped)
            and not stripped.startswith(("return", "case ", "default", "using ", "namespace", "}", "typedef"))
            and "{" not in stripped and "}" not in stripped):
        indent = line[: len(line) - len(line.lstrip())]
        target = re.match(r"([\w\.\->\[\]]+)\s*=[^=]", stripped)
        rule = "statement"
        guard = CONDITION.search(previous)
        if target and guard and target.group(1) in previous:
            rule = "clamp"
        yield rule, indent + ";" + ("\n" if line.endswith("\n") else ""), "statement removed"


def file_mutants(relpath):
    lines = (ROOT / relpath).read_text().splitlines(keepends=True)
    mutants = []
    previous = ""
    in_block_comment = False
    for number, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_block_comment:
            in_block_comment = "*/" not in stripped
            continue
        if stripped.startswith("/*") and "*/" not in stripped:
            in_block_comment = True
            continue
        for rule, new, what in line_mutants(line, previous):
            mutants.append({"file": relpath, "line": number, "rule": rule, "change": what,
                            "before": line.rstrip("\n"), "after": new.rstrip("\n")})
        if stripped:
            previous = line
    return mutants


def collect(paths):
    """Mutants grouped by folder of TESTS for the paths given. A folder
    named leaves out the folders of TESTS below it (music without
    music/full), so each runs alone."""
    groups = {}
    for path in paths:
        full = ROOT / path
        files = sorted(full.rglob("*.cpp")) if full.is_dir() else [full]
        for f in files:
            rel = f.relative_to(ROOT).as_posix()
            if rel in EXCLUDED or rel.startswith(EXCLUDED_FOLDERS):
                continue
            folder = group_of(rel)
            if folder not in TESTS:
                sys.exit(f"mutants: {rel} is not in a folder of TESTS")
            if full.is_dir() and folder != path.rstrip("/") and path.rstrip("/") in TESTS:
                continue
            groups.setdefault(folder, []).extend(file_mutants(rel))
    return groups


_lines = {}


def context(m):
    """The two nearest non-blank lines above the mutated one, stripped and
    joined by " | "."""
    if m["file"] not in _lines:
        _lines[m["file"]] = (ROOT / m["file"]).read_text().splitlines()
    lines = _lines[m["file"]]
    above = [lines[n].strip() for n in range(m["line"] - 2, -1, -1) if lines[n].strip()][:2]
    return " | ".join(reversed(above))


def key(m):
    """Identifies a mutant by its text and the two lines above it rather than
    by its line number, so the equivalent list survives edits elsewhere in the
    file, while two `break;` of one file stay apart."""
    return (m["file"], context(m), m["before"].strip(), m["after"].strip())


def load_equivalent():
    """equivalent.txt: blocks of `file`, `above` (the two lines above, joined
    by " | "), `before`, `after`, `why` lines."""
    listed = {}
    path = HERE / "equivalent.txt"
    if not path.exists():
        return listed
    entry = {}
    for raw in path.read_text().splitlines():
        if raw.startswith("#") or not raw.strip():
            continue
        name, _, value = raw.partition(":")
        entry[name.strip()] = value.strip()
        if name.strip() == "why":
            listed[(entry["file"], entry["above"], entry["before"], entry["after"])] = entry["why"]
            entry = {}
    return listed


# --- running ------------------------------------------------------------------

COMPILER_ERROR = re.compile(r"\.(?:cpp|h):\d+(?::\d+)?: error:|undefined reference|collect2: error")

def tree_files():
    """The files of the tree a copy needs: what git tracks, and new files it
    does not ignore."""
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                         stdout=subprocess.PIPE, check=True).stdout
    return [name for name in out.decode().split("\0") if name and (ROOT / name).is_file()]


class Runner:
    """One worker: a copy of the tree at <build>/worker-N/quillon, built in
    <build>/worker-N/build. ../shared beside the copy is a link to the one
    beside the tree, so the tests find the same songs."""

    def __init__(self, build, number, jobs):
        self.home = Path(build).resolve() / f"worker-{number}"
        self.root = self.home / "quillon"
        self.build = self.home / "build"
        self.jobs = jobs
        self.baseline = {}

    def prepare(self, files):
        """Brings the copy up to the tree: only files whose bytes differ are
        written, so the build tree rebuilds no more than it must (this also
        puts back a file a killed run left mutated)."""
        for name in files:
            source, copy = ROOT / name, self.root / name
            data = source.read_bytes()
            if not copy.is_file() or copy.read_bytes() != data:
                copy.parent.mkdir(parents=True, exist_ok=True)
                copy.write_bytes(data)
                shutil.copymode(source, copy)
        shared = ROOT.parent / "shared"
        if shared.is_dir() and not (self.home / "shared").exists():
            (self.home / "shared").symlink_to(shared)
        if not (self.build / "CMakeCache.txt").exists():
            result = subprocess.run(["cmake", "-S", str(self.root), "-B", str(self.build),
                                     "-DCMAKE_BUILD_TYPE=RelWithDebInfo"],
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            if result.returncode != 0:
                raise RuntimeError("the copy does not configure:\n" + result.stdout[-3000:])

    def compile(self, folder):
        targets = [Path(t).name for t in TESTS[folder] if not t.startswith("ctest:")] + BUILD.get(folder, [])
        result = subprocess.run(["cmake", "--build", str(self.build), "--target", *targets, "-j", str(self.jobs)],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return result.returncode == 0, result.stdout

    def run_tests(self, folder):
        """'passed' or the reason the first failing binary gave."""
        env = dict(os.environ, GTEST_FAIL_FAST="1")
        for test in TESTS[folder]:
            if test.startswith("ctest:"):
                command = ["ctest", "--test-dir", str(self.build), "-R", "^" + test[len("ctest:"):],
                           "--no-tests=error", "--stop-on-failure"]
            else:
                command = [str(self.build / test), "--gtest_brief=1"]
            # The unchanged tree's run sets the limit of every later one; a
            # mutant that loops for ever is killed by it.
            limit = max(20.0, 5 * self.baseline[test]) if test in self.baseline else 600.0
            start = time.monotonic()
            try:
                result = subprocess.run(command, cwd=self.build, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, timeout=limit, text=True, errors="replace")
            except subprocess.TimeoutExpired:
                return f"{Path(test).name}: timed out after {limit:.0f} s"
            self.baseline.setdefault(test, time.monotonic() - start)
            if result.returncode != 0:
                failed = re.findall(r"\[  FAILED  \] (\S+)", result.stdout) or \
                    re.findall(r"\d+/\d+ Test +#\d+: (\S+) \.+\*+Failed", result.stdout)
                return f"{Path(test).name}: " + (failed[0] if failed else f"exit {result.returncode}")
        return "passed"

    def check_baseline(self, folders):
        for folder in folders:
            ok, log = self.compile(folder)
            if not ok:
                raise RuntimeError("the unchanged tree does not build:\n" + log[-3000:])
            outcome = self.run_tests(folder)
            if outcome != "passed":
                raise RuntimeError(f"the unchanged tree fails its tests ({outcome})")

    def try_mutant(self, m):
        path = self.root / m["file"]
        original = path.read_text()
        lines = original.splitlines(keepends=True)
        # A rerun after edits elsewhere in the file: the nearest line with
        # the same text, within a few lines.
        for shift in sorted(range(-20, 21), key=abs):
            number = m["line"] + shift
            if 0 < number <= len(lines) and lines[number - 1].rstrip("\n") == m["before"]:
                m["line"] = number
                break
        else:
            return "stillborn", "the line has changed since"
        ending = "\n" if lines[m["line"] - 1].endswith("\n") else ""
        lines[m["line"] - 1] = m["after"] + ending
        folder = group_of(m["file"])
        try:
            path.write_text("".join(lines))
            ok, log = self.compile(folder)
            if not ok:
                # A tool that compiles but refuses the shipped content in
                # the build (its own check, or the song's) is caught there.
                if COMPILER_ERROR.search(log):
                    return "stillborn", "does not compile"
                return "killed", "the build's check of the content"
            outcome = self.run_tests(folder)
            return ("survived", "") if outcome == "passed" else ("killed", outcome)
        finally:
            path.write_text(original)


def interleave(groups):
    """Round robin over the folders, so a run cut short by its time budget
    has tried each folder about equally."""
    order = []
    queues = [list(v) for v in groups.values()]
    while any(queues):
        for q in queues:
            if q:
                order.append(q.pop(0))
    return order


def score(results):
    lines = []
    for folder in TESTS:
        mine = [r for r in results if group_of(r["file"]) == folder]
        killed = sum(r["result"] == "killed" for r in mine)
        survived = sum(r["result"] == "survived" for r in mine)
        other = {s: sum(r["result"] == s for r in mine) for s in ("stillborn", "equivalent", "not run")}
        if not mine:
            continue
        applicable = killed + survived
        percent = 100.0 * killed / applicable if applicable else 0.0
        lines.append(f"{folder:13} {killed:4} killed of {applicable:4} applicable ({percent:5.1f} %); "
                     + ", ".join(f"{v} {k}" for k, v in other.items()))
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("paths", nargs="*", default=list(TESTS),
                        help="folders or .cpp files to mutate (default: every folder of TESTS)")
    parser.add_argument("--build", default="build-mutants",
                        help="the folder of the workers' copies and build trees, and of the report")
    parser.add_argument("--sample", type=int, default=0, help="mutants drawn at random per folder (0: all)")
    parser.add_argument("--seed", type=int, default=13, help="seed of the random sample")
    parser.add_argument("--budget", type=float, default=0, help="minutes after which no new mutant starts, counted once the copies are built (0: none)")
    parser.add_argument("--workers", type=int, default=2, help="mutants tried at once, each in a copy of its own")
    parser.add_argument("--jobs", type=int, default=0, help="compile jobs per worker (0: the cores shared out)")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--rerun", help="a report of an earlier run: run its mutants again")
    parser.add_argument("--only", default="", help="with --rerun: only mutants whose result was this (e.g. survived)")
    parser.add_argument("--report", help="JSON report (default: <build>/mutants.json)")
    parser.add_argument("--score", help="a report of an earlier run: print its score and survivors, counting the "
                        "mutants now listed in equivalent.txt as equivalent")
    parser.add_argument("--check-list", action="store_true",
                        help="fail, naming them, if entries of equivalent.txt match no mutant of the tree")
    args = parser.parse_args()

    equivalent = load_equivalent()
    if args.check_list:
        os.chdir(ROOT)  # the list names files from the top of the tree
        live = set()
        for listed_file in {k[0] for k in equivalent}:
            if Path(listed_file).exists():
                live.update(key(m) for m in file_mutants(listed_file))
        stale = [k for k in equivalent if k not in live]
        for k in stale:
            print(f"equivalent.txt: {k[0]}: no such change any more: {k[2]}  =>  {k[3]}  (after: {k[1]})")
        print(f"equivalent.txt: {len(equivalent) - len(stale)} entries match a change of the tree")
        sys.exit(1 if stale else 0)
    if args.score:
        results = json.loads(Path(args.score).read_text())["mutants"]
        for r in results:
            if r["result"] in ("killed", "survived") and key(r) in equivalent:
                r.update(result="equivalent", reason=equivalent[key(r)])
        print_summary(results, Path(args.score))
        return
    if args.rerun:
        earlier = json.loads(Path(args.rerun).read_text())["mutants"]
        chosen = [m for m in earlier if not args.only or m["result"] == args.only]
        kept = [m for m in earlier if args.only and m["result"] != args.only]
        groups = {}
        for m in chosen:
            groups.setdefault(group_of(m["file"]), []).append(
                {k: m[k] for k in ("file", "line", "rule", "change", "before", "after")})
    else:
        kept = []
        groups = collect(args.paths)
        rng = random.Random(args.seed)
        # The sample stays in its drawn order, and each folder's whole list
        # is shuffled by a generator of its own (the samples are those of
        # the seed all the same): a run cut short by its budget has then
        # tried every file a little, not the first files of each folder.
        order = random.Random(args.seed + 1)
        for folder, mutants in groups.items():
            if args.sample and len(mutants) > args.sample:
                groups[folder] = rng.sample(mutants, args.sample)
            else:
                order.shuffle(mutants)
    if args.list:
        for folder, mutants in groups.items():
            for m in sorted(mutants, key=lambda m: (m["file"], m["line"])):
                print(f"{m['file']}:{m['line']}: {m['rule']}: {m['before'].strip()}  =>  {m['after'].strip()}")
            print(f"{folder}: {len(mutants)} mutants", file=sys.stderr)
        return

    workers = max(1, args.workers)
    jobs = args.jobs or max(1, (os.cpu_count() or 2) // workers)
    runners = [Runner(args.build, n + 1, jobs) for n in range(workers)]
    report_path = Path(args.report) if args.report else Path(args.build).resolve() / "mutants.json"
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("mutants: stopped"))
    start = time.monotonic()
    print(f"mutants: {workers} worker(s): copying, building and running the unchanged tree", flush=True)
    files = tree_files()

    def ready(runner):
        runner.prepare(files)
        runner.check_baseline(list(groups))

    with ThreadPoolExecutor(workers) as pool:
        for future in [pool.submit(ready, r) for r in runners]:
            try:
                future.result()
            except RuntimeError as error:
                sys.exit(f"mutants: {error}")
    # The budget counts from here: the first build of the copies takes
    # minutes of its own, and a short budget should still try mutants.
    mutants_start = time.monotonic()
    results = list(kept)
    order = interleave(groups)
    done = [None] * len(order)
    lock = threading.Lock()
    stop = threading.Event()
    queue = iter(enumerate(order))

    def work(runner):
        while not stop.is_set():
            with lock:
                i, m = next(queue, (None, None))
            if m is None:
                return
            entry = dict(m)
            why = equivalent.get(key(m))
            if why is not None:
                entry.update(result="equivalent", reason=why, seconds=0)
            elif args.budget and time.monotonic() - mutants_start > 60 * args.budget:
                entry.update(result="not run", reason="time budget spent", seconds=0)
            else:
                t0 = time.monotonic()
                result, reason = runner.try_mutant(m)
                entry.update(result=result, reason=reason, seconds=round(time.monotonic() - t0, 1))
                with lock:
                    print(f"[{i + 1}/{len(order)}] {result:9} {m['file']}:{m['line']}: {m['change']}  "
                          f"({entry['seconds']} s)" + (f"  {reason}" if reason and result == "killed" else ""),
                          flush=True)
            done[i] = entry

    # Whatever happens, the report so far is written; a mutant a worker was
    # trying when the run was stopped is left "not run", and its copy is put
    # back by the worker (or by the next run's copy).
    try:
        with ThreadPoolExecutor(workers) as pool:
            for future in [pool.submit(work, r) for r in runners]:
                future.result()
    finally:
        stop.set()
        elapsed = time.monotonic() - start
        for i, m in enumerate(order):
            results.append(done[i] or dict(m, result="not run", reason="the run was stopped", seconds=0))
        report_path.write_text(json.dumps({"seed": args.seed, "sample": args.sample, "minutes": round(elapsed / 60, 1),
                                           "mutants": results}, indent=1))
    print_summary(results, report_path)
    print(f"run time {elapsed / 60:.1f} min")


def print_summary(results, report_path):
    survivors = [r for r in results if r["result"] == "survived"]
    print("\nSurvivors (no test noticed these changes):")
    for r in sorted(survivors, key=lambda r: (r["file"], r["line"])):
        print(f"  {r['file']}:{r['line']}: {r['rule']}: {r['before'].strip()}  =>  {r['after'].strip()}")
    print(f"\n{score(results)}\nreport {report_path}")


if __name__ == "__main__":
    main()
