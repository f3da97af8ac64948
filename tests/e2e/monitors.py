"""Several monitors for Wine on one Xvfb screen.

Wine 8 takes its monitors from RANDR when the X server has it, else from
Xinerama. Xvfb starts here without RANDR (`-extension RANDR`), one screen
as wide and tall as the heads together, and Wine loads a stand-in
libXinerama.so.1 (xinerama/xinerama.c, put first on LD_LIBRARY_PATH) that
reports the heads of ZARVO_XINERAMA_HEADS. Wine makes the first head the
primary monitor and moves its coordinates so that the primary's top left
corner is (0, 0): a head left of or above it is at negative coordinates.
Explorer and every Wine process read the monitors once, when they start,
so each layout gets its own wineserver (and with it a new explorer).

    with monitors.Display(session, '800x600+0+0,1280x768+800+0') as display:
        ...                      # session's programs see two monitors

A layout of one head is a plain Xvfb screen of that size, with RANDR, as
scripts/wine-env.sh starts it."""
import os
import re
import subprocess
import time

import harness

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.join(HERE, 'xinerama', 'build.sh')


def parse_heads(text):
    """[(width, height, x, y)] of 'WxH+X+Y,...', in X root coordinates."""
    heads = [re.fullmatch(r'(\d+)x(\d+)\+(\d+)\+(\d+)', part.strip()) for part in text.split(',')]
    if not all(heads):
        raise harness.HarnessError('not heads WxH+X+Y,...: %r' % text)
    return [tuple(int(v) for v in m.groups()) for m in heads]


def build_stand_in(folder):
    """The LD_LIBRARY_PATH entries of libXinerama.so.1 built for i386
    (32-bit Wine) and x86_64 into folder (xinerama/build.sh). The loader
    skips a library of the other word size, so both go on the path."""
    r = subprocess.run([BUILD, folder], capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        raise harness.HarnessError('building the Xinerama stand-in failed: %s' % r.stderr)
    return [os.path.join(folder, 'i386'), os.path.join(folder, 'x86_64')]


def start_xvfb(size, extra=(), log=None):
    """(process, display name) of a new Xvfb with one screen of size (w, h)."""
    for n in range(91, 191):
        if os.path.exists('/tmp/.X%d-lock' % n) or os.path.exists('/tmp/.X11-unix/X%d' % n):
            continue
        p = subprocess.Popen(['Xvfb', ':%d' % n, '-screen', '0', '%dx%dx24' % size,
                              '-nolisten', 'tcp', '-ac', '-noreset', *extra],
                             stdin=subprocess.DEVNULL, stdout=log or subprocess.DEVNULL,
                             stderr=subprocess.STDOUT)
        for _ in range(100):
            if p.poll() is not None:
                break  # lost a race for this display number
            if subprocess.run(['xdpyinfo', '-display', ':%d' % n], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return p, ':%d' % n
            time.sleep(0.1)
        if p.poll() is None:
            stop_xvfb(p)
    raise harness.HarnessError('could not start Xvfb')


def stop_xvfb(p):
    """Ends it as a signal it handles: killed outright, it leaves its lock
    file behind, and that display number is skipped from then on."""
    p.terminate()
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait(10)


class Display:
    """A display of these heads (the first the primary) for the session's
    Wine programs, from entering to leaving; the session's environment and a
    fresh wineserver are put back afterwards. With white_root the X root is
    white, so that whatever no window covers shows."""

    def __init__(self, session, heads, white_root=False):
        self.s, self.text = session, heads
        self.heads = parse_heads(heads)
        self.white_root = white_root
        # Wine puts the top left corner of all the monitors together at the
        # X root's (0, 0): root_rect holds only if a head touches each edge.
        if (min(x for _, _, x, _ in self.heads), min(y for _, _, _, y in self.heads)) != (0, 0):
            raise harness.HarnessError('the heads must start at x 0 and at y 0: %s' % heads)
        self.size = (max(x + w for w, _, x, _ in self.heads),
                     max(y + h for _, h, _, y in self.heads))

    @property
    def monitors(self):
        """Each monitor (l, t, r, b) as Windows sees it, the primary first at (0, 0)."""
        _, _, px, py = self.heads[0]
        return [(x - px, y - py, x - px + w, y - py + h) for w, h, x, y in self.heads]

    @property
    def primary(self):
        return self.monitors[0]

    def root_rect(self, rect):
        """A rectangle in Windows' coordinates, on the X screen."""
        px, py = self.heads[0][2:]
        return (rect[0] + px, rect[1] + py, rect[2] + px, rect[3] + py)

    def root_point(self, x, y):
        return self.root_rect((x, y, x, y))[:2]

    def _restart_wineserver(self, env):
        for how in ('-k', '-w', '-p'):
            subprocess.run(['wineserver', how], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)

    def __enter__(self):
        self.saved = dict(self.s.env)
        env = dict(self.s.env)
        extra = ['-wr'] if self.white_root else []
        if len(self.heads) > 1:
            folder = os.path.join(env.get('ZARVO_WINE_TMP') or '/tmp', 'xinerama-stand-in')
            path = build_stand_in(folder) + [p for p in [env.get('LD_LIBRARY_PATH')] if p]
            env.update(LD_LIBRARY_PATH=':'.join(path), ZARVO_XINERAMA_HEADS=self.text)
            extra += ['-extension', 'RANDR']
        self.s.close()  # programs of the display before go with their wineserver
        self.xvfb, env['DISPLAY'] = start_xvfb(self.size, extra)
        self.s.env = env
        self._restart_wineserver(env)
        return self

    def __exit__(self, *exc):
        self.s.close()
        self.s.env = self.saved
        self._restart_wineserver(self.s.env)  # its programs go before their display
        stop_xvfb(self.xvfb)
        return False
