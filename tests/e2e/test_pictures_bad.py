#!/usr/bin/python3
"""Files that are not pictures, or are pictures out to do harm, as
ZARVO001.DAT of the real zarvo.scr under Wine: none is shown, none crashes
or hangs the saver, its memory stays bounded, a key still ends it, and the
next picture comes on the tick."""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import picture_corpus  # noqa: E402
from picture_corpus import box_of  # noqa: E402
from saver_fixture import SAVER_CLASS, SaverFolder  # noqa: E402

SCREEN = (800, 600)
TICK = 20.0  # seconds from one picture to the next
# Peak resident memory of the saver's process with a refused file: the
# program and Wine's own share, with room to spare, but far below what any
# of these files would take decoded.
REFUSED_PEAK_KIB = 160 * 1024
# A picture of the largest size we decode (64 Mi pixels) kept at full size
# would take 256 MiB, plus the decoder's own copy (here 1 bit a pixel).
LARGEST_PEAK_KIB = 600 * 1024
SETTLE = 1.5  # seconds after the window appears: a refused load is long done


def peak_kib(pid):
    """Peak resident memory (KiB) of a process, from /proc."""
    with open('/proc/%d/status' % pid) as f:
        return int(next(line for line in f if line.startswith('VmHWM:')).split()[1])


class BadFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.f = SaverFolder(cls.s)
        cls.corpus = tempfile.mkdtemp(prefix='zarvo-bad-')
        cls.names = picture_corpus.bad_files(cls.corpus)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()
        cls.f.remove()
        shutil.rmtree(cls.corpus, ignore_errors=True)

    def setUp(self):
        self.assertEqual(self.s.screen_size, SCREEN)
        self.f.clear()
        self.s.mousemove(SCREEN[0] // 2, SCREEN[1] // 2)

    def put(self, name, index=1):
        source, target = os.path.join(self.corpus, name), self.f.picture(index)
        if os.path.isdir(source):
            os.mkdir(target)
        elif name == 'sparse':
            with open(source, 'rb') as f:
                head = f.read(4096)
            with open(target, 'wb') as f:
                f.write(head)
                f.truncate(os.path.getsize(source))
        else:
            shutil.copyfile(source, target)

    def start(self):
        p = self.f.start('/s')
        self.addCleanup(self.s.kill, p)
        self.assertIsNotNone(self.s.wait_window(cls=SAVER_CLASS, timeout=30),
                             'the saver window did not appear')
        return p

    def run_saver_on(self, what, peak_limit):
        """Starts the saver on the file in place, checks it keeps running
        with bounded memory and ends on a key; returns the screen's box."""
        p = self.start()
        time.sleep(SETTLE)
        self.assertIsNone(p.poll(), '%s: the saver ended by itself' % what)
        box = box_of(self.s.screenshot())
        peak = peak_kib(p.pid)
        self.assertLess(peak, peak_limit, '%s: peak resident %d KiB' % (what, peak))
        self.assertIsNotNone(self.s.find_window(cls=SAVER_CLASS), '%s: the window is gone' % what)
        self.s.key('a')
        self.assertEqual(self.s.wait_exit(p, 15), 0, '%s: did not end on a key' % what)
        return box

    def test_no_bad_file_is_shown_or_does_harm(self):
        for name in self.names:
            with self.subTest(name):
                self.f.clear()
                self.put(name)
                box = self.run_saver_on(name, REFUSED_PEAK_KIB)
                if not name.startswith('corrupt-'):
                    # A corrupt file may still decode into something; the
                    # others never do.
                    self.assertIsNone(box, '%s: something was shown: %s' % (name, box))

    def test_after_a_bad_file_the_next_picture_comes_on_the_tick(self):
        self.put('bomb-png', 1)
        picture_corpus.good_picture(self.f.picture(2), 400, 300, 'png')
        p = self.start()
        started = time.monotonic()
        time.sleep(SETTLE)
        self.assertIsNone(box_of(self.s.screenshot()), 'the bad file: all black')
        box = picture_corpus.wait_for_box(self.s, lambda b: b is not None, timeout=TICK + 5)
        self.assertEqual(box, (200, 150, 400, 300))
        self.assertGreater(time.monotonic() - started, TICK - 3, 'the next picture came early')
        self.s.key('a')
        self.assertEqual(self.s.wait_exit(p, 15), 0)

    def test_largest_pictures_within_the_budget(self):
        # 64 Mi pixels in 1-bit PNGs of a few KB, all white: decoded and
        # shown. On this screen both are kept reduced as they are decoded
        # (they are many times its size), so they stay far below even the
        # bound for a picture kept at full size.
        for (w, h), expected in (((8192, 8192), (100, 0, 600, 600)),
                                 ((65536, 1024), (0, 293.75, 800, 12.5))):
            with self.subTest(size=(w, h)):
                self.f.clear()
                with open(self.f.picture(1), 'wb') as f:
                    f.write(picture_corpus.png_bomb(w, h, white=True))
                box = self.run_saver_on('%d x %d PNG' % (w, h), LARGEST_PEAK_KIB)
                self.assertIsNotNone(box)
                for got, want in zip(box, expected):
                    self.assertLessEqual(abs(got - want), 1, 'box %s' % (box,))


if __name__ == '__main__':
    unittest.main()
