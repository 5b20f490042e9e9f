#!/bin/sh
# The corpus check: a machine named cam-line7 with its full name only in /etc/hosts and two
# ordinary accounts, posed in new UTS, mount and network namespaces; the corpus redacted as the
# archive redacts it, every leak and over-redaction counted, and --unredact giving back every line.
# Skips (77) where namespaces cannot be made. Usage: redaction_corpus.sh REDACTION_FILES ZEL_PROGRAM
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tool=$1
program=$2
unshare --uts --mount --net true 2>/dev/null || { echo "no namespaces here: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out" "$work/back"
python3 "$here/redaction_corpus.py" "$work/in" 1.2
printf '127.0.0.1 localhost\n::1 localhost ip6-localhost\n192.168.10.21 cam-line7.plant.acme-optics.example cam-line7\n' >"$work/hosts"
printf 'root:x:0:0:root:/root:/bin/sh\njkowalski:x:1000:1000:Jan Kowalski,,,:/home/jkowalski:/bin/bash\nanna.schmidt:x:1001:1001:Anna Schmidt,,,:/home/anna.schmidt:/bin/bash\n' >"$work/passwd"
printf 'nameserver 127.0.0.53\nsearch plant.acme-optics.example\n' >"$work/resolv.conf"
unshare --uts --mount --net sh -c '
    set -e
    mount --make-rprivate /
    hostname cam-line7
    mount --bind "$1/hosts" /etc/hosts
    mount --bind "$1/passwd" /etc/passwd
    mount --bind "$1/resolv.conf" /etc/resolv.conf
    "$2" "$1/out" "$1"/in/*.txt "$1"/in/*.log' sh "$work" "$tool"
for file in "$work"/out/*.txt "$work"/out/*.log; do
    name=$(basename "$file")
    [ "$name" = mapping.txt ] && continue
    QT_QPA_PLATFORM=offscreen "$program" --unredact "$work/out/mapping.txt" "$file" >"$work/back/$name"
done
status=0
QT_QPA_PLATFORM=offscreen "$program" --unredact "$work/in/truth.json" </dev/null >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || { echo "--unredact took a file that is no mapping: exit $status"; exit 1; }
python3 "$here/redaction_corpus_check.py" "$work/in" "$work/out" "$work/back"
