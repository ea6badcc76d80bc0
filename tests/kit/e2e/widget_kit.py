r"""What the scenarios expect of the demo kit (Widget 2.1) and of the test
kits built with its face, taken from the kit's manifest
(resources/demo/kit.toml) and the build's files, and the checks that several
suites share.

Expectations come from the manifest as written (the archives' members and
their source files, the registry rows) and from the build's programs, never
from the kit's generated resources: the kit must install exactly what its
maker described.
"""

from __future__ import annotations

import calendar
import getpass
import re
import tomllib
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

import harness

MANIFEST_PATH = harness.REPO / "resources" / "demo" / "kit.toml"
MANIFEST = tomllib.loads(MANIFEST_PATH.read_text(encoding="utf-8"))

DIALOG_CAPTION = MANIFEST["kit"]["caption"]
TITLE = MANIFEST["kit"]["title"]
# The members' stored time is local time; the scenarios run with TZ=UTC.
FILE_TIME = calendar.timegm(MANIFEST["kit"]["file_time"].timetuple())

# The prefix's folders as Wine gives them to a 64-bit program.
WINDOWS_DIR = r"C:\windows"
SYSTEM_DIR = r"C:\windows\system32"
TEMP_DIR = rf"C:\users\{getpass.getuser()}\Temp"

PRODUCT_KEY = "HKLM\\" + MANIFEST["app_versions"][0]["key"]
INSTALL_VALUE = MANIFEST["app_versions"][0]["value"]
PRODUCT_FILE = MANIFEST["app_versions"][0]["file"]
DETECTED = {row["checksum_of"]["file"]: row["display"] for row in MANIFEST["app_versions"]}

# The kit's messages (string table 1001 to 1006).
MSG_RUNNING = ("Cannot proceed because {0} is currently running. Please close {0} before installing the "
               + TITLE + ".")
MSG_NO_VERSION = "Cannot find a qualifying version of the product to upgrade."
MSG_INITIALIZING = "Initializing..."
MSG_TRANSFER_ERROR = "Error {0} transferring file {1}."
MSG_FAILED = "The installation failed to complete successfully. Please re-install before using the product."
MSG_COMPLETED = ("Installation completed successfully. You need to restart your computer before you can use the "
                 "application. Would you like to restart now?")
UPDATING_REGISTRY = "Updating registry..."

# Message box types: the icon values, also the values of the beep before
# each box.
MB_YESNO, MB_ICONHAND, MB_ICONEXCLAMATION, MB_ICONASTERISK = 0x4, 0x10, 0x30, 0x40

# A window class that no kit table lists: a program that is merely running.
BYSTANDER_CLASS = "UpkitE2EBystander"


def build_file(name: str) -> Path:
    """A file of the build's programs folder (from = "files" in a manifest)."""
    return harness.program("widget_2_1").parent / name


def release(name: str) -> bytes:
    """The bytes of a product release of the build, e.g. widget-2.0.exe."""
    return build_file(name).read_bytes()


def checksum(data: bytes) -> int:
    """The product file checksum: one's complement of the 16-bit sum of the
    little-endian words, a last odd byte padded with a zero."""
    if len(data) % 2:
        data += b"\0"
    total = sum(data[0::2]) + (sum(data[1::2]) << 8)
    return (total & 0xFFFF) ^ 0xFFFF


def program_with_checksum_of(program: bytes, like: bytes) -> bytes:
    """The program with one word appended so that its checksum is that of
    `like`: a running program that the kit takes for that release. Data
    after a program's image does not change how it runs."""
    if len(program) % 2:
        program += b"\0"
    word = (checksum(program) - checksum(like)) & 0xFFFF
    out = program + bytes([word & 0xFF, word >> 8])
    assert checksum(out) == checksum(like)
    return out


def without_trailing_backslash(path: str) -> str:
    return path[:-1] if len(path) > 1 and path.endswith("\\") else path


def join(directory: str, name: str) -> str:
    return without_trailing_backslash(directory) + "\\" + name if directory else name


@dataclass
class Member:
    name: str      # as stored in the archive
    source: Path   # the file it was made from


@dataclass
class Archive:
    id: int
    progress: str
    base: str
    subdirectory: str
    members: list

    def destination(self, install_dir: str) -> str:
        base = {"windows": WINDOWS_DIR, "system": SYSTEM_DIR}.get(self.base, install_dir)
        return join(base, self.subdirectory) if self.subdirectory else without_trailing_backslash(base)


