r"""One full install by the shipping 32-bit demo kit under 32-bit Wine.

The win32 build's demo kit runs in a fresh 32-bit Wine prefix (WINEARCH=win32)
in which Widget 2.0 is installed, driven by the win32 build's kit_driver the
way a user would: Install, then No at the restart prompt. Afterwards every
file and registry value that a completed install leaves is checked against
the kit's manifest (widget_kit), the progress display is checked through the
message recorder, and a short report is printed. Exit status 0 when all
checks passed, 1 otherwise.

Everything 32-bit runs through /usr/lib/wine/wine, the 32-bit loader, with
Debian's wine32 package; on a kernel without 32-bit support that loader runs
under user-mode emulation (scripts/win32-smoke sets it up), which makes every
Wine start slow: --slow scales every wait.

    python3 tests/kit/e2e/run_win32_smoke.py [--build build/win32] [--slow N]

Expects the win32 build's demo-kit, kit_driver, message_recorder, widget-2.0,
widget-2.1 and widgetrt (scripts/win32-smoke builds them). Screenshots and
logs land in <build>/kit-e2e-artifacts/.
"""

from __future__ import annotations

import argparse
import os
import signal
import struct
import sys
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
WINE32 = "/usr/lib/wine/wine"
INSTALL_DIR = r"C:\Program Files\Brightfield\Widget"
I386 = 0x14C

# Filled in by main() before the test runs.
SLOW = 1.0
TIMINGS: dict = {}


def pe_machine(path: Path) -> int:
    """The machine field of a PE file's header (0x14c for 32-bit x86)."""
    data = path.read_bytes()[:4096]
    offset = struct.unpack_from("<I", data, 0x3C)[0] if len(data) >= 0x40 and data[:2] == b"MZ" else None
    if offset is None or data[offset:offset + 4] != b"PE\0\0":
        raise SystemExit(f"{path} is not a PE program")
    return struct.unpack_from("<H", data, offset + 4)[0]


def configure(build: Path, kit: Path) -> None:
    """Points the e2e harness at the win32 build and a 32-bit prefix. Must
    run before harness and widget_kit are imported: they read these at
    import time."""
    os.environ.update(
        UPKIT_E2E_KIT=str(kit),
        UPKIT_E2E_DRIVER=str(build / "kit_driver.exe"),
        UPKIT_E2E_RECORDER=str(build / "message_recorder.dll"),
        # widget_kit finds the build's releases next to this one.
        UPKIT_E2E_PROGRAM_WIDGET_2_1=str(build / "widget-2.1.exe"),
        UPKIT_E2E_ARTIFACTS=str(build / "kit-e2e-artifacts"),
        UPKIT_E2E_WORK=str(build / "kit-e2e-work"),
        # Made fresh by this run: a 32-bit prefix, never the win64 template.
        UPKIT_E2E_TEMPLATE="",
        WINEARCH="win32",
        TZ="UTC",
    )
    missing = [p for p in (kit, build / "kit_driver.exe", build / "message_recorder.dll",
                           build / "widget-2.0.exe", build / "widget-2.1.exe", build / "widgetrt.dll")
               if not p.is_file()]
    if missing:
        raise SystemExit("missing from the build: " + ", ".join(map(str, missing)))
    for program in (kit, build / "kit_driver.exe", build / "message_recorder.dll"):
        if pe_machine(program) != I386:
            raise SystemExit(f"{program} is not a 32-bit x86 program")


sys.path.insert(0, str(Path(__file__).resolve().parent))


def load_harness():
    import harness
    import widget_kit
    # The harness starts every Windows program through this loader; the
    # 32-bit one runs the prefix's 32-bit programs. The wineserver stays the
    # harness's: one server serves 32-bit clients as well.
    harness.WINE64 = WINE32
    return harness, widget_kit


