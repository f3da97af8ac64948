#!/usr/bin/python3
"""Pictures on zarvo.scr under Wine, fitted and centred on black as the box
of a screenshot's non-black pixels shows; no bad file is shown, crashes or
hangs it, and memory stays bounded."""
import time
import unittest

from PIL import Image

import picture_corpus
from saver_fixture import SAVER_CLASS, SaverTest, near

# Format, natural size, and where it shows (left, top, width, height): one
# of each way through the decoder (rows copied as they are, converted by WIC
# from CMYK, a palette or 16 bits, placed on a GIF's screen, the largest of
# an icon's images, a format only the system's codecs know, read from the
# file beyond the head held in memory).
PLACEMENTS = [
    ('png', (400, 300), (200, 150, 400, 300)), ('jpeg', (1600, 800), (0, 100, 800, 400)),
    ('cmyk-jpeg', (900, 500), (0, 77.8, 800, 444.4)),
    ('placed-gif', (400, 200), (200, 200, 400, 200)),  # on a screen of 800 x 400
    ('palette-png', (800, 300), (0, 150, 800, 300)), ('png16', (2000, 1500), (0, 0, 800, 600)),
    ('ico', (256, 256), (272, 172, 256, 256)), ('jxr', (1200, 600), (0, 100, 800, 400)),
    ('big-tiff', (1500, 1100), (0, 6.7, 800, 586.7)),
]
# Peak resident memory with a refused file: the program and Wine's share,
# far below what any of these files would take decoded.
REFUSED_PEAK_KIB = 160 * 1024
# The largest picture we decode (64 Mi pixels) kept at full size would take
# 256 MiB, plus the decoder's own copy.
LARGEST_PEAK_KIB = 600 * 1024
SETTLE = 1.5  # seconds after the window appears: a refused load is long done


class PicturesUnderWine(SaverTest):
    def setUp(self):
        self.assertEqual((self.width, self.height), (800, 600))
        self.clear()
        super().setUp()

    def show(self, expected):
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
        stored, exif = Image.new('RGB', (600, 300), (128, 128, 128)), Image.Exif()
        stored.paste((255, 255, 255), (0, 0, 600, 60))
        exif[0x0112] = 6
        stored.save(self.picture(1), 'JPEG', quality=95, exif=exif)
        img = self.show((250, 0, 300, 600))
        right, left = img.getpixel((540, 300)), img.getpixel((260, 300))
        self.assertGreater(min(right), 200, right)
        self.assertLess(max(abs(c - 128) for c in left), 40, left)

    def test_embedded_display_p3_profile_is_shown_in_srgb(self):
        # A flat colour in Display P3 shows as Little CMS converts it; kept
        # at full size (PNG, its profile from the codec) and reduced while
        # read (JPEG, from our reader).
        colour, p3 = (200, 60, 40), picture_corpus.display_p3_profile()
        expected = picture_corpus.p3_to_srgb(colour)
        for fmt, size, box, options in (
                ('PNG', (400, 300), (200, 150, 400, 300), {}),
                ('JPEG', (1600, 800), (0, 100, 800, 400), {'quality': 100, 'subsampling': 0})):
            with self.subTest(fmt):
                Image.new('RGB', size, colour).save(self.picture(1), fmt, icc_profile=p3, **options)
                shown = self.show(box).getpixel((400, 300))[:3]
                self.assertLessEqual(max(abs(a - b) for a, b in zip(shown, expected)), 2,
                                     '%s shows %s, not %s' % (fmt, shown, expected))

    def test_no_bad_file_is_shown_or_does_harm_and_the_largest_are_reduced(self):
        # name: what writes the file, the peak memory, where it shows (None: nowhere)
        files = {name: (make, REFUSED_PEAK_KIB, None)
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
                p, _ = self.start_saver()
                try:
                    time.sleep(SETTLE)
                    self.assertIsNone(p.poll(), 'the saver ended by itself')
                    box = self.screen_box()
                    with open('/proc/%d/status' % p.pid) as f:
                        peak = int(next(v for v in f if v.startswith('VmHWM:')).split()[1])
                    self.assertLess(peak, peak_limit, 'peak resident %d KiB' % peak)
                    self.assertTrue(self.s.windows(True, SAVER_CLASS), 'the window is gone')
                    self.end_with_key(p)
                finally:
                    self.s.kill(p)  # before the next file's saver, which would be a second copy
                self.assertTrue(near(box, expected) if expected else box is None, box)


if __name__ == '__main__':
    unittest.main()
