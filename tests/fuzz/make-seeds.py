#!/usr/bin/env python3
"""Writes the article seeds of the fuzz corpus that the fixtures do not give: yEnc whole and
in parts (encoded here from the yEnc rules: each byte + 42, NUL, LF, CR and "=" escaped as
"=" + byte + 64), and the split fixtures joined into sequences. Run from this folder."""
import binascii
import random

SEPARATOR = b"\n=#=next=#=\n"
FIXTURES = "../fixtures/articles/"


def yenc_lines(data: bytes, width: int = 128) -> bytes:
    out, line = [], bytearray()
    for byte in data:
        c = (byte + 42) % 256
        if c in (0, 10, 13, 61):
            line += bytes((61, (c + 64) % 256))
        else:
            line.append(c)
        if len(line) >= width:
            out.append(bytes(line))
            line = bytearray()
    if line:
        out.append(bytes(line))
    return b"\r\n".join(out) + b"\r\n"


def header(subject: str) -> bytes:
    return f"From: Poster <poster@example.org>\r\nSubject: {subject}\r\n\r\n".encode()


def crc(data: bytes) -> str:
    return f"{binascii.crc32(data) & 0xffffffff:08x}"


def main() -> None:
    data = random.Random(7).randbytes(700)
    whole = (header('"tiny.bin" yEnc (1/1)') + f"=ybegin line=128 size={len(data)} name=tiny.bin\r\n".encode()
             + yenc_lines(data) + f"=yend size={len(data)} crc32={crc(data)}\r\n".encode())
    open("corpus/article/yenc-single", "wb").write(whole)

    parts, cut = [], [0, 300, 700]
    for n in (1, 2):
        piece = data[cut[n - 1]:cut[n]]
        parts.append(header(f'"tiny.bin" yEnc ({n}/2)')
                     + f"=ybegin part={n} total=2 line=128 size={len(data)} name=tiny.bin\r\n".encode()
                     + f"=ypart begin={cut[n - 1] + 1} end={cut[n]}\r\n".encode() + yenc_lines(piece)
                     + f"=yend size={len(piece)} part={n} pcrc32={crc(piece)} crc32={crc(data)}\r\n".encode())
    open("corpus/article_sequence/yenc-parts", "wb").write(SEPARATOR.join(reversed(parts)))

    for name, order in (("uu-split", (3, 1, 2)), ("xx-split", (2, 3, 1)), ("mime-partial", (2, 1, 3))):
        articles = [open(f"{FIXTURES}{name}-{n}.article", "rb").read() for n in order]
        open(f"corpus/article_sequence/{name}", "wb").write(SEPARATOR.join(articles))


if __name__ == "__main__":
    main()
