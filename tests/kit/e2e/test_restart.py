r"""Files in use replaced at the restart without loss, under Windows NT and
Windows 95.

Each new version of a file in use waits in a file of its own in the
temporary folder (NEWxxxx.TMP) until the restart, however often its target
is scheduled before one and however many files share its name. Under
Windows 95 the kit's two entries go into WININIT.INI's first [Rename]
section, and other programs' entries stay exactly as they were. Every
scenario ends the session and starts the prefix again, which carries the
replacements out, and then looks at what the user has.

Targets in use are running programs (Wine refuses to delete their .exe);
every name is 8.3, as Windows 95's restart step keeps only short names.
"""

import harness
import widget_kit as wk
from harness import EXIT, IDNO, INSTALL

KITS = harness.REPO / "tests" / "kit" / "kits"
INSTALL_DIR = r"C:\Widget"
SYSTEM_DIR = wk.SYSTEM_DIR
WININIT = r"C:\windows\WININIT.INI"
IN_USE_CLASS = "UpkitE2EInUse"


class RestartCase(wk.KitCase):
    windows_version = None

    def setUp(self):
        super().setUp()
        if self.windows_version:
            self.sc.set_windows_version(self.windows_version)

    def run_product(self, path, title):
        """A program running from `path` that the kit takes for Widget 2.0."""
        program = wk.program_with_checksum_of(harness.program("window_standin").read_bytes(),
                                              wk.release("widget-2.0.exe"))
        return self.sc.start_window(IN_USE_CLASS, title, copy_to=path, program_bytes=program), program

    def end(self, title, program):
        self.sc.driver("close", caption=title)
        self.assertEqual(program.wait_exit(), 0)

    def press_install_to_completion(self, kit):
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assertEqual(box.text, wk.MSG_COMPLETED)

    def install(self, kit_name=None):
        """Runs the kit to its completion prompt and answers No."""
        kit = self.start_kit(path=harness.program(kit_name) if kit_name else None)
        kit.wait_dialog()
        self.press_install_to_completion(kit)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)

    def scheduled(self):
        """What waits for the restart, as (target, new-version bytes) pairs in
        the order the restart takes them, read from the system's list on NT
        and from WININIT.INI on Windows 95."""
        files = {path.upper(): data for path, data in wk.new_version_files(self.sc).items()}
        if self.windows_version != "win95":
            pending = self.sc.pending_renames()
            self.assertEqual([d for _, d in pending[0::2]], [""] * (len(pending) // 2), "deletions first")
            pairs = []
            for (deleted, _), (source, target) in zip(pending[0::2], pending[1::2]):
                self.assertEqual(deleted, target)
                pairs.append((target[4:], files[source[4:].upper()]))
            return pairs
        by_short = {self.sc.file_info(path)["short_path"].upper(): data for path, data in files.items()}
        lines = self.sc.read_file(WININIT).decode("ascii").split("\r\n")
        self.assertEqual(lines[0], "[Rename]")
        pairs = []
        for delete, move in zip(lines[1:-1:2], lines[2:-1:2]):
            target, new = move.split("=")
            self.assertEqual(delete, f"NUL={target}")
            pairs.append((target, by_short[new.upper()]))
        return pairs

    def short(self, path):
        return self.sc.file_info(path)["short_path"] if self.windows_version == "win95" else path

    def assert_restart_carried_out(self):
        self.sc.restart_wine()
        self.assertEqual(self.sc.pending_renames(), [])
        self.assertFalse(self.sc.exists(WININIT))
        self.assertEqual(wk.new_version_files(self.sc), {})


class ReplacementTests:
    """The scenarios for both systems (mixed into one class for each)."""

    def test_one_target_scheduled_twice_holds_the_later_archives_file(self):
        self.manifest_path = KITS / "same_names.toml"
        exe = wk.join(INSTALL_DIR, "WIDGET.EXE")
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, INSTALL_DIR)
        running, program = self.run_product(exe, "Widget (running)")
        self.install("kit-same-names")

        first, later, system = self.kit_archives()
        target = self.short(exe)
        self.assertEqual(self.scheduled(), [(target, first.members[0].source.read_bytes()),
                                            (target, later.members[0].source.read_bytes())])
        self.assertEqual(self.sc.read_file(exe), program)
        # Not in use: written at once.
        self.assert_files([(wk.join(SYSTEM_DIR, "WIDGET.EXE"), system.members[0].source)])

        self.end("Widget (running)", running)
        self.assert_restart_carried_out()
        self.assertEqual(self.sc.read_file(exe), later.members[0].source.read_bytes())

    def test_one_stored_name_in_two_folders_gives_each_its_own_file(self):
        self.manifest_path = KITS / "same_names.toml"
        exe, system_exe = wk.join(INSTALL_DIR, "WIDGET.EXE"), wk.join(SYSTEM_DIR, "WIDGET.EXE")
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, INSTALL_DIR)
        running, _ = self.run_product(exe, "Widget (running)")
        running_system, _ = self.run_product(system_exe, "System Widget (running)")
        self.install("kit-same-names")

        first, later, system = self.kit_archives()
        self.assertEqual(self.scheduled(), [(self.short(exe), first.members[0].source.read_bytes()),
                                            (self.short(exe), later.members[0].source.read_bytes()),
                                            (self.short(system_exe), system.members[0].source.read_bytes())])
        self.end("Widget (running)", running)
        self.end("System Widget (running)", running_system)
        self.assert_restart_carried_out()
        self.assertEqual(self.sc.read_file(exe), later.members[0].source.read_bytes())
        self.assertEqual(self.sc.read_file(system_exe), system.members[0].source.read_bytes())

    def test_install_pressed_again_after_a_failed_archive_loses_nothing(self):
        exe, readme = wk.join(INSTALL_DIR, "WIDGET.EXE"), wk.join(INSTALL_DIR, "README.TXT")
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, INSTALL_DIR)
        running, _ = self.run_product(exe, "Widget (running)")
        self.sc.put_file(readme, b"Widget 2.0 read-me.\r\n")
        # Held open without delete sharing: its member fails with 10.
        holder = self.sc.start_window(wk.BYSTANDER_CLASS, "Holder", hold=readme)
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        kit.press(INSTALL)
        self.answer_failed_member(kit, dialog, 10, "README.TXT")

        # The user closes the other program and tries again.
        self.end("Holder", holder)
        self.press_install_to_completion(kit)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        sources = {m.name: m.source for a in self.kit_archives() for m in a.members}
        new_exe = sources["WIDGET.EXE"].read_bytes()
        self.assertEqual(self.scheduled(), [(self.short(exe), new_exe), (self.short(exe), new_exe)])

        self.end("Widget (running)", running)
        self.assert_restart_carried_out()
        self.assert_files([(exe, sources["WIDGET.EXE"]), (readme, sources["README.TXT"])])


