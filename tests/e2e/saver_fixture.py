"""The saver's end-to-end tests: a Wine session and a folder a class, with a
copy of zarvo.scr and at first a plain 400 x 300 ZARVO001.DAT."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SAVER_CLASS, DIALOG_CLASS, MESSAGE_CLASS = 'ZarvoScreen', 'ZarvoForm', '#32770'


def zarvo_scr():
    return harness.built('ZARVO_SCR', 'zarvo.scr')


def convert(*args):
    subprocess.run(['convert', *map(str, args)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=120)


def near(got, want, tolerance=1):
    return got is not None and all(abs(g - w) <= tolerance for g, w in zip(got, want))


class SaverTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.addClassCleanup(cls.s.close)
        cls.folder = tempfile.mkdtemp(prefix='zarvo-e2e-')
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        cls.scr = os.path.join(cls.folder, 'zarvo.scr')
        shutil.copy(zarvo_scr(), cls.scr)
        cls.width, cls.height = cls.s.screen_size
        convert('-size', '400x300', 'xc:#2040a0', 'png:' + cls.picture(1))

    def setUp(self):
        self.s.mousemove(self.width // 2, self.height // 2)

    @classmethod
    def picture(cls, index):
        return os.path.join(cls.folder, 'ZARVO%03d.DAT' % index)

    def clear(self):
        for path in glob.glob(os.path.join(self.folder, 'ZARVO*.DAT')):
            (os.rmdir if os.path.isdir(path) else os.remove)(path)

    def start(self, *args, env=None):
        p = self.s.start_program(self.scr, *args, cwd=self.folder, env=env)
        self.addCleanup(self.s.kill, p)
        return p

    def start_saver(self, env=None):
        p = self.start('/s', env=env)
        try:
            window = self.s.wait_window(cls=SAVER_CLASS, timeout=30)
            self.assertIsNotNone(window, 'the saver window did not appear')
        except BaseException:
            self.s.kill(p)  # a saver left running makes the next one a second copy
            raise
        return p, window

    def assert_ends(self, p, what='a key', exit_code=0):
        self.assertEqual(self.s.wait_exit(p, 15), exit_code, '%s did not end it' % what)

    def screen_box(self, crop=None, threshold=40):
        """(left, top, width, height) of the non-black pixels on the screen, or
        in its crop rectangle; None if there are none."""
        img = self.s.screenshot()
        box = harness.bbox_non_black(img.crop(crop) if crop else img, threshold)
        return box and (box[0], box[1], box[2] - box[0], box[3] - box[1])

    def wait_box(self, expected, timeout=10, crop=None):
        box = harness.wait_until(lambda: self.screen_box(crop), timeout, 0.2,
                                 lambda b: near(b, expected))
        self.assertTrue(near(box, expected), 'the picture is at %s, not %s' % (box, expected))

    def end_with_key(self, p, window=None):
        self.s.key('a', window=window)
        self.assert_ends(p)
