r"""The demo kit from start to end as a user meets it: the idle dialog, the
refusals (no qualifying version, the product still running), a completed
install with its progress display, files and registry values, and the ways
out of the kit.

Every scenario records what the kit's dialog is told to show
(Scenario.record), so that progress texts shown for a few milliseconds are
checked too.
"""

import time

import harness
import widget_kit as wk
from harness import BAR, EXIT, IDNO, IDOK, IDYES, INSTALL, LINE1, LINE2, PROGRESS_GROUP

INSTALL_DIR = r"C:\Widget"
LONG_INSTALL_DIR = "C:\\Program Files\\Brightfield\\Widget\\"   # stored with a trailing backslash


class IdleDialogTests(wk.KitCase):
    def test_idle_dialog_as_first_seen_and_the_ways_out(self):
        kit = self.start_kit()
        state = kit.wait_dialog()
        self.assertEqual(state.screen, (harness.SCREEN_WIDTH, harness.SCREEN_HEIGHT))
        self.assertEqual((state.rect["left"], state.rect["top"]), state.centred_position())
        picture = next(c for c in state.raw["children"] if c["id"] == 201)
        self.assertEqual((picture["class"], picture["visible"]), ("Static", True))
        self.assertFalse(state.visible(LINE1) or state.visible(LINE2) or state.visible(BAR))
        self.assertFalse(state.enabled(PROGRESS_GROUP))
        self.assertTrue(state.enabled(INSTALL) and state.enabled(EXIT))
        self.assertEqual(state.focus_id, INSTALL)
        self.assertEqual((state.text(INSTALL), state.text(EXIT)), ("&Install", "E&xit"))
        self.assertEqual(state.text(PROGRESS_GROUP), "Installation Progress")
        self.assertEqual(state.control(BAR)["class"], "msctls_progress32")
        self.assertEqual(state.statics[1:], ["1. Check for a valid copy of the product.",
                                             "2. Install the product upgrade.", "3. Re-boot your machine.",
                                             "Click Install to begin."])
        self.assertTrue(state.statics[0].endswith("This kit will:"), state.statics[0])
        self.sc.screenshot("idle")
        kit.press(EXIT)
        # A prompt would hold the kit: ending at once with 0 means none came.
        self.assertEqual(kit.wait_exit(), 0)

        ways = {"Escape": lambda k: k.key("escape"), "close box": lambda k: k.close()}
        for name, leave in ways.items():
            with self.subTest(name):
                kit = self.start_kit()
                kit.wait_dialog()
                leave(kit)
                self.assertEqual(kit.wait_exit(), 0)
        self.assertEqual([w for w in self.sc.list_windows() if w["caption"] in (wk.TITLE, wk.DIALOG_CAPTION)], [])


