#!/usr/bin/python3
"""Pictures on the real zarvo.scr under Wine, on an 800 x 600 screen: each
is scaled down to fit and centred on black, whatever its format, and the
next file comes on the tick.

Every placement is checked on a screenshot by the bounding box of the
non-black pixels. The pictures have a bright frame at their very edges, so
that box is the picture's whole area.

Run:  ZARVO_SCR=build/win32/zarvo.scr /usr/bin/python3 -m unittest -v test_pictures
(from tests/e2e).
"""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import picture_corpus  # noqa: E402
from picture_corpus import SaverFolder, box_of, wait_for_box  # noqa: E402

SCREEN = (800, 600)
TICK = 20.0  # seconds from one picture to the next

# Natural size -> where it shows (left, top, width, height), and the format
# it is made in.
PLACEMENTS = [
    ((400, 300), (200, 150, 400, 300), 'png'),
    ((1600, 800), (0, 100, 800, 400), 'jpeg'),
    ((300, 1200), (325, 0, 150, 600), 'progressive-jpeg'),
    ((1000, 1000), (100, 0, 600, 600), 'bmp'),
    ((1200, 900), (0, 0, 800, 600), 'gif'),
    ((800, 300), (0, 150, 800, 300), 'palette-png'),
    ((300, 600), (250, 0, 300, 600), 'tiff'),
    ((900, 500), (0, 77.8, 800, 444.4), 'cmyk-jpeg'),
    ((640, 480), (80, 60, 640, 480), 'rle-bmp'),
    ((2000, 1500), (0, 0, 800, 600), 'png16'),
]


class PicturesOnScreen(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession(screen='%dx%dx24' % SCREEN).start()
        cls.screen = cls.s.screen_size
        cls.f = SaverFolder(cls.s)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()
        cls.f.remove()

    def setUp(self):
        self.assertEqual(self.screen, SCREEN)
        self.f.clear()
        self.s.mousemove(SCREEN[0] // 2, SCREEN[1] // 2)

    def picture(self, index):
        return self.f.picture(index)

    def start(self):
        p, window = self.f.start()
        self.addCleanup(self.s.kill, p)
        self.assertIsNotNone(window, 'the saver window did not appear')
        return p

    def wait_for_box(self, predicate, timeout):
        return wait_for_box(self.s, predicate, timeout)

    def end_with_key(self, saver):
        self.s.key('a')
        self.assertEqual(self.s.wait_exit(saver, 15), 0, 'the saver did not end on a key')

    def assert_placed(self, box, expected, what):
        self.assertIsNotNone(box, '%s: nothing on the screen' % what)
        for got, want, name in zip(box, expected, ('left', 'top', 'width', 'height')):
            self.assertLessEqual(abs(got - want), 1, '%s: %s %s, expected %s (box %s)' % (
                what, name, got, want, box))

    def test_each_size_is_fitted_and_centred(self):
        for (natural, expected, fmt) in PLACEMENTS:
            with self.subTest(natural=natural, fmt=fmt):
                picture_corpus.good_picture(self.picture(1), natural[0], natural[1], fmt)
                saver = self.start()
                box = self.wait_for_box(
                    lambda b: b is not None and abs(b[2] - expected[2]) <= 1
                    and abs(b[3] - expected[3]) <= 1, timeout=10)
                self.assert_placed(box, expected, '%dx%d %s' % (natural + (fmt,)))
                self.end_with_key(saver)

    def test_exif_orientation_turns_the_picture_upright(self):
        # Stored 600 x 300, orientation 6 (turned a quarter clockwise): shown
        # 300 x 600, the stored top row down its right side.
        stored = self.picture(1) + '.jpg'
        picture_corpus.run_convert('-size', '600x300', 'xc:#000000',
                                   '-fill', '#ffffff', '-draw', 'rectangle 0,0 599,59',
                                   '-fill', '#808080', '-draw', 'rectangle 0,60 599,299',
                                   '-quality', '95', stored)
        with open(stored, 'rb') as f:
            data = f.read()
        os.remove(stored)
        with open(self.picture(1), 'wb') as f:
            f.write(picture_corpus.with_exif_orientation(data, 6))
        saver = self.start()
        box = self.wait_for_box(lambda b: b is not None and b[3] >= 599, timeout=10)
        self.assert_placed(box, (250, 0, 300, 600), 'orientation 6')
        img = self.s.screenshot()
        right = harness.pixel(img, 250 + 300 - 10, 300)  # in the white band
        left = harness.pixel(img, 250 + 10, 300)         # in the grey
        self.assertGreater(min(right), 200, right)
        self.assertLess(max(abs(c - 128) for c in left), 40, left)
        self.end_with_key(saver)

    def test_transparent_parts_are_black(self):
        # 400 x 300, transparent but for an opaque white square in the middle.
        picture_corpus.run_convert('-size', '400x300', 'xc:none', '-fill', '#ffffff',
                                   '-draw', 'rectangle 150,100 249,199',
                                   'PNG32:' + self.picture(1))
        saver = self.start()
        box = self.wait_for_box(lambda b: b is not None, timeout=10)
        self.assert_placed(box, (350, 250, 100, 100), 'transparent PNG')
        self.end_with_key(saver)

    def test_missing_file_is_black_for_one_tick_then_the_next_picture(self):
        picture_corpus.good_picture(self.picture(2), 400, 300, 'jpeg')
        saver = self.start()
        started = time.monotonic()
        time.sleep(2)
        self.assertIsNone(box_of(self.s.screenshot()), 'ZARVO001.DAT is missing: all black')
        box = self.wait_for_box(lambda b: b is not None, timeout=TICK + 5)
        waited = time.monotonic() - started
        self.assert_placed(box, (200, 150, 400, 300), 'ZARVO002.DAT after the tick')
        self.assertGreater(waited, TICK - 3, 'the next picture came before the tick')
        self.end_with_key(saver)


if __name__ == '__main__':
    unittest.main()
