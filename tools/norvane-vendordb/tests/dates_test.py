#!/usr/bin/env python3
"""The vendor database that the build puts beside the programs is dated like
the newest registry it was made from, never like the build: the program reads
a database's date as the time its data was fetched.

Usage: dates_test.py TOOL REGISTRY_DIR DATABASE

Checks DATABASE (the one this build generated), then runs TOOL on copies of
the registries dated apart, the newest in each place in turn, and on a broken
set, which must leave the earlier file alone. Exit code 77 when the
registries are not installed.
"""

import os
import shutil
import subprocess
import sys
import tempfile

NAMES = ("oui.csv", "mam.csv", "oui36.csv", "iab.csv")
DAY_NS = 86400 * 10**9
# 2021-03-04 05:06:07.123456789 UTC: long before any build, with a fraction
# that a copy by whole seconds would lose.
BASE_NS = 1614834367 * 10**9 + 123456789


def mtime(path):
    return os.stat(path).st_mtime_ns


def newest(directory):
    return max(mtime(os.path.join(directory, name)) for name in NAMES)


def run(tool, directory, output):
    return subprocess.run([tool, directory, output], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)


def main():
    tool, registries, database = sys.argv[1:4]
    if not all(os.path.exists(os.path.join(registries, name)) for name in NAMES):
        print("no IEEE registries in", registries)
        return 77
    failures = []

    if not os.path.exists(database):
        failures.append(f"{database} was not generated")
    elif mtime(database) != newest(registries):
        failures.append(f"{database} is dated {mtime(database)}, the newest registry "
                        f"{newest(registries)}")

    with tempfile.TemporaryDirectory() as tmp:
        output = os.path.join(tmp, "mac-vendors.tsv")
        for first in range(len(NAMES)):
            for i, name in enumerate(NAMES):
                copy = os.path.join(tmp, name)
                shutil.copyfile(os.path.join(registries, name), copy)
                when = BASE_NS + (10 if i == first else i) * DAY_NS
                os.utime(copy, ns=(when, when))
            result = run(tool, tmp, output)
            want = BASE_NS + 10 * DAY_NS
            if result.returncode != 0:
                failures.append(f"newest {NAMES[first]}: exit {result.returncode}: "
                                f"{result.stderr.decode(errors='replace')}")
            elif mtime(output) != want:
                failures.append(f"newest {NAMES[first]}: dated {mtime(output)}, want {want}")

        # A registry that does not parse: the tool fails and the file it
        # made before stays as it was, date included.
        before = (open(output, "rb").read(), mtime(output))
        with open(os.path.join(tmp, "iab.csv"), "w") as broken:
            broken.write("Registry,Assignment,Organization Name,Organization Address\n")
        result = run(tool, tmp, output)
        if result.returncode == 0:
            failures.append("a broken registry was accepted")
        if (open(output, "rb").read(), mtime(output)) != before:
            failures.append("a failed run changed the earlier file")
        left = sorted(set(os.listdir(tmp)) - set(NAMES) - {"mac-vendors.tsv"})
        if left:
            failures.append(f"files left beside the database: {left}")

    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("the database is dated like the newest registry")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
