#!/usr/bin/env python3
"""The packages as a user meets them (scripts/e2e-packages.sh): the Windows
installer under Wine in a fresh prefix, its signatures, silent install,
upgrade over the running copy and silent uninstall; the Debian package
installed with apt on this machine, run from /usr/bin, upgraded, removed and
purged; the site's apt repository used and refused as apt does; and the
values package.sh refuses. Prints how long the installer's steps take. Exits
non-zero when a group fails.

Groups: windows, debian, apt, inputs (default: all)."""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time
import traceback

from desktop import Failure, check, holds, popup_geometry, screenshot, tray_icons, wait_for
from wine_session import WINE, WINESERVER, run_wine

ENV = os.environ
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WORK, ARTIFACTS, WWW = ENV["VELMORA_E2E_WORK"], ENV["VELMORA_E2E_ARTIFACTS"], ENV["VELMORA_E2E_WWW"]
VERSION, NEXT = ENV["VELMORA_PKG_VERSION"], ENV["VELMORA_PKG_NEXT"]
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
FULL_HEIGHT = 173


def write_feed(title):
    """The feed the shipped urls.txt names, with one item."""
    item = (f"<item><title><![CDATA[{title}]]></title><link>https://example.com/a</link>"
            "<description><![CDATA[装好就能用。]]></description>"
            "<pubDate>Mon, 07 Dec 2026 08:00:00 GMT</pubDate></item>")
    with open(os.path.join(WWW, "feed.xml"), "w", encoding="utf-8") as f:
        f.write(f'<?xml version="1.0" encoding="utf-8"?><rss><channel>{item}</channel></rss>')


def timed(what, action):
    start = time.monotonic()
    result = action()
    print(f"  {what}: {time.monotonic() - start:.1f} s", flush=True)
    return result


# --- Windows -----------------------------------------------------------------------------


class Prefix:
    """A fresh Wine prefix copied from the template, and what the installer
    leaves in it, read from outside through Wine's own reg.exe."""

    def __init__(self):
        self.path = os.path.join(WORK, "prefix-installer")
        shutil.rmtree(self.path, ignore_errors=True)
        shutil.copytree(ENV["VELMORA_E2E_TEMPLATE"], self.path, symlinks=True)
        self.env = {k: v for k, v in ENV.items() if not k.startswith("LC_")}
        # WINEDEBUG and WINEDLLOVERRIDES come from tests/e2e/wine_env.sh.
        self.env.update(WINEPREFIX=self.path, LANG="C.UTF-8")

    def run(self, *args, timeout=120):
        return run_wine(list(args), self.env, timeout)

    def values(self, key):
        """The values of a registry key as {name: data}; None when the key is absent."""
        result = self.run("reg", "query", key)
        if result.returncode != 0:
            return None
        text = result.stdout.decode("utf-8", "replace")
        return {m.group(1): m.group(2).strip() for m in re.finditer(r"^\s+(\S+)\s+REG_\w+\s+(.*)$", text, re.M)}

    def unix(self, windows_path):
        drive, rest = windows_path.split(":", 1)
        check(drive.upper() == "C", f"{windows_path} is not on C:")
        return os.path.join(self.path, "drive_c", *rest.strip("\\").split("\\"))

    def programs(self):
        """PIDs of the velmora.exe processes running in this prefix."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    command = f.read()
                with open(f"/proc/{pid}/environ", "rb") as f:
                    in_prefix = f"WINEPREFIX={self.path}".encode() in f.read().split(b"\0")
            except OSError:
                continue
            if in_prefix and b"velmora.exe" in command and b"setup" not in command:
                found.append(int(pid))
        return found

    def stop(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True)
        subprocess.run([WINESERVER, "-w"], env=self.env, capture_output=True, timeout=30)
        shutil.rmtree(self.path, ignore_errors=True)


def product_version(exe):
    """The ProductVersion string of an exe's version resource."""
    with open(exe, "rb") as f:
        data = f.read()
    start = data.find("ProductVersion\0".encode("utf-16-le"))
    check(start >= 0, f"{exe} has no version resource")
    start += len("ProductVersion\0".encode("utf-16-le"))
    start += -start % 4  # the value starts on a 32-bit boundary
    end = start
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[start:end].decode("utf-16-le")


def signed(path):
    """Whether the file's Authenticode signature verifies against the test CA."""
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", ENV["VELMORA_PKG_CA"], "-in", path],
                            capture_output=True, timeout=60)
    return result.returncode == 0