def archives(manifest: dict = MANIFEST, folder: Path = MANIFEST_PATH.parent) -> list:
    out = []
    for row in manifest.get("archives", []):
        members = []
        for item in row["content"]:
            if isinstance(item, str):
                members.append(Member(Path(item).name, (folder / item).resolve()))
            else:
                members.append(Member(item.get("name", Path(item["file"]).name), build_file(item["file"])))
        out.append(Archive(row["id"], row["progress"], row["base"], row.get("subdirectory", ""), members))
    return out


ARCHIVES = archives()


def installed_files(install_dir: str, manifest_archives: Optional[list] = None) -> list:
    """(Windows path, source file) of every member the kit installs."""
    return [(join(a.destination(install_dir), m.name), m.source)
            for a in (ARCHIVES if manifest_archives is None else manifest_archives) for m in a.members]


def expected_registry(install_dir: str, manifest: dict = MANIFEST) -> list:
    """(key, value name, type, data) of every registry row, its directory
    tokens replaced and its numbers parsed as the kit's rules say."""
    rows = []
    for row in manifest.get("registry", []):
        data = row["data"]
        if row["type"] == "REG_DWORD":
            # A TOML integer, or text the kit reads as a number.
            if isinstance(data, int):
                number = data
            else:
                number = int(data, 16) if data[:2] in ("0x", "0X") else int(data, 10)
            data = number & 0xFFFFFFFF
        else:
            for token, folder in (("%I%", without_trailing_backslash(install_dir)), ("%S%", SYSTEM_DIR),
                                  ("%W%", WINDOWS_DIR)):
                data = data.replace(token, folder)
        rows.append((row["root"] + "\\" + row["key"], row.get("value", ""), row["type"], data))
    return rows


# ---------------------------------------------------------------- scenario steps


def install_product(sc: harness.Scenario, install_dir: str, product: bytes) -> None:
    """An installed product: the registry names its folder, which holds the
    product file with these bytes."""
    sc.reg_set(PRODUCT_KEY, INSTALL_VALUE, install_dir)
    sc.put_file(join(install_dir, PRODUCT_FILE), product)


def staged_archives(sc: harness.Scenario) -> list:
    """The kit's staged archive copies (ARCxxxx.TMP) left in the temporary
    folder."""
    return sorted(p.name for p in sc.host_path(TEMP_DIR).iterdir()
                  if p.name.upper().startswith("ARC") and p.name.upper().endswith(".TMP"))


def new_version_files(sc: harness.Scenario) -> dict:
    """The new versions of files in use waiting in the temporary folder
    (NEWxxxx.TMP), by Windows path, with their bytes."""
    folder = sc.host_path(TEMP_DIR)
    return {f"{TEMP_DIR}\\{p.name}": p.read_bytes() for p in sorted(folder.iterdir())
            if re.fullmatch(r"NEW[0-9A-F]{1,4}\.TMP", p.name, re.IGNORECASE)}


def progress_steps(recording: harness.Recording, dialog: int) -> list:
    """The progress display after each of the kit's progress updates, as
    (first line, second line, bar low, bar high, bar position): an update
    ends with the bar's position being set."""
    lines = {harness.LINE1: None, harness.LINE2: None}
    steps = []
    for change in recording.changes(dialog):
        if change[0] == "text" and change[1] in lines:
            lines[change[1]] = change[2]
        elif change[0] == "pos" and change[1] == harness.BAR:
            steps.append((lines[harness.LINE1], lines[harness.LINE2], change[2], change[3], change[4]))
    return steps


def expected_steps(detected: str, install_archives: list) -> list:
    """The progress updates of a completed install, in order."""
    steps = [(detected, MSG_INITIALIZING, 0, 1, 0)]
    for a in install_archives:
        steps.append((a.progress, "", 0, 1, 0))
        for i, m in enumerate(a.members):
            steps.append((a.progress, m.name, 0, len(a.members), i))
    steps.append((UPDATING_REGISTRY, "", 0, 100, 100))
    return steps


def beeps_and_boxes(kit: harness.Kit) -> list:
    """The kit's MessageBeep and MessageBoxA calls, as (call, type), in order
    (the kit started with trace_messages)."""
    return [call[:2] for call in kit.message_calls()]


def box_texts(recording: harness.Recording, dialog: int) -> list:
    """The texts of the message boxes shown while recording, in order."""
    return [r["text"] for r in recording.records
            if r["kind"] == "text" and r["id"] == 0xFFFF and r["parent"] != dialog]


# ---------------------------------------------------------------- test case


