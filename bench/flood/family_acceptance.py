#!/usr/bin/env python3
"""How many random packets each packet family accepts.

Feeds quillon-decode (48-bit mode, no known devices) with random data bytes behind each bit count
the framing knows, and for the Oregon families also behind each family's own ID, and counts the
packets that made a new device record. Prints one table row per family and bit count.

  bench/flood/family_acceptance.py --decode build/release/src/app/quillon-decode [--packets N]
"""
import argparse
import os
import random
import re
import subprocess
import tempfile

# (label, bit count, fixed leading data bytes)
CASES = [
    ("32-bit group (X10 RF, PC remote, X10 security, Visonic, RFXCOM sensors)", 32, b""),
    ("door switch", 34, b""),
    ("RFXCOM sensor info", 40, b""),
    ("X10 security with parity", 41, b""),
    ("Digimax thermostat", 44, b""),
    ("RFXPower meter", 48, b""),
    ("Oregon scale", 56, b""),
    ("Oregon 64-bit (UV, scale)", 64, b""),
    ("Oregon, random ID", 80, b""),
    ("Oregon 1A2D", 80, bytes.fromhex("1A2D")),
    ("Oregon 0A4D", 80, bytes.fromhex("0A4D")),
    ("Oregon 1A3D", 80, bytes.fromhex("1A3D")),
    ("Oregon EA4C", 80, bytes.fromhex("EA4C")),
    ("Oregon 1A89 wind", 80, bytes.fromhex("1A89")),
    ("Oregon CA48", 64, bytes.fromhex("CA48")),
    ("Oregon 2A1D rain", 84, bytes.fromhex("2A1D")),
    ("Oregon 5A5D", 88, bytes.fromhex("5A5D")),
    ("Oregon 3A0D", 88, bytes.fromhex("3A0D")),
    ("Oregon 5A6D", 96, bytes.fromhex("5A6D")),
    ("Oregon UV 120-bit", 120, b""),
    ("Visonic PowerCode", 36, b""),
    ("HomeEasy dim level", 38, b""),
    ("Visonic CodeSecure", 66, b""),
    ("Oregon UVN800", 72, bytes.fromhex("DA78")),
    ("Oregon PCR800", 92, bytes.fromhex("2A19")),
]


def run(decode, config, bits, prefix, count, rng):
    nbytes = (bits + 7) // 8
    lines = ["# mode: 48"]
    for i in range(count):
        data = prefix + bytes(rng.randrange(256) for _ in range(nbytes - len(prefix)))
        # 3 s apart: the receive time-out clears any rest, the debounce has passed.
        lines.append(f"{3.0 * (i + 1):.3f} {bits:02X} " + " ".join(f"{b:02X}" for b in data))
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        name = f.name
    try:
        out = subprocess.run([decode, "--mode", "48", "--config", config, name], capture_output=True, text=True,
                             timeout=600).stdout
    finally:
        os.unlink(name)
    accepted, kinds, event_new = 0, {}, False
    for line in out.splitlines() + ["frame"]:
        if line.startswith("frame"):
            accepted += event_new
            event_new = False
        elif line.startswith("  new device"):
            event_new = True
        elif not line.startswith(" "):
            for name in re.findall(r"\| (RFX\w+|X10\w*|Oregon\w*|Digimax|PC Remote|Visonic\w*|Door\w*|Security\w*)", line):
                kinds[name] = kinds.get(name, 0) + 1
    return accepted, kinds


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--decode", required=True)
    ap.add_argument("--packets", type=int, default=20000)
    ap.add_argument("--seed", type=int, default=23)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    config = tempfile.mkdtemp(prefix="quillon-acceptance-")
    with open(os.path.join(config, "Quillon.ini"), "w") as f:
        f.write("[W800]\nMode=1\n")
    print(f"| family | bits | random packets | accepted | per 1,000 |")
    print(f"|---|---|---|---|---|")
    for label, bits, prefix in CASES:
        accepted, kinds = run(args.decode, config, bits, prefix, args.packets, rng)
        detail = ", ".join(f"{k} {v}" for k, v in sorted(kinds.items(), key=lambda kv: -kv[1])[:4])
        print(f"| {label}{' (' + detail + ')' if detail and bits == 32 else ''} | {bits} | {args.packets} | "
              f"{accepted} | {1000.0 * accepted / args.packets:.2f} |")
    subprocess.run(["rm", "-rf", config])


if __name__ == "__main__":
    main()
