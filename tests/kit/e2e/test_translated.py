r"""The demo kit in French (tests/kit/kits/translated.toml): the dialog's
texts and the messages as the user reads them, each exactly as the manifest
gives it. The kit loads and shows its texts through the "A" functions, so a
text that comes through whole, ’ and œ included, has kept its code page
(Windows-1252) from the manifest to the screen.
"""

import subprocess

import harness
import widget_kit as wk
from harness import EXIT, IDNO, IDOK, INSTALL, PROGRESS_GROUP

MANIFEST_PATH = harness.REPO / "tests" / "kit" / "kits" / "translated.toml"
INSTALL_DIR = r"C:\Widget"


class TranslatedKitTests(wk.KitCase):
    manifest_path = MANIFEST_PATH

    def setUp(self):
        super().setUp()
        manifest = self.manifest()
        self.texts = manifest["messages"]
        self.welcome = manifest["kit"]["welcome"]
        self.detected = manifest["app_versions"][0]["display"]

    def test_the_dialog_speaks_french(self):
        kit = self.start_kit()
        state = kit.wait_dialog()
        self.assertEqual(state.statics, [self.welcome, self.texts["check_step"], self.texts["install_step"],
                                         self.texts["restart_step"], self.texts["click_install"]])
        self.assertEqual(state.text(PROGRESS_GROUP), self.texts["progress_group"])
        self.assertEqual((state.text(INSTALL), state.text(EXIT)),
                         (self.texts["install_button"], self.texts["exit_button"]))
        self.save_dialog_picture(state)
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)

    def test_the_messages_speak_french(self):
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        recording = self.sc.record()

        kit.press(INSTALL)
        self.assert_box(kit.message_box(), self.texts["no_qualifying_version"], dialog.hwnd, "exclamation")
        kit.answer(IDOK)
        self.wait_idle(kit)

        # The running-program message is the translation's format filled in
        # with the window's name, twice, and the kit's title.
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
        widget = self.sc.start_window("BrightfieldWidget", "Widget (stand-in)")
        kit.press(INSTALL)
        running = self.texts["app_running"].replace("%s", "{}").format("Widget", "Widget", wk.TITLE)
        self.assert_box(kit.message_box(), running, 0, "exclamation")
        kit.answer(IDOK)
        self.wait_idle(kit)

        self.sc.driver("close", caption="Widget (stand-in)")
        self.assertEqual(widget.wait_exit(), 0)
        kit.press(INSTALL)
        self.assert_box(kit.message_box(timeout=30), self.texts["completed"], 0, "asterisk",
                        [(harness.IDYES, "&Yes"), (IDNO, "&No")])
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()

        # "Préparation..." is the kit's; "Updating registry..." is fixed in
        # the kit's code and stays English.
        steps = wk.progress_steps(recording, dialog.hwnd)
        self.assertEqual(steps[0][:2], (self.detected, self.texts["initializing"]))
        self.assertEqual(steps[-1][:2], (wk.UPDATING_REGISTRY, ""))
        self.assert_installed(INSTALL_DIR)

    def save_dialog_picture(self, state):
        """The screen, and the dialog alone cut from it for the kit authors'
        page (translated-kit-dialog.png among the artifacts)."""
        screen = self.sc.screenshot("translated-dialog")
        r = state.rect
        dialog = self.sc.artifacts / "translated-kit-dialog.png"
        subprocess.run(["convert", str(screen), "-crop", f"{r['width']}x{r['height']}+{r['left']}+{r['top']}",
                        "+repage", f"PNG8:{dialog}"], check=True, timeout=30)


if __name__ == "__main__":
    harness.main()
