#!/usr/bin/env python3
"""The translation files against the sources.

Usage: translations_test.py LUPDATE SOURCE_ROOT

Runs lupdate on ui/, app/, support/, catalogue/, logging/ and files/ into a copy of each translations/*.ts file and checks
that every text lands in the context "Dialog" and that every message of the file is finished:
a text new in the sources comes in unfinished, one gone from them as vanished or obsolete.
Exits non-zero on any finding.
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

lupdate, root = sys.argv[1], sys.argv[2]
problems = []
files = sorted(glob.glob(os.path.join(root, "translations", "*.ts")))
if not files:
    problems.append("no translation files in translations/")
for shipped in files:
    name = os.path.basename(shipped)
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, name)
        shutil.copy(shipped, copy)
        folders = [os.path.join(root, folder) for folder in ("ui", "app", "support", "catalogue", "logging", "files")]
        result = subprocess.run([lupdate, *folders, "-ts", copy, "-locations", "none"],
                                capture_output=True, text=True)
        if result.returncode != 0:
            problems.append(f"{name}: lupdate failed: {result.stderr.strip()}")
            continue
        messages = 0
        for context in ElementTree.parse(copy).getroot().iter("context"):
            context_name = context.findtext("name")
            for message in context.iter("message"):
                messages += 1
                source = message.findtext("source")
                translation = message.find("translation")
                if context_name != "Dialog":
                    problems.append(f"{name}: {source!r} is in context {context_name!r}, not 'Dialog'")
                state = translation.get("type") if translation is not None else "missing"
                if state or not (translation.text or "").strip():
                    problems.append(f"{name}: {source!r} is {state or 'empty'}")
        if messages == 0:
            problems.append(f"{name}: lupdate found no texts")
        print(f"{name}: {messages} messages")

for problem in problems:
    print(f"FAIL: {problem}")
sys.exit(1 if problems else 0)
