#include "engine/file/ZDBPage.h"

#include <algorithm>
#include <cstring>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageManager.h"

namespace zdb {
namespace {

// Stamps are kept per session number + 2, so the system session -2 has slot 0.
constexpr int32_t StampSlotBias = 2;

}  // namespace

TZDBPage::TZDBPage(TZDBPageManager& manager, int32_t pageNo) : manager_(&manager), pageNo_(pageNo) {}

TZDBPage::~TZDBPage() = default;

void TZDBPage::AllocateBuffer() {
  if (buffer_ != nullptr) return;
  const size_t size = manager_->PageSize();
  ownedBuffer_ = std::make_unique<uint8_t[]>(size);  // value-initialised: zero-filled
  buffer_ = ownedBuffer_.get();
  bufferSize_ = size;
  ownsBuffer_ = true;
}

void TZDBPage::InitializeHeader() {
  AllocateBuffer();
  std::memset(buffer_, 0, bufferSize_);
  le::PutU32(buffer_ + PageTagOffset, PageTagValue);
  le::PutI32(buffer_ + NextPageNoOffset, NoPage);
  le::PutI32(buffer_ + OwnerObjectIDOffset, -1);
  le::PutI32(buffer_ + ReservedMinusOneOffset, -1);
}

void TZDBPage::EnlargeBuffer(size_t newSize) {
  if (buffer_ == nullptr) RaiseError(errors::InvalidPageBuffer);
  if (newSize < manager_->PageSize()) {
    RaiseError(errors::InvalidPageModification);
  }
  if (newSize <= bufferSize_ && ownsBuffer_) return;
  auto grown = std::make_unique<uint8_t[]>(newSize);
  std::memcpy(grown.get(), buffer_, std::min(bufferSize_, newSize));
  ownedBuffer_ = std::move(grown);
  buffer_ = ownedBuffer_.get();
  bufferSize_ = newSize;
  ownsBuffer_ = true;
}

void TZDBPage::AttachBuffer(uint8_t* buffer, size_t size) {
  if (buffer == nullptr) RaiseError(errors::InvalidPageBuffer);
  if (size < manager_->PageSize()) RaiseError(errors::InvalidPageModification);
  ownedBuffer_.reset();
  buffer_ = buffer;
  bufferSize_ = size;
  ownsBuffer_ = false;
}

void TZDBPage::RequireHeader() const {
  if (buffer_ == nullptr) RaiseError(errors::InvalidPageBuffer);
}

uint8_t* TZDBPage::Data() {
  RequireHeader();
  return buffer_ + manager_->PageHeaderSize();
}

const uint8_t* TZDBPage::Data() const {
  RequireHeader();
  return buffer_ + manager_->PageHeaderSize();
}

size_t TZDBPage::DataSize() const { return manager_->PageDataSize(); }

uint32_t TZDBPage::PageTag() const {
  RequireHeader();
  return le::GetU32(buffer_ + PageTagOffset);
}

void TZDBPage::SetPageTag(uint32_t value) {
  RequireHeader();
  le::PutU32(buffer_ + PageTagOffset, value);
}

int32_t TZDBPage::PageVersion() const {
  RequireHeader();
  return le::GetI32(buffer_ + PageVersionOffset);
}

void TZDBPage::SetPageVersion(int32_t value) {
  RequireHeader();
  le::PutI32(buffer_ + PageVersionOffset, value);
}

uint16_t TZDBPage::PageType() const {
  RequireHeader();
  return le::GetU16(buffer_ + PageTypeOffset);
}

void TZDBPage::SetPageType(uint16_t value) {
  RequireHeader();
  le::PutU16(buffer_ + PageTypeOffset, value);
}

int32_t TZDBPage::NextPageNo() const {
  RequireHeader();
  return le::GetI32(buffer_ + NextPageNoOffset);
}

void TZDBPage::SetNextPageNo(int32_t value) {
  RequireHeader();
  le::PutI32(buffer_ + NextPageNoOffset, value);
}

uint32_t TZDBPage::DataCRC() const {
  RequireHeader();
  return le::GetU32(buffer_ + DataCRCOffset);
}

void TZDBPage::SetDataCRC(uint32_t value) {
  RequireHeader();
  le::PutU32(buffer_ + DataCRCOffset, value);
}

uint8_t TZDBPage::PageCipherCode() const {
  RequireHeader();
  return le::GetU8(buffer_ + PageCipherCodeOffset);
}

void TZDBPage::SetPageCipherCode(uint8_t value) {
  RequireHeader();
  le::PutU8(buffer_ + PageCipherCodeOffset, value);
}

int32_t TZDBPage::OwnerObjectID() const {
  RequireHeader();
  return le::GetI32(buffer_ + OwnerObjectIDOffset);
}

void TZDBPage::SetOwnerObjectID(int32_t value) {
  RequireHeader();
  le::PutI32(buffer_ + OwnerObjectIDOffset, value);
}

bool TZDBPage::SessionStamp(int32_t session, int32_t& stamp) const {
  const int64_t slot = static_cast<int64_t>(session) + StampSlotBias;
  if (slot < 0 || static_cast<size_t>(slot) >= stamps_.size()) return false;
  const Stamp& entry = stamps_[static_cast<size_t>(slot)];
  if (!entry.valid) return false;
  stamp = entry.value;
  return true;
}

void TZDBPage::SetSessionStamp(int32_t session, int32_t stamp) {
  TZDBPageManager::CheckSession(session);
  const auto slot = static_cast<size_t>(static_cast<int64_t>(session) + StampSlotBias);
  if (slot >= stamps_.size()) stamps_.resize(slot + 1);
  stamps_[slot] = Stamp{stamp, true};
}

void TZDBPage::InvalidateSessionStamps() {
  stamps_.clear();
  fileStamp_ = NoFileStamp;
}

}  // namespace zdb
