#!/usr/bin/python3
"""The real zarvo.scr under Wine: the switches, a second copy, the saver
window, what it takes from the desktop and how every way of ending it gives
the desktop back."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from saver_fixture import (SAVER_CLASS, WS_CAPTION, WS_EX_TOOLWINDOW, Saver,  # noqa: E402
                           make_folder)


class SaverUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = harness.WineSession().start()
        cls.folder, cls.scr = make_folder({1: (400, 300, '#20a040')})
        cls.width, cls.height = cls.s.screen_size

    @classmethod
    def tearDownClass(cls):
        cls.s.close()

    def setUp(self):
        self.s.mousemove(self.width // 2, self.height // 2)

    def start_saver(self):
        saver = Saver(self.s, self.scr, '/s')
        self.addCleanup(saver.stop)
        window = saver.wait_window()
        self.assertIsNotNone(window, 'the saver window did not appear')
        return saver, window

    def start_tray(self, decoy=None):
        _, hwnd, stop = self.s.start_tray(decoy=decoy)
        self.addCleanup(stop)
        return hwnd

    def tray_visible(self):
        recs = harness.parse_output(self.s.probe('tray-state')[1])
        return bool(recs and recs[0].get('visible'))

    def trays(self, tray):
        """(title, visible) of the Shell_TrayWnd windows of the process that
        made tray, front to back (Wine's explorer has one of its own)."""
        recs = harness.parse_output(self.s.probe('tray-state')[1], 'traywnd')
        pid = next(r['pid'] for r in recs if r['hwnd'] == tray)
        return [(r['title'], r['visible']) for r in recs if r['pid'] == pid]

    # --- the switches

    def test_preview_switch_does_nothing_and_ends(self):
        for args in (['/p'], ['/P', '1234']):
            saver = Saver(self.s, self.scr, *args)
            self.assertEqual(saver.exit_code(), 0, args)
            self.assertIsNone(self.s.find_window(cls=SAVER_CLASS), args)

    def test_configuration_switches_open_the_dialog(self):
        for args in (['/c'], ['/C', '1234'], ['/c:5678'], []):
            saver = Saver(self.s, self.scr, *args)
            dialog = self.s.wait_window(title='ZARVO', timeout=20)
            self.assertIsNotNone(dialog, args)
            self.s.close_window(dialog['hwnd'])
            self.assertEqual(saver.exit_code(), 0, args)

    def test_password_switch_shows_the_message_then_ends(self):
        for args in (['/a'], ['/A', '99']):
            saver = Saver(self.s, self.scr, *args)
            box = self.s.wait_window(cls='#32770', timeout=20)
            self.assertIsNotNone(box, args)
            self.assertEqual(box['title'], 'ZARVO')
            texts = [c['text'] for c in self.s.children(box['hwnd'])]
            self.assertIn('パスワードには対応しておりません。', texts)
            self.s.x_focus(self.s.x_window(box))
            self.s.key('Return')
            self.assertEqual(saver.exit_code(), 0, args)
            self.assertIsNone(self.s.find_window(cls=SAVER_CLASS))

    def test_every_other_switch_runs_the_saver(self):
        for args in (['/S'], ['-s'], ['/x'], ['q']):
            saver = Saver(self.s, self.scr, *args)
            window = saver.wait_window()
            self.assertIsNotNone(window, args)
            self.press_key(window, 'space')
            self.assertEqual(saver.exit_code(), 0, args)

    def test_second_copy_ends_at_once_whatever_its_switch(self):
        first, window = self.start_saver()
        for args in (['/s'], ['/c'], ['/a']):
            second = Saver(self.s, self.scr, *args)
            self.assertEqual(second.exit_code(), 0, args)
            shown = [w['hwnd'] for w in self.s.windows() if w['title'] == 'ZARVO'
                     or w['class'] in (SAVER_CLASS, '#32770')]
            self.assertEqual(shown, [window['hwnd']], args)
        self.assertIsNone(first.p.poll())

    # --- the saver window and the desktop

    def test_covers_the_screen_top_most_without_caption_and_hides_pointer_and_task_bar(self):
        self.start_tray()
        self.assertTrue(self.tray_visible())
        _, window = self.start_saver()
        self.assertEqual(window['rect'], (0, 0, self.width, self.height))
        self.assertEqual(window['topmost'], 1)
        self.assertEqual(window['style'] & WS_CAPTION, 0)
        self.assertTrue(window['exstyle'] & WS_EX_TOOLWINDOW, 'shown in the task bar')
        self.assertEqual(window['foreground'], 1)
        self.assertFalse(self.tray_visible())
        self.assertFalse(self.s.x_cursor_visible())
        shot = self.s.screenshot()
        # Black all round, the 400 x 300 picture in the middle.
        self.assertEqual(harness.bbox_non_black(shot),
                         ((self.width - 400) // 2, (self.height - 300) // 2,
                          (self.width + 400) // 2, (self.height + 300) // 2))

    def test_hides_only_the_task_bar_whose_title_is_empty(self):
        tray = self.start_tray(decoy='Decoy')
        self.assertEqual(self.trays(tray), [('Decoy', 1), ('', 1)])  # the decoy in front
        saver, window = self.start_saver()
        self.assertEqual(dict(self.trays(tray)), {'Decoy': 1, '': 0})
        self.press_key(window, 'a')
        self.assertEqual(saver.exit_code(), 0)
        self.assertEqual(dict(self.trays(tray)), {'Decoy': 1, '': 1})

    def check_ends_and_restores(self, end, exit_code=0):
        self.start_tray()
        saver, window = self.start_saver()
        self.assertFalse(self.tray_visible())
        end(window)
        if exit_code is None:  # a crash: whatever code the system's crash handling leaves
            self.assertIsNotNone(saver.exit_code(timeout=60), 'the saver did not end')
        else:
            self.assertEqual(saver.exit_code(), exit_code)
        self.assertTrue(self.tray_visible(), 'the task bar was left hidden')
        self.assertTrue(harness.wait_until(self.s.x_cursor_visible, 5), 'the pointer was left hidden')

    def press_key(self, window, key):
        # Keys go to the X window that has the focus; give it to the saver
        # first, so that the test does not race the window being mapped.
        self.s.x_focus(self.s.x_window(window))
        self.s.key(key)

    def test_key_ends_and_restores(self):
        self.check_ends_and_restores(lambda w: self.press_key(w, 'a'))

    def test_click_ends_and_restores(self):
        self.check_ends_and_restores(lambda w: self.s.click(3))

    def test_system_close_ends_and_restores(self):
        self.check_ends_and_restores(lambda w: self.s.close_window(w['hwnd']))

    def test_session_end_ends_and_restores(self):
        WM_ENDSESSION = 0x16
        self.check_ends_and_restores(lambda w: self.s.post_message(w['hwnd'], WM_ENDSESSION, 1, 0))

    def test_quit_message_from_outside_ends_and_restores(self):
        self.check_ends_and_restores(lambda w: self.s.probe('quit', hex(w['hwnd']), check=True))

    def test_fault_in_another_thread_ends_and_restores(self):
        self.check_ends_and_restores(lambda w: self.s.probe('fault', hex(w['hwnd']), check=True),
                                     exit_code=None)

    def test_diagonal_move_ends_and_restores(self):
        def move(_):
            self.s.mousemove_relative(1, 0)  # the first move only records the baseline
            self.s.mousemove_relative(9, 9)
        self.check_ends_and_restores(move)

    def test_move_along_one_axis_never_ends_it(self):
        # Over the black part of the form only: a baseline taken over the
        # picture would be in the picture's own coordinates.
        self.s.mousemove(50, 50)
        saver, _ = self.start_saver()
        self.s.mousemove(51, 50)
        for x, y in ((700, 50), (700, 54), (52, 590), (46, 20)):
            self.s.mousemove(x, y)
        self.assertIsNone(saver.exit_code(timeout=2), 'a move along one axis ended the saver')
        self.s.mousemove(90, 90)
        self.assertEqual(saver.exit_code(), 0)

    def test_baseline_over_the_picture_is_in_the_pictures_coordinates(self):
        # The pointer rests at the centre of the picture, which stands at
        # (200, 150) on an 800 x 600 screen: the baseline is (200, 150), and
        # a move onto the black at the same height compares the form's
        # numbers with it.
        self.s.mousemove(self.width // 2, self.height // 2)
        saver, _ = self.start_saver()
        self.s.mousemove(self.width // 2 + 1, self.height // 2)
        self.s.mousemove(self.width // 2 + 300, self.height // 2)
        self.assertEqual(saver.exit_code(), 0)

    def test_nothing_is_written_to_disk_or_registry(self):
        before = (prefix_files(self.s), user_registry(self.s),
                  self.s.registry_dump('HKLM\\Software'), folder_files(self.folder))
        saver, window = self.start_saver()
        self.press_key(window, 'Escape')
        self.assertEqual(saver.exit_code(), 0)
        after = (prefix_files(self.s), user_registry(self.s),
                 self.s.registry_dump('HKLM\\Software'), folder_files(self.folder))
        for was, now in zip(before, after):
            self.assertEqual(set(was.items()) ^ set(now.items()), set())


def folder_files(folder):
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            st = os.stat(os.path.join(root, name))
            found[os.path.join(root, name)] = (st.st_size, st.st_mtime_ns)
    return found


def user_registry(session):
    """HKEY_CURRENT_USER without the volatile key in which Wine keeps the
    settings a program changes for the session only (screen saving is
    switched on that way, without writing the user's profile)."""
    return {key: data for key, data in session.registry_dump('HKCU').items()
            if 'Temporary System Parameters' not in key[0]}


def prefix_files(session):
    """Files of the Wine prefix's C: drive, without Wine's own temporary
    and log folders."""
    drive = os.path.join(session.env['WINEPREFIX'], 'drive_c')
    return {path: stat for path, stat in folder_files(drive).items()
            if '/temp/' not in path.lower()}


if __name__ == '__main__':
    unittest.main()
