#!/usr/bin/env python3
"""Archives past the 32-bit format, with the real limits, read back by four independent readers.

Usage: large_archive_test.py ZIPASSEMBLE [PROGRAM]

1. A sparse log of 4.5 GB, packed by zipassemble (and, given PROGRAM, by the program's
   --support-archive from a log folder that holds it): its entry needs ZIP64 sizes.
2. A sparse 4.5 GB file named big.zip, which is stored, followed by a small log: the archive
   passes 4 GiB, so the second entry's offset and the directory need ZIP64 fields.
Each archive is tested by unzip -t, 7z t, Python's zipfile (testzip) and bsdtar -tvf, and
extracted whole to /dev/null by bsdtar. Everything is made in a temporary folder and deleted.
Slow (minutes) and needs about 5 GB of disk: run through its CTest label only.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

LARGE = 4_500_000_000
failed = 0


def check(condition, what):
    global failed
    if not condition:
        failed += 1
        print(f"FAIL: {what}", flush=True)


def sparse(path, size):
    with open(path, "wb") as out:
        out.truncate(size)


def timed(what, command, **options):
    start = time.monotonic()
    result = subprocess.run(command, capture_output=True, text=True, **options)
    print(f"{what}: exit {result.returncode}, {time.monotonic() - start:.1f} s", flush=True)
    return result


def read_back(archive, entries):
    """entries: name -> (size, bytes of its start)"""
    print(f"{os.path.basename(archive)}: {os.path.getsize(archive):,} bytes", flush=True)
    for reader, command in (("unzip", ["unzip", "-tq", archive]), ("7z", ["7z", "t", archive]),
                            ("bsdtar", ["bsdtar", "-tvf", archive])):
        if shutil.which(command[0]) is None:
            check(False, f"{reader} is not installed")
            continue
        result = timed(f"  {reader}", command)
        check(result.returncode == 0, f"{reader} on {archive}: {result.stdout[-2000:]}{result.stderr[-2000:]}")
        if reader == "bsdtar":
            for name, (size, _) in entries.items():
                check(any(line.split()[4:5] == [str(size)] and line.endswith(" " + name)
                          for line in result.stdout.splitlines()), f"bsdtar lists {name} of {size}: {result.stdout}")
    start = time.monotonic()
    with zipfile.ZipFile(archive) as z:
        check(z.testzip() is None, f"zipfile testzip on {archive}")
        infos = {info.filename: info for info in z.infolist()}
        for name, (size, head) in entries.items():
            check(name in infos and infos[name].file_size == size, f"zipfile size of {name}")
            if name in infos:
                with z.open(name) as entry:
                    check(entry.read(len(head)) == head, f"zipfile contents of {name}")
    print(f"  zipfile: {time.monotonic() - start:.1f} s", flush=True)
    if shutil.which("bsdtar"):
        with open(os.devnull, "wb") as null:
            start = time.monotonic()
            result = subprocess.run(["bsdtar", "-xOf", archive], stdout=null, stderr=subprocess.PIPE, text=True)
            print(f"  bsdtar extraction: exit {result.returncode}, {time.monotonic() - start:.1f} s", flush=True)
            check(result.returncode == 0, f"bsdtar extraction of {archive}: {result.stderr}")


def main():
    tool = sys.argv[1]
    program = sys.argv[2] if len(sys.argv) > 2 else None
    with tempfile.TemporaryDirectory(prefix="zel-large-archive-") as folder:
        log = os.path.join(folder, "kv4_usb3.log")
        sparse(log, LARGE)
        small = os.path.join(folder, "after.log")
        with open(small, "wb") as out:
            out.write(b"the entry after\n")

        archive = os.path.join(folder, "log.zip")
        result = timed("zipassemble, 4.5 GB log", [tool, archive, f"kv4_usb3.log={log}", f"after.log={small}"])
        check(result.returncode == 0, f"zipassemble: {result.stdout}{result.stderr}")
        read_back(archive, {"kv4_usb3.log": (LARGE, b"\0" * 4096), "after.log": (16, b"the entry after\n")})
        os.remove(archive)

        if program:
            shared = os.path.join(folder, "shared")
            os.makedirs(os.path.join(shared, "zel"))
            os.rename(log, os.path.join(shared, "zel", "kv4_usb3.log"))
            environment = dict(os.environ, XDG_DATA_DIRS=shared, XDG_DATA_HOME=os.path.join(folder, "home"),
                               XDG_CONFIG_DIRS=os.path.join(folder, "config"), LANG="C", LC_ALL="C")
            for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
                environment.pop(name, None)
            output = os.path.join(folder, "support.zip")
            result = timed("program, 4.5 GB log", [program, "--support-archive", "--output", output],
                           env=environment)
            check(result.returncode == 0, f"program: {result.stdout}{result.stderr}")
            if os.path.exists(output):
                read_back(output, {"kv4_usb3.log": (LARGE, b"\0" * 4096)})
                os.remove(output)
            os.remove(os.path.join(shared, "zel", "kv4_usb3.log"))
        else:
            os.remove(log)

        packed = os.path.join(folder, "big.zip")
        sparse(packed, LARGE)
        archive = os.path.join(folder, "over4gib.zip")
        result = timed("zipassemble, 4.5 GB stored", [tool, archive, f"big.zip={packed}", f"after.log={small}"])
        os.remove(packed)
        check(result.returncode == 0, f"zipassemble: {result.stdout}{result.stderr}")
        check(os.path.getsize(archive) > 1 << 32, "the archive passes 4 GiB")
        read_back(archive, {"big.zip": (LARGE, b"\0" * 4096), "after.log": (16, b"the entry after\n")})
        os.remove(archive)

    print(f"large archives: {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
