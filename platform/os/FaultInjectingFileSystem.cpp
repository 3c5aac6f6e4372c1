#include "platform/os/FaultInjectingFileSystem.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace os {

constexpr size_t kOperationCount = static_cast<size_t>(FileOperation::Copy) + 1;

struct FaultInjectingFileSystem::State {
  struct Fault {
    FileOperation operation;
    uint64_t call;  // the absolute call number it fires at
    uint32_t error;
    bool persistent;
  };

  // What a write is allowed to do.
  enum class WriteFate { Pass, Tear, Drop };

  // Counts the call; the error to fail it with, if a fault matches.
  std::optional<uint32_t> Enter(FileOperation operation) {
    std::lock_guard<std::mutex> guard(mutex);
    const uint64_t call = ++counts[static_cast<size_t>(operation)];
    for (const Fault& fault : faults) {
      if (fault.operation != operation) continue;
      if (call == fault.call || (fault.persistent && call > fault.call)) return fault.error;
    }
    return std::nullopt;
  }

  // For a torn write, keptBytes is how much of it still reaches the file.
  WriteFate NextWrite(size_t& keptBytes) {
    std::lock_guard<std::mutex> guard(mutex);
    keptBytes = tornBytes;
    if (crashed) return WriteFate::Drop;
    if (!writesBeforeCrash) return WriteFate::Pass;
    if (*writesBeforeCrash > 0) {
      --*writesBeforeCrash;
      return WriteFate::Pass;
    }
    crashed = true;
    return WriteFate::Tear;
  }

  // Counts the write against a planned fill; whether the disk is full from this write on.
  bool DiskFullAtWrite() {
    std::lock_guard<std::mutex> guard(mutex);
    if (diskFull) return true;
    if (!writesBeforeFull) return false;
    if (*writesBeforeFull > 0) {
      --*writesBeforeFull;
      return false;
    }
    diskFull = true;
    return true;
  }

  bool HasCrashed() {
    std::lock_guard<std::mutex> guard(mutex);
    return crashed;
  }

  // What a change that is not durable yet replaced: the file's size before it and the
  // bytes it overwrote or cut off, which start at position.
  struct Undo {
    int64_t size;
    int64_t position;
    std::vector<uint8_t> bytes;
  };

  bool TracksUnflushed() {
    std::lock_guard<std::mutex> guard(mutex);
    return losesUnflushed && !crashed;
  }

  // Notes what a write of count bytes at position, or a change of size to newSize, is
  // about to replace in the file.
  void RecordUndo(const std::shared_ptr<IFile>& file, const std::string& path, int64_t position, int64_t count) {
    int64_t size = 0;
    if (!file->GetSize(size)) return;
    Undo undo{size, position, {}};
    const int64_t end = std::min(size, position + count);
    if (end > position) {
      undo.bytes.resize(static_cast<size_t>(end - position));
      size_t read = 0;
      file->Read(undo.bytes.data(), position, undo.bytes.size(), read);
      undo.bytes.resize(read);
    }
    std::lock_guard<std::mutex> guard(mutex);
    Unflushed& entry = unflushed[file.get()];
    entry.file = file;
    entry.path = path;
    entry.undos.push_back(std::move(undo));
  }

  void Flushed(const std::shared_ptr<IFile>& file) {
    std::lock_guard<std::mutex> guard(mutex);
    unflushed.erase(file.get());
  }

  // The power cut: every change no flush made durable goes, newest first, through the
  // file's handle, or through a new one when the file was closed since.
  void LoseUnflushed() {
    std::map<const IFile*, Unflushed> lost;
    {
      std::lock_guard<std::mutex> guard(mutex);
      if (!losesUnflushed) return;
      lost.swap(unflushed);
    }
    for (auto& [key, entry] : lost) {
      std::shared_ptr<IFile> file = entry.file.lock();
      if (!file && !entry.path.empty()) {
        uint32_t error = 0;
        file = target->Open(entry.path, AccessMode::ReadWrite, ShareMode::ReadWrite, error);
      }
      if (!file) continue;
      const std::vector<Undo>& undos = entry.undos;
      for (auto it = undos.rbegin(); it != undos.rend(); ++it) {
        file->SetSize(it->size);
        if (!it->bytes.empty()) file->Write(it->bytes.data(), it->position, it->bytes.size());
      }
    }
  }

  bool WriteDenied(const std::string& path) {
    std::lock_guard<std::mutex> guard(mutex);
    return writeDenied.count(path) != 0;
  }

  std::mutex mutex;
  std::set<std::string> writeDenied;
  std::array<uint64_t, kOperationCount> counts{};
  std::vector<Fault> faults;
  std::optional<uint64_t> writesBeforeCrash;
  std::optional<uint64_t> writesBeforeFull;
  bool diskFull = false;
  size_t tornBytes = 0;
  bool crashed = false;
  bool losesUnflushed = false;
  struct Unflushed {
    std::weak_ptr<IFile> file;
    std::string path;
    std::vector<Undo> undos;
  };
  std::map<const IFile*, Unflushed> unflushed;
  FileSystem* target = nullptr;
};

