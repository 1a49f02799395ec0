#!/usr/bin/env python3
"""Adds up the JUnit files that ctest wrote for each run of scripts/test.sh.

Usage: junit_summary.py FAILED_STEPS NAME=FILE...
Prints one line per run with its counts and the tests that failed, then the
line for the whole run, "N passed, N failed, N skipped", where FAILED_STEPS
(builds and checks outside ctest that failed) count as failures too. Exits 1
when anything failed. A run whose file is missing counts as one failure.
"""
import sys
import xml.etree.ElementTree as ElementTree


def count(path):
    """(passed, failed, skipped, names of failed tests) of one JUnit file."""
    passed = failed = skipped = 0
    names = []
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        status = case.get("status")
        skip = case.find("skipped")
        # ctest reports a test it could not start (a missing executable) as
        # not run too, but as a failure; only its own skip rules skip.
        if status == "run":
            passed += 1
        elif status == "disabled" or (skip is not None and skip.get("message", "").startswith("SKIP_")):
            skipped += 1
        else:
            failed += 1
            names.append(case.get("name"))
    return passed, failed, skipped, names


def main(argv):
    failed_steps = int(argv[1])
    totals = [0, failed_steps, 0]
    for run in argv[2:]:
        name, path = run.split("=", 1)
        try:
            passed, failed, skipped, names = count(path)
        except (OSError, ElementTree.ParseError):
            print(f"{name}: no results")
            totals[1] += 1
            continue
        print(f"{name}: {passed} passed, {failed} failed, {skipped} skipped")
        for test in names:
            print(f"  failed: {test}")
        totals[0] += passed
        totals[1] += failed
        totals[2] += skipped
    print(f"{totals[0]} passed, {totals[1]} failed, {totals[2]} skipped")
    return 1 if totals[1] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
