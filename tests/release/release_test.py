#!/usr/bin/env python3
"""The release as a user gets it.

  release_test.py packages    the zip, the installer's files, the checksums, the installer
                              with the plugins it carries checked for Windows XP SP3, and no
                              time of the build in any of them
  release_test.py clean       removes from the Wine prefix what an earlier, failed run left
                              (each of the following does so first)
  release_test.py install     silent install, the program started from its shortcut, silent
                              uninstall, and exactly what is left
  release_test.py upgrade     an older version installed for all users, this one over it
  release_test.py class-taken Virtual PC's class belongs to another server: none of ours
  release_test.py choices     each choice of server over the one before, two at once refused:
                              what is registered, and what the uninstaller gives back

Every command takes --dist (the packages), --bin (the build's programs), --version and
--servers (component:file:switch of each server); the Wine ones run in WINEPREFIX on the
display in DISPLAY.
"""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import shutil
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "resources"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "packaging"))
import check_pe_imports  # noqa: E402
import stamp_pe  # noqa: E402

XP_LIST = os.path.join(HERE, "..", "resources", "xp-imports.txt")
# Virtual PC's class, and the type library and interfaces that the demo server registers.
CLASS = "{9A1774B7-8251-4468-A214-61DCAED9AC2F}"
TYPELIB = "{1332D4AD-F41C-44C0-9933-7328FFAE99B0}"
PROXY_STUB = "{D5E369E7-7C15-4624-A6AF-B26598527CF8}"
INTERFACES = ["{236BA0D9-A24A-4292-A132-27C1421DFD01}", "{F7092AA1-33ED-4F78-A59F-C00ADFC2EDD7}",
              "{661ABEE6-112A-4ED9-BABF-3C874969F10E}", "{07E66652-6987-455B-8BA1-4481BDCC938E}",
              "{85F58A1C-D929-4622-AC04-FD108FB56E6B}"]
OUR_KEYS = re.compile(
    "|".join(["ombrevale", "quorvex"] + [re.escape(g[1:-1]) for g in [CLASS, TYPELIB, PROXY_STUB] + INTERFACES]), re.I)
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombrevale"
SETTINGS = r"HKCU\Software\Quorvex\Ombrevale\OFN Paths"
PROGRAM_FILES = ["CHANGES.txt", "LICENSE.txt", "Ombrevale.exe", "ReadMe.txt"]
PROXY_STUB_DLL = "OmbrevaleHostPS.dll"
DEMO = "OmbrevaleDemoHost.exe"
EXIT_TWO_SERVERS = 2
BY_HAND = r"C:\Ombrevale-zip"  # where the choices test unpacks the zip's demo server
EXIT_SERVER_LEFT_OUT = 3

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAIL {what}")
    return condition


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Release:
    def __init__(self, args):
        self.dist = args.dist
        self.bin = args.bin
        self.version = args.version
        self.text = Release.text_of(args.version)
        self.zip = os.path.join(self.dist, f"Ombrevale-{self.version}-win32.zip")
        self.setup = os.path.join(self.dist, f"Ombrevale-{self.version}-setup.exe")
        self.license = args.license
        self.changes = args.changes
        self.servers = [s.split(":") for s in args.servers.split(",")]  # component, file, switch
        self.server_files = [s[1] for s in self.servers] + [PROXY_STUB_DLL]
        self.source = args.source

    @staticmethod
    def text_of(version):
        """1.0.3 -> 1.00.0003, as the program writes its version."""
        major, minor, patch = (int(n) for n in version.split("."))
        return f"{major}.{minor:02}.{patch:04}"

    def expected(self, name):
        """What the release must hold byte for byte: the built file, a program dated at the
        source's date."""
        data = read({"LICENSE.txt": self.license, "CHANGES.txt": self.changes}.get(name, os.path.join(self.bin, name)))
        return stamp_pe.stamped(data, source_date(self)) if name.endswith((".exe", ".dll")) else data


# ---- packages, without Wine ------------------------------------------------------------

def xp_problems(paths):
    allowed = check_pe_imports.read_list(XP_LIST)
    found = []
    for path in paths:
        found += [f"{os.path.basename(path)}: {p}" for p in check_pe_imports.check(path, allowed, None)]
    return found


