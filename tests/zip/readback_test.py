#!/usr/bin/env python3
"""Archives written by zipassemble, read back by independent readers.

Usage: readback_test.py ZIPASSEMBLE

Python's zipfile checks every entry (CRC, sizes, methods, flags, attributes, times, extras) and
its contents; unzip -t, bsdtar and 7z test the same archive when they are installed (a missing
one is reported as skipped). Exits non-zero when any check fails.
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

from samples import log_text

passed = 0
failed = 0
skipped = 0


def check(condition, what):
    global passed, failed
    if condition:
        passed += 1
    else:
        failed += 1
        print(f"FAIL: {what}")


def run(tool, archive, pairs):
    return subprocess.run([tool, archive] + [f"{name}={path}" for name, path in pairs],
                          capture_output=True, text=True, env=dict(os.environ, TZ="UTC0"))


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="zipassemble-readback-") as folder:
        sources = {
            "empty.log": b"",
            "camera.log": log_text(400_000, 1),
            "device.ini": b"[LOGGING]\r\nLogname=device\r\nLogging=0x0000FC03\r\n",
            "noise.bin": random.Random(2).randbytes(70_000),
            "packed.gz": random.Random(3).randbytes(50_000),
            "runs.txt": b"A" * 100_000 + b"B" * 1000 + log_text(70_000, 4),
        }
        for name, data in sources.items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
        stamp = 1622536200  # 2021-06-01 08:30:00 UTC
        os.utime(os.path.join(folder, "camera.log"), (stamp + 60, stamp))
        os.chmod(os.path.join(folder, "device.ini"), 0o444)

        entries = [
            ("empty.log", "empty.log"),
            ("camera.log", "camera.log"),
            ("backup\\device.ini", "device.ini"),
            ("data/noise.bin", "noise.bin"),
            ("PACKED.GZ", "packed.gz"),
            ("runs.txt", "runs.txt"),
            ("camera.log", "camera.log"),
        ]
        archive = os.path.join(folder, "support.zip")
        result = run(tool, archive, [(name, os.path.join(folder, src)) for name, src in entries])
        check(result.returncode == 0, f"zipassemble exit code {result.returncode}: {result.stderr}")
        expected_lines = [f"add {name}={os.path.join(folder, src)}: 0x00000000" for name, src in entries]
        expected_lines.append("close: 0x00000000")
        check(result.stdout.splitlines() == expected_lines, f"zipassemble output: {result.stdout!r}")

        names = [name.replace("\\", "/") for name, _ in entries]
        with zipfile.ZipFile(archive) as z:
            check(z.testzip() is None, "zipfile testzip")
            infos = z.infolist()
            check([i.filename for i in infos] == names, f"names {[i.filename for i in infos]}")
            for info, (_, src) in zip(infos, entries):
                data = sources[src]
                check(z.read(info) == data, f"contents of {info.filename}")
                stored = info.filename.lower().endswith(".gz")
                check(info.compress_type == (zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED),
                      f"method of {info.filename}")
                check(info.flag_bits == (0 if stored else 2), f"flags of {info.filename}")
                read_only = src == "device.ini"
                check(info.external_attr == (0x81000021 if read_only else 0x81800020),
                      f"attributes of {info.filename}: {info.external_attr:#x}")
                check(info.create_version == 23 and info.create_system == 11 and info.extract_version == 20,
                      f"versions of {info.filename}")
                mtime = int(os.stat(os.path.join(folder, src)).st_mtime)
                check(info.extra == struct.pack("<HHBI", 0x5455, 5, 7, mtime & 0xFFFFFFFF),
                      f"central extended timestamp of {info.filename}")
                expected_date = time.gmtime(mtime)[:5] + (time.gmtime(mtime).tm_sec // 2 * 2,)
                check(info.date_time == expected_date, f"DOS time of {info.filename}: {info.date_time}")
            camera = infos[1]
            check(camera.date_time == (2021, 6, 1, 8, 30, 0), f"DOS time of camera.log {camera.date_time}")
            check(camera.compress_size < len(sources["camera.log"]) // 3, "camera.log is compressed")

        readers = [
            ("unzip", ["unzip", "-tq", archive]),
            ("bsdtar", ["bsdtar", "-tf", archive]),
            ("7z", ["7z", "t", archive]),
        ]
        for reader, command in readers:
            if shutil.which(command[0]) is None:
                # The suite's own set-up installs every reader: there a missing one is a failure.
                if os.environ.get("ZEL_REQUIRE_READERS"):
                    check(False, f"{reader} is not installed")
                    continue
                global skipped
                skipped += 1
                print(f"SKIP: {reader} is not installed")
                continue
            result = subprocess.run(command, capture_output=True, text=True)
            check(result.returncode == 0, f"{reader}: {result.stdout}{result.stderr}")
            if reader == "bsdtar":
                check(result.stdout.splitlines() == names, f"bsdtar listing {result.stdout!r}")
        if shutil.which("bsdtar"):
            for name, src in dict(zip(names, (src for _, src in entries))).items():
                extracted = subprocess.run(["bsdtar", "-xOf", archive, name], capture_output=True)
                # A name added twice is extracted twice.
                check(extracted.stdout == sources[src] * names.count(name), f"bsdtar extracts {name}")

        # One thread or two, or all cores, whole entries or in segments of any size: the same
        # archive. (The sources' access times, which the first reading may have moved, stay from
        # here on.)
        archives = {}
        for option in ([], ["--threads", "1"], ["--threads", "2"], ["--threads", "2", "--segment-size", "4096"],
                       ["--segment-size", "65536", "--threads", "3"]):
            other = os.path.join(folder, "threads.zip")
            result = subprocess.run([tool] + option + [other] +
                                    [f"{name}={os.path.join(folder, src)}" for name, src in entries],
                                    capture_output=True, text=True, env=dict(os.environ, TZ="UTC0"))
            check(result.returncode == 0, f"zipassemble {option}: {result.stderr}")
            with open(other, "rb") as written:
                archives[" ".join(option)] = written.read()
        check(len(set(archives.values())) == 1, f"the same archive with {list(archives)}")

        # A missing source fails its add only; the archive holds the others.
        partial = os.path.join(folder, "partial.zip")
        result = run(tool, partial, [("gone.log", os.path.join(folder, "gone.log")),
                                     ("device.ini", os.path.join(folder, "device.ini"))])
        check(result.returncode == 1, f"exit code with a missing source: {result.returncode}")
        check(result.stdout.splitlines()[0].endswith(": 0x00000200"), f"missing source code: {result.stdout!r}")
        with zipfile.ZipFile(partial) as z:
            check(z.namelist() == ["device.ini"] and z.testzip() is None, "archive after a missing source")

        # Bad arguments: a usage message, exit code 2, and no archive.
        unused = os.path.join(folder, "unused.zip")
        for arguments in ([], [unused], [unused, "no-equals-sign"], ["--threads", "0", unused, "a=b"],
                          ["--threads", "x", unused, "a=b"], ["--threads", "33", unused, "a=b"],
                          ["--segment-size", "4095", unused, "a=b"], ["--segment-size", "4194305", unused, "a=b"],
                          ["--threads", "2", "--segment-size", unused, "a=b"]):
            result = subprocess.run([tool] + arguments, capture_output=True, text=True)
            check(result.returncode == 2 and "usage" in result.stderr, f"usage for {arguments}")
        check(not os.path.exists(unused), "no archive on bad arguments")

    print(f"readback: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
