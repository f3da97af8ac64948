#!/usr/bin/python3
"""Windows programs under Wine, in the X display and prefix of
scripts/wine-env.sh: windows seen and driven by zarvo-probe.exe, real X
input through xdotool."""

import ctypes
import json
import os
import subprocess
import tempfile
import time

from PIL import ImageGrab

REPO_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))


class HarnessError(Exception):
    pass


def built(env, *path):
    """A build product: from the environment (ctest sets it) or build/win32."""
    path = os.environ.get(env) or os.path.join(REPO_ROOT, 'build', 'win32', *path)
    if not os.path.isfile(path):
        raise HarnessError('no %s (build the win32 preset or set %s)' % (path, env))
    return path


def parse_output(text):
    """The probe's records, one JSON object a line; rects become tuples."""
    return [json.loads(line, strict=False, object_hook=lambda d: {
        k: tuple(v) if isinstance(v, list) else v for k, v in d.items()})
        for line in text.splitlines() if line]


def bbox_non_black(img, threshold=16):
    return img.point(lambda v: 255 if v > threshold else 0).getbbox()


def wait_until(get, timeout=10.0, interval=0.1, ok=bool):
    """get()'s first value that ok accepts, or its last one at the timeout."""
    end = time.monotonic() + timeout
    while not ok(v := get()) and time.monotonic() < end:
        time.sleep(interval)
    return v


