// RAII handle of one page in use: gets or adds the page when made, puts it back when
// destroyed, so GetPage/AddPage and PutPage stay paired on every path, exceptions
// included. Movable, not copyable; an empty handle holds no page.
#pragma once

#include <cstdint>

#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb {

class TZDBPageRef {
 public:
  TZDBPageRef() = default;
  // GetPage(session, pageNo, checkVersions, expectedType).
  TZDBPageRef(TZDBPageManager& manager, int32_t session, int32_t pageNo, bool checkVersions,
              uint16_t expectedType)
      : page_(manager.GetPage(session, pageNo, checkVersions, expectedType)) {}
  // Takes over a page the caller already got from its manager.
  explicit TZDBPageRef(TZDBPage* page) : page_(page) {}

  // AddPage(session, pageType).
  static TZDBPageRef Add(TZDBPageManager& manager, int32_t session, uint16_t pageType) {
    return TZDBPageRef(manager.AddPage(session, pageType));
  }

  ~TZDBPageRef() { Release(); }
  TZDBPageRef(TZDBPageRef&& other) noexcept : page_(other.page_) { other.page_ = nullptr; }
  TZDBPageRef& operator=(TZDBPageRef&& other) noexcept {
    if (this != &other) {
      Release();
      page_ = other.page_;
      other.page_ = nullptr;
    }
    return *this;
  }
  TZDBPageRef(const TZDBPageRef&) = delete;
  TZDBPageRef& operator=(const TZDBPageRef&) = delete;

  // Puts the page back now; the handle is then empty.
  void Release() {
    if (page_ != nullptr) {
      TZDBPage* page = page_;
      page_ = nullptr;
      page->PageManager().PutPage(page);
    }
  }
  // Hands the page to the caller, who must put it back.
  TZDBPage* Detach() {
    TZDBPage* page = page_;
    page_ = nullptr;
    return page;
  }

  TZDBPage* Get() const { return page_; }
  TZDBPage* operator->() const { return page_; }
  TZDBPage& operator*() const { return *page_; }
  explicit operator bool() const { return page_ != nullptr; }

 private:
  TZDBPage* page_ = nullptr;
};

}  // namespace zdb
