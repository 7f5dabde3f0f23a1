#!/usr/bin/env python3
"""Mutation check: do the tests notice small faults in the product code?

Draws a fixed-seed sample of source mutants over the modules, builds each one in a scratch copy of the tree with the
host-release preset (one build tree, rebuilt incrementally), runs only the tests labelled for the mutant's module and
reports, per module, the mutants killed, survived and not compiled, and the score killed / (killed + survived).

The tree it reads is never written to; the scratch copy gets its file back after each mutant, Ctrl-C included.
Results go line by line to a file in the scratch directory, so an interrupted run can go on with --resume.

  scripts/mutation.py --count 200 --seed 11                 # sample, build, test, report
  scripts/mutation.py --count 200 --seed 11 --list          # only print the sample
  scripts/mutation.py --count 200 --seed 11 --report-only   # report what the results file holds

When code has moved between files, an earlier run's mutants can be replayed on this tree by their source text:

  scripts/mutation.py --tree AFTER --replay RESULTS --from-tree BEFORE --modules jsondoc

Each mutant in RESULTS (a results file of a run on BEFORE with the same --modules) is looked up in the module's
files of AFTER by the text of its line; where that text occurs more than once, the place whose three neighbouring
lines on each side are most alike wins, the same file breaking a tie. The same edit is applied there, built and
tested. Mutants whose line is nowhere in AFTER are
listed as "code gone", those with several equally good places as "ambiguous"; neither is run. The report lists each
mutant before and after, and the exit status is non-zero when one that was killed before survives after.
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
import time
from pathlib import Path

MODULES = ["app", "logging", "common", "updater", "utils", "jsondoc"]
SOURCE_SUFFIXES = {".cpp", ".h", ".c"}
# Stand-ins for libraries the host build does not use.
SKIPPED_DIRS = {"fallback"}
NOT_STATEMENTS = {"return", "using", "typedef", "namespace", "class", "struct", "enum", "template", "static_assert",
                  "case", "default", "goto", "throw", "public", "private", "protected", "friend", "if", "for", "while",
                  "switch", "do", "else", "const", "static", "constexpr", "auto", "unsigned", "signed", "int", "long",
                  "char", "bool", "double", "float", "void", "short", "size_t", "std", "explicit", "inline", "virtual",
                  "extern", "volatile", "delete", "new"}


def mask_code(lines):
    """Each line with string and character literals and comments blanked out, so operators are only found in code."""
    masked, in_block = [], False
    for line in lines:
        out, i, n = [], 0, len(line)
        while i < n:
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    out.append(" " * (n - i))
                    i = n
                else:
                    out.append(" " * (end + 2 - i))
                    i, in_block = end + 2, False
                continue
            c = line[i]
            if line.startswith("//", i):
                out.append(" " * (n - i))
                break
            if line.startswith("/*", i):
                in_block = True
                continue
            if c in "\"'":
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                j = min(j + 1, n)
                # A digit separator (1'000) is not a character literal, but the project writes none.
                out.append(c + " " * (j - i - 2) + (c if j - i >= 2 else ""))
                i = j
                continue
            out.append(c)
            i += 1
        masked.append("".join(out)[:n].ljust(n))
    return masked


OPERATOR_SWAPS = [
    # (kind, pattern over masked code, replacement of the matched group)
    ("comparison", re.compile(r"(?<![<>=!&|+\-*/%^])(==|!=|<=|>=)(?!=)"),
     {"==": "!=", "!=": "==", "<=": "<", ">=": ">"}),
    ("comparison", re.compile(r"(?<= )(<|>)(?= )"), {"<": "<=", ">": ">="}),
    ("logical", re.compile(r"(?<= )(&&|\|\|)(?= )"), {"&&": "||", "||": "&&"}),
    ("arithmetic", re.compile(r"(?<= )(\+|-|\*|/)(?= )"), {"+": "-", "-": "+", "*": "/", "/": "*"}),
    ("arithmetic", re.compile(r"(\+=|-=|\+\+|--)"), {"+=": "-=", "-=": "+=", "++": "--", "--": "++"}),
    ("negation", re.compile(r"(?<![\w)\]])(!)(?!=)"), {"!": ""}),
    ("boolean", re.compile(r"\b(true|false)\b"), {"true": "false", "false": "true"}),
]
INTEGER = re.compile(r"(?<![\w.])(\d+)([uUlL]*)(?![\w.'])")
DECLARATION = re.compile(r"^\s*[\w:]+(<[^;=()]*>)?[\s&*]+[\w]+\s*(=|\(|\{|;|\[)")
PURE = re.compile(r"\)\s*(const\s*)?=\s*0;")
STATEMENT_START = re.compile(r"^\s*(\*|\+\+|--)?([A-Za-z_]\w*)")


def balanced(text):
    return all(text.count(a) == text.count(b) for a, b in ("()", "[]", "{}"))


def line_mutants(code, original, prev_code):
    """The mutants of one line: (kind, column, mutated line)."""
    # Preprocessor lines, compile-time checks and declarations' attributes either fail to build or change nothing.
    if code.lstrip().startswith("#") or "static_assert" in code or "__attribute__" in code or PURE.search(code):
        return []
    found = []
    for kind, pattern, swaps in OPERATOR_SWAPS:
        for m in pattern.finditer(code):
            start, end = m.span(1)
            found.append((kind, start, original[:start] + swaps[m.group(1)] + original[end:]))
    for m in INTEGER.finditer(code):
        value = int(m.group(1))
        if m.group(1).startswith("0") and len(m.group(1)) > 1:
            continue  # octal
        start, end = m.span(1)
        found.append(("constant", start, original[:start] + str(value + 1 if value == 0 else value - 1) + original[end:]))
    stripped = code.strip()
    start = STATEMENT_START.match(code)
    prev = prev_code.rstrip()
    if (stripped.endswith(";") and balanced(stripped) and start and start.group(2) not in NOT_STATEMENTS
            and not DECLARATION.match(code) and (prev == "" or prev[-1] in ";{}:")):
        found.append(("deletion", 0, original[: len(original) - len(original.lstrip())] + "{}"))
    if stripped in ("break;", "continue;"):
        found.append(("deletion", 0, original.replace(stripped, "{}")))
    found.sort(key=lambda f: (f[1], f[0]))
    return found


def product_files(tree, modules):
    files = []
    for module in modules:
        for path in sorted((tree / module).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and not SKIPPED_DIRS.intersection(path.relative_to(tree).parts):
                files.append(path)
    return files


def enumerate_mutants(tree, modules):
    mutants = {m: [] for m in modules}
    for path in product_files(tree, modules):
        rel = path.relative_to(tree).as_posix()
        module = rel.split("/")[0]
        lines = path.read_text().split("\n")
        masked = mask_code(lines)
        prev = ""
        for number, (code, original) in enumerate(zip(masked, lines), start=1):
            for kind, column, mutated in line_mutants(code, original, prev):
                mutants[module].append({"id": f"{rel}:{number}:{column + 1}:{kind}", "module": module, "file": rel,
                                        "line": number, "kind": kind, "original": original.strip(),
                                        "mutant": mutated.strip()})
            if code.strip():
                prev = code
    return mutants


CONTEXT = 3  # neighbouring non-blank lines on each side that place a line which occurs more than once


def neighbours(lines, index):
    """The stripped non-blank lines just before and just after lines[index], nearest first."""
    before = [t for t in (l.strip() for l in reversed(lines[:index])) if t][:CONTEXT]
    after = [t for t in (l.strip() for l in lines[index + 1:]) if t][:CONTEXT]
    return before, after


def likeness(a, b):
    """How many neighbours two places share, side by side, nearest first."""
    return sum(x == y for x, y in zip(a[0], b[0])) + sum(x == y for x, y in zip(a[1], b[1]))


def replay_plan(results_path, from_tree, tree, modules):
    """The earlier run's mutants, each moved to the place in this tree that holds its line: (mutants to run, all
    entries with their place or why there is none)."""
    earlier = [json.loads(l) for l in results_path.read_text().splitlines() if l.strip()]
    base = {m["id"]: m for ms in enumerate_mutants(from_tree, modules).values() for m in ms}
    missing = [r["id"] for r in earlier if r["id"] not in base]
    if missing:
        sys.exit(f"{results_path} does not come from {from_tree} with these modules: {', '.join(missing[:3])}")
    texts = {}
    for path in product_files(tree, modules):
        texts[path.relative_to(tree).as_posix()] = path.read_text().split("\n")
    base_lines = {}
    runs, entries = [], []
    for r in earlier:
        m = base[r["id"]]
        lines = base_lines.setdefault(m["file"], (from_tree / m["file"]).read_text().split("\n"))
        context = neighbours(lines, m["line"] - 1)
        places = [(likeness(context, neighbours(after, i)), rel == m["file"], rel, i + 1)
                  for rel, after in texts.items() for i, line in enumerate(after) if line.strip() == m["original"]]
        entry = {"id": m["id"], "before": r["status"], "mutant": m}
        if not places:
            entry["where"] = "code gone"
        else:
            places.sort(reverse=True)
            if len(places) > 1 and places[0][:2] == places[1][:2]:
                entry["where"] = f"ambiguous ({len(places)} places)"
            else:
                alike, _, rel, number = places[0]
                entry["where"] = f"{rel}:{number}"
                entry["alike"] = f"{alike} of {2 * CONTEXT} neighbours alike, {len(places)} place(s)"
                runs.append(dict(m, file=rel, line=number))
        entries.append(entry)
    return runs, entries


def replay_report(entries, results, out):
    """Each earlier mutant before and after; non-zero when one that was killed before survives after."""
    now = {r["id"]: r["status"] for r in results}

    def after(e):
        # "code gone" and "ambiguous" stand for an outcome; the count of places is in the line's own report.
        return now.get(e["id"], "not run") if "alike" in e else e["where"].split(" (")[0]

    lost, counts = 0, {}
    for e in entries:
        m, outcome = e["mutant"], after(e)
        counts[(e["before"], outcome)] = counts.get((e["before"], outcome), 0) + 1
        worse = e["before"] == "killed" and outcome == "survived"
        lost += worse
        alike = f" ({e['alike']})" if "alike" in e else ""
        print(f"{m['file']}:{m['line']} -> {e['where']}{alike}: {e['before']} -> {outcome}"
              f"{'  <- killed before, survives after' if worse else ''}\n    {m['original']}  ->  {m['mutant']}",
              file=out)
    print("\nbefore -> after: " + ", ".join(f"{b} -> {a}: {n}" for (b, a), n in sorted(counts.items())), file=out)
    print(f"replayed {len(entries)} mutants: {lost} killed before and surviving after", file=out)
    return 1 if lost else 0


def draw_sample(candidates, count, seed):
    """Half the sample spread evenly over the modules, half in proportion to their size, so small modules get a
    score of their own."""
    rng = random.Random(seed)
    modules = [m for m in candidates if candidates[m]]
    share = {m: min(len(candidates[m]), count // (2 * len(modules))) for m in modules}
    rest = count - sum(share.values())
    left = {m: len(candidates[m]) - share[m] for m in modules}
    total_left = sum(left.values())
    for m in modules:
        share[m] += min(left[m], round(rest * left[m] / total_left)) if total_left else 0
    sample = []
    for m in modules:
        sample += rng.sample(candidates[m], share[m])
    return sample


def running_order(mutants, modules, run_of=4):
    """Runs of a few mutants of one file, so that a build mostly compiles one file, taken from the module least far
    along, so that an interrupted run still has a score for each module."""
    queues = {m: sorted((x for x in mutants if x["module"] == m), key=lambda x: (x["file"], x["line"], x["id"]))
              for m in modules}
    done = {m: 0 for m in modules}
    order = []
    while any(done[m] < len(queues[m]) for m in modules):
        module = min((m for m in modules if done[m] < len(queues[m])), key=lambda m: done[m] / len(queues[m]))
        queue, start = queues[module], done[module]
        end = start + 1
        while end < len(queue) and end - start < run_of and queue[end]["file"] == queue[start]["file"]:
            end += 1
        order += queue[start:end]
        done[module] = end
    return order


def sync_tree(source, target):
    """Copy the tree into the scratch copy, leaving unchanged files (and so the build) alone."""
    skip = {".git", "build"}
    wanted = set()
    for root, dirs, files in os.walk(source):
        dirs[:] = [d for d in dirs if not (Path(root) == source and d in skip) and d != ".git"]
        for name in files:
            src = Path(root) / name
            rel = src.relative_to(source)
            wanted.add(rel)
            dst = target / rel
            if dst.exists() and dst.read_bytes() == src.read_bytes():
                continue
            dst.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(src, dst)
    for root, dirs, files in os.walk(target):
        dirs[:] = [d for d in dirs if not (Path(root) == target and d in skip)]
        for name in files:
            path = Path(root) / name
            if path.relative_to(target) not in wanted:
                path.unlink()


def run(cmd, cwd, timeout=None):
    started = time.monotonic()
    proc = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                          timeout=timeout)
    return proc.returncode, proc.stdout, time.monotonic() - started


class Restore:
    """Puts a file's original bytes back on leaving, and on SIGTERM too (Ctrl-C arrives as KeyboardInterrupt)."""

    def __init__(self, path):
        self.path, self.original = path, path.read_bytes()

    def __enter__(self):
        self.old_term = signal.signal(signal.SIGTERM, self._terminate)
        return self

    def _terminate(self, *_):
        raise KeyboardInterrupt

    def __exit__(self, *_):
        self.path.write_bytes(self.original)
        signal.signal(signal.SIGTERM, self.old_term)
        return False


