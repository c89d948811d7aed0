// Loading a standard MIDI file: the header chunk, then the track chunks in turn, read from the
// bare file or from the "data" chunk of a RIFF "RMID" form.
#include "midi/AudioMidi.h"

#include "core/ByteReader.h"
#include "core/Convert.h"
#include "core/FileStream.h"
#include "midi/RiffChunks.h"

#include <algorithm>

namespace audiolens {

constexpr uint32_t MinHeaderLength = 6;
constexpr uint16_t SmpteDivisionFlag = 0x8000;

class TMidiLoader {
  public:
    TMidiLoader(TMidiFile& file, TSpanReader& in) : File(file), In(in) {}

    bool ReadHeader() {
        const std::string headBytes = In.Read(8);
        TByteView head(headBytes);
        if (!head.Matches(0, "MThd")) return false;
        uint32_t length = head.U32BE(4);
        if (length < MinHeaderLength) return false;
        std::string words = In.Read(MinHeaderLength);
        if (words.size() < MinHeaderLength) return false;
        TByteView view(words);
        File.FormatWord = view.U16BE(0);
        File.HeaderTracks = view.U16BE(2);
        File.DivisionWord = view.U16BE(4);
        // Ticks per quarter note are what the player counts with: a division of 0 would divide
        // by zero, and SMPTE frame timing is not played.
        if (File.DivisionWord == 0 || (File.DivisionWord & SmpteDivisionFlag)) return false;
        if (length > MinHeaderLength) {
            File.Extra = In.Read(length - MinHeaderLength);
            // A header longer than the file: no track can follow.
            if (File.Extra.size() < length - MinHeaderLength) return false;
        }
        return true;
    }

    // The tracks the header announces, as far as the file holds them.
    bool ReadTracks() {
        for (uint32_t i = 0; i < File.HeaderTracks; ++i) {
            TRef<TMidiTrack> track;
            bool read = false;
            try {
                track.Reset(new TMidiTrack);
                read = ReadTrack(*track);
            } catch (const std::exception&) {
                continue; // that track is lost, the next may still be read
            }
            if (!read) break;
            File.Tracks.push_back(std::move(track));
        }
        return !File.Tracks.empty();
    }

  private:
    bool ReadTrack(TMidiTrack& track) {
        const std::string headBytes = In.Read(8);
        TByteView head(headBytes);
        if (!head.Matches(0, "MTrk")) return false;
        uint32_t length = head.U32BE(4);
        // Never more than the bytes present: a length beyond the file fails the track.
        if (length > In.Left()) return false;
        std::string bytes = In.Read(length);
        return bytes.size() == length && ParseMidiTrack(bytes, track);
    }

    TMidiFile& File;
    TSpanReader& In;
};

void TMidiFile::Clear() {
    Tracks.clear();
    Extra.clear();
    FormatWord = 1;
    HeaderTracks = 0;
    DivisionWord = 180;
}

TMidiTrack* TMidiFile::Track(int32_t index) const {
    if (index < 0 || index >= TrackCount()) return nullptr;
    return Tracks[static_cast<size_t>(index)].Get();
}

namespace {

bool IsRiffName(const std::string& fileName) {
    std::string ext = AnsiUpperCase(ExtractFileExt(fileName));
    return ext == ".RMI" || ext == ".RIFF";
}

} // namespace

bool TMidiFile::LoadFromFile(const std::string& fileName) {
    Clear();
    try {
        TStreamRef stream = OpenFileShared(fileName);
        TRiffSpan span{0,
                       static_cast<uint32_t>(std::min<uint64_t>(stream->GetSize(), 0xFFFFFFFFu))};
        if (IsRiffName(fileName)) {
            TRiffSpan form;
            if (!FindRiffForm(*stream, "RMID", form) || !FindChunk(*stream, form, "data", span))
                return false;
        }
        TSpanReader in(*stream, span);
        TMidiLoader loader(*this, in);
        if (!loader.ReadHeader()) {
            Clear();
            return false;
        }
        return loader.ReadTracks();
    } catch (...) {
        Clear();
        return false;
    }
}

} // namespace audiolens
