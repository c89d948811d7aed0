#include "tags/TagMp4.h"

#include "core/Convert.h"
#include "core/Text.h"

#include <algorithm>
#include <cstring>

namespace audiolens {

namespace {

// Atoms whose payload is more atoms. The media data ("mdat") is not among them: its bytes are
// samples, and reading them as atom headers only invents atoms.
// "\251" is the byte 0xA9 (the copyright sign) that starts the iTunes text item names.
// clang-format off
constexpr std::string_view ContainerNames[] = {
    "moov", "trak", "tref", "edts", "mdia", "minf", "dinf", "stbl", "mvex", "moof",
    "traf", "mfra", "meta", "ipro", "sinf", "xml ", "bxml", "udta", "skip", "ilst",
    "\251nam", "\251ART", "\251wrt", "\251alb", "\251day", "\251too", "\251cmt", "\251gen",
    "gnre", "trkn", "\251grp", "disk", "cpil", "tmpo", "covr", "----"};
// clang-format on

// The metadata items in the order they are searched; the first 16 container names after ilst.
constexpr size_t FirstItemName = 20;
constexpr size_t ItemNameCount = std::size(ContainerNames) - FirstItemName;

// The item each field 0 to 8 shows: trkn, ©nam, ©ART, ©alb, ©day, ©cmt, ©gen, ©wrt, ©too.
constexpr size_t FieldItems[] = {9, 0, 1, 3, 4, 6, 7, 2, 5};

constexpr size_t WindowBytes = 4096;

// Atom headers come in runs; one window of the file serves several of them.
class THeaderReader {
  public:
    explicit THeaderReader(const TFileView& file) : File(file) {}
    TByteView At(int64_t offset, size_t count) {
        const auto at = static_cast<uint64_t>(offset);
        if (at < WindowAt || !Window.Has(at - WindowAt, count)) {
            Window = File.Bytes(at, std::max(count, WindowBytes), Scratch);
            WindowAt = at;
        }
        return Window.Sub(at - WindowAt, count);
    }