def signed_again_alike():
    """Whether signing the built velmora.exe again, with the same key for
    the same commit, gives the shipped file byte for byte."""
    again = os.path.join(WORK, "velmora-signed-again.exe")
    shutil.copy(ENV["VELMORA_PKG_BUILT_EXE"], again)
    password = os.path.join(WORK, "signing-password")
    with open(password, "w", encoding="utf-8") as f:
        f.write(ENV["VELMORA_PKG_SIGN_PASSWORD"])
    commit_time = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], capture_output=True, text=True)
    env = dict(ENV, VELMORA_SIGN_PKCS12=ENV["VELMORA_PKG_P12"], VELMORA_SIGN_PASSWORD_FILE=password,
               SOURCE_DATE_EPOCH=commit_time.stdout.strip())
    subprocess.run(["bash", os.path.join(ROOT, "scripts/sign-windows.sh"), again], env=env, check=True, timeout=60)
    with open(again, "rb") as a, open(ENV["VELMORA_PKG_EXE"], "rb") as b:
        return a.read() == b.read()


def icons():
    return tray_icons("explorer.exe")


def full_popup():
    """The pop-up at full height: the program runs and reads the site's feed."""
    def full():
        geometry = popup_geometry()
        return geometry if geometry and geometry[3] == FULL_HEIGHT else None

    return wait_for("the pop-up", full, 30)


def one_icon():
    return len(icons()) == 1


def windows():
    setup, next_setup = ENV["VELMORA_PKG_SETUP"], ENV["VELMORA_PKG_NEXT_SETUP"]
    write_feed("装好了")
    prefix = Prefix()
    try:
        check(timed("silent install", lambda: prefix.run(setup, "/S")).returncode == 0, "the installer failed")
        entry = prefix.values(UNINSTALL_KEY)
        check(entry, "no uninstall entry")
        for name in ("DisplayName", "DisplayVersion", "Publisher", "DisplayIcon", "InstallLocation",
                     "UninstallString", "QuietUninstallString", "EstimatedSize"):
            check(entry.get(name), f"the uninstall entry has no {name}")
        check(entry["DisplayVersion"] == VERSION, f"installed version {entry['DisplayVersion']}")
        folder = prefix.unix(entry["InstallLocation"])
        check(folder.endswith(os.path.join("AppData", "Local", "Programs", "Velmora")), f"installed in {folder}")
        with open(os.path.join(folder, "velmora.exe"), "rb") as a, open(ENV["VELMORA_PKG_EXE"], "rb") as b:
            check(a.read() == b.read(), "the installed velmora.exe is not the built one")
        exe_version = product_version(os.path.join(folder, "velmora.exe"))
        check(exe_version == VERSION, f"velmora.exe says version {exe_version}, the package {VERSION}")
        with open(os.path.join(folder, "urls.txt"), "rb") as a, open(ENV["VELMORA_PKG_URLS"], "rb") as b:
            check(a.read() == b.read(), "the installed urls.txt is not the site's")
        check(int(entry["EstimatedSize"], 0) > 0, "no size in the uninstall entry")
        # Every file the site signed verifies against its CA; an unsigned one does not.
        for path in (setup, *(os.path.join(folder, f) for f in ("velmora.exe", "velmora-check.exe", "uninstall.exe"))):
            check(signed(path), f"{os.path.basename(path)} does not verify against the site's CA")
        check(not signed(next_setup), "osslsigncode verify accepts an unsigned installer")
        check(signed_again_alike(), "signing velmora.exe again for the same commit gives other bytes")
        # The diagnostic command beside the program reads the installed urls.txt.
        found = prefix.run(entry["InstallLocation"] + "\\velmora-check.exe", "--feed-url")
        check(found.stdout.decode().strip() == "http://127.0.0.1:8741/feed.xml",
              f"velmora-check.exe --feed-url: {found.returncode} {found.stdout!r}")
        shortcuts = glob.glob(os.path.join(prefix.path, "drive_c/users/*/AppData/Roaming/Microsoft/Windows/"
                                           "Start Menu/Programs/Velmora.lnk"))
        check(len(shortcuts) == 1, "no Start-menu shortcut")
        run_value = (prefix.values(RUN_KEY) or {}).get("Velmora")
        check(run_value == f'"{entry["InstallLocation"]}\\velmora.exe"', f"Run value {run_value!r}")

        # Started as sign-in starts it, traced: the copy the upgrade closes
        # must take its own icon away (Wine would hide a dead one).
        trace = os.path.join(WORK, "first-copy.log")
        with open(trace, "wb") as log:
            first = subprocess.Popen([WINE, run_value.strip('"')], env=dict(prefix.env, WINEDEBUG="trace+systray"),
                                     stdout=subprocess.DEVNULL, stderr=log, cwd=WORK)
        wait_for("the icon to dock", one_icon, 30)
        screenshot(os.path.join(ARTIFACTS, "windows-installed.png"), crop=full_popup())

        check(timed("silent upgrade over the running copy", lambda: prefix.run(next_setup, "/S")).returncode == 0,
              "the upgrade failed")
        wait_for("the old copy to end", lambda: first.poll() is not None, 10)
        with open(trace, encoding="utf-8", errors="replace") as f:
            check(re.search(r"dwMessage = 2\b", f.read()), "the old copy did not delete its icon")
        check(prefix.values(UNINSTALL_KEY)["DisplayVersion"] == NEXT, "the uninstall entry kept the old version")
        wait_for("the new version to run", prefix.programs, 20)
        wait_for("its icon to dock", one_icon, 30)
        screenshot(os.path.join(ARTIFACTS, "windows-upgraded.png"), crop=full_popup())
        check(holds(one_icon, 2), f"{len(icons())} icons after the upgrade")

        quiet = prefix.values(UNINSTALL_KEY)["QuietUninstallString"]
        program, argument = re.match(r'"([^"]+)"\s+(.*)', quiet).groups()

        def uninstall():
            check(prefix.run(program, argument).returncode == 0, "the uninstaller failed")
            # The uninstaller runs on from a copy of itself in %TEMP%.
            wait_for("the uninstaller to finish", lambda: not os.path.exists(folder), 60, 0.2)

        timed("silent uninstall", uninstall)
        wait_for("the program to end", lambda: not prefix.programs(), 10)
        wait_for("the icon to leave", lambda: not icons(), 10)
        check(prefix.values(UNINSTALL_KEY) is None, "the uninstall entry is still there")
        check("Velmora" not in (prefix.values(RUN_KEY) or {}), "the Run value is still there")
        check(not any(os.path.exists(s) for s in shortcuts), "the shortcut is still there")
        # A fresh prefix has no Programs folder: the installer made it.
        check(not os.path.exists(os.path.dirname(folder)), "the folder above the install folder is still there")
    finally:
        prefix.stop()


