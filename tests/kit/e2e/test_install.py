r"""Installing files that cannot simply be overwritten, and archives that
fail.

A file in use (a running program's .exe, which Wine refuses to delete with
access denied) or read-only goes to the temporary folder and is scheduled to
replace its target at the next restart: delayed moves under Windows NT,
WININIT.INI under Windows 95. A file held open without delete sharing fails
its member. The failing test kits (tests/kit/kits) stop at a broken member, a
destination that cannot be made, and an archive that is not in the kit.
"""

import time

import harness
import widget_kit as wk
from harness import EXIT, IDNO, IDOK, IDYES, INSTALL

KITS = harness.REPO / "tests" / "kit" / "kits"
INSTALL_DIR = r"C:\Widget"
LONG_INSTALL_DIR = r"C:\Program Files\Brightfield\Widget"
IN_USE_CLASS, IN_USE_TITLE = "UpkitE2EInUse", "Widget (running)"
OLD_README = b"Widget 2.0 read-me, kept read-only by its owner.\r\n"


def nt_path(path):
    return "\\??\\" + path


class ReplaceOnRestartCase(wk.KitCase):
    def start_product(self, install_dir):
        """The installed Widget 2.0 running from its folder: a program that
        the kit accepts as that release (the window stand-in with Widget
        2.0's checksum) and whose window no kit table lists."""
        program = wk.program_with_checksum_of(harness.program("window_standin").read_bytes(),
                                              wk.release("widget-2.0.exe"))
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, install_dir)
        running = self.sc.start_window(IN_USE_CLASS, IN_USE_TITLE, copy_to=wk.join(install_dir, wk.PRODUCT_FILE),
                                       program_bytes=program)
        return running, program

    def read_only_readme(self, install_dir):
        self.sc.put_file(wk.join(install_dir, "README.TXT"), OLD_README, readonly=True)

    def install(self, *args, answer=IDNO, path=None):
        """Runs the kit (the demo kit, or the one at `path`) to its completion
        prompt and answers it."""
        kit = self.start_kit(*args, path=path)
        kit.wait_dialog()
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assertEqual(box.text, wk.MSG_COMPLETED)
        kit.answer(answer)
        return kit

    def end_product(self, running):
        self.sc.driver("close", caption=IN_USE_TITLE)
        self.assertEqual(running.wait_exit(), 0)

    def member_sources(self):
        return {m.name: m.source for a in self.kit_archives() for m in a.members}

    def new_versions(self, *sources):
        """The new-version files waiting in the temporary folder, one for each
        source (by content), with the member's stored time; no other."""
        files = wk.new_version_files(self.sc)
        self.assertEqual(len(files), len(sources))
        found = []
        for source in sources:
            path = next((p for p, data in files.items() if data == source.read_bytes()), None)
            self.assertIsNotNone(path, f"no new version of {source.name} waits in the temporary folder")
            found.append(path)
        self.assert_files([(path, source) for path, source in zip(found, sources)])
        return found

    def assert_others_installed(self, install_dir, names):
        """The members other than `names` were installed as usual."""
        self.assert_files([(path, source) for path, source in wk.installed_files(install_dir)
                           if path.rsplit("\\", 1)[-1] not in names])


