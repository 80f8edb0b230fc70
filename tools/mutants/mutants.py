#!/usr/bin/env python3
"""Runs the project's mutants: each reversal of a mend (or a plain fault) listed in
tests/mutants/*.mut is applied alone to a scratch copy of the source tree, the sim preset is
built there incrementally and its tests are run; a mutant that no test fails has SURVIVED.

    mutants.py <source root> [filter]
    mutants.py <source root> --sample <n> [--seed <s>]

Only blocks whose name or file contains the filter (any case) run. With --sample, n operator
mutants are drawn at random (from the seed, default 1) over the programs' sources instead:
a comparison flipped or loosened, && and || swapped, a negation dropped, a constant changed by
one, a call statement dropped, a returned TRUE/FALSE (true/false) swapped. Each is applied alone
as the listed ones are; the report gives killed, survived (with the line), did not build, and
the score over the mutants that can change behaviour: those listed in
tests/mutants/equivalent.txt ("<path>:<line>: <operator> -> <replacement>  # why") are named and
not counted. The scratch copy and its
build tree live in build/mutants/ of the source root and are kept between runs, so each run
compiles only what changed. The exit status is 0 when every mutant was killed, 1 when one
survived, did not build or does not apply, 2 when the list or the baseline is broken.

A list file holds blocks of this form, separated by blank lines or lines beginning with "#":

    ## <short name of the mend>
    --- <path relative to the repository root>
    <<<
    <exact original lines, as they stand in the file (must occur exactly once)>
    ===
    <replacement lines that revert the mend>
    >>>
"""

import dataclasses
import os
import random
import re
import shutil
import subprocess
import sys
import time

BUILD_JOBS = "2"
TEST_TIMEOUT_S = "120"  # a hang a mutant causes fails after this (the sweep takes about 30 s)


@dataclasses.dataclass
class Mutant:
    name: str
    path: str
    original: str
    replacement: str
    where: str  # list file and line, for messages


class ListError(Exception):
    pass


