#!/usr/bin/env bash
# Builds the seed inputs of the fuzz targets into DIR: short real encoder output of every format
# the installed encoders make, the same files carrying tags, and byte-built files.
#   DIR/audio  files for the reader and tag-reader targets
#   DIR/write  the same files behind a header that chooses a tag kind, an operation and fields
#   DIR/midi   standard MIDI files
set -uo pipefail
out=${1:?usage: seeds.sh DIR}
mkdir -p "$out/audio" "$out/write" "$out/midi"
a=$out/audio
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
have() { command -v "$1" >/dev/null 2>&1; }
ff() { ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=$1:duration=$2" -ac "$3" "${@:4}"; }

if have ffmpeg; then
  ff 8000 0.1 1 -c:a pcm_s16le -bitexact -map_metadata -1 "$a/plain.wav"
  ff 11025 0.1 2 -c:a pcm_u8 -metadata title=Tone "$a/list.wav"
  ff 22050 0.2 1 -c:a mp2 -b:a 32k "$a/layer2.mp2"
  ff 44100 0.2 2 -c:a flac "$tmp/src.flac" && cp "$tmp/src.flac" "$a/ffmpeg.flac"
  ff 44100 0.2 1 -c:a aac -b:a 32k "$a/aac.m4a"
  ff 44100 0.2 1 -c:a aac -b:a 32k -f adts "$a/adts.aac"
  ff 44100 0.2 1 -c:a wmav2 -b:a 32k "$a/wmav2.wma"
  ff 22050 0.2 2 -c:a wmav1 -metadata title=Tone -metadata album=Record -metadata track=2 "$a/tagged.wma"
  ff 44100 0.2 2 -c:a aac -b:a 32k -metadata title=Tone -metadata artist=Me -metadata track=3/12 "$a/tagged.m4a"
  ff 8000 0.1 1 -c:a alac -metadata title=Tone "$a/alac.m4a"
  ff 44100 0.2 1 -c:a aac -b:a 32k -movflags +frag_keyframe+empty_moov "$a/fragmented.mp4"
  ff 44100 0.2 2 -c:a ac3 -b:a 64k "$a/ac3.ac3"
  ff 48000 0.1 6 -c:a ac3 -b:a 384k "$a/ac3-6ch.ac3"
  ff 48000 0.1 2 -c:a eac3 -f eac3 "$a/eac3.ac3"
  ff 22050 0.2 6 -c:a aac -b:a 64k -f adts "$a/adts-6ch.aac"
  ff 48000 0.1 2 -c:a dca -strict -2 -f dts "$a/dts.dts"
  ff 48000 0.1 6 -c:a dca -strict -2 -f dts "$tmp/dts6.dts" && dd if="$tmp/dts6.dts" of="$a/dts-le.dts" conv=swab status=none
  ff 8000 0.1 1 -c:a tta "$a/tta.tta"
  ff 8000 0.1 1 -c:a wavpack "$a/ffmpeg.wv"
  ff 44100 0.5 2 -c:a pcm_s16le -bitexact -map_metadata -1 "$tmp/cd.wav"
  ff 22050 0.5 1 -c:a pcm_s16le -bitexact -map_metadata -1 "$tmp/mono.wav"
fi
if have lame && [ -f "$tmp/mono.wav" ]; then
  lame --quiet -b 32 "$tmp/mono.wav" "$a/cbr.mp3"
  lame --quiet -V 6 "$tmp/mono.wav" "$a/vbr.mp3"
  lame --quiet -b 32 -t "$tmp/mono.wav" "$a/noxing.mp3"
  lame --quiet -b 32 --tt Title --ta Artist --tl Album --ty 2001 --tc Comment --tn 3 --tg Rock \
    --add-id3v2 "$tmp/mono.wav" "$a/tagged.mp3"
fi
have flac && [ -f "$tmp/mono.wav" ] && flac -s -f -T TITLE=Tone -T ARTIST=Me "$tmp/mono.wav" -o "$a/tagged.flac"
have oggenc && [ -f "$tmp/mono.wav" ] && oggenc -Q -q 0 -t Tone -a Me "$tmp/mono.wav" -o "$a/vorbis.ogg"
have speexenc && [ -f "$tmp/mono.wav" ] && speexenc --quiet --title Tone "$tmp/mono.wav" "$a/speex.spx"
have opusenc && [ -f "$tmp/mono.wav" ] && opusenc --quiet --title Tone --artist Me "$tmp/mono.wav" "$a/opus.opus"
have flac && [ -f "$tmp/mono.wav" ] && flac -s -f --ogg -T TITLE=Tone "$tmp/mono.wav" -o "$a/oggflac.oga"
have wavpack && [ -f "$tmp/mono.wav" ] && wavpack -q -y -w Title=Tone -w Artist=Me "$tmp/mono.wav" -o "$a/tagged.wv"
if have wavpack && have ffmpeg; then
  ff 176400 0.05 6 -c:a pcm_s16le "$tmp/six.wav" && wavpack -q -y -hx "$tmp/six.wav" -o "$a/six-176k.wv"
  ff 8000 0.1 2 -c:a pcm_s16le "$tmp/st.wav" && wavpack -q -y -f "$tmp/st.wav" -o "$a/fast.wv"
fi
have mpcenc && [ -f "$tmp/cd.wav" ] && mpcenc --silent --overwrite --artist Me --title Tone "$tmp/cd.wav" "$a/sv8.mpc"

# Tags written by an independent writer, and byte-built layouts the encoders do not make.
/usr/bin/python3 - "$out" <<'PY'
import os, struct, sys
out = sys.argv[1]
a = os.path.join(out, "audio")
def w(name, data, d=a):
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)
def id3v1(title=b"Title", track=None):
    body = b"TAG" + title.ljust(30, b"\0") + b"Artist".ljust(30, b"\0") + b"Album".ljust(30, b"\0") + b"1999"
    comment = b"Comment".ljust(28, b"\0") + (b"\0" + bytes([track]) if track else b"\0\0")
    return body + comment + b"\x11"
