#!/usr/bin/env python3
"""Writes a corpus of damaged and hostile sound files into OUT, the same files for the same seed.

Usage: make_corpus.py --seed N --mp3 SOURCE.mp3 OUT

Each file's name says what is wrong with it. OUT/MANIFEST lists them, one per line as
"name<TAB>what". Besides regular files the corpus holds a folder and a FIFO named like sound
files, which the program must refuse rather than read or wait on.
"""

import argparse
import os
import random
import struct

PCM = 1
FLOAT = 3
EXTENSIBLE = 0xFFFE
GUID_TAIL = bytes.fromhex("000000001000800000aa00389b71")


def chunk(tag, body, size=None, pad=True):
    """A RIFF chunk; size overrides the stated length without changing the body."""
    stated = len(body) if size is None else size
    out = tag + struct.pack("<I", stated & 0xFFFFFFFF) + body
    if pad and len(body) % 2:
        out += b"\0"
    return out


def fmt_body(tag=PCM, channels=1, rate=8000, bits=16, block=None, byterate=None, extra=b""):
    if block is None:
        block = channels * ((bits + 7) // 8)
    if byterate is None:
        byterate = rate * block
    return struct.pack("<HHIIHH", tag & 0xFFFF, channels & 0xFFFF, rate & 0xFFFFFFFF,
                       byterate & 0xFFFFFFFF, block & 0xFFFF, bits & 0xFFFF) + extra


def extensible(channels, rate, bits, valid, mask, subformat, cb=22):
    extra = struct.pack("<HHI", cb & 0xFFFF, valid & 0xFFFF, mask & 0xFFFFFFFF) + subformat
    return fmt_body(EXTENSIBLE, channels, rate, bits, extra=extra)


def samples(rng, frames, channels, bits):
    width = (bits + 7) // 8
    return bytes(rng.getrandbits(8) for _ in range(frames * channels * width))


def riff(chunks, riff_size=None, form=b"WAVE"):
    body = form + b"".join(chunks)
    stated = len(body) if riff_size is None else riff_size
    return b"RIFF" + struct.pack("<I", stated & 0xFFFFFFFF) + body


def good_wav(rng, channels=1, rate=8000, bits=16, frames=400):
    return riff([chunk(b"fmt ", fmt_body(PCM, channels, rate, bits)),
                 chunk(b"data", samples(rng, frames, channels, bits))])


def mp3_frames(data):
    """Splits an MPEG audio stream into its frames (MPEG-1 layer III headers only)."""
    rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0]
    freqs = [44100, 48000, 32000, 0]
    frames, pos = [], 0
    while pos + 4 <= len(data):
        h = data[pos:pos + 4]
        if h[0] != 0xFF or (h[1] & 0xFE) != 0xFA:
            break
        rate = rates[h[2] >> 4] * 1000
        freq = freqs[(h[2] >> 2) & 3]
        if not rate or not freq:
            break
        size = 144 * rate // freq + ((h[2] >> 1) & 1)
        frames.append(data[pos:pos + size])
        pos += size
    return frames


def id3v2(size, body=b""):
    syncsafe = bytes([(size >> 21) & 0x7F, (size >> 14) & 0x7F, (size >> 7) & 0x7F, size & 0x7F])
    return b"ID3\x03\x00\x00" + syncsafe + body


def id3_frame(fid, text):
    body = b"\x00" + text
    return fid + struct.pack(">I", len(body)) + b"\0\0" + body


