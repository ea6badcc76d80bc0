r"""`upkit try` on this build's demo kit: the native upkit runs the kit under
the Wine of this build's architecture (wine64, or 32-bit Wine for the win32
build) with this build's kit driver, on Widget 2.0 installed from the build's
widget-2.0.exe, and its report must say what the demo kit does.

Environment (tests/kit/CMakeLists.txt): UPKIT_TRY_UPKIT (the native upkit),
UPKIT_RUNTIME_DIR (the folder of this build's kit-driver-<arch>.exe),
UPKIT_E2E_KIT, UPKIT_E2E_PROGRAM_WIDGET_2_0, UPKIT_E2E_PROGRAM_WIDGET_2_1,
UPKIT_E2E_ARTIFACTS, WINEARCH.
"""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

PRODUCT = r"C:\Program Files\Widget"


class TryDemoKit(unittest.TestCase):
    def setUp(self) -> None:
        self.work = Path(tempfile.mkdtemp(prefix="upkit-try-test-"))
        self.addCleanup(shutil.rmtree, self.work, True)
        self.release = self.work / "release"
        self.release.mkdir()
        shutil.copyfile(os.environ["UPKIT_E2E_PROGRAM_WIDGET_2_0"], self.release / "WIDGET.EXE")

    def trial(self, *options: str) -> tuple:
        env = dict(os.environ, TMPDIR=str(self.work))
        env.pop("DISPLAY", None)
        shots = Path(os.environ["UPKIT_E2E_ARTIFACTS"]) / "try" / self.id().rsplit(".", 1)[-1]
        done = subprocess.run([os.environ["UPKIT_TRY_UPKIT"], "try", os.environ["UPKIT_E2E_KIT"], "--installed",
                               str(self.release), "--json", "--screenshots", str(shots), *options],
                              env=env, capture_output=True, text=True, timeout=600, check=False)
        self.assertTrue(done.stdout, done.stderr)
        # Nothing but the release is left in the temporary folder.
        self.assertEqual(sorted(p.name for p in self.work.iterdir()), ["release"])
        return done.returncode, json.loads(done.stdout)

    def test_the_demo_kit_upgrades_widget_2_0(self):
        code, report = self.trial()
        self.assertEqual(code, 0)
        self.assertEqual(report["arch"], os.environ["WINEARCH"])
        self.assertTrue(report["completed"])
        self.assertEqual(report["kit_exit"], 0)
        files = {f["path"]: f for f in report["files"]}
        program = files[PRODUCT + r"\WIDGET.EXE"]
        self.assertEqual(program["change"], "replaced")
        self.assertEqual(program["size"], Path(os.environ["UPKIT_E2E_PROGRAM_WIDGET_2_1"]).stat().st_size)
        values = {(v["key"], v["value"]): v for v in report["registry"]}
        self.assertEqual(values[(r"HKLM\Software\Brightfield\Widget", "Version")]["data"], "2.1")
        self.assertEqual(values[(r"HKLM\Software\Brightfield\Widget\2.1", "Program")]["data"], PRODUCT + r"\WIDGET.EXE")
        self.assertEqual(report["pending"], [])

    def test_a_running_monitor_is_refused(self):
        code, report = self.trial("--window", "BrightfieldWidgetMonitor")
        self.assertEqual(code, 1)
        self.assertEqual(len(report["boxes"]), 1)
        self.assertIn("Widget Monitor is currently running", report["boxes"][0]["text"])
        self.assertEqual(report["files"], [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
