"""Fails naming every DLL that zarvo.scr imports at load time and that Windows
would not take from the system folder: one beside the program would be loaded
in its place.

    check_imports.py OBJDUMP ZARVO_SCR
"""
import re
import subprocess
import sys

# The known DLLs of Windows 7 and later that a program like this may need,
# and comctl32, which the manifest binds side by side.
ALLOWED = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "imm32.dll", "advapi32.dll",
    "shell32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll", "comdlg32.dll",
    "shlwapi.dll", "rpcrt4.dll", "ws2_32.dll", "comctl32.dll",
}

objdump, scr = sys.argv[1:3]
dump = subprocess.run([objdump, "-p", scr], check=True, capture_output=True, text=True).stdout
imported = re.findall(r"DLL Name: (\S+)", dump)
others = sorted(name for name in imported if name.lower() not in ALLOWED)
if not imported or others:
    sys.exit(f"{scr} imports {', '.join(others) or 'nothing'} outside the system's known DLLs")
print("imports:", " ".join(imported))
