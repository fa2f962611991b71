#!/usr/bin/env python3
"""Counts one ctest run's test cases from its console output and its
Testing/Temporary/LastTest.log.

A test program that ran its cases ends its output with "test cases: PROGRAM
P passed, F failed, S skipped" and a "skipped case: ..." line for each skip
(testsupport/TestRun.h); its cases are counted from those lines. A test
without them (a script, or a program that ended before its counts) counts
as one case, as CTest saw it. A whole program skipped (a test bed that
cannot run here) counts as one skipped case, named with the reason it gave.

Prints "PASSED FAILED SKIPPED" on the first line, then one line per skipped
case: "NAME: REASON".
"""
import re
import sys


def ctest_lists(console):
    """The names CTest listed as failed and as skipped."""
    failed, skipped = set(), set()
    section = None
    for line in console.splitlines():
        if line.startswith("The following tests FAILED:"):
            section = failed
            continue
        if line.startswith("The following tests did not run:"):
            section = skipped
            continue
        m = re.match(r"\s+\d+ - (\S+) \((.*)\)\s*$", line)
        if section is not None and m:
            (skipped if m.group(2) == "Skipped" else failed).add(m.group(1))
        elif section is not None and line.strip() == "":
            section = None
    return failed, skipped


def outputs(log):
    """Each test's output, by name."""
    found = {}
    for m in re.finditer(r"^\d+/\d+ Test: (\S+)\n.*?^Output:\n-+\n(.*?)<end of output>",
                         log, re.S | re.M):
        found[m.group(1)] = m.group(2)
    return found


def main():
    console = open(sys.argv[1], errors="replace").read()
    try:
        log = open(sys.argv[2], errors="replace").read()
    except OSError:
        log = ""
    total = re.findall(r"tests passed, (\d+) tests? failed out of (\d+)", console)
    if not total:
        print("0 1 0")
        return
    failed_names, skipped_names = ctest_lists(console)
    by_name = outputs(log)
    passed = failed = 0
    skips = []
    seen = set()
    for name, text in by_name.items():
        seen.add(name)
        counts = re.findall(r"^test cases: \S+ (\d+) passed, (\d+) failed, (\d+) skipped", text,
                            re.M)
        if counts:
            p, f, _ = (int(x) for x in counts[-1])
            passed += p
            failed += f
            if name in failed_names and f == 0:
                failed += 1  # it failed after its cases: a crash, a leak, a timeout
            skips += re.findall(r"^skipped case: (.*?)\s*$", text, re.M)
        elif name in failed_names:
            failed += 1
        elif name in skipped_names:
            why = re.findall(r"^wine-run: skipped, (.*?)\s*$", text, re.M)
            skips.append(f"{name} (the whole program): {why[-1] if why else 'no reason given'}")
        else:
            passed += 1
    # Failed without any output in the log (a fixture that failed first).
    failed += len(failed_names - seen)
    print(passed, failed, len(skips))
    for s in skips:
        print(s)


main()
