// Vorbis comments (a vendor string and NAME=value items): the VORBIS_COMMENT block of a FLAC file,
// the second packet of an Ogg Vorbis, Speex, Opus or Ogg FLAC stream. Items are kept as stored,
// so a rewrite gives back every comment the caller did not change byte for byte.
#pragma once

#include "framework/AudioFile.h"
#include "tags/VorbisLayout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace audiolens {

enum TVorbisContainer : uint8_t {
    vcOggVorbis = 0,
    vcOggSpeex = 1,
    vcFLAC = 2,
    vcOggOpus = 3,
    vcOggFLAC = 4,
    vcNone = 255
};

class TTagVorbis : public TTagBase {
  public:
    TTagVorbis();

    std::string GetField(int id) const override;
    void SetField(int id, const std::string& value) override;
    void Reset() override;

    int32_t Count() const { return Items->Count(); }
    // The part of item i before its first "=" as stored; the whole item without one.
    std::string GetName(int32_t i) const;
    // The part after the first "=" (the whole item without one), decoded from UTF-8.
    std::string GetValue(int32_t i) const;
    // The first item whose name equals name, case folded; -1 for none.
    int32_t FindIndex(const std::string& name) const;
    std::string GetFieldByName(const std::string& name) const;
    // An empty value deletes the item.
    void SetValue(int32_t i, const std::string& value);
    // Changes the first item of that name, or appends NAME=value (name upper-cased).
    void SetFieldByName(const std::string& name, const std::string& value);

    // The comment block the current vendor and items make, as the container stores it (the
    // packet signature, or the FLAC block header in Ogg FLAC, included).
    std::string BuildBlock() const;

    std::string Vendor;
    TVorbisContainer Container = vcNone;
    // FLAC: the comment block's header; Ogg: the first page of the comment packet.
    uint64_t BlockStart = 0;
    // Just past the comment data (for Ogg the end of the packet, which may lie inside a page).
    uint64_t BlockEnd = 0;

  protected:
    ~TTagVorbis() override = default;
    bool DoRead(const TFileView& file) override;
    bool DoSave(const std::string& fileName) override;
    bool DoRemove(const std::string& fileName) override;

  private:
    bool Parse(const std::string& block);
    bool Write(const std::string& fileName, bool remove);

    std::string StoredVendor;                  // the vendor bytes as read
    std::vector<std::string> ZeroComments;     // items holding a zero byte, which Items cuts there
    std::string OpusTrailer;                   // bytes after the last Opus comment, kept as read
    uint8_t OggFlacHeader = FlacVorbisComment; // first byte of the Ogg FLAC block header
};

TTagBase* CreateTagVorbis();

} // namespace audiolens
