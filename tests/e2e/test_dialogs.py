#!/usr/bin/python3
"""The configuration dialog and the About box of zarvo.scr under Wine, as
Windows makes and drives them, on a screen of 96 DPI."""
import contextlib
import os
import shutil
import subprocess
import time
import unittest

import harness
from saver_fixture import DIALOG_CLASS, MESSAGE_CLASS, SaverTest, near

WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX = 0x00070000
WS_CAPTION, WS_EX_APPWINDOW = 0x00C00000, 0x00040000
BS_TYPEMASK, BS_DEFPUSHBUTTON = 0x0F, 0x01
TITLE = 'ZARVO'
SYSINFO_BUTTON = 'ｼｽﾃﾑ情報(&S)...'
TOOL_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools\MSINFO'
FOLDER_KEY = r'HKLM\SOFTWARE\Microsoft\Shared Tools Location'
# Where Wine keeps what a program changes for the session only.
WINE_OWN_KEY = r'HKEY_CURRENT_USER\Software\Wine\Temporary System Parameters'


def size(rect):
    return rect[2] - rect[0], rect[3] - rect[1]


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


class DialogTest(SaverTest):
    def reg(self, *args):
        self.s.run('reg', *args, stderr=subprocess.DEVNULL)

    def open_dialog(self, switch='/c'):
        p = self.start(*filter(None, [switch]))
        w = self.s.wait_window(cls=DIALOG_CLASS, timeout=30)
        self.assertIsNotNone(w, 'the configuration dialog did not appear')
        time.sleep(0.3)  # the window may be shown a moment before its controls settle
        return p, self.s.window_info(w['hwnd'])

    def child(self, hwnd, text):
        found = [c for c in self.s.probe('children', hwnd) if c['text'] == text]
        self.assertEqual(len(found), 1, 'no single control "%s"' % text)
        return found[0]

    def default_with_focus(self, window, text):
        button = self.child(window['hwnd'], text)
        self.assertEqual(button['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON, text)
        self.assertEqual(self.s.probe('focus')[0]['focus'], button['hwnd'], text)

    def click(self, hwnd, text):
        self.s.click(1, *centre(self.child(hwnd, text)['rect']))

    def open_about(self, dialog):
        self.s.key('alt+h', window=dialog)
        time.sleep(0.3)
        self.s.key('v', window=dialog)
        about = self.s.wait_window(title=TITLE + 'のﾊﾞｰｼﾞｮﾝ情報', timeout=10)
        self.assertIsNotNone(about, 'Alt+H, V did not open the About box')
        time.sleep(0.3)
        return self.s.window_info(about['hwnd'])

    def close(self, window):
        self.s.key('Escape', window=self.s.window_info(window['hwnd']))
        self.assertTrue(self.s.wait_gone(window['hwnd'], 10))

    def test_buttons_and_keys_each_end_the_program(self):
        ways = {
            'Enter': lambda w: self.s.key('Return', window=w),
            'Esc with the focus on Cancel': lambda w: self.s.key('Tab', 'Escape', window=w),
            'Alt+F4': lambda w: self.s.key('alt+F4', window=w),
        }
        for name, act in ways.items():
            with self.subTest(name):
                p, w = self.open_dialog()
                act(w)
                self.assert_ends(p, name)
                self.assertIsNone(self.s.wait_window(cls=MESSAGE_CLASS, timeout=0.5))

    def test_the_tool_named_in_the_registry_starts_exactly_that_file(self):
        # The stand-in tool at the path, which has a blank, and at what stands
        # before the blank, which must not run: it writes <its path>.ran when run.
        tool, decoy = r'C:\Program Files\Zarvo Test\msinfo32.exe', r'C:\Program.exe'
        self.reg('delete', FOLDER_KEY, '/f')
        self.reg('add', TOOL_KEY, '/v', 'PATH', '/d', tool, '/f')
        self.addCleanup(self.reg, 'delete', TOOL_KEY, '/f')
        tool, decoy = map(self.s.unix, (tool, decoy))
        for path in (tool, decoy):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            shutil.copy(os.environ['ZARVO_MARKER'], path)
            for f in (path, path + '.ran'):
                self.addCleanup(lambda f=f: os.path.exists(f) and os.remove(f))
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.click(about['hwnd'], SYSINFO_BUTTON)
        self.assertTrue(harness.wait_until(lambda: os.path.exists(tool + '.ran'), 15),
                        'the tool was not started')
        self.assertFalse(os.path.exists(decoy + '.ran'), decoy + ' was started')
        self.assertIsNone(self.s.wait_window(cls=MESSAGE_CLASS, timeout=1), 'launch failed')
        self.close(about)
        self.close(dialog)
        self.assert_ends(p, 'Esc')

    def snapshot(self):
        """Registry and files a run could have left something in."""
        found = {(k, v) for root in ('HKCU', r'HKLM\Software')
                 for k, v in self.s.registry(root).items() if not k[0].startswith(WINE_OWN_KEY)}
        for top in (self.s.unix('C:\\'), self.folder):
            for folder, _, names in os.walk(top):
                for path in (os.path.join(folder, name) for name in names):
                    with contextlib.suppress(OSError):  # gone meanwhile
                        found.add((path, os.stat(path).st_size, os.stat(path).st_mtime_ns))
        return found

    # Which controls are where, in twips and in pixels, is tested on the
    # simulated host; here, the windows Windows makes of them.
    def test_dialog_and_about_box_as_windows_makes_them_and_nothing_written(self):
        for key in (TOOL_KEY, FOLDER_KEY):
            self.reg('delete', key, '/f')
        before = self.snapshot()
        saver, window = self.start_saver()
        time.sleep(1)  # the picture is up
        self.end_with_key(saver, window)
        p, dialog = self.open_dialog(None)  # no switch opens it as /c does
        self.assertEqual((dialog['title'], size(dialog['client'])), (TITLE, (433, 73)))
        self.assertTrue(near(centre(dialog['rect']), (self.width // 2, self.height // 2)))
        self.assertEqual((dialog['style'] & (WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX | WS_CAPTION),
                          dialog['topmost'], dialog['owner']), (WS_CAPTION, 0, 0))
        self.assertTrue(dialog['exstyle'] & WS_EX_APPWINDOW, 'not in the task bar')
        self.assertEqual({c['text']: c['class'] for c in self.s.probe('children', dialog['hwnd'])},
                         {'ＯＫ': 'Button', 'キャンセル': 'Button', '設定項目はございません。': 'Static'})
        self.default_with_focus(dialog, 'ＯＫ')
        about = self.open_about(dialog)
        self.assertEqual(size(about['client']), (407, 192))
        self.assertEqual(about['style'] & WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX, 0)
        self.assertFalse(about['exstyle'] & WS_EX_APPWINDOW, 'About box in the task bar')
        self.assertEqual(centre(about['rect']), centre(dialog['rect']))
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 0,
                         'the dialog takes input while the About box is open')
        self.default_with_focus(about, 'OK')
        img = self.s.screenshot()  # the etched rule: white over grey
        left, top = about['client'][:2]
        self.assertEqual([img.getpixel((left + 200, top + y)) for y in (120, 122)],
                         [(255, 255, 255), (128, 128, 128)])
        # Without the tool: a message says it cannot be had, over the About box.
        self.click(about['hwnd'], SYSINFO_BUTTON)
        box = self.s.wait_window(cls=MESSAGE_CLASS, title=TITLE, timeout=10)
        self.assertIsNotNone(box, 'no message')
        self.child(box['hwnd'], 'この環境ではシステム情報を使用できません。')
        self.s.key('Return', window=box)
        self.assertTrue(self.s.wait_gone(box['hwnd'], 10))
        self.close(about)
        self.assertIsNone(self.s.wait_exit(p, 0.5), 'closing the About box ended the program')
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 1)
        self.close(dialog)
        self.assert_ends(p, 'Esc after the About box')
        after = self.snapshot()
        self.assertEqual((sorted(before - after, key=str), sorted(after - before, key=str)),
                         ([], []))


if __name__ == '__main__':
    unittest.main()
