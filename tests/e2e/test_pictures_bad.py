#!/usr/bin/python3
"""Bad files as ZARVO001.DAT of zarvo.scr under Wine: none is shown, crashes
or hangs it, memory stays bounded, a key ends it, the next picture comes."""
import time
import unittest

import harness
import picture_corpus
from saver_fixture import SAVER_CLASS, near

TICK = 20.0  # seconds from one picture to the next
# Peak resident memory with a refused file: the program and Wine's share,
# far below what any of these files would take decoded.
REFUSED_PEAK_KIB = 160 * 1024
# The largest picture we decode (64 Mi pixels) kept at full size would take
# 256 MiB, plus the decoder's own copy.
LARGEST_PEAK_KIB = 600 * 1024
SETTLE = 1.5  # seconds after the window appears: a refused load is long done


class BadFiles(picture_corpus.PictureTest):
    def run_saver_on(self, what, peak_limit):
        """Runs the saver on the file in place, checks it keeps running with
        bounded memory and ends on a key; returns the screen's box."""
        p, _ = self.start_saver()
        try:
            return self.check_saver_on(p, what, peak_limit)
        finally:
            self.s.kill(p)  # before the next file's saver, which would be a second copy

    def check_saver_on(self, p, what, peak_limit):
        time.sleep(SETTLE)
        self.assertIsNone(p.poll(), '%s: the saver ended by itself' % what)
        box = self.screen_box()
        with open('/proc/%d/status' % p.pid) as f:
            peak = int(next(line for line in f if line.startswith('VmHWM:')).split()[1])
        self.assertLess(peak, peak_limit, '%s: peak resident %d KiB' % (what, peak))
        self.assertTrue(self.s.windows(True, SAVER_CLASS), '%s: the window is gone' % what)
        self.end_with_key(p)
        return box

    def test_no_bad_file_is_shown_or_does_harm(self):
        for name, make in picture_corpus.bad_files().items():
            with self.subTest(name):
                self.clear()
                make(self.picture(1))
                box = self.run_saver_on(name, REFUSED_PEAK_KIB)
                if not name.startswith('corrupt-'):  # a corrupt file may still decode
                    self.assertIsNone(box, '%s: something was shown: %s' % (name, box))

    def test_after_a_bad_file_the_next_picture_comes_on_the_tick(self):
        picture_corpus.bad_files()['bomb-png'](self.picture(1))
        picture_corpus.good_picture(self.picture(2), 400, 300, 'png')
        p, _ = self.start_saver()
        started = time.monotonic()
        # The bad file itself shows nothing (tested above): only picture 2 can come.
        box = harness.wait_until(self.screen_box, TICK + 5, 0.2)
        self.assertEqual(box, (200, 150, 400, 300))
        self.assertGreater(time.monotonic() - started, TICK - 3, 'the next picture came early')
        self.end_with_key(p)

    def test_largest_pictures_within_the_budget(self):
        # 64 Mi pixels in 1-bit white PNGs of a few KB, many times the
        # screen's size: kept reduced as they are decoded.
        for (w, h), expected in (((8192, 8192), (100, 0, 600, 600)),
                                 ((65536, 1024), (0, 293.75, 800, 12.5))):
            with self.subTest(size=(w, h)):
                self.clear()
                picture_corpus.write(self.picture(1), picture_corpus.png_bomb(w, h, white=True))
                box = self.run_saver_on('%d x %d PNG' % (w, h), LARGEST_PEAK_KIB)
                self.assertTrue(near(box, expected), 'box %s' % (box,))


if __name__ == '__main__':
    unittest.main()
