#!/usr/bin/env python3
"""Independent model of the salt generator, used to produce the expected
bytes in the salt generator test. The entropy source is the deterministic
one the test installs: call k (from 0) delivers the 64-bit little-endian
value k * 0x9E3779B97F4A7C15 + 1."""
import hashlib
import struct

POOL = 260
calls = 0


def rotl(x, n):
    return ((x << n) | (x >> (32 - n))) & 0xFFFFFFFF


def compress(state, block):
    w = list(struct.unpack(">16I", block))
    for t in range(16, 80):
        w.append(rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1))
    a, b, c, d, e = state
    for t in range(80):
        if t < 20:
            f, k = (b & c) | (~b & d), 0x5A827999
        elif t < 40:
            f, k = b ^ c ^ d, 0x6ED9EBA1
        elif t < 60:
            f, k = (b & c) | (b & d) | (c & d), 0x8F1BBCDC
        else:
            f, k = b ^ c ^ d, 0xCA62C1D6
        a, b, c, d, e = (rotl(a, 5) + f + e + k + w[t]) & 0xFFFFFFFF, a, rotl(b, 30), c, d
    return [(x + y) & 0xFFFFFFFF for x, y in zip(state, [a, b, c, d, e])]


def mix(pool):
    for offset in range(0, 241, 20):
        start = POOL - 20 if offset == 0 else offset - 20
        state = list(struct.unpack("<5I", bytes(pool[start:start + 20])))
        block = bytes(pool[(offset + i) % POOL] for i in range(64))
        pool[offset:offset + 20] = struct.pack("<5I", *compress(state, block))


def entropy():
    global calls
    value = (calls * 0x9E3779B97F4A7C15 + 1) & 0xFFFFFFFFFFFFFFFF
    calls += 1
    return value.to_bytes(8, "little")


def refresh(random_pool, output_pool):
    output_pool[:] = random_pool
    fresh = b""
    while len(fresh) < POOL:
        fresh += entropy()
    random_pool[:] = fresh[:POOL]
    for i in range(POOL):
        random_pool[i] ^= (~output_pool[i]) & 0xFF
    mix(random_pool)
    mix(output_pool)


random_pool, output_pool = bytearray(POOL), bytearray(POOL)
refresh(random_pool, output_pool)
for _ in range(20):
    mix(random_pool)
refresh(random_pool, output_pool)
# Taking 600 bytes uses the output pool after the start and after two more refreshes.
taken = bytes(output_pool)
for _ in range(2):
    refresh(random_pool, output_pool)
    taken += bytes(output_pool)
taken = taken[:600]
print("first 16:", taken[:16].hex())
print("sha1 of 600:", hashlib.sha1(taken).hexdigest())
