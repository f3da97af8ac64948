#!/usr/bin/python3
"""zarvo.scr under Wine with a second monitor, larger than the primary, to
its right, or to its left at negative coordinates."""
import re
import unittest

import harness
import monitors
import picture_corpus
from saver_fixture import SaverTest, near

COVER_CLASS = 'ZarvoCover'
# Wine's +bitmap channel logs each CreateDIBSection; the saver makes its
# picture bitmaps top-down (a negative height) with 32 bits a pixel.
DIB_TRACE = re.compile(r'format \((\d+),-(\d+)\), planes 1, bpp 32\b')


class TwoMonitors(SaverTest):
    """Heads, the primary first, and where pictures 1 (400 x 250) and 2
    (1500 x 1125) show on the primary."""
    HEADS = SHOWN = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.display = monitors.Display(cls.s, cls.HEADS, white_root=True).__enter__()
        cls.addClassCleanup(cls.display.__exit__, None, None, None)
        cls.s.windows()  # Wine's explorer starts for the display, before any saver
        cls.primary, cls.others = cls.display.primary, cls.display.monitors[1:]

    def shot(self, rect):
        return self.s.screenshot().crop(self.display.root_rect(rect))

    def wait_primary_box(self, expected, timeout=10):
        self.wait_box(expected, timeout, self.display.root_rect(self.primary))

    def test_pictures_fitted_to_the_primary_the_other_monitor_black_a_move_over_it_ends_it(self):
        # The X root is white where no window covers it.
        for other in self.others:
            self.assertIsNotNone(harness.bbox_non_black(self.shot(other)), 'black before the saver')
        # 1500 x 1125 fits either primary only scaled (no whole-factor
        # reduction gives it), to another size on each. The bitmap made
        # while picture 1 shows must be the one its change paints: no other
        # is made for it.
        first, shown = self.SHOWN
        picture_corpus.good_picture(self.picture(1), 400, 250)
        picture_corpus.good_picture(self.picture(2), 1500, 1125)
        self.s.mousemove(*self.display.root_point(self.primary[2] // 2, self.primary[3] // 2))
        p, window = self.start_saver(env={'WINEDEBUG': '-all,+bitmap'})
        self.assertEqual(window['rect'], self.primary)
        self.wait_primary_box(first)
        covers = harness.wait_until(lambda: [w['rect'] for w in self.s.windows(cls=COVER_CLASS)],
                                    ok=lambda c: len(c) == len(self.others))
        self.assertCountEqual(covers, self.others)
        lit = harness.wait_until(
            lambda: [o for o in self.others if harness.bbox_non_black(self.shot(o))],
            ok=lambda v: not v)
        self.assertEqual(lit, [], 'monitors not black')

        def bitmaps():
            made = [(int(w), int(h)) for w, h in DIB_TRACE.findall(self.s.program_output(p))]
            return made, [(w, h) for w, h in made if w > 400 and abs(3 * w - 4 * h) <= 4]
        made, ahead = harness.wait_until(bitmaps, 15, 0.2, lambda b: b[1])
        self.assertIn((400, 250), made, 'Wine logged no bitmap of picture 1: %s' % made)
        self.assertTrue(ahead, 'no bitmap of picture 2 made ahead of its tick')
        self.assertTrue(near(self.screen_box(self.display.root_rect(self.primary)), first),
                        'picture 2 showed before its bitmap was seen made')
        self.wait_primary_box(shown, 30)
        self.assertEqual(bitmaps()[1], [shown[2:]], 'the bitmaps made of picture 2 (width, height)')
        # Over the other monitor, the first move after the load takes the
        # baseline, the next ends it (how far a move must go is tested on
        # the simulated host).
        other = self.others[0]
        x, y = self.display.root_point((other[0] + other[2]) // 2, (other[1] + other[3]) // 2)
        self.s.mousemove(x, y)
        self.s.mousemove(x + 40, y + 40)
        self.assert_ends(p, 'a move over the other monitor')


class OtherMonitorOnTheRight(TwoMonitors):
    # Windows' monitors: (0, 0, 800, 600) primary, (800, 0, 2080, 768).
    HEADS = '800x600+0+0,1280x768+800+0'
    SHOWN = (200, 175, 400, 250), (0, 0, 800, 600)


class OtherMonitorOnTheLeft(TwoMonitors):
    # Windows' monitors: (0, 0, 1024, 768) primary, (-1280, 0, 0, 1024).
    HEADS = '1024x768+1280+0,1280x1024+0+0'
    SHOWN = (312, 259, 400, 250), (0, 0, 1024, 768)


del TwoMonitors  # only its layouts run

if __name__ == '__main__':
    unittest.main()
