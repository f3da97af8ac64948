#!/usr/bin/python3
"""End-to-end test harness: Windows programs under Wine in Xvfb.

Standard library + PIL only (Debian: python3-pil; use /usr/bin/python3).

Typical use (unittest):

    import harness
    class T(unittest.TestCase):
        @classmethod
        def setUpClass(cls):
            cls.s = harness.WineSession()     # Xvfb + fresh 32-bit prefix
            cls.s.start()
        @classmethod
        def tearDownClass(cls):
            cls.s.close()
        def test_x(self):
            p = self.s.start_program('build-win32/zarvo.scr', '/s')
            w = self.s.wait_window(cls='SomeClass', timeout=10)
            img = self.s.screenshot()
            ...

The session reuses an environment that was set up by sourcing
scripts/wine-env.sh (WINEPREFIX, DISPLAY and ZARVO_WINE_TMP exported), else
it runs scripts/wine-env.sh itself and tears it down in close().

Environment variables:
  ZARVO_PROBE          path of zarvo-probe.exe (else searched in build dirs,
                       else built with cmake + cmake/mingw-i686.cmake)
  ZARVO_WINE_TEMPLATE  see scripts/wine-env.sh (cached pristine prefix)
  ZARVO_SCREEN, ZARVO_DPI, ZARVO_USE_DISPLAY  see scripts/wine-env.sh
"""

import ctypes
import ctypes.util
import glob
import io
import os
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image

REPO_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
WINE_ENV_SH = os.path.join(REPO_ROOT, 'scripts', 'wine-env.sh')

# Fields of probe output lines that hold a window handle (hex) or a rect.
_HANDLE_FIELDS = {'hwnd', 'owner', 'parent', 'foreground', 'active', 'focus',
                  'capture', 'hcursor', 'handle', 'xwin'}
_RECT_FIELDS = {'rect', 'client', 'rel', 'work', 'virtual'}


class HarnessError(Exception):
    pass


# ---------------------------------------------------------------- parsing

def _unescape(v):
    out, i = [], 0
    while i < len(v):
        c = v[i]
        if c == '\\' and i + 1 < len(v):
            n = v[i + 1]
            out.append({'t': '\t', 'n': '\n', 'r': '\r', '\\': '\\'}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def parse_line(line):
    """'kind\\tk=v\\tk=v' -> {'kind': kind, k: v, ...} with conversions:
    handles -> int, rects -> (l, t, r, b), small integers -> int."""
    parts = line.rstrip('\r\n').split('\t')
    rec = {'kind': parts[0]}
    for p in parts[1:]:
        k, sep, v = p.partition('=')
        if not sep:
            rec.setdefault('args', []).append(p)
            continue
        v = _unescape(v)
        if k in _HANDLE_FIELDS and v.startswith('0x'):
            rec[k] = int(v, 16)
        elif k in _RECT_FIELDS and v.count(',') == 3:
            rec[k] = tuple(int(x) for x in v.split(','))
        elif k in ('style', 'exstyle', 'flags') and v.startswith('0x'):
            rec[k] = int(v, 16)
        elif k not in ('title', 'text', 'class', 'name', 'data', 'path',
                       'key') and _is_int(v):
            rec[k] = int(v)
        else:
            rec[k] = v
    return rec


def _is_int(v):
    try:
        int(v)
        return True
    except ValueError:
        return False


def parse_output(text, kind=None):
    """All records of the probe's output (optionally only one kind)."""
    recs = [parse_line(l) for l in text.splitlines() if l.strip()]
    if kind is not None:
        recs = [r for r in recs if r['kind'] == kind]
    return recs


# ---------------------------------------------------------------- images

def bbox_non_black(img, threshold=16):
    """Bounding box (l, t, r, b) (r, b exclusive) of pixels whose brightest
    channel exceeds threshold, or None if the image is all black."""
    gray = img.convert('RGB').point(lambda v: 255 if v > threshold else 0)
    return gray.convert('L').point(lambda v: 255 if v else 0).getbbox()



def is_black(img, box=None, threshold=16):
    im = img.crop(box) if box else img
    return bbox_non_black(im, threshold) is None


def pixel(img, x, y):
    return img.convert('RGB').getpixel((x, y))



class _XFixesCursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short),
                ('width', ctypes.c_ushort), ('height', ctypes.c_ushort),
                ('xhot', ctypes.c_ushort), ('yhot', ctypes.c_ushort),
                ('cursor_serial', ctypes.c_ulong),
                ('pixels', ctypes.POINTER(ctypes.c_ulong)),
                ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]


