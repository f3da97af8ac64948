"""Shared set-up for the saver's end-to-end tests: a folder holding
zarvo.scr and its pictures, and helpers to start it and watch it end."""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SAVER_CLASS = 'ZarvoScreen'
WS_CAPTION = 0x00C00000
WS_EX_TOOLWINDOW = 0x00000080


def zarvo_scr():
    path = os.environ.get('ZARVO_SCR') or os.path.join(
        harness.REPO_ROOT, 'build', 'win32', 'zarvo.scr')
    if not os.path.isfile(path):
        raise harness.HarnessError('no zarvo.scr at %s (build the win32 preset)' % path)
    return path


def make_folder(pictures=None):
    """A temporary folder with zarvo.scr and the pictures given as
    {index: (width, height, colour)}, written as PNG files named
    ZARVOnnn.DAT. Returns (folder, path of zarvo.scr in it)."""
    folder = tempfile.mkdtemp(prefix='zarvo-e2e-')
    scr = os.path.join(folder, 'zarvo.scr')
    shutil.copy(zarvo_scr(), scr)
    for index, (w, h, colour) in (pictures or {}).items():
        name = os.path.join(folder, 'ZARVO%03d.DAT' % index)
        subprocess.run(['convert', '-size', '%dx%d' % (w, h), 'xc:' + colour, 'png:' + name],
                       check=True)
    return folder, scr


class Saver:
    """A running zarvo.scr and what the tests ask of it."""

    def __init__(self, session, scr, *args):
        self.s = session
        self.p = session.start_program(scr, *args)

    def wait_window(self, timeout=20):
        return self.s.wait_window(cls=SAVER_CLASS, timeout=timeout)

    def exit_code(self, timeout=15):
        return self.s.wait_exit(self.p, timeout)

    def stop(self):
        self.s.kill(self.p)
