r"""Kits whose tables are missing or empty (tests/kit/kits): a missing table
behaves as an empty one. Without accepted releases every machine is refused;
without a window list the product may run; without archives the install
goes straight to the registry rows.
"""

import harness
import widget_kit as wk
from harness import EXIT, IDNO, IDOK, INSTALL

KITS = harness.REPO / "tests" / "kit" / "kits"
INSTALL_DIR = r"C:\Widget"


class NoReleaseTests(wk.KitCase):
    manifest_path = KITS / "empty_versions.toml"

    def test_kits_without_accepted_releases_refuse_every_machine(self):
        product = wk.release("widget-2.0.exe")
        wk.install_product(self.sc, INSTALL_DIR, product)   # what the demo kit accepts
        for name in ("kit-no-tables", "kit-empty-versions"):
            with self.subTest(kit=name):
                kit = self.start_kit(path=harness.program(name))
                dialog = kit.wait_dialog()
                kit.press(INSTALL)
                box = kit.message_box()
                self.assert_box(box, wk.MSG_NO_VERSION, dialog.hwnd, "exclamation")
                kit.answer(IDOK)
                self.wait_idle(kit)
                kit.press(EXIT)
                self.assertEqual(kit.wait_exit(), 0)
        self.assert_not_installed(INSTALL_DIR, product)
        self.assert_registry_untouched(INSTALL_DIR)


class NoArchiveTests(wk.KitCase):
    def complete_with_widget_running(self, kit_name, install_dir, product):
        """Installs with a Widget window open (no window list blocks it);
        returns the recorded progress updates."""
        wk.install_product(self.sc, install_dir, product)
        widget = self.sc.start_window("BrightfieldWidget", "Widget (stand-in)")
        kit = self.start_kit(path=harness.program(kit_name))
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assert_box(box, wk.MSG_COMPLETED, 0, "asterisk", [(harness.IDYES, "&Yes"), (IDNO, "&No")])
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()
        self.assertTrue(widget.running())
        self.assertEqual(wk.box_texts(recording, dialog.hwnd), [wk.MSG_COMPLETED])
        return wk.progress_steps(recording, dialog.hwnd)

    def test_only_releases_no_window_list_no_archives_no_registry_rows(self):
        self.manifest_path = KITS / "only_versions.toml"
        product = wk.release("widget-2.0a.exe")
        steps = self.complete_with_widget_running("kit-only-versions", INSTALL_DIR, product)
        self.assertEqual(steps, wk.expected_steps(wk.DETECTED["widget-2.0a.exe"], []))
        self.assert_not_installed(INSTALL_DIR, product)
        self.assert_registry_untouched(INSTALL_DIR)

    def test_empty_window_and_archive_lists_still_write_the_registry(self):
        self.manifest_path = KITS / "empty_lists.toml"
        install_dir = INSTALL_DIR + "\\"
        product = wk.release("widget-2.0.exe")
        steps = self.complete_with_widget_running("kit-empty-lists", install_dir, product)
        self.assertEqual(steps, wk.expected_steps(wk.DETECTED["widget-2.0.exe"], []))
        self.assert_not_installed(install_dir, product)
        self.assert_registry(install_dir)
        self.assertEqual(self.sc.reg_value(r"HKCU\Software\Brightfield\Widget", "Home"), INSTALL_DIR)


if __name__ == "__main__":
    harness.main()