class WindowsNtTests(ReplaceOnRestartCase):
    def test_files_in_use_wait_in_the_temporary_folder_for_the_restart(self):
        # Stored with a trailing backslash: the targets have no doubled one.
        running, program = self.start_product(LONG_INSTALL_DIR + "\\")
        self.read_only_readme(LONG_INSTALL_DIR)
        kit = self.install(answer=IDNO)
        self.assertEqual(kit.wait_exit(), 0)

        exe, readme = wk.join(LONG_INSTALL_DIR, "WIDGET.EXE"), wk.join(LONG_INSTALL_DIR, "README.TXT")
        sources = self.member_sources()
        new_exe, new_readme = self.new_versions(sources["WIDGET.EXE"], sources["README.TXT"])
        self.assertEqual(self.sc.pending_renames(), [
            (nt_path(exe), ""), (nt_path(new_exe), nt_path(exe)),
            (nt_path(readme), ""), (nt_path(new_readme), nt_path(readme)),
        ])
        self.assertEqual(self.sc.read_file(exe), program)
        self.assertEqual(self.sc.read_file(readme), OLD_README)
        self.assert_others_installed(LONG_INSTALL_DIR, {"WIDGET.EXE", "README.TXT"})
        self.assertEqual(wk.staged_archives(self.sc), [])
        self.assert_registry(LONG_INSTALL_DIR + "\\")
        # No restart was asked for: the product still runs.
        self.assertTrue(running.running())
        self.assertFalse(self.sc.exists(r"C:\windows\WININIT.INI"))

        # Wine's restart leaves a read-only target alone (its own rule), so
        # only the program is looked at afterwards.
        self.end_product(running)
        self.sc.restart_wine()
        self.assert_files([(exe, sources["WIDGET.EXE"])])
        self.assertFalse(self.sc.exists(new_exe))

    def test_yes_restarts_and_the_restart_replaces_the_file_in_use(self):
        running, _ = self.start_product(INSTALL_DIR)
        bystander = self.sc.start_window(wk.BYSTANDER_CLASS, "Bystander")
        # Arguments on the command line change nothing.
        kit = self.install("/norestart", "-q", answer=IDYES)
        self.assertEqual(kit.wait_exit(), 1)
        # The restart ends every program with a window ...
        self.assertEqual(running.wait_exit(timeout=30), 0)
        self.assertEqual(bystander.wait_exit(timeout=30), 0)
        # ... and carries out the replacement.
        deadline = time.monotonic() + 30
        while self.sc.pending_renames():
            self.assertLess(time.monotonic(), deadline, "the pending replacement was never carried out")
            time.sleep(0.5)
        self.assert_files([(wk.join(INSTALL_DIR, "WIDGET.EXE"), self.member_sources()["WIDGET.EXE"])])
        self.assertEqual(wk.new_version_files(self.sc), {})


class Windows95Tests(ReplaceOnRestartCase):
    def setUp(self):
        super().setUp()
        self.sc.set_windows_version("win95")

    def entries(self, pairs):
        """The WININIT.INI lines for (target, new file) pairs, by their
        short names as the system gives them."""
        text = ""
        for target, new in pairs:
            short_target = self.sc.file_info(target)["short_path"]
            short_new = self.sc.file_info(new)["short_path"]
            self.assertNotIn(" ", short_target + short_new)
            text += f"NUL={short_target}\r\n{short_target}={short_new}\r\n"
        return text.encode("ascii")

    def test_the_kit_creates_wininit_and_the_restart_carries_it_out(self):
        running, program = self.start_product(LONG_INSTALL_DIR)
        self.read_only_readme(LONG_INSTALL_DIR)
        kit = self.install(answer=IDNO)
        self.assertEqual(kit.wait_exit(), 0)

        exe, readme = wk.join(LONG_INSTALL_DIR, "WIDGET.EXE"), wk.join(LONG_INSTALL_DIR, "README.TXT")
        sources = self.member_sources()
        new_exe, new_readme = self.new_versions(sources["WIDGET.EXE"], sources["README.TXT"])
        wininit = self.sc.read_file(r"C:\windows\WININIT.INI")
        self.assertEqual(wininit, b"[Rename]\r\n" + self.entries([(exe, new_exe), (readme, new_readme)]))
        self.assertEqual(self.sc.pending_renames(), [])
        self.assertEqual(self.sc.read_file(exe), program)
        self.assertEqual(self.sc.read_file(readme), OLD_README)
        self.assert_others_installed(LONG_INSTALL_DIR, {"WIDGET.EXE", "README.TXT"})
        self.assertEqual(wk.staged_archives(self.sc), [])

        self.end_product(running)
        self.sc.restart_wine()
        self.assert_files([(exe, sources["WIDGET.EXE"]), (readme, sources["README.TXT"])])
        self.assertFalse(self.sc.exists(r"C:\windows\WININIT.INI"))
        self.assertEqual(self.sc.read_file(r"C:\windows\wininit.bak"), wininit)

    def append_to(self, existing):
        """Installs with a read-only README.TXT over an existing WININIT.INI
        holding `existing`; returns the lines that the kit is to add."""
        self.sc.put_file(r"C:\windows\WININIT.INI", existing)
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
        self.read_only_readme(INSTALL_DIR)
        self.assertEqual(self.install(answer=IDNO).wait_exit(), 0)
        (new_readme,) = self.new_versions(self.member_sources()["README.TXT"])
        return self.entries([(wk.join(INSTALL_DIR, "README.TXT"), new_readme)])

    def test_entries_go_after_the_last_line_of_an_existing_file(self):
        existing = b"[Rename]\r\nNUL=C:\\OLD\\STALE.DLL\r\n"
        added = self.append_to(existing)
        self.assertEqual(self.sc.read_file(r"C:\windows\WININIT.INI"), existing + added)