# --- Debian ------------------------------------------------------------------------------


def apt(*args):
    command = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=900"] + list(args)
    if os.geteuid() != 0:
        command.insert(0, "sudo")
    result = subprocess.run(command, capture_output=True, text=True, env=dict(ENV, DEBIAN_FRONTEND="noninteractive"))
    check(result.returncode == 0, f"apt-get {' '.join(args)} failed:\n{result.stdout}{result.stderr}")


def installed_version():
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status} ${Version}", "velmora"], capture_output=True,
                            text=True)
    return result.stdout.split()[-1] if result.stdout.startswith("install ok installed") else None


def run_installed():
    """/usr/bin/velmora as the desktop session would start it."""
    runtime = os.path.join(WORK, "runtime")
    shutil.rmtree(runtime, ignore_errors=True)
    os.makedirs(runtime, mode=0o700)
    env = {k: v for k, v in ENV.items() if not k.startswith(("LC_", "DBUS_", "WAYLAND_", "XDG_", "QT_"))}
    env.update(LANG="C.UTF-8", XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", NO_PROXY="127.0.0.1",
               no_proxy="127.0.0.1")
    with open(os.path.join(WORK, "velmora.log"), "wb") as log:
        program = subprocess.Popen(["/usr/bin/velmora"], env=env, stdout=log, stderr=log, cwd=WORK)
    try:
        wait_for("the icon to dock", lambda: tray_icons('"velmora"'), 30)
        screenshot(os.path.join(ARTIFACTS, "debian-popup.png"), crop=full_popup())
    finally:
        program.kill()
        program.wait()


def autostart_skipped(entry):
    """Whether an XDG session leaves the entry alone: its TryExec names no program on PATH."""
    with open(entry, encoding="utf-8") as f:
        found = re.search(r"^TryExec=(.+)$", f.read(), re.M)
    return bool(found) and shutil.which(found.group(1).strip(), path="/usr/local/bin:/usr/bin:/bin") is None


