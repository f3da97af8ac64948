#!/usr/bin/python3
"""The black gap at a picture change as a viewer sees it, run by
`bench/run.sh gap`:

    change_gap.py ROUNDS FOLDER [screens]
                                   FOLDER holds the pictures of bench/run.sh;
                                   with screens, only the second part

Starts the real zarvo.scr /s under Wine (the screen of scripts/wine-env.sh)
with picture 1 a 640x480 GIF and then, one a tick (20 s apart), a 24 MP
JPEG, a 12 MP JPEG, a 12 MP PNG, the same PNG with 16 bits a channel and the
GIF again. A few pixels around the screen's centre, inside every one of
these pictures, are read from the X server about every millisecond
(XGetImage, 1x1 each). A change has two figures: the gap, from the first
sample where all of them are black to the first where one shows the new
picture (0 when they never were all black at once), and the whole change,
from the first sample where one has left the old picture to the first where
all show the new one (the saver hides and paints a large picture a part at a
time). Each saver start sees one change to each picture; ROUNDS starts. Also
the saver's peak resident memory (VmHWM of its Wine process) once each start
has shown every picture. Prints each change and, a picture, the median and
the extremes, and how far apart the samples were. With ZARVO_GAP_TRACE set,
every sample that differs from the one before goes to stderr.

Then, each on a screen of its own (tests/e2e/monitors.py: a new Xvfb and
wineserver; two monitors from Xinerama), large pictures whose fit is not a
whole number of pixels, and a large picture with two monitors, the primary
the smaller: picture 1 the GIF, then the large picture, a 640x480 PNG, the
large picture and the PNG again, so that each start sees two changes to the
large picture beside two to a small one, measured the same way at points
around the primary's centre."""
import ctypes
import glob
import os
import shutil
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness  # noqa: E402
import monitors  # noqa: E402
from saver_fixture import zarvo_scr  # noqa: E402

FIRST = 'small.gif'
CHANGES = ['jpeg24.jpg', 'jpeg12.jpg', 'png12.png', 'png16.png', 'small.gif']
TICK = 20.0            # seconds between the saver's ticks
TRACE = [(0, None)] if os.environ.get('ZARVO_GAP_TRACE') else None
SETTLE = 0.5           # after a gap, the picture may still be painting
# Name, heads (the primary first; tests/e2e/monitors.py), the large picture.
SCREENS = [
    ('3840x2160 on 1366x768', '1366x768+0+0', 'uhd.jpg'),
    ('6000x4000 on 1280x1024', '1280x1024+0+0', 'jpeg24.jpg'),
    ('4001x2999 on 1920x1080', '1920x1080+0+0', 'odd.jpg'),
    ('6000x4000 on 1366x768 beside 1920x1080', '1366x768+0+0,1920x1080+1366+0', 'jpeg24.jpg'),
]
SCREEN_CHANGES = [None, 'small.png', None, 'small.png']  # None: the large picture


class ScreenPoints:
    """Pixels of the X screen, read one by one with XGetImage."""

    def __init__(self, points, display):
        self.x = ctypes.cdll.LoadLibrary('libX11.so.6')
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XGetImage.restype = ctypes.c_void_p
        self.x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x.XGetPixel.restype = ctypes.c_ulong
        self.x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.display = self.x.XOpenDisplay(display.encode())
        if not self.display:
            raise harness.HarnessError('cannot open the X display')
        self.root = self.x.XDefaultRootWindow(self.display)
        self.points = points

    def read(self):
        values = []
        for px, py in self.points:
            image = self.x.XGetImage(self.display, self.root, px, py, 1, 1, 0xFFFFFFFF, 2)
            values.append(self.x.XGetPixel(image, 0, 0) & 0xFFFFFF)
            self.x.XDestroyImage(image)
        return tuple(values)


class Change:
    """One change seen at the sampled pixels: when the first of them left
    the old picture, when all were black, when the first and the last
    showed the new one."""

    def __init__(self, now, points):
        self.leave, self.black, self.first = now, None, None
        self.cleared = [False] * points  # a point has been black since

    def gap(self):
        return self.first - self.black if self.black is not None else 0.0


