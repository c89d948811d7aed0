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
# Byte-built layouts no Debian encoder writes (Monkey's Audio in both header layouts, TwinVQ,
# ADIF AAC, ID3v2.2 and an extended ID3v2.3 header), MIDI, and tags written by mutagen: pictures
# in FLAC and Ogg (a comment over several pages), WMA attributes.
/usr/bin/python3 - "$out" <<'PY'
import os, struct, sys
out = sys.argv[1]
a, m = os.path.join(out, "audio"), os.path.join(out, "midi")
def w(name, data, d=a):
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)
noise = bytes((i * 7 + 3) % 251 for i in range(1500))
mp3 = (bytes.fromhex("fff314c4") + bytes(20)) * 20  # MPEG-2 layer III frames of 24 bytes
w("descriptor.ape", b"MAC " + struct.pack("<HHIIIIIII", 3990, 0, 52, 24, 0, 0, 0, 0, 0) + bytes(16)
  + struct.pack("<HHIIIHHI", 2000, 0, 294912, 1000, 3, 16, 2, 44100) + noise)
w("fixed.ape", b"MAC " + struct.pack("<HHHHIIIIIi", 3930, 3000, 4, 2, 44100, 0, 0, 10, 1000, -5) + noise)
chunk = lambda cid, data: cid + struct.pack(">I", len(data)) + data
header = b"".join([chunk(b"COMM", struct.pack(">IIII", 1, 96, 44, 0)), chunk(b"DSIZ", struct.pack(">I", 1200)),
                   chunk(b"NAME", b"Song"), chunk(b"AUTH", b"Band"), chunk(b"(c) ", b"2001")])
w("twinvq.vqf", b"TWIN97012000" + struct.pack(">I", len(header)) + header + b"DATA" + bytes(1200))
# ADIF: stereo pair, CBR 128 kbit/s, 44.1 kHz.
fields = [(0x41444946, 32), (0, 3), (0, 1), (128000, 23), (0, 4), (0, 20), (0, 4), (1, 2), (4, 4),
          (1, 4), (0, 4), (0, 4), (0, 2), (0, 3), (0, 4), (0, 3), (1, 1), (0, 4)]
v, n = 0, 0
for value, width in fields:
    v, n = (v << width) | value, n + width
w("adif.aac", (v << (-n % 8)).to_bytes((n + 7) // 8, "big") + bytes(2000))
syncsafe = lambda n: bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
v2 = lambda version, frames, flags=0: b"ID3" + bytes([version, 0, flags]) + syncsafe(len(frames)) + frames
w("id3v22.mp3", v2(2, b"TT2\0\0\5\0Song" + b"TYE\0\0\5\x001998") + mp3)
w("id3v23-ext.mp3", v2(3, struct.pack(">IHI", 6, 0, 0) + b"TIT2\0\0\0\4\0\0\0Ext", 0x40) + mp3)
# MIDI: format 0 and 1 with tempo, notes, running status and a sysex; one RIFF-wrapped.
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
# Writer inputs: kind selector, operation, field count, fields, then a small file.
wdir = os.path.join(out, "write")
fields = [(1, b"A title"), (2, b"An artist"), (3, b"Album"), (4, b"2021"), (0, b"7"), (6, b"Rock"),
          (5, b"A comment"), (13, b"Some lyrics"), (7, b"Composer")]
def field_bytes(chosen):
    return bytes([len(chosen)]) + b"".join(bytes([i, len(v)]) + v for i, v in chosen)
files = [n for n in sorted(os.listdir(a)) if os.path.getsize(os.path.join(a, n)) < 8192]
for kind in range(10):
    for op in range(4):
        name = files[(kind * 4 + op) % len(files)]
        data = open(os.path.join(a, name), "rb").read()
        chosen = fields[(kind + op) % len(fields):][:5] if op != 1 else []
        header = bytes([kind, (op << 1) | (kind & 1)]) + field_bytes(chosen)
        open(os.path.join(wdir, "k%d-op%d-%s" % (kind, op, name)), "wb").write(header + data)
try:
    import base64, shutil, mutagen, mutagen.flac as fl, mutagen.asf as asf
except ImportError:
    sys.exit(0)
p = fl.Picture(); p.type = 3; p.mime = "image/png"; p.data = b"\x89PNG" + bytes(range(256)) * 80
for source, name in (("tagged.flac", "picture.flac"), ("vorbis.ogg", "picture.ogg"), ("wmav2.wma", "tagged2.wma")):
    if not os.path.exists(os.path.join(a, source)): continue
    f = mutagen.File(shutil.copy(os.path.join(a, source), os.path.join(a, name)))
    if isinstance(f, fl.FLAC): f.add_picture(p)
    elif isinstance(f, asf.ASF):
        f["WM/Track"] = asf.ASFDWordAttribute(4); f["IsVBR"] = asf.ASFBoolAttribute(True)
        f["WM/Picture"] = asf.ASFByteArrayAttribute(b"\x03image/png\0" + bytes(40))
    else: f["METADATA_BLOCK_PICTURE"] = [base64.b64encode(p.write()).decode()]
    f.save()
PY
ls "$out/audio" | wc -l | xargs echo "seed files (audio):"
