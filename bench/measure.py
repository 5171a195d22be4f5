"""Runs a command under /usr/bin/time -v and returns its wall time and peak memory."""
import os
import subprocess
import sys
import tempfile
import time


def timed(command, **kwargs):
    """Returns (wall seconds, peak resident KiB). Fails loudly when the command fails."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        result = subprocess.run(["/usr/bin/time", "-v", "-o", report.name, *command], **kwargs)
        if result.returncode != 0:
            sys.exit(f"failed ({result.returncode}): {' '.join(command)}")
        fields = dict(line.strip().rsplit(": ", 1) for line in report if ": " in line)
    return (wall_seconds(fields["Elapsed (wall clock) time (h:mm:ss or m:ss)"]),
            int(fields["Maximum resident set size (kbytes)"]))


def peak_private(command, **kwargs):
    """Peak anonymous memory (heap, stacks) of one run in KiB, sampled from
    /proc every millisecond or so. Peak RSS also counts the pages of files the
    command maps, which stay in the page cache whether mapped or not."""
    process = subprocess.Popen(command, **kwargs)
    status = f"/proc/{process.pid}/status"
    peak = 0
    while process.poll() is None:
        try:
            with open(status) as f:
                for line in f:
                    if line.startswith("RssAnon:"):
                        peak = max(peak, int(line.split()[1]))
        except OSError:
            pass  # gone between poll() and open()
        time.sleep(0.001)
    if process.returncode != 0:
        sys.exit(f"failed ({process.returncode}): {' '.join(command)}")
    return peak


def wall_seconds(text):
    seconds = 0.0
    for part in text.split(":"):
        seconds = seconds * 60 + float(part)
    return seconds


def folder_bytes(path):
    return sum(os.path.getsize(os.path.join(path, name)) for name in os.listdir(path))


def mib(kib):
    return f"{kib / 1024:.1f} MiB"
