#!/usr/bin/env bash
# Checks the layering of src/: prints each include that breaks a rule as
# FILE:LINE: reason, and exits 1 when there is one (0 when there is none).
#   usage: scripts/check-layers.sh [TREE]   (TREE defaults to the project)
#
# The rules:
#  (a) a file under src/<layer>/ includes no "<other>/..." of a layer listed
#      after its own, in this order, lowest first:
#        platform < encoding < platform/posix < crypto < certificates < ui
#        < enrol < pfx < signing < envelopes < engine < interface < bridge
#      (ui/hosts/posix and ui/hosts/gtk are ui);
#  (b) system, OpenSSL, SQLite and iconv headers are included only in
#      folders named posix/ and in src/ui/hosts/gtk/ (the C++ standard
#      library and the compiler's intrinsic headers are fine everywhere);
#  (c) "platform/posix/..." is included only in posix/ folders.
set -euo pipefail

tree=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
if [ ! -d "$tree/src" ]; then
  echo "check-layers: no src/ under $tree" >&2
  exit 2
fi

exec python3 - "$tree" <<'PYTHON'
import os
import re
import sys

tree = sys.argv[1]
src = os.path.join(tree, "src")

# The layers, lowest first; a longer name is matched before its prefix.
LAYERS = ["platform", "encoding", "platform/posix", "crypto", "certificates", "ui",
          "enrol", "pfx", "signing", "envelopes", "engine", "interface", "bridge"]
RANK = {name: rank for rank, name in enumerate(LAYERS)}

# Headers of the system and of the libraries the POSIX backend stands on.
SYSTEM_HEADERS = {
    "unistd.h", "fcntl.h", "termios.h", "dlfcn.h", "pthread.h", "signal.h", "csignal",
    "ifaddrs.h", "poll.h", "dirent.h", "pwd.h", "grp.h", "sched.h", "semaphore.h",
    "spawn.h", "syslog.h", "utime.h", "glob.h", "fnmatch.h", "langinfo.h", "libgen.h",
    "mqueue.h", "netdb.h", "link.h", "elf.h", "ucontext.h", "wordexp.h", "err.h",
    "error.h", "execinfo.h", "malloc.h", "shadow.h", "utmp.h", "sqlite3.h", "iconv.h",
}
SYSTEM_FOLDERS = ("sys/", "netinet/", "arpa/", "net/", "linux/", "asm/", "bits/",
                  "openssl/", "gtk/", "gdk/", "glib/")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer_of_target(target):
    """The layer an include "<layer>/..." names, or None for anything else."""
    if target.startswith("platform/posix/"):
        return "platform/posix"
    head = target.split("/", 1)[0]
    return head if head in RANK and "/" in target else None


def layer_of_file(relative):
    """The layer of a file, from its path under src/."""
    if relative.startswith("platform/posix/"):
        return "platform/posix"
    head = relative.split("/", 1)[0]
    return head if head in RANK else None


def in_posix_folder(relative):
    return "/posix/" in "/" + relative


def may_use_system(relative):
    return in_posix_folder(relative) or relative.startswith("ui/hosts/gtk/")


def is_system_header(name):
    return name in SYSTEM_HEADERS or name.startswith(SYSTEM_FOLDERS)


problems = []
for folder, _, names in os.walk(src):
    for name in sorted(names):
        if not name.endswith((".h", ".hpp", ".cpp", ".cc", ".c")):
            continue
        path = os.path.join(folder, name)
        relative = os.path.relpath(path, src).replace(os.sep, "/")
        own = layer_of_file(relative)
        with open(path, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                found = INCLUDE.match(line)
                if not found:
                    continue
                quote, target = found.groups()
                where = f"src/{relative}:{number}"
                if quote == '"':
                    other = layer_of_target(target)
                    if own is not None and other is not None and RANK[other] > RANK[own]:
                        problems.append(f'{where}: {own} includes "{target}" of the higher '
                                        f"layer {other}")
                    elif other == "platform/posix" and not in_posix_folder(relative):
                        problems.append(f'{where}: "{target}" included outside a posix/ folder')
                elif is_system_header(target) and not may_use_system(relative):
                    problems.append(f"{where}: <{target}> included outside a posix/ folder")

for problem in sorted(problems):
    print(problem)
if problems:
    print(f"check-layers: {len(problems)} include(s) break the layering", file=sys.stderr)
    sys.exit(1)
print("check-layers: the layering holds")
PYTHON
