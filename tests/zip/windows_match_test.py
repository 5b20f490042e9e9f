#!/usr/bin/env python3
"""The Windows zipassemble, run under an emulator, against the Linux one.

Usage: windows_match_test.py EMULATOR... WINDOWS_ZIPASSEMBLE LINUX_ZIPASSEMBLE

Both tools archive the same input bytes under the same names. Their archives must be identical
byte for byte once the fields that describe the source files rather than their bytes (DOS
date/time, extended timestamps, external attributes) are masked. The Windows archive is then
read back by Python's zipfile and unzip -t, with its times and attributes checked on their own.
Exits non-zero when any check fails.
"""

import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

from samples import log_text

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAIL: {what}")


def pe_image(size):
    """A file that starts like a Windows executable: "MZ", and "PE\\0\\0" at the offset stored at 0x3C."""
    image = bytearray(random.Random(5).randbytes(size))
    image[0:2] = b"MZ"
    image[0x3C:0x40] = struct.pack("<I", 0x80)
    image[0x80:0x84] = b"PE\0\0"
    return bytes(image)


SOURCES = {
    "empty.log": b"",
    "camera.log": log_text(400_000, 1),
    "device.ini": b"[LOGGING]\r\nLogname=device\r\nLogging=0x0000FC03\r\n",
    "noise.bin": random.Random(2).randbytes(70_000),
    "packed.gz": random.Random(3).randbytes(2 * 16384 + 1),
    "runs.txt": b"A" * 100_000 + b"B" * 1000 + log_text(70_000, 4),
    "tool.exe": pe_image(4096),
}

ENTRIES = [
    ("empty.log", "empty.log"),
    ("camera.log", "camera.log"),
    ("backup\\device.ini", "device.ini"),
    ("gone.log", "gone.log"),  # missing: refused, and the archive goes on
    ("data/noise.bin", "noise.bin"),
    ("PACKED.GZ", "packed.gz"),
    ("runs.txt", "runs.txt"),
    ("bin/tool.exe", "tool.exe"),
]

STAMP = 1622536200  # 2021-06-01 08:30:00 UTC


def masked(archive):
    """The archive with DOS times, extended timestamps and external attributes zeroed."""
    data = bytearray(archive)
    end = len(data) - 22
    if end < 0 or data[end:end + 4] != b"PK\5\6":
        raise ValueError("no end record at the end")
    count, _, at = struct.unpack_from("<HII", data, end + 10)
    for _ in range(count):
        if data[at:at + 4] != b"PK\1\2":
            raise ValueError(f"no central header at {at}")
        name_length, extra_length = struct.unpack_from("<HH", data, at + 28)
        local = struct.unpack_from("<I", data, at + 42)[0]
        data[at + 12:at + 16] = bytes(4)                        # DOS time and date
        data[at + 38:at + 42] = bytes(4)                        # external attributes
        extra = at + 46 + name_length
        data[extra + 5:extra + extra_length] = bytes(extra_length - 5)  # modification time
        if data[local:local + 4] != b"PK\3\4":
            raise ValueError(f"no local header at {local}")
        local_name, local_extra = struct.unpack_from("<HH", data, local + 26)
        data[local + 10:local + 14] = bytes(4)
        extra = local + 30 + local_name
        data[extra + 5:extra + local_extra] = bytes(local_extra - 5)  # three Unix times
        at += 46 + name_length + extra_length
    return bytes(data)


def run(command, folder):
    environment = dict(os.environ, TZ="UTC0", WINEDEBUG="-all")
    arguments = ["out.zip"] + [f"{name}={source}" for name, source in ENTRIES]
    result = subprocess.run(command + arguments, cwd=folder, capture_output=True, env=environment)
    with open(os.path.join(folder, "out.zip"), "rb") as archive:
        return result, archive.read()


def main():
    emulator, windows_tool, linux_tool = sys.argv[1:-2], sys.argv[-2], sys.argv[-1]
    with tempfile.TemporaryDirectory(prefix="zipassemble-windows-") as root:
        folders = {}
        for system in ("windows", "linux"):
            folder = os.path.join(root, system)
            os.mkdir(folder)
            for name, data in SOURCES.items():
                with open(os.path.join(folder, name), "wb") as out:
                    out.write(data)
            os.utime(os.path.join(folder, "camera.log"), (STAMP + 60, STAMP))
            os.chmod(os.path.join(folder, "device.ini"), 0o444)
            folders[system] = folder

        windows, windows_zip = run(emulator + [os.path.abspath(windows_tool)], folders["windows"])
        linux, linux_zip = run([os.path.abspath(linux_tool)], folders["linux"])
        expected = [f"add {name}={source}: 0x{0x200 if source == 'gone.log' else 0:08X}" for name, source in ENTRIES]
        expected.append("close: 0x00000000")
        for system, result in (("windows", windows), ("linux", linux)):
            check(result.returncode == 1, f"{system} exit code {result.returncode} (1: one add failed)")
            check(result.stdout.decode().splitlines() == expected,
                  f"{system} output {result.stdout!r} {result.stderr!r}")

        check(len(windows_zip) == len(linux_zip), f"archive sizes {len(windows_zip)} and {len(linux_zip)}")
        a, b = masked(windows_zip), masked(linux_zip)
        if a != b:
            first = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            check(False, f"masked archives differ from byte {first}")

        archive = os.path.join(folders["windows"], "out.zip")
        present = [(name.replace("\\", "/"), source) for name, source in ENTRIES if source != "gone.log"]
        with zipfile.ZipFile(archive) as z:
            check(z.testzip() is None, "zipfile testzip")
            infos = z.infolist()
            check([i.filename for i in infos] == [name for name, _ in present], f"names {z.namelist()}")
            for info, (_, source) in zip(infos, present):
                check(z.read(info) == SOURCES[source], f"contents of {info.filename}")
                stored = source.endswith(".gz")
                check(info.compress_type == (zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED),
                      f"method of {info.filename}")
                attributes = {"device.ini": 0x81000021, "tool.exe": 0x81C00020}.get(source, 0x81800020)
                check(info.external_attr == attributes, f"attributes of {info.filename}: {info.external_attr:#x}")
            camera = infos[1]
            check(camera.date_time == (2021, 6, 1, 8, 30, 0), f"DOS time of camera.log {camera.date_time}")
            check(camera.extra == struct.pack("<HHBI", 0x5455, 5, 7, STAMP), f"timestamp of camera.log {camera.extra}")

        if shutil.which("unzip"):
            result = subprocess.run(["unzip", "-tq", archive], capture_output=True, text=True)
            check(result.returncode == 0, f"unzip -t: {result.stdout}{result.stderr}")
        else:
            check(False, "unzip is not installed")

    print(f"windows match: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