namespace {

using State = FaultInjectingFileSystem::State;

// The byte ranges of a file that hold room on the disk: what it held when it was opened
// and what was written since. A size change that grows the file leaves a hole.
class AllocatedRanges {
 public:
  explicit AllocatedRanges(int64_t size) { Add(0, size); }

  bool Covers(int64_t start, int64_t end) const {
    if (start >= end) return true;
    auto it = ranges_.upper_bound(start);
    if (it == ranges_.begin()) return false;
    return std::prev(it)->second >= end;
  }

  void Add(int64_t start, int64_t end) {
    if (start >= end) return;
    auto it = ranges_.upper_bound(start);
    if (it != ranges_.begin() && std::prev(it)->second >= start) {
      --it;
      start = it->first;
      end = std::max(end, it->second);
      it = ranges_.erase(it);
    }
    while (it != ranges_.end() && it->first <= end) {
      end = std::max(end, it->second);
      it = ranges_.erase(it);
    }
    ranges_[start] = end;
  }

  void CutAt(int64_t size) {
    ranges_.erase(ranges_.lower_bound(size), ranges_.end());
    if (!ranges_.empty() && std::prev(ranges_.end())->second > size) std::prev(ranges_.end())->second = size;
  }

 private:
  std::map<int64_t, int64_t> ranges_;  // start -> end; disjoint and never touching
};

class FaultInjectingFile final : public IFile {
 public:
  FaultInjectingFile(std::unique_ptr<IFile> target, std::string path, std::shared_ptr<State> state)
      : target_(std::move(target)), path_(std::move(path)), state_(std::move(state)) {
    int64_t size = 0;
    if (target_->GetSize(size)) allocated_.Add(0, size);
  }

  bool Read(void* buffer, int64_t position, size_t count, size_t& bytesRead) override {
    bytesRead = 0;
    if (Faulted(FileOperation::Read)) return false;
    return Pass(target_->Read(buffer, position, count, bytesRead));
  }

  bool Write(const void* buffer, int64_t position, size_t count) override {
    if (Faulted(FileOperation::Write)) return false;
    const int64_t end = position + static_cast<int64_t>(count);
    if (state_->DiskFullAtWrite() && !allocated_.Covers(position, end)) {
      lastError_ = win32::DiskFull;
      return false;
    }
    allocated_.Add(position, end);
    size_t keptBytes = 0;
    const bool tracks = state_->TracksUnflushed();
    switch (state_->NextWrite(keptBytes)) {
      case State::WriteFate::Pass:
        if (tracks) state_->RecordUndo(target_, path_, position, static_cast<int64_t>(count));
        return Pass(target_->Write(buffer, position, count));
      case State::WriteFate::Tear:
        state_->LoseUnflushed();
        if (keptBytes > 0) target_->Write(buffer, position, std::min(count, keptBytes));
        return Pretend();
      case State::WriteFate::Drop:
        break;
    }
    return Pretend();
  }

  bool Flush() override {
    if (Faulted(FileOperation::Flush)) return false;
    if (state_->HasCrashed()) return Pretend();
    const bool ok = Pass(target_->Flush());
    if (ok) state_->Flushed(target_);
    return ok;
  }

  bool GetSize(int64_t& size) override {
    if (Faulted(FileOperation::GetSize)) return false;
    return Pass(target_->GetSize(size));
  }

  bool SetSize(int64_t size) override {
    if (Faulted(FileOperation::SetSize)) return false;
    // Growing leaves a hole, which takes no room until it is written.
    allocated_.CutAt(size);
    if (state_->HasCrashed()) return Pretend();
    if (state_->TracksUnflushed()) {
      int64_t current = 0;
      if (target_->GetSize(current) && size < current) state_->RecordUndo(target_, path_, size, current - size);
      else state_->RecordUndo(target_, path_, current, 0);
    }
    return Pass(target_->SetSize(size));
  }

  bool Lock(int64_t position, int64_t count) override {
    if (Faulted(FileOperation::Lock)) return false;
    return Pass(target_->Lock(position, count));
  }

  bool Unlock(int64_t position, int64_t count) override {
    if (Faulted(FileOperation::Unlock)) return false;
    return Pass(target_->Unlock(position, count));
  }

  uint32_t LastError() const override { return lastError_; }

 private:
  bool Faulted(FileOperation operation) {
    const auto error = state_->Enter(operation);
    if (!error) return false;
    lastError_ = *error;
    return true;
  }

  bool Pass(bool ok) {
    lastError_ = target_->LastError();
    return ok;
  }

  bool Pretend() {
    lastError_ = win32::Success;
    return true;
  }

  // Shared only so that a power cut can still undo through it; the record holds it weakly,
  // so closing the file still releases its locks.
  std::shared_ptr<IFile> target_;
  std::string path_;  // empty for a temporary file
  AllocatedRanges allocated_{0};
  std::shared_ptr<State> state_;
  uint32_t lastError_ = win32::Success;
};

}  // namespace

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& target)
    : target_(target), state_(std::make_shared<State>()) {
  state_->target = &target_;
}

