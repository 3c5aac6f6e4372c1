// The structures at the start of a database file and their exact byte images: the file
// header, the encryption record, the lock area and the NextObjectID counter (offsets in
// ZDBFileLayout.h). Decode never fails: validating what was read is the opener's job,
// which knows which error each check raises. Reserved bytes read from a file are kept
// and written back as they were.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/file/ZDBFileLayout.h"

namespace zdb {

struct TZDBFileHeader {
  std::array<uint8_t, layout::SignatureSize> Signature{};
  uint16_t HeaderSize = layout::HeaderSize;
  double FormatVersion = layout::CurrentFormatVersion;
  uint16_t PageSize = layout::DefaultPageSize;
  uint16_t PagesPerExtent = layout::DefaultPagesPerExtent;
  int32_t TotalPageCount = 0;
  int32_t LastUsedPageNo = -1;  // -1: no page allocated yet
  int32_t CommitCounter = 0;
  uint8_t WriteState = layout::WriteStateConsistent;
  uint8_t Encrypted = layout::EncryptedFlagPlain;
  std::array<uint8_t, layout::HeaderReservedSize> Reserved{};

  // The CommitCounter after one more commit; it wraps around.
  static int32_t NextCommitCounter(int32_t counter) {
    return static_cast<int32_t>(static_cast<uint32_t>(counter) + 1u);
  }

  // The header of a file about to be created: signature, current format, no pages.
  static TZDBFileHeader ForNewFile(uint16_t pageSize, uint16_t pagesPerExtent, bool encrypted);
  static TZDBFileHeader Decode(std::span<const uint8_t, layout::HeaderSize> bytes);
  void Encode(std::span<uint8_t, layout::HeaderSize> bytes) const;

  bool HasValidSignature() const;
  // The 16 signature bytes for messages and reports: printable ASCII as it stands, any
  // other byte as '.', so a damaged file cannot cut a message short or garble a terminal.
  std::string SignatureText() const;
  // Any value but plain counts as encrypted: a file we cannot read plainly must not be.
  bool IsEncrypted() const { return Encrypted != layout::EncryptedFlagPlain; }
  // A commit was cut short, or the file comes from a format older than we read directly.
  bool NeedsRepair() const;
};

struct TZDBEncryptionRecord {
  uint16_t RecordSize = layout::EncryptionRecordSize;
  uint8_t CipherCode = 0;
  uint8_t Reserved1 = 0;
  std::array<uint8_t, layout::EncCheckBlockSize> CheckBlock{};
  uint32_t CheckBlockCRC = 0;
  std::array<uint8_t, layout::EncReserved2Size> Reserved2{};

  static TZDBEncryptionRecord Decode(std::span<const uint8_t, layout::EncryptionRecordSize> bytes);
  void Encode(std::span<uint8_t, layout::EncryptionRecordSize> bytes) const;
};

// Only the size is data; the other bytes of the area exist to be locked.
struct TZDBLockArea {
  uint16_t LockAreaSize = layout::LockAreaSize;

  static TZDBLockArea Decode(std::span<const uint8_t, layout::LockAreaSize> bytes);
  void Encode(std::span<uint8_t, layout::LockAreaSize> bytes) const;
};

int32_t DecodeObjectIDCounter(std::span<const uint8_t, layout::ObjectIDCounterSize> bytes);
void EncodeObjectIDCounter(int32_t value, std::span<uint8_t, layout::ObjectIDCounterSize> bytes);

}  // namespace zdb