class WineSession:
    def start(self):
        if not (os.environ.get('WINEPREFIX') and os.environ.get('ZARVO_WINE_TMP')):
            raise HarnessError('no Wine environment: source scripts/wine-env.sh first')
        self.env = dict(os.environ)
        self.probe_exe = built('ZARVO_PROBE', 'tests', 'e2e', 'winhelper', 'zarvo-probe.exe')
        self._procs = []
        self._trays = {}
        return self

    def close(self):
        for p in self._procs:
            self.kill(p)
            p.output_file.close()
        self._procs = []

    def unix(self, path):
        """The file of the prefix's drive C: at a C:\\ path."""
        return os.path.join(self.env['WINEPREFIX'], 'drive_c', *path[3:].split('\\'))

    def start_program(self, exe, *args, cwd=None, stderr=subprocess.STDOUT, env=None):
        """`wine exe args...`; env adds to or replaces the session's variables."""
        # Output to a file, not a pipe: helpers Wine starts may hold a pipe open.
        out = tempfile.TemporaryFile()
        p = subprocess.Popen(['wine', exe] + [str(a) for a in args], cwd=cwd,
                             env=dict(self.env, **(env or {})),
                             stdin=subprocess.DEVNULL, stdout=out, stderr=stderr)
        p.output_file = out
        self._procs.append(p)
        return p

    def program_output(self, p, encoding='utf-8'):
        p.output_file.seek(0)
        return p.output_file.read().decode(encoding, 'replace')

    def wait_exit(self, p, timeout=10.0):
        try:
            return p.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self, p):
        if p.poll() is None:
            p.kill()
            p.wait(10)

    def run(self, *args, timeout=60.0, encoding='utf-8', stderr=subprocess.STDOUT):
        """(exit code, output) of `wine args...`, which must end in time."""
        p = self.start_program(*args, stderr=stderr)
        rc = self.wait_exit(p, timeout)
        self._procs.remove(p)
        self.kill(p)
        out = self.program_output(p, encoding)
        p.output_file.close()
        if rc is None:
            raise HarnessError('%s did not end: %s' % (args, out))
        return rc, out

    def probe(self, *args):
        rc, out = self.run(self.probe_exe, *args)
        if rc != 0 and '{' not in out:
            # Seen under 64-bit Wine: the probe ended with 1 before it ran,
            # saying nothing, or the loader failed as it ended (ld.so's
            # _dl_fini), its output lost. Once more.
            rc, out = self.run(self.probe_exe, *args)
        if rc != 0:
            raise HarnessError('probe %s failed (%s): %s' % (args, rc, out))
        return parse_output(out)

    def windows(self, all=False, cls=None, title=None):
        """Top-level windows, front to back (visible ones only unless all)."""
        return [w for w in self.probe('windows') if (all or w['visible']) and
                cls in (None, w['class']) and title in (None, w['title'])]

    def window_info(self, hwnd):
        return next((w for w in self.windows(all=True) if w['hwnd'] == hwnd), None)

    def wait_window(self, cls=None, title=None, timeout=10.0):
        return wait_until(lambda: next(iter(self.windows(False, cls, title)), None), timeout)

    def wait_gone(self, hwnd, timeout=10.0):
        return wait_until(lambda: self.window_info(hwnd) is None, timeout)

    def x_cursor_visible(self):
        class CursorImage(ctypes.Structure):
            _fields_ = [(n, ctypes.c_short) for n in 'xy'] + [
                (n, ctypes.c_ushort) for n in ('width', 'height', 'xhot', 'yhot')] + [
                ('serial', ctypes.c_ulong), ('pixels', ctypes.POINTER(ctypes.c_ulong))]
        xlib, xfixes = ctypes.CDLL('libX11.so.6'), ctypes.CDLL('libXfixes.so.3')
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XCloseDisplay.argtypes = xlib.XFree.argtypes = [ctypes.c_void_p]
        xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
        xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        d = xlib.XOpenDisplay(self.env['DISPLAY'].encode())
        p = d and xfixes.XFixesGetCursorImage(d)
        if not p:
            raise HarnessError('no cursor image from display %s' % self.env['DISPLAY'])
        im = p.contents
        opaque = any(im.pixels[i] >> 24 for i in range(im.width * im.height))
        xlib.XFree(p)
        xlib.XCloseDisplay(d)
        return opaque

    def registry(self, key):
        """{(key, value name): data} of a key and its subkeys (a key itself
        with name None), from Wine's own reg.exe; {} when there is no such
        key. reg.exe writes in the ANSI code page, which is 932 here."""
        if not key.startswith(('HKCU', 'HKLM')):
            raise HarnessError('not a key of HKCU or HKLM: ' + key)
        rc, out = self.run('reg', 'query', key, '/s', timeout=180, encoding='cp932',
                           stderr=subprocess.DEVNULL)
        if rc not in (0, 1):
            raise HarnessError('reg query %s failed (%s)' % (key, rc))
        found, current = {}, None
        for line in out.splitlines() if rc == 0 else []:
            if line.startswith('    '):
                name, _, data = line[4:].split('    ', 2)
                found[current, name] = data
            elif line:
                current = line
                found[current, None] = None
        return found

    def start_tray(self, decoy=None):
        """A stand-in task bar (and a decoy of its class titled decoy): (hwnd, stop)."""
        until = os.path.join(self.env['ZARVO_WINE_TMP'], 'zarvo-tray-%d' % time.monotonic_ns())
        p = self.start_program(self.probe_exe, 'tray', 'Z:' + until.replace('/', '\\'),
                               *[decoy][:bool(decoy)], stderr=subprocess.DEVNULL)
        started = wait_until(lambda: p.poll() is not None or '\n' in self.program_output(p), 30)
        if not started or p.poll() is not None:
            self.kill(p)
            raise HarnessError('the stand-in task bar did not start: %s' % self.program_output(p))

        def stop():
            open(until, 'w').close()
            if self.wait_exit(p, 10) is None:
                self.kill(p)
        hwnd = parse_output(self.program_output(p))[0]['hwnd']
        self._trays[hwnd] = p, until
        return hwnd, stop

    def hang_tray(self, hwnd, hung=True):
        """The stand-in task bar stops answering messages, or answers again."""
        p, until = self._trays[hwnd]
        open(until + '.hang', 'w').close() if hung else os.remove(until + '.hang')
        if wait_until(lambda: parse_output(self.program_output(p))[-1].get('hung'),
                      ok=lambda v: v == hung) != hung:
            raise HarnessError('the stand-in task bar did not %s' % ('answer', 'hang')[hung])

    def screenshot(self):
        """The whole X display (without the pointer), in RGB."""
        return ImageGrab.grab(xdisplay=self.env['DISPLAY']).convert('RGB')

    def xdotool(self, *args, check=True):
        r = subprocess.run(['xdotool'] + [str(a) for a in args], env=self.env,
                           capture_output=True, text=True, errors='replace', timeout=30)
        if check and r.returncode != 0:
            raise HarnessError('xdotool %s failed: %s' % (args, r.stderr))
        return r.stdout

    @property
    def screen_size(self):
        return tuple(map(int, self.xdotool('getdisplaygeometry').split()))

    def key(self, *keys, window=None):
        """xdotool key names. With a window record, X focus goes to it first:
        without a window manager keys go to the window under the pointer."""
        if window is not None:
            self.xdotool('windowfocus', '--sync', window['xwin'], check=False)
        self.xdotool('key', '--delay', 30, *keys)

    def mousemove(self, x, y):
        # --sync would wait forever for a move to where the pointer is.
        if tuple(int(v[2:]) for v in self.xdotool('getmouselocation').split()[:2]) != (x, y):
            self.xdotool('mousemove', '--sync', x, y)

    def click(self, button=1, x=None, y=None):
        if x is not None:
            self.mousemove(x, y)
        self.xdotool('click', button)