def source_date(release):
    """The time that the packages store, as make_release.cmake takes it: to two seconds."""
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"]) // 2 * 2
    return int(subprocess.run(["git", "log", "-1", "--format=%ct"], cwd=release.source, capture_output=True,
                              text=True, check=True).stdout) // 2 * 2


def pe_stamps(path):
    """The times in a PE file's header and in its export and resource tables."""
    pe = check_pe_imports.PeFile(path)
    found = {"header": pe.u32(pe.u32(0x3C) + 8)}
    for name, index in (("exports", 0), ("resources", 2)):
        if len(pe.directory) > index and pe.directory[index][1]:
            found[name] = pe.u32(pe.offset(pe.directory[index][0]) + 4)
    return found


def nsis_source_date():
    """NSIS's own source date, which its stubs carry."""
    out = subprocess.run(["makensis", "-HDRINFO"], capture_output=True, text=True).stdout
    return int(re.search(r"NSIS_SOURCE_DATE_EPOCH=(\d+)", out).group(1))


def packages(release):
    # The zip: one folder of the version, the program and the servers as built, and texts;
    # in name order, each entry dated at the source date and with nothing of the build machine.
    top = f"Ombrevale-{release.version}-win32/"
    epoch = source_date(release)
    date = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(release.zip) as z:
        names = [n for n in z.namelist() if not n.endswith("/")]
        expected = sorted(top + n for n in PROGRAM_FILES + release.server_files)
        check(names == expected, f"the zip holds {names}, not {expected}")
        for entry in z.infolist():
            check(entry.date_time == date and not entry.extra,
                  f"the zip's {entry.filename} is dated {entry.date_time} with {entry.extra!r}, not at {date}")
        for name in PROGRAM_FILES + release.server_files:
            if top + name in names:
                check(z.read(top + name) == release.expected(name),
                      f"the zip's {name} is not the built one")
        texts = {n: z.read(top + n) for n in ("ReadMe.txt", "LICENSE.txt", "CHANGES.txt") if top + n in names}
    readme = texts.get("ReadMe.txt", b"").decode("utf-8-sig")
    check(f"Версия {release.text}" in readme, f"the read-me does not name version {release.text}")
    check(f"Ombrevale-{release.version}-setup.exe" in readme, "the read-me does not name the installer")
    check(texts.get("LICENSE.txt", b"").startswith(b"MIT License\r\n"), "LICENSE.txt is not the MIT licence with CRLF")
    check(release.text in texts.get("CHANGES.txt", b"").decode("utf-8-sig"),
          f"CHANGES.txt has nothing on version {release.text}")

    # The checksums: both files, as sha256sum -c reads them, and nothing else.
    with open(os.path.join(release.dist, "SHA256SUMS"), encoding="ascii") as f:
        sums = f.read()
    expected = "".join(f"{sha256(p)}  {os.path.basename(p)}\n" for p in (release.zip, release.setup))
    check(sums == expected, f"SHA256SUMS reads\n{sums}rather than\n{expected}")
    run = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=release.dist, capture_output=True, text=True)
    check(run.returncode == 0, f"sha256sum -c SHA256SUMS fails: {run.stdout}{run.stderr}")

    # The installer: the same files as the zip, and it and the plugins it carries start on
    # Windows XP SP3 (the uninstaller it writes is its own stub; the install test checks it).
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run(["7z", "x", "-y", f"-o{out}", release.setup], capture_output=True, text=True)
        check(run.returncode == 0, f"7z cannot read the installer: {run.stdout}{run.stderr}")
        held = sorted(os.listdir(out))
        plugins = sorted(os.listdir(os.path.join(out, "$PLUGINSDIR"))) if "$PLUGINSDIR" in held else []
        check(sorted(n for n in held if n != "$PLUGINSDIR") ==
              sorted(PROGRAM_FILES + release.server_files + ["Uninstall.exe"]), f"the installer holds {held}")
        for name in PROGRAM_FILES + release.server_files:
            if name in held:
                check(read(os.path.join(out, name)) == release.expected(name),
                      f"the installer's {name} is not the built one")
                check(int(os.path.getmtime(os.path.join(out, name))) == epoch,
                      f"the installer dates {name} {time.ctime(os.path.getmtime(os.path.join(out, name)))}")
        # No PE stamp is the time of a build: ours are the source's date (a resource table's
        # may stay 0), the installer's NSIS's own source date.
        nsis = nsis_source_date()
        for path in [os.path.join(out, n) for n in release.server_files + ["Ombrevale.exe", "Uninstall.exe"]] + [
                release.setup]:
            nsis_stub = path in (release.setup, os.path.join(out, "Uninstall.exe"))
            stamps = pe_stamps(path) if os.path.exists(path) else {}
            check(all(v in ((0, nsis) if nsis_stub else (0, epoch) if k == "resources" else (epoch,))
                      for k, v in stamps.items()), f"{os.path.basename(path)} is stamped {stamps}")
            # Type libraries: widl's note of when it ran.
            for made in re.findall(rb"Created by WIDL version [^\n]* at ([^\n]*)", read(path) if stamps else b""):
                check(made == b"Thu Jan  1 00:00:00 1970", f"{os.path.basename(path)} holds a type library of {made}")
        dlls = [os.path.join(out, "$PLUGINSDIR", p) for p in plugins if p.lower().endswith(".dll")]
        print("installer plugins:", ", ".join(os.path.basename(d) for d in dlls))
        for problem in xp_problems([release.setup] + dlls):
            check(False, f"on Windows XP SP3: {problem}")