def parse_list(list_path, display_path):
    """The blocks of one list file."""
    with open(list_path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    mutants, i = [], 0

    def expect(index, text):
        if index >= len(lines) or lines[index] != text:
            got = lines[index] if index < len(lines) else "the end of the file"
            raise ListError(f"{display_path}:{index + 1}: expected \"{text}\", found \"{got}\"")

    def take_until(index, end):
        start = index
        while index < len(lines) and lines[index] != end:
            index += 1
        if index >= len(lines):
            raise ListError(f"{display_path}:{start}: no \"{end}\" line ends this part")
        return lines[start:index], index + 1

    while i < len(lines):
        line = lines[i]
        if line.strip() == "" or (line.startswith("#") and not line.startswith("## ")):
            i += 1
            continue
        if not line.startswith("## ") or not line[3:].strip():
            raise ListError(f"{display_path}:{i + 1}: expected \"## <name>\", found \"{line}\"")
        where = f"{display_path}:{i + 1}"
        name = line[3:].strip()
        if i + 1 >= len(lines) or not lines[i + 1].startswith("--- "):
            raise ListError(f"{display_path}:{i + 2}: expected \"--- <path>\" after the name")
        path = lines[i + 1][4:].strip()
        expect(i + 2, "<<<")
        original, i = take_until(i + 3, "===")
        replacement, i = take_until(i, ">>>")
        if not original:
            raise ListError(f"{where}: \"{name}\" has no original lines")
        mutants.append(Mutant(name, path, "\n".join(original), "\n".join(replacement), where))
    return mutants


def read_lists(root):
    folder = os.path.join(root, "tests", "mutants")
    mutants = []
    for entry in sorted(os.listdir(folder)):
        if entry.endswith(".mut"):
            mutants += parse_list(os.path.join(folder, entry), f"tests/mutants/{entry}")
    names = {}
    for m in mutants:
        if m.name in names:
            raise ListError(f"{m.where}: the name \"{m.name}\" is also used at {names[m.name]}")
        names[m.name] = m.where
    return mutants


def read_text(path):
    with open(path, encoding="utf-8", newline="") as f:
        return f.read()


def write_text(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def check_applies(root, mutant):
    """None when the block applies to the source tree, else why not."""
    path = os.path.join(root, mutant.path)
    if not os.path.isfile(path):
        return f"{mutant.path} does not exist"
    count = read_text(path).count(mutant.original)
    if count != 1:
        return f"its original lines occur {count} times in {mutant.path} (must be once)"
    return None


def source_files(root):
    """Tracked files and new files not ignored, as the working tree has them."""
    out = subprocess.run(
        ["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        check=True, capture_output=True).stdout.decode("utf-8")
    return [p for p in out.split("\0") if p and os.path.isfile(os.path.join(root, p))]


def sync_scratch(root, scratch):
    """Makes the scratch copy equal to the working tree; unchanged files keep their times, so
    the build there stays incremental."""
    files = source_files(root)
    manifest = os.path.join(scratch, ".mutants-files")
    previous = set()
    if os.path.exists(manifest):
        previous = set(read_text(manifest).split("\n")) - {""}
    for rel in files:
        src, dst = os.path.join(root, rel), os.path.join(scratch, rel)
        if os.path.exists(dst):
            with open(src, "rb") as a, open(dst, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # A changed file gets the time of the copy, not its own: the copy's object files may be
        # newer than the tree's file (built from a mutant left behind by an interrupted run).
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)
    for rel in previous - set(files):
        stale = os.path.join(scratch, rel)
        if os.path.exists(stale):
            os.remove(stale)
    write_text(manifest, "\n".join(sorted(files)) + "\n")


def environment(scratch):
    env = dict(os.environ)
    # Paths are hashed relative to the copy, so its compiles share the cache with the tree's.
    env["CCACHE_BASEDIR"] = scratch
    env["CCACHE_NOHASHDIR"] = "true"
    return env


def run(args, cwd, env, log):
    with open(log, "w") as out:
        return subprocess.run(args, cwd=cwd, env=env, stdout=out, stderr=subprocess.STDOUT).returncode


def configure(scratch, env, logs):
    # Warnings do not fail the scratch build: a mutant that leaves a variable or parameter unused,
    # or an if without a body, still changes behaviour and must be tested, not set aside.
    cache = os.path.join(scratch, "build", "sim", "CMakeCache.txt")
    if (os.path.exists(os.path.join(scratch, "build", "sim", "build.ninja"))
            and "NORVANE_WERROR:BOOL=OFF" in read_text(cache)):
        return True
    args = ["cmake", "--preset", "sim", "-DNORVANE_WERROR=OFF"]
    if shutil.which("ccache"):
        args += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
    return run(args, scratch, env, os.path.join(logs, "configure.log")) == 0


def build(scratch, env, log):
    return run(["cmake", "--build", "--preset", "sim", "--", "-j", BUILD_JOBS], scratch, env,
               log) == 0


# "  12 - Suite.Name (Failed)", with the parameter's description in between for value tests.
FAILED_TEST = re.compile(r"^\s*\d+ - (\S+).* \((\w+)\)\s*$")


def first_failure(log):
    """The first failed test named in ctest's summary, with how it failed."""
    in_summary = False
    for line in read_text(log).split("\n"):
        if line.startswith("The following tests FAILED"):
            in_summary = True
        elif in_summary:
            m = FAILED_TEST.match(line)
            if m:
                return f"{m.group(1)} ({m.group(2)})"
    return "the test run"


def run_tests(scratch, env, log, stop_on_failure):
    args = ["ctest", "--preset", "sim", "-j", BUILD_JOBS, "--timeout", TEST_TIMEOUT_S]
    if not stop_on_failure:
        return run(args, scratch, env, log) == 0
    # The sweeps take most of the run's time and ctest lets a started test finish even after
    # another failed; the other tests kill most mutants, so they run first and alone.
    args.append("--stop-on-failure")
    if run(args + ["-LE", "sweep"], scratch, env, log) != 0:
        return False
    # The sweeps' log replaces the first one, so a failure is named from it.
    return run(args + ["-L", "sweep"], scratch, env, log) == 0


# ---- Operator mutants drawn at random --------------------------------------------------------

SAMPLED_FOLDERS = ("service", "monitor", "notifier", "installer")
COMPARISONS = {"==": "!=", "!=": "==", "<=": "<", ">=": ">", "<": "<=", ">": ">="}
TOKEN = re.compile(r"""
    (?P<string>"(?:\\.|[^"\\])*"|'(?:\\.|[^'\\])*')
  | (?P<comment>//.*$)
  | (?P<logic>&&|\|\|)
  | (?P<cmp><=|>=|==|!=|<<|>>|->|<|>)
  | (?P<not>!(?!=))
  | (?P<number>\b(?:0[xX][0-9A-Fa-f]+|\d+)(?:[uUlL]*)\b)
  | (?P<boolret>\breturn\s+(?:TRUE|FALSE|true|false)\s*;)
""", re.VERBOSE)
CALL_STATEMENT = re.compile(r"^(\s*)([A-Za-z_][\w:]*(?:\.|->)?[\w:]*)\(.*\);\s*$")
FLIP = {"TRUE": "FALSE", "FALSE": "TRUE", "true": "false", "false": "true"}


def is_template_bracket(line, start, token):
    """A < or > of a template argument list rather than a comparison: the sources are formatted
    with clang-format, which puts a blank on both sides of every binary operator."""
    end = start + len(token)
    return not (line[start - 1:start] == " " and line[end:end + 1] == " ")


def line_mutants(path, number, line):
    """(path, line number, description, new line) for every operator mutant of one line."""
    stripped = line.strip()
    if (not stripped or stripped.startswith(("#", "//", "*", "/*")) or "static_assert" in line
            or stripped.startswith(("case ", "default:"))):
        return []
    out = []

    def at(start, end, new, what):
        out.append((path, number, what, line[:start] + new + line[end:]))

    for m in TOKEN.finditer(line):
        kind, text = m.lastgroup, m.group()
        if kind in ("string", "comment"):
            continue
        if kind == "logic":
            at(m.start(), m.end(), "||" if text == "&&" else "&&", f"{text} -> swapped")
        elif kind == "cmp" and text in COMPARISONS and not is_template_bracket(line, m.start(), text):
            at(m.start(), m.end(), COMPARISONS[text], f"{text} -> {COMPARISONS[text]}")
        elif kind == "not":
            at(m.start(), m.end(), "", "! dropped")
        elif kind == "number" and not stripped.startswith(("constexpr WCHAR", "#")):
            digits = re.match(r"0[xX][0-9A-Fa-f]+|\d+", text).group()
            value = int(digits, 16) if digits[:2].lower() == "0x" else int(digits)
            new = hex(value + 1) if digits[:2].lower() == "0x" else str(value + 1)
            at(m.start(), m.start() + len(digits), new, f"{digits} -> {new}")
        elif kind == "boolret":
            word = re.search(r"TRUE|FALSE|true|false", text).group()
            at(m.start(), m.end(), text.replace(word, FLIP[word]), f"return {word} -> {FLIP[word]}")
    call = CALL_STATEMENT.match(line)
    if call and not stripped.startswith(("return", "if", "while", "for", "switch", "delete")):
        out.append((path, number, "call dropped", call.group(1) + ";"))
    return out


def all_operator_mutants(root):
    out = []
    for folder in SAMPLED_FOLDERS:
        for base, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(".cpp"):
                    continue
                path = os.path.relpath(os.path.join(base, name), root)
                lines = read_text(os.path.join(root, path)).split("\n")
                in_block_comment = False
                for number, line in enumerate(lines, 1):
                    if "/*" in line and "*/" not in line:
                        in_block_comment = True
                    if in_block_comment:
                        in_block_comment = "*/" not in line
                        continue
                    out += line_mutants(path, number, line)
    out.sort(key=lambda m: (m[0], m[1], m[2]))
    return out


def read_equivalents(root):
    """"<path>:<line>: <description>" -> why, for mutants that cannot change behaviour."""
    path = os.path.join(root, "tests", "mutants", "equivalent.txt")
    out = {}
    if os.path.exists(path):
        for line in read_text(path).split("\n"):
            if line.strip() and not line.startswith("#"):
                key, _, why = line.partition("  # ")
                out[key.strip()] = why.strip()
    return out


def sample_main(root, count, seed):
    candidates = all_operator_mutants(root)
    rng = random.Random(seed)
    chosen = rng.sample(candidates, min(count, len(candidates)))
    equivalents = read_equivalents(root)
    print(f"{len(candidates)} operator mutants in {', '.join(SAMPLED_FOLDERS)}; "
          f"{len(chosen)} drawn with seed {seed}")
    mutants = []
    for path, number, what, new_line in chosen:
        lines = read_text(os.path.join(root, path)).split("\n")
        mutants.append(Mutant(f"{path}:{number}: {what}", path, lines[number - 1], new_line,
                              f"{path}:{number}"))
    return run_mutants(root, mutants, [], equivalents, by_line=True)


def main(argv):
    if len(argv) >= 3 and argv[2] == "--sample":
        try:
            count = int(argv[3])
            seed = int(argv[5]) if len(argv) > 5 and argv[4] == "--seed" else 1
        except (IndexError, ValueError):
            print("mutants: --sample <n> [--seed <s>]", file=sys.stderr)
            return 2
        return sample_main(os.path.abspath(argv[1]), count, seed)
    if len(argv) < 2:
        print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    wanted = argv[2].lower() if len(argv) > 2 else ""
    try:
        mutants = read_lists(root)
    except (ListError, OSError) as e:
        print(f"mutants: {e}", file=sys.stderr)
        return 2
    if wanted:
        # The filter picks by the block's name, the source it mutates or the list it is in.
        mutants = [m for m in mutants if wanted in m.name.lower() or wanted in m.path.lower()
                   or wanted in m.where.rsplit(":", 1)[0].lower()]
    if not mutants:
        print("mutants: no block matches" if wanted else "mutants: the list is empty",
              file=sys.stderr)
        return 2

    status = 0
    runnable, not_applying = [], []
    for m in mutants:
        why = check_applies(root, m)
        if why:
            print(f"DOES NOT APPLY  {m.name}  ({m.where}: {why})")
            not_applying.append(m)
        else:
            runnable.append(m)
    return run_mutants(root, runnable, not_applying, {}, by_line=False)


def run_mutants(root, runnable, not_applying, equivalents, by_line):
    """Applies each mutant alone, builds and tests; by_line replaces the mutant's line only."""
    status = 1 if not_applying else 0
    work = os.path.join(root, "build", "mutants")
    scratch, logs = os.path.join(work, "src"), os.path.join(work, "logs")
    os.makedirs(logs, exist_ok=True)
    os.makedirs(scratch, exist_ok=True)
    env = environment(scratch)
    started = time.monotonic()
    print(f"Preparing the scratch copy in {os.path.relpath(scratch, root)} ...", flush=True)
    sync_scratch(root, scratch)
    if not configure(scratch, env, logs) or not build(scratch, env, os.path.join(logs, "baseline.log")):
        print("mutants: the unmutated tree does not build; see build/mutants/logs/", file=sys.stderr)
        return 2
    if not run_tests(scratch, env, os.path.join(logs, "baseline-tests.log"), False):
        print(f"mutants: the unmutated tree fails {first_failure(os.path.join(logs, 'baseline-tests.log'))}"
              "; see build/mutants/logs/baseline-tests.log", file=sys.stderr)
        return 2

    killed = survived = unbuilt = equivalent = 0
    for number, m in enumerate(runnable, 1):
        path = os.path.join(scratch, m.path)
        text = read_text(path)
        slug = re.sub(r"[^A-Za-z0-9]+", "-", m.name).strip("-")[:60]
        build_log = os.path.join(logs, f"{number:03d}-{slug}.build.log")
        test_log = os.path.join(logs, f"{number:03d}-{slug}.tests.log")
        if m.name in equivalents:
            print(f"equivalent      {m.name}  ({equivalents[m.name]})", flush=True)
            equivalent += 1
            continue
        try:
            if by_line:
                lines = text.split("\n")
                number_in_file = int(m.where.rsplit(":", 1)[1])
                lines[number_in_file - 1] = m.replacement
                write_text(path, "\n".join(lines))
            else:
                write_text(path, text.replace(m.original, m.replacement, 1))
            if not build(scratch, env, build_log):
                print(f"DOES NOT BUILD  {m.name}  ({m.where}; {os.path.relpath(build_log, root)})",
                      flush=True)
                unbuilt += 1
                if not by_line:
                    status = 1
                continue
            if run_tests(scratch, env, test_log, True):
                shown = f"    {m.replacement.strip()}" if by_line else f"  ({m.where})"
                print(f"SURVIVED        {m.name}{shown}", flush=True)
                survived += 1
                status = 1
            else:
                print(f"killed          {m.name}  by {first_failure(test_log)}", flush=True)
                killed += 1
        finally:
            write_text(path, text)

    minutes, seconds = divmod(int(time.monotonic() - started), 60)
    total = len(runnable) + len(not_applying)
    if by_line:
        counted = killed + survived
        score = f"{100 * killed / counted:.1f} %" if counted else "no mutant counted"
        print(f"{killed} killed, {survived} survived, {unbuilt} did not build, {equivalent} "
              f"equivalent: score {score} ({minutes} min {seconds} s)")
    else:
        print(f"{killed} of {total} mutants killed ({minutes} min {seconds} s)")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