def build(rng, mp3):
    """Returns a list of (name, bytes or a marker, what)."""
    files = []

    def add(name, data, what):
        files.append((name, data, what))

    base = good_wav(rng)
    size = len(base)

    # The outer RIFF size.
    for label, value in [("zero", 0), ("short", size - 8 - 100), ("long", size + 5000),
                         ("max", 0xFFFFFFFF), ("four", 4), ("odd", size - 7)]:
        for ch, bits in [(1, 16), (2, 16), (1, 8), (2, 24)]:
            fmt = fmt_body(PCM, ch, 8000, bits)
            data = samples(rng, 300, ch, bits)
            add(f"riff-size-{label}-{ch}ch-{bits}bit.wav",
                riff([chunk(b"fmt ", fmt), chunk(b"data", data)], riff_size=value),
                f"RIFF size {label} ({value:#x}), {ch} channels, {bits} bits")

    # The data chunk's size against what is there.
    for label, delta in [("plus1", 1), ("plus2", 2), ("plus1000", 1000), ("plus1M", 1 << 20)]:
        for ch in (1, 2):
            data = samples(rng, 500, ch, 16)
            add(f"data-past-end-{label}-{ch}ch.wav",
                riff([chunk(b"fmt ", fmt_body(PCM, ch)), chunk(b"data", data, len(data) + delta)]),
                f"data size {delta} bytes past the end of the file")
    for label, value in [("max", 0xFFFFFFFF), ("2G", 0x7FFFFFFF), ("zero", 0), ("odd", 999),
                         ("one", 1), ("three", 3)]:
        add(f"data-size-{label}.wav",
            riff([chunk(b"fmt ", fmt_body(PCM, 2)), chunk(b"data", samples(rng, 250, 2, 16), value,
                                                            pad=False)]),
            f"data size {value:#x} for 1000 bytes of samples")
    add("data-empty.wav", riff([chunk(b"fmt ", fmt_body()), chunk(b"data", b"")]),
        "an empty data chunk")
    add("data-header-cut.wav", riff([chunk(b"fmt ", fmt_body())]) + b"data\x10\x00",
        "the data chunk's header cut short")

    # Chunks missing, repeated and out of order.
    fmt = chunk(b"fmt ", fmt_body(PCM, 1, 8000, 16))
    fmt2 = chunk(b"fmt ", fmt_body(PCM, 2, 44100, 8))
    data = chunk(b"data", samples(rng, 400, 1, 16))
    data2 = chunk(b"data", samples(rng, 100, 1, 16))
    junk_odd = chunk(b"junk", b"\x01\x02\x03")
    junk_nopad = chunk(b"junk", b"\x01\x02\x03", pad=False)
    huge_list = chunk(b"LIST", b"INFOISFT\x04\x00\x00\x00abc\x00", 0x7FFFFFF0)
    layouts = {
        "no-fmt": [data], "no-data": [fmt], "no-chunks": [], "fmt-twice-same": [fmt, fmt, data],
        "fmt-twice-differ": [fmt, fmt2, data], "data-twice": [fmt, data, data2],
        "data-before-fmt": [data, fmt], "fmt-after-two-data": [data, data2, fmt],
        "junk-odd-first": [junk_odd, fmt, data], "junk-unpadded": [fmt, junk_nopad, data],
        "list-huge-between": [fmt, huge_list, data], "list-huge-first": [huge_list, fmt, data],
        "fmt-data-fmt": [fmt, data, fmt2], "only-junk": [junk_odd, junk_odd],
    }
    for label, chunks in layouts.items():
        add(f"chunks-{label}.wav", riff(chunks), f"chunks: {label.replace('-', ' ')}")
    add("form-not-wave.wav", riff([fmt, data], form=b"AVI "), "a RIFF form other than WAVE")
    add("rifx-big-endian.wav", b"RIFX" + riff([fmt, data])[4:], "big-endian RIFX")
    add("rf64-no-ds64.wav", b"RF64" + b"\xff\xff\xff\xff" + riff([fmt, data])[8:],
        "RF64 without its ds64 chunk")

    # The fmt chunk's own size.
    full = fmt_body(PCM, 1, 8000, 16, extra=struct.pack("<H", 0) + bytes(22))
    for fsize in (0, 2, 14, 15, 16, 18, 40, 1000, 0xFFFFFFFF):
        body = full[:min(fsize, len(full))]
        add(f"fmt-size-{fsize}.wav",
            riff([chunk(b"fmt ", body, fsize, pad=False), data]),
            f"a fmt chunk of size {fsize}")
        add(f"fmt-size-{fsize}-stated-only.wav",
            riff([chunk(b"fmt ", fmt_body(PCM, 1, 8000, 16), fsize), data]),
            f"a 16-byte fmt chunk that says it has {fsize} bytes")

    # Channels, rates, widths, alignment.
    for ch in (0, 3, 6, 255, 65535):
        add(f"channels-{ch}.wav", riff([chunk(b"fmt ", fmt_body(PCM, ch, 8000, 16)), data]),
            f"{ch} channels")
    for rate in (0, 1, 7, 4000000000, 0xFFFFFFFF, 0x80000000):
        for ch in (1, 2):
            add(f"rate-{rate}-{ch}ch.wav",
                riff([chunk(b"fmt ", fmt_body(PCM, ch, rate, 16)), data]), f"rate {rate} Hz")
    for bits in (0, 1, 4, 7, 12, 20, 33, 48, 64, 255, 65535):
        add(f"bits-{bits}.wav", riff([chunk(b"fmt ", fmt_body(PCM, 1, 8000, bits)), data]),
            f"{bits} bits per sample")
    for label, block, byterate in [("block-0", 0, None), ("block-1", 1, None),
                                   ("block-3-16bit", 3, None), ("block-65535", 65535, None),
                                   ("byterate-0", None, 0), ("byterate-max", None, 0xFFFFFFFF)]:
        add(f"align-{label}.wav",
            riff([chunk(b"fmt ", fmt_body(PCM, 2, 8000, 16, block, byterate)), data]),
            f"alignment: {label}")
    for bits in (8, 16, 32, 64):
        add(f"float-{bits}bit.wav",
            riff([chunk(b"fmt ", fmt_body(FLOAT, 1, 8000, bits)), data]),
            f"IEEE float tag with {bits} bits")
    for tag in (0, 2, 6, 7, 0x11, 0x55, 0x1234, 0xFFFF):
        add(f"tag-{tag:#06x}.wav",
            riff([chunk(b"fmt ", fmt_body(tag, 1, 8000, 16, extra=b"\0\0")), data]),
            f"format tag {tag:#06x} with PCM-looking samples")

    # Extensible headers.
    pcm_guid = struct.pack("<I", 1)[:2] + b"\0\0" + GUID_TAIL
    float_guid = struct.pack("<I", 3)[:2] + b"\0\0" + GUID_TAIL
    odd_guids = {"pcm": pcm_guid, "float": float_guid, "zero": bytes(16), "ff": b"\xff" * 16,
                 "mp3": b"\x55\0\0\0" + GUID_TAIL, "random": bytes(rng.getrandbits(8) for _ in range(16))}
    for label, guid in odd_guids.items():
        for ch, bits, valid, mask in [(2, 16, 16, 3), (2, 24, 20, 3), (1, 16, 24, 0),
                                      (2, 32, 0, 0xFFFFFFFF), (3, 16, 16, 7)]:
            add(f"ext-{label}-{ch}ch-{bits}b-valid{valid}-mask{mask:x}.wav",
                riff([chunk(b"fmt ", extensible(ch, 8000, bits, valid, mask, guid)),
                      chunk(b"data", samples(rng, 200, ch, bits))]),
                f"extensible, sub-format {label}, {bits} bits ({valid} valid), mask {mask:#x}")
    for cb in (0, 10, 22, 0xFFFF):
        add(f"ext-cbsize-{cb}.wav",
            riff([chunk(b"fmt ", extensible(2, 8000, 16, 16, 3, pcm_guid, cb)), data]),
            f"extensible with an extension size of {cb}")
    add("ext-cut-short.wav",
        riff([chunk(b"fmt ", extensible(2, 8000, 16, 16, 3, pcm_guid)[:30]), data]),
        "extensible fmt chunk cut before its sub-format")

    # Truncations of a good file at every header offset, and seeded byte damage.
    good = good_wav(rng, 2, 11025, 16, 300)
    for cut in range(0, 48):
        add(f"cut-at-{cut}.wav", good[:cut], f"a good file cut after {cut} bytes")
    for i in range(40):
        damaged = bytearray(good)
        for _ in range(rng.randint(1, 6)):
            damaged[rng.randrange(0, 44)] = rng.getrandbits(8)
        add(f"header-damage-{i:02d}.wav", bytes(damaged), "seeded random bytes in the header")

    # MP3.
    frames = mp3_frames(mp3)[:40]
    stream = b"".join(frames)
    add("mp3-id3-only.mp3", id3v2(30, id3_frame(b"TIT2", b"title") + bytes(13)),
        "an ID3v2 tag and no audio")
    add("mp3-id3v1-only.mp3", b"TAG" + bytes(125), "an ID3v1 tag and no audio")
    add("mp3-id3-100MB.mp3", id3v2(100 * 1000 * 1000, id3_frame(b"TIT2", b"x")) + stream,
        "an ID3v2 tag claiming 100 MB before real frames")
    add("mp3-id3-past-end.mp3", id3v2(len(stream) + 5000) + stream,
        "an ID3v2 tag longer than the whole file")
    add("mp3-id3-frame-huge.mp3",
        id3v2(200, b"TIT2" + struct.pack(">I", 0x7FFFFFFF) + b"\0\0" + bytes(190)) + stream,
        "an ID3v2 text frame claiming 2 GB")
    add("mp3-id3-twice.mp3", id3v2(20, bytes(20)) + id3v2(20, bytes(20)) + stream,
        "two ID3v2 tags in a row")
    add("mp3-tagged-ok.mp3", id3v2(40, id3_frame(b"TIT2", b"demo") + bytes(25)) + stream +
        b"TAG" + bytes(125), "ID3v2 and ID3v1 around good frames")
    for i in range(12):
        cut = rng.randrange(len(frames[0]) // 2, len(stream))
        add(f"mp3-cut-{i:02d}.mp3", stream[:cut], f"frames cut after {cut} bytes")
    for i in range(12):
        parts = []
        for f in frames:
            parts.append(f)
            if rng.random() < 0.3:
                parts.append(bytes(rng.getrandbits(8) for _ in range(rng.randint(1, 700))))
        add(f"mp3-garbage-{i:02d}.mp3", b"".join(parts), "random bytes between frames")
    for i in range(12):
        damaged = bytearray(stream)
        for _ in range(rng.randint(1, 20)):
            f = rng.randrange(len(frames))
            at = sum(len(x) for x in frames[:f]) + rng.randrange(4)
            damaged[at] = rng.getrandbits(8)
        add(f"mp3-header-damage-{i:02d}.mp3", bytes(damaged), "seeded damage to frame headers")
    add("mp3-one-frame.mp3", frames[0], "a single frame")
    add("mp3-half-frame.mp3", frames[0][:200], "half of one frame")
    add("mp3-only-sync.mp3", b"\xff\xfb" * 3000, "frame sync words and nothing else")
    xing = bytearray(frames[0])
    xing[36:52] = b"Xing\x00\x00\x00\x0f\xff\xff\xff\xff\xff\xff\xff\xff"
    add("mp3-xing-huge.mp3", bytes(xing) + stream, "a Xing header claiming 4 billion frames")
    add("mp3-is-wav.mp3", good, "a WAV file named .mp3")
    add("wav-is-mp3.wav", stream, "an MP3 stream named .wav")

    # Other containers' signatures followed by rubbish.
    rubbish = bytes(rng.getrandbits(8) for _ in range(3000))
    add("flac-garbage.flac", b"fLaC" + rubbish, "FLAC signature then random bytes")
    add("flac-streaminfo-zero.flac", b"fLaC\x80\x00\x00\x22" + bytes(34), "FLAC with a zeroed STREAMINFO")
    add("ogg-garbage.ogg", b"OggS\x00\x02" + rubbish, "Ogg page signature then random bytes")
    add("wma-garbage.wma", bytes.fromhex("3026b2758e66cf11a6d900aa0062ce6c") + rubbish,
        "ASF header GUID then random bytes")
    aiff_comm = struct.pack(">hIh", 2, 1000, 16) + b"\x40\x0e\xac\x44" + bytes(6)
    add("aiff-comm-ok-ssnd-short.aiff",
        b"FORM" + struct.pack(">I", 100000) + b"AIFF" + b"COMM" + struct.pack(">I", 18) +
        aiff_comm + b"SSND" + struct.pack(">I", 90000) + bytes(8) + rubbish[:100],
        "AIFF whose sound chunk is cut short")
    add("aiff-channels-0.aiff",
        b"FORM" + struct.pack(">I", 60) + b"AIFF" + b"COMM" + struct.pack(">I", 18) +
        struct.pack(">hIh", 0, 10, 16) + bytes(10), "AIFF with no channels")
    add("random-bytes.wav", rubbish, "random bytes named .wav")
    add("text.wav", b"This is not a sound.\n" * 20, "text named .wav")

    # Empty files, a folder and a FIFO.
    for ext in ("wav", "mp3", "wma", "flac", "ogg"):
        add(f"empty.{ext}", b"", f"a zero-length .{ext} file")
    add("folder.wav", "DIR", "a folder named .wav")
    add("fifo.wav", "FIFO", "a FIFO named .wav (nothing writes to it)")
    add("fifo.mp3", "FIFO", "a FIFO named .mp3 (nothing writes to it)")
    return files


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--mp3", required=True, help="a good MP3 stream to damage")
    parser.add_argument("out")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with open(args.mp3, "rb") as f:
        mp3 = f.read()
    os.makedirs(args.out, exist_ok=True)
    files = build(rng, mp3)
    names = set()
    with open(os.path.join(args.out, "MANIFEST"), "w") as manifest:
        for name, data, what in files:
            assert name not in names, name
            names.add(name)
            path = os.path.join(args.out, name)
            if data == "DIR":
                os.makedirs(path, exist_ok=True)
            elif data == "FIFO":
                if not os.path.exists(path):
                    os.mkfifo(path)
            else:
                with open(path, "wb") as f:
                    f.write(data)
            manifest.write(f"{name}\t{what}\n")
    print(f"{len(files)} files in {args.out}")


if __name__ == "__main__":
    main()