# ---- Wine --------------------------------------------------------------------------------

class Prefix:
    def __init__(self):
        self.root = os.environ["WINEPREFIX"]
        self.env = dict(os.environ, WINEDEBUG="-all",
                        # No menu entries on the Linux desktop for the shortcuts.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        self.user = rf"C:\users\{os.environ.get('USER') or 'root'}"

    def unix(self, path):
        assert path[1:3] == ":\\", path
        return os.path.join(self.root, "drive_c", *path[3:].split("\\"))

    def wine(self, *args, timeout=60):
        run = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                             timeout=timeout)
        return run.returncode, run.stdout.decode("utf-8", "replace") + run.stderr.decode("utf-8", "replace")

    def reg(self, *args, view=32):
        # The installer is a 32-bit program: it sees the 32-bit view of the machine's keys.
        # The view is named each time: Wine's reg.exe is 32-bit whichever is started.
        return self.wine("reg", *args, f"/reg:{view}")

    def values(self, key, view=32):
        """A key's values by name (the default one as ''), or None without the key."""
        code, out = self.reg("query", key, view=view)
        if code != 0:
            return None
        found = {}
        for line in out.splitlines():
            m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if m:
                found["" if m.group(1) == "(Default)" else m.group(1)] = m.group(3)
        return found

    def files(self):
        """Every file under C:\\ but the Windows folder, relative."""
        drive = os.path.join(self.root, "drive_c")
        found = set()
        for directory, dirs, names in os.walk(drive):
            if directory == drive:
                dirs[:] = [d for d in dirs if d.lower() != "windows"]
            found |= {os.path.relpath(os.path.join(directory, n), drive) for n in names}
        return found

    def our_registry(self):
        """Every key and value in the registry that names Ombrevale, Quorvex or our identifiers."""
        found = set()
        for root in ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"):
            with tempfile.NamedTemporaryFile(suffix=".reg", delete=False) as f:
                path = f.name
            try:
                code, out = self.wine("regedit", "/E", "Z:" + path.replace("/", "\\"), root)
                check(code == 0, f"regedit cannot export {root}: {out}")
                text = read(path).decode("utf-16", "replace")
            finally:
                os.unlink(path)
            key = ""
            for line in text.splitlines():
                if line.startswith("["):
                    key = line.strip("[]")
                    if OUR_KEYS.search(key):
                        found.add(key)
                elif OUR_KEYS.search(line) or (line and OUR_KEYS.search(key)):
                    found.add(f"{key}: {line}")
        return found

    def wait_for_uninstaller(self, folder):
        """The uninstaller runs as a copy of itself from the temporary folder and /S returns
        at once: wait for that copy to end."""
        deadline = time.time() + 60
        while time.time() < deadline:
            running = False
            for pid in filter(str.isdigit, os.listdir("/proc")):
                try:
                    command = read(f"/proc/{pid}/cmdline").decode("utf-8", "replace")
                    if "Un.exe" not in command or "_?=" not in command:
                        continue
                    environ = read(f"/proc/{pid}/environ").split(b"\0")
                except OSError:
                    continue
                if f"WINEPREFIX={self.root}".encode() in environ:
                    running = True
            if not running:
                return True
            time.sleep(0.2)
        return check(False, f"the uninstaller of {folder} still runs after 60 s")


