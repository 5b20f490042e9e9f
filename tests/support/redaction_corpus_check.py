#!/usr/bin/env python3
"""Counts, by kind, the originals that survive in the redacted corpus (leaks) and the things that
had to stay but did not (over-redactions), and checks that the restored files are the originals,
letter case aside. Usage: redaction_corpus_check.py ORIGINALS REDACTED RESTORED"""
import json
import os
import re
import sys

originals, redacted, restored = sys.argv[1:4]
truth = json.load(open(os.path.join(originals, "truth.json")))
names = [n for n in sorted(os.listdir(originals)) if n != "truth.json"]
leaks, kept_wrong, total = {}, {}, {}
failed = False


def count(text, what, fold):
    # A name counts where no letter or digit stands beside it, as the redaction matches it.
    pattern = r"(?<![A-Za-z0-9])" + re.escape(what) + r"(?![A-Za-z0-9])"
    return len(re.findall(pattern, text, re.IGNORECASE if fold else 0))


for name in names:
    before = open(os.path.join(originals, name), encoding="utf-8").read()
    after = open(os.path.join(redacted, name), encoding="utf-8").read()
    back = open(os.path.join(restored, name), encoding="utf-8").read()
    for kind, items in list(truth["leak"].items()) + list(truth["forms"].items()):
        for item in items:
            fold = kind not in ("IPv4 address",)
            total[kind] = total.get(kind, 0) + count(before, item, True)
            leaks[kind] = leaks.get(kind, 0) + count(after, item, fold)
    for item in truth["keep"]:
        lost = before.count(item) - after.count(item)
        if lost > 0:
            kept_wrong[item] = kept_wrong.get(item, 0) + lost
    if back.lower() != before.lower():
        failed = True
        for a, b in zip(before.splitlines(), back.splitlines()):
            if a.lower() != b.lower():
                print("round trip of %s differs:\n  %s\n  %s" % (name, a, b))
                break

for kind in sorted(total):
    print("%-14s originals %6d  leaked %d" % (kind, total[kind], leaks[kind]))
for item, lost in sorted(kept_wrong.items()):
    print("over-redacted %r: %d" % (item, lost))
print("leaks %d, over-redactions %d, round trip %s" % (sum(leaks.values()), sum(kept_wrong.values()),
                                                        "differs" if failed else "gives back every line"))
sys.exit(1 if failed or sum(leaks.values()) or kept_wrong else 0)
