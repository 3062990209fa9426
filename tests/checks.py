# SPDX-License-Identifier: MIT
"""What the test scripts share: named checks, counted, each failure printed
as it happens, and the closing line the test runners read."""

import time

failures = []
passes = 0


def check(name, condition, detail=""):
    global passes
    if condition:
        passes += 1
    else:
        failures.append(name)
        print(f"FAILED: {name} {detail}", flush=True)


def summary(what):
    """Prints 'WHAT: N passed, N failed'; the exit code to end with."""
    print(f"{what}: {passes} passed, {len(failures)} failed")
    return 1 if failures else 0


def wait_for(predicate, timeout=8.0, step=0.1):
    """Polls until `predicate` returns something true; returns it, or the
    last value when `timeout` seconds pass first."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)