def watch(screen, count, desktop):
    """The next `count` changes after the first picture shows (anything
    neither black nor `desktop`), as (gap, whole change) pairs, and the
    intervals between samples."""
    changes, intervals = [], []
    shown = None            # the pixels of the picture on the screen
    change = None
    settle_until = 0.0
    last = time.monotonic()
    deadline = last + 30 + TICK * (count + 1)
    while len(changes) < count:
        now = time.monotonic()
        if now > deadline:
            raise harness.HarnessError('only %d changes seen' % len(changes))
        intervals.append(now - last)
        last = now
        pixels = screen.read()
        if TRACE and pixels != TRACE[-1][1]:
            TRACE.append((now, pixels))
            print('trace %.4f %s' % (now, pixels), file=sys.stderr, flush=True)
        if shown is None:
            if all(pixels) and pixels != desktop:
                shown, settle_until = pixels, now + SETTLE
        elif now < settle_until:
            shown = pixels  # the picture may still be painting
        elif change is None:
            change = Change(now, len(pixels)) if pixels != shown else None
        if change:
            # Two pictures may agree at a point: one that has been black
            # since the change began shows the new picture when it is not.
            change.cleared = [c or not p for c, p in zip(change.cleared, pixels)]
            new = [p != 0 and (p != s or c) for p, s, c in zip(pixels, shown, change.cleared)]
            if not any(pixels) and change.black is None:
                change.black = now
            if any(new) and change.first is None:
                change.first = now
            if all(new):
                changes.append((change.gap(), now - change.leave))
                change, shown, settle_until = None, pixels, now + SETTLE
        time.sleep(max(0.0, now + 0.001 - time.monotonic()))
    return changes, intervals[1:]


def peak_resident_mib(pid):
    with open('/proc/%d/status' % pid) as f:
        return int(next(line for line in f if line.startswith('VmHWM:')).split()[1]) / 1024


def one_round(session, scr, screen, count):
    """The changes and intervals of watch, and the saver's peak resident
    memory once it has shown every picture."""
    desktop = screen.read()
    p = session.start_program(scr, '/s')
    try:
        return (*watch(screen, count, desktop), peak_resident_mib(p.pid))
    finally:
        session.kill(p)
        session.wait_exit(p)


def around(x, y):
    """The centre and four points 200 and 150 pixels off it: inside every picture."""
    return [(x, y)] + [(x + dx, y + dy) for dx in (-200, 200) for dy in (-150, 150)]


def measure(session, scr, folder, pictures, first, changes, points, rounds, label=''):
    """Prints each change to the pictures of changes (names in pictures)
    after first, and per picture the median and the extremes, with the
    saver's peak memory and the sampling intervals."""
    for old in glob.glob(os.path.join(folder, 'ZARVO*.DAT')):
        os.remove(old)
    for index, name in enumerate([first] + changes, 1):
        shutil.copy(os.path.join(pictures, name), os.path.join(folder, 'ZARVO%03d.DAT' % index))
    screen = ScreenPoints(points, session.env['DISPLAY'])
    seen = {name: [] for name in changes}
    intervals, peaks = [], []
    for _ in range(rounds):
        observed, every, peak = one_round(session, scr, screen, len(changes))
        intervals += every
        peaks.append(peak)
        for i, (name, (gap, whole)) in enumerate(zip(changes, observed)):
            seen[name].append((gap * 1000, whole * 1000))
            print('gap\t%schange %d to %-12s\tall black %.1f ms\twhole change %.1f ms' %
                  (label, i + 2, name, gap * 1000, whole * 1000), flush=True)
    for name in seen:
        gaps, wholes = zip(*seen[name])
        print('gap\t%s%-12s\tall black median %.1f ms (min %.1f, max %.1f)\t'
              'whole change median %.1f ms (min %.1f, max %.1f)\t(%d changes)' %
              (label, name, statistics.median(gaps), min(gaps), max(gaps),
               statistics.median(wholes), min(wholes), max(wholes), len(gaps)), flush=True)
    print('gap\t%speak resident memory of the saver %s MiB' %
          (label, ', '.join('%.1f' % p for p in peaks)))
    intervals.sort()
    print('gap\t%ssamples every %.2f ms (median), 99%% within %.2f ms, longest %.1f ms' %
          (label, statistics.median(intervals) * 1000, intervals[int(len(intervals) * 0.99)] * 1000,
           intervals[-1] * 1000), flush=True)


def main():
    rounds, pictures = int(sys.argv[1]), sys.argv[2]
    only_screens = sys.argv[3:] == ['screens']
    folder = tempfile.mkdtemp(prefix='zarvo-gap-')
    scr = os.path.join(folder, 'zarvo.scr')
    shutil.copy(zarvo_scr(), scr)
    session = harness.WineSession().start()
    try:
        if not only_screens:
            cx, cy = (int(v) // 2 for v in os.environ['ZARVO_SCREEN'].split('x')[:2])
            measure(session, scr, folder, pictures, FIRST, CHANGES, around(cx, cy), rounds)
        for name, heads, large in SCREENS:
            with monitors.Display(session, heads) as display:
                width, height = display.primary[2:]
                points = around(*display.root_point(width // 2, height // 2))
                changes = [change or large for change in SCREEN_CHANGES]
                measure(session, scr, folder, pictures, FIRST, changes, points, rounds,
                        '%s\t' % name)
    finally:
        session.close()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == '__main__':
    main()
