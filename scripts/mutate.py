#!/usr/bin/env python3
"""Mutation check of the test suite: each mutant in a list changes one piece of the code the way a real slip
would; the copy is rebuilt incrementally and the tests of the mutant's area are run. Some test must fail
("caught"); a mutant that passes every test ("SURVIVED") is a fault the suite would let through.

Usage: scripts/mutate.py [MUTANTS_FILE] [--work DIR] [--only REGEX] [--jobs N]
  MUTANTS_FILE  default tests/mutants.txt of this checkout
  --work        where the copy of the committed HEAD and its build live (default $TMPDIR/pliko-mutate);
                kept between runs, so a second run rebuilds only what changed
  --only        run only the mutants whose name matches REGEX
  --jobs        build and ctest parallelism (default: the number of cores)

MUTANTS_FILE holds blocks separated by blank lines (lines starting with # are comments):
  name | path/to/file.cpp
  - the exact text to replace (must occur once; \\n is a line break)
  + the replacement
  @ ctest -R regex of the tests to run for this mutant (optional; without it the whole suite)

The tests run inside a private network namespace when `unshare --net` is allowed, so that the end-to-end
tests' handheld port does not meet another checkout's server. A mutant caught by a test unrelated to the
mutated code points at a flaky test: run it again and mend the test."""
import argparse
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import signal
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(path):
    mutants, block = [], []
    lines = open(path, encoding="utf-8").read().splitlines() + [""]
    for line in lines:
        if line.startswith("#"):
            continue
        if line.strip():
            block.append(line)
            continue
        if not block:
            continue
        ok = len(block) in (3, 4) and "|" in block[0] and block[1].startswith("- ") and block[2].startswith("+ ")
        if ok and len(block) == 4:
            ok = block[3].startswith("@ ")
        if not ok:
            sys.exit("bad block in %s: %r" % (path, block))
        name, file = [s.strip() for s in block[0].split("|", 1)]
        dec = lambda s: s[2:].replace("\\n", "\n")
        tests = block[3][2:].strip() if len(block) == 4 else ""
        mutants.append((name, file, dec(block[1]), dec(block[2]), tests))
        block = []
    return mutants


def run(cmd, cwd=None, env=None, timeout=None):
    return subprocess.run(cmd, shell=True, cwd=cwd, env=env, capture_output=True, text=True, timeout=timeout)


def private_net():
    """The prefix that runs a command with its own loopback, or "" when namespaces are not allowed."""
    prefix = "unshare --net --map-root-user" if os.geteuid() else "unshare --net"
    if run("%s sh -c 'ip link set lo up'" % prefix).returncode == 0:
        return prefix
    return ""


def selected(build, regex):
    """The numbers of the tests a regex selects (ctest's own regex takes few groups, so a union of
    many is given to ctest as numbers)."""
    r = run("ctest -N" + (" -R " + shlex.quote(regex) if regex else ""), cwd=build)
    if "RegularExpression" in r.stderr:
        sys.exit("ctest refuses the regex %r: %s" % (regex, r.stderr.strip()))
    return {int(n) for n in re.findall(r"Test +#(\d+):", r.stdout)}


def targets_for(build, regex):
    """The build targets of the programs a regex's tests run, or [] for everything: a mutant then relinks
    only those. A test that runs no program of the build, or is handed the whole build, needs it all."""
    r = run("ctest --show-only=json-v1" + (" -R " + shlex.quote(regex) if regex else ""), cwd=build)
    try:
        tests = json.loads(r.stdout)["tests"]
    except (ValueError, KeyError):
        return []
    targets = set()
    for t in tests:
        mine = [c for c in t.get("command", []) if c.startswith(build + os.sep) and os.access(c, os.X_OK)
                and os.path.isfile(c)]
        if not regex or not mine or build in t.get("command", []):
            return []
        targets |= {os.path.basename(c) for c in mine}
    return sorted(targets)


def ctest(build, jobs, regex, net, env, stop_first, numbers=None):
    args = "ctest -j%d --timeout 300 --output-on-failure" % jobs
    if stop_first:
        args += " --stop-on-failure"
    if numbers:
        args += " -I 0,0,0," + ",".join(str(n) for n in sorted(numbers))
    elif regex:
        args += " -R " + shlex.quote(regex)
    cmd = "ip link set lo up && " + args if net else args
    if net:
        cmd = "%s sh -c %s" % (net, shlex.quote(cmd))
    r = run(cmd, cwd=build, env=env)
    failed = []
    if "The following tests FAILED:" in r.stdout:
        tail = r.stdout.split("The following tests FAILED:")[-1]
        for line in tail.splitlines():
            if " - " in line:  # "  12 - Suite.Test/Engine  # GetParam() = ... (Failed)"
                failed.append(re.sub(r"\s+\(\w+\)$", "", line.split(" - ", 1)[1]).split("  #")[0].strip())
    ran = re.search(r"tests passed, \d+ tests failed out of (\d+)", r.stdout)
    return r, failed, int(ran.group(1)) if ran else 0