def x_cursor_image(display):
    """(x, y, width, height, opaque_pixel_count) of the X server's current
    cursor via XFixes; opaque_pixel_count == 0 means an invisible cursor
    (what Wine sets while the window under the pointer hides the cursor)."""
    xlib = ctypes.CDLL(ctypes.util.find_library('X11') or 'libX11.so.6')
    xfixes = ctypes.CDLL(ctypes.util.find_library('Xfixes') or
                         'libXfixes.so.3')
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    xlib.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_XFixesCursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    d = xlib.XOpenDisplay(display.encode())
    if not d:
        raise HarnessError('cannot open display %s' % display)
    try:
        p = xfixes.XFixesGetCursorImage(d)
        if not p:
            raise HarnessError('XFixesGetCursorImage failed')
        im = p.contents
        n = im.width * im.height
        opaque = sum(1 for i in range(n) if (im.pixels[i] >> 24) & 0xff)
        res = (im.x, im.y, im.width, im.height, opaque)
        xlib.XFree(p)
        return res
    finally:
        xlib.XCloseDisplay(d)


# ---------------------------------------------------------------- probe

def find_probe(build=True):
    """Locate zarvo-probe.exe; build it into a temp dir if needed."""
    p = os.environ.get('ZARVO_PROBE')
    if p:
        if not os.path.isfile(p):
            raise HarnessError('ZARVO_PROBE=%s does not exist' % p)
        return p
    # Where the build puts it; not a recursive search, which would wander
    # into Wine prefixes whose z: drive links to /.
    cands = glob.glob(os.path.join(REPO_ROOT, 'build*', '*', 'tests', 'e2e',
                                   'winhelper', 'zarvo-probe.exe'))
    if cands:
        return max(cands, key=os.path.getmtime)
    if not build:
        raise HarnessError('zarvo-probe.exe not found; set ZARVO_PROBE')
    bdir = os.path.join(tempfile.gettempdir(),
                        'zarvo-probe-build-%d' % os.getuid())
    src = os.path.join(REPO_ROOT, 'tests', 'e2e', 'winhelper')
    tc = os.path.join(REPO_ROOT, 'cmake', 'mingw-i686.cmake')
    subprocess.run(['cmake', '-S', src, '-B', bdir,
                    '-DCMAKE_TOOLCHAIN_FILE=' + tc], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', bdir], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(bdir, 'zarvo-probe.exe')


def wine_path(unix_path):
    """Windows path of a Unix path through Wine's Z: drive."""
    return 'Z:' + os.path.abspath(unix_path).replace('/', '\\')


# ---------------------------------------------------------------- session

class WineSession:
    """Xvfb display + fresh 32-bit Wine prefix + helpers."""

    def __init__(self, probe=None, screen=None, dpi=None, reuse=True):
        self.probe_exe = probe
        self.screen = screen
        self.dpi = dpi
        self.reuse = reuse
        self.env = None
        self.owned = False
        self._procs = []
        self._tmpfiles = []

    # -- lifetime

    def start(self):
        e = os.environ
        if (self.reuse and e.get('WINEPREFIX') and e.get('DISPLAY') and
                e.get('ZARVO_WINE_TMP') and self.screen is None and
                self.dpi is None):
            self.env = dict(e)
        else:
            env = dict(e)
            env['ZARVO_NO_TRAP'] = '1'
            for k in ('WINEPREFIX', 'ZARVO_WINE_TMP', 'ZARVO_XVFB_PID'):
                env.pop(k, None)
            if self.screen:
                env['ZARVO_SCREEN'] = self.screen
            if self.dpi:
                env['ZARVO_DPI'] = str(self.dpi)
            with tempfile.TemporaryFile() as errf:
                r = subprocess.run(
                    ['bash', '-c', 'source "$1" && env -0', 'wine-env',
                     WINE_ENV_SH], env=env, stdout=subprocess.PIPE,
                    stderr=errf, timeout=300)
                errf.seek(0)
                log = errf.read().decode('utf-8', 'replace')
            newenv = {}
            for item in r.stdout.split(b'\0'):
                k, sep, v = item.partition(b'=')
                if sep:
                    newenv[k.decode()] = v.decode('utf-8', 'replace')
            if r.returncode != 0 or 'ZARVO_WINE_TMP' not in newenv:
                self.env = newenv or None
                self.owned = True
                self.close()
                raise HarnessError('wine-env.sh failed:\n' + log)
            self.env = newenv
            self.owned = True
        if self.probe_exe is None:
            self.probe_exe = find_probe()
        return self

    def close(self):
        for p in self._procs:
            if p.poll() is None:
                p.kill()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    pass
        self._procs = []
        for f in self._tmpfiles:
            f.close()
        self._tmpfiles = []
        if not self.owned or not self.env:
            return
        env = self.env
        try:
            subprocess.run(['wineserver', '-k'], env=env, timeout=15,
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            subprocess.run(['wineserver', '-w'], env=env, timeout=15,
                           stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        except (subprocess.TimeoutExpired, OSError):
            pass
        pid = env.get('ZARVO_XVFB_PID')
        if pid:
            try:
                os.kill(int(pid), signal.SIGTERM)
            except (OSError, ValueError):
                pass
        tmp = env.get('ZARVO_WINE_TMP')
        if tmp and os.path.isdir(tmp) and not env.get('ZARVO_KEEP_PREFIX'):
            shutil.rmtree(tmp, ignore_errors=True)
        self.env = None
        self.owned = False

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    @property
    def display(self):
        return self.env['DISPLAY']

    @property
    def screen_size(self):
        out = subprocess.run(['xdpyinfo'], env=self.env, check=True,
                             stdout=subprocess.PIPE, text=True).stdout
        for line in out.splitlines():
            line = line.strip()
            if line.startswith('dimensions:'):
                w, h = line.split()[1].split('x')
                return int(w), int(h)
        raise HarnessError('no screen size')

    # -- programs

    def start_program(self, exe, *args, cwd=None, env=None, stdout=None,
                      stderr=None):
        """Start `wine exe args...`; returns the Popen.  The Popen's pid is
        the Unix pid of the Windows process (also _NET_WM_PID of its X
        windows).  Output goes to a temp file unless stdout/stderr given."""
        e = dict(self.env)
        if env:
            e.update(env)
        if stdout is None:
            f = tempfile.TemporaryFile()
            self._tmpfiles.append(f)
            stdout = f
        if stderr is None:
            stderr = subprocess.STDOUT
        p = subprocess.Popen(['wine', exe] + [str(a) for a in args], cwd=cwd,
                             env=e, stdin=subprocess.DEVNULL, stdout=stdout,
                             stderr=stderr)
        p.output_file = stdout if hasattr(stdout, 'seek') else None
        self._procs.append(p)
        return p

    @staticmethod
    def program_output(p):
        f = getattr(p, 'output_file', None)
        if f is None:
            return ''
        f.flush()
        f.seek(0)
        return f.read().decode('utf-8', 'replace')

    @staticmethod
    def wait_exit(p, timeout=10.0):
        """Exit code, or None if still running after timeout seconds."""
        try:
            return p.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self, p):
        if p.poll() is None:
            p.kill()
            p.wait(10)

    def wine_path(self, unix_path):
        return wine_path(unix_path)

    # -- probe

    def probe(self, *args, timeout=30.0, check=False):
        """Run zarvo-probe.exe with args; returns (returncode, stdout).

        Output goes through temp files, never pipes: a Wine process may
        spawn long-lived helpers (explorer.exe /desktop, ...) that inherit
        its standard handles, so waiting for EOF on a pipe can hang."""
        with tempfile.TemporaryFile() as fout, \
                tempfile.TemporaryFile() as ferr:
            p = subprocess.Popen(
                ['wine', self.probe_exe] + [str(a) for a in args],
                env=self.env, stdin=subprocess.DEVNULL, stdout=fout,
                stderr=ferr)
            try:
                rc = p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                raise
            fout.seek(0)
            ferr.seek(0)
            out = fout.read().decode('utf-8', 'replace')
            errtext = ferr.read().decode('utf-8', 'replace')
        if check and rc != 0:
            raise HarnessError('probe %s failed (%d): %s %s' % (
                args, rc, out, errtext))
        return rc, out

    def windows(self, all=False, pid=None):
        """Top-level windows (visible only unless all=True) as dicts:
        hwnd pid tid class title visible enabled topmost iconic zoomed
        rect client style exstyle owner parent foreground."""
        args = ['windows']
        if all:
            args.append('--all')
        if pid:
            args += ['--pid', pid]
        return parse_output(self.probe(*args, check=True)[1], 'window')

    def children(self, hwnd):
        """Descendant windows of hwnd; extra fields: id depth rel text
        (and check / cursel / count / pos / min / max for some controls)."""
        return parse_output(self.probe('windows', '--children', hex(hwnd))[1],
                            'child')

    def window_info(self, hwnd):
        rc, out = self.probe('info', hex(hwnd))
        recs = parse_output(out)
        return recs[0] if rc == 0 and recs else None

    def find_window(self, cls=None, title=None):
        """FindWindowW(cls, title) -- exactly what a program would see."""
        rc, out = self.probe('find', cls or '-', title or '-')
        return parse_output(out, 'window')[0] if rc == 0 else None

    def wait_window(self, cls=None, title=None, timeout=10.0, visible=True,
                    pid=None):
        """Wait for a top-level window; returns its dict or None."""
        args = ['wait-window', cls or '-', title or '-', int(timeout * 1000)]
        if visible:
            args.append('--visible')
        if pid:
            args += ['--pid', pid]
        rc, out = self.probe(*args, timeout=timeout + 30)
        recs = parse_output(out, 'window')
        return recs[0] if rc == 0 and recs else None

    def wait_gone(self, hwnd, timeout=10.0):
        rc, _ = self.probe('wait-gone', hex(hwnd), int(timeout * 1000),
                           timeout=timeout + 30)
        return rc == 0

    def close_window(self, hwnd):
        return self.probe('close', hex(hwnd))[0] == 0

    def post_message(self, hwnd, msg, wparam=0, lparam=0):
        return self.probe('post', hex(hwnd), msg, wparam, lparam)[0] == 0

    def foreground(self):
        recs = parse_output(self.probe('foreground')[1], 'window')
        return recs[0] if recs else None

    def x_cursor_visible(self):
        """True if the X cursor currently shown has any opaque pixel."""
        return x_cursor_image(self.display)[4] > 0

    def sysinfo(self):
        recs = parse_output(self.probe('sysinfo', check=True)[1])
        return {r['kind']: r for r in recs if r['kind'] != 'monitor'}

    def registry_dump(self, key):
        """{(key_path, value_name): data} of a registry key (recursive)."""
        recs = parse_output(self.probe('registry-dump', key)[1], 'value')
        return {(r['key'], r['name']): r['data'] for r in recs}

    def start_tray(self, height=40, decoy=None):
        """Start the stand-in task bar (class Shell_TrayWnd, empty title,
        visible, top-most, at the bottom), with decoy: also a window of its
        class titled decoy in front of it.  Returns (popen, hwnd, stop)
        where stop() ends it."""
        args = ['tray', '--height', str(height)] + (['--decoy', decoy] if decoy else [])
        return self._start_probe_service(args, 'tray')

    def _start_probe_service(self, args, kind):
        fd, stopfile = tempfile.mkstemp(prefix='zarvo-probe-stop-',
                                        dir=self.env.get('ZARVO_WINE_TMP'))
        os.close(fd)
        os.unlink(stopfile)
        outf = tempfile.TemporaryFile()
        self._tmpfiles.append(outf)
        p = subprocess.Popen(['wine', self.probe_exe] + args +
                             ['--until', wine_path(stopfile)],
                             env=self.env, stdin=subprocess.DEVNULL,
                             stdout=outf, stderr=subprocess.DEVNULL)
        self._procs.append(p)
        rec = {}
        end = time.monotonic() + 30
        while time.monotonic() < end and p.poll() is None:
            outf.seek(0)
            line = outf.readline().decode('utf-8', 'replace')
            if line.endswith('\n'):
                rec = parse_line(line)
                break
            time.sleep(0.05)
        if rec.get('kind') != kind:
            p.kill()
            raise HarnessError('probe %s failed: %r' % (args[0], rec))

        def stop(timeout=10.0):
            open(stopfile, 'w').close()
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait(5)
        return p, rec['hwnd'], stop

    # -- screen

    def screenshot(self, path=None):
        """Screenshot of the whole X display as an RGB PIL image (without
        the mouse pointer: X screenshots never contain it)."""
        r = subprocess.run(['import', '-display', self.display, '-window',
                            'root', 'png:-'], env=self.env,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=30)
        if r.returncode != 0 or not r.stdout:
            raise HarnessError('import failed: %s' %
                               r.stderr.decode('utf-8', 'replace'))
        img = Image.open(io.BytesIO(r.stdout)).convert('RGB')
        if path:
            img.save(path)
        return img

    # -- real X input (xdotool, XTEST)

    def xdotool(self, *args, check=True):
        r = subprocess.run(['xdotool'] + [str(a) for a in args],
                           env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=30)
        if check and r.returncode != 0:
            raise HarnessError('xdotool %s failed: %s' % (
                args, r.stderr.decode('utf-8', 'replace')))
        return r.stdout.decode('utf-8', 'replace')

    def x_window(self, win):
        """X window id of a Windows window (dict from windows()/wait_window()
        or hwnd), from Wine's "__wine_x11_whole_window" window property."""
        if isinstance(win, int):
            win = self.window_info(win) or {}
        return win.get('xwin') or None

    def x_focus(self, xwindow):
        """Give X keyboard focus to an X window.  Needed before key() when
        the pointer is not over the target: without a window manager the
        focus is PointerRoot (keys go to the window under the pointer)."""
        self.xdotool('windowfocus', '--sync', xwindow, check=False)

    def key(self, *keys, window=None, delay_ms=30):
        """xdotool key names, e.g. 'a', 'Escape', 'ctrl+a', 'alt+F4'."""
        args = ['key', '--delay', delay_ms]
        if window is not None:
            args += ['--window', window]
        self.xdotool(*(args + list(keys)))

    def mousemove(self, x, y):
        # --sync waits for the pointer to move, which it never does when it
        # is already there.
        if self.pointer() != (x, y):
            self.xdotool('mousemove', '--sync', x, y)

    def mousemove_relative(self, dx, dy):
        self.xdotool('mousemove_relative', '--sync', '--', dx, dy)

    def click(self, button=1, x=None, y=None):
        if x is not None and y is not None:
            self.mousemove(x, y)
        self.xdotool('click', button)

    def pointer(self):
        out = self.xdotool('getmouselocation', '--shell')
        d = dict(l.split('=', 1) for l in out.split() if '=' in l)
        return int(d['X']), int(d['Y'])


def wait_until(pred, timeout=10.0, interval=0.1):
    """Poll pred() until it returns a true value (returned) or timeout."""
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v:
            return v
        if time.monotonic() >= end:
            return v
        time.sleep(interval)
