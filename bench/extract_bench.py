"""updpack extract-all of a game-sized package against cp -r of the same files.

Usage: extract_bench.py UPDPACK WORK_DIR SIZE_MB OUT.md

WORK_DIR/game is the generated folder (kept between runs of the same size),
WORK_DIR/game.fa2 its package at the fast level.  Both copies are written to
the same disk with the sources in the page cache, so the two commands differ
only in what they do, not in what the disk had cached.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure import folder_bytes, mib, timed  # noqa: E402

MB = 1e6


def log(text):
    print(f"extract_bench: {text}", file=sys.stderr, flush=True)


def game_folder(work, size_mb):
    game = os.path.join(work, "game")
    stamp = os.path.join(work, "game.size")
    if os.path.isdir(game) and os.path.exists(stamp) and open(stamp).read() == size_mb:
        return game
    shutil.rmtree(game, ignore_errors=True)
    log(f"generating about {size_mb} MiB in {game}")
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "make_game_tree.py"),
                    game, size_mb], check=True)
    with open(stamp, "w") as f:
        f.write(size_mb)
    return game


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    subprocess.run(["sync"], check=True)
    return path


def main(updpack, work, size_mb, out_path):
    os.makedirs(work, exist_ok=True)
    game = game_folder(work, size_mb)
    names = sorted(os.listdir(game))
    total = folder_bytes(game)
    package = os.path.join(work, "game.fa2")
    if os.path.exists(package):
        os.remove(package)
    subprocess.run(["sync"], check=True)

    log(f"packing {len(names)} files, {total / MB:.0f} MB, at -1")
    pack_time, pack_rss = timed([updpack, "create", package, "-C", game, "-1", *names],
                                stdout=subprocess.DEVNULL)
    package_bytes = os.path.getsize(package)

    log("cp -r")
    copy = fresh(os.path.join(work, "copy"))
    copy_time, copy_rss = timed(["cp", "-r", game, copy])
    shutil.rmtree(copy)

    log("updpack extract-all")
    extracted = fresh(os.path.join(work, "extracted"))
    extract_time, extract_rss = timed([updpack, "extract-all", package, "-C", extracted],
                                      stdout=subprocess.DEVNULL)
    same = subprocess.run(["diff", "-rq", game, extracted]).returncode == 0
    shutil.rmtree(extracted)

    largest = max(os.path.getsize(os.path.join(game, n)) for n in names)
    lines = [
        "## Extracting a game-sized package (warm page cache, same disk)\n",
        f"{len(names)} files, {total / MB:.0f} MB (largest {largest / MB:.0f} MB): "
        f"cp932 texts, 24-bit BMPs, 16-bit WAVs, executables and libraries, "
        f"archives over 100 MB. Package at `-1`: {package_bytes / MB:.0f} MB "
        f"({100 * package_bytes / total:.1f}% of the files), built in {pack_time:.1f} s "
        f"({total / MB / pack_time:.0f} MB/s, peak {mib(pack_rss)}).\n",
        "| command | wall s | MB/s of output | ratio to cp -r | peak RSS |",
        "|---|---|---|---|---|",
        f"| cp -r | {copy_time:.2f} | {total / MB / copy_time:.0f} | 1.00x | {mib(copy_rss)} |",
        f"| updpack extract-all | {extract_time:.2f} | {total / MB / extract_time:.0f} | "
        f"{extract_time / copy_time:.2f}x | {mib(extract_rss)} |",
        "",
        "Extracted files identical to the originals: " + ("yes" if same else "**NO**") + ".",
    ]
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")
    if not same:
        sys.exit("extract_bench: the extracted files differ from the originals")


main(*sys.argv[1:])
