#!/usr/bin/python3
"""Pictures on zarvo.scr under Wine: each format is decoded, scaled down to
fit and centred on black, as the box of a screenshot's non-black pixels
shows; no bad file is shown, crashes or hangs it, memory stays bounded and
a key ends it. The next picture's coming, after a good file or a bad one, is
tested on the simulated host, and its bitmap made ahead in test_monitors.py."""
import time
import unittest

from PIL import Image

import picture_corpus
from saver_fixture import SAVER_CLASS, SaverTest, convert, near

# Format, natural size, and where it shows (left, top, width, height): one
# of each format and of each way through the decoder (rows copied as they
# are, converted by WIC, reduced while read, placed on a GIF's screen, the
# largest of an icon's images).
PLACEMENTS = [
    ('png', (400, 300), (200, 150, 400, 300)), ('jpeg', (1600, 800), (0, 100, 800, 400)),
    ('progressive-jpeg', (300, 1200), (325, 0, 150, 600)),
    ('cmyk-jpeg', (900, 500), (0, 77.8, 800, 444.4)), ('bmp', (1000, 1000), (100, 0, 600, 600)),
    ('rle-bmp', (640, 480), (80, 60, 640, 480)), ('gif', (1200, 900), (0, 0, 800, 600)),
    ('placed-gif', (400, 200), (200, 200, 400, 200)),  # on a screen of 800 x 400
    ('palette-png', (800, 300), (0, 150, 800, 300)), ('png16', (2000, 1500), (0, 0, 800, 600)),
    ('tiff', (300, 600), (250, 0, 300, 600)), ('ico', (256, 256), (272, 172, 256, 256)),
    ('dds', (640, 480), (80, 60, 640, 480)), ('tga', (1000, 500), (0, 100, 800, 400)),
    ('jxr', (1200, 600), (0, 100, 800, 400)),
    ('big-bmp', (1600, 1200), (0, 0, 800, 600)), ('big-tiff', (1500, 1100), (0, 6.7, 800, 586.7)),
]
# Peak resident memory with a refused file: the program and Wine's share,
# far below what any of these files would take decoded.
REFUSED_PEAK_KIB = 160 * 1024
# The largest picture we decode (64 Mi pixels) kept at full size would take
# 256 MiB, plus the decoder's own copy.
LARGEST_PEAK_KIB = 600 * 1024
SETTLE = 1.5  # seconds after the window appears: a refused load is long done


class PicturesUnderWine(SaverTest):
    """Saver runs on an 800 x 600 screen, each from an empty folder."""

    def setUp(self):
        self.assertEqual((self.width, self.height), (800, 600))
        self.clear()
        super().setUp()

    def show(self, expected):
        """Runs the saver on ZARVO001.DAT; returns the screenshot with the
        picture at expected."""
        p, _ = self.start_saver()
        self.wait_box(expected)
        img = self.s.screenshot()
        self.end_with_key(p)
        return img

    def test_each_format_is_fitted_and_centred(self):
        for fmt, natural, expected in PLACEMENTS:
            with self.subTest(fmt):
                picture_corpus.good_picture(self.picture(1), *natural, fmt)
                self.show(expected)

    def test_exif_orientation_turns_the_picture_upright(self):
        # Stored 600 x 300 with a white band along its top, orientation 6
        # (turned a quarter clockwise): shown 300 x 600, the band on the right.
        convert('-size', '600x300', 'xc:#808080', '-fill', '#ffffff', '-draw',
                'rectangle 0,0 599,59', '-quality', '95', 'JPEG:' + self.picture(1))
        with open(self.picture(1), 'rb') as f:
            data = f.read()
        picture_corpus.write(self.picture(1), picture_corpus.with_exif_orientation(data, 6))
        img = self.show((250, 0, 300, 600))
        right, left = img.getpixel((540, 300)), img.getpixel((260, 300))
        self.assertGreater(min(right), 200, right)
        self.assertLess(max(abs(c - 128) for c in left), 40, left)

    def test_transparent_parts_are_black(self):
        # Transparent but for an opaque white square in the middle.
        convert('-size', '400x300', 'xc:none', '-fill', '#ffffff', '-draw',
                'rectangle 150,100 249,199', 'PNG32:' + self.picture(1))
        self.show((350, 250, 100, 100))

    def test_embedded_display_p3_profile_is_shown_in_srgb(self):
        # A flat colour in Display P3 shows as Little CMS converts it; kept
        # at full size (PNG, its profile from the codec) and reduced while
        # read (JPEG, from our reader). Untagged, the same levels show as
        # they are.
        colour, p3 = (200, 60, 40), picture_corpus.display_p3_profile()
        cases = [('PNG', (400, 300), (200, 150, 400, 300), p3),
                 ('JPEG', (1600, 800), (0, 100, 800, 400), p3),
                 ('PNG', (400, 300), (200, 150, 400, 300), None)]
        for fmt, size, box, profile in cases:
            with self.subTest(fmt, tagged=bool(profile)):
                options = {'icc_profile': profile} if profile else {}
                if fmt == 'JPEG':
                    options.update(quality=100, subsampling=0)
                Image.new('RGB', size, colour).save(self.picture(1), fmt, **options)
                shown = self.show(box).getpixel((400, 300))[:3]
                expected = picture_corpus.p3_to_srgb(colour) if profile else colour
                self.assertLessEqual(max(abs(a - b) for a, b in zip(shown, expected)), 2,
                                     '%s shows %s, not %s' % (fmt, shown, expected))

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

    def test_no_bad_file_is_shown_or_does_harm_and_the_largest_are_reduced(self):
        # name: what writes the file, the peak memory, where it shows (None:
        # nowhere, ...: a corrupt file may still decode).
        files = {name: (make, REFUSED_PEAK_KIB, ... if name.startswith('corrupt-') else None)
                 for name, make in picture_corpus.bad_files().items()}
        # 64 Mi pixels in 1-bit white PNGs of a few KB, many times the
        # screen's size: kept reduced as they are decoded.
        for (w, h), expected in (((8192, 8192), (100, 0, 600, 600)),
                                 ((65536, 1024), (0, 293.75, 800, 12.5))):
            files['%d x %d PNG' % (w, h)] = (lambda path, w=w, h=h: picture_corpus.write(
                path, picture_corpus.png_bomb(w, h, white=True)), LARGEST_PEAK_KIB, expected)
        for name, (make, peak_limit, expected) in files.items():
            with self.subTest(name):
                self.clear()
                make(self.picture(1))
                box = self.run_saver_on(name, peak_limit)
                if expected is not ...:
                    self.assertTrue(box == expected or near(box, expected), 'box %s' % (box,))


if __name__ == '__main__':
    unittest.main()
