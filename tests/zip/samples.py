"""Sample inputs shared by the archive scripts."""

import random


def log_text(size, seed):
    rng = random.Random(seed)
    lines = []
    total = 0
    while total < size:
        line = (f"2026-12-07 21:{rng.randrange(60):02d}:{rng.randrange(60):02d} camera {rng.randrange(8)}: "
                f"frame {rng.getrandbits(32):08X} delivered, exposure {rng.randrange(100000)} us\r\n")
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]