def debian():
    deb, next_deb = ENV["VELMORA_PKG_DEB"], ENV["VELMORA_PKG_NEXT_DEB"]
    if installed_version():
        apt("purge", "velmora")
    timed("apt-get install", lambda: apt("install", deb))
    check(installed_version() == VERSION, "velmora is not installed")
    check(os.path.realpath("/usr/bin/velmora") == "/usr/lib/velmora/velmora", "/usr/bin/velmora leads elsewhere")
    check(os.path.realpath("/usr/lib/velmora/urls.txt") == "/etc/velmora/urls.txt", "urls.txt is not the conffile")
    with open("/etc/velmora/urls.txt", "rb") as a, open(ENV["VELMORA_PKG_URLS"], "rb") as b:
        check(a.read() == b.read(), "the installed urls.txt is not the site's")
    maintainer = subprocess.run(["dpkg-query", "-W", "-f=${Maintainer}", "velmora"], capture_output=True, text=True)
    check(maintainer.stdout == ENV["VELMORA_PKG_MAINTAINER"], f"maintainer {maintainer.stdout!r}")
    check(os.access("/usr/lib/velmora/velmora-fetch", os.X_OK), "no velmora-fetch beside the program")
    for path in ("/etc/xdg/autostart/velmora.desktop", "/usr/share/applications/velmora.desktop",
                 "/usr/share/icons/hicolor/32x32/apps/velmora.png", "/usr/share/man/man1/velmora-check.1.gz"):
        check(os.path.isfile(path), f"no {path}")
    owned = subprocess.run(["dpkg-query", "-L", "velmora"], capture_output=True, text=True).stdout.split("\n")
    write_feed("装好了")
    run_installed()
    # The diagnostic command on PATH: the program's address and its view of the feed.
    env = dict(ENV, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
    address = subprocess.run(["velmora-check", "--feed-url"], capture_output=True, text=True, env=env).stdout.strip()
    check(address == "http://127.0.0.1:8741/feed.xml", f"velmora-check --feed-url: {address!r}")
    seen = subprocess.run(["velmora-check", "--json", address], capture_output=True, text=True, env=env)
    check(seen.returncode == 0 and json.loads(seen.stdout)["title"] == "装好了", f"velmora-check: {seen.stdout!r}")

    # The administrator's edit survives an upgrade.
    with open("/etc/velmora/urls.txt", "a", encoding="utf-8") as f:
        f.write("edited by the administrator\n")
    with open("/etc/velmora/urls.txt", "rb") as f:
        edited = f.read()
    timed("apt-get install (upgrade)", lambda: apt("install", next_deb))
    check(installed_version() == NEXT, "the upgrade did not take")
    with open("/etc/velmora/urls.txt", "rb") as f:
        check(f.read() == edited, "the upgrade lost the edit of /etc/velmora/urls.txt")

    # Removed but not purged, the autostart entry stays as a conffile: a
    # session must skip it quietly, as it skips an entry whose TryExec is not
    # an installed program.
    timed("apt-get remove", lambda: apt("remove", "velmora"))
    check(os.path.isfile("/etc/xdg/autostart/velmora.desktop"), "remove took the autostart conffile")
    check(autostart_skipped("/etc/xdg/autostart/velmora.desktop"), "a session would still start the removed velmora")

    timed("apt-get purge", lambda: apt("purge", "velmora"))
    check(installed_version() is None, "velmora is still installed")
    left = [p for p in owned if p and os.path.lexists(p) and not os.path.isdir(p)]
    check(not left, f"purge left {left}")
    for folder in ("/usr/lib/velmora", "/etc/velmora", "/usr/share/doc/velmora"):
        check(not os.path.exists(folder), f"purge left {folder}")

    result = subprocess.run(["lintian", "--fail-on", "error", deb], capture_output=True, text=True)
    print("  lintian:", result.stdout.strip() or "nothing to report")
    check(result.returncode == 0, "lintian reports errors")


# --- The site's apt repository -----------------------------------------------------------


class AptClient:
    """apt-get with a configuration of its own: the one source a user drops
    in, its own lists and cache, no other keys. The machine's sources and
    keyrings are not read; packages are installed on the machine itself, as
    the debian group does."""

    def __init__(self, sources):
        self.root = os.path.join(WORK, "apt-client")
        shutil.rmtree(self.root, ignore_errors=True)
        for sub in ("sources", "trusted", "lists/partial", "cache/archives/partial"):
            os.makedirs(os.path.join(self.root, sub))
        shutil.copy(sources, os.path.join(self.root, "sources", "velmora.sources"))
        self.config = os.path.join(self.root, "apt.conf")
        with open(self.config, "w", encoding="utf-8") as f:
            f.write(f'''Dir::Etc::SourceList "/dev/null";
Dir::Etc::SourceParts "{self.root}/sources";
Dir::Etc::Trusted "/dev/null";
Dir::Etc::TrustedParts "{self.root}/trusted";
Dir::State::Lists "{self.root}/lists";
Dir::Cache "{self.root}/cache";
APT::Sandbox::User "root";
APT::Update::Error-Mode "any";
''')

    def run(self, *args):
        command = ["apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=900"] + list(args)
        if os.geteuid() != 0:
            command.insert(0, "sudo")
        env = dict(ENV, DEBIAN_FRONTEND="noninteractive", APT_CONFIG=self.config)
        return subprocess.run(command, capture_output=True, text=True, env=env)

    def must(self, *args):
        result = self.run(*args)
        check(result.returncode == 0, f"apt-get {' '.join(args)} failed:\n{result.stdout}{result.stderr}")


def publish(key, deb):
    """The site's repository at http://127.0.0.1:8741/apt/, made anew with DEB."""
    result = subprocess.run(["bash", os.path.join(ROOT, "scripts/make-apt-repo.sh"), os.path.join(WWW, "apt"),
                             "http://127.0.0.1:8741/apt/", key, deb], capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, f"make-apt-repo.sh failed: {result.stderr}")


def apt_repository():
    if installed_version():
        apt("purge", "velmora")
    client = AptClient(os.path.join(ENV["VELMORA_PKG_APT"], "velmora.sources"))
    # Signed by a key the source does not name: apt refuses it.
    publish(ENV["VELMORA_PKG_OTHER_KEY"], ENV["VELMORA_PKG_DEB"])
    refused = client.run("update")
    check(refused.returncode != 0 and "NO_PUBKEY" in refused.stdout + refused.stderr,
          f"apt-get update took a repository signed by another key:\n{refused.stdout}{refused.stderr}")
    check(client.run("install", "velmora").returncode != 0 and installed_version() is None,
          "velmora installed from a refused repository")

    # What package.sh wrote, served as the site would.
    shutil.rmtree(os.path.join(WWW, "apt"))
    shutil.copytree(ENV["VELMORA_PKG_APT"], os.path.join(WWW, "apt"))
    timed("apt-get update", lambda: client.must("update"))
    timed("apt-get install velmora", lambda: client.must("install", "velmora"))
    check(installed_version() == VERSION, f"installed {installed_version()}")

    # A year later the site publishes one version up.
    publish(ENV["VELMORA_PKG_SITE_KEY"], ENV["VELMORA_PKG_NEXT_DEB"])
    client.must("update")
    timed("apt-get upgrade", lambda: client.must("upgrade"))
    check(installed_version() == NEXT, f"apt-get upgrade left {installed_version()}")
    apt("purge", "velmora")


# --- What package.sh takes ---------------------------------------------------------------


def inputs():
    """Values that would put code into the programs or fields into the
    control file are refused before anything is built."""
    # The base address's rule itself is the build's (tests/packaging/base_url_rule.py).
    refused = [["--base-url", 'https://x/"; system("id"); "/'], ["--maintainer", "A <a@b>\nEssential: yes"],
               ["--maintainer", "A <a@b>, B"], ["--maintainer", "nobody"]]
    for args in refused:
        result = subprocess.run(["bash", os.path.join(ROOT, "scripts/package.sh"), *args], capture_output=True, text=True, timeout=120)
        check(result.returncode == 2 and args[0] in result.stderr, f"package.sh {args!r}: {result.returncode}, "
              f"{result.stderr.strip()!r}")


def main():
    groups = sys.argv[1:] or ["windows", "debian", "apt", "inputs"]
    failed = []
    for name in groups:
        print(f"-- {name}", flush=True)
        try:
            {"windows": windows, "debian": debian, "apt": apt_repository, "inputs": inputs}[name]()
            print(f"ok {name}", flush=True)
        except (Failure, subprocess.TimeoutExpired):
            traceback.print_exc()
            failed.append(name)
    if failed:
        print("FAILED:", " ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
