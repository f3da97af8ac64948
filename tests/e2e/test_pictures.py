#!/usr/bin/python3
"""Pictures on the real zarvo.scr under Wine, on an 800 x 600 screen: each
format is decoded, scaled down to fit and centred on black. Placements are
checked on screenshots by the bounding box of the non-black pixels; the
pictures have a bright frame at their very edges, so that box is the
picture's whole area."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import picture_corpus  # noqa: E402
from saver_fixture import SAVER_CLASS, SaverFolder  # noqa: E402

SCREEN = (800, 600)

# Format, natural size, and where it shows (left, top, width, height): one
# of each format and of each way through the decoder (rows copied as they
# are, converted by WIC, reduced while read, placed on a GIF's screen, the
# largest of an icon's images).
PLACEMENTS = [
    ('png', (400, 300), (200, 150, 400, 300)),
    ('jpeg', (1600, 800), (0, 100, 800, 400)),
    ('progressive-jpeg', (300, 1200), (325, 0, 150, 600)),
    ('cmyk-jpeg', (900, 500), (0, 77.8, 800, 444.4)),
    ('bmp', (1000, 1000), (100, 0, 600, 600)),
    ('rle-bmp', (640, 480), (80, 60, 640, 480)),
    ('gif', (1200, 900), (0, 0, 800, 600)),
    ('placed-gif', (400, 200), (200, 200, 400, 200)),  # on a screen of 800 x 400
    ('palette-png', (800, 300), (0, 150, 800, 300)),
    ('png16', (2000, 1500), (0, 0, 800, 600)),
    ('tiff', (300, 600), (250, 0, 300, 600)),
    ('ico', (256, 256), (272, 172, 256, 256)),
]


class PicturesOnScreen(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.f = SaverFolder(cls.s)

    @classmethod
    def tearDownClass(cls):
        cls.s.close()
        cls.f.remove()

    def setUp(self):
        self.assertEqual(self.s.screen_size, SCREEN)
        self.f.clear()
        self.s.mousemove(SCREEN[0] // 2, SCREEN[1] // 2)

    def show(self, expected, what):
        """Starts the saver on ZARVO001.DAT, checks the picture shows at
        expected, ends it with a key and returns the last screenshot."""
        p = self.f.start('/s')
        self.addCleanup(self.s.kill, p)
        self.assertIsNotNone(self.s.wait_window(cls=SAVER_CLASS, timeout=30))
        box = picture_corpus.wait_for_box(self.s, lambda b: b is not None and all(
            abs(got - want) <= 1 for got, want in zip(b, expected)), timeout=10)
        self.assertIsNotNone(box, '%s: nothing on the screen' % what)
        for got, want in zip(box, expected):
            self.assertLessEqual(abs(got - want), 1, '%s: box %s, expected %s' % (
                what, box, expected))
        img = self.s.screenshot()
        self.s.key('a')
        self.assertEqual(self.s.wait_exit(p, 15), 0, 'the saver did not end on a key')
        return img

    def test_each_format_is_fitted_and_centred(self):
        for fmt, natural, expected in PLACEMENTS:
            with self.subTest(fmt):
                picture_corpus.good_picture(self.f.picture(1), natural[0], natural[1], fmt)
                self.show(expected, fmt)

    def test_exif_orientation_turns_the_picture_upright(self):
        # Stored 600 x 300, orientation 6 (turned a quarter clockwise): shown
        # 300 x 600, the stored top row down its right side.
        stored = self.f.picture(1) + '.jpg'
        picture_corpus.run_convert('-size', '600x300', 'xc:#808080', '-fill', '#ffffff',
                                   '-draw', 'rectangle 0,0 599,59', '-quality', '95', stored)
        with open(stored, 'rb') as f:
            data = f.read()
        os.remove(stored)
        with open(self.f.picture(1), 'wb') as f:
            f.write(picture_corpus.with_exif_orientation(data, 6))
        img = self.show((250, 0, 300, 600), 'orientation 6')
        right = harness.pixel(img, 250 + 300 - 10, 300)  # in the white band
        left = harness.pixel(img, 250 + 10, 300)  # in the grey
        self.assertGreater(min(right), 200, right)
        self.assertLess(max(abs(c - 128) for c in left), 40, left)

    def test_transparent_parts_are_black(self):
        # 400 x 300, transparent but for an opaque white square in the middle.
        picture_corpus.run_convert('-size', '400x300', 'xc:none', '-fill', '#ffffff',
                                   '-draw', 'rectangle 150,100 249,199',
                                   'PNG32:' + self.f.picture(1))
        self.show((350, 250, 100, 100), 'transparent PNG')


if __name__ == '__main__':
    unittest.main()
