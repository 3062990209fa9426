# SPDX-License-Identifier: MIT
"""What the test scripts share: named checks, counted, each failure printed
as it happens, and the closing line the test runners read."""

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
