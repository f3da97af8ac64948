#!/usr/bin/python3
"""Self-test of the end-to-end harness with Wine's own notepad.

Run:  cd tests/e2e && /usr/bin/python3 -m unittest -v test_harness_smoke
"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class HarnessSmokeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def test_environment(self):
        info = self.s.sysinfo()
        self.assertEqual(info['sysinfo']['dpi'], '96,96')
        self.assertEqual(info['locale']['acp'], 932)
        w, h = self.s.screen_size
        self.assertEqual(info['sysinfo']['screen'], '%d,%d' % (w, h))

    def test_notepad(self):
        s = self.s
        p = s.start_program('notepad')
        w = s.wait_window(cls='Notepad', timeout=20)
        self.assertIsNotNone(w, 'notepad window did not appear')
        self.assertIn('メモ帳', w['title'])
        self.assertEqual(w['visible'], 1)
        self.assertIn(w['hwnd'], [x['hwnd'] for x in s.windows()])

        # The window shows up on the screen (white edit area).
        img = s.screenshot()
        l, t, r, b = w['client']
        self.assertGreater(harness.count_color(img, (255, 255, 255), 0,
                                               (l, t, r, b)),
                           (r - l) * (b - t) // 2)
        self.assertIsNotNone(harness.bbox_non_black(img))

        # Real X key presses reach the edit control.
        xw = s.x_window(w)
        self.assertTrue(xw, 'no X window id for the notepad window')
        s.x_focus(xw)
        s.key('x', 'y', 'z')
        edit = harness.wait_until(
            lambda: [c for c in s.children(w['hwnd'])
                     if c['class'] == 'Edit' and c['text'] == 'xyz'], 5)
        self.assertTrue(edit, 'typed text did not arrive')

        # Close: WM_CLOSE brings up "save changes?"; answer No with a key.
        self.assertTrue(s.close_window(w['hwnd']))
        dlg = s.wait_window(cls='#32770', timeout=10)
        self.assertIsNotNone(dlg)
        self.assertEqual(dlg['owner'], w['hwnd'])
        buttons = [c['text'] for c in s.children(dlg['hwnd'])
                   if c['class'] == 'Button']
        self.assertIn('いいえ(&N)', buttons)
        s.key('n')
        self.assertEqual(s.wait_exit(p, 15), 0)
        self.assertTrue(s.wait_gone(w['hwnd'], 5))

    def test_program_pid_and_exit_code(self):
        s = self.s
        p = s.start_program(s.probe_exe, 'tray', '--height', '30')
        w = s.wait_window(cls='Shell_TrayWnd', timeout=20)
        self.assertIsNotNone(w)
        self.assertIn(w['xwin'], s.x_windows_of(p))
        s.close_window(w['hwnd'])
        self.assertEqual(s.wait_exit(p, 15), 0)
        self.assertIn('tray-exit', s.program_output(p))

    def test_tray_standin(self):
        s = self.s
        p, hwnd, stop = s.start_tray(height=40)
        try:
            found = s.find_window('Shell_TrayWnd')
            self.assertIsNotNone(found)
            self.assertEqual(found['hwnd'], hwnd)
            self.assertEqual(found['title'], '')
            self.assertEqual(found['visible'], 1)
            w, h = s.screen_size
            self.assertEqual(found['rect'], (0, h - 40, w, h))
            self.assertEqual(found['topmost'], 1)
            self.assertEqual(found['foreground'], 0)
            img = s.screenshot()
            self.assertEqual(harness.pixel(img, 5, h - 5), (32, 48, 96))
        finally:
            stop()
        self.assertIsNotNone(p.poll())

    def test_cursor_hidden_by_other_process(self):
        s = self.s
        s.mousemove(200, 200)
        self.assertEqual(s.cursor()['showing'], 1)
        p, hwnd, stop = s.start_cursor_hider()
        try:
            self.assertTrue(harness.wait_until(
                lambda: s.cursor()['foreground'] == hwnd, 5))
            # GetCursorInfo in another process sees the foreground thread's
            # ShowCursor(FALSE) ...
            self.assertEqual(s.cursor()['showing'], 0)
            # ... and the X server shows an invisible cursor over the window.
            s.mousemove_relative(3, 3)
            self.assertTrue(harness.wait_until(
                lambda: not s.x_cursor_visible(), 5))
            self.assertTrue(harness.is_black(s.screenshot()))
        finally:
            stop()
        self.assertTrue(harness.wait_until(
            lambda: s.cursor()['showing'] == 1, 5))

    def test_mouse(self):
        s = self.s
        s.mousemove(100, 120)
        self.assertEqual(s.pointer(), (100, 120))
        s.mousemove_relative(5, -7)
        self.assertEqual(s.pointer(), (105, 113))
        c = s.cursor()
        self.assertEqual((c['x'], c['y']), (105, 113))


if __name__ == '__main__':
    unittest.main()