class LockedFileTests(ReplaceOnRestartCase):
    def test_a_file_held_open_fails_its_member(self):
        product = wk.release("widget-2.0.exe")
        wk.install_product(self.sc, INSTALL_DIR, product)
        exe = wk.join(INSTALL_DIR, "WIDGET.EXE")
        holder = self.sc.start_window(wk.BYSTANDER_CLASS, "Holder", hold=exe)
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        kit.press(INSTALL)

        box = kit.message_box(timeout=30)
        self.assert_box(box, wk.MSG_TRANSFER_ERROR.format(10, "WIDGET.EXE"), dialog.hwnd, "hand")
        state = kit.state(bar=True)
        self.assertEqual(state.lines, (wk.ARCHIVES[0].progress, "WIDGET.EXE"))
        self.assertEqual(state.bar, {"low": 0, "high": len(wk.ARCHIVES[0].members), "pos": 0, "answered": True})
        self.sc.screenshot("transfer-error-10")
        kit.answer(IDOK)
        box = kit.message_box()
        self.assert_box(box, wk.MSG_FAILED, dialog.hwnd, "exclamation")
        kit.answer(IDOK)
        self.wait_idle(kit)
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)

        # Nothing after the failed member; the held file as it was.
        self.assert_not_installed(INSTALL_DIR, product)
        self.assert_registry_untouched(INSTALL_DIR)
        self.assertEqual(self.sc.pending_renames(), [])
        self.assertTrue(holder.running())


