"""Builds a game-like folder of about SIZE_MB from this machine's own files.

Usage: make_game_tree.py DEST SIZE_MB

The mix follows what a game ships: scenario text in cp932, 24-bit BMP
pictures, 16-bit WAV sounds, executables and libraries, and a few archives
over 100 MB.  Every byte comes from a real file (nothing is random), so the
data compresses the way shipped data does.  Entry names are the file names
alone, so the folder is flat and every name is unique regardless of case.
"""
import concurrent.futures
import glob
import gzip
import os
import shutil
import subprocess
import sys

MB = 1 << 20
BIG_FILE_MB = 120          # each archive; "a few files over 100 MB"
SHARES = {"text": 0.08, "image": 0.18, "sound": 0.18, "program": 0.16}  # the rest: archives


def log(text):
    print(f"make_game_tree: {text}", file=sys.stderr, flush=True)


def read_text_source(path):
    opener = gzip.open if path.endswith(".gz") else open
    try:
        with opener(path, "rb") as f:
            data = f.read()
    except OSError:
        return b""
    return data if b"\0" not in data[:4096] else b""


def text_sources():
    # Japanese manual pages and the vim tutorial first, so the scenarios hold
    # real double-byte text; then licences and Debian's documentation.
    patterns = ["/usr/share/man/ja/**/*.gz", "/usr/share/vim/vim*/tutor/*.ja.utf-8",
                "/usr/share/common-licenses/*", "/usr/share/doc/**/copyright",
                "/usr/share/doc/**/changelog*.gz", "/usr/share/doc/**/*.txt",
                "/usr/share/doc/**/README*"]
    seen = set()
    for pattern in patterns:
        for path in sorted(glob.glob(pattern, recursive=True)):
            if os.path.isfile(path) and path not in seen:
                seen.add(path)
                yield path


def to_cp932(data):
    result = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", "CP932"], input=data,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return result.stdout


def make_text(dest, budget):
    """Scenario files of 256 KB to 2 MB, cp932, CRLF line ends."""
    written, index, chunk = 0, 0, bytearray()
    sources = list(text_sources())
    target = 256 * 1024
    pass_number = 0
    while written < budget:
        for path in sources:
            chunk += read_text_source(path)
            if len(chunk) < target:
                continue
            data = to_cp932(bytes(chunk)).replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            chunk.clear()
            index += 1
            with open(os.path.join(dest, f"SCN{index:04d}.TXT"), "wb") as f:
                f.write(data)
            written += len(data)
            target = (256 << (index % 4)) * 1024
            if written >= budget:
                break
        pass_number += 1
        if pass_number > 50:
            break
    return index


def png_sources():
    paths = [p for p in glob.glob("/usr/share/**/*.png", recursive=True)
             if os.path.isfile(p) and os.path.getsize(p) > 4096]
    return sorted(paths, key=os.path.getsize, reverse=True)


def convert_png(job):
    source, target, geometry = job
    subprocess.run(["convert", source, "-background", "white", "-flatten",
                    "-resize", f"{geometry}!", "-type", "TrueColor", f"BMP3:{target}"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return os.path.getsize(target)


def make_images(dest, budget):
    """Event pictures at 800x600 and sprites at 256x256, 24-bit BMP."""
    sources = png_sources()
    if not sources:
        sys.exit("make_game_tree: no PNG files under /usr/share to make pictures from")
    jobs, planned = [], 0
    index = 0
    while planned < budget:
        source = sources[index % len(sources)]
        index += 1
        big = index % 3 != 0
        geometry = "800x600" if big else "256x256"
        name = f"CG{index:04d}.BMP" if big else f"CHR{index:04d}.BMP"
        jobs.append((source, os.path.join(dest, name), geometry))
        planned += 800 * 600 * 3 if big else 256 * 256 * 3
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        list(pool.map(convert_png, jobs))
    return len(jobs)


def program_sources():
    paths = glob.glob("/usr/bin/*") + glob.glob("/usr/lib/x86_64-linux-gnu/*.so*")
    return sorted(p for p in paths if os.path.isfile(p) and not os.path.islink(p)
                  and os.path.getsize(p) > 16 * 1024)


def make_sounds(dest, budget):
    """Music and voices: real files read as 8-bit samples, low-passed and
    resampled by sox into 44.1 kHz 16-bit stereo WAVs of 2 to 8 MB."""
    if not shutil.which("sox"):
        sys.exit("make_game_tree: sox is missing, so the folder would have no sounds "
                 "(apt-get install sox)")
    sources = sorted(program_sources(), key=os.path.getsize, reverse=True)
    written, index = 0, 0
    jobs = []
    while written < budget and index < len(sources):
        seconds = 12 + 12 * (index % 4)                    # 2 to 8 MB of 44.1 kHz stereo
        source = sources[index]
        index += 1
        name = f"BGM{index:03d}.WAV" if index % 2 else f"VOICE{index:03d}.WAV"
        jobs.append((source, os.path.join(dest, name), seconds))
        written += seconds * 44100 * 4
    def run(job):
        source, target, seconds = job
        subprocess.run(["sox", "-t", "raw", "-r", "8000", "-e", "unsigned", "-b", "8", "-c", "1",
                        source, "-r", "44100", "-b", "16", "-c", "2", target,
                        "trim", "0", str(seconds), "lowpass", "3000", "gain", "-n", "-6"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        list(pool.map(run, jobs))
    return len(jobs)


def make_programs(dest, budget):
    written, count, names = 0, 0, set()
    for path in program_sources():
        name = os.path.basename(path)
        if name.lower() in names or not name.isascii():
            continue
        names.add(name.lower())
        shutil.copyfile(path, os.path.join(dest, name))
        written += os.path.getsize(path)
        count += 1
        if written >= budget:
            break
    return count


def make_archives(dest, budget):
    """Archives made by concatenating the pictures, sounds, texts and
    libraries already in the folder, as a game's data packs do."""
    groups = [("GRAPHIC", ("*.BMP", "*.TXT")), ("SOUND", ("*.WAV",)), ("SYSTEM", ("*.so*",))]
    count = max(1, round(budget / (BIG_FILE_MB * MB)))
    size = max(budget // count, 101 * MB)
    made = 0
    for number in range(count):
        label, patterns = groups[number % len(groups)]
        members = sorted(p for pattern in patterns for p in glob.glob(os.path.join(dest, pattern)))
        if not members:
            members = sorted(glob.glob(os.path.join(dest, "*")))
        target = os.path.join(dest, f"DATA{number + 1}_{label}.PAK")
        left = size
        with open(target, "wb") as out:
            while left > 0:
                for member in members:
                    with open(member, "rb") as f:
                        data = f.read(left)
                    out.write(data)
                    left -= len(data)
                    if left <= 0:
                        break
        made += 1
    return made


def main(dest, size_mb):
    total = int(size_mb) * MB
    os.makedirs(dest, exist_ok=True)
    log(f"{make_text(dest, int(total * SHARES['text']))} texts")
    log(f"{make_images(dest, int(total * SHARES['image']))} pictures")
    log(f"{make_sounds(dest, int(total * SHARES['sound']))} sounds")
    log(f"{make_programs(dest, int(total * SHARES['program']))} programs")
    used = sum(os.path.getsize(os.path.join(dest, n)) for n in os.listdir(dest))
    log(f"{make_archives(dest, max(total - used, 101 * MB))} archives")


main(sys.argv[1], sys.argv[2])