class WindowsNtTests(ReplacementTests, RestartCase):
    def test_a_target_path_too_long_is_refused_before_anything_is_deleted(self):
        self.manifest_path = KITS / "long_path.toml"
        (archive,) = self.kit_archives()
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
        full = wk.join(archive.destination(INSTALL_DIR), "README.TXT")
        self.assertGreater(len(full), 259)
        # What the path cut to fit its buffer (258 characters) would name:
        # another file.
        cut = full[:258]
        self.sc.put_file(cut, b"another program's file")
        kit = self.start_kit(path=harness.program("kit-long-path"))
        dialog = kit.wait_dialog()
        kit.press(INSTALL)
        self.answer_failed_member(kit, dialog, 10, "README.TXT")
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)
        self.assertEqual(self.sc.read_file(cut), b"another program's file")

    def test_an_empty_install_directory_deletes_only_what_it_writes(self):
        # The product's folder is recorded as empty: the kit finds its file
        # in the current folder, and the archive's members go to the root of
        # the current drive. The file of a member's name in the current
        # folder (here the product itself) is not the target.
        product = wk.release("widget-2.0.exe")
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, "")
        self.sc.put_file(r"C:\windows\WIDGET.EXE", product)
        kit = self.start_kit(cwd=r"C:\windows")
        kit.wait_dialog()
        self.press_install_to_completion(kit)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        self.assertEqual(self.sc.read_file(r"C:\windows\WIDGET.EXE"), product)
        sources = {m.name: m.source for a in self.kit_archives() for m in a.members}
        self.assert_files([(r"C:\WIDGET.EXE", sources["WIDGET.EXE"]), (r"C:\README.TXT", sources["README.TXT"])])


