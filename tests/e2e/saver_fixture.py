"""Shared set-up for the end-to-end tests of the saver: a folder holding a
copy of zarvo.scr, where the tests put ZARVOnnn.DAT files and start it."""
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SAVER_CLASS = 'ZarvoScreen'


def zarvo_scr():
    path = os.environ.get('ZARVO_SCR') or os.path.join(harness.REPO_ROOT, 'build', 'win32',
                                                       'zarvo.scr')
    if not os.path.isfile(path):
        raise harness.HarnessError('no zarvo.scr at %s (build the win32 preset)' % path)
    return path


class SaverFolder:
    def __init__(self, session):
        self.s = session
        self.folder = tempfile.mkdtemp(prefix='zarvo-e2e-')
        self.scr = os.path.join(self.folder, 'zarvo.scr')
        shutil.copy(zarvo_scr(), self.scr)

    def picture(self, index):
        return os.path.join(self.folder, 'ZARVO%03d.DAT' % index)

    def clear(self):
        for path in map(self.picture, range(1, 51)):
            if os.path.isdir(path):
                os.rmdir(path)
            elif os.path.exists(path):
                os.remove(path)

    def start(self, *args):
        return self.s.start_program(self.scr, *args, cwd=self.folder)


class SaverTest(unittest.TestCase):
    """A Wine session and a saver folder a class; the pointer in the middle
    of the screen before each test."""

    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.f = SaverFolder(cls.s)
        cls.width, cls.height = cls.s.screen_size

    @classmethod
    def tearDownClass(cls):
        cls.s.close()
        shutil.rmtree(cls.f.folder, ignore_errors=True)

    def setUp(self):
        self.s.mousemove(self.width // 2, self.height // 2)

    def start(self, *args):
        p = self.f.start(*args)
        self.addCleanup(self.s.kill, p)
        return p

    def start_saver(self):
        p = self.start('/s')
        window = self.s.wait_window(cls=SAVER_CLASS, timeout=30)
        self.assertIsNotNone(window, 'the saver window did not appear')
        return p, window

    def assert_ends(self, p, what='a key', exit_code=0):
        self.assertEqual(self.s.wait_exit(p, 15), exit_code, '%s did not end it' % what)

    def end_with_key(self, p, window=None):
        self.s.key('a', window=window)
        self.assert_ends(p)
