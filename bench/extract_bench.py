"""updpack extract-all of a game-sized package against cp -r of the same files.

Usage: extract_bench.py UPDPACK WORK_DIR SIZE_MB OUT.md

WORK_DIR/game is the generated folder (kept between runs of the same size),
WORK_DIR/game.fa2 its package at the default level.  Both copies are written to
the same disk with the sources in the page cache, so the two commands differ
only in what they do, not in what the disk had cached.  When the page cache
can be dropped (as root), both also run once more from a cold cache to the
disk, as a player's machine runs them: the sources read from the disk and the
output synced to it.
"""
import os
import shutil
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure import folder_bytes, mib, peak_private, timed  # noqa: E402

MB = 1e6
RUNS = 3


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


def median_run(command, target):
    """Median wall time and largest peak RSS of RUNS runs, each into an emptied
    target (when there is one); the last run's output is left in target."""
    walls, peaks = [], []
    for _ in range(RUNS):
        if target:
            fresh(target)
        wall, rss = timed(command, stdout=subprocess.DEVNULL)
        walls.append(wall)
        peaks.append(rss)
    return statistics.median(walls), max(peaks)


def private_peak(command, target):
    """Sampled peak of private memory of one more run into an emptied target."""
    if target:
        fresh(target)
    return peak_private(command, stdout=subprocess.DEVNULL)


def with_sync(command):
    return ["sh", "-c", '"$@" && sync', "sh", *command]


DROP_CACHES = "/proc/sys/vm/drop_caches"


def can_drop_caches():
    return os.access(DROP_CACHES, os.W_OK)


def median_cold_run(command, target):
    """Median wall time of RUNS runs of command && sync, each into an emptied
    target with the page cache dropped first, so the sources come from disk."""
    walls = []
    for _ in range(RUNS):
        fresh(target)
        with open(DROP_CACHES, "w") as f:
            f.write("3\n")
        wall, _ = timed(with_sync(command), stdout=subprocess.DEVNULL)
        walls.append(wall)
    return statistics.median(walls)


def main(updpack, work, size_mb, out_path):
    os.makedirs(work, exist_ok=True)
    game = game_folder(work, size_mb)
    names = sorted(os.listdir(game))
    total = folder_bytes(game)
    package = os.path.join(work, "game.fa2")
    if os.path.exists(package):
        os.remove(package)
    subprocess.run(["sync"], check=True)

    # At the default level, as a publisher packs.
    log(f"packing {len(names)} files, {total / MB:.0f} MB, at the default level")
    pack_time, pack_rss = timed([updpack, "create", package, "-C", game, *names],
                                stdout=subprocess.DEVNULL)
    package_bytes = os.path.getsize(package)

    copy_dir = os.path.join(work, "copy")
    out_dir = os.path.join(work, "extracted")
    copy = ["cp", "-r", game, copy_dir]
    extract = [updpack, "extract-all", package, "-C", out_dir]
    verify = [updpack, "verify", package]
    rows = []
    for label, command, target in [("cp -r", copy, copy_dir),
                                   ("updpack extract-all", extract, out_dir)]:
        log(label)
        private = private_peak(command, target)
        rows.append((label, *median_run(command, target), private))
        rows.append((label + " && sync", *median_run(with_sync(command), target), private))
    same = subprocess.run(["diff", "-rq", game, out_dir]).returncode == 0
    cold = None
    if can_drop_caches():
        log("cold page cache")
        cold = [(label, median_cold_run(command, target))
                for label, command, target in [("cp -r", copy, copy_dir),
                                               ("updpack extract-all", extract, out_dir)]]
    else:
        log(f"cannot write {DROP_CACHES} (not root): no cold-cache runs")
    shutil.rmtree(copy_dir)
    shutil.rmtree(out_dir)
    # What restoring alone costs: no files written.
    log("updpack verify")
    verify_wall, verify_rss = median_run(verify, None)
    verify_private = private_peak(verify, None)

    largest = max(os.path.getsize(os.path.join(game, n)) for n in names)
    copy_wall, copy_sync_wall = rows[0][1], rows[1][1]
    lines = [
        "## Extracting a game-sized package (warm page cache, same disk)\n",
        f"{len(names)} files, {total / MB:.0f} MB (largest {largest / MB:.0f} MB): "
        f"cp932 texts, 24-bit BMPs, 16-bit WAVs, executables and libraries, "
        f"archives over 100 MB. Package at the default level: {package_bytes / MB:.0f} MB "
        f"({100 * package_bytes / total:.1f}% of the files), built in {pack_time:.1f} s "
        f"({total / MB / pack_time:.0f} MB/s, peak {mib(pack_rss)}). "
        f"{os.cpu_count()} cores.\n",
        f"Each command run {RUNS} times into an emptied folder after a `sync`; median wall "
        "time, largest peak RSS. `&& sync` adds the time until the data is on disk. "
        "Peak RSS counts the pages of the package that updpack maps (they are the page "
        "cache's, shared, and dropped under pressure); private memory is heap and stacks "
        "alone, sampled from /proc in one more run.\n",
        "| command | wall s | MB/s of output | ratio to cp -r | ratio to cp -r && sync "
        "| peak RSS | private memory |",
        "|---|---|---|---|---|---|---|",
        *[f"| {label} | {wall:.2f} | {total / MB / wall:.0f} | {wall / copy_wall:.2f}x | "
          f"{wall / copy_sync_wall:.2f}x | {mib(rss)} | {mib(private)} |"
          for label, wall, rss, private in rows],
        f"| updpack verify (restores, writes nothing) | {verify_wall:.2f} | "
        f"{total / MB / verify_wall:.0f} | {verify_wall / copy_wall:.2f}x | "
        f"{verify_wall / copy_sync_wall:.2f}x | {mib(verify_rss)} | {mib(verify_private)} |",
        "",
        "Extracted files identical to the originals: " + ("yes" if same else "**NO**") + ".",
    ]
    if cold:
        cold_copy = cold[0][1]
        lines += [
            "",
            "### From a cold page cache to the disk\n",
            f"Each `command && sync` run {RUNS} times into an emptied folder with the page "
            "cache dropped first (`echo 3 > /proc/sys/vm/drop_caches`), so cp reads the "
            "files and updpack the package from the disk; median wall time.\n",
            "| command | wall s | MB/s of output | ratio to cp -r |",
            "|---|---|---|---|",
            *[f"| {label} && sync | {wall:.2f} | {total / MB / wall:.0f} | {wall / cold_copy:.2f}x |"
              for label, wall in cold],
        ]
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")
    if not same:
        sys.exit("extract_bench: the extracted files differ from the originals")


main(*sys.argv[1:])