class ScratchBuild:
    def __init__(self, src, jobs, timeout):
        self.src, self.jobs, self.timeout = src, jobs, timeout
        self.build = src / "build" / "host-release"
        self.targets = {}

    def configure(self):
        env_free = ["-DMORVANE_WERROR=OFF", f"-DMORVANE_TEST_TIMEOUT={self.timeout}"]
        rc, out, _ = run(["cmake", "--preset", "host-release", *env_free], self.src)
        if rc:
            sys.exit("configure failed:\n" + out)

    def tests_of(self, module, stage=None):
        """The executables that hold the tests labelled for the module, as build targets; stage 1 only the module's
        own tests, stage 2 only the runs on the simulated unit (labelled with every module)."""
        key = (module, stage)
        if key not in self.targets:
            rc, out, _ = run(["ctest", "--test-dir", str(self.build), *self.selection(module, stage),
                              "--show-only=json-v1"], self.src)
            names = set()
            for test in json.loads(out).get("tests", []) if rc == 0 else []:
                command = test.get("command") or []
                if command:
                    names.add(Path(command[0]).name)
            self.targets[key] = sorted(names)
        return self.targets[key]

    @staticmethod
    def selection(module, stage=None):
        # The runs on the simulated unit carry every module in this order (tests/CMakeLists.txt); were the orders to
        # differ, stage 1 would run them too and stage 2 nothing, which costs time but not the outcome.
        every = f"^{','.join(MODULES)}$"
        return {None: ["-L", f"(^|,){module}(,|$)"], 1: ["-L", f"(^|,){module}(,|$)", "-LE", every],
                2: ["-L", every]}[stage]

    def build_targets(self, targets):
        return run(["cmake", "--build", str(self.build), "-j", str(self.jobs), "--target", *targets], self.src)

    def test(self, module, stop_on_failure=True, stage=None):
        cmd = ["ctest", "--test-dir", str(self.build), *self.selection(module, stage), "-j", str(self.jobs),
               "--timeout", str(self.timeout), "--no-tests=error"]
        if stop_on_failure:
            cmd.append("--stop-on-failure")
        return run(cmd, self.src)


