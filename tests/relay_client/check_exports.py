"""Checks the dynamic symbols of libZvServerAPI.so: the nine entry points are
exported by name, and every other exported symbol belongs to namespace zv.

usage: check_exports.py LIBRARY
"""
import subprocess
import sys

ENTRY_POINTS = [
    "ZvServer_Login", "ZvServer_Logout", "ZvServer_LockCard", "ZvServer_UnLockCard",
    "ZvServer_SendCommPacket", "ZvServer_RecvCommPacket", "ZvServer_SendHeartbeatPacket",
    "ZvServer_SetReceiveTimeout", "ZvServer_QueryCardStatus",
]

# The relay domain classes, with their vtables and type information.
DOMAIN_PREFIXES = tuple(p + "zv::" for p in (
    "", "vtable for ", "typeinfo for ", "typeinfo name for ", "non-virtual thunk to ",
    "virtual thunk to "))


def defined_symbols(library, demangle):
    args = ["nm", "-D", "--defined-only"] + (["-C"] if demangle else []) + [library]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    return [line.split(" ", 2)[2] for line in out.splitlines() if line.count(" ") >= 2]


def main():
    library = sys.argv[1]
    names = set(defined_symbols(library, demangle=False))
    problems = ["missing export: " + n for n in ENTRY_POINTS if n not in names]
    for symbol in defined_symbols(library, demangle=True):
        if symbol in ENTRY_POINTS or symbol.startswith(DOMAIN_PREFIXES):
            continue
        problems.append("unexpected export: " + symbol)
    for problem in problems:
        print(problem)
    print("%d symbols checked, %d problem(s)" % (len(names), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
