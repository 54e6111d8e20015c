#!/usr/bin/env python3
"""Builds the known-answer encrypted settings files with an implementation
independent of ours: Python's hashlib/hmac for PBKDF2 and HMAC-SHA1, and the
openssl command line (AES in ECB mode over the counter blocks) for the key
stream. Run from this folder; it rewrites the *.dat files."""
import hashlib
import hmac
import subprocess


def plain_text(size, seed):
    return bytes((i * 7 + seed) & 0xFF for i in range(size))


def encrypt(password, salt, plain):
    key_size = {8: 16, 12: 24, 16: 32}[len(salt)]
    derived = hashlib.pbkdf2_hmac("sha1", password, salt, 1000, 2 * key_size + 2)
    aes_key, mac_key, verifier = derived[:key_size], derived[key_size:2 * key_size], derived[2 * key_size:]
    blocks = (len(plain) + 15) // 16
    counters = b"".join((n + 1).to_bytes(8, "little") + bytes(8) for n in range(blocks))
    stream = subprocess.run(
        ["openssl", "enc", "-aes-%d-ecb" % (8 * key_size), "-K", aes_key.hex(), "-nopad"],
        input=counters, capture_output=True, check=True).stdout
    cipher = bytes(p ^ k for p, k in zip(plain, stream))
    code = hmac.new(mac_key, cipher, hashlib.sha1).digest()[:10]
    return salt + verifier + cipher + code


CASES = [
    # name, password, salt, plain size, seed
    ("mode1_4200.dat", b"mvtqzrbnxk", bytes.fromhex("0123456789abcdef"), 4200, 3),
    ("mode2_100.dat", b"p" * 40, bytes.fromhex("a0a1a2a3a4a5a6a7a8a9aaab"), 100, 5),
    ("mode3_100.dat", b"q" * 64, bytes.fromhex("b0b1b2b3b4b5b6b7b8b9babbbcbdbebf"), 100, 9),
]

for name, password, salt, size, seed in CASES:
    with open(name, "wb") as out:
        out.write(encrypt(password, salt, plain_text(size, seed)))