def try_mutant(scratch, mutant):
    """Builds and runs the module's own tests first and the slower runs on the simulated unit only if those pass:
    the outcome is the one of running them all, most kills come sooner."""
    path = scratch.src / mutant["file"]
    build_s = test_s = 0.0
    with Restore(path):
        lines = path.read_text().split("\n")
        lines[mutant["line"] - 1] = mutated_line(lines[mutant["line"] - 1], mutant)
        path.write_text("\n".join(lines))
        for stage in (1, 2):
            targets = scratch.tests_of(mutant["module"], stage)
            if not targets:
                continue
            rc, out, seconds = scratch.build_targets(targets)
            build_s += seconds
            if rc:
                # A test program that dies while its tests are listed fails the build, but it compiled.
                listed = "Error running test executable" in out or "--gtest_list_tests" in out
                return ("killed" if listed else "not compiled"), build_s, test_s, out[-2000:]
            rc, out, seconds = scratch.test(mutant["module"], stage=stage)
            test_s += seconds
            if rc:
                failed = [l.strip() for l in out.splitlines() if "***" in l or "(Failed)" in l or "(Timeout)" in l]
                return "killed", build_s, test_s, "\n".join(failed[:3])
        return "survived", build_s, test_s, ""


def mutated_line(line, mutant):
    """The mutant's line rebuilt from the original: same indentation, the stored mutated text."""
    return line[: len(line) - len(line.lstrip())] + mutant["mutant"]


