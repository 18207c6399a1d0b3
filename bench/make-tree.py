#!/usr/bin/env python3
"""Makes the benchmark's patch tree: config.txt, four large files carrying 80 % of the
bytes, and files of 0 to 32 KiB (16 KiB on average) for the rest, from a fixed seed. Or,
given a count and a length, config.txt and that many files of that length, in folders of
100 files.

    make-tree.py FOLDER MIB
    make-tree.py FOLDER FILES BYTES
"""
import os
import random
import sys

root = sys.argv[1]
rng = random.Random(7)
os.makedirs(root)
# CR LF, as vantis-pack would make it: the tree then compares equal to what is extracted.
with open(os.path.join(root, "config.txt"), "wb") as f:
    f.write(b"1.0.5 <= 1.0.4\r\nbenchmark patch\r\n")
if len(sys.argv) > 3:
    count, length = int(sys.argv[2]), int(sys.argv[3])
    for n in range(count):
        path = os.path.join(root, "Data", f"set{n // 100:02d}", f"file{n:05d}.bin")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(length))
    print(f"  {count} files of {length} bytes")
    sys.exit(0)
mib = int(sys.argv[2])
total = mib << 20
large = total * 8 // 10 // 4
for i in range(4):
    path = os.path.join(root, "Data", "packs", f"pack{i}.dat")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for _ in range(large >> 20):
            f.write(rng.randbytes(1 << 20))
left, n = total - 4 * large, 0
while left > 0:
    size = min(left, rng.randint(0, 32 << 10))
    path = os.path.join(root, "Data", f"set{n % 97:02d}", f"sub{n % 7}", f"file{n:05d}.bin")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(rng.randbytes(size))
    left -= size
    n += 1
print(f"  4 files of {large >> 20} MiB and {n} files of 0 to 32 KiB")
