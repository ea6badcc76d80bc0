r"""Runs the demo kit against a throwaway Wine prefix in which Widget 2.0 is
installed, and reports what it did.

Without a display (or with --headless) the kit runs on a private X server and
is driven through the whole install like a user would: Install, then No at
the restart prompt. With DISPLAY set, the kit shows on that screen for a
person to click through; the report follows once the kit has ended.

    python3 tests/kit/e2e/run_demo.py [--headless] [--kit build/win64/demo-kit.exe]

With WINEARCH=win32 the win32 build's kit runs under 32-bit Wine (see harness).
"""

from __future__ import annotations

import argparse
import os
import sys
import time
from pathlib import Path

import harness
import widget_kit

INSTALL_DIR = r"C:\Program Files\Brightfield\Widget"
# What the kit spends waiting by design: 3 s before the archives, 1 s after
# the registry.
KIT_PAUSES_S = 4.0


def prepare(sc: harness.Scenario) -> None:
    widget_kit.install_product(sc, INSTALL_DIR, widget_kit.release("widget-2.0.exe"))
    print(f"Widget 2.0 installed in {INSTALL_DIR} (registry {widget_kit.PRODUCT_KEY}\\{widget_kit.INSTALL_VALUE})")


def drive(sc: harness.Scenario, kit: harness.Kit) -> None:
    """Clicks through the install and answers No at the restart prompt."""
    kit.wait_dialog()
    sc.screenshot("idle dialog")
    started = time.monotonic()
    kit.press(harness.INSTALL)
    kit.wait_state(lambda s: s.installing(), timeout=30)
    sc.screenshot("installing")
    box = kit.message_box(timeout=120)
    elapsed = time.monotonic() - started
    sc.screenshot("completion prompt")
    print(f'The kit says: "{box.text}"')
    print(f"Install to prompt: {elapsed:.2f} s, of which {KIT_PAUSES_S:.0f} s are the kit's own pauses: "
          f"{max(0.0, elapsed - KIT_PAUSES_S):.2f} s of work (Wine's start-up of the box included)")
    kit.answer(harness.IDNO)
    print(f"Answered No; the kit ended with exit code {kit.wait_exit(30)}")


def attend(kit: harness.Kit) -> None:
    """Leaves the kit to the person at the display."""
    print("The kit is on your display: click through it (Install, then Yes or No).")
    print(f"It ended with exit code {kit.wait_exit(3600)}")


def report(sc: harness.Scenario) -> None:
    print("\nInstalled files:")
    for path, source in widget_kit.installed_files(INSTALL_DIR):
        if not sc.exists(path):
            print(f"  missing  {path}")
            continue
        same = sc.read_file(path) == source.read_bytes()
        info = sc.file_info(path)
        print(f"  {'new' if same else 'old'}  {path}  ({info['size']} bytes, written {info['last_write']['utc']})")
    print("\nWaiting for the next restart:")
    pending = sc.pending_renames()
    for source, target in pending:
        print(f"  {'delete ' + source if not target else source + ' -> ' + target}")
    if not pending:
        print("  nothing")
    print("\nRegistry values written:")
    for key, value, kind, _ in widget_kit.expected_registry(INSTALL_DIR):
        print(f"  {key}\\{value or '(default)'} = {sc.reg_value(key, value)!r}  [{kind}]")
    print(f"\nScreenshots: {sc.artifacts}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--headless", action="store_true", help="drive the kit on a private X server")
    parser.add_argument("--kit", type=Path, default=Path(os.environ.get("UPKIT_E2E_KIT") or
                                                         harness.DEFAULT_BUILD / "demo-kit.exe"),
                        help="the kit program to run")
    args = parser.parse_args()
    display = None if args.headless else os.environ.get("DISPLAY")
    run = harness.Run(display=display)
    sc = harness.Scenario("demo", run)
    try:
        prepare(sc)
        kit = sc.start_kit(widget_kit.DIALOG_CAPTION, widget_kit.TITLE, path=args.kit)
        if display:
            attend(kit)
        else:
            drive(sc, kit)
        report(sc)
    finally:
        sc.close()
        run.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