def start_menu(prefix, all_users):
    base = r"C:\ProgramData" if all_users else rf"{prefix.user}\AppData\Roaming"
    return rf"{base}\Microsoft\Windows\Start Menu\Programs\Ombrevale.lnk"


def install(prefix, setup, *switches, expect=0):
    code, out = prefix.wine(setup, "/S", *switches, timeout=120)
    check(code == expect, f"{os.path.basename(setup)} /S {' '.join(switches)} exits {code}, not {expect} {out}")


def uninstall(prefix, folder, view_root):
    entry = prefix.values(rf"{view_root}\{UNINSTALL}")
    quiet = (entry or {}).get("QuietUninstallString", "")
    check(quiet.startswith(f'"{folder}\\Uninstall.exe"') and quiet.endswith(" /S"),
          f"the uninstall entry's quiet command is {quiet!r}")
    # As Windows runs it: the command line of the entry.
    arguments = quiet.split('" ', 1)[1].split() if '" ' in quiet else ["/S"]
    code, out = prefix.wine(rf"{folder}\Uninstall.exe", *arguments)
    check(code == 0, f"the uninstaller exits {code} {out}")
    prefix.wait_for_uninstaller(folder)


def registration(prefix):
    """The server of Virtual PC's class and the interfaces' proxy/stub DLL, as registered."""
    return tuple((prefix.values(rf"HKLM\Software\Classes\CLSID\{c}\{kind}") or {}).get("")
                 for c, kind in ((CLASS, "LocalServer32"), (PROXY_STUB, "InprocServer32")))


def check_installed(prefix, release, folder, root, all_users, server, before=(None, None)):
    """Files, shortcut, uninstall entry and registration of an installation with one server
    (a file name), or with none, leaving the class as it was `before`."""
    held = sorted(os.listdir(prefix.unix(folder))) if os.path.isdir(prefix.unix(folder)) else []
    servers = [server, PROXY_STUB_DLL] if server else []
    wanted = sorted(PROGRAM_FILES + servers + ["Uninstall.exe"])
    check(held == wanted, f"{folder} holds {held}, not {wanted}")
    for name in PROGRAM_FILES + servers:
        if name in held:
            check(read(os.path.join(prefix.unix(folder), name)) == release.expected(name),
                  f"the installed {name} is not this release's")
    check(os.path.isfile(prefix.unix(start_menu(prefix, all_users))), f"no shortcut {start_menu(prefix, all_users)}")
    check(not os.path.exists(prefix.unix(start_menu(prefix, not all_users))), "a shortcut in the other Start menu")
    mode = "/AllUsers" if all_users else "/CurrentUser"
    entry = prefix.values(rf"{root}\{UNINSTALL}") or {}
    for name, value in {"DisplayName": "Ombrevale", "DisplayVersion": release.text, "Publisher": "Quorvex",
                        "InstallLocation": folder, "DisplayIcon": rf"{folder}\Ombrevale.exe,0",
                        "UninstallString": rf'"{folder}\Uninstall.exe" {mode}',
                        "QuietUninstallString": rf'"{folder}\Uninstall.exe" {mode} /S'}.items():
        check(entry.get(name) == value, f"uninstall entry {root}: {name} is {entry.get(name)!r}, not {value!r}")
    other = "HKCU" if root == "HKLM" else "HKLM"
    check(prefix.values(rf"{other}\{UNINSTALL}") is None, f"an uninstall entry in {other} too")
    expected = (rf'"{folder}\{server}"', rf"{folder}\{PROXY_STUB_DLL}") if server else before
    check(registration(prefix) == expected, f"the class and proxy/stub are {registration(prefix)}, not {expected}")
    problems = xp_problems([prefix.unix(rf"{folder}\Uninstall.exe")])
    for problem in problems:
        check(False, f"on Windows XP SP3: {problem}")


