"""The harness's own tests: drive the stand-in programs end to end and check
that the driver reads and does what it claims.

The dialog stand-in (tests/kit/standins/dialog_standin.cpp) has the kit's
dialog: template 100, controls 201, 210-213, Install (1, default) and Exit (2);
its message box comes at the end of Install with the icon, buttons and owner
chosen on its command line, and its exit code is 100 + the box's answer
(0 after Exit). The window stand-in is one top-level window of a given class.
"""

import struct
import tempfile
import time
import unittest
from pathlib import Path

import harness
from harness import BAR, EXIT, INSTALL, LINE1, LINE2, PROGRESS_GROUP, DriverError, HarnessError, HarnessTimeout

DIALOG = "Stand-in Kit Setup"
BOX = "Stand-in Kit"
BOX_TEXT = "The stand-in caf\u00e9 is installed. Finish now?"


class StandinCase(harness.KitTestCase):
    dialog_caption = DIALOG
    box_caption = BOX
    kit_path = harness.program("dialog_standin")


class DialogTests(StandinCase):
    def test_idle_dialog_as_the_user_first_sees_it(self):
        kit = self.start_kit()
        state = kit.wait_dialog()
        self.assertTrue(state.idle(), state.raw["controls"])
        self.assertEqual(state.focus_id, INSTALL)
        self.assertEqual(state.screen, (harness.SCREEN_WIDTH, harness.SCREEN_HEIGHT))
        self.assertEqual((state.rect["left"], state.rect["top"]), state.centred_position())
        self.assertEqual(state.text(INSTALL), "&Install")
        self.assertEqual(state.text(EXIT), "E&xit")
        self.assertEqual(state.text(PROGRESS_GROUP), "Installation Progress")
        self.assertEqual(state.statics, ["Welcome to the stand-in kit. This kit will:", "Click Install to begin."])
        self.assertEqual(state.control(BAR)["class"], "msctls_progress32")
        # An idle dialog answers messages: the bar's range and position.
        with_bar = kit.state(bar=True)
        self.assertEqual(with_bar.bar, {"low": 0, "high": 7, "pos": 5, "answered": True})
        self.sc.screenshot("idle")
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)

    def test_exit_escape_and_close_box_end_with_zero(self):
        ways = {
            "Exit button": lambda kit: kit.press(EXIT),
            "Escape": lambda kit: kit.key("escape"),
            "close box": lambda kit: kit.close(),
        }
        for name, leave in ways.items():
            with self.subTest(name):
                kit = self.start_kit()
                kit.wait_dialog()
                leave(kit)
                kit.wait_gone()
                self.assertEqual(kit.wait_exit(), 0)

    def test_busy_install_then_a_box_owned_by_the_dialog(self):
        kit = self.start_kit("--busy", "4000")
        kit.wait_dialog()
        watch = kit.watch()
        kit.press(INSTALL)

        # Busy: the texts are read without messages, at once; the bar cannot
        # be read, and says so.
        kit.wait_state(lambda s: s.installing() and s.text(LINE2) == "Step 1", timeout=5)
        asked = time.monotonic()
        busy = kit.state()
        # A read that waited on the kit would last until the 4 s of work are
        # over; starting the driver alone takes up to a second or so (more in
        # a 32-bit prefix), so the bound sits between the two.
        self.assertLess(time.monotonic() - asked, 2.5)
        self.assertEqual(busy.lines, ("Installing the stand-in", "Step 1"))
        busy = kit.state(bar=True, bar_timeout_ms=200)
        self.assertEqual(busy.bar, {"low": None, "high": None, "pos": None, "answered": False})
        # A user cannot click a disabled button.
        with self.assertRaisesRegex(DriverError, "disabled"):
            kit.press(INSTALL)
        self.sc.screenshot("busy")

        box = kit.message_box()
        self.assertEqual(box.caption, BOX)
        self.assertEqual(box.text, BOX_TEXT)
        self.assertEqual(box.owner, busy.hwnd)
        self.assertEqual(box.owner_caption, DIALOG)
        self.assertEqual(box.buttons, [(harness.IDYES, "&Yes"), (harness.IDNO, "&No")])
        self.assertEqual(box.icon, "question")
        self.sc.screenshot("box")

        # Inside the box's modal loop the kit answers messages again; the
        # dialog that owns the box is disabled and cannot be reached.
        waiting = kit.state(bar=True)
        self.assertEqual(waiting.bar, {"low": 0, "high": 4, "pos": 3, "answered": True})
        self.assertEqual(waiting.lines, ("Installing the stand-in", "Step 2"))
        self.assertFalse(waiting.enabled_window)
        for reach in (lambda: kit.press(EXIT), lambda: kit.close(), lambda: kit.key("escape")):
            with self.assertRaisesRegex(DriverError, "disabled"):
                reach()
        # A button the box does not show cannot be clicked either.
        with self.assertRaisesRegex(DriverError, "no button 1"):
            kit.answer(harness.IDOK)

        kit.answer(harness.IDNO)
        self.assertEqual(kit.wait_exit(), 100 + harness.IDNO)
        records = watch.wait_end(timeout=10)
        self.assertEqual(watch.sequence(LINE2), ["", "Step 1", "Step 2"])
        self.assertEqual(watch.box_texts(), [BOX_TEXT])
        self.assertEqual(records[-1]["end"], "gone")

    def test_recording_sees_every_text_and_bar_setting(self):
        # Without --busy "Step 1" lasts no time at all: a watch misses it,
        # the recording does not.
        kit = self.start_kit()
        dialog = kit.wait_dialog()
        recording = self.sc.record()
        kit.press(INSTALL)
        kit.message_box()
        kit.answer(harness.IDYES)
        self.assertEqual(kit.wait_exit(), 100 + harness.IDYES)
        recording.stop()
        self.assertEqual(recording.changes(dialog.hwnd), [
            ("text", LINE1, "Installing the stand-in"), ("text", LINE2, "Step 1"),
            # The bar's first position, 5, is cut to the new range's end.
            ("range", BAR, 0, 4, 4), ("pos", BAR, 0, 4, 1),
            ("text", LINE2, "Step 2"), ("range", BAR, 0, 4, 1), ("pos", BAR, 0, 4, 3),
        ])
        # The box's text is recorded too, under the box.
        self.assertIn(BOX_TEXT, [r["text"] for r in recording.records
                                 if r["kind"] == "text" and r["parent"] != dialog.hwnd])

    def test_enter_runs_the_default_button(self):
        kit = self.start_kit()
        kit.wait_dialog()
        sent = kit.key("enter")
        self.assertEqual(sent["to_id"], INSTALL)
        box = kit.message_box()
        self.assertEqual(box.text, BOX_TEXT)
        kit.answer(harness.IDYES)
        self.assertEqual(kit.wait_exit(), 100 + harness.IDYES)

    def test_enter_on_a_message_box_takes_its_default_button(self):
        kit = self.start_kit("--buttons", "okcancel", "--owner", "desktop")
        kit.wait_dialog()
        kit.press(INSTALL)
        box = kit.message_box()
        self.assertEqual(box.raw["focus"]["id"], harness.IDOK)
        kit.key_box("enter")
        self.assertEqual(kit.wait_exit(), 100 + harness.IDOK)

    def test_message_box_icons_buttons_and_owners(self):
        cases = [
            # icon, buttons, owner -> shown button ids
            ("hand", "ok", "desktop", [harness.IDOK]),
            ("exclamation", "ok", "dialog", [harness.IDOK]),
            ("asterisk", "yesno", "desktop", [harness.IDYES, harness.IDNO]),
            ("question", "okcancel", "dialog", [harness.IDOK, harness.IDCANCEL]),
            ("none", "yesnocancel", "dialog", [harness.IDYES, harness.IDNO, harness.IDCANCEL]),
        ]
        for icon, buttons, owner, ids in cases:
            with self.subTest(icon=icon, buttons=buttons, owner=owner):
                kit = self.start_kit("--icon", icon, "--buttons", buttons, "--owner", owner, "--text", f"{icon} box")
                dialog = kit.wait_dialog()
                kit.press(INSTALL)
                box = kit.message_box()
                self.assertEqual(box.icon, icon, box.raw["icon_mismatches"])
                self.assertEqual(box.button_ids, ids)
                self.assertEqual(box.text, f"{icon} box")
                self.assertEqual(box.owner, dialog.hwnd if owner == "dialog" else 0)
                self.sc.screenshot(f"box-{icon}")
                kit.answer(ids[-1])
                self.assertEqual(kit.wait_exit(), 100 + ids[-1])

    def test_back_to_idle_after_the_box_and_install_again(self):
        kit = self.start_kit("--after", "idle", "--buttons", "ok", "--icon", "exclamation")
        kit.wait_dialog()
        for attempt in (1, 2):
            with self.subTest(attempt=attempt):
                kit.press(INSTALL)
                box = kit.message_box()
                self.assertEqual(box.icon, "exclamation")
                kit.answer(harness.IDOK)
                state = kit.wait_state(lambda s: s.idle(), timeout=5, what="idle after the box")
                # The hidden lines keep their last texts.
                self.assertEqual(state.lines, ("Installing the stand-in", "Step 2"))
                self.assertTrue(state.enabled_window)
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)

    def test_restart_request_ends_windowed_programs_and_keeps_the_prefix_usable(self):
        product = self.sc.start_window("UpkitStandinFrame", "Stand-in Product")
        kit = self.start_kit("--restart", "yes", "--owner", "desktop")
        kit.wait_dialog()
        kit.press(INSTALL)
        kit.message_box()
        kit.answer(harness.IDYES)
        self.assertEqual(kit.wait_exit(), 100 + harness.IDYES)
        # Wine's end of session ends every program that has a window.
        self.assertEqual(product.wait_exit(timeout=15), 0)
        self.assertEqual([w for w in self.sc.list_windows() if w["caption"] == "Stand-in Product"], [])
        self.sc.reg_set(r"HKCU\Software\UpkitE2E", "After", "restart")
        self.assertEqual(self.sc.reg_value(r"HKCU\Software\UpkitE2E", "After"), "restart")


