# Helpers of the Wine scenarios (sourced). Paths are Windows paths such as
# 'C:\Game\readme.txt'; texts are UTF-8 here and cp932 on the Windows side.

# The fake installed game every scenario starts from.
GAME_COMPANY=TestSoft
GAME_DIR=SampleGame
GAME_KEY="HKCU\\Software\\$GAME_COMPANY\\$GAME_DIR"

# An updater.exe carrying the package made from FOLDER (its text files
# converted to cp932 first). NAME.zeros, holding a byte count, stands for a
# file NAME of that many zero bytes, too large to keep in the tree.
make_updater() {
  local updpack=$1 updater=$2 folder=$3 out=$4
  local stage=$out.stage
  rm -rf "$stage"
  mkdir -p "$stage"
  local files=() f name
  while IFS= read -r -d '' f; do
    name=${f#"$folder"}
    name=${name#/}
    mkdir -p "$stage/$(dirname "$name")"
    case ${name,,} in
      *.zeros) name=${name%.*}; head -c "$(cat "$f")" /dev/zero >"$stage/$name" ;;
      *.ini | *.txt) iconv -f utf-8 -t cp932 "$f" >"$stage/$name" ;;
      *) cp "$f" "$stage/$name" ;;
    esac
    files+=("$name")
  done < <(find "$folder" -type f -print0 | sort -z)
  "$updpack" create "$out.fa2" -C "$stage" "${files[@]}" >/dev/null
  "$updpack" stamp "$updater" "$out.fa2" -o "$out" >/dev/null
  rm -rf "$stage"
}

# The Unix path of a Windows path in the current prefix.
unix_path() {
  local path=$1
  local drive=${path:0:1}
  local rest=${path:2}
  echo "$WINEPREFIX/dosdevices/${drive,,}:${rest//\\//}"
}

# Writes TEXT (UTF-8, stored as cp932) to the Windows path; folders are made.
put() {
  local target
  target=$(unix_path "$1")
  mkdir -p "$(dirname "$target")"
  printf '%s' "$2" | iconv -f utf-8 -t cp932 >"$target"
}

# A file's last-write time, as touch -d reads it.
stamp() {
  touch -d "$2" "$(unix_path "$1")"
}

# The game installed at INSTDIR (default C:\Game) with install mode MODE
# (default 1): its registry values and its SETUP.INI (SETUP_INI, a file
# under tests/wine/game, default SETUP.INI).
install_game() {
  local mode=${1:-1} instdir=${2:-'C:\Game'} setup_ini=${3:-SETUP.INI}
  mkdir -p "$(unix_path "$instdir")" "$(unix_path 'C:\GameData')"
  iconv -f utf-8 -t cp932 "$WINE_TESTS/game/$setup_ini" >"$(unix_path "$instdir")/SETUP.INI"
  wine_reg_add "$GAME_KEY" InstPath REG_SZ "$instdir" &&
    wine_reg_add "$GAME_KEY" DataPath REG_SZ 'C:\GameData' &&
    wine_reg_add "$GAME_KEY" InstMode REG_DWORD "$mode"
}

# The package NAME (a folder of tests/wine/packages) as C:\test\updater.exe.
use_package() {
  [ -f "$WINE_SESSION/packages/$1.exe" ] || { echo "no updater made for package $1"; return 1; }
  cp "$WINE_SESSION/packages/$1.exe" "$(unix_path 'C:\test\updater.exe')"
}

# The demo game of examples/game installed at C:\Games\DemoGame, its files
# dated long ago so that what the update writes stands out.
EXAMPLE_GAME='C:\Games\DemoGame'
install_example_game() {
  local game
  game=$(unix_path "$EXAMPLE_GAME")
  mkdir -p "$game"
  cp -r "$WINE_TESTS/../../examples/game/." "$game/"
  find "$game" -type f -exec touch -d '2020-04-01 10:00' {} +
  local key='HKCU\Software\DemoSoft\DemoGame'
  wine_reg_add "$key" InstPath REG_SZ "$EXAMPLE_GAME" &&
    wine_reg_add "$key" DataPath REG_SZ "$EXAMPLE_GAME\\savedata" &&
    wine_reg_add "$key" InstMode REG_DWORD 0
}

