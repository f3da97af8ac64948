#!/usr/bin/python3
"""zarvo.scr under Wine: the switches, a second copy, the saver window, and
that every way of ending it gives back what it took from the desktop, even
when it is ended from outside or the shell stops answering."""
import unittest

import harness
from saver_fixture import DIALOG_CLASS, MESSAGE_CLASS, SAVER_CLASS, SaverTest

WS_CAPTION, WS_EX_TOOLWINDOW, WM_CLOSE, WM_ENDSESSION = 0x00C00000, 0x00000080, 0x10, 0x16


class SaverUnderWine(SaverTest):
    def start_tray(self, decoy=None):
        hwnd, stop = self.s.start_tray(decoy)
        self.addCleanup(stop)
        return hwnd

    def tray_visible(self, tray):
        return self.s.window_info(tray)['visible'] == 1

    def all_saver_processes_end(self):
        """Whether every process of zarvo.scr (a saver, a guard) ends within 10 s."""
        left = harness.wait_until(lambda: self.s.processes('zarvo.scr'), 10, ok=lambda v: not v)
        return not left

    def trays(self, tray):
        """{title: visible} of the task bars of tray's process, front to back
        (Wine's explorer has one of its own)."""
        pid = self.s.window_info(tray)['pid']
        return {w['title']: w['visible'] for w in self.s.windows(True, 'Shell_TrayWnd')
                if w['pid'] == pid}

    def assert_ended_and_restored(self, p, tray, exit_code=0):
        if exit_code is None:  # a crash: whatever code the system's crash handling leaves
            self.assertIsNotNone(self.s.wait_exit(p, 60), 'the saver did not end')
        else:
            self.assert_ends(p, exit_code=exit_code)
        # The task bar's thread (or the guard) shows it once the saver has gone.
        self.assertTrue(harness.wait_until(lambda: self.tray_visible(tray), 5),
                        'the task bar was left hidden')
        self.assertTrue(harness.wait_until(self.s.x_cursor_visible, 5),
                        'the pointer was left hidden')
        self.assertTrue(self.all_saver_processes_end(), 'its guard was left behind')

    def check_ends_and_restores(self, tray, end, exit_code=0):
        p, window = self.start_saver()
        self.assertFalse(self.tray_visible(tray))
        end(window)
        self.assert_ended_and_restored(p, tray, exit_code)

    def test_each_kind_of_switch(self):
        # Which characters ask for what is tested on the simulated host.
        with self.subTest('/p: nothing, and the program ends'):
            self.assert_ends(self.start('/p'), '/p')
            self.assertFalse(self.s.windows(True, SAVER_CLASS))
        with self.subTest('no switch: the configuration dialog'):
            p = self.start()
            dialog = self.s.wait_window(cls=DIALOG_CLASS, timeout=20)
            self.assertIsNotNone(dialog)
            self.s.probe('post', dialog['hwnd'], WM_CLOSE)
            self.assert_ends(p, 'closing')
        with self.subTest('/a: the message that passwords are not supported'):
            p = self.start('/a')
            box = self.s.wait_window(cls=MESSAGE_CLASS, title='ZARVO', timeout=20)
            self.assertIsNotNone(box)
            self.assertIn('パスワードには対応しておりません。',
                          [c['text'] for c in self.s.probe('children', box['hwnd'])])
            self.s.key('Return', window=box)
            self.assert_ends(p, 'Enter')
            self.assertFalse(self.s.windows(True, SAVER_CLASS))

    def test_second_copy_ends_at_once(self):
        first, window = self.start_saver()
        self.assert_ends(self.start('/s'), 'the first copy')
        self.assertEqual([w['hwnd'] for w in self.s.windows(cls=SAVER_CLASS)], [window['hwnd']])
        self.assertIsNone(first.poll())

    def test_covers_the_screen_top_most_without_caption_and_hides_the_pointer(self):
        # Hiding the task bar is checked with every way of ending it, below.
        _, window = self.start_saver()
        self.assertEqual(window['rect'], (0, 0, self.width, self.height))
        self.assertEqual((window['topmost'], window['foreground'], window['style'] & WS_CAPTION),
                         (1, 1, 0))
        self.assertTrue(window['exstyle'] & WS_EX_TOOLWINDOW, 'shown in the task bar')
        self.assertFalse(self.s.x_cursor_visible())
        # Black all round, the 400 x 300 picture in the middle.
        self.assertEqual(harness.bbox_non_black(self.s.screenshot()),
                         ((self.width - 400) // 2, (self.height - 300) // 2,
                          (self.width + 400) // 2, (self.height + 300) // 2))

    def test_hides_only_the_task_bar_whose_title_is_empty(self):
        tray = self.start_tray(decoy='Decoy')
        self.assertEqual(list(self.trays(tray).items()), [('Decoy', 1), ('', 1)])  # decoy in front
        p, window = self.start_saver()
        self.assertEqual(self.trays(tray), {'Decoy': 1, '': 0})
        self.end_with_key(p, window)
        self.assertEqual(self.trays(tray), {'Decoy': 1, '': 1})

    def test_each_way_of_ending_restores(self):
        tray = self.start_tray()
        ways = {
            'key': lambda w: self.s.key('a', window=w),
            'click': lambda w: self.s.click(3),
            'system close': lambda w: self.s.probe('post', w['hwnd'], WM_CLOSE),
            'session end': lambda w: self.s.probe('post', w['hwnd'], WM_ENDSESSION, 1),
        }
        for name, end in ways.items():
            with self.subTest(name):
                self.check_ends_and_restores(tray, end)

    def test_quit_message_from_outside_ends_and_restores(self):
        self.check_ends_and_restores(self.start_tray(), lambda w: self.s.probe('quit', w['hwnd']))

    def test_fault_in_another_thread_ends_and_restores(self):
        self.check_ends_and_restores(self.start_tray(), lambda w: self.s.probe('fault', w['hwnd']),
                                     exit_code=None)

    # Ended from outside (taskkill /f calls TerminateProcess, as Task Manager
    # does), nothing of the saver's runs: its guard shows the task bar. A hung
    # shell carries out requests only once it answers again: neither the
    # saver nor its guard may wait for it, and what they asked is done then.
    def test_ended_from_outside_or_with_the_shell_hung_the_task_bar_comes_back(self):
        tray = self.start_tray()
        key, kill = lambda p, w: self.s.key('a', window=w), lambda p, w: p.kill()
        cases = {  # name: when the shell hangs (None: never), the end, its exit code
            'TerminateProcess': (None, lambda p, w: self.s.run('taskkill', '/f', '/pid', w['pid']),
                                 None),
            'killed outright': (None, kill, None),
            'a key, the shell hung while it runs': ('after', key, 0),
            'a key, the shell hung from before': ('before', key, 0),
            'killed, the shell hung while it runs': ('after', kill, None),
        }
        for name, (hang, end, exit_code) in cases.items():
            with self.subTest(name):
                if hang == 'before':
                    self.s.hang_tray(tray)
                p, window = self.start_saver()
                self.assertEqual(self.tray_visible(tray), hang == 'before')
                if hang:
                    self.s.hang_tray(tray)
                end(p, window)
                self.assertIsNotNone(self.s.wait_exit(p, 15), 'the saver waits for the shell')
                self.assertTrue(self.all_saver_processes_end(), 'the guard waits for the shell')
                if hang:
                    self.s.hang_tray(tray, False)
                self.assert_ended_and_restored(p, tray, exit_code)

    def test_move_along_one_axis_never_ends_it(self):
        # Over the black only, so the baseline is in screen coordinates.
        tray = self.start_tray()
        self.s.mousemove(50, 50)
        p, _ = self.start_saver()
        self.s.mousemove(51, 50)  # the first move only takes the baseline
        self.assertIsNone(self.s.wait_exit(p, 2), 'the first move ended the saver')
        for x, y in ((700, 50), (700, 54), (52, 590), (46, 20)):
            self.s.mousemove(x, y)
        self.assertIsNone(self.s.wait_exit(p, 2), 'a move along one axis ended the saver')
        self.s.mousemove(90, 90)
        self.assert_ended_and_restored(p, tray)

    def test_baseline_over_the_picture_is_in_the_pictures_coordinates(self):
        # The baseline taken at the picture's centre is (200, 150); a move
        # onto the black at the same height, in screen numbers, ends it.
        p, _ = self.start_saver()
        self.s.mousemove(self.width // 2 + 1, self.height // 2)
        self.s.mousemove(self.width // 2 + 300, self.height // 2)
        self.assert_ends(p, 'a move on both axes')


if __name__ == '__main__':
    unittest.main()
