#include "platform/os/RecordingFileSystem.h"

#include <mutex>
#include <sstream>
#include <utility>

namespace os {

struct RecordingFileSystem::Log {
  // Runs the call and logs its entry under the lock, so that the log's order is the
  // order in which the calls took effect. handled: a new handle is numbered on success.
  template <typename Call>
  bool Logged(FileCall entry, Call&& call, bool handled = false, uint64_t* handle = nullptr) {
    std::lock_guard<std::mutex> guard(mutex);
    entry.succeeded = call();
    if (handled && entry.succeeded) entry.handle = ++lastHandle;
    if (handle != nullptr) *handle = entry.handle;
    calls.push_back(std::move(entry));
    return calls.back().succeeded;
  }

  mutable std::mutex mutex;
  std::vector<FileCall> calls;
  uint64_t lastHandle = 0;
};

namespace {

using Log = RecordingFileSystem::Log;

FileCall Entry(FileCall::Kind kind, std::string path = {}) {
  FileCall entry;
  entry.kind = kind;
  entry.path = std::move(path);
  return entry;
}

class RecordingFile final : public IFile {
 public:
  RecordingFile(std::unique_ptr<IFile> target, uint64_t handle, std::string path, std::shared_ptr<Log> log)
      : target_(std::move(target)), handle_(handle), path_(std::move(path)), log_(std::move(log)) {}

  bool Read(void* buffer, int64_t position, size_t count, size_t& bytesRead) override {
    return target_->Read(buffer, position, count, bytesRead);
  }

  bool Write(const void* buffer, int64_t position, size_t count) override {
    FileCall entry = Of(FileCall::Kind::Write);
    entry.position = position;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    entry.bytes.assign(bytes, bytes + count);
    return log_->Logged(std::move(entry), [&] { return target_->Write(buffer, position, count); });
  }

  bool Flush() override {
    return log_->Logged(Of(FileCall::Kind::Flush), [&] { return target_->Flush(); });
  }

  bool GetSize(int64_t& size) override { return target_->GetSize(size); }

  bool SetSize(int64_t size) override {
    FileCall entry = Of(FileCall::Kind::SetSize);
    entry.position = size;
    return log_->Logged(std::move(entry), [&] { return target_->SetSize(size); });
  }

  bool Lock(int64_t position, int64_t count) override { return target_->Lock(position, count); }
  bool Unlock(int64_t position, int64_t count) override { return target_->Unlock(position, count); }
  bool TestLock(int64_t position, int64_t count, bool& locked) override {
    return target_->TestLock(position, count, locked);
  }
  uint32_t LastError() const override { return target_->LastError(); }
  const volatile uint8_t* SharedView(size_t count) override { return target_->SharedView(count); }

 private:
  FileCall Of(FileCall::Kind kind) const {
    FileCall entry = Entry(kind, path_);
    entry.handle = handle_;
    return entry;
  }

