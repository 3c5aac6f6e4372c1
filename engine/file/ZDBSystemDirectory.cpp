#include "engine/file/ZDBSystemDirectory.h"

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/file/ZDBPageTypes.h"

namespace zdb {
namespace {

constexpr int32_t Session = TZDBPageManager::SystemSession;

}  // namespace

TZDBSystemDirectory::TZDBSystemDirectory(TZDBPageManager& pageManager)
    : file_(pageManager, PageTypeCode(TZDBPageType::FileSystemDirectory)) {}

void TZDBSystemDirectory::Create() {
  file_.Create(Session);
  entries_.clear();
  if (file_.StartPageNo() != SystemDirectoryPageNo) {
    const int32_t real = file_.StartPageNo();
    file_.Close();
    RaiseError(errors::WrongStartPage, {SystemDirectoryPageNo, real});
  }
}

void TZDBSystemDirectory::Open() {
  file_.Open(SystemDirectoryPageNo);
  Load();
}

void TZDBSystemDirectory::Close() {
  file_.Close();
  entries_.clear();
}

void TZDBSystemDirectory::AddEntry(uint8_t fileId, int32_t startPageNo) { entries_.push_back({fileId, startPageNo}); }

void TZDBSystemDirectory::Save() {
  std::vector<uint8_t> content(entries_.size() * EntrySize);
  uint8_t* at = content.data();
  for (const Entry& entry : entries_) {
    le::PutU8(at + EntryFileIdOffset, entry.FileId);
    le::PutI32(at + EntryStartPageNoOffset, entry.StartPageNo);
    at += EntrySize;
  }
  file_.WriteFile(Session, content.data(), 0, 0, static_cast<int32_t>(content.size()));
}

void TZDBSystemDirectory::Load() {
  const std::vector<uint8_t> content = file_.ReadAll(Session);
  std::vector<Entry> entries;
  for (size_t at = 0; at + EntrySize <= content.size(); at += EntrySize)
    entries.push_back({le::GetU8(content.data() + at + EntryFileIdOffset),
                       le::GetI32(content.data() + at + EntryStartPageNoOffset)});
  entries_ = std::move(entries);
}

int32_t TZDBSystemDirectory::Find(uint8_t fileId) const {
  for (const Entry& entry : entries_)
    if (entry.FileId == fileId) return entry.StartPageNo;
  return -1;
}

}  // namespace zdb