def main():
    ap = argparse.ArgumentParser(description="Mutation check of the test suite.")
    ap.add_argument("mutants", nargs="?", default=os.path.join(ROOT, "tests", "mutants.txt"))
    ap.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "pliko-mutate"))
    ap.add_argument("--only", default="")
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    a = ap.parse_args()
    # A stopped run still puts the mutated file back (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    mutants = [m for m in parse(a.mutants) if re.search(a.only, m[0])]
    # The build sits inside the copy as in a checkout, so compiler caches keyed on relative paths hit.
    tree = os.path.join(a.work, "checkout")
    build = os.path.join(tree, "build")

    # A copy of the committed HEAD: the checkout's uncommitted changes never leak into the result.
    os.makedirs(a.work, exist_ok=True)
    if not os.path.isdir(os.path.join(tree, ".git")):
        shutil.rmtree(tree, ignore_errors=True)
        r = run("git clone -q %s %s" % (shlex.quote(ROOT), shlex.quote(tree)))
    else:
        r = run("git fetch -q %s HEAD && git reset -q --hard FETCH_HEAD && git clean -qfd" % shlex.quote(ROOT), cwd=tree)
    if r.returncode:
        sys.exit("cannot copy the checkout:\n" + r.stderr)
    head = run("git rev-parse --short HEAD", cwd=tree).stdout.strip()

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    net = private_net()
    print("mutants: %d, copy of %s in %s, tests %s" % (len(mutants), head, a.work,
          "in a private network namespace" if net else "on the shared loopback"), flush=True)
    t0 = time.time()
    r = run("cmake -S %s -B %s -G Ninja -DPLIKO_BUILD_BENCH=OFF >/dev/null && cmake --build %s -j%d"
            % (tree, build, build, a.jobs))
    if r.returncode:
        sys.exit("the unmutated build fails:\n" + (r.stdout + r.stderr)[-2000:])
    numbers = set()
    for regex in {m[4] for m in mutants}:
        chosen = selected(build, regex)
        if not chosen:
            sys.exit("no test matches %r" % regex)
        numbers |= chosen
    r, failed, ran = ctest(build, a.jobs, "", net, env, False, numbers)
    if r.returncode:
        sys.exit("the unmutated tests fail; fix that first: %s\n%s" % (", ".join(failed), r.stdout[-2000:]))
    print("unmutated build and %d selected tests pass (%ds)" % (ran, time.time() - t0), flush=True)

    results = []
    targets = {}
    for name, path, old, new, regex in mutants:
        f = os.path.join(tree, path)
        if not os.path.isfile(f):
            results.append((name, "NOT APPLIED", "no file " + path))
            print("%-36s NOT APPLIED: no file %s" % (name, path), flush=True)
            continue
        text = open(f, encoding="utf-8").read()
        if text.count(old) != 1:
            results.append((name, "NOT APPLIED", "text found %d times" % text.count(old)))
            print("%-36s NOT APPLIED: the text is found %d times in %s" % (name, text.count(old), path), flush=True)
            continue
        started = time.time()
        try:
            open(f, "w", encoding="utf-8").write(text.replace(old, new))
            if regex not in targets:
                targets[regex] = targets_for(build, regex)
            chosen = " --target " + " ".join(targets[regex]) if targets[regex] else ""
            b = run("cmake --build %s -j%d%s" % (build, a.jobs, chosen))
            if b.returncode and chosen and "unknown target" in b.stdout + b.stderr:
                targets[regex] = []
                b = run("cmake --build %s -j%d" % (build, a.jobs))
            if b.returncode:
                msg = "; ".join(l for l in b.stdout.splitlines() if "error:" in l)[:200]
                results.append((name, "NOT COMPILED", msg))
                print("%-36s NOT COMPILED (a mutant must compile): %s" % (name, msg), flush=True)
                continue
            t, failed, ran = ctest(build, a.jobs, regex, net, env, True)
            took = time.time() - started
            if "No tests were found" in t.stdout:
                results.append((name, "NO TESTS", regex))
                print("%-36s NO TESTS ran for %r" % (name, regex), flush=True)
            elif t.returncode:
                by = "; ".join(failed) or "ctest exit %d" % t.returncode
                results.append((name, "caught", by))
                print("%-36s caught   (%3ds, %d tests) by %s" % (name, took, ran, by[:200]), flush=True)
            else:
                results.append((name, "SURVIVED", "%d tests" % ran))
                print("%-36s SURVIVED (%3ds, %d tests)" % (name, took, ran), flush=True)
        finally:
            open(f, "w", encoding="utf-8").write(text)
            # The restored file gets a new time, so the next build recompiles it without the mutant.
            os.utime(f, None)

    caught = sum(1 for r in results if r[1] == "caught")
    print("\n%d of %d mutants caught in %dm%02ds" % (caught, len(mutants), (time.time() - t0) // 60,
                                                       (time.time() - t0) % 60))
    for name, state, what in results:
        if state != "caught":
            print("  %-12s %s: %s" % (state, name, what))
    return 0 if caught == len(mutants) else 1


if __name__ == "__main__":
    sys.exit(main())
