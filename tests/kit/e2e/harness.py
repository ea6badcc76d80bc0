r"""End-to-end harness: runs kits under Wine the way a user meets them.

One run (one Python process) owns a virtual X display (Xvfb) and an
initialised template Wine prefix. Every scenario works on its own copy of the
template, with its own wineserver, and starts the kit as a Wine program whose
exit code we read. The windowless driver (kit-driver-<arch>.exe) runs in the same
prefix, one action per call, and answers in JSON.

    class Install(harness.KitTestCase):
        dialog_caption = "Maker Widget 2.1 Upgrade"   # the kit's dialog
        box_caption = "Widget 2.1 Upgrade"             # its message boxes

        def test_refused_while_the_product_runs(self):
            self.sc.reg_set(r"HKLM\Software\Maker\Widget", "InstallDir", r"C:\Widget")
            self.sc.put_file(r"C:\Widget\WIDGET.EXE", harness.program("widget_v20"))
            self.sc.start_window("MakerWidget", "Widget")
            kit = self.start_kit()
            self.assertTrue(kit.wait_dialog().idle())
            kit.press(harness.INSTALL)
            box = kit.message_box()
            self.assertEqual((box.owner, box.icon, box.button_ids), (0, "exclamation", [harness.IDOK]))
            kit.answer(harness.IDOK)
            kit.wait_state(lambda s: s.idle())
            kit.press(harness.EXIT)
            self.assertEqual(kit.wait_exit(), 0)

Following an install: `watch = kit.watch()` before pressing Install, then
`watch.wait_end(60)` once the dialog is gone; `watch.sequence(211)` gives the
successive texts of a progress line (texts shown for less than the 20 ms poll
can be missed). The bar can be read only while the kit waits for input
(idle, or inside a message box): `kit.state(bar=True).bar`. To see every
text and bar setting however briefly it lasts, record instead:
`rec = self.sc.record()` before pressing Install, `rec.stop()` afterwards,
then `rec.changes(dialog_hwnd)` lists what the dialog's controls were told,
in order.

Paths come from the environment that CTest sets (see tests/kit/CMakeLists.txt):
UPKIT_E2E_KIT, UPKIT_E2E_DRIVER, UPKIT_E2E_RECORDER, UPKIT_E2E_PROGRAM_<TARGET>,
UPKIT_E2E_TEMPLATE, UPKIT_E2E_ARTIFACTS, UPKIT_E2E_WORK. So does the Wine that runs the
build's programs: WINEARCH, the kind of prefix (win64 or win32, after the build's
pointer size), and UPKIT_E2E_WINE, the loader (/usr/lib/wine/wine64, or the 32-bit
/usr/lib/wine/wine). Run by hand, WINEARCH defaults to win64, the loader to the one
of WINEARCH and the paths to that build folder (build/win64 or build/win32).
UPKIT_E2E_KEEP=1 keeps each scenario's prefix copy.

`python3 harness.py make-template DIR` makes the template prefix (the CTest
fixture does this once per test run).
"""

from __future__ import annotations

import atexit
import contextlib
import json
import ntpath
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable, Iterable, Optional

# The kind of prefix the programs under test need and the Wine loader that
# runs them there: a 64-bit build's programs run with wine64 in 64-bit
# prefixes, a 32-bit build's with the 32-bit loader in 32-bit prefixes (no
# WoW64 layer between the programs and the registry or the system folder).
LOADERS = {"win64": "/usr/lib/wine/wine64", "win32": "/usr/lib/wine/wine"}
WINEARCH = os.environ.get("WINEARCH") or "win64"
if WINEARCH not in LOADERS:
    raise SystemExit(f"WINEARCH is {WINEARCH!r}: the end-to-end tests run in win64 or win32 prefixes")