def user_data(prefix, folder):
    """What a user has made: settings, images (one in the program's folder), the demo
    server's inventory. Path -> contents, and the settings."""
    images = {
        prefix.unix(r"C:\Образы\загрузочная.vfd"): b"\xeb\x3c\x90" + b"\0" * 509,
        prefix.unix(rf"{folder}\моя дискета.vfd"): b"\xf0" * 512,
    }
    for path, data in images.items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    code, out = prefix.reg("add", SETTINGS, "/v", "Last open VFD directory", "/t", "REG_SZ",
                           "/d", r"C:\Образы", "/f")
    check(code == 0, f"cannot write the settings: {out}")


def snapshot_user_data(prefix):
    folder = prefix.unix(rf"{prefix.user}\AppData\Roaming\Ombrevale Demo Host")
    data = {}
    for directory, _, names in os.walk(folder):
        for n in names:
            data[os.path.join(directory, n)] = sha256(os.path.join(directory, n))
    return data, prefix.values(SETTINGS)


def clean(prefix):
    """Removes what an earlier run that failed half-way may have left."""
    classes = [rf"CLSID\{c}" for c in (CLASS, PROXY_STUB)] + [rf"TypeLib\{TYPELIB}"]
    classes += [rf"Interface\{i}" for i in INTERFACES]
    keys = [UNINSTALL, r"Software\Quorvex"] + [rf"Software\Classes\{k}" for k in classes]
    # Each key in both views (the 32-bit one is Wow6432Node), in one run of the 64-bit
    # regedit (the one that `wine` starts sees only the 32-bit view, and reg.exe cannot delete
    # from a file).
    lines = ["REGEDIT4", ""]
    for root in ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"):
        for key in keys:
            parent = r"Software\Classes" if key.startswith("Software\\Classes") else "Software"
            lines += [rf"[-{root}\{key}]", rf"[-{root}\{parent}\Wow6432Node{key[len(parent):]}]"]
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False) as f:
        f.write("\r\n".join(lines) + "\r\n")
    try:
        wine64 = shutil.which("wine64") or "/usr/lib/wine/wine64"
        subprocess.run([wine64, "regedit", "/S", "Z:" + f.name.replace("/", "\\")], env=prefix.env,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    finally:
        os.unlink(f.name)
    for folder in (rf"{prefix.user}\AppData\Local\Programs\Ombrevale", r"C:\Program Files (x86)\Ombrevale",
                   r"C:\Program Files\Ombrevale", r"C:\Образы", BY_HAND,
                   rf"{prefix.user}\AppData\Roaming\Ombrevale Demo Host",
                   rf"{prefix.user}\AppData\Roaming\Ombrevale QEMU Bridge"):
        remove(prefix, folder)
    for all_users in (False, True):
        remove(prefix, start_menu(prefix, all_users))
    temporary = prefix.unix(prefix.user + "\\Temp")
    for name in os.listdir(temporary) if os.path.isdir(temporary) else []:
        if name.startswith("~nsu"):
            remove(prefix, prefix.user + "\\Temp\\" + name)


def remove(prefix, path):
    """Deletes a file or folder of the prefix: never one that a link leads out of it (some
    of the user's folders lead to the Linux home)."""
    unix = prefix.unix(path)
    if not os.path.lexists(unix):
        return
    inside = os.path.realpath(os.path.join(prefix.root, "drive_c")) + os.sep
    if not os.path.realpath(unix).startswith(inside):
        raise RuntimeError(f"{path} leads out of the Wine prefix: not removed")
    subprocess.run(["rm", "-rf", "--", unix], check=True)


def uninstall_leaves_only_the_users(prefix, before_files, before_registry, expected_new_files, user_before):
    after_files = prefix.files()
    gone = sorted(before_files - after_files)
    new = sorted(after_files - before_files)
    print("files left:", *new, sep="\n  ")
    check(not gone, f"the uninstaller removed files that were there before: {gone}")
    temporary = [f for f in new if re.search(r"/Temp/~nsu\w*\.tmp/Un\.exe$", f)]
    check(sorted(set(new) - set(temporary)) == sorted(expected_new_files),
          f"files left are {new}, not {sorted(expected_new_files)} (and NSIS's temporary uninstaller)")
    pending = (prefix.values(r"HKLM\System\CurrentControlSet\Control\Session Manager", view=64) or {}).get(
        "PendingFileRenameOperations", "")
    for f in temporary:
        check(os.path.basename(os.path.dirname(f)) in pending,
              f"NSIS's temporary uninstaller {f} is not to be deleted at the next start")
    # In the registry, only the settings that the user made.
    after_registry = prefix.our_registry()
    settings_keys = {r"HKEY_CURRENT_USER\Software\Quorvex", r"HKEY_CURRENT_USER\Software\Quorvex\Ombrevale",
                     "HKEY_CURRENT_USER\\" + SETTINGS.split("\\", 1)[1]}
    new = sorted(after_registry - before_registry)
    print("registry left:", *new, sep="\n  ")
    check(not before_registry - after_registry, f"the uninstaller removed {sorted(before_registry - after_registry)}")
    check(all(k.split(": ", 1)[0] in settings_keys for k in new),
          f"keys of ours are left: {[k for k in new if k.split(': ', 1)[0] not in settings_keys]}")
    check(snapshot_user_data(prefix) == user_before, "the demo inventory, its images or the settings changed")


def test_install(release, prefix):
    clean(prefix)
    before_files, before_registry = prefix.files(), prefix.our_registry()
    install(prefix, release.setup, "/DemoHost")
    folder = (prefix.values(rf"HKCU\{UNINSTALL}") or {}).get("InstallLocation", "")
    check(folder == rf"{prefix.user}\AppData\Local\Programs\Ombrevale", f"installed per user into {folder!r}")
    check_installed(prefix, release, folder, "HKCU", False, DEMO)

    # Started as a user starts it: it finds the demo server and lists its machines.
    code, out = prefix.wine(os.path.join(release.bin, "release_start_program.exe"),
                            start_menu(prefix, False), folder, timeout=90)
    print(out.strip())
    check(code == 0, "the installed program does not start from its shortcut and show its window")

    user_data(prefix, folder)
    user_before = snapshot_user_data(prefix)
    check(user_before[0], "the demo server made no inventory")
    uninstall(prefix, folder, "HKCU")
    inventory = {os.path.relpath(p, os.path.join(prefix.root, "drive_c")) for p in user_before[0]}
    uninstall_leaves_only_the_users(
        prefix, before_files, before_registry,
        inventory | {os.path.relpath(prefix.unix(p), os.path.join(prefix.root, "drive_c")) for p in (
            r"C:\Образы\загрузочная.vfd", rf"{folder}\моя дискета.vfd")},
        user_before)


def test_upgrade(release, older_version, prefix):
    older = os.path.join(release.dist, f"Ombrevale-{older_version}-setup.exe")
    clean(prefix)
    folder = r"C:\Program Files (x86)\Ombrevale"
    install(prefix, older, "/AllUsers", "/DemoHost")
    old_uninstaller = read(prefix.unix(rf"{folder}\Uninstall.exe"))
    older_text = Release.text_of(older_version)
    check(f"Версия {older_text}" in read(prefix.unix(rf"{folder}\ReadMe.txt")).decode("utf-8-sig"),
          f"the older installer's read-me does not name version {older_text}")
    check((prefix.values(rf"HKLM\{UNINSTALL}") or {}).get("DisplayVersion") == older_text,
          "the older installer's uninstall entry does not name its version")
    code, out = prefix.reg("add", SETTINGS, "/v", "Last open VFD directory", "/t", "REG_SZ", "/d", r"D:\Образы", "/f")
    settings = prefix.values(SETTINGS)

    # Over it, with no switch: for all users again, into its folder, the demo server kept.
    install(prefix, release.setup)
    check_installed(prefix, release, folder, "HKLM", True, DEMO)
    check(read(prefix.unix(rf"{folder}\Uninstall.exe")) != old_uninstaller, "the older uninstaller was not replaced")
    check(prefix.values(SETTINGS) == settings, "the settings changed on installing over the older version")

    uninstall(prefix, folder, "HKLM")
    check(not os.path.exists(prefix.unix(folder)), f"{folder} is left")
    check(not os.path.exists(prefix.unix(start_menu(prefix, True))), "the shortcut is left")
    check(prefix.values(rf"HKLM\{UNINSTALL}") is None, "the uninstall entry is left")
    check(prefix.values(rf"HKLM\Software\Classes\CLSID\{CLASS}") is None, "the VirtualPC class is left registered")
    check(prefix.values(SETTINGS) == settings, "the uninstaller changed the settings")


def test_class_taken(release, prefix):
    clean(prefix)
    # Virtual PC's own registration, in the 64-bit view only (the installer looks in both).
    virtual_pc = r"C:\Program Files\Microsoft Virtual PC\Virtual PC.exe"
    key = rf"HKLM\Software\Classes\CLSID\{CLASS}\LocalServer32"
    prefix.reg("add", key, "/ve", "/d", virtual_pc, "/f", view=64)
    try:
        before = registration(prefix)
        for _, _, switch in release.servers:
            install(prefix, release.setup, "/" + switch, expect=EXIT_SERVER_LEFT_OUT)
        folder = (prefix.values(rf"HKCU\{UNINSTALL}") or {}).get("InstallLocation", "")
        check_installed(prefix, release, folder, "HKCU", False, None, before)
        check((prefix.values(key, view=64) or {}).get("") == virtual_pc, "Virtual PC's registration changed")
        uninstall(prefix, folder, "HKCU")
        check(not os.path.exists(prefix.unix(folder)), f"{folder} is left")
        check((prefix.values(key, view=64) or {}).get("") == virtual_pc, "the uninstaller changed Virtual PC's class")
    finally:
        prefix.reg("delete", rf"HKLM\Software\Classes\CLSID\{CLASS}", "/f", view=64)


def test_choices(release, prefix):
    """Each choice over the one before, in one folder, and what the uninstaller gives back: the
    demo server registered by hand from the zip, which our servers replace."""
    clean(prefix)
    os.makedirs(prefix.unix(BY_HAND))
    for name in (DEMO, PROXY_STUB_DLL):
        shutil.copy(os.path.join(release.bin, name), prefix.unix(BY_HAND))
    prefix.wine(rf"{BY_HAND}\{DEMO}", "/RegServer", "/s")
    by_hand = registration(prefix)
    check(by_hand == (rf'"{BY_HAND}\{DEMO}"', rf"{BY_HAND}\{PROXY_STUB_DLL}"), f"registered by hand: {by_hand}")

    folder = rf"{prefix.user}\AppData\Local\Programs\Ombrevale"
    install(prefix, release.setup, *("/" + s for _, _, s in release.servers[:2]), expect=EXIT_TWO_SERVERS)
    check(prefix.values(rf"HKCU\{UNINSTALL}") is None and registration(prefix) == by_hand and
          not os.path.exists(prefix.unix(folder)), "two servers asked for, and something was installed")
    # None, then each server over the one before, then the last kept by an installation
    # without a switch.
    steps = [(None, [])] + [(file, ["/" + switch]) for _, file, switch in release.servers]
    for server, switches in steps + [(steps[-1][0], [])]:
        install(prefix, release.setup, *switches)
        check_installed(prefix, release, folder, "HKCU", False, server, by_hand)
    uninstall(prefix, folder, "HKCU")
    check(registration(prefix) == by_hand, f"uninstalled, the class and proxy/stub are {registration(prefix)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["packages", "clean", "install", "upgrade", "class-taken", "choices"])
    parser.add_argument("--dist", required=True)
    parser.add_argument("--bin", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--older-version")
    parser.add_argument("--license", required=True)
    parser.add_argument("--changes", required=True)
    parser.add_argument("--servers", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    release = Release(args)
    started = time.time()
    if args.command == "packages":
        packages(release)
    else:
        prefix = Prefix()
        if args.command == "clean":
            clean(prefix)
        elif args.command == "install":
            test_install(release, prefix)
        elif args.command == "upgrade":
            test_upgrade(release, args.older_version, prefix)
        elif args.command == "class-taken":
            test_class_taken(release, prefix)
        else:
            test_choices(release, prefix)
    print(f"{args.command}: {len(failures)} failure(s), {time.time() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
