#!/usr/bin/env python3
"""Writes the registry settings the test prefix needs, as a UTF-16 .reg file.

- No window manager runs in Xvfb: Wine must manage its windows itself, or
  closed message boxes linger and new ones get no keyboard focus.
- Chinese glyphs: the Song faces the program asks for map to the installed
  CJK face, and the dialog faces link to it, so message boxes show Chinese.

Usage: prefix_reg.py OUT.reg [FACE FILE]. The tests' face is WenQuanYi Zen
Hei; a picture for people to look at wants an outline face without embedded
bitmaps (Noto Serif CJK SC), whose small sizes are not jagged.
"""
import sys

FACE, FILE = sys.argv[2:4] if len(sys.argv) > 3 else ("WenQuanYi Zen Hei", "wqy-zenhei.ttc")


def multi_string(*items):
    data = "".join(item + "\0" for item in items) + "\0"
    return "hex(7):" + ",".join("%02x" % b for b in data.encode("utf-16-le"))


link = multi_string(f"{FILE},{FACE}")
lines = [
    "Windows Registry Editor Version 5.00",
    "",
    r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
    '"Managed"="N"',
    "",
    r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
    f'"宋体"="{FACE}"',
    f'"SimSun"="{FACE}"',
    "",
    r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]",
]
lines += [f'"{face}"={link}' for face in ("Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI")]
with open(sys.argv[1], "wb") as f:
    f.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
