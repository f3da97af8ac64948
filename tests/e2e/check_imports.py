"""check_imports.py OBJDUMP PROGRAM: fails naming every DLL that a shipped
program (zarvo.scr, zarvo-pictures.exe) imports at load time and that Windows
would not take from the system folder: one beside the program would be loaded
in its place."""
import re
import subprocess
import sys

# The known DLLs of Windows 7 and later that a program like this may need,
# and comctl32, which the manifest binds side by side.
ALLOWED = {name + ".dll" for name in (
    "kernel32 user32 gdi32 imm32 advapi32 shell32 ole32 oleaut32 msvcrt comdlg32 shlwapi rpcrt4 "
    "ws2_32 comctl32").split()}

objdump, scr = sys.argv[1:3]
dump = subprocess.run([objdump, "-p", scr], check=True, capture_output=True, text=True).stdout
imported = re.findall(r"DLL Name: (\S+)", dump)
others = sorted(name for name in imported if name.lower() not in ALLOWED)
if not imported or others:
    sys.exit(f"{scr} imports {', '.join(others) or 'nothing'} outside the system's known DLLs")
print("imports:", " ".join(imported))
