// Only the first syncframe is read, and the stream is taken to keep its bitrate. Both codecs
// begin with the sync word 0x0B77 and keep the bitstream id at bits 40-44, but behind the sync
// word they lay out their fields differently: AC-3 (ATSC A/52, bsid up to 10) gives a frame-size
// code, E-AC-3 (A/52 annex E, bsid 11 to 16) the frame size itself and the number of blocks.
#include "formats/AudioAC3.h"

#include "core/BitView.h"
#include "core/Convert.h"

#include <cmath>

namespace audiolens {

namespace {

constexpr uint32_t HeaderBytes = 7; // syncinfo and the start of bsi, up to lfeon
constexpr uint32_t LastAC3Bsid = 10;
constexpr uint32_t SamplesPerBlock = 256;
constexpr uint32_t AC3Blocks = 6;

constexpr int32_t SampleRates[3] = {48000, 44100, 32000};
// E-AC-3's reduced rates, by fscod2 when fscod is 3.
constexpr int32_t ReducedSampleRates[3] = {24000, 22050, 16000};
// kbit/s by frmsizecod / 2.
constexpr int32_t BitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                  192, 224, 256, 320, 384, 448, 512, 576, 640};
// Full-bandwidth channels by acmod; the LFE channel comes on top.
constexpr uint16_t AcmodChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
constexpr uint32_t EAC3BlocksByCode[4] = {1, 2, 3, 6};
constexpr uint32_t LastFrameSizeCode = 37; // the last row of the frame-size code table

struct THeader {
    int32_t SampleRate = 0;
    int32_t BitRate = 0;       // kbit/s
    double BytesPerSecond = 0; // the stream's exact rate, for the duration
    uint16_t Channels = 0;
};

// bsid 9 and 10 are AC-3 at half and quarter the sample rate and bitrate.
bool ParseAC3(TBitView bits, uint32_t bsid, THeader& h) {
    bits.Skip(32); // sync word, crc1
    const uint32_t fscod = bits.Bits(2), frmsizecod = bits.Bits(6);
    if (fscod > 2 || frmsizecod > LastFrameSizeCode) return false;
    bits.Skip(5 + 3); // bsid, bsmod
    const uint32_t acmod = bits.Bits(3);
    // The mix levels that stand before lfeon only for some channel layouts.
    if ((acmod & 1) != 0 && acmod != 1) bits.Skip(2); // cmixlev
    if ((acmod & 4) != 0) bits.Skip(2);               // surmixlev
    if (acmod == 2) bits.Skip(2);                     // dsurmod
    const uint32_t lfeon = bits.Bits(1);
    if (bits.Short()) return false;
    const uint32_t shift = bsid > 8 ? bsid - 8 : 0;
    h.SampleRate = SampleRates[fscod] >> shift;
    h.BitRate = BitRates[frmsizecod / 2] >> shift;
    h.BytesPerSecond = h.BitRate * 1000.0 / 8;
    h.Channels = static_cast<uint16_t>(AcmodChannels[acmod] + lfeon);
    return true;
}

bool ParseEAC3(TBitView bits, THeader& h) {
    bits.Skip(16 + 2 + 3); // sync word, strmtyp, substreamid
    const uint32_t frameBytes = (bits.Bits(11) + 1) * 2;
    const uint32_t fscod = bits.Bits(2), code = bits.Bits(2);
    uint32_t blocks = AC3Blocks;
    if (fscod == 3) {
        if (code == 3) return false;
        h.SampleRate = ReducedSampleRates[code];
    } else {
        h.SampleRate = SampleRates[fscod];
        blocks = EAC3BlocksByCode[code];
    }
    const uint32_t acmod = bits.Bits(3), lfeon = bits.Bits(1);
    if (bits.Short()) return false;
    h.Channels = static_cast<uint16_t>(AcmodChannels[acmod] + lfeon);
    const double seconds = static_cast<double>(blocks * SamplesPerBlock) / h.SampleRate;
    h.BytesPerSecond = frameBytes / seconds;
    h.BitRate = static_cast<int32_t>(std::nearbyint(h.BytesPerSecond * 8 / 1000));
    return true;
}

} // namespace

bool ReadAC3(const TFileView& file, TAudioFile& r) {
    r.Reset();
    const TByteView head = file.Head();
    if (!head.Has(0, HeaderBytes) || head.U16BE(0) != 0x0B77) return false;
    TBitView bits(head.Sub(0, HeaderBytes));
    const uint32_t bsid = bits.BitsAt(40, 5);
    const bool enhanced = bsid > LastAC3Bsid;
    THeader h;
    if (!(enhanced ? ParseEAC3(bits, h) : ParseAC3(bits, bsid, h))) return false;

    r.FileSize = static_cast<int64_t>(file.Size());
    r.SampleRate = h.SampleRate;
    r.BitRate = h.BitRate;
    r.Channels = h.Channels;
    r.BitsPerSample = 16;
    // AC-3 has always counted the file less its first header; E-AC-3 counts every byte.
    const double audioBytes = static_cast<double>(r.FileSize) - (enhanced ? 0 : HeaderBytes);
    if (h.BytesPerSecond > 0 && audioBytes > 0) {
        r.Duration = audioBytes / h.BytesPerSecond;
        const double pcmBytes = r.SampleRate * r.Duration * r.Channels * r.BitsPerSample / 8;
        r.Ratio = audioBytes / (pcmBytes + 44) * 100;
    }
    r.Info->Add("Version=" + IntToStr(bsid));
    if (enhanced) r.Info->Add("Format=E-AC-3");
    r.Valid = true;
    return true;
}

TAudioFile* CreateAC3() {
    return NewAudioFile(afAC3, ReadAC3);
}

} // namespace audiolens
