"""Turns the codec benchmark's JSON into Markdown tables."""
import json
import sys

MB = 1e6


def main(path):
    runs = json.load(open(path))["benchmarks"]
    decode = {}
    encode = []
    gaps = []
    for r in runs:
        name = r["name"].split("/iterations")[0]
        parts = name.split("/")
        if parts[0] == "decode":
            decode.setdefault(parts[2], {})[parts[1]] = r["bytes_per_second"] / MB
        elif parts[0] == "encode":
            encode.append((parts[1], r["bytes_per_second"] / MB, r["stream_bytes"], r["ratio_pct"]))
        elif parts[0] == "gap_to_exact_parse":
            gaps.append((parts[1], r))
    peers = ["memcpy", "ExpandBlock", "EntryReader", "zlib_inflate", "lz4_decompress"]
    print("## Decoding (MB/s of output, one core)\n")
    print("| corpus | " + " | ".join(peers) + " | ExpandBlock / zlib |")
    print("|---" * (len(peers) + 2) + "|")
    for kind, speeds in sorted(decode.items()):
        cells = [f"{speeds.get(p, 0):.0f}" for p in peers]
        ratio = speeds["ExpandBlock"] / speeds["zlib_inflate"]
        print(f"| {kind} | " + " | ".join(cells) + f" | {ratio:.2f}x |")
    print("\n## Encoding the mixed corpus (one core)\n")
    print("| encoder | MB/s | stream bytes | size % of input |")
    print("|---|---|---|---|")
    for name, speed, size, ratio in encode:
        print(f"| {name} | {speed:.1f} | {size:.0f} | {ratio:.2f} |")
    if gaps:
        print("\n## The default level against an exhaustive optimal parse\n")
        print("| sample | input bytes | exhaustive parse | default level | larger by |")
        print("|---|---|---|---|---|")
        for kind, r in gaps:
            print(f"| {kind} | {r['input_bytes']:.0f} | {r['exact_bytes']:.0f} | "
                  f"{r['default_bytes']:.0f} | {r['gap_pct']:.2f}% |")


main(sys.argv[1])