frame = bytes.fromhex("fff3 14c4") + bytes(20)  # MPEG-2 layer III, 8 kbit/s, 24 kHz: 24-byte frames
mp3 = frame * 20
w("v10.id3v1", mp3 + id3v1(track=None))
w("v11.id3v1", mp3 + id3v1(track=7))
def lyrics(fields):
    body = b"".join(k + b"%05d" % len(v) + v for k, v in fields)
    block = b"LYRICSBEGIN" + body
    return block + b"%06d" % len(block) + b"LYRICS200"
w("lyrics.mp3", mp3 + lyrics([(b"IND", b"11"), (b"LYR", b"[00:01]La la\r\nLa"), (b"ETT", b"Song"),
                              (b"EAR", b"Band"), (b"EAL", b"Record")]) + id3v1())
w("lyrics-bare.mp3", mp3 + lyrics([(b"LYR", b"words")]))
def ape(version, items, header):
    body = b"".join(struct.pack("<II", len(v), 0) + k + b"\0" + v for k, v in items)
    size = len(body) + 32
    foot = lambda flags: b"APETAGEX" + struct.pack("<IIII", version, size, len(items), flags) + bytes(8)
    return (foot(0xA0000000) if header else b"") + body + foot(0x80000000 if header else 0)
items = [(b"Title", b"Song"), (b"Artist", b"Band"), (b"Album", b"Record"), (b"Year", b"2004"),
         (b"Track", b"4/9"), (b"Genre", b"Jazz"), (b"Comment", b"Nice"), (b"Copyright", b"(c)")]
w("ape2.mp3", mp3 + ape(2000, items, True) + id3v1())
w("ape1.mp3", mp3 + ape(1000, items[:3], False))
w("ape-lyrics.mp3", mp3 + ape(2000, items, True) + lyrics([(b"LYR", b"x")]) + id3v1())
def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
def v2(version, frames, flags=0):
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(frames)) + frames
def f3(fid, text, enc=0):
    data = bytes([enc]) + text
    return fid + struct.pack(">I", len(data)) + b"\0\0" + data