  private:
    const TFileView& File;
    std::string Scratch;
    TByteView Window;
    uint64_t WindowAt = 0;
};

// A QuickTime "meta" has no version and flags: its payload starts with a child atom's header.
bool MetaHasVersion(TByteView payload, int64_t payloadSize) {
    const uint32_t firstSize = payload.U32BE(0);
    if (firstSize < 8 || firstSize > static_cast<uint64_t>(payloadSize)) return true;
    for (uint64_t i = 4; i < 8; ++i) {
        const uint8_t c = payload.U8(i);
        if (c < 0x20 || c > 0x7E) return true;
    }
    return false;
}

void Walk(THeaderReader& reader, TMp4AtomList& list, int32_t parent, int64_t start, int64_t end,
          int depth) {
    int64_t position = start;
    while (end - position >= 8 && list.size() < MaxAtomCount) {
        const TByteView header = reader.At(position, 40);
        if (header.Size() < 8) return;
        TMp4Atom atom;
        atom.Position = position;
        atom.Parent = parent;
        atom.Size32 = header.U32BE(0);
        std::memcpy(atom.Name.data(), header.Bytes() + 4, 4);
        const int64_t room = end - position;
        uint64_t size = atom.Size32;
        if (atom.Size32 == 1) {
            if (!header.Has(8, 8)) return;
            size = header.U64BE(8);
            atom.HeaderSize = 16;
        } else if (atom.Size32 == 0) {
            size = static_cast<uint64_t>(room);
        }
        if (atom.Is("uuid")) {
            if (!header.Has(atom.HeaderSize, 16)) return;
            std::memcpy(atom.UserType.data(), header.Bytes() + atom.HeaderSize, 16);
            atom.HeaderSize += 16;
        }
        // An atom smaller than its own header would make no progress: the level ends there.
        if (size < atom.HeaderSize || static_cast<int64_t>(atom.HeaderSize) > room) return;
        atom.Size = static_cast<int64_t>(std::min<uint64_t>(size, static_cast<uint64_t>(room)));
        list.push_back(atom);
        const auto index = static_cast<int32_t>(list.size() - 1);
        if (IsContainerAtom(atom) && depth + 1 < MaxAtomDepth) {
            int64_t childStart = atom.PayloadOffset();
            const int64_t childEnd = position + atom.Size;
            if (atom.Is("meta") && MetaHasVersion(reader.At(childStart, 8), childEnd - childStart))
                childStart += 4;
            Walk(reader, list, index, childStart, childEnd, depth + 1);
        }
        position += list[static_cast<size_t>(index)].Size;
        if (atom.Size32 == 0) return;
    }
}

bool SameName(const std::array<char, 4>& a, const std::array<char, 4>& b) {
    for (size_t i = 0; i < 4; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::array<char, 4> NameOf(std::string_view name) {
    std::array<char, 4> out{};
    std::memcpy(out.data(), name.data(), std::min<size_t>(4, name.size()));
    return out;
}

} // namespace

bool HasMp4Signature(TByteView head) {
    return head.Matches(4, "ftyp") && head.U32BE(0) != 0;
}

bool IsContainerAtom(const TMp4Atom& atom) {
    if (atom.PayloadSize() <= 0) return false;
    const std::string_view name(atom.Name.data(), 4);
    return std::find(std::begin(ContainerNames), std::end(ContainerNames), name) !=
           std::end(ContainerNames);
}

void BuildAtomList(const TFileView& file, TMp4AtomList& list, int32_t parent, int64_t start,
                   int64_t end) {
    THeaderReader reader(file);
    end = std::min<int64_t>(end, static_cast<int64_t>(file.Size()));
    int depth = 0;
    for (int32_t p = parent; p >= 0 && static_cast<size_t>(p) < list.size();
         p = list[static_cast<size_t>(p)].Parent)
        if (++depth >= MaxAtomDepth) return;
    if (start >= 0 && start < end) Walk(reader, list, parent, start, end, depth);
}

int32_t FindAtomPath(const TMp4AtomList& list, std::initializer_list<std::string_view> path,
                     int32_t parent) {
    int32_t current = parent;
    size_t scan = parent < 0 ? 0 : static_cast<size_t>(parent) + 1;
    size_t level = 0;
    for (std::string_view name : path) {
        const bool last = ++level == path.size();
        for (size_t i = scan; i < list.size(); ++i) {
            if (list[i].Parent != current || !list[i].Is(name)) continue;
            if (last) return static_cast<int32_t>(i);
            current = static_cast<int32_t>(i);
            scan = i + 1;
            break;
        }
    }
    return -1;
}

int32_t FindChildAtom(const TMp4AtomList& list, int32_t parent, std::string_view name) {
    // The list is in pre-order: the first atom whose parent lies before parent ends its subtree.
    for (size_t i = parent < 0 ? 0 : static_cast<size_t>(parent) + 1;
         i < list.size() && list[i].Parent >= parent; ++i)
        if (list[i].Parent == parent && list[i].Is(name)) return static_cast<int32_t>(i);
    return -1;
}

std::string ReadAtomPayload(const TFileView& file, const TMp4Atom& atom) {
    if (atom.PayloadSize() <= 0) return {};
    return file.Read(static_cast<uint64_t>(atom.PayloadOffset()),
                     static_cast<size_t>(atom.PayloadSize()));
}

std::string DumpAtoms(const TMp4AtomList& list) {
    std::string dump;
    for (const TMp4Atom& atom : list) {
        for (int32_t p = atom.Parent; p >= 0; p = list[static_cast<size_t>(p)].Parent)
            dump += "    ";
        dump.append(atom.Name.data(), 4);
        dump +=
            ":     " + IntToStr(static_cast<int32_t>(static_cast<uint32_t>(atom.Size))) + "\r\n";
    }
    return dump;
}

TTagMp4::TTagMp4() : TTagBase(tkMp4, FieldRange(0, 8)) {
    TTagMp4::Reset();
}

TTagMp4::~TTagMp4() {
    TTagMp4::Reset();
}

void TTagMp4::Reset() {
    Valid = false;
    GenreIndex = 255;
    Size = 0;
    Dump.clear();
    for (int32_t i = Items->Count() - 1; i >= 0; --i) {
        if (TObject* item = Items->GetObject(i)) item->Release();
        Items->Delete(i);
    }
    Items->Clear();
}

const TMp4TagItem* TTagMp4::Item(int32_t index) const {
    return static_cast<const TMp4TagItem*>(Items->GetObject(index));
}

std::string TTagMp4::GetField(int id) const {
    if (id < 0 || id >= static_cast<int>(std::size(FieldItems))) return {};
    const auto wanted = NameOf(ContainerNames[FirstItemName + FieldItems[id]]);
    for (int32_t i = 0; i < Items->Count(); ++i) {
        const TMp4TagItem* item = Item(i);
        if (!item || !SameName(item->Name, wanted)) continue;
        const TByteView data(item->Data);
        if (item->Type == 1) return Utf8ToSystem(std::string_view(item->Data).substr(8));
        if (item->Type == 0 && std::string_view(item->Name.data(), 4) == "trkn") {
            if (!data.Has(10, 2)) return {};
            std::string text = IntToStr(data.U16BE(10));
            if (const uint16_t total = data.U16BE(12)) text += "/" + IntToStr(total);
            return text;
        }
        return {};
    }
    return {};
}

bool TTagMp4::CollectItems(const TFileView& file, const TMp4AtomList& atoms) {
    Reset();
    if (atoms.empty() || !atoms[0].Is("ftyp")) return false;
    Dump = DumpAtoms(atoms);
    for (size_t n = 0; n < ItemNameCount; ++n) {
        const std::string_view name = ContainerNames[FirstItemName + n];
        const int32_t at = FindAtomPath(atoms, {"moov", "udta", "meta", "ilst", name, "data"});
        if (at < 0) continue;
        const TMp4Atom& data = atoms[static_cast<size_t>(at)];
        if (data.PayloadSize() <= 0) continue;
        TRef<TMp4TagItem> item(new TMp4TagItem);
        item->Name = NameOf(name);
        item->Data = ReadAtomPayload(file, data);
        item->Size = static_cast<int32_t>(std::min<size_t>(item->Data.size(), INT32_MAX));
        // A payload shorter than its version, flags and locale holds no value.
        item->Type = item->Data.size() >= 8 ? TByteView(item->Data).U16BE(2) : 0xFFFF;
        Items->AddObject("", item.Detach());
    }
    const int32_t list = FindAtomPath(atoms, {"moov", "udta", "meta", "ilst"});
    Valid = list >= 0 && static_cast<size_t>(list) + 1 < atoms.size() &&
            atoms[static_cast<size_t>(list) + 1].Parent == list;
    return true;
}

bool TTagMp4::ReadAtoms(const TFileView& file, const TMp4AtomList& atoms) {
    return Guarded([&] { return CollectItems(file, atoms); });
}

bool TTagMp4::DoRead(const TFileView& file) {
    Reset();
    if (!HasMp4Signature(file.Head())) return false;
    TMp4AtomList atoms;
    BuildAtomList(file, atoms, -1, 0, static_cast<int64_t>(file.Size()));
    return CollectItems(file, atoms);
}

TTagBase* CreateTagMp4() {
    return new TTagMp4;
}

} // namespace audiolens
