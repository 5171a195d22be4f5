#!/usr/bin/env bash
# updpack from the outside: every command on a temporary folder, good and
# bad inputs, exit statuses and messages.
set -uo pipefail
updpack=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# expect STATUS PATTERN COMMAND...: the status, and PATTERN in its output.
expect() {
  local status=$1 pattern=$2; shift 2
  "$@" >out.txt 2>&1
  local got=$?
  [ "$got" -eq "$status" ] || fail "$* exited $got, not $status: $(cat out.txt)"
  [ -z "$pattern" ] || grep -q -- "$pattern" out.txt || fail "$*: no '$pattern' in: $(cat out.txt)"
}

mkdir in
for i in $(seq 1 200); do echo "line $i of a text that compresses well"; done >in/README.TXT
head -c 5000 /dev/urandom >in/noise.bin
printf 'セーブ' >in/セーブ.DAT
touch -d '2021-03-04 05:06:07 UTC' in/README.TXT

expect 0 "3 entries" "$updpack" create pkg.fa2 -C in --scramble=セーブ.DAT README.TXT noise.bin セーブ.DAT
expect 0 "README.TXT .* yes *no *2021-03-04T05:06:07Z" "$updpack" list pkg.fa2
expect 0 "noise.bin .* no *no" "$updpack" list pkg.fa2
expect 0 "セーブ.DAT .* yes" "$updpack" list pkg.fa2
expect 0 "all 3 entries sound" "$updpack" verify pkg.fa2
"$updpack" extract pkg.fa2 readme.txt | cmp -s - in/README.TXT || fail "extract to standard output"
expect 0 "" "$updpack" extract pkg.fa2 セーブ.dat -o one.dat
cmp -s one.dat in/セーブ.DAT || fail "extract -o"
expect 0 "" "$updpack" extract-all pkg.fa2 -C out/sub
diff -r in out/sub >/dev/null || fail "extract-all differs"
[ "$(stat -c %Y out/sub/README.TXT)" = "$(stat -c %Y in/README.TXT)" ] || fail "time stamp lost"
expect 0 "" "$updpack" create plain.fa2 -1 --plain-directory --scramble -C in README.TXT
expect 0 "README.TXT .* yes *yes" "$updpack" list plain.fa2

# What standard output can't take is a failure.
for command in "list pkg.fa2" "verify pkg.fa2" "extract pkg.fa2 noise.bin"; do
  "$updpack" $command >/dev/full 2>out.txt && fail "$command to a full disk succeeded"
  grep -q "cannot write to standard output" out.txt || fail "$command to a full disk: $(cat out.txt)"
done

# Damaged packages say what is wrong.
head -c 10 pkg.fa2 >short.fa2
expect 1 "shorter than the 16-byte package header" "$updpack" verify short.fa2
cp plain.fa2 count.fa2 && printf '\x09' | dd of=count.fa2 bs=1 seek=12 conv=notrunc 2>/dev/null
expect 1 "entry count needs a larger directory" "$updpack" list count.fa2
cp plain.fa2 stream.fa2 && printf '\xff\xff\xff\xff\xff\xff\xff\xff' | dd of=stream.fa2 bs=1 seek=16 conv=notrunc 2>/dev/null
expect 1 "entry README.TXT: its stored data is damaged" "$updpack" verify stream.fa2
expect 1 "missing.fa2: no such file" "$updpack" verify missing.fa2
cp pkg.fa2 magic.fa2 && printf 'X' | dd of=magic.fa2 bs=1 seek=0 conv=notrunc 2>/dev/null
expect 1 "magic.fa2: not an update package (no FA2 header)" "$updpack" verify magic.fa2
expect 0 "README.TXT" "$updpack" list magic.fa2
expect 1 "in/README.TXT: not an update package (no FA2 header)" "$updpack" list in/README.TXT

# Bad commands and arguments.
expect 2 "unknown command" "$updpack" frobnicate
expect 2 "usage" "$updpack"
expect 0 "usage: updpack extract PKG NAME" "$updpack" extract --help
expect 2 "unknown option -x" "$updpack" list -x pkg.fa2
expect 2 "no files to pack" "$updpack" create x.fa2
expect 1 "no such file" "$updpack" create x.fa2 -C in NOPE
expect 1 "a second entry named README.TXT$" "$updpack" create x.fa2 in/README.TXT in/README.TXT
cp in/README.TXT in/readme.txt
expect 1 "a second entry named readme.txt (names are compared without regard to case)" "$updpack" create x.fa2 -C in README.TXT readme.txt
printf 'full' >in/ＡＢ.TXT && printf 'width' >in/ａｂ.TXT
expect 1 "a second entry named ａｂ.TXT" "$updpack" create x.fa2 -C in ＡＢ.TXT ａｂ.TXT
rm in/ＡＢ.TXT in/ａｂ.TXT
expect 1 "no entry named NOPE" "$updpack" extract pkg.fa2 NOPE
expect 2 "the folder (-C DIR) is missing" "$updpack" extract-all pkg.fa2
[ ! -e x.fa2 ] || fail "a refused create left its output"

# An output that is no file is left as it is; a long name is written as
# any other.
mkdir -p folder.fa2 taken/README.TXT && mkfifo pipe.fa2
expect 1 "folder.fa2: not a file" "$updpack" create folder.fa2 -C in README.TXT
expect 1 "pipe.fa2: not a file" "$updpack" extract pkg.fa2 README.TXT -o pipe.fa2
expect 1 "taken/README.TXT: not a file" "$updpack" extract-all pkg.fa2 -C taken
[ -d folder.fa2 ] && [ -p pipe.fa2 ] && [ -d taken/README.TXT ] || fail "an output replaced a folder or a pipe"
long=$(printf 'L%.0s' $(seq 1 250))
cp in/README.TXT "in/$long"
expect 0 "" "$updpack" create "$long.fa2" -C in "$long"
expect 0 "" "$updpack" extract-all "$long.fa2" -C long
cmp -s "long/$long" in/README.TXT || fail "an entry with a long name"
find . -name '*.updpack-tmp' | grep -q . && fail "a temporary file was left"

# A file of the user's is never taken for an output's temporary file.
echo mine >out.fa2.updpack-tmp
expect 0 "" "$updpack" create out.fa2 -C in README.TXT
[ "$(cat out.fa2.updpack-tmp)" = mine ] || fail "a file named like a temporary file was taken"
expect 0 "README.TXT" "$updpack" list out.fa2

# Started through PATH, build looks for the updater beside the tool, not in
# the current folder.
mkdir -p bin upd
cp "$updpack" bin/updpack
printf '[SETUP]\r\nCompanyName=M\r\nGameTitle=G\r\nGameClass=C\r\nGameDir=g\r\n[UPDATE]\r\nUpdateFile00=a.txt\r\n' >upd/UPDATE.INI
echo a >upd/a.txt
PATH="$work/bin:$PATH" expect 1 "$work/bin/updater.exe: no such file" updpack build upd -o U.EXE

[ "$failures" -eq 0 ] && echo "all updpack checks passed"
exit "$failures"
