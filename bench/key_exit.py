#!/usr/bin/python3
"""Key to exit: how long the real zarvo.scr takes to end after a key that
comes while the saver idles, and while it decodes a large picture (a
12000 x 4000 PNG, picture 2, decoded on the first tick 20 s after the
start). Run under Wine by bench/run.sh:

    key_exit.py REPS FOLDER    FOLDER holds big.png and small.png

Prints, per case, the seconds from the key (the xdotool call, whose own
start-up is included) to the end of the process, median and maximum."""
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness  # noqa: E402
from saver_fixture import SAVER_CLASS, zarvo_scr  # noqa: E402

IDLE_AT = 10.0    # seconds after the window appears: between two ticks
DECODE_AT = 20.6  # the first tick comes at about 20 s; the decode takes 1-3 s


def key_to_exit(session, scr, press_at):
    p = session.start_program(scr, '/s')
    window = session.wait_window(cls=SAVER_CLASS, timeout=30)
    if window is None:
        raise harness.HarnessError('the saver window did not appear')
    shown = time.monotonic()
    session.x_focus(session.x_window(window))
    time.sleep(max(0.0, shown + press_at - time.monotonic()))
    start = time.monotonic()
    session.key('a')
    while p.poll() is None:
        if time.monotonic() - start > 30:
            raise harness.HarnessError('the saver did not end')
        time.sleep(0.002)
    return time.monotonic() - start


def main():
    reps, pictures = int(sys.argv[1]), sys.argv[2]
    folder = tempfile.mkdtemp(prefix='zarvo-keyexit-')
    scr = os.path.join(folder, 'zarvo.scr')
    shutil.copy(zarvo_scr(), scr)
    shutil.copy(os.path.join(pictures, 'small.png'), os.path.join(folder, 'ZARVO001.DAT'))
    shutil.copy(os.path.join(pictures, 'big.png'), os.path.join(folder, 'ZARVO002.DAT'))
    session = harness.WineSession().start()
    try:
        for name, at in (('idle', IDLE_AT), ('decoding 12000x4000 PNG', DECODE_AT)):
            times = [key_to_exit(session, scr, at) for _ in range(reps)]
            print('key to exit, %-24s median %.3f s  max %.3f s  (%d runs)' %
                  (name, statistics.median(times), max(times), reps), flush=True)
    finally:
        session.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