class WindowTests(StandinCase):
    def test_windows_by_caption_and_class(self):
        shown = self.sc.start_window("UpkitStandinFrame", "Stand-in Product", copy_to=r"C:\Product\PRODUCT.EXE")
        hidden = self.sc.start_window("UpkitStandinHidden", "Hidden Product", hidden=True)
        found = self.sc.wait_window("Stand-in Product", "UpkitStandinFrame")
        self.assertEqual(found["class"], "UpkitStandinFrame")
        # It runs from its copy in the prefix, so that file is in use.
        listed = [w for w in self.sc.list_windows() if w["hwnd"] == found["hwnd"]]
        self.assertEqual([w["image"].lower() for w in listed], [r"c:\product\product.exe"])
        # Captions match exactly, case included, unlike FindWindowA.
        with self.assertRaises(HarnessError):
            self.sc.wait_window("stand-in product", timeout=0.3)
        with self.assertRaises(HarnessError):
            self.sc.wait_window("Stand-in Product", "OtherClass", timeout=0.3)
        # A hidden window is listed with --all only, and is never waited for.
        deadline = time.monotonic() + 10
        while not any(w["class"] == "UpkitStandinHidden" for w in self.sc.list_windows(all=True)):
            self.assertLess(time.monotonic(), deadline, "the hidden window never appeared")
            time.sleep(0.1)
        listed = [w for w in self.sc.list_windows(all=True) if w["class"] == "UpkitStandinHidden"]
        self.assertEqual([(w["caption"], w["visible"]) for w in listed], [("Hidden Product", False)])
        self.assertFalse(any(w["class"] == "UpkitStandinHidden" for w in self.sc.list_windows()))
        with self.assertRaises(HarnessError):
            self.sc.wait_window("Hidden Product", timeout=0.3)

        self.sc.driver("close", caption="Stand-in Product")
        self.assertEqual(shown.wait_exit(), 0)
        self.assertTrue(hidden.running())

    def test_spawn_wait_exit_and_kill_through_the_driver(self):
        self.sc.put_file(r"C:\Standin\window.exe", harness.program("window_standin"))
        first = self.sc.driver("spawn", r"C:\Standin\window.exe", "--class", "UpkitSpawned", "--title",
                               "Spawned One", "--exit-code", "7")
        second = self.sc.driver("spawn", r"C:\Standin\window.exe", "--class", "UpkitSpawned", "--title",
                                "Spawned Two")
        self.assertEqual(self.sc.wait_window("Spawned One")["pid"], first["pid"])
        self.assertEqual(self.sc.wait_window("Spawned Two")["pid"], second["pid"])
        self.assertEqual(self.sc.driver("close", caption="Spawned One", wait_exit=True)["exit_code"], 7)
        with self.assertRaises(HarnessError):
            self.sc.driver("wait-exit", pid=second["pid"], timeout=300)
        self.sc.driver("kill", pid=second["pid"], exit_code=3)
        self.sc.wait_gone("Spawned Two")


