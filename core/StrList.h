// Ordered string lists; items are C strings (an embedded zero byte ends an item), and the object
// variant keeps a non-owned object reference beside each string.
#pragma once

#include "core/BaseObject.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace audiolens {

class TStrList : public TObject {
  public:
    void Add(std::string_view text) { Insert(Count(), text); }
    virtual void Insert(int32_t index, std::string_view text);
    void Put(int32_t index, std::string_view text);
    virtual void Delete(int32_t index);
    std::string Get(int32_t index) const;
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(Items.size()); }
    // Every item followed by "\r\n".
    std::string GetText() const;

  protected:
    ~TStrList() override = default;
    static std::string CString(std::string_view text);
    std::vector<std::string> Items;
};

class TStrObjList : public TStrList {
  public:
    int32_t AddObject(std::string_view text, TObject* object);
    void InsertObject(int32_t index, std::string_view text, TObject* object);
    void Insert(int32_t index, std::string_view text) override {
        InsertObject(index, text, nullptr);
    }
    void Delete(int32_t index) override;
    TObject* GetObject(int32_t index) const;
    void SetObject(int32_t index, TObject* object);
    int32_t IndexOfObject(const TObject* object) const;

  protected:
    ~TStrObjList() override = default;

  private:
    std::vector<TObject*> Objects;
};

} // namespace audiolens