  std::unique_ptr<IFile> target_;
  uint64_t handle_;
  std::string path_;  // empty for a temporary file
  std::shared_ptr<Log> log_;
};

const char* KindName(FileCall::Kind kind) {
  switch (kind) {
    case FileCall::Kind::Create: return "create";
    case FileCall::Kind::Open: return "open";
    case FileCall::Kind::Delete: return "delete";
    case FileCall::Kind::Rename: return "rename";
    case FileCall::Kind::Copy: return "copy";
    case FileCall::Kind::Write: return "write";
    case FileCall::Kind::SetSize: return "set size";
    case FileCall::Kind::Flush: return "flush";
    case FileCall::Kind::Mark: return "mark";
  }
  return "?";
}

}  // namespace

std::string Describe(const FileCall& call) {
  std::ostringstream text;
  if (call.kind == FileCall::Kind::Mark) return "mark: " + call.note;
  text << KindName(call.kind);
  if (call.handle != 0) text << " #" << call.handle;
  text << ' ' << (call.path.empty() ? "(temporary)" : call.path);
  if (!call.target.empty()) text << " -> " << call.target;
  if (call.kind == FileCall::Kind::Write) text << " @" << call.position << " +" << call.bytes.size() << " bytes";
  if (call.kind == FileCall::Kind::SetSize) text << " to " << call.position;
  if (!call.succeeded) text << " (failed)";
  return text.str();
}

RecordingFileSystem::RecordingFileSystem(FileSystem& target) : target_(target), log_(std::make_shared<Log>()) {}

RecordingFileSystem::~RecordingFileSystem() = default;

size_t RecordingFileSystem::Mark(std::string note) {
  FileCall entry;
  entry.note = std::move(note);
  std::lock_guard<std::mutex> guard(log_->mutex);
  log_->calls.push_back(std::move(entry));
  return log_->calls.size() - 1;
}

std::vector<FileCall> RecordingFileSystem::Calls() const {
  std::lock_guard<std::mutex> guard(log_->mutex);
  return log_->calls;
}

size_t RecordingFileSystem::CallCount() const {
  std::lock_guard<std::mutex> guard(log_->mutex);
  return log_->calls.size();
}

std::unique_ptr<IFile> RecordingFileSystem::Create(const std::string& path, uint32_t& error) {
  std::unique_ptr<IFile> file;
  uint64_t handle = 0;
  log_->Logged(Entry(FileCall::Kind::Create, path), [&] { return (file = target_.Create(path, error)) != nullptr; },
               true, &handle);
  if (!file) return nullptr;
  return std::make_unique<RecordingFile>(std::move(file), handle, path, log_);
}

std::unique_ptr<IFile> RecordingFileSystem::Open(const std::string& path, AccessMode access, ShareMode share,
                                                 uint32_t& error) {
  std::unique_ptr<IFile> file;
  uint64_t handle = 0;
  log_->Logged(Entry(FileCall::Kind::Open, path),
               [&] { return (file = target_.Open(path, access, share, error)) != nullptr; }, true, &handle);
  if (!file) return nullptr;
  return std::make_unique<RecordingFile>(std::move(file), handle, path, log_);
}

bool RecordingFileSystem::Exists(const std::string& path) { return target_.Exists(path); }

bool RecordingFileSystem::Identify(const std::string& path, FileIdentity& identity) {
  return target_.Identify(path, identity);
}

bool RecordingFileSystem::ListFolder(const std::string& folder, std::vector<std::string>& names) {
  return target_.ListFolder(folder, names);
}

bool RecordingFileSystem::IsReadOnly(const std::string& path) { return target_.IsReadOnly(path); }

bool RecordingFileSystem::Delete(const std::string& path, uint32_t& error) {
  return log_->Logged(Entry(FileCall::Kind::Delete, path), [&] { return target_.Delete(path, error); });
}

std::unique_ptr<IFile> RecordingFileSystem::CreateTemporary(uint32_t& error) {
  std::unique_ptr<IFile> file = target_.CreateTemporary(error);
  if (!file) return nullptr;
  uint64_t handle = 0;
  {
    // Not logged: a temporary file never outlives its process, so no power cut shows it.
    std::lock_guard<std::mutex> guard(log_->mutex);
    handle = ++log_->lastHandle;
  }
  return std::make_unique<RecordingFile>(std::move(file), handle, std::string{}, log_);
}

bool RecordingFileSystem::Rename(const std::string& from, const std::string& to, uint32_t& error) {
  FileCall entry = Entry(FileCall::Kind::Rename, from);
  entry.target = to;
  return log_->Logged(std::move(entry), [&] { return target_.Rename(from, to, error); });
}

bool RecordingFileSystem::Copy(const std::string& from, const std::string& to, uint32_t& error) {
  FileCall entry = Entry(FileCall::Kind::Copy, from);
  entry.target = to;
  return log_->Logged(std::move(entry), [&] { return target_.Copy(from, to, error); });
}

}  // namespace os
