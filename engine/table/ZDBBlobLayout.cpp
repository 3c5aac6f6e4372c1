#include "engine/table/ZDBBlobLayout.h"

#include "engine/base/ZDBEndian.h"

namespace zdb {

TZDBBlobReference TZDBBlobReference::Load(const uint8_t* field) {
  TZDBBlobReference reference;
  reference.PageNo = le::GetI32(field + PageNoOffset);
  reference.BlobID = le::GetI16(field + BlobIDOffset);
  return reference;
}

void TZDBBlobReference::Save(uint8_t* field) const {
  le::PutI32(field + PageNoOffset, PageNo);
  le::PutI16(field + BlobIDOffset, BlobID);
}

uint32_t LoadBlobHandle(const uint8_t* field) { return le::GetU32(field + TZDBBlobReference::HandleOffset); }

void SaveBlobHandle(uint8_t* field, uint32_t handle) { le::PutU32(field + TZDBBlobReference::HandleOffset, handle); }

TZDBBlobValueHeader TZDBBlobValueHeader::Load(const uint8_t* bytes) {
  TZDBBlobValueHeader header;
  header.BlobID = le::GetI16(bytes + BlobIDOffset);
  header.Params.StreamParamA = le::GetI32(bytes + StreamParamAOffset);
  header.ValueSize = le::GetI64(bytes + ValueSizeOffset);
  header.Params.StreamParamB = le::GetI32(bytes + StreamParamBOffset);
  header.Params.StreamParamC = le::GetI32(bytes + StreamParamCOffset);
  return header;
}

void TZDBBlobValueHeader::Save(uint8_t* bytes) const {
  le::PutI16(bytes + BlobIDOffset, BlobID);
  SaveWithoutID(bytes);
}

void TZDBBlobValueHeader::SaveWithoutID(uint8_t* bytes) const {
  le::PutI32(bytes + StreamParamAOffset, Params.StreamParamA);
  le::PutI64(bytes + ValueSizeOffset, ValueSize);
  le::PutI32(bytes + StreamParamBOffset, Params.StreamParamB);
  le::PutI32(bytes + StreamParamCOffset, Params.StreamParamC);
}

TZDBBlobChainLocator TZDBBlobChainLocator::Load(const uint8_t* bytes) {
  TZDBBlobChainLocator locator;
  locator.ListPage = le::GetI32(bytes + ListPageOffset);
  locator.ListOffset = le::GetU16(bytes + ListOffsetOffset);
  locator.PageCount = le::GetI32(bytes + PageCountOffset);
  return locator;
}

void TZDBBlobChainLocator::Save(uint8_t* bytes) const {
  le::PutI32(bytes + ListPageOffset, ListPage);
  le::PutU16(bytes + ListOffsetOffset, ListOffset);
  le::PutI32(bytes + PageCountOffset, PageCount);
}

}  // namespace zdb
