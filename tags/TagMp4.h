// The MP4 metadata items (moov/udta/meta/ilst, each value in a "data" atom) and the atom walk
// that the MP4 reader shares. Atoms nest and their sizes are only claims: every size is checked
// against the enclosing atom and the file, so a walk always ends and never leaves its parent.
// The tag is read only; Save and Remove change nothing and report false.
#pragma once

#include "framework/AudioFile.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace audiolens {

// One atom of the walk. Sizes are 64-bit; Size is already clamped to the enclosing atom.
struct TMp4Atom {
    uint32_t Size32 = 0;                // the size field as stored (1: 64-bit size, 0: to the end)
    std::array<char, 4> Name{};         // the type as stored, any byte values
    int64_t Size = 0;                   // the whole atom, header included
    std::array<uint8_t, 16> UserType{}; // the extended type of a "uuid" atom
    int64_t Position = 0;               // file offset of the header
    int32_t Parent = -1;                // index of the enclosing atom in the list, -1 at the top
    uint32_t HeaderSize = 8;            // 8, 16 with a 64-bit size, 16 more for "uuid"

    bool Is(std::string_view name) const {
        return name.size() == 4 && std::string_view(Name.data(), 4) == name;
    }
    int64_t PayloadOffset() const { return Position + HeaderSize; }
    int64_t PayloadSize() const { return Size - HeaderSize; }
};

using TMp4AtomList = std::vector<TMp4Atom>; // pre-order: every atom before its children

constexpr int MaxAtomDepth = 32;
constexpr size_t MaxAtomCount = 100000;

// True when the bytes start with an "ftyp" atom.
bool HasMp4Signature(TByteView head);
// Appends the atoms found in [start, end) of the file, descending into containers.
void BuildAtomList(const TFileView& file, TMp4AtomList& list, int32_t parent, int64_t start,
                   int64_t end);
bool IsContainerAtom(const TMp4Atom& atom);
// The first atom along the path of names, searched level by level below parent (-1: the top).
// A level without a match is passed over and the next name searched under the same parent, so
// moov/udta/meta finds a meta directly under moov too. -1 when the last name is not found.
int32_t FindAtomPath(const TMp4AtomList& list, std::initializer_list<std::string_view> path,
                     int32_t parent = -1);
// The first direct child of parent with that name, or -1.
int32_t FindChildAtom(const TMp4AtomList& list, int32_t parent, std::string_view name);
// The atom's payload (the bytes after its header), cut at the end of the file.
std::string ReadAtomPayload(const TFileView& file, const TMp4Atom& atom);
// One line per atom: four spaces per ancestor, the name, ":     " and the size.
std::string DumpAtoms(const TMp4AtomList& list);

// One metadata item: the item atom's name and the payload of its first "data" atom (version and
// flags, 4 locale bytes, then the value).
class TMp4TagItem : public TObject {
  public:
    std::array<char, 4> Name{};
    uint16_t Type = 0; // 1 UTF-8 text, 0 binary, 21 integer
    int32_t Size = 0;  // payload length
    std::string Data;

  protected:
    ~TMp4TagItem() override = default;
};

class TTagMp4 : public TTagBase {
  public:
    TTagMp4();

    std::string GetField(int id) const override;
    void SetField(int, const std::string&) override {}
    void Reset() override;

    // The items of an atom list the MP4 reader has already built, under the same guard as Read.
    bool ReadAtoms(const TFileView& file, const TMp4AtomList& atoms);
    int32_t ItemCount() const { return Items->Count(); }
    const TMp4TagItem* Item(int32_t index) const;
    // The atom tree of the last read, for inspection; it is never written anywhere.
    const std::string& AtomDump() const { return Dump; }

  protected:
    ~TTagMp4() override;
    bool DoRead(const TFileView& file) override;

  private:
    bool CollectItems(const TFileView& file, const TMp4AtomList& atoms);
    std::string Dump;
};

TTagBase* CreateTagMp4();

} // namespace audiolens