class Windows95Tests(ReplacementTests, RestartCase):
    windows_version = "win95"

    FOREIGN = (b"NUL=C:\\FOREIGN\\OLD.DLL\r\n"
               b"C:\\FOREIGN\\DEST.TXT=C:\\FOREIGN\\SRC.TXT")

    def install_over(self, existing, readonly=False):
        """Widget 2.0 running from C:\\Widget, another program's renames in
        WININIT.INI (`existing`), and the demo kit installed."""
        self.sc.put_file(r"C:\FOREIGN\OLD.DLL", b"old library")
        self.sc.put_file(r"C:\FOREIGN\SRC.TXT", b"another program's new file")
        self.sc.put_file(WININIT, existing, readonly=readonly)
        self.sc.reg_set(wk.PRODUCT_KEY, wk.INSTALL_VALUE, INSTALL_DIR)
        return self.run_product(wk.join(INSTALL_DIR, "WIDGET.EXE"), "Widget (running)")

    def kit_lines(self):
        exe = wk.join(INSTALL_DIR, "WIDGET.EXE")
        (new,) = wk.new_version_files(self.sc)
        target = self.short(exe)
        return f"NUL={target}\r\n{target}={self.short(new)}\r\n".encode("ascii")

    def check_carried_out(self, running, replaced=True):
        self.end("Widget (running)", running)
        self.sc.restart_wine()
        self.assertFalse(self.sc.exists(WININIT))
        self.assertFalse(self.sc.exists(r"C:\FOREIGN\OLD.DLL"))
        self.assertFalse(self.sc.exists(r"C:\FOREIGN\SRC.TXT"))
        self.assertEqual(self.sc.read_file(r"C:\FOREIGN\DEST.TXT"), b"another program's new file")
        exe = self.sc.read_file(wk.join(INSTALL_DIR, "WIDGET.EXE"))
        new_exe = next(m.source for a in self.kit_archives() for m in a.members if m.name == "WIDGET.EXE")
        self.assertEqual(exe == new_exe.read_bytes(), replaced)
        self.assertEqual(wk.new_version_files(self.sc), {})

    def assert_kit_lines_go(self, existing, at, line_break=b""):
        """Installs over `existing` and finds the kit's two lines at offset
        `at`, after `line_break`, every other byte in place; after the
        restart, both programs' renames are carried out."""
        running, _ = self.install_over(existing)
        self.install()
        self.assertEqual(self.sc.read_file(WININIT), existing[:at] + line_break + self.kit_lines() + existing[at:])
        self.check_carried_out(running)

    def test_a_last_line_without_a_line_break_gets_one_first(self):
        existing = b"[Rename]\r\n" + self.FOREIGN
        self.assert_kit_lines_go(existing, len(existing), b"\r\n")

    def test_the_entries_go_inside_a_rename_section_that_is_not_last(self):
        rename = b"[Rename]\r\n" + self.FOREIGN + b"\r\n"
        self.assert_kit_lines_go(rename + b"[Settings]\r\nkey=value\r\n", len(rename))

    def test_a_section_named_in_lower_case_is_the_one(self):
        rename = b"[rename]\r\n" + self.FOREIGN + b"\r\n"
        self.assert_kit_lines_go(rename + b"[Settings]\r\nkey=value", len(rename))

    def test_a_read_only_file_fails_the_member_and_is_left_as_it_was(self):
        existing = b"[Rename]\r\n" + self.FOREIGN + b"\r\n"
        running, _ = self.install_over(existing, readonly=True)
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        kit.press(INSTALL)
        self.answer_failed_member(kit, dialog, 10, "WIDGET.EXE")
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)
        self.assertEqual(self.sc.read_file(WININIT), existing)
        self.assertEqual(wk.new_version_files(self.sc), {})
        self.check_carried_out(running, replaced=False)


if __name__ == "__main__":
    harness.main()