FaultInjectingFileSystem::~FaultInjectingFileSystem() = default;

void FaultInjectingFileSystem::FailCall(FileOperation operation, uint64_t nth, uint32_t error,
                                        bool persistent) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  const uint64_t call = state_->counts[static_cast<size_t>(operation)] + std::max<uint64_t>(nth, 1);
  state_->faults.push_back({operation, call, error, persistent});
}

void FaultInjectingFileSystem::CrashAfterWrites(uint64_t writes, size_t tornBytes, bool losesUnflushed) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->writesBeforeCrash = writes;
  state_->tornBytes = tornBytes;
  state_->losesUnflushed = losesUnflushed;
  state_->unflushed.clear();
}

bool FaultInjectingFileSystem::Crashed() const { return state_->HasCrashed(); }

uint64_t FaultInjectingFileSystem::CallCount(FileOperation operation) const {
  std::lock_guard<std::mutex> guard(state_->mutex);
  return state_->counts[static_cast<size_t>(operation)];
}

void FaultInjectingFileSystem::FillDiskAfterWrites(uint64_t writes) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->writesBeforeFull = writes;
  state_->diskFull = false;
}

void FaultInjectingFileSystem::ClearFaults() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->faults.clear();
  state_->writesBeforeFull.reset();
  state_->diskFull = false;
}

void FaultInjectingFileSystem::Reset() {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->counts.fill(0);
  state_->faults.clear();
  state_->writesBeforeFull.reset();
  state_->diskFull = false;
  state_->writesBeforeCrash.reset();
  state_->tornBytes = 0;
  state_->crashed = false;
  state_->losesUnflushed = false;
  state_->unflushed.clear();
}

std::unique_ptr<IFile> FaultInjectingFileSystem::Wrap(std::unique_ptr<IFile> file, const std::string& path) {
  if (!file) return nullptr;
  return std::make_unique<FaultInjectingFile>(std::move(file), path, state_);
}

void FaultInjectingFileSystem::DenyWriteAccess(const std::string& path) {
  std::lock_guard<std::mutex> guard(state_->mutex);
  state_->writeDenied.insert(path);
}

std::unique_ptr<IFile> FaultInjectingFileSystem::Create(const std::string& path,
                                                        uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::Create)) {
    error = *fault;
    return nullptr;
  }
  if (state_->WriteDenied(path)) {
    error = win32::AccessDenied;
    return nullptr;
  }
  return Wrap(target_.Create(path, error), path);
}

std::unique_ptr<IFile> FaultInjectingFileSystem::Open(const std::string& path, AccessMode access,
                                                      ShareMode share, uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::Open)) {
    error = *fault;
    return nullptr;
  }
  if (access != AccessMode::Read && state_->WriteDenied(path)) {
    error = win32::AccessDenied;
    return nullptr;
  }
  return Wrap(target_.Open(path, access, share, error), path);
}

bool FaultInjectingFileSystem::Exists(const std::string& path) { return target_.Exists(path); }

bool FaultInjectingFileSystem::IsReadOnly(const std::string& path) {
  if (state_->WriteDenied(path) && target_.Exists(path)) return true;
  return target_.IsReadOnly(path);
}

bool FaultInjectingFileSystem::Delete(const std::string& path, uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::Delete)) {
    error = *fault;
    return false;
  }
  if (state_->WriteDenied(path)) {
    error = win32::AccessDenied;
    return false;
  }
  // The dead process removes nothing.
  if (state_->HasCrashed()) return true;
  return target_.Delete(path, error);
}

std::unique_ptr<IFile> FaultInjectingFileSystem::CreateTemporary(uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::CreateTemporary)) {
    error = *fault;
    return nullptr;
  }
  return Wrap(target_.CreateTemporary(error), {});
}

bool FaultInjectingFileSystem::Rename(const std::string& from, const std::string& to, uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::Rename)) {
    error = *fault;
    return false;
  }
  if (state_->WriteDenied(from) || state_->WriteDenied(to)) {
    error = win32::AccessDenied;
    return false;
  }
  // A process that died changes no names.
  if (state_->HasCrashed()) {
    error = win32::Success;
    return true;
  }
  return target_.Rename(from, to, error);
}

bool FaultInjectingFileSystem::Identify(const std::string& path, FileIdentity& identity) {
  return target_.Identify(path, identity);
}

bool FaultInjectingFileSystem::ListFolder(const std::string& folder, std::vector<std::string>& names) {
  return target_.ListFolder(folder, names);
}

bool FaultInjectingFileSystem::Copy(const std::string& from, const std::string& to, uint32_t& error) {
  if (const auto fault = state_->Enter(FileOperation::Copy)) {
    error = *fault;
    return false;
  }
  if (state_->WriteDenied(to)) {
    error = win32::AccessDenied;
    return false;
  }
  // A process that died changes no names.
  if (state_->HasCrashed()) {
    error = win32::Success;
    return true;
  }
  return target_.Copy(from, to, error);
}

}  // namespace os