class RegistryAndFileTests(StandinCase):
    KEY = r"HKLM\Software\UpkitE2E\Round Trip"

    def test_registry_round_trip(self):
        values = [
            # name, given, type, expected type name and code, expected data
            ("Text", "Caf\u00e9 \u00ae 1.0", None, "REG_SZ", 1, "Caf\u00e9 \u00ae 1.0"),
            ("Empty", "", "sz", "REG_SZ", 1, ""),
            ("Expand", r"%SystemRoot%\system32", "expand_sz", "REG_EXPAND_SZ", 2, r"%SystemRoot%\system32"),
            ("Number", 0xDEADBEEF, None, "REG_DWORD", 4, 0xDEADBEEF),
            ("List", ["first", "", "second item"], None, "REG_MULTI_SZ", 7, ["first", "", "second item"]),
            ("Bytes", b"\x00\x01\xfe\xff", None, "REG_BINARY", 3, "0001feff"),
            ("Big", 2**40 + 5, "qword", "REG_QWORD", 11, 2**40 + 5),
        ]
        for name, given, type_, *_ in values:
            self.sc.reg_set(self.KEY, name, given, type=type_)
        self.sc.reg_set(self.KEY + r"\Sub", "", "default text")

        for name, _, _, type_name, type_code, data in values:
            with self.subTest(name):
                got = self.sc.reg_get(self.KEY, name)
                self.assertEqual((got["exists"], got["type"], got["type_code"], got["data"]),
                                 (True, type_name, type_code, data))
        listing = self.sc.reg_get(self.KEY)
        self.assertEqual(sorted(v["name"] for v in listing["values"]), sorted(v[0] for v in values))
        self.assertEqual(listing["subkeys"], ["Sub"])
        self.assertEqual(self.sc.reg_value(self.KEY + r"\Sub", ""), "default text")

        # Wine's own reg tool sees what the driver wrote.
        shown = self.sc.wine("reg", "query", self.KEY, "/v", "Number").stdout.decode(errors="replace")
        self.assertRegex(shown, r"Number\s+REG_DWORD\s+0xdeadbeef")
        shown = self.sc.wine("reg", "query", self.KEY, "/v", "Expand").stdout.decode(errors="replace")
        self.assertIn(r"%SystemRoot%\system32", shown)
        # ... and the driver reads what Wine's tool wrote.
        self.sc.wine("reg", "add", self.KEY, "/v", "FromReg", "/t", "REG_DWORD", "/d", "42", "/f")
        self.assertEqual(self.sc.reg_value(self.KEY, "FromReg"), 42)

        self.assertTrue(self.sc.reg_delete(self.KEY, "Text"))
        self.assertFalse(self.sc.reg_get(self.KEY, "Text")["exists"])
        self.assertFalse(self.sc.reg_delete(self.KEY, "Text"))
        self.assertTrue(self.sc.reg_delete(self.KEY))
        self.assertFalse(self.sc.reg_get(self.KEY)["exists"])
        self.assertIsNone(self.sc.reg_value(self.KEY, "Number"))
        self.assertFalse(self.sc.reg_delete(self.KEY))

    def test_files_placed_in_the_prefix_as_windows_sees_them(self):
        when = 1_700_000_000  # 2023-11-14 22:13:20 UTC
        host = self.sc.put_file(r"C:\Product Dir\Sub\DATA.BIN", b"\x01" * 1234, mtime=when, readonly=True)
        self.assertEqual(host, self.sc.drive_c / "Product Dir" / "Sub" / "DATA.BIN")
        self.assertEqual(self.sc.host_path(r"c:\product dir\SUB\data.bin"), host)
        info = self.sc.file_info(r"C:\PRODUCT DIR\sub\data.bin")
        self.assertTrue(info["exists"])
        self.assertEqual(info["size"], 1234)
        self.assertTrue(info["readonly"])
        self.assertEqual(info["last_write"]["utc"], "2023-11-14T22:13:20Z")
        # TZ=UTC: the DOS time is the UTC time (seconds halved).
        self.assertEqual(info["last_write"]["dos_date"], ((2023 - 1980) << 9) | (11 << 5) | 14)
        self.assertEqual(info["last_write"]["dos_time"], (22 << 11) | (13 << 5) | (20 // 2))
        # The 8.3 form that Windows gives programs: Wine makes its own short
        # names, so only their shape is known.
        short = info["short_path"].split("\\")
        self.assertEqual(short[0], "C:")
        self.assertRegex(short[1], r"^[^ .]{1,8}$")
        self.assertEqual([p.upper() for p in short[2:]], ["SUB", "DATA.BIN"])
        self.assertFalse(self.sc.file_info(r"C:\Product Dir\missing.bin")["exists"])

    def test_pending_renames_wait_for_the_restart(self):
        self.sc.put_file(r"C:\Product\TARGET.TXT", b"old")
        self.sc.put_file(r"C:\Stage\NEW.TXT", b"new")
        self.sc.put_file(r"C:\Product\GONE.TXT", b"gone")
        operations = [r"\??\C:\Product\GONE.TXT", "",
                      r"\??\C:\Product\TARGET.TXT", "",
                      r"\??\C:\Stage\NEW.TXT", r"\??\C:\Product\TARGET.TXT"]
        self.sc.reg_set(harness.SESSION_MANAGER, "PendingFileRenameOperations", operations)
        self.assertEqual(self.sc.pending_renames(), list(zip(operations[0::2], operations[1::2])))
        # No Wine program for longer than a wineserver lingers by default:
        # the scenario's prefix stays warm, and nothing is carried out yet.
        time.sleep(4)
        self.sc.driver("list-windows")
        self.assertEqual(self.sc.read_file(r"C:\Product\TARGET.TXT"), b"old")
        self.assertTrue(self.sc.exists(r"C:\Product\GONE.TXT"))

        self.sc.restart_wine()
        self.assertEqual(self.sc.read_file(r"C:\Product\TARGET.TXT"), b"new")
        self.assertFalse(self.sc.exists(r"C:\Stage\NEW.TXT"))
        self.assertFalse(self.sc.exists(r"C:\Product\GONE.TXT"))
        self.assertEqual(self.sc.pending_renames(), [])

    def test_screenshots_are_pngs_of_the_whole_screen(self):
        first = self.sc.screenshot("empty desktop")
        kit = self.start_kit()
        kit.wait_dialog()
        second = self.sc.screenshot("dialog")
        self.assertEqual(first.name, "01-empty-desktop.png")
        self.assertEqual(second.name, "02-dialog.png")
        self.assertEqual(second.parent, harness.artifacts_root() / "RegistryAndFileTests.test_screenshots_are_pngs_of_the_whole_screen")
        for shot in (first, second):
            data = shot.read_bytes()
            self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
            width, height = struct.unpack(">II", data[16:24])
            self.assertEqual((width, height), (harness.SCREEN_WIDTH, harness.SCREEN_HEIGHT))
        self.assertNotEqual(first.read_bytes(), second.read_bytes())
        kit.press(EXIT)
        self.assertEqual(kit.wait_exit(), 0)


class FailureTests(StandinCase):
    def test_waits_fail_instead_of_hanging(self):
        kit = self.start_kit()
        kit.wait_dialog()
        started = time.monotonic()
        with self.assertRaises(HarnessError):
            kit.message_box(timeout=0.5)
        with self.assertRaises(HarnessTimeout):
            kit.wait_exit(timeout=0.5)
        with self.assertRaises(HarnessError):
            self.sc.wait_window("No Such Window", timeout=0.5)
        with self.assertRaises(HarnessTimeout):
            kit.wait_state(lambda s: s.installing(), timeout=0.5)
        self.assertLess(time.monotonic() - started, 8)
        self.assertTrue(kit.running())

    def test_a_crash_ends_the_program_without_a_crash_dialog(self):
        kit = self.start_kit("--crash", "yes")
        kit.wait_dialog()
        kit.press(INSTALL)
        # The exit status of wine itself carries the low byte of the exit code:
        # an access violation, which user-mode emulation of a 32-bit machine
        # (qemu) reports as an illegal instruction.
        access_violation, illegal_instruction = 0xC0000005, 0xC000001D
        self.assertIn(kit.wait_exit(timeout=30), (access_violation & 0xFF, illegal_instruction & 0xFF))
        self.assertEqual(self.sc.list_windows(), [])


class MachineCheckTests(unittest.TestCase):
    """Programs built for the other kind of prefix are refused before they
    run: a 64-bit prefix with 32-bit Wine installed would run a 32-bit
    program too, and a suite would pass against the wrong build."""

    def test_only_programs_for_this_kind_of_prefix_are_started(self):
        standin = harness.program("window_standin")
        harness.check_machine(standin)
        self.assertEqual(harness.pe_machine(standin), harness.PE_MACHINES[harness.WINEARCH])
        data = bytearray(standin.read_bytes())
        machine_at = struct.unpack_from("<I", data, 0x3C)[0] + 4
        other = next(m for arch, m in harness.PE_MACHINES.items() if arch != harness.WINEARCH)
        with tempfile.TemporaryDirectory() as folder:
            for name, content in (("other.exe", data[:machine_at] + struct.pack("<H", other) + data[machine_at + 2:]),
                                  ("text.exe", b"MZ but no PE header"), ("empty.exe", b"")):
                with self.subTest(name):
                    path = Path(folder) / name
                    path.write_bytes(content)
                    with self.assertRaisesRegex(HarnessError, f"not a {harness.WINEARCH} program"):
                        harness.check_machine(path)


if __name__ == "__main__":
    harness.main()