# The game's file PATH now holds the file of examples/update named NAME.
expect_example_file() {
  if ! cmp -s "$WINE_TESTS/../../examples/update/$2" "$(unix_path "$EXAMPLE_GAME\\$1")"; then
    fail "$EXAMPLE_GAME\\$1 is not the update's $2"
  fi
}

# A CD-ROM drive LETTER holding FOLDER (a folder under tests/wine/discs,
# copied), or an empty drive when FOLDER is not given.
cdrom() {
  local letter=$1 disc=$WINEPREFIX/disc-$1
  mkdir -p "$disc"
  [ -z "${2:-}" ] || cp -r "$WINE_TESTS/discs/$2/." "$disc/"
  wine_map_drive "$letter" "$disc" cdrom
  RESTART_WINE=1
}

# A drive LETTER with only SIZE (tmpfs size, e.g. 2m) of space; needs root
# and mount rights, else the scenario is skipped.
small_drive() {
  local letter=$1 size=$2 folder=$WINEPREFIX/small-$1
  mkdir -p "$folder"
  if ! mount -t tmpfs -o "size=$size" tmpfs "$folder" 2>/dev/null; then
    echo "SKIP: cannot mount a tmpfs (needs root and mount rights)"
    exit 77
  fi
  MOUNTS+=("$folder")
  wine_map_drive "$letter" "$folder"
}

fail() {
  echo "FAIL: $*"
  CHECK_FAILED=1
}

# The file holds exactly TEXT.
expect_file() {
  local target actual
  target=$(unix_path "$1")
  if [ ! -f "$target" ]; then
    fail "$1 is missing"
    return
  fi
  actual=$(iconv -f cp932 -t utf-8 "$target")
  [ "$actual" = "$2" ] || fail "$1 holds \"$actual\", expected \"$2\""
}

expect_missing() {
  [ ! -e "$(unix_path "$1")" ] || fail "$1 exists, expected it missing"
}

# The file's last-write time is (or is not, with "not") the one given.
expect_time() {
  local want=$2 actual
  actual=$(date -r "$(unix_path "$1")" '+%Y-%m-%d %H:%M:%S')
  [ "$actual" = "$(date -d "$want" '+%Y-%m-%d %H:%M:%S')" ] ||
    fail "$1 was last written $actual, expected $want"
}

expect_written_now() {
  local age
  age=$(($(date +%s) - $(date -r "$(unix_path "$1")" +%s)))
  [ "$age" -lt 300 ] || fail "$1 was not written by this run (last written ${age}s ago)"
}

expect_no_update_ini() {
  local left
  left=$(find "$(unix_path 'C:\users')" -iname UPDATE.INI 2>/dev/null | head -1)
  [ -z "$left" ] || fail "the temporary UPDATE.INI is still there: $left"
}

# Damages the directory offset in the header of the package NAME inside
# C:\test\updater.exe (made by use_package NAME), so it points past the end.
damage_package() {
  local exe
  exe=$(unix_path 'C:\test\updater.exe')
  HEADER_FILE=$WINE_SESSION/packages/$1.exe.fa2 perl -0777 -i -pe '
    open(my $f, "<:raw", $ENV{HEADER_FILE}) or die "no package $ENV{HEADER_FILE}\n";
    read($f, my $header, 16);
    my $at = index($_, $header);
    die "no package header in the exe\n" if $at < 0;
    substr($_, $at + 8, 4) = pack("V", 0xFFFFFFF0);
  ' "$exe"
}

# Marks the file hidden. Wine keeps the mark in an extended attribute,
# which not every file system holds (tmpfs before Linux 6.6, NFS).
make_hidden() {
  wine attrib +h "$1" >/dev/null
  case $(wine attrib "$1") in
    *H*) ;;
    *) echo "SKIP: this file system keeps no hidden mark for Wine"; exit 77 ;;
  esac
}

# The file is writable for its owner (Wine's read-only attribute is the
# missing write bit; root passes every -w test, so the mode is read).
expect_writable() {
  local mode
  mode=$(stat -c %A "$(unix_path "$1")")
  [ "${mode:2:1}" = w ] || fail "$1 is read-only ($mode)"
}
