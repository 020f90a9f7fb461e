"""How soon Ctrl-C stops a long vellomir call.

    PYTHONPATH=<build dir> python bench/bench_interrupt.py [--baseline-path DIR]

For each long call a child interpreter builds the arguments, says it is ready and
starts the call; this driver sends it SIGINT 0.5 s later and the child reports when
KeyboardInterrupt reached Python. Both read CLOCK_MONOTONIC, which the processes
share, so the latency is the catch time minus the send time. With --baseline-path
the same calls are also timed on another build of the module (e.g. an unchanged one).
"""

import json
import os
import signal
import subprocess
import sys
import time

DELAY = 0.5

# (label, setup, call): the calls of the issue report.
CALLS = [
    ("integrated_heyrovsky_magnification, 5e4 points",
     "l = [3.0 * i / 5e4 for i in range(50_000)]",
     "vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.5)"),
    # The same at twenty times the size, for builds where 5e4 points take under half a second.
    ("integrated_heyrovsky_magnification, 1e6 points",
     "l = [3.0 * i / 1e6 for i in range(1_000_000)]",
     "vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.5)"),
    ("multi_witt_mao_magnification, 1e6 x 100 pairs",
     "l = [3.0 * i / 1e6 for i in range(1_000_000)]; re = [1.0 + 0.1 * i for i in range(10)]",
     "vellomir.multi_witt_mao_magnification(l, re, [0.01 * (j + 1) for j in range(10)])"),
    ("witt_mao_magnification, 1e7 points",
     "l = [30.0 * i / 1e7 for i in range(10_000_000)]",
     "vellomir.witt_mao_magnification(l, 1.0, 0.1)"),
]

CHILD = """
import json, sys, time
import vellomir
{setup}
vellomir.witt_mao_magnification([0.5], 1.0, 0.1)  # the pool exists before the clock starts
print("ready", flush=True)
start = time.monotonic()
try:
    {call}
    print(json.dumps({{"finished": time.monotonic(), "start": start}}), flush=True)
except KeyboardInterrupt:
    print(json.dumps({{"interrupted": time.monotonic(), "start": start}}), flush=True)
"""


def measure(module_path, setup, call):
    env = dict(os.environ, PYTHONPATH=module_path)
    child = subprocess.Popen([sys.executable, "-c", CHILD.format(setup=setup, call=call)], env=env,
                             stdout=subprocess.PIPE, text=True)
    assert child.stdout.readline().strip() == "ready"
    time.sleep(DELAY)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    report = json.loads(child.stdout.readline())
    child.wait()
    if "interrupted" in report:
        return f"KeyboardInterrupt {1e3 * (report['interrupted'] - sent):9.1f} ms after SIGINT"
    return f"finished {1e3 * (report['finished'] - sent):9.1f} ms after SIGINT (not interrupted)"


def main():
    paths = [("this build", os.environ.get("PYTHONPATH", ""))]
    if "--baseline-path" in sys.argv:
        paths.append(("baseline", sys.argv[sys.argv.index("--baseline-path") + 1]))
    print(f"Ctrl-C latency: SIGINT {DELAY} s into the call, until KeyboardInterrupt reaches Python")
    for label, setup, call in CALLS:
        for name, path in paths:
            print(f"  {label:48} {name:10}: {measure(path, setup, call)}")


if __name__ == "__main__":
    main()
