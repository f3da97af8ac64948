#!/usr/bin/python3
"""Each picture format on zarvo.scr under Wine is decoded, scaled down to fit
and centred on black, as the box of a screenshot's non-black pixels shows."""
import unittest

from PIL import Image

import picture_corpus
from saver_fixture import convert

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


class PicturesOnScreen(picture_corpus.PictureTest):
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

    def test_the_next_picture_decoded_ahead_shows_on_the_tick(self):
        # Decoded and scaled while picture 1 shows; it must come out as a
        # picture decoded at its change does.
        picture_corpus.good_picture(self.picture(1), 400, 300, 'png')
        picture_corpus.good_picture(self.picture(2), 2000, 1000, 'jpeg')
        p, _ = self.start_saver()
        self.wait_box((0, 100, 800, 400), 25)
        self.end_with_key(p)

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


if __name__ == '__main__':
    unittest.main()
