#include "engine/file/ZDBFilePrologue.h"

#include <algorithm>

#include "engine/base/ZDBEndian.h"

namespace zdb {

namespace L = layout;

TZDBFileHeader TZDBFileHeader::ForNewFile(uint16_t pageSize, uint16_t pagesPerExtent, bool encrypted) {
  TZDBFileHeader header;
  std::copy(L::Signature.begin(), L::Signature.end(), header.Signature.begin());
  header.PageSize = pageSize;
  header.PagesPerExtent = pagesPerExtent;
  header.Encrypted = encrypted ? L::EncryptedFlagEncrypted : L::EncryptedFlagPlain;
  return header;
}

TZDBFileHeader TZDBFileHeader::Decode(std::span<const uint8_t, L::HeaderSize> bytes) {
  const uint8_t* p = bytes.data();
  TZDBFileHeader header;
  std::copy_n(p + L::HeaderSignatureOffset, L::SignatureSize, header.Signature.begin());
  header.HeaderSize = le::GetU16(p + L::HeaderSizeOffset);
  header.FormatVersion = le::GetDouble(p + L::HeaderFormatVersionOffset);
  header.PageSize = le::GetU16(p + L::HeaderPageSizeOffset);
  header.PagesPerExtent = le::GetU16(p + L::HeaderPagesPerExtentOffset);
  header.TotalPageCount = le::GetI32(p + L::HeaderTotalPageCountOffset);
  header.LastUsedPageNo = le::GetI32(p + L::HeaderLastUsedPageNoOffset);
  header.CommitCounter = le::GetI32(p + L::HeaderCommitCounterOffset);
  header.WriteState = le::GetU8(p + L::HeaderWriteStateOffset);
  header.Encrypted = le::GetU8(p + L::HeaderEncryptedOffset);
  std::copy_n(p + L::HeaderReservedOffset, L::HeaderReservedSize, header.Reserved.begin());
  return header;
}

void TZDBFileHeader::Encode(std::span<uint8_t, L::HeaderSize> bytes) const {
  uint8_t* p = bytes.data();
  std::copy(Signature.begin(), Signature.end(), p + L::HeaderSignatureOffset);
  le::PutU16(p + L::HeaderSizeOffset, HeaderSize);
  le::PutDouble(p + L::HeaderFormatVersionOffset, FormatVersion);
  le::PutU16(p + L::HeaderPageSizeOffset, PageSize);
  le::PutU16(p + L::HeaderPagesPerExtentOffset, PagesPerExtent);
  le::PutI32(p + L::HeaderTotalPageCountOffset, TotalPageCount);
  le::PutI32(p + L::HeaderLastUsedPageNoOffset, LastUsedPageNo);
  le::PutI32(p + L::HeaderCommitCounterOffset, CommitCounter);
  le::PutU8(p + L::HeaderWriteStateOffset, WriteState);
  le::PutU8(p + L::HeaderEncryptedOffset, Encrypted);
  std::copy(Reserved.begin(), Reserved.end(), p + L::HeaderReservedOffset);
}

bool TZDBFileHeader::HasValidSignature() const {
  return std::equal(Signature.begin(), Signature.end(), L::Signature.begin());
}

std::string TZDBFileHeader::SignatureText() const {
  std::string text;
  for (uint8_t byte : Signature) text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
  return text;
}

bool TZDBFileHeader::NeedsRepair() const {
  // The negated comparison also catches a version that is not a number.
  return WriteState != L::WriteStateConsistent || !(FormatVersion >= L::MinimumFormatVersion);
}

TZDBEncryptionRecord TZDBEncryptionRecord::Decode(std::span<const uint8_t, L::EncryptionRecordSize> bytes) {
  const uint8_t* p = bytes.data();
  TZDBEncryptionRecord record;
  record.RecordSize = le::GetU16(p + L::EncRecordSizeOffset);
  record.CipherCode = le::GetU8(p + L::EncCipherCodeOffset);
  record.Reserved1 = le::GetU8(p + L::EncReserved1Offset);
  std::copy_n(p + L::EncCheckBlockOffset, L::EncCheckBlockSize, record.CheckBlock.begin());
  record.CheckBlockCRC = le::GetU32(p + L::EncCheckBlockCRCOffset);
  std::copy_n(p + L::EncReserved2Offset, L::EncReserved2Size, record.Reserved2.begin());
  return record;
}

void TZDBEncryptionRecord::Encode(std::span<uint8_t, L::EncryptionRecordSize> bytes) const {
  uint8_t* p = bytes.data();
  le::PutU16(p + L::EncRecordSizeOffset, RecordSize);
  le::PutU8(p + L::EncCipherCodeOffset, CipherCode);
  le::PutU8(p + L::EncReserved1Offset, Reserved1);
  std::copy(CheckBlock.begin(), CheckBlock.end(), p + L::EncCheckBlockOffset);
  le::PutU32(p + L::EncCheckBlockCRCOffset, CheckBlockCRC);
  std::copy(Reserved2.begin(), Reserved2.end(), p + L::EncReserved2Offset);
}

TZDBLockArea TZDBLockArea::Decode(std::span<const uint8_t, L::LockAreaSize> bytes) {
  TZDBLockArea area;
  area.LockAreaSize = le::GetU16(bytes.data() + L::LockAreaSizeOffset);
  return area;
}

void TZDBLockArea::Encode(std::span<uint8_t, L::LockAreaSize> bytes) const {
  std::fill(bytes.begin(), bytes.end(), uint8_t{0});
  le::PutU16(bytes.data() + L::LockAreaSizeOffset, LockAreaSize);
}

int32_t DecodeObjectIDCounter(std::span<const uint8_t, L::ObjectIDCounterSize> bytes) {
  return le::GetI32(bytes.data());
}

void EncodeObjectIDCounter(int32_t value, std::span<uint8_t, L::ObjectIDCounterSize> bytes) {
  le::PutI32(bytes.data(), value);
}

}  // namespace zdb
