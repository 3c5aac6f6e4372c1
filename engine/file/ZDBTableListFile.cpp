#include "engine/file/ZDBTableListFile.h"

#include <algorithm>
#include <cstring>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

TZDBTableListFile::TZDBTableListFile(TZDBPageManager& pageManager)
    : file_(pageManager, PageTypeCode(TZDBPageType::TableList)) {}

int32_t TZDBTableListFile::Create(int32_t session) {
  if (IsOpen()) RaiseError(errors::TableListAlreadyOpen);
  file_.Create(session);
  entries_.clear();
  return file_.StartPageNo();
}

void TZDBTableListFile::Open(int32_t startPageNo) {
  if (IsOpen()) RaiseError(errors::TableListAlreadyOpen);
  file_.Open(startPageNo);
  entries_.clear();
}

void TZDBTableListFile::Close() {
  file_.Close();
  entries_.clear();
}

void TZDBTableListFile::Load(int32_t session) {
  const std::vector<uint8_t> content = file_.ReadAll(session);
  std::vector<TZDBTableListEntry> entries;
  for (size_t at = 0; at + RecordSize <= content.size(); at += RecordSize) {
    const uint8_t* record = content.data() + at;
    TZDBTableListEntry entry;
    const uint8_t length = le::GetU8(record + NameOffset);
    entry.Name.assign(reinterpret_cast<const char*>(record + NameOffset + 1), length);
    entry.ObjectID = le::GetI32(record + ObjectIDOffset);
    entry.MetaDataStartPageNo = le::GetI32(record + MetaDataStartOffset);
    entry.MostUpdatedStartPageNo = le::GetI32(record + MostUpdatedStartOffset);
    entry.LocksStartPageNo = le::GetI32(record + LocksStartOffset);
    entries.push_back(std::move(entry));
  }
  entries_ = std::move(entries);
}

void TZDBTableListFile::Save(int32_t session) {
  std::vector<uint8_t> content(entries_.size() * RecordSize, 0);
  uint8_t* record = content.data();
  for (const TZDBTableListEntry& entry : entries_) {
    le::PutU8(record + NameOffset, static_cast<uint8_t>(entry.Name.size()));
    std::memcpy(record + NameOffset + 1, entry.Name.data(), entry.Name.size());
    le::PutI32(record + ObjectIDOffset, entry.ObjectID);
    le::PutI32(record + MetaDataStartOffset, entry.MetaDataStartPageNo);
    le::PutI32(record + MostUpdatedStartOffset, entry.MostUpdatedStartPageNo);
    le::PutI32(record + LocksStartOffset, entry.LocksStartPageNo);
    record += RecordSize;
  }
  file_.WriteFile(session, content.data(), 0, 0, static_cast<int32_t>(content.size()));
}

bool TZDBTableListFile::SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}

int32_t TZDBTableListFile::Find(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (SameName(entries_[i].Name, name)) return static_cast<int32_t>(i);
  return -1;
}

void TZDBTableListFile::CheckNameLength(std::string_view name) {
  // The length byte cannot describe a longer name; cutting it would make another table.
  if (name.size() > static_cast<size_t>(MaxNameLength))
    RaiseError(errors::NameTooLong, {name, MaxNameLength});
}

void TZDBTableListFile::Add(std::string_view name, int32_t objectID, int32_t metaDataStartPageNo,
                            int32_t mostUpdatedStartPageNo, int32_t locksStartPageNo) {
  CheckNameLength(name);
  if (Exists(name)) RaiseError(errors::TableExists, {name});
  entries_.push_back({std::string(name), objectID, metaDataStartPageNo, mostUpdatedStartPageNo, locksStartPageNo});
}

TZDBTableListEntry TZDBTableListFile::Get(std::string_view name) const {
  const int32_t index = Find(name);
  if (index < 0) RaiseError(errors::TableListGetMissing, {name});
  return entries_[static_cast<size_t>(index)];
}

void TZDBTableListFile::Remove(std::string_view name) {
  const int32_t index = Find(name);
  if (index < 0) RaiseError(errors::TableListRemoveMissing, {name});
  entries_.erase(entries_.begin() + index);
}

void TZDBTableListFile::Rename(std::string_view oldName, std::string_view newName) {
  const int32_t index = Find(oldName);
  if (index < 0) RaiseError(errors::TableListRenameMissing, {oldName});
  CheckNameLength(newName);
  const int32_t clash = Find(newName);
  // A new name that another table already has would make two tables of one name.
  if (clash >= 0 && clash != index)
    RaiseError(errors::TableExists, {newName});
  entries_[static_cast<size_t>(index)].Name = std::string(newName);
}

std::vector<std::string> TZDBTableListFile::List(int32_t session) {
  Load(session);
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (const TZDBTableListEntry& entry : entries_) names.push_back(entry.Name);
  return names;
}

}  // namespace zdb