def report(mutants, results, modules, out):
    by_id = {r["id"]: r for r in results}
    print(f"{'module':<9} {'killed':>6} {'survived':>8} {'not compiled':>12} {'score':>6} {'s/mutant':>8}", file=out)
    totals = [0, 0, 0]
    for module in modules:
        rs = [by_id[m["id"]] for m in mutants if m["module"] == module and m["id"] in by_id]
        k = sum(r["status"] == "killed" for r in rs)
        s = sum(r["status"] == "survived" for r in rs)
        n = sum(r["status"] == "not compiled" for r in rs)
        totals = [totals[0] + k, totals[1] + s, totals[2] + n]
        seconds = sum(r["build_s"] + r["test_s"] for r in rs) / len(rs) if rs else 0
        score = f"{100 * k / (k + s):.0f}%" if k + s else "-"
        print(f"{module:<9} {k:>6} {s:>8} {n:>12} {score:>6} {seconds:>8.1f}", file=out)
    k, s, n = totals
    print(f"{'all':<9} {k:>6} {s:>8} {n:>12} {(f'{100 * k / (k + s):.0f}%' if k + s else '-'):>6}", file=out)
    pending = sum(m["id"] not in by_id for m in mutants)
    if pending:
        print(f"not yet run: {pending} of {len(mutants)}", file=out)
    survivors = [m for m in mutants if by_id.get(m["id"], {}).get("status") == "survived"]
    if survivors:
        print("\nsurvivors:", file=out)
        for m in sorted(survivors, key=lambda m: (m["file"], m["line"])):
            print(f"  {m['file']}:{m['line']} ({m['kind']}): {m['original']}  ->  {m['mutant']}", file=out)