def f4(fid, text, enc=3):
    data = bytes([enc]) + text
    return fid + syncsafe(len(data)) + b"\0\0" + data
def f2(fid, text):
    data = b"\0" + text
    return fid + struct.pack(">I", len(data))[1:] + data
w("id3v23.mp3", v2(3, f3(b"TIT2", b"Song") + f3(b"TPE1", b"\xff\xfeB\0a\0n\0d\0", 1) + f3(b"TRCK", b"5")
                  + f3(b"TCON", b"(17)Rock") + f3(b"COMM", b"eng\0Nice") + bytes(64)) + mp3)
w("id3v24.mp3", v2(4, f4(b"TIT2", "Söng".encode()) + f4(b"TDRC", b"2010") + f4(b"TALB", b"Rec")
                  + f4(b"USLT", b"eng\0words") + bytes(32)) + mp3)
w("id3v22.mp3", v2(2, f2(b"TT2", b"Song") + f2(b"TP1", b"Band") + f2(b"TYE", b"1998")) + mp3)
w("id3v23-ext.mp3", v2(3, struct.pack(">IHI", 6, 0, 0) + f3(b"TIT2", b"Ext"), 0x40) + mp3)
w("riff-cda.cda", b"RIFF" + struct.pack("<I", 36) + b"CDDAfmt " + struct.pack("<IHHIII", 24, 1, 3, 0x1234, 150, 13000)
  + bytes([0, 2, 0, 0]) + bytes([0, 10, 3, 0]))
w("empty", b"")
# Lossless headers no Debian encoder writes: Monkey's Audio (descriptor and fixed layouts),
# WavPack 3 inside RIFF, OptimFROG; and a TTA file behind ID3v2 with APE and ID3v1 behind it.
noise = bytes((i * 7 + 3) % 251 for i in range(1500))
ape_new = (b"MAC " + struct.pack("<HHIIIIIII", 3990, 0, 52, 24, 0, 0, 0, 0, 0) + bytes(16)
           + struct.pack("<HHIIIHHI", 2000, 0, 294912, 1000, 3, 16, 2, 44100))
