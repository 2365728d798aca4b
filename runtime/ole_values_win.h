#pragma once

// Owners for the automation library's values: wide strings (BSTR), variants,
// safe arrays and the locked data of a safe array. Each releases what it owns
// on every path out of the scope that holds it.

#include <ole2.h>
#include <oleauto.h>

#include <utility>

namespace tavrel {

class Bstr {
 public:
  Bstr() = default;
  // Takes over a string the caller owns.
  explicit Bstr(BSTR text) : text_(text) {}
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      Reset();
      text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { Reset(); }

  void Reset() { SysFreeString(std::exchange(text_, nullptr)); }
  BSTR Get() const { return text_; }
  BSTR* Put() {
    Reset();
    return &text_;
  }
  BSTR Detach() { return std::exchange(text_, nullptr); }
  // For an in/out parameter: whatever the callee leaves there is owned here.
  BSTR* Address() { return &text_; }

 private:
  BSTR text_ = nullptr;
};

// A variant that starts empty and is cleared when it goes.
class Variant {
 public:
  Variant() { VariantInit(&variant_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&variant_); }

  VARIANT* Get() { return &variant_; }
  const VARIANT* Get() const { return &variant_; }
  VARIANT& operator*() { return variant_; }
  VARIANT* operator->() { return &variant_; }

  // Hands the content to the caller and leaves this one empty.
  VARIANT Detach() {
    VARIANT content = variant_;
    VariantInit(&variant_);
    return content;
  }

 private:
  VARIANT variant_;
};

// A safe array that is destroyed unless it is handed on.
class SafeArrayOwner {
 public:
  SafeArrayOwner() = default;
  explicit SafeArrayOwner(SAFEARRAY* array) : array_(array) {}
  SafeArrayOwner(SafeArrayOwner&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  SafeArrayOwner& operator=(SafeArrayOwner&&) = delete;
  SafeArrayOwner(const SafeArrayOwner&) = delete;
  SafeArrayOwner& operator=(const SafeArrayOwner&) = delete;
  ~SafeArrayOwner() {
    if (array_ != nullptr) SafeArrayDestroy(array_);
  }

  SAFEARRAY* Get() const { return array_; }
  SAFEARRAY** Put() { return &array_; }
  SAFEARRAY* Detach() { return std::exchange(array_, nullptr); }

 private:
  SAFEARRAY* array_ = nullptr;
};

// The data of a safe array, locked for the lifetime of the scope.
class SafeArrayData {
 public:
  explicit SafeArrayData(SAFEARRAY* array) : array_(array) {
    if (array_ == nullptr || FAILED(SafeArrayAccessData(array_, &data_))) {
      array_ = nullptr;
      data_ = nullptr;
    }
  }
  SafeArrayData(const SafeArrayData&) = delete;
  SafeArrayData& operator=(const SafeArrayData&) = delete;
  ~SafeArrayData() {
    if (array_ != nullptr) SafeArrayUnaccessData(array_);
  }

  bool Ok() const { return array_ != nullptr; }
  void* Get() const { return data_; }

 private:
  SAFEARRAY* array_ = nullptr;
  void* data_ = nullptr;
};

}  // namespace tavrel