def compare(mutants, results, earlier_path):
    """Mutants of this sample whose outcome differs from an earlier run's; non-zero when one that was killed is not."""
    earlier = {}
    for line in earlier_path.read_text().splitlines():
        if line.strip():
            r = json.loads(line)
            earlier[r["id"]] = r["status"]
    now = {r["id"]: r["status"] for r in results}
    lost = 0
    for m in mutants:
        before, after = earlier.get(m["id"]), now.get(m["id"])
        if before and after and before != after:
            lost += before == "killed"
            print(f"changed: {m['file']}:{m['line']} {m['original']}  ->  {m['mutant']}: {before} -> {after}")
    print(f"compared with {earlier_path}: {lost} mutant(s) killed before and not now")
    return 1 if lost else 0


def main():
    here = Path(__file__).resolve().parent.parent
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tree", type=Path, default=here, help="source tree to mutate (read only; default: this one)")
    parser.add_argument("--scratch", type=Path, help="scratch directory (default: /tmp/morvane-mutation-<tree name>)")
    parser.add_argument("--count", type=int, default=200, help="mutants in the sample")
    parser.add_argument("--seed", type=int, default=11)
    parser.add_argument("--modules", default=",".join(MODULES), help="comma-separated modules to mutate")
    parser.add_argument("--only", help="comma-separated modules whose mutants of the sample run (the sample is the same)")
    parser.add_argument("--compare", type=Path, help="results file of an earlier run: list the mutants whose outcome "
                        "differs")
    parser.add_argument("--replay", type=Path, help="results file of a run on --from-tree: run its mutants where their "
                        "lines are in --tree instead of drawing a sample")
    parser.add_argument("--from-tree", type=Path, help="the tree the --replay results were run on")
    parser.add_argument("--jobs", type=int, default=2, help="parallel build and test jobs")
    parser.add_argument("--timeout", type=int, default=30, help="seconds per test")
    parser.add_argument("--list", action="store_true", help="print the sample and stop")
    parser.add_argument("--resume", action="store_true", help="keep the results of mutants already run")
    parser.add_argument("--report-only", action="store_true", help="report the results file and stop")
    args = parser.parse_args()

    tree = args.tree.resolve()
    modules = [m for m in args.modules.split(",") if m]
    unknown = set(modules) - set(MODULES)
    if unknown:
        parser.error(f"unknown modules: {', '.join(sorted(unknown))}")
    scratch_dir = (args.scratch or Path(f"/tmp/morvane-mutation-{tree.name}")).resolve()
    if scratch_dir == tree or tree in scratch_dir.parents:
        parser.error("the scratch directory must lie outside the tree")
    if bool(args.replay) != bool(args.from_tree):
        parser.error("--replay and --from-tree go together")
    if args.replay and (args.only or args.compare):
        parser.error("--replay takes neither --only nor --compare")
    entries = None
    if args.replay:
        mutants, entries = replay_plan(args.replay, args.from_tree.resolve(), tree, modules)
    else:
        candidates = enumerate_mutants(tree, modules)
        mutants = draw_sample(candidates, args.count, args.seed)
        mutants = running_order(mutants, modules)
    if args.only:
        only = [m for m in args.only.split(",") if m]
        if set(only) - set(modules):
            parser.error("--only names modules outside --modules")
        modules = only
        mutants = [m for m in mutants if m["module"] in only]
    results_path = scratch_dir / f"results-seed{args.seed}-n{args.count}-{'-'.join(modules)}.jsonl"
    if args.replay:
        results_path = scratch_dir / f"replay-{args.replay.stem}-{'-'.join(modules)}.jsonl"

    def finish(results):
        report(mutants, results, modules, sys.stdout)
        if entries is not None:
            print(file=sys.stdout)
            return replay_report(entries, results, sys.stdout)
        return compare(mutants, results, args.compare) if args.compare else 0

    if args.list and entries is not None:
        for e in entries:
            m = e["mutant"]
            print(f"{m['file']}:{m['line']} -> {e['where']} ({e.get('alike', '-')}; {e['before']}): "
                  f"{m['original']}  ->  {m['mutant']}")
        return 0
    if args.list:
        for m in mutants:
            print(f"{m['file']}:{m['line']} ({m['kind']}): {m['original']}  ->  {m['mutant']}")
        print(f"{len(mutants)} mutants of {sum(len(c) for c in candidates.values())} candidates", file=sys.stderr)
        return 0
    results = []
    if (args.resume or args.report_only) and results_path.exists():
        results = [json.loads(l) for l in results_path.read_text().splitlines() if l.strip()]
    if args.report_only:
        return finish(results)

    src = scratch_dir / "src"
    src.mkdir(parents=True, exist_ok=True)
    sync_tree(tree, src)
    scratch = ScratchBuild(src, args.jobs, args.timeout)
    drawn = f"replay of {args.replay}" if args.replay else f"seed {args.seed}"
    print(f"scratch build in {scratch.build}; {drawn}, {len(mutants)} mutants", flush=True)
    scratch.configure()
    # Everything once: the test lists, which name the programs to rebuild per module, come from the build.
    rc, out, seconds = scratch.build_targets(["all"])
    if rc:
        sys.exit(f"the unmutated tree does not build:\n{out[-4000:]}")
    print(f"unmutated build ({seconds:.0f} s)", flush=True)
    for module in modules:
        if not scratch.tests_of(module):
            sys.exit(f"no tests are labelled {module}")
        rc, out, seconds = scratch.test(module, stop_on_failure=False)
        if rc:
            sys.exit(f"the unmutated tree fails the {module} tests:\n{out[-4000:]}")
        print(f"unmutated {module} tests pass ({seconds:.1f} s)", flush=True)

    done = {r["id"] for r in results}
    mode = "a" if args.resume else "w"
    try:
        with results_path.open(mode) as log:
            for index, mutant in enumerate(mutants, start=1):
                if mutant["id"] in done:
                    continue
                status, build_s, test_s, detail = try_mutant(scratch, mutant)
                result = {"id": mutant["id"], "status": status, "build_s": round(build_s, 1),
                          "test_s": round(test_s, 1), "detail": detail}
                results.append(result)
                log.write(json.dumps(result) + "\n")
                log.flush()
                print(f"[{index}/{len(mutants)}] {status:<12} {build_s + test_s:5.1f} s  {mutant['file']}:"
                      f"{mutant['line']} {mutant['original']}  ->  {mutant['mutant']}", flush=True)
    except KeyboardInterrupt:
        print("interrupted; the scratch copy has its sources back", file=sys.stderr)
    finally:
        sync_tree(tree, src)
    return finish(results)


if __name__ == "__main__":
    sys.exit(main())
