#include "core/StrList.h"

namespace audiolens {

std::string TStrList::CString(std::string_view text) {
    size_t zero = text.find('\0');
    return std::string(zero == std::string_view::npos ? text : text.substr(0, zero));
}

void TStrList::Insert(int32_t index, std::string_view text) {
    if (index < 0 || index > Count()) return;
    Items.insert(Items.begin() + index, CString(text));
}

void TStrList::Put(int32_t index, std::string_view text) {
    if (index < 0 || index >= Count()) return;
    Insert(index, text);
    Delete(index + 1);
}

void TStrList::Delete(int32_t index) {
    if (index < 0 || index >= Count()) return;
    Items.erase(Items.begin() + index);
}

std::string TStrList::Get(int32_t index) const {
    return (index < 0 || index >= Count()) ? std::string() : Items[static_cast<size_t>(index)];
}

void TStrList::Clear() {
    for (int32_t i = Count() - 1; i >= 0; --i)
        Delete(i);
}

std::string TStrList::GetText() const {
    std::string text;
    for (const auto& item : Items)
        text += item + "\r\n";
    return text;
}

int32_t TStrObjList::AddObject(std::string_view text, TObject* object) {
    InsertObject(Count(), text, object);
    return Count() - 1;
}

void TStrObjList::InsertObject(int32_t index, std::string_view text, TObject* object) {
    if (index < 0 || index > Count()) return;
    Items.insert(Items.begin() + index, CString(text));
    Objects.insert(Objects.begin() + index, object);
}

void TStrObjList::Delete(int32_t index) {
    if (index < 0 || index >= Count()) return;
    Items.erase(Items.begin() + index);
    Objects.erase(Objects.begin() + index);
}

TObject* TStrObjList::GetObject(int32_t index) const {
    return (index < 0 || index >= Count()) ? nullptr : Objects[static_cast<size_t>(index)];
}

void TStrObjList::SetObject(int32_t index, TObject* object) {
    if (index >= 0 && index < Count()) Objects[static_cast<size_t>(index)] = object;
}

int32_t TStrObjList::IndexOfObject(const TObject* object) const {
    for (size_t i = 0; i < Objects.size(); ++i)
        if (Objects[i] == object) return static_cast<int32_t>(i);
    return -1;
}

} // namespace audiolens
