#!/usr/bin/env python3
"""A second, independent implementation of the sealed container, used by the
tests to cross-check the zorel binary byte for byte.

    sealed_reference.py seal IN OUT [--value N] [--key TEXT | --empty-key]
    sealed_reference.py unseal IN OUT [--key TEXT | --empty-key]
    sealed_reference.py selftest

Without a key option the default key is used; --empty-key stands for a key
pointer with a length of 0 (the fallback key). Exit 0 on success; otherwise
the result code is printed on stderr and the exit status is 1.
"""
import hashlib
import struct
import sys

DEFAULT_KEY = b"{A18F2C7D-3B40-4cde-8E15-B97A60D2F3C4}"
FALLBACK_KEY = b"{5D2B94A1-C7E0-4F38-A6D4-31E8B0C59A27}"
MAGIC = b"OVRG"


class KeyStream:
    """RC4 key scheduling and generator."""

    def __init__(self, key):
        s = list(range(256))
        j = 0
        for x in range(256):
            j = (j + s[x] + key[x % len(key)]) % 256
            s[x], s[j] = s[j], s[x]
        self.s, self.i, self.j = s, 0, 0

    def next(self):
        s = self.s
        self.i = (self.i + 1) % 256
        self.j = (self.j + s[self.i]) % 256
        s[self.i], s[self.j] = s[self.j], s[self.i]
        return s[(s[self.i] + s[self.j]) % 256]


def pick_key(key):
    if key is None:
        return DEFAULT_KEY
    if len(key) == 0:
        return FALLBACK_KEY
    return key


def encipher(key, plain):
    ks = KeyStream(pick_key(key))
    f = ks.next()
    out = bytearray(len(plain))
    for n, p in enumerate(plain):
        f ^= p
        a = ks.next()
        b = ks.next()
        out[n] = ((a ^ f) + b) % 256
    return bytes(out)


def decipher(key, cipher):
    ks = KeyStream(pick_key(key))
    f = ks.next()
    out = bytearray(len(cipher))
    for n, c in enumerate(cipher):
        a = ks.next()
        b = ks.next()
        p = ((c - b) % 256) ^ a ^ f
        f ^= p
        out[n] = p
    return bytes(out)


def seal(plain, value, key=None):
    if len(plain) == 0:
        raise ValueError(6000)
    payload = encipher(key, plain)
    header = MAGIC + struct.pack("<III", 1, len(plain), value & 0xFFFFFFFF)
    digest = hashlib.md5(header + bytes(16) + payload).digest()
    return header + digest + payload


def unseal(container, key=None):
    """Returns (value, plain); raises ValueError(code) on failure."""
    if len(container) < 32:
        raise ValueError(13)
    zeroed = container[:16] + bytes(16) + container[32:]
    if hashlib.md5(zeroed).digest() != container[16:32]:
        raise ValueError(13)
    (length,) = struct.unpack("<I", container[8:12])
    if len(container) != length + 32 or container[:4] != MAGIC:
        raise ValueError(13)
    (value,) = struct.unpack("<I", container[12:16])
    if length == 0:
        raise ValueError(6001)
    return value, decipher(key, container[32:])


def selftest():
    """The key stream against published RC4 test vectors."""
    vectors = [(b"Key", "eb9f7781b734ca72a719"), (b"Wiki", "6044db6d41b7"),
               (b"Secret", "04d46b053ca87b59")]
    for key, want in vectors:
        ks = KeyStream(key)
        got = bytes(ks.next() for _ in range(len(want) // 2)).hex()
        if got != want:
            print("key stream for %r: %s, want %s" % (key, got, want), file=sys.stderr)
            return 1
    plain = bytes(range(256)) * 3
    for key in (None, b"", b"k"):
        if unseal(seal(plain, 5, key), key) != (5, plain):
            print("round trip failed for key %r" % key, file=sys.stderr)
            return 1
    return 0


def main(argv):
    if argv == ["selftest"]:
        return selftest()
    if len(argv) < 3 or argv[0] not in ("seal", "unseal"):
        print(__doc__, file=sys.stderr)
        return 2
    verb, src, dst = argv[0], argv[1], argv[2]
    value, key = 1, None
    rest = argv[3:]
    while rest:
        opt = rest.pop(0)
        if opt == "--value":
            value = int(rest.pop(0), 0)
        elif opt == "--key":
            key = rest.pop(0).encode()
        elif opt == "--empty-key":
            key = b""
        else:
            print("unknown option " + opt, file=sys.stderr)
            return 2
    with open(src, "rb") as f:
        data = f.read()
    try:
        result = seal(data, value, key) if verb == "seal" else unseal(data, key)[1]
    except ValueError as e:
        print("result %d" % e.args[0], file=sys.stderr)
        return 1
    with open(dst, "wb") as f:
        f.write(result)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