class KitCase(harness.KitTestCase):
    """A scenario with the demo kit, or with a test kit that has its face
    (then `manifest_path` names the test kit's own manifest), and the checks of
    what the kit leaves behind."""

    dialog_caption = DIALOG_CAPTION
    box_caption = TITLE
    manifest_path = MANIFEST_PATH

    def manifest(self) -> dict:
        return tomllib.loads(self.manifest_path.read_text(encoding="utf-8"))

    def kit_archives(self) -> list:
        return archives(self.manifest(), self.manifest_path.parent)

    def assert_box(self, box, text, owner, icon, buttons=((harness.IDOK, "OK"),)):
        self.assertEqual(box.caption, TITLE)
        self.assertEqual(box.text, text)
        self.assertEqual(box.owner, owner, "the box's owner (0: the desktop)")
        self.assertEqual(box.icon, icon, box.raw.get("icon_mismatches"))
        self.assertEqual(box.buttons, list(buttons))

    def wait_idle(self, kit, what="the idle dialog"):
        """The dialog idle again and usable (no box in front of it)."""
        return kit.wait_state(lambda s: s.idle() and s.enabled_window, timeout=5, what=what)

    def answer_failed_member(self, kit, dialog, code, member):
        """The kit's word that `member` failed with `code` (1004), then that
        the install failed (1005), each answered OK; the dialog idle again."""
        self.assert_box(kit.message_box(timeout=30), MSG_TRANSFER_ERROR.format(code, member), dialog.hwnd, "hand")
        kit.answer(harness.IDOK)
        self.assert_box(kit.message_box(), MSG_FAILED, dialog.hwnd, "exclamation")
        kit.answer(harness.IDOK)
        self.wait_idle(kit)

    def assert_files(self, files_and_sources):
        """Each file there with its source's bytes and the stored time."""
        for path, source in files_and_sources:
            with self.subTest(file=path):
                host = self.sc.host_path(path)
                self.assertTrue(host.is_file(), f"{path} was not installed")
                self.assertEqual(host.read_bytes(), source.read_bytes(), f"{path} differs from {source.name}")
                self.assertEqual(host.stat().st_mtime, FILE_TIME, f"{path}: last-write time")

    def assert_not_installed(self, install_dir, product):
        """No file of the kit: the product folder holds only the product file,
        unchanged, and no member is anywhere else."""
        folder = self.sc.host_path(install_dir)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), [PRODUCT_FILE])
        self.assertEqual(self.sc.read_file(join(install_dir, PRODUCT_FILE)), product)
        for path, _ in installed_files(install_dir, self.kit_archives()):
            if not path.lower().startswith(install_dir.lower()):   # inside: the listing above
                self.assertFalse(self.sc.exists(path), path)
        self.assertEqual(staged_archives(self.sc), [])

    def assert_registry_untouched(self, install_dir):
        """The product's key holds only its install directory; no other key
        that the kit's rows name exists."""
        values = self.sc.reg_get(PRODUCT_KEY)
        self.assertEqual([(v["name"], v["data"]) for v in values["values"]], [(INSTALL_VALUE, install_dir)])
        self.assertEqual(values["subkeys"], [])
        for key, _, _, _ in expected_registry(install_dir, self.manifest()):
            if key != PRODUCT_KEY:
                self.assertFalse(self.sc.reg_get(key)["exists"], key)

    def assert_installed(self, install_dir, files_at=None, stored=True):
        """Every member in its place with its payload's bytes and the stored
        time, no staged archive left, every registry row written. files_at
        maps a member's expected path to where it is to be looked for;
        stored: the install directory came from the product's registry
        value."""
        files = installed_files(install_dir, self.kit_archives())
        self.assert_files([(files_at(path) if files_at else path, source) for path, source in files])
        self.assertEqual(staged_archives(self.sc), [])
        self.assert_registry(install_dir, stored)

    def assert_registry(self, install_dir, stored=True):
        """Every row written exactly, and nothing else in the keys the rows
        name (but the product's own install directory value)."""
        expected: dict = {}
        for key, name, type_, data in expected_registry(install_dir, self.manifest()):
            expected.setdefault(key, {})[name] = (type_, data)
        if stored:
            expected.setdefault(PRODUCT_KEY, {})[INSTALL_VALUE] = ("REG_SZ", install_dir)
        for key, values in expected.items():
            with self.subTest(key=key):
                got = self.sc.reg_get(key)
                self.assertTrue(got["exists"], key)
                self.assertEqual({v["name"]: (v["type"], v["data"]) for v in got["values"]}, values)