class FailingArchiveTests(wk.KitCase):
    manifest_path = KITS / "failing_archives.toml"

    def run_failing(self, kit_name, error=None):
        """Runs a failing test kit to its end: the transfer error (code,
        member) if any, then 1005 and the idle dialog. Returns the recorded
        progress updates and box texts."""
        product = wk.release("widget-2.0.exe")
        wk.install_product(self.sc, INSTALL_DIR, product)
        kit = self.start_kit(path=harness.program(kit_name), trace_messages=True)
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)
        if error:
            code, member, archive = error
            box = kit.message_box(timeout=30)
            self.assert_box(box, wk.MSG_TRANSFER_ERROR.format(code, member), dialog.hwnd, "hand")
            state = kit.state(bar=True)
            self.assertTrue(state.installing())
            self.assertEqual(state.lines, (archive.progress, member))
            index = [m.name for m in archive.members].index(member)
            self.assertEqual(state.bar, {"low": 0, "high": len(archive.members), "pos": index, "answered": True})
            self.sc.screenshot(f"transfer-error-{code}")
            kit.answer(IDOK)
        box = kit.message_box(timeout=30)
        self.assert_box(box, wk.MSG_FAILED, dialog.hwnd, "exclamation")
        self.sc.screenshot("failed")
        kit.answer(IDOK)
        self.wait_idle(kit)
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)
        recording.stop()
        expected_calls = [("beep", wk.MB_ICONEXCLAMATION), ("box", wk.MB_ICONEXCLAMATION)]
        if error:
            expected_calls = [("beep", wk.MB_ICONHAND), ("box", wk.MB_ICONHAND)] + expected_calls
        self.assertEqual(wk.beeps_and_boxes(kit), expected_calls)
        self.assertEqual(wk.staged_archives(self.sc), [])
        self.assert_registry_untouched(INSTALL_DIR)
        self.assertEqual(sorted(p.name for p in self.sc.host_path(INSTALL_DIR).iterdir()),
                         ["README.TXT", wk.PRODUCT_FILE])
        return wk.progress_steps(recording, dialog.hwnd), wk.box_texts(recording, dialog.hwnd)

    def installed(self, archives):
        return wk.installed_files(INSTALL_DIR, archives)

    def test_a_broken_member_stops_the_install(self):
        readme, runtime, _ = self.kit_archives()
        steps, boxes = self.run_failing("kit-broken-archive", (18, "WIDGETRT.DLL", runtime))
        self.assertEqual(boxes, [wk.MSG_TRANSFER_ERROR.format(18, "WIDGETRT.DLL"), wk.MSG_FAILED])
        # The update for the failing member is the last one: no registry step.
        self.assertEqual(steps, wk.expected_steps(wk.DETECTED["widget-2.0.exe"], [readme, runtime])[:-1])
        self.assert_files(self.installed([readme]))
        self.assertFalse(self.sc.exists(wk.join(wk.SYSTEM_DIR, "WIDGETRT.DLL")))

    def test_a_destination_that_cannot_be_made_fails_with_code_10(self):
        readme, runtime, help_ = self.kit_archives()
        steps, boxes = self.run_failing("kit-bad-destination", (10, "WIDGET.HLP", help_))
        self.assertEqual(boxes, [wk.MSG_TRANSFER_ERROR.format(10, "WIDGET.HLP"), wk.MSG_FAILED])
        self.assertEqual(steps, wk.expected_steps(wk.DETECTED["widget-2.0.exe"], [readme, runtime, help_])[:-1])
        self.assert_files(self.installed([readme, runtime]))

    def test_an_archive_missing_from_the_kit_fails_without_a_transfer_error(self):
        readme, runtime, _ = self.kit_archives()
        steps, boxes = self.run_failing("kit-missing-archive")
        self.assertEqual(boxes, [wk.MSG_FAILED])
        self.assertEqual(steps, wk.expected_steps(wk.DETECTED["widget-2.0.exe"], [readme])[:-1]
                         + [(runtime.progress, "", 0, 1, 0)])
        self.assert_files(self.installed([readme]))
        self.assertFalse(self.sc.exists(wk.join(wk.SYSTEM_DIR, "WIDGETRT.DLL")))

class NameTests(ReplaceOnRestartCase):
    """Names outside ASCII reach Windows as the characters they are: stored
    in the archive and the table in the kit's code page, Windows-1252."""

    manifest_path = KITS / "names.toml"

    def test_names_outside_ascii_are_installed_under_their_windows_names(self):
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
        kit = self.install(path=harness.program("kit-names"))
        self.assertEqual(kit.wait_exit(), 0)
        folder = wk.join(INSTALL_DIR, "Donn\u00e9es")
        payload = KITS / "names"
        self.assert_files([(folder + "\\Th\u00e8me.ini", payload / "Th\u00e8me.ini"),
                           (folder + "\\\u00d1and\u00fa\\caf\u00e9.txt", payload / "\u00d1and\u00fa" / "caf\u00e9.txt")])
        self.assertEqual(sorted(p.name for p in self.sc.host_path(INSTALL_DIR).iterdir()),
                         ["Donn\u00e9es", wk.PRODUCT_FILE])
        self.assertEqual(sorted(p.name for p in self.sc.host_path(folder).iterdir()),
                         ["Th\u00e8me.ini", "\u00d1and\u00fa"])


if __name__ == "__main__":
    harness.main()