class RefusalTests(wk.KitCase):
    def test_no_qualifying_version_each_time_install_is_pressed(self):
        # Arguments on the command line change nothing.
        kit = self.start_kit("/S", "-install", INSTALL_DIR, trace_messages=True)
        dialog = kit.wait_dialog()
        self.assertTrue(dialog.idle())
        recording = self.sc.record()

        # No product key at all; Enter does what Install does.
        kit.key("enter")
        box = kit.message_box()
        self.assert_box(box, wk.MSG_NO_VERSION, dialog.hwnd, "exclamation")
        self.assertTrue(kit.state().idle(), "the progress display was shown before the product was checked")
        self.sc.screenshot("no-qualifying-version")
        kit.answer(IDOK)
        self.wait_idle(kit, "idle after 1002")

        # The product's folder holds another release (already upgraded).
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.1.exe"))
        kit.press(INSTALL)
        box = kit.message_box()
        self.assert_box(box, wk.MSG_NO_VERSION, dialog.hwnd, "exclamation")
        kit.answer(IDOK)
        self.wait_idle(kit, "idle after 1002 again")

        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()
        self.assertEqual(wk.box_texts(recording, dialog.hwnd), [wk.MSG_NO_VERSION] * 2)
        # Each box comes right after a beep with its own icon value.
        self.assertEqual(wk.beeps_and_boxes(kit), [("beep", wk.MB_ICONEXCLAMATION), ("box", wk.MB_ICONEXCLAMATION)] * 2)
        self.assertEqual(wk.progress_steps(recording, dialog.hwnd), [])
        self.assert_not_installed(INSTALL_DIR, wk.release("widget-2.1.exe"))
        self.assert_registry_untouched(INSTALL_DIR)

    def test_a_running_widget_blocks_until_it_is_closed(self):
        product = wk.release("widget-2.0.exe")
        wk.install_product(self.sc, INSTALL_DIR, product)
        widget = self.sc.start_window("BrightfieldWidget", "Widget (stand-in)")
        kit = self.start_kit(trace_messages=True)
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)
        box = kit.message_box()
        self.assert_box(box, wk.MSG_RUNNING.format("Widget"), 0, "exclamation")
        self.assertTrue(kit.state().idle(), "the progress display was shown although Widget runs")
        self.sc.screenshot("widget-running")
        kit.answer(IDOK)
        self.wait_idle(kit, "idle after 1001")
        self.assert_not_installed(INSTALL_DIR, product)
        self.assert_registry_untouched(INSTALL_DIR)

        # The user closes Widget and tries again: the whole sequence runs.
        self.sc.driver("close", caption="Widget (stand-in)")
        self.assertEqual(widget.wait_exit(), 0)
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assertEqual(box.text, wk.MSG_COMPLETED)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()
        self.assertEqual(wk.box_texts(recording, dialog.hwnd), [wk.MSG_RUNNING.format("Widget"), wk.MSG_COMPLETED])
        self.assertEqual(wk.beeps_and_boxes(kit), [("beep", wk.MB_ICONEXCLAMATION), ("box", wk.MB_ICONEXCLAMATION),
                                                   ("beep", wk.MB_ICONASTERISK),
                                                   ("box", wk.MB_YESNO | wk.MB_ICONASTERISK)])
        self.assertEqual(wk.progress_steps(recording, dialog.hwnd),
                         wk.expected_steps(wk.DETECTED["widget-2.0.exe"], wk.ARCHIVES))
        self.assert_installed(INSTALL_DIR)

    def test_with_both_programs_open_the_first_row_is_named(self):
        product = wk.release("widget-2.0.exe")
        wk.install_product(self.sc, INSTALL_DIR, product)
        # The product's own programs, the monitor started first.
        self.sc.start(harness.program("widget_monitor"))
        self.sc.wait_window("Widget Monitor 2.1", "BrightfieldWidgetMonitor")
        widget = self.sc.start(harness.program("widget_2_0"))
        self.sc.wait_window("Widget 2.0", "BrightfieldWidget")
        kit = self.start_kit()
        kit.wait_dialog()

        kit.press(INSTALL)
        box = kit.message_box()
        self.assert_box(box, wk.MSG_RUNNING.format("Widget"), 0, "exclamation")
        kit.answer(IDOK)
        self.wait_idle(kit, "idle after 1001")

        self.sc.driver("close", caption="Widget 2.0")
        self.assertEqual(widget.wait_exit(), 0)
        kit.press(INSTALL)
        box = kit.message_box()
        self.assert_box(box, wk.MSG_RUNNING.format("Widget Monitor"), 0, "exclamation")
        self.sc.screenshot("monitor-running")
        kit.answer(IDOK)
        self.wait_idle(kit, "idle after 1001")
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)
        self.assert_not_installed(INSTALL_DIR, product)
        self.assert_registry_untouched(INSTALL_DIR)