def smoke_case(harness, wk):
    from harness import IDNO, IDYES, INSTALL

    class Win32FullInstall(wk.KitCase):
        def test_install_then_no_at_the_restart_prompt(self):
            wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
            # Also when a step fails: what the kit left so far.
            self.addCleanup(report, self.sc, wk)
            started = time.monotonic()
            kit = self.start_kit()
            dialog = kit.wait_dialog(timeout=15 * SLOW)
            TIMINGS["kit start to dialog"] = time.monotonic() - started
            self.assertTrue(dialog.idle(), dialog.raw["controls"])
            self.sc.screenshot("idle")
            recording = self.sc.record(timeout=300 * SLOW)

            started = time.monotonic()
            kit.press(INSTALL)
            box = kit.message_box(timeout=60 * SLOW)
            TIMINGS["Install to restart prompt"] = time.monotonic() - started
            self.sc.screenshot("completed")
            self.assert_box(box, wk.MSG_COMPLETED, 0, "asterisk", [(IDYES, "&Yes"), (IDNO, "&No")])
            kit.answer(IDNO)
            self.assertEqual(kit.wait_exit(timeout=30 * SLOW), 0)
            recording.stop(timeout=10 * SLOW)

            print(f'\nThe kit said: "{box.text}"; answered No, the kit ended with 0.')
            self.assertEqual(wk.progress_steps(recording, dialog.hwnd),
                             wk.expected_steps(wk.DETECTED["widget-2.0.exe"], wk.ARCHIVES))
            self.assertEqual(wk.box_texts(recording, dialog.hwnd), [wk.MSG_COMPLETED])
            # Nothing was in use: nothing waits for a restart.
            self.assertEqual(self.sc.pending_renames(), [])
            self.assert_installed(INSTALL_DIR)

    Win32FullInstall.__qualname__ = "Win32FullInstall"
    return Win32FullInstall


def report(sc, wk) -> None:
    """What the kit left, one line a file or value: ok, or what is wrong."""
    try:
        _report(sc, wk)
    except Exception as e:    # a report that cannot be made fails nothing
        print(f"(no report: {e})")


def _report(sc, wk) -> None:
    print("\nFiles:")
    for path, source in wk.installed_files(INSTALL_DIR):
        if not sc.exists(path):
            verdict = "MISSING"
        elif sc.read_file(path) != source.read_bytes():
            verdict = "DIFFERS"
        elif sc.host_path(path).stat().st_mtime != wk.FILE_TIME:
            verdict = "WRONG TIME"
        else:
            verdict = "ok"
        print(f"  {verdict:10} {path}")
    print("Registry:")
    for key, value, kind, data in wk.expected_registry(INSTALL_DIR):
        got = sc.reg_get(key, value)
        verdict = "ok" if got["exists"] and (got["type"], got["data"]) == (kind, data) else \
            f"GOT {got.get('type')} {got.get('data')!r}" if got["exists"] else "MISSING"
        print(f"  {verdict:10} {key}\\{value or '(default)'} = {data!r}")
    pending = sc.pending_renames()
    print(f"Waiting for a restart: {pending if pending else 'nothing'}")


def main() -> int:
    global SLOW
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=REPO / "build" / "win32", help="the win32 build folder")
    parser.add_argument("--kit", type=Path, help="the kit program (default: BUILD/demo-kit.exe)")
    parser.add_argument("--slow", type=float, default=1.0,
                        help="scale every wait by this (Wine under emulation starts programs many times slower)")
    args = parser.parse_args()
    SLOW = max(1.0, args.slow)
    build = args.build.resolve()
    configure(build, (args.kit or build / "demo-kit.exe").resolve())
    if not os.access(WINE32, os.X_OK):
        raise SystemExit(f"{WINE32} is missing: install wine32:i386")
    harness, wk = load_harness()

    # A stop from outside (timeout) fails the test as an error, so that its
    # clean-ups still end the prefix's Wine, and the run its Xvfb.
    def stop(signum, _frame):
        raise SystemExit(f"stopped by signal {signum}")
    signal.signal(signal.SIGTERM, stop)

    total = time.monotonic()
    ok = False
    try:
        started = time.monotonic()
        run = harness.current_run()
        TIMINGS["32-bit template prefix"] = time.monotonic() - started
        arch = next((line for line in (run.template / "system.reg").read_text(errors="replace").splitlines()
                     if line.startswith("#arch=")), "#arch=?")
        if arch != "#arch=win32" or (run.template / "drive_c" / "windows" / "syswow64").exists():
            raise SystemExit(f"the template prefix is not a 32-bit one ({arch})")
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(smoke_case(harness, wk))
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
        ok = result.wasSuccessful()
    finally:
        harness._close_run()
        TIMINGS["total"] = time.monotonic() - total
        print("\nTimings: " + ", ".join(f"{what} {seconds:.1f} s" for what, seconds in TIMINGS.items()))
        print(f"Artifacts: {os.environ['UPKIT_E2E_ARTIFACTS']}")
    print("win32 smoke run: " + ("PASSED" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
