#!/usr/bin/python3
"""The real zarvo.scr's own timings under Wine, run by bench/run.sh:

    saver_timing.py REPS FOLDER    FOLDER holds big.png and small.png

launch   from starting `zarvo.scr /s` (picture 1 a 640x480 PNG) to its
         window on the screen, which Main shows once picture 1 is up;
key      from a key (the xdotool call, its own start-up included) to the end
         of the process, pressed while the saver idles, while it idles with
         the task bar's thread hung (a stand-in task bar that stops answering
         once the window is up), and while it prepares a 12000 x 4000 PNG
         (picture 2, decoded ahead of its tick from when picture 1 is up).

Prints the median and the extreme of REPS runs a case.

    saver_timing.py launch REPS FOLDER SCR...

times only the launch, of each build SCR in turn, REPS rounds after one
warm-up each, to compare builds under the same load."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness  # noqa: E402
from saver_fixture import SAVER_CLASS, zarvo_scr  # noqa: E402

IDLE_AT = 10.0    # seconds after the window appears: between two ticks
PREPARE_AT = 0.3  # picture 2's decode begins as picture 1 shows, and takes 1-3 s


def launch_to_window(session, scr):
    start = time.monotonic()
    p = session.start_program(scr, '/s')
    search = ['xdotool', 'search', '--onlyvisible', '--name', '^Form1$']
    while subprocess.run(search, env=session.env, stdout=subprocess.DEVNULL).returncode != 0:
        if time.monotonic() - start > 30:
            raise harness.HarnessError('the saver window did not appear')
    shown = time.monotonic() - start
    session.kill(p)
    session.wait_exit(p)
    return shown


def key_to_exit(session, scr, press_at, hung_tray=None):
    p = session.start_program(scr, '/s')
    window = session.wait_window(cls=SAVER_CLASS, timeout=30)
    if window is None:
        raise harness.HarnessError('the saver window did not appear')
    shown = time.monotonic()
    if hung_tray:
        session.hang_tray(hung_tray)
    # Keys go to the X window with the focus: give it to the saver first.
    subprocess.run(['xdotool', 'windowfocus', '--sync', str(window['xwin'])], env=session.env,
                   check=True)
    time.sleep(max(0.0, shown + press_at - time.monotonic()))
    start = time.monotonic()
    session.key('a')
    while p.poll() is None:
        if time.monotonic() - start > 30:
            raise harness.HarnessError('the saver did not end')
        time.sleep(0.002)
    ended = time.monotonic() - start
    if hung_tray:
        session.hang_tray(hung_tray, False)
    return ended


def saver_folder(build, pictures):
    """A new folder with a copy of the build beside pictures 1 and 2; its zarvo.scr."""
    folder = tempfile.mkdtemp(prefix='zarvo-keyexit-')
    scr = os.path.join(folder, 'zarvo.scr')
    shutil.copy(build, scr)
    shutil.copy(os.path.join(pictures, 'small.png'), os.path.join(folder, 'ZARVO001.DAT'))
    shutil.copy(os.path.join(pictures, 'big.png'), os.path.join(folder, 'ZARVO002.DAT'))
    return scr


def compare_launches(session, reps, builds, scrs):
    for scr in scrs:
        launch_to_window(session, scr)
    times = {scr: [] for scr in scrs}
    for _ in range(reps):
        for scr in scrs:
            times[scr].append(launch_to_window(session, scr))
    for build, scr in zip(builds, scrs):
        print('launch to first picture, %s  median %.3f s  min %.3f s  (%d runs)' %
              (build, statistics.median(times[scr]), min(times[scr]), reps), flush=True)


def timings(session, reps, scr):
    # The first start in a new prefix also loads Wine's DLLs from disk.
    print('launch to first picture, first  %.3f s' % launch_to_window(session, scr), flush=True)
    times = [launch_to_window(session, scr) for _ in range(reps)]
    print('launch to first picture, again  median %.3f s  min %.3f s  (%d runs)' %
          (statistics.median(times), min(times), reps), flush=True)
    tray, stop_tray = session.start_tray()
    for name, at, hung in (('idle', IDLE_AT, None), ('idle, task bar hung', IDLE_AT, tray),
                           ('preparing 12000x4000 PNG', PREPARE_AT, None)):
        times = [key_to_exit(session, scr, at, hung) for _ in range(reps)]
        print('key to exit, %-24s median %.3f s  max %.3f s  (%d runs)' %
              (name, statistics.median(times), max(times), reps), flush=True)
    stop_tray()


def main():
    if sys.argv[1] == 'launch':
        reps, pictures, builds = int(sys.argv[2]), sys.argv[3], sys.argv[4:]
    else:
        reps, pictures, builds = int(sys.argv[1]), sys.argv[2], [zarvo_scr()]
    scrs = [saver_folder(build, pictures) for build in builds]
    session = harness.WineSession().start()
    try:
        if sys.argv[1] == 'launch':
            compare_launches(session, reps, builds, scrs)
        else:
            timings(session, reps, scrs[0])
    finally:
        session.close()
        for scr in scrs:
            shutil.rmtree(os.path.dirname(scr), ignore_errors=True)


if __name__ == '__main__':
    main()