class CompletedInstallTests(wk.KitCase):
    def test_full_install_through_the_second_release_row(self):
        # Widget 2.0a, in a folder stored with a trailing backslash.
        wk.install_product(self.sc, LONG_INSTALL_DIR, wk.release("widget-2.0a.exe"))
        bystander = self.sc.start_window(wk.BYSTANDER_CLASS, "Bystander")
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)

        # The 3 s pause: the installing state with the detected release.
        pause_lines = (wk.DETECTED["widget-2.0a.exe"], wk.MSG_INITIALIZING)
        state = kit.wait_state(lambda s: s.lines == pause_lines, timeout=10, what="the initial pause")
        self.assertTrue(state.installing(), state.raw["controls"])
        self.assertTrue(state.visible(LINE1) and state.visible(LINE2) and state.visible(BAR))
        self.assertTrue(state.enabled(PROGRESS_GROUP) and state.enabled(EXIT))
        self.assertFalse(state.enabled(INSTALL))
        self.sc.screenshot("installing")

        box = kit.message_box(timeout=30)
        self.assert_box(box, wk.MSG_COMPLETED, 0, "asterisk", [(IDYES, "&Yes"), (IDNO, "&No")])
        self.assertEqual([w for w in self.sc.list_windows() if w["caption"] == wk.DIALOG_CAPTION], [],
                         "the dialog is still shown behind the completion prompt")
        self.sc.screenshot("completed")
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()

        # No restart: other programs go on.
        time.sleep(1)
        self.assertTrue(bystander.running(), "a program ended after the answer No")
        self.assertEqual(self.sc.pending_renames(), [])

        self.assertEqual(wk.progress_steps(recording, dialog.hwnd),
                         wk.expected_steps(wk.DETECTED["widget-2.0a.exe"], wk.ARCHIVES))
        self.assertEqual(wk.box_texts(recording, dialog.hwnd), [wk.MSG_COMPLETED])
        self.assert_installed(LONG_INSTALL_DIR)
        folder = self.sc.host_path(LONG_INSTALL_DIR)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["Help", "README.TXT", "WIDGET.EXE"])
        self.assertEqual([p.name for p in (folder / "Help").iterdir()], ["WIDGET.HLP"])
        # The rows by hand: the install directory without its trailing
        # backslash, other percent signs left alone, numbers as written.
        version_key = wk.PRODUCT_KEY + r"\2.1"
        self.assertEqual(self.sc.reg_value(version_key, "Program"),
                         r"C:\Program Files\Brightfield\Widget\WIDGET.EXE")
        self.assertEqual(self.sc.reg_get(version_key, "SearchPath")["type"], "REG_EXPAND_SZ")
        self.assertEqual(self.sc.reg_value(version_key, "SearchPath"),
                         r"C:\Program Files\Brightfield\Widget;%SystemRoot%\system32")
        self.assertEqual(self.sc.reg_value(r"HKCR\Brightfield.Widget\shell\open\command", ""),
                         r'"C:\Program Files\Brightfield\Widget\WIDGET.EXE" "%1"')
        settings = version_key + r"\Settings"
        numbers = [self.sc.reg_value(settings, name) for name in ("MaxWidgets", "MonitorInterval", "UndoLevels")]
        self.assertEqual(numbers, [31, 0xFFFFFFFF, 10])   # 0x1F, -1, 010
        self.assertEqual(self.sc.reg_value(wk.PRODUCT_KEY, wk.INSTALL_VALUE), LONG_INSTALL_DIR)

    def test_without_the_product_key_the_file_is_searched_for(self):
        # No registry key: the product file is looked for by its bare name,
        # here found beside the kit; the install directory is then empty, so
        # install-directory members land in the current folder (C:\) and
        # %I% stands for nothing.
        self.sc.put_file(r"C:\Kit\WIDGET.EXE", wk.release("widget-2.0.exe"))
        kit = self.start_kit(copy_to=r"C:\Kit\SETUP.EXE")
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assertEqual(box.text, wk.MSG_COMPLETED)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()
        self.assertEqual(wk.progress_steps(recording, dialog.hwnd),
                         wk.expected_steps(wk.DETECTED["widget-2.0.exe"], wk.ARCHIVES))
        self.assert_installed("", files_at=lambda path: path if path[1:2] == ":" else "C:\\" + path, stored=False)
        self.assertEqual(self.sc.reg_value(wk.PRODUCT_KEY + r"\2.1", "Program"), r"\WIDGET.EXE")
        self.assertEqual(self.sc.read_file(r"C:\Kit\WIDGET.EXE"), wk.release("widget-2.0.exe"))


if __name__ == "__main__":
    harness.main()
