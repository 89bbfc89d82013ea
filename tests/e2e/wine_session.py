"""velmora.exe under Wine: one prefix, copied from the template, under one
locale. Message boxes are read through the Windows API (read_dialogs.exe)."""
import json
import os
import shutil
import signal
import subprocess
import tempfile
import urllib.parse

from desktop import click, install_program, wait_for

# Named in wine_env.sh, which the scripts source.
WINE = os.environ["VELMORA_WINE"]
WINESERVER = os.environ["VELMORA_WINESERVER"]


# Where Wine reads the scaling the display settings set: the desktop's
# LogPixels for windows and metrics, the fonts' for GDI's font sizes.
DPI_KEYS = (("user.reg", r"Control Panel\Desktop"),
            ("system.reg", r"System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"))


def set_registry_dword(path, key, name, value):
    """Sets a value in a registry file of a prefix whose server is stopped
    (Wine keeps the registry as text and reads it when the server starts)."""
    with open(path, encoding="latin-1", newline="") as f:
        lines = f.read().split("\n")
    header = "[" + key.replace("\\", "\\\\") + "]"
    entry = f'"{name}"=dword:{value:08x}'
    start = next((i for i, line in enumerate(lines) if line == header or line.startswith(header + " ")), None)
    if start is None:
        lines[-1:-1] = ["", f"{header} 0", entry]
    else:
        end = next((i for i in range(start + 1, len(lines)) if not lines[i] or lines[i].startswith("[")), len(lines))
        found = next((i for i in range(start + 1, end) if lines[i].startswith(f'"{name}"=')), None)
        if found is None:
            lines.insert(end, entry)
        else:
            lines[found] = entry
    with open(path, "w", encoding="latin-1", newline="") as f:
        f.write("\n".join(lines))


def run_wine(args, env, timeout):
    """Runs a Wine program to its end; its output goes through a file, not a
    pipe: when it is the first program of its prefix to want the desktop, the
    explorer.exe it starts inherits the output and would hold a pipe open."""
    with tempfile.TemporaryFile() as out:
        result = subprocess.run([WINE] + args, env=env, stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return subprocess.CompletedProcess(result.args, result.returncode, out.read())


class Dialog:
    """An open message box as the user sees it: title, message, and the
    buttons' centres from left to right."""

    def __init__(self, title, text, buttons):
        self.title, self.message, self.buttons = title, text, buttons

    def text(self):
        return self.message

    def press(self, index):
        click(*self.buttons[index])


class WineSession:
    platform = "windows"
    icon_owner = "explorer.exe"  # Wine's shell docks every program's icons
    file_link = "file:///C:/windows/win.ini"
    program_link = "C:\\windows\\system32\\notepad.exe"
    urls_newline = "\r\n"
    YES, NO = 0, 1  # the exit prompt's buttons, from left to right
    DPIS = (96, 120, 144, 192)  # 100, 125, 150 and 200 % scaling

    def __init__(self, name, lang, config):
        self.config = config
        self.prefix = os.path.join(config.work, f"prefix-{name}")
        shutil.rmtree(self.prefix, ignore_errors=True)
        shutil.copytree(config.template, self.prefix, symlinks=True)
        self.env = dict(os.environ)
        for key in [k for k in self.env if k.startswith("LC_")]:
            del self.env[key]
        self.env.update(
            WINEPREFIX=self.prefix,
            LANG=lang,
            LOCPATH=config.locpath,
            PATH=config.bin + os.pathsep + os.environ["PATH"],
        )
        self.processes = []

    def folder(self, name):
        return os.path.join(self.prefix, "drive_c", name)

    def install(self, folder, urls_line):
        """velmora.exe in C:\\<folder>, with urls.txt unless urls_line is None."""
        path = self.folder(folder)
        install_program(path, [self.config.exe], urls_line, self.urls_newline)
        return os.path.join(path, "velmora.exe")

    def log_path(self, folder):
        return os.path.join(self.config.work, f"{os.path.basename(self.prefix)}-{folder}.log")

    def start(self, folder, trace_tray=False):
        """With trace_tray, Wine logs the program's own Shell_NotifyIcon calls."""
        exe = os.path.join(self.folder(folder), "velmora.exe")
        log = open(self.log_path(folder), "ab")
        env = dict(self.env, WINEDEBUG="trace+systray") if trace_tray else self.env
        process = subprocess.Popen([WINE, exe], env=env, stdout=log, stderr=log, cwd=self.config.work)
        self.processes.append(process)
        return process

    @staticmethod
    def as_handed_to_browser(link):
        """ShellExecute gets the link as a URI: what a URI may not hold
        (non-ASCII among it) as UTF-8 percent-escapes."""
        return urllib.parse.quote(link, safe=":/?#[]@!$&'()*+,;=%")

    def request_close(self, process):
        """taskkill without /f: WM_CLOSE to the program's top-level windows."""
        result = run_wine(["taskkill", "/im", "velmora.exe"], self.env, 30)
        return result.returncode == 0

    def deleted_own_icon(self, folder):
        """Wine removes a dead process's icons itself: the program's own
        NIM_DELETE (message 2) shows in its trace."""
        with open(self.log_path(folder), encoding="utf-8", errors="replace") as f:
            return any("Shell_NotifyIconW dwMessage = 2" in line for line in f)

    def wineserver_pid(self):
        marker = f"WINEPREFIX={self.prefix}".encode() + b"\0"
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:  # wineserver is a script around wineserver64
                    if b"wineserver" not in f.read().split(b"\0")[0]:
                        continue
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if marker in f.read():
                        return int(pid)
            except OSError:
                pass
        return None

    def is_program(self, process):
        with open(f"/proc/{process.pid}/cmdline", "rb") as f:
            return b"velmora.exe" in f.read()

    def _dialogs(self):
        """Open message boxes, as read through the Windows API."""
        out = run_wine([self.config.reader], self.env, 60).stdout
        return [json.loads(line) for line in out.decode("utf-8", "replace").splitlines() if line.startswith("{")]

    def wait_dialog(self, title, timeout=20):
        def probe():
            return next((d for d in self._dialogs() if d["title"] == title), None)

        box = wait_for(f'the message box "{title}"', probe, timeout, interval=0.3)
        controls = box["controls"]
        text = " ".join(c["text"] for c in controls if c["class"].lower() == "static" and c["text"])
        buttons = sorted((c["rect"] for c in controls if c["class"].lower() == "button"), key=lambda r: r[0])
        return Dialog(title, text, [((r[0] + r[2]) // 2, (r[1] + r[3]) // 2) for r in buttons])

    def dialog_gone(self, title):
        return not any(d["title"] == title for d in self._dialogs())

    def set_dpi(self, dpi):
        """The scaling as Windows' display settings set it, for the programs
        started next: every program of the prefix ends first, so Wine's own
        (the desktop, the tray) start again at that DPI too."""
        self.end_programs()
        for name, key in DPI_KEYS:
            set_registry_dword(os.path.join(self.prefix, name), key, "LogPixels", dpi)

    def end_programs(self):
        for process in self.processes:
            if process.poll() is None:
                process.send_signal(signal.SIGKILL)
                process.wait()
        # Ends what Wine itself started for this prefix (its explorer and
        # services), and only for this prefix.
        subprocess.run([WINESERVER, "-k"], env=self.env, capture_output=True)
        subprocess.run([WINESERVER, "-w"], env=self.env, capture_output=True, timeout=30)

    def stop(self):
        self.end_programs()
        # A prefix is some 700 MB; the next run copies a fresh one.
        shutil.rmtree(self.prefix, ignore_errors=True)
