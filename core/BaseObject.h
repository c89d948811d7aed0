// Reference-counted base object: every library object derives from it, is released (not deleted),
// and can own other objects that are released when it is destroyed.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace audiolens {

class TObject {
  public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;

    // A new object has one holder; AddRef adds one, Release drops one and destroys on the last.
    void AddRef() { ++RefCount; }
    void Release();
    int32_t References() const { return RefCount; }

    // The object is released when this object is destroyed.
    void RegisterOwned(TObject* owned);

  protected:
    virtual ~TObject();

  private:
    int32_t RefCount = 1;
    std::vector<TObject*> Owned;
};

// Holds one reference; releases it on destruction. Adopt takes over a fresh object's first
// reference.
template <class T> class TRef {
  public:
    TRef() = default;
    explicit TRef(T* adopted) : Ptr(adopted) {}
    TRef(const TRef& other) : Ptr(other.Ptr) {
        if (Ptr) Ptr->AddRef();
    }
    TRef(TRef&& other) noexcept : Ptr(std::exchange(other.Ptr, nullptr)) {}
    TRef& operator=(TRef other) noexcept {
        std::swap(Ptr, other.Ptr);
        return *this;
    }
    ~TRef() { Reset(); }

    void Reset(T* adopted = nullptr) {
        if (Ptr) Ptr->Release();
        Ptr = adopted;
    }
    T* Detach() { return std::exchange(Ptr, nullptr); }
    T* Get() const { return Ptr; }
    T* operator->() const { return Ptr; }
    T& operator*() const { return *Ptr; }
    explicit operator bool() const { return Ptr != nullptr; }

  private:
    T* Ptr = nullptr;
};

template <class T, class... Args> TRef<T> MakeRef(Args&&... args) {
    return TRef<T>(new T(std::forward<Args>(args)...));
}

} // namespace audiolens