WINE = os.environ.get("UPKIT_E2E_WINE") or LOADERS[WINEARCH]
# The name this had when every program was a 64-bit one.
WINE64 = WINE
# The machine field of the PE header that programs for WINEARCH carry.
PE_MACHINES = {"win64": 0x8664, "win32": 0x14C}
# One wineserver serves 32-bit and 64-bit clients alike.
WINESERVER = next(
    (p for p in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver") if os.access(p, os.X_OK)),
    "wineserver",
)
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768
WINESERVER_LINGER_S = 120
REPO = Path(__file__).resolve().parents[3]
DEFAULT_BUILD = REPO / "build" / WINEARCH
TEMPLATE_MARKER = "upkit-e2e-template.json"
# The registry of every template: no crash dialog and no debugger (a crashing
# program must end with its exception code and fail its test, not wait for a
# click; an attached debugger may end it with exit code 0 instead) and a
# virtual desktop the size of the screen, so that windows have title bars in
# screenshots and close at once.
TEMPLATE_REGISTRY = f"""REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]
"Debugger"="upkit-e2e-no-debugger.exe %ld %ld"
"Auto"="1"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="{SCREEN_WIDTH}x{SCREEN_HEIGHT}"
"""

READ_ONLY_ACTIONS = {"wait-window", "wait-gone", "dialog-state", "message-box", "list-windows", "reg-get",
                     "file-info", "wait-exit"}
SESSION_MANAGER = r"HKLM\System\CurrentControlSet\Control\Session Manager"

# Control ids of the kit's dialog and the message box buttons.
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
INSTALL, EXIT = 1, 2
PROGRESS_GROUP, LINE1, LINE2, BAR = 210, 211, 212, 213


class HarnessError(AssertionError):
    """The kit or the machinery did not do what a scenario waited for.

    An AssertionError, so that unittest reports it as the test's failure."""


class HarnessTimeout(HarnessError):
    pass


class DriverError(HarnessError):
    def __init__(self, action: str, message: str, output: Any = None):
        super().__init__(f"kit_driver {action}: {message}")
        self.action = action
        self.output = output


def log(message: str) -> None:
    print(f"[e2e {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def _env_path(name: str, default: Path) -> Path:
    value = os.environ.get(name)
    return Path(value) if value else default


def kit_program() -> Path:
    """The kit under test (UPKIT_E2E_KIT)."""
    value = os.environ.get("UPKIT_E2E_KIT")
    if not value:
        raise HarnessError("UPKIT_E2E_KIT is not set: which kit should run?")
    return Path(value)


def program(target: str) -> Path:
    """A program of the build by its CMake target name (PROGRAMS of
    upkit_add_kit_e2e, and the stand-ins)."""
    variable = re.sub(r"[^A-Za-z0-9]", "_", target).upper()
    return _env_path(f"UPKIT_E2E_PROGRAM_{variable}", DEFAULT_BUILD / f"{target}.exe")


def driver_program() -> Path:
    return _env_path("UPKIT_E2E_DRIVER", DEFAULT_BUILD / f"kit-driver-{WINEARCH}.exe")


def recorder_library() -> Path:
    return _env_path("UPKIT_E2E_RECORDER", DEFAULT_BUILD / "message_recorder.dll")


def windows_path(host: Path) -> str:
    """A host file as Wine programs name it: through drive Z:, the host's
    root."""
    return "Z:" + str(Path(host).resolve()).replace("/", "\\")


def artifacts_root() -> Path:
    return _env_path("UPKIT_E2E_ARTIFACTS", DEFAULT_BUILD / "kit-e2e-artifacts")


def pe_machine(path: Path) -> Optional[int]:
    """The machine field of a PE file's header (0x14c x86, 0x8664 x86-64),
    None for a file that is no PE image."""
    with open(path, "rb") as f:
        data = f.read(4096)
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if offset + 6 > len(data) or data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_machine(path: Path) -> None:
    """Fails unless the host file is a program for this run's prefixes. A
    64-bit prefix with 32-bit Wine installed would run a 32-bit program as
    well, and a test would pass against the wrong build."""
    machine = pe_machine(path)
    if machine != PE_MACHINES[WINEARCH]:
        found = {v: k for k, v in PE_MACHINES.items()}.get(machine, "no PE program" if machine is None
                                                             else f"machine 0x{machine:x}")
        raise HarnessError(f"{path} is {found}, not a {WINEARCH} program (WINEARCH={WINEARCH})")


def check_loader() -> None:
    """Fails with what to install when the loader for WINEARCH is missing."""
    if not os.access(WINE, os.X_OK):
        how = "scripts/install-wine32 installs 32-bit Wine" if WINEARCH == "win32" else \
            "scripts/install-deps installs wine64"
        raise HarnessError(f"{WINE}, the Wine loader for {WINEARCH} prefixes, is missing: {how}")


def prefix_arch(prefix: Path) -> Optional[str]:
    """The kind of an initialised prefix (win32 or win64), as Wine notes it
    in the prefix's registry."""
    with contextlib.suppress(OSError):
        with open(prefix / "system.reg", errors="replace") as f:
            for line in f:
                if line.startswith("#arch="):
                    return line.strip()[len("#arch="):]
    return None


def wine_environment(prefix: Path, display: Optional[str]) -> dict:
    env = dict(os.environ)
    env.update(
        WINEPREFIX=str(prefix),
        WINEARCH=WINEARCH,
        WINEDEBUG="-all",
        WINEDLLOVERRIDES="mscoree,mshtml=",
        LC_ALL="C.UTF-8",
    )
    # Kit, driver and checks convert times with the same zone.
    env.setdefault("TZ", "UTC")
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _run(args: list, env: dict, timeout: float, what: str) -> subprocess.CompletedProcess:
    """Runs a command to its end and returns its output. The output goes
    through files, not pipes: Wine programs and a wineserver started along
    the way keep the inherited descriptors open long after the command ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            code = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout,
                                  check=False).returncode
        except subprocess.TimeoutExpired as e:
            raise HarnessTimeout(f"{what} did not finish within {timeout} s") from e
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, code, out.read(), err.read())


# ---------------------------------------------------------------- template prefix


# The bitmap face Windows shows dialogs in ("Helv", 8 points: MS Sans Serif).
# Wine draws with it only when it lies in the prefix's Fonts folder; without
# it dialogs come out in a wider face, and texts that fit on Windows are cut.
DIALOG_FONT = Path("/usr/share/wine/fonts/sserife.fon")


def install_dialog_font(prefix: Path) -> None:
    if DIALOG_FONT.is_file():
        fonts = prefix / "drive_c" / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(DIALOG_FONT, fonts / DIALOG_FONT.name)


def make_template(target: Path) -> Path:
    """Makes an initialised, stopped Wine prefix at target (replacing it)."""
    target = Path(target).resolve()
    target.parent.mkdir(parents=True, exist_ok=True)
    building = target.with_name(target.name + ".new")
    for old in (building, target):
        if old.exists():
            _stop_wineserver(old)
            shutil.rmtree(old)
    check_loader()
    start = time.monotonic()
    env = wine_environment(building, display=None)
    result = _run([WINE, "wineboot", "-i"], env, 240, "wineboot -i")
    if not (building / "drive_c" / "windows").is_dir():
        raise HarnessError(f"wineboot -i made no prefix (exit {result.returncode}): {result.stderr.decode(errors='replace')}")
    install_dialog_font(building)
    reg_file = building / "drive_c" / "upkit-e2e.reg"
    reg_file.write_text(TEMPLATE_REGISTRY.replace("\n", "\r\n"), encoding="ascii")
    result = _run([WINE, "regedit", "/S", "C:\\upkit-e2e.reg"], env, 120, "regedit")
    reg_file.unlink()
    _run([WINESERVER, "-w"], env, 120, "wineserver -w")
    if "ShowCrashDialog" not in (building / "user.reg").read_text(errors="replace"):
        raise HarnessError("the template's registry settings did not land in user.reg")
    # The registry files are written when the wineserver ends.
    if prefix_arch(building) != WINEARCH:
        raise HarnessError(f"wineboot -i made a {prefix_arch(building)} prefix, not a {WINEARCH} one")
    (building / TEMPLATE_MARKER).write_text(
        json.dumps({"made": time.strftime("%Y-%m-%dT%H:%M:%S"), "screen": [SCREEN_WIDTH, SCREEN_HEIGHT],
                    "arch": WINEARCH})
    )
    building.rename(target)
    log(f"template prefix {target} made in {time.monotonic() - start:.1f} s")
    return target


def _stop_wineserver(prefix: Path) -> None:
    with contextlib.suppress(HarnessTimeout):
        _run([WINESERVER, "-k"], wine_environment(prefix, None), 30, "wineserver -k")


# ---------------------------------------------------------------- display and run


class Display:
    """One Xvfb for the run, on a display number that it picks itself."""

    def __init__(self, log_path: Path):
        read_end, write_end = os.pipe()
        self.log_file = open(log_path, "wb")
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=self.log_file, stderr=self.log_file,
        )
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        try:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise HarnessTimeout("Xvfb did not report its display within 15 s")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise HarnessError(f"Xvfb ended at start; see {log_path}")
                number += chunk
        except BaseException:
            self.stop()
            raise
        finally:
            os.close(read_end)
        self.name = f":{int(number)}"

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log_file.close()


class ExistingDisplay:
    """A display that is already there (a person's screen): used, not owned."""

    def __init__(self, name: str):
        self.name = name

    def stop(self) -> None:
        pass


class Run:
    """What one test run shares: the display and the template prefix. With
    `display`, programs show on that X display instead of a private Xvfb."""

    def __init__(self, display: Optional[str] = None):
        start = time.monotonic()
        # Before anything is started that would have to be ended again.
        check_loader()
        for needed in (driver_program(), recorder_library()):
            check_machine(needed)
        self.artifacts = artifacts_root()
        self.artifacts.mkdir(parents=True, exist_ok=True)
        work = os.environ.get("UPKIT_E2E_WORK")
        if work:
            Path(work).mkdir(parents=True, exist_ok=True)
        self.work = Path(tempfile.mkdtemp(prefix="run-", dir=work or None))
        self.display = ExistingDisplay(display) if display else Display(self.artifacts / "xvfb.log")
        template = os.environ.get("UPKIT_E2E_TEMPLATE")
        if template and (Path(template) / TEMPLATE_MARKER).is_file() and prefix_arch(Path(template)) == WINEARCH:
            self.template = Path(template)
        else:
            if template:
                log(f"{template} is no finished {WINEARCH} template; making one for this run")
            self.template = make_template(self.work / "template")
        log(f"run ready in {time.monotonic() - start:.1f} s: display {self.display.name}, template {self.template}")

    def close(self) -> None:
        self.display.stop()
        if os.environ.get("UPKIT_E2E_KEEP") != "1":
            shutil.rmtree(self.work, ignore_errors=True)


_run_instance: Optional[Run] = None


def current_run() -> Run:
    global _run_instance
    if _run_instance is None:
        _run_instance = Run()
        atexit.register(_close_run)
    return _run_instance


def _close_run() -> None:
    global _run_instance
    if _run_instance is not None:
        _run_instance.close()
        _run_instance = None


# ---------------------------------------------------------------- results


@dataclass
class DialogState:
    """One look at the kit's dialog (the driver's dialog-state)."""

    raw: dict

    def control(self, id: int) -> Optional[dict]:
        return self.raw["controls"].get(str(id))

    def _field(self, id: int, name: str):
        c = self.control(id)
        if c is None:
            raise HarnessError(f"the dialog has no control {id}")
        return c[name]

    def text(self, id: int) -> str:
        return self._field(id, "text")

    def visible(self, id: int) -> bool:
        return self._field(id, "visible")

    def enabled(self, id: int) -> bool:
        return self._field(id, "enabled")

    @property
    def hwnd(self) -> int:
        return self.raw["hwnd"]

    @property
    def lines(self) -> tuple:
        return self.text(LINE1), self.text(LINE2)

    @property
    def focus_id(self) -> Optional[int]:
        focus = self.raw.get("focus")
        return focus["id"] if focus else None

    @property
    def rect(self) -> dict:
        return self.raw["rect"]

    @property
    def screen(self) -> tuple:
        return self.raw["screen"]["width"], self.raw["screen"]["height"]

    def centred_position(self) -> tuple:
        """Where a dialog of this size sits when centred on the screen the
        way the kit does it: (screen - size) shifted right by one bit."""
        w, h = self.rect["width"], self.rect["height"]
        sw, sh = self.screen
        return (sw - w) >> 1, (sh - h) >> 1

    @property
    def bar(self) -> Optional[dict]:
        """low/high/pos of the progress bar (None each when the kit is busy);
        only when the state was taken with bar=True."""
        return self.raw.get("bar")

    @property
    def statics(self) -> list:
        """Texts of the dialog's static texts without an id, in template order."""
        return [c["text"] for c in self.raw["children"] if c["id"] == 0xFFFF and c["class"].lower() == "static"]

    @property
    def enabled_window(self) -> bool:
        return self.raw["enabled"]

    def idle(self) -> bool:
        """The kit's idle state: progress lines and bar hidden, the group box
        disabled, Install and Exit enabled."""
        return (not self.visible(LINE1) and not self.visible(LINE2) and not self.visible(BAR)
                and not self.enabled(PROGRESS_GROUP) and self.enabled(INSTALL) and self.enabled(EXIT))

    def installing(self) -> bool:
        return (self.visible(LINE1) and self.visible(LINE2) and self.visible(BAR)
                and self.enabled(PROGRESS_GROUP) and not self.enabled(INSTALL))


@dataclass
class MessageBox:
    """A message box on the screen (the driver's message-box)."""

    raw: dict

    @property
    def hwnd(self) -> int:
        return self.raw["hwnd"]

    @property
    def caption(self) -> str:
        return self.raw["caption"]

    @property
    def text(self) -> str:
        return self.raw["text"]

    @property
    def icon(self) -> str:
        """hand, exclamation, asterisk, question, none or unknown."""
        return self.raw["icon"]

    @property
    def owner(self) -> int:
        """The owner's window handle; 0 for a box owned by the desktop."""
        owner = self.raw["owner"]
        return owner["hwnd"] if owner else 0

    @property
    def owner_caption(self) -> Optional[str]:
        owner = self.raw["owner"]
        return owner["caption"] if owner else None

    @property
    def buttons(self) -> list:
        """(id, text) of the shown buttons, left to right."""
        return [(b["id"], b["text"]) for b in self.raw["buttons"]]

    @property
    def button_ids(self) -> list:
        return [b["id"] for b in self.raw["buttons"]]


@dataclass
class Watch:
    """A running driver `watch`: follows the dialog every 20 ms in the
    background and records every change of its progress lines, control states
    and the message boxes on screen."""

    scenario: "Scenario"
    process: subprocess.Popen
    output: Path
    stop_file: Path
    records: list = field(default_factory=list)

    def stop(self, timeout: float = 10) -> list:
        if self.process.poll() is None:
            self.stop_file.touch()
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.records = [json.loads(line) for line in self.output.read_text(errors="replace").splitlines() if line]
        return self.records

    def wait_end(self, timeout: float) -> list:
        """Waits until the dialog has gone (the watch ends by itself)."""
        try:
            self.process.wait(timeout)
        except subprocess.TimeoutExpired as e:
            raise HarnessTimeout(f"the dialog was still there after {timeout} s") from e
        return self.stop()

    def sequence(self, id: int) -> list:
        """The distinct successive texts of progress line `id` (211 or 212)."""
        seen: list = []
        for r in self.records:
            c = r.get("controls", {}).get(str(id))
            if c is not None and (not seen or seen[-1] != c["text"]):
                seen.append(c["text"])
        return seen

    def box_texts(self) -> list:
        seen: list = []
        for r in self.records:
            for box in r.get("boxes", []):
                if box["text"] not in seen:
                    seen.append(box["text"])
        return seen


@dataclass
class Recording:
    """A running driver `record`: every WM_SETTEXT, PBM_SETRANGE and
    PBM_SETPOS that any window of the prefix handled meanwhile, recorded
    inside the receiving program after its window procedure (see
    driver/message_recorder.cpp), so nothing is missed however briefly it
    lasted."""

    process: subprocess.Popen
    output: Path
    offset: int
    stop_file: Path
    records: list = field(default_factory=list)

    def stop(self, timeout: float = 10) -> list:
        if self.process.poll() is None:
            self.stop_file.touch()
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        data = self.output.read_bytes()[self.offset:] if self.output.exists() else b""
        self.records = [json.loads(line) for line in data.decode("utf-8", errors="replace").splitlines() if line]
        return self.records

    def changes(self, parent: int) -> list:
        """What the children of window `parent` (a dialog) were told, in
        order: ("text", control id, new text), and ("range", control id, low,
        high, pos) or ("pos", ...) with a progress bar's state after
        PBM_SETRANGE or PBM_SETPOS."""
        out = []
        for r in self.records:
            if r["parent"] != parent:
                continue
            if r["kind"] == "text":
                out.append(("text", r["id"], r["text"]))
            else:
                out.append((r["kind"], r["id"], r["low"], r["high"], r["pos"]))
        return out


# ---------------------------------------------------------------- programs


class Program:
    """A Windows program started by the harness (WINE PROGRAM ARGS).
    `path` is a host path, or a C:\\... path that Wine is given as it is."""

    def __init__(self, scenario: "Scenario", path: "Path | str", args: Iterable[str], log_name: str,
                 cwd: Optional[Path], env: Optional[dict] = None):
        self.scenario = scenario
        self.path = path if isinstance(path, str) else Path(path)
        self.name = ntpath.basename(path) if isinstance(path, str) else Path(path).name
        if not isinstance(path, str):
            check_machine(self.path)
        self.log_path = scenario.artifacts / f"{log_name}.log"
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [WINE, str(path), *[str(a) for a in args]], env={**scenario.env, **(env or {})}, stdin=subprocess.DEVNULL,
            stdout=self._log, stderr=subprocess.STDOUT, cwd=str(cwd or scenario.drive_c),
        )
        self.started = time.monotonic()

    @property
    def returncode(self) -> Optional[int]:
        return self.process.poll()

    def running(self) -> bool:
        return self.process.poll() is None

    def wait_exit(self, timeout: float = 15) -> int:
        """The program's exit code (its low byte: wine's own exit status);
        fails when it still runs after timeout."""
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired as e:
            raise HarnessTimeout(f"{self.name} still runs after {timeout} s") from e
        self._log.close()
        return code

    def kill(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._log.close()


class Kit(Program):
    """The kit under test, with its dialog and message box captions."""

    def __init__(self, scenario: "Scenario", path: Path, args, dialog_caption: str, box_caption: Optional[str],
                 log_name: str, cwd: Optional[Path], env: Optional[dict] = None):
        super().__init__(scenario, path, args, log_name, cwd, env)
        self.dialog_caption = dialog_caption
        self.box_caption = box_caption

    def message_calls(self) -> list:
        """With trace_messages: the kit's MessageBeep and MessageBoxA calls so
        far, in order, as ("beep", type) and ("box", type, text, caption),
        from Wine's trace of the kit's calls into USER32."""
        if not self._log.closed:
            self._log.flush()
        calls = []
        for line in self.log_path.read_text(encoding="latin-1").splitlines():
            beep = re.search(r"Call user32\.MessageBeep\(([0-9a-f]+)\) ret=", line)
            if beep:
                calls.append(("beep", int(beep.group(1), 16)))
                continue
            box = re.search(r'Call user32\.MessageBoxA\([0-9a-f]+,[0-9a-f]+ "(.*)",[0-9a-f]+ "(.*)",([0-9a-f]+)\) ret=',
                            line)
            if box:
                calls.append(("box", int(box.group(3), 16), box.group(1), box.group(2)))
        return calls

    def _box_caption(self, caption: Optional[str]) -> str:
        caption = caption or self.box_caption
        if not caption:
            raise HarnessError("no message box caption given")
        return caption

    def _wait(self, action: str, timeout: float, **options) -> dict:
        """A driver wait in slices of a second, so that a kit that ends (or
        crashes) meanwhile fails the wait at once with its exit code."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            slice_ms = max(1, int(min(1.0, left) * 1000))
            result = self.scenario.driver(action, check=False, timeout=slice_ms, **options)
            if "error" not in result:
                return result
            if not self.running():
                raise HarnessError(f"{action} {options}: the kit has ended with exit code {self.returncode}")
            if time.monotonic() >= deadline:
                raise HarnessTimeout(f"{action} {options}: {result['error']} (waited {timeout} s)")

    def wait_dialog(self, timeout: float = 15) -> DialogState:
        """Waits for the dialog to be shown; returns its state."""
        self._wait("wait-window", timeout, caption=self.dialog_caption)
        return self.state()

    def state(self, bar: bool = False, bar_timeout_ms: int = 250) -> DialogState:
        opts = {"caption": self.dialog_caption}
        if bar:
            opts["bar"] = True
            opts["bar-timeout"] = bar_timeout_ms
        return DialogState(self.scenario.driver("dialog-state", **opts))

    def wait_state(self, predicate: Callable[[DialogState], bool], timeout: float = 30,
                   what: str = "the dialog state") -> DialogState:
        """Looks at the dialog until predicate(state) holds. Each look costs a
        driver start (~0.1 s); to follow fast changes use watch()."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            last = self.state()
            if predicate(last):
                return last
            if time.monotonic() > deadline:
                raise HarnessTimeout(f"{what} not reached within {timeout} s; last lines {last.lines}")
            time.sleep(0.05)

    def press(self, id: int, via: str = "click", force: bool = False) -> dict:
        """Clicks button `id` (BM_CLICK to the button; via='command' posts
        WM_COMMAND to the dialog instead). Fails when a user could not click
        it (hidden, disabled, or the dialog disabled) unless force."""
        return self.scenario.driver("press", caption=self.dialog_caption, id=id, via=via, force=force)

    def key(self, key: str, force: bool = False) -> dict:
        """enter, escape, space or tab, to the dialog's focused control."""
        return self.scenario.driver("key", caption=self.dialog_caption, key=key, force=force)

    def close(self, force: bool = False) -> dict:
        """The close box of the title bar (WM_SYSCOMMAND SC_CLOSE)."""
        return self.scenario.driver("close", caption=self.dialog_caption, force=force)

    def message_box(self, timeout: float = 15, caption: Optional[str] = None) -> MessageBox:
        """Waits for a message box with the kit's box caption and reads it."""
        return MessageBox(self._wait("message-box", timeout, caption=self._box_caption(caption)))

    def answer(self, id: int, caption: Optional[str] = None) -> dict:
        """Clicks button `id` of the message box (1 OK, 6 Yes, 7 No)."""
        return self.scenario.driver("answer", caption=self._box_caption(caption), id=id)

    def key_box(self, key: str, caption: Optional[str] = None) -> dict:
        return self.scenario.driver("key", caption=self._box_caption(caption), key=key)

    def wait_gone(self, timeout: float = 15) -> None:
        """Waits until the dialog is no longer shown."""
        self.scenario.driver("wait-gone", caption=self.dialog_caption, timeout=int(timeout * 1000))

    def watch(self, timeout: float = 300) -> Watch:
        return self.scenario.watch(self.dialog_caption, timeout=timeout)


# ---------------------------------------------------------------- scenario


def _windows_relative(path: str) -> list:
    """C:\\A\\B -> ["A", "B"]; only drive C is backed by the prefix."""
    m = re.fullmatch(r"[cC]:[\\/]?(.*)", path)
    if not m:
        raise HarnessError(f"only paths on drive C map into the prefix: {path}")
    return [p for p in re.split(r"[\\/]+", m.group(1)) if p]


class Scenario:
    """One scenario: a fresh copy of the template prefix with its own
    wineserver, its artifacts folder, and the programs it started."""

    def __init__(self, name: str, run: Optional[Run] = None):
        self.run = run or current_run()
        self.name = re.sub(r"[^A-Za-z0-9_.-]+", "_", name)
        self.artifacts = self.run.artifacts / self.name
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True)
        self.prefix = self.run.work / self.name
        self.env = wine_environment(self.prefix, self.run.display.name)
        self.drive_c = self.prefix / "drive_c"
        self.programs: list = []
        self.watches: list = []
        self._shots = 0
        self.closed = False
        start = time.monotonic()
        try:
            subprocess.run(["cp", "-a", str(self.run.template), str(self.prefix)], check=True)
            copied = time.monotonic()
            # The wineserver stays up between the scenario's programs: a cold
            # start of the prefix would carry out pending replace-on-restart
            # operations. close() ends it; should the harness die first, it
            # ends by itself two minutes after the last program.
            _run([WINESERVER, f"-p{WINESERVER_LINGER_S}"], self.env, 30, "wineserver -p")
            self.driver("list-windows")
        except BaseException:
            self.close()
            raise
        log(f"{self.name}: prefix copied in {copied - start:.1f} s, warm in {time.monotonic() - copied:.1f} s")

    # -- driver

    def driver(self, action: str, *positional: str, check: bool = True, **options) -> Any:
        """Runs one driver action and returns its JSON. Options are given as
        keywords (underscores become dashes; True adds a flag, False and None
        are left out); `timeout` is the driver's, in ms. A failed action
        raises DriverError unless check=False. The driver itself gets 30 s
        more than its own timeout."""
        limit = 30 + int(options.get("timeout") or 10000) / 1000
        args = [WINE, str(driver_program()), action]
        for name, value in options.items():
            if value is None or value is False:
                continue
            flag = "--" + name.replace("_", "-")
            if value is True:
                args.append(flag)
            elif isinstance(value, (list, tuple)):
                for item in value:
                    args += [flag, str(item)]
            else:
                args += [flag, str(value)]
        args += [str(p) for p in positional]
        for attempt in (1, 2):
            done = _run(args, self.env, limit, f"kit_driver {action}")
            code = done.returncode
            text = done.stdout.decode("utf-8", errors="replace").strip()
            err_text = done.stderr.decode("utf-8", errors="replace").strip()
            try:
                result = json.loads(text.splitlines()[-1]) if text else None
            except json.JSONDecodeError:
                result = None
            if result is not None:
                break
            # No answer. If the driver never started, Wine failed to run it
            # (seen rarely, exit 1 with no output) and the action is safe to
            # run again; if it started, it may have acted: only an action
            # that merely reads is run again.
            started = "kit_driver: started" in err_text
            log(f"{self.name}: kit_driver {action} ended with {code} and no output "
                f"({'after' if started else 'before'} it started; stderr {err_text[-300:]!r})")
            if attempt == 2 or (started and action not in READ_ONLY_ACTIONS):
                break
        if code != 0 or result is None:
            message = (result or {}).get("error") if isinstance(result, dict) else None
            if check or result is None:
                raise DriverError(action, message or f"exit {code}, output {text!r}, stderr {err_text[-500:]!r}",
                                  result)
        return result

    def _ms(self, seconds: float) -> int:
        return int(seconds * 1000)

    def wait_window(self, caption: str, window_class: Optional[str] = None, timeout: float = 15) -> dict:
        """Waits for a visible top-level window with exactly this caption."""
        options = {"caption": caption, "timeout": self._ms(timeout)}
        if window_class:
            options["class"] = window_class
        return self.driver("wait-window", **options)

    def wait_gone(self, caption: str, timeout: float = 15) -> dict:
        return self.driver("wait-gone", caption=caption, timeout=self._ms(timeout))

    def list_windows(self, all: bool = False) -> list:
        return self.driver("list-windows", all=all)["windows"]

    def watch(self, caption: str, timeout: float = 300) -> Watch:
        n = len(self.watches) + 1
        output = self.artifacts / f"watch-{n}.jsonl"
        stop_file = self.drive_c / f"upkit-e2e-stop-watch-{n}"
        with open(output, "wb") as out:
            process = subprocess.Popen(
                [WINE, str(driver_program()), "watch", "--caption", caption, "--timeout", str(self._ms(timeout)),
                 "--stop-file", f"C:\\{stop_file.name}"],
                env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        w = Watch(self, process, output, stop_file)
        self.watches.append(w)
        # Return only once the watch has taken its first look, so that what
        # the caller does next is seen.
        deadline = time.monotonic() + 30
        while not output.read_bytes().strip():
            if process.poll() is not None or time.monotonic() > deadline:
                w.stop()
                raise HarnessError(f"the watch did not start (exit {process.poll()})")
            time.sleep(0.01)
        return w

    def record(self, timeout: float = 300) -> Recording:
        """Starts recording what the prefix's windows are told to show (see
        Recording); returns once the hook is in place."""
        n = len(self.watches) + 1
        output = self.drive_c / "upkit-e2e-messages.jsonl"
        offset = output.stat().st_size if output.exists() else 0
        stop_file = self.drive_c / f"upkit-e2e-stop-record-{n}"
        log_path = self.artifacts / f"record-{n}.log"
        with open(log_path, "wb") as out:
            process = subprocess.Popen(
                [WINE, str(driver_program()), "record", "--dll", windows_path(recorder_library()), "--timeout",
                 str(self._ms(timeout)), "--stop-file", f"C:\\{stop_file.name}"],
                env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        recording = Recording(process, output, offset, stop_file)
        self.watches.append(recording)
        deadline = time.monotonic() + 30
        while b"recording" not in log_path.read_bytes():
            if process.poll() is not None or time.monotonic() > deadline:
                recording.stop()
                raise HarnessError(f"the recorder did not start (exit {process.poll()}): {log_path.read_text()}")
            time.sleep(0.01)
        return recording

    # -- registry

    def reg_get(self, key: str, value: Optional[str] = None, view: Optional[int] = None) -> dict:
        """{"exists": bool, "type": "REG_SZ", "type_code": 1, "data": ...} for
        a value; without `value`, the key's values and subkeys."""
        return self.driver("reg-get", key=key, value=value, view=view)

    def reg_value(self, key: str, value: str) -> Any:
        """The data of a value, or None when the value or key is missing."""
        got = self.reg_get(key, value)
        return got["data"] if got["exists"] else None

    def reg_set(self, key: str, value: str, data: Any, type: Optional[str] = None, view: Optional[int] = None) -> dict:
        """type: sz (default for text), dword (default for int), expand_sz,
        multi_sz (data a list), qword, binary (data bytes or hex text)."""
        if type is None:
            type = "dword" if isinstance(data, int) else "multi_sz" if isinstance(data, list) else \
                "binary" if isinstance(data, bytes) else "sz"
        if isinstance(data, bytes):
            data = data.hex()
        return self.driver("reg-set", key=key, value=value, type=type, data=data if isinstance(data, list) else str(data),
                           view=view)

    def pending_renames(self) -> list:
        """The replace-on-restart operations waiting for the next start, as
        (source, target) pairs; target "" means delete."""
        data = self.reg_value(SESSION_MANAGER, "PendingFileRenameOperations") or []
        return list(zip(data[0::2], data[1::2]))

    def set_windows_version(self, version: str) -> None:
        """Which Windows the prefix's programs see, e.g. "win95" (GetVersion
        with the top bit set) or "win7". Takes effect for programs started
        afterwards."""
        self.reg_set(r"HKCU\Software\Wine", "Version", version)

    def reg_delete(self, key: str, value: Optional[str] = None) -> bool:
        """Deletes a value, or the key with everything below it. Returns
        whether it existed."""
        return self.driver("reg-delete", key=key, value=value)["existed"]

    # -- files

    def host_path(self, windows_path: str) -> Path:
        """Where C:\\... lives on this machine. Existing folders and files are
        found without regard to case, as Windows would."""
        path = self.drive_c
        for part in _windows_relative(windows_path):
            exact = path / part
            if not exact.exists() and path.is_dir():
                match = next((p for p in path.iterdir() if p.name.lower() == part.lower()), None)
                exact = match or exact
            path = exact
        return path

    def put_file(self, windows_path: str, content: "bytes | str | Path", mtime: Optional[float] = None,
                 readonly: bool = False) -> Path:
        """Places a file in the prefix: content is bytes, text, or a host file
        to copy. mtime is seconds since the epoch."""
        target = self.host_path(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        if target.exists():
            target.chmod(0o644)
        if isinstance(content, Path):
            shutil.copyfile(content, target)
        elif isinstance(content, str):
            target.write_bytes(content.encode("latin-1"))
        else:
            target.write_bytes(content)
        if mtime is not None:
            os.utime(target, (mtime, mtime))
        if readonly:
            target.chmod(0o444)
        return target

    def read_file(self, windows_path: str) -> bytes:
        return self.host_path(windows_path).read_bytes()

    def exists(self, windows_path: str) -> bool:
        return self.host_path(windows_path).exists()

    def file_info(self, windows_path: str) -> dict:
        """What Windows sees: exists, size, readonly, last_write (utc, dos),
        short_path (the 8.3 form)."""
        return self.driver("file-info", path=windows_path)

    # -- programs

    def start(self, path: "Path | str", *args: str, name: Optional[str] = None, cwd: Optional[Path] = None) -> Program:
        """Starts a Windows program: a host path, or C:\\... inside the prefix."""
        if not (isinstance(path, str) and re.match(r"[cC]:", path)):
            path = Path(path)
        stem = ntpath.splitext(ntpath.basename(str(path)))[0]
        p = Program(self, path, args, name or f"{len(self.programs) + 1:02d}-{stem}", cwd)
        self.programs.append(p)
        return p

    def start_window(self, window_class: str, title: str = "", hidden: bool = False,
                     copy_to: Optional[str] = None, program_bytes: Optional[bytes] = None,
                     hold: Optional[str] = None) -> Program:
        """Starts the window stand-in: a top-level window of that class (and
        title), like a running product. copy_to runs it from a copy of its
        program at C:\\..., so that its .exe is a file in use there
        (program_bytes: that copy's content instead, a variant of the
        stand-in's program). hold keeps the file C:\\... open the while,
        without sharing it for deletion."""
        exe: "Path | str" = program("window_standin")
        if copy_to:
            self.put_file(copy_to, program_bytes if program_bytes is not None else Path(exe))
            exe = copy_to
        args = ["--class", window_class]
        if title:
            args += ["--title", title]
        if hidden:
            args.append("--hidden")
        if hold:
            args += ["--hold", hold]
        p = self.start(exe, *args)
        if not hidden and title:
            self.wait_window(title, window_class)
        return p

    def start_kit(self, dialog_caption: str, box_caption: Optional[str] = None, args: Iterable[str] = (),
                  path: Optional[Path] = None, copy_to: Optional[str] = None, trace_messages: bool = False,
                  cwd: Optional[str] = None) -> Kit:
        """Starts the kit (UPKIT_E2E_KIT, or path) with Wine from C:\\, or
        from the folder C:\\... named by cwd.
        copy_to runs it from a copy at C:\\... instead of the build folder.
        trace_messages has Wine log the kit's MessageBeep and MessageBoxA
        calls, for Kit.message_calls(): a beep has no other trace here."""
        exe: "Path | str" = Path(path) if path else kit_program()
        if copy_to:
            self.put_file(copy_to, Path(exe))
            exe = copy_to
        env = None
        if trace_messages:
            self.reg_set(r"HKCU\Software\Wine\Debug", "RelayInclude", "user32.MessageBeep;user32.MessageBoxA")
            env = {"WINEDEBUG": "+relay"}
        n = sum(isinstance(p, Kit) for p in self.programs) + 1
        kit = Kit(self, exe, args, dialog_caption, box_caption, f"kit-{n}", self.host_path(cwd) if cwd else None, env)
        self.programs.append(kit)
        return kit

    def wine(self, *args: str, timeout: float = 60) -> subprocess.CompletedProcess:
        """Runs Wine's loader (WINE) with these arguments in the prefix and
        waits."""
        return _run([WINE, *args], self.env, timeout, f"wine {' '.join(args)}")

    def restart_wine(self, timeout: float = 60) -> None:
        """Wine's restart: carries out the pending replace-on-restart
        operations (and, in Windows 95 mode, WININIT.INI)."""
        result = self.wine("wineboot", "-r", timeout=timeout)
        if result.returncode != 0:
            raise HarnessError(f"wineboot -r failed with {result.returncode}")

    # -- screenshots

    def screenshot(self, what: str) -> Path:
        """The whole screen as artifacts/<scenario>/NN-what.png."""
        self._shots += 1
        path = self.artifacts / f"{self._shots:02d}-{re.sub(r'[^A-Za-z0-9_.-]+', '-', what)}.png"
        result = _run(["import", "-display", self.run.display.name, "-window", "root", str(path)], self.env, 30,
                      "import")
        if result.returncode != 0 or not path.is_file():
            raise HarnessError(f"screenshot failed: {result.stderr.decode(errors='replace')}")
        return path

    # -- end

    def close(self) -> None:
        if self.closed:
            return
        self.closed = True
        for w in self.watches:
            with contextlib.suppress(Exception):
                w.stop(timeout=3)
        _stop_wineserver(self.prefix)
        for p in self.programs:
            try:
                p.process.wait(10)
            except subprocess.TimeoutExpired:
                log(f"{self.name}: {p.name} outlived wineserver -k; killing it")
            p.kill()
        if os.environ.get("UPKIT_E2E_KEEP") == "1":
            log(f"{self.name}: prefix kept at {self.prefix}")
        else:
            shutil.rmtree(self.prefix, ignore_errors=True)


# ---------------------------------------------------------------- unittest


class KitTestCase(unittest.TestCase):
    """A test case whose every test runs in its own Scenario (self.sc).

    Set dialog_caption and box_caption on the subclass; start_kit() uses them.
    A screenshot is taken at the end of every test (NN-end.png)."""

    dialog_caption: Optional[str] = None
    box_caption: Optional[str] = None
    kit_path: Optional[Path] = None

    def setUp(self) -> None:
        super().setUp()
        cls = type(self)
        self.sc = Scenario(f"{cls.__name__}.{self._testMethodName}")
        self.addCleanup(self.sc.close)
        self.addCleanup(self._final_screenshot)

    def _final_screenshot(self) -> None:
        with contextlib.suppress(Exception):
            self.sc.screenshot("end")

    def start_kit(self, *args: str, **kwargs) -> Kit:
        if not self.dialog_caption:
            raise HarnessError(f"{type(self).__name__}.dialog_caption is not set")
        kwargs.setdefault("path", self.kit_path)
        return self.sc.start_kit(self.dialog_caption, self.box_caption, args=args, **kwargs)


def main() -> None:
    """unittest.main() with the run's display and template around it."""
    try:
        program_ = unittest.main(exit=False, verbosity=2)
    finally:
        _close_run()
    sys.exit(0 if program_.result.wasSuccessful() else 1)


def _cli(argv: list) -> int:
    if len(argv) == 3 and argv[1] == "make-template":
        make_template(Path(argv[2]))
        return 0
    print("usage: harness.py make-template DIR", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_cli(sys.argv))
