#!/usr/bin/python3
"""zarvo.scr under Wine: the window, a second copy, and what each way of
ending it gives back, even ended from outside or with the shell hung."""
import contextlib
import glob
import os
import unittest

import harness
from saver_fixture import SAVER_CLASS, SaverTest

WS_CAPTION, WS_EX_TOOLWINDOW, WM_ENDSESSION = 0x00C00000, 0x00000080, 0x16


class SaverUnderWine(SaverTest):
    def saver_processes(self):
        """This class's zarvo.scr's processes (a saver, a guard): Wine puts a
        program's path in its Unix command line."""
        found = []
        for cmdline in glob.glob('/proc/[0-9]*/cmdline'):
            with contextlib.suppress(OSError), open(cmdline, 'rb') as f:
                if os.path.basename(self.folder).encode() in f.read():
                    found.append(cmdline)
        return found

    def trays(self, tray):
        """{title: visible} of the task bars of tray's process, front to back
        (Wine's explorer has one of its own)."""
        pid = self.s.window_info(tray)['pid']
        return {w['title']: w['visible'] for w in self.s.windows(True, 'Shell_TrayWnd')
                if w['pid'] == pid}

    def test_one_copy_covers_the_screen_on_top_without_caption_and_pointer_until_a_move(self):
        first, window = self.start_saver()
        self.assertEqual(window['rect'], (0, 0, self.width, self.height))
        self.assertEqual((window['topmost'], window['foreground'], window['style'] & WS_CAPTION),
                         (1, 1, 0))
        self.assertTrue(window['exstyle'] & WS_EX_TOOLWINDOW, 'shown in the task bar')
        self.assertFalse(self.s.x_cursor_visible())
        self.assert_ends(self.start('/s'), 'the first copy')  # a second copy ends at once
        self.assertEqual([w['hwnd'] for w in self.s.windows(cls=SAVER_CLASS)], [window['hwnd']])
        self.assertIsNone(first.poll())
        # The first move only takes the baseline: at the picture's centre it
        # is (200, 150); a move onto the black at the same height, in screen
        # numbers, ends it.
        self.s.mousemove(self.width // 2 + 1, self.height // 2)
        self.s.mousemove(self.width // 2 + 300, self.height // 2)
        self.assert_ends(first, 'a move on both axes')

    # Ended from outside (taskkill /f calls TerminateProcess, as Task Manager
    # does), nothing of the saver's runs: its guard shows the task bar. A hung
    # shell carries out requests only once it answers again: neither the
    # saver nor its guard may wait for it, and what they asked is done then.
    def test_each_way_of_ending_gives_back_the_task_bar_and_pointer(self):
        # Only the task bar whose title is empty is hidden, not a decoy of its class in front.
        tray, stop = self.s.start_tray(decoy='Decoy')
        self.addCleanup(stop)
        self.assertEqual(list(self.trays(tray).items()), [('Decoy', 1), ('', 1)])
        key, kill = lambda p, w: self.s.key('a', window=w), lambda p, w: p.kill()

        def probe(command, *args):
            return lambda p, w: self.s.probe(command, w['hwnd'], *args)
        fault = probe('fault')
        ways = {  # name: the end, when the shell hangs (None: never), the exit code (None: any)
            'key': (key, None, 0), 'click': (lambda p, w: self.s.click(3), None, 0),
            'session end': (probe('post', WM_ENDSESSION, 1), None, 0),
            'WM_QUIT from outside': (probe('quit'), None, 0),
            # A crash: whatever code the system's crash handling leaves.
            'a fault in another thread': (fault, None, None),
            'TerminateProcess': (lambda p, w: self.s.run('taskkill', '/f', '/pid', w['pid']),
                                 None, None),
            'a key, the shell hung while it runs': (key, 'after', 0),
            'a key, the shell hung from before': (key, 'before', 0),
            'killed, the shell hung while it runs': (kill, 'after', None),
        }
        for name, (end, hang, exit_code) in ways.items():
            with self.subTest(name):
                if hang == 'before':
                    self.s.hang_tray(tray)
                p, window = self.start_saver()
                self.assertEqual(self.trays(tray), {'Decoy': 1, '': int(hang == 'before')})
                if hang == 'after':
                    self.s.hang_tray(tray)
                end(p, window)
                self.assertIsNotNone(self.s.wait_exit(p, 60 if end is fault else 15),
                                     'the saver did not end')
                self.assertFalse(harness.wait_until(self.saver_processes, 10, ok=lambda v: not v),
                                 'the guard waits for the shell')
                if hang:
                    self.s.hang_tray(tray, False)
                if exit_code is not None:
                    self.assertEqual(p.returncode, exit_code)
                # The task bar's thread (or the guard) shows it once the saver has gone.
                shown = harness.wait_until(lambda: self.trays(tray), 5, ok=lambda t: t[''])
                self.assertEqual(shown, {'Decoy': 1, '': 1}, 'the task bar was left hidden')
                self.assertTrue(harness.wait_until(self.s.x_cursor_visible, 5),
                                'the pointer was left hidden')


if __name__ == '__main__':
    unittest.main()
