// Byte layout of a database file's prologue (file header, encryption record, lock area,
// object-ID counter) and the constants of its page area. Every prologue offset is named
// here once; the codecs (ZDBFilePrologue.h) and the page managers use only these.
//
// A file is: [optional foreign bytes] header(76) encryption record(280) lock area(20)
// counter(4) page 0, page 1, ... Later structures are located from the header, so a
// database may follow other bytes in the same file. All integers are little-endian.
#pragma once

#include <cstdint>
#include <string_view>

namespace zdb::layout {

// --- File header ---------------------------------------------------------------------
inline constexpr std::string_view Signature = "ZDBPAGEDDATABASE";
inline constexpr int SignatureSize = 16;
inline constexpr uint16_t HeaderSize = 76;

inline constexpr int HeaderSignatureOffset = 0;        // 16 ASCII bytes, no terminator
inline constexpr int HeaderSizeOffset = 16;            // uint16
inline constexpr int HeaderFormatVersionOffset = 18;   // IEEE 754 double
inline constexpr int HeaderPageSizeOffset = 26;        // uint16
inline constexpr int HeaderPagesPerExtentOffset = 28;  // uint16
inline constexpr int HeaderTotalPageCountOffset = 30;  // int32
inline constexpr int HeaderLastUsedPageNoOffset = 34;  // int32
inline constexpr int HeaderCommitCounterOffset = 38;   // int32
inline constexpr int HeaderWriteStateOffset = 42;      // uint8
inline constexpr int HeaderEncryptedOffset = 43;       // uint8
inline constexpr int HeaderReservedOffset = 44;        // 32 bytes
inline constexpr int HeaderReservedSize = 32;

inline constexpr double CurrentFormatVersion = 6.07;
// Files written by older formats open, but are reported as needing repair.
inline constexpr double MinimumFormatVersion = 2.99;

inline constexpr uint8_t WriteStateWriting = 1;     // a commit is writing pages
inline constexpr uint8_t WriteStateConsistent = 2;
inline constexpr uint8_t EncryptedFlagPlain = 0x00;
inline constexpr uint8_t EncryptedFlagEncrypted = 0xFF;

inline constexpr uint16_t DefaultPageSize = 4096;
inline constexpr uint16_t DefaultPagesPerExtent = 8;
// Page sizes we accept. The lower bound keeps a data area large enough for the
// internal-file header and the bitmap arithmetic; the upper one is the uint16 field.
inline constexpr int MinPageSize = 64;
inline constexpr int MaxPageSize = 65535;
inline constexpr int MinPagesPerExtent = 1;
inline constexpr int MaxPagesPerExtent = 65535;

// --- Encryption record (present in every file) ---------------------------------------
inline constexpr uint16_t EncryptionRecordSize = 280;
inline constexpr int EncRecordSizeOffset = 0;     // uint16
inline constexpr int EncCipherCodeOffset = 2;     // uint8
inline constexpr int EncReserved1Offset = 3;      // 1 byte
inline constexpr int EncCheckBlockOffset = 4;     // 256 bytes
inline constexpr int EncCheckBlockSize = 256;
inline constexpr int EncCheckBlockCRCOffset = 260;  // uint32
inline constexpr int EncReserved2Offset = 264;    // 16 bytes
inline constexpr int EncReserved2Size = 16;

// --- Lock area -----------------------------------------------------------------------
inline constexpr uint16_t LockAreaSize = 20;
inline constexpr int LockAreaSizeOffset = 0;          // uint16
inline constexpr int TablesLockByteOffset = 3;        // lock byte, never data
inline constexpr int DatabaseLockByteOffset = 4;      // lock byte, never data
// A stored lock area must at least reach past its two lock bytes.
inline constexpr uint16_t MinLockAreaSize = DatabaseLockByteOffset + 1;

// --- NextObjectID counter (its first byte is also its lock byte) ----------------------
inline constexpr int ObjectIDCounterSize = 4;  // int32

// --- Positions in a file whose header stands at offset 0 -----------------------------
inline constexpr int64_t DefaultEncryptionRecordPosition = HeaderSize;                  // 76
inline constexpr int64_t DefaultLockAreaPosition = DefaultEncryptionRecordPosition + EncryptionRecordSize;  // 356
inline constexpr int64_t DefaultObjectIDCounterPosition = DefaultLockAreaPosition + LockAreaSize;        // 376
inline constexpr int64_t DefaultPageAreaStart = DefaultObjectIDCounterPosition + ObjectIDCounterSize;    // 380

// --- Signature search ----------------------------------------------------------------
// A match is the signature followed by the uint16 HeaderSize.
inline constexpr int SignatureMatchSize = SignatureSize + 2;
inline constexpr int SignatureSearchWindow = 10000;
// Each window starts this many bytes before the end of the previous one, so a match
// that does not fit whole into one window is seen whole in the next.
inline constexpr int SignatureSearchOverlap = SignatureMatchSize - 1;

// --- Pages ---------------------------------------------------------------------------
// The 40-byte page header's fields and accessors are TZDBPage's (ZDBPage.h); what is
// fixed here is how the disk advances and retires a page's version.
inline constexpr uint16_t PageHeaderSize = 40;
// Every write adds 1 to PageVersion; reaching this value wraps to 0, so written
// versions stay in 0 .. PageVersionWrap - 1.
inline constexpr int32_t PageVersionWrap = 0x7FFFFFFD;
// Written into a freed page on disk; in memory it marks a page whose read failed.
inline constexpr int32_t PageVersionFreed = 0x7FFFFFFF;

// Extent fields of an EAM page's data area: two bits per extent, four to a byte, the
// first extent in the lowest bits. 0: not evaluated, 1: has a free page, 3: full (the
// high bit set means no page of the extent is free).
inline constexpr int BitsPerExtentField = 2;
inline constexpr int ExtentFieldsPerByte = 4;
inline constexpr uint8_t ExtentFieldMask = 0x03;
inline constexpr uint8_t ExtentFieldFullBit = 0x02;
inline constexpr uint8_t ExtentNotEvaluated = 0;
inline constexpr uint8_t ExtentHasFreePage = 1;
inline constexpr uint8_t ExtentFull = 3;

}  // namespace zdb::layout
