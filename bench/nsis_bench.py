"""Sizes of an NSIS installer of the same files, beside our package and updater.exe.

Usage: nsis_bench.py GAME_DIR PACKAGE UPDATER_NOPACKAGE_EXE WORK_DIR OUT.md

Builds one installer per compressor (per file, as our package compresses
each entry on its own) and one without files, whose size is the stub the
installer costs before any data.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure import folder_bytes, mib, timed  # noqa: E402

MB = 1e6
COMPRESSORS = ["zlib", "lzma"]


def script(compressor, out_exe, game):
    files = f'  File "{game}/*"\n' if game else ""
    return (f"Unicode true\nSetCompressor {compressor}\nOutFile \"{out_exe}\"\n"
            "Name \"Game\"\nInstallDir \"$LOCALAPPDATA\\Game\"\nRequestExecutionLevel user\n"
            f"Section\n  SetOutPath \"$INSTDIR\"\n{files}SectionEnd\n")


def build(work, compressor, game):
    tag = f"{compressor}_{'files' if game else 'empty'}"
    nsi = os.path.join(work, f"{tag}.nsi")
    exe = os.path.join(work, f"{tag}.exe")
    with open(nsi, "w") as f:
        f.write(script(compressor, exe, game))
    seconds, rss = timed(["makensis", "-V2", nsi], stdout=subprocess.DEVNULL)
    return os.path.getsize(exe), seconds, rss


def main(game, package, updater, work, out_path):
    if not shutil.which("makensis"):
        with open(out_path, "w") as f:
            f.write("## NSIS\n\nmakensis is not installed (Debian package `nsis`): no figures.\n")
        return
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    total = folder_bytes(game)
    package_bytes = os.path.getsize(package)
    updater_bytes = os.path.getsize(updater)
    rows = [f"| our updater.exe + package (default level) | {(updater_bytes + package_bytes) / MB:.1f} | "
            f"{100 * (updater_bytes + package_bytes) / total:.1f} | {updater_bytes / 1024:.0f} KiB | | |"]
    for compressor in COMPRESSORS:
        print(f"nsis_bench: makensis {compressor}", file=sys.stderr, flush=True)
        stub, _, _ = build(work, compressor, None)
        size, seconds, rss = build(work, compressor, game)
        rows.append(f"| NSIS {compressor} | {size / MB:.1f} | {100 * size / total:.1f} | "
                    f"{stub / 1024:.0f} KiB | {seconds:.0f} | {mib(rss)} |")
    shutil.rmtree(work)
    lines = [
        "## Beside an NSIS installer of the same files\n",
        f"{total / MB:.0f} MB of files. The stub is what each costs without any data: "
        "for NSIS an installer with no files, for us updater.exe without its package.\n",
        "| installer | MB | % of the files | stub | build s | build peak RSS |",
        "|---|---|---|---|---|---|",
        *rows,
    ]
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")


main(*sys.argv[1:])
