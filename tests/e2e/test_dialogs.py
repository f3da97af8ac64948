#!/usr/bin/python3
"""The configuration dialog and the About box of zarvo.scr under Wine, as
Windows lays them out and drives them. The screen is 96 DPI, so a size of
n twips is n / 15 pixels."""
import contextlib
import os
import shutil
import subprocess
import time
import unittest

import harness
from saver_fixture import DIALOG_CLASS, MESSAGE_CLASS, SaverTest, near

WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX = 0x00070000
WS_CAPTION, WS_EX_APPWINDOW, WM_CLOSE = 0x00C00000, 0x00040000, 0x10
BS_TYPEMASK, BS_DEFPUSHBUTTON = 0x0F, 0x01
TITLE, COMPANY = 'ZARVO', '株式会社ザルボソフト'
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

    def test_dialog_opens_centred_with_its_layout_and_focus(self):
        p, w = self.open_dialog(None)  # no switch opens it as /c does
        self.assertEqual((w['title'], size(w['client'])), (TITLE, (433, 73)))  # 6495 x 1095 twips
        self.assertTrue(near(centre(w['rect']), (self.width // 2, self.height // 2)), 'not centred')
        self.assertEqual((w['style'] & (WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX | WS_CAPTION),
                          w['topmost'], w['owner']), (WS_CAPTION, 0, 0))
        self.assertTrue(w['exstyle'] & WS_EX_APPWINDOW, 'not in the task bar')
        controls = {c['text']: c for c in self.s.probe('children', w['hwnd'])}
        self.assertEqual({text: (c['class'], c['rel']) for text, c in controls.items()}, {
            'ＯＫ': ('Button', (344, 8, 425, 33)), 'キャンセル': ('Button', (344, 40, 425, 65)),
            '設定項目はございません。': ('Static', (8, 16, 217, 33))})
        self.assertEqual([controls[t]['style'] & BS_TYPEMASK == BS_DEFPUSHBUTTON
                          for t in ('ＯＫ', 'キャンセル')], [True, False])
        self.assertEqual(self.s.probe('focus')[0]['focus'], controls['ＯＫ']['hwnd'])
        self.s.probe('post', w['hwnd'], WM_CLOSE)
        self.assert_ends(p, 'closing')

    def test_buttons_and_keys_each_end_the_program(self):
        ways = {
            'click OK': lambda w: self.click(w['hwnd'], 'ＯＫ'),
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

    def test_menu_opens_the_about_box_modally(self):
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.assertEqual(size(about['client']), (407, 192))  # 6105 x 2880 twips
        self.assertEqual(about['style'] & WS_THICKFRAME_MINIMIZEBOX_MAXIMIZEBOX, 0)
        self.assertFalse(about['exstyle'] & WS_EX_APPWINDOW, 'About box in the task bar')
        self.assertEqual(centre(about['rect']), centre(dialog['rect']))
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 0,
                         'the dialog takes input while the About box is open')
        by_rel = {c['rel']: c for c in self.s.probe('children', about['hwnd'])}
        self.assertEqual({rel: (c['class'], c['text']) for rel, c in by_rel.items()}, {
            (16, 16, 48, 48): ('Static', ''),  # the icon
            (304, 132, 396, 155): ('Button', 'OK'),
            (304, 160, 396, 183): ('Button', SYSINFO_BUTTON),
            (12, 80, 400, 110): ('Static', 'Copyright (C) 2026 %s\r\nAll rights reserved.' % COMPANY),
            (12, 62, 396, 77): ('Static', COMPANY), (68, 228, 327, 306): ('Static', 'ｱﾌﾟﾘｹｰｼｮﾝの説明'),
            (70, 16, 397, 35): ('Static', TITLE), (70, 40, 397, 55): ('Static', 'ﾊﾞｰｼﾞｮﾝ 1.0.0'),
            (12, 144, 294, 179): ('Static', ''),  # the disclaimer, emptied
            # The etched rule: white over grey.
            (8, 120, 400, 122): ('Static', ''), (8, 122, 400, 123): ('Static', '')})
        ok = by_rel[(304, 132, 396, 155)]
        self.assertEqual(ok['style'] & BS_TYPEMASK, BS_DEFPUSHBUTTON)
        self.assertEqual(self.s.probe('focus')[0]['focus'], ok['hwnd'])
        img = self.s.screenshot()
        left, top = about['client'][:2]
        self.assertEqual([img.getpixel((left + 200, top + y)) for y in (120, 122)],
                         [(255, 255, 255), (128, 128, 128)])
        self.close(about)
        self.assertIsNone(self.s.wait_exit(p, 0.5), 'closing the About box ended the program')
        self.assertEqual(self.s.window_info(dialog['hwnd'])['enabled'], 1)
        self.close(dialog)
        self.assert_ends(p, 'Esc after the About box')

    def ask_for_the_tool(self, key=None, *value):
        """Opens the About box and clicks the button for the System
        Information tool, which the registry names under key, if given."""
        for k in (TOOL_KEY, FOLDER_KEY):
            self.reg('delete', k, '/f')
        if key:
            self.reg('add', key, '/v', *value, '/f')
            self.addCleanup(self.reg, 'delete', key, '/f')
        p, dialog = self.open_dialog()
        about = self.open_about(dialog)
        self.click(about['hwnd'], SYSINFO_BUTTON)
        return p, dialog, about

    def test_the_tool_named_in_the_registry_starts_exactly_that_file(self):
        # Each path has a blank; what stands before it must not run.
        cases = {
            'the tool': (r'C:\Program Files\Zarvo Test\msinfo32.exe', r'C:\Program.exe',
                         TOOL_KEY, 'PATH', '/d', r'C:\Program Files\Zarvo Test\msinfo32.exe'),
            "the tool's folder": (r'C:\Zarvo Tools\MSINFO32.EXE', r'C:\Zarvo.exe',
                                  FOLDER_KEY, 'MSINFO', '/d', r'C:\Zarvo Tools'),
        }
        for name, (tool, decoy, *setting) in cases.items():
            with self.subTest(name):
                # The stand-in tool at both paths: it writes <its path>.ran when run.
                tool, decoy = map(self.s.unix, (tool, decoy))
                for path in (tool, decoy):
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    shutil.copy(os.environ['ZARVO_MARKER'], path)
                    for f in (path, path + '.ran'):
                        self.addCleanup(lambda f=f: os.path.exists(f) and os.remove(f))
                p, dialog, about = self.ask_for_the_tool(*setting)
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

    def test_neither_the_saver_nor_the_dialogs_write_to_disk_or_registry(self):
        for key in (TOOL_KEY, FOLDER_KEY):
            self.reg('delete', key, '/f')
        before = self.snapshot()
        saver, window = self.start_saver()
        time.sleep(1)  # the picture is up
        self.end_with_key(saver, window)
        # Without the tool: a message says it cannot be had, over the About box.
        p, dialog, about = self.ask_for_the_tool()
        box = self.s.wait_window(cls=MESSAGE_CLASS, title=TITLE, timeout=10)
        self.assertIsNotNone(box, 'no message')
        self.child(box['hwnd'], 'この環境ではシステム情報を使用できません。')
        self.s.key('Return', window=box)
        self.assertTrue(self.s.wait_gone(box['hwnd'], 10))
        self.close(about)
        self.click(dialog['hwnd'], 'ＯＫ')
        self.assert_ends(p, 'OK')
        after = self.snapshot()
        self.assertEqual((sorted(before - after, key=str), sorted(after - before, key=str)),
                         ([], []))


if __name__ == '__main__':
    unittest.main()