w("descriptor.ape", ape_new + noise)
w("fixed.ape", b"MAC " + struct.pack("<HHHHIIIIIi", 3930, 3000, 4, 2, 44100, 0, 0, 10, 1000, -5) + noise)
fmt = b"fmt " + struct.pack("<IHHIIHH", 16, 1, 2, 44100, 176400, 4, 16)
wvpk = b"wvpk" + struct.pack("<IHHHHI", 28, 3, 0, 0x10, 0, 44100) + bytes(16)
body = b"WAVE" + fmt + b"data" + struct.pack("<I", len(wvpk) + len(noise)) + wvpk + noise
w("version3.wv", b"RIFF" + struct.pack("<I", len(body)) + body)
w("stereo.ofr", b"OFR " + struct.pack("<IIHBBiHB", 15, 882000, 0, 2, 1, 44100, 0x50, 0x28) + noise)
tta = b"TTA1" + struct.pack("<HHHIII", 1, 2, 16, 44100, 441, 0xFFFFFFFF) + noise
w("tagged.tta", v2(3, f3(b"TIT2", b"Front")) + tta + ape(2000, items[:2], True) + id3v1())
# ADIF header (stereo pair, CBR 128 kbit/s, 44.1 kHz) and TwinVQ files with text chunks.
def bits(fields):
    n, v = 0, 0
    for value, width in fields:
        v, n = (v << width) | value, n + width
    v <<= -n % 8
    return v.to_bytes((n + 7) // 8, "big")
w("adif.aac", bits([(0x41444946, 32), (0, 3), (0, 1), (128000, 23), (0, 4), (0, 20), (0, 4), (1, 2),
                    (4, 4), (1, 4), (0, 4), (0, 4), (0, 2), (0, 3), (0, 4), (0, 3), (1, 1), (0, 4)])
  + bytes(2000))
def chunk(cid, data):
    return cid + struct.pack(">I", len(data)) + data
def vqf(chunks, audio):
    header = b"".join(chunks)
    return b"TWIN97012000" + struct.pack(">I", len(header)) + header + audio
comm = chunk(b"COMM", struct.pack(">IIII", 1, 96, 44, 0))
w("twinvq.vqf", vqf([comm, chunk(b"DSIZ", struct.pack(">I", 1200)), chunk(b"NAME", b"Song"),
                     chunk(b"AUTH", b"Band"), chunk(b"COMT", b"Nice"), chunk(b"(c) ", b"2001"),
                     chunk(b"FILE", b"a.wav"), chunk(b"ALBM", b"Record")], b"DATA" + bytes(1200)))
w("twinvq-ape.vqf", vqf([comm, chunk(b"XTRA", b"x"), chunk(b"NAME", b"Song")], b"DATA" + bytes(1600))
  + ape(2000, items[:3], True))
# MIDI: format 0 and format 1 with tempo, notes, running status and a sysex; one RIFF-wrapped.
def track(events):
    return b"MTrk" + struct.pack(">I", len(events)) + events
t0 = (b"\x00\xff\x51\x03\x07\xa1\x20" b"\x00\x90\x3c\x64" b"\x60\x3c\x00" b"\x00\x3e\x64"
      b"\x60\x80\x3e\x40" b"\x00\xf0\x03\x43\x12\xf7" b"\x00\xc0\x05" b"\x00\xff\x2f\x00")
smf0 = b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + track(t0)
smf1 = b"MThd" + struct.pack(">IHHH", 6, 1, 2, 480) + track(b"\x00\xff\x58\x04\x04\x02\x18\x08\x00\xff\x2f\x00") + track(t0)
m = os.path.join(out, "midi")
w("format0.mid", smf0, m)
w("format1.mid", smf1, m)
rmid = b"RMID" + b"data" + struct.pack("<I", len(smf0)) + smf0
w("wrapped.rmi", b"RIFF" + struct.pack("<I", len(rmid)) + rmid, m)
PY
if /usr/bin/python3 -c 'import mutagen' 2>/dev/null && [ -f "$a/cbr.mp3" ]; then
  cp "$a/cbr.mp3" "$a/mutagen-id3.mp3"; cp "$a/cbr.mp3" "$a/mutagen-ape.mp3"
  [ -f "$a/adts.aac" ] && cp "$a/adts.aac" "$a/mutagen-tags.aac"
  cp "$a/cbr.mp3" "$a/mutagen-id3v24.mp3"
  /usr/bin/python3 - "$a" <<'PY'
import sys, mutagen.id3 as id3, mutagen.apev2 as apev2
a = sys.argv[1]
t = id3.ID3()
t.add(id3.TIT2(encoding=1, text="Title")); t.add(id3.TPE1(encoding=3, text="Artist"))
t.add(id3.TRCK(encoding=0, text="2/10")); t.add(id3.COMM(encoding=1, lang="eng", desc="", text="Note"))
t.add(id3.USLT(encoding=3, lang="eng", desc="", text="Lyrics"))
t.add(id3.APIC(encoding=0, mime="image/png", type=3, desc="", data=b"\x89PNG" + bytes(60)))
t.save(a + "/mutagen-id3.mp3", v2_version=3, v1=2)
e = apev2.APEv2()
e["Title"] = "Song"; e["Artist"] = "Band"; e["Track"] = "1"; e["Cover Art (Front)"] = apev2.APEValue(b"x.jpg\0" + bytes(40), apev2.BINARY)
e.save(a + "/mutagen-ape.mp3")
t = id3.ID3()
t.add(id3.TIT2(encoding=3, text="Title")); t.add(id3.TDRC(encoding=3, text="2019-05-04"))
t.add(id3.COMM(encoding=3, lang="eng", desc="", text="One")); t.add(id3.COMM(encoding=3, lang="deu", desc="", text="Zwei"))
t.add(id3.TXXX(encoding=3, desc="A", text="1")); t.add(id3.TXXX(encoding=3, desc="B", text="2"))
t.add(id3.TCON(encoding=0, text="(17)"))
t.save(a + "/mutagen-id3v24.mp3", v2_version=4)
import os
if os.path.exists(a + "/mutagen-tags.aac"):
    e.save(a + "/mutagen-tags.aac")
    t.save(a + "/mutagen-tags.aac", v2_version=4, v1=2)
PY
fi
if /usr/bin/python3 -c 'import mutagen' 2>/dev/null && [ -f "$a/wmav2.wma" ]; then
  cp "$a/wmav2.wma" "$a/mutagen.wma"
  /usr/bin/python3 - "$a/mutagen.wma" <<'PY'
import sys
from mutagen.asf import ASF, ASFDWordAttribute, ASFBoolAttribute, ASFByteArrayAttribute
f = ASF(sys.argv[1])
f["Title"] = "Song"; f["WM/AlbumTitle"] = "Record"; f["WM/Track"] = ASFDWordAttribute(4)
f["IsVBR"] = ASFBoolAttribute(True); f["WM/Picture"] = ASFByteArrayAttribute(b"\x03image/png\0" + bytes(40))
f.save()
PY
fi

# Vorbis comments with a picture (a FLAC PICTURE block; in Ogg a comment over several pages),
# and a FLAC file behind an ID3v2 tag.
if /usr/bin/python3 -c 'import mutagen' 2>/dev/null; then
  [ -f "$a/tagged.flac" ] && cp "$a/tagged.flac" "$a/mutagen-picture.flac" && cp "$a/tagged.flac" "$a/id3v2-front.flac"
  [ -f "$a/vorbis.ogg" ] && cp "$a/vorbis.ogg" "$a/mutagen-picture.ogg"
  /usr/bin/python3 - "$a" <<'PY'
import os, sys, base64, mutagen, mutagen.flac as fl, mutagen.id3 as id3
a = sys.argv[1]
p = fl.Picture(); p.type = 3; p.mime = "image/png"; p.data = b"\x89PNG" + bytes(range(256)) * 80
for name in ("mutagen-picture.flac", "mutagen-picture.ogg"):
    path = os.path.join(a, name)
    if not os.path.exists(path): continue
    f = mutagen.File(path)
    if isinstance(f, fl.FLAC): f.add_picture(p)
    else: f["METADATA_BLOCK_PICTURE"] = [base64.b64encode(p.write()).decode()]
    f["MUSICBRAINZ_TRACKID"] = "4f1e"; f.save()
path = os.path.join(a, "id3v2-front.flac")
if os.path.exists(path):
    t = id3.ID3(); t.add(id3.TIT2(encoding=3, text="Id3")); t.save(path)
PY
fi

# Writer inputs: kind selector, operation, field count, fields, then a small file.
/usr/bin/python3 - "$out" <<'PY'
import os, sys
out = sys.argv[1]
a, wdir = os.path.join(out, "audio"), os.path.join(out, "write")
fields = [(1, b"A title"), (2, b"An artist"), (3, b"Album"), (4, b"2021"), (0, b"7"), (6, b"Rock"),
          (5, b"A comment"), (13, b"Some lyrics"), (7, b"Composer")]
def field_bytes(chosen):
    return bytes([len(chosen)]) + b"".join(bytes([i, len(v)]) + v for i, v in chosen)
files = [n for n in sorted(os.listdir(a)) if os.path.getsize(os.path.join(a, n)) < 8192]
n = 0
for kind in range(10):
    for op in range(4):
        name = files[(kind * 4 + op) % len(files)]
        data = open(os.path.join(a, name), "rb").read()
        chosen = fields[(kind + op) % len(fields):][:5] if op != 1 else []
        header = bytes([kind, (op << 1) | (kind & 1)]) + field_bytes(chosen)
        open(os.path.join(wdir, "k%d-op%d-%s" % (kind, op, name)), "wb").write(header + data)
        n += 1
PY
ls "$out/audio" | wc -l | xargs echo "seed files (audio):"
