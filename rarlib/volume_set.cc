#include "rarlib/volume_set.h"

#include "rarlib/rar.h"
#include "rarlib/volume_name.h"

namespace rarlib {

bool VolumeSet::Open(const std::string& path) {
  auto f = std::make_unique<InputFile>();
  if (!f->Open(path)) return false;
  names_.assign(1, path);
  files_.clear();
  files_.push_back(std::move(f));
  return true;
}

InputFile* VolumeSet::Get(size_t index) {
  if (index < files_.size() && files_[index]) return files_[index].get();
  if (index > names_.size() || index >= kMaxVolumes || names_.empty()) return nullptr;
  auto f = std::make_unique<InputFile>();
  if (index == names_.size()) {
    std::string name = NextVolumeName(names_.back(), new_numbering_);
    if (!f->Open(name)) {
      // Volumes renamed by users: the old scheme as a second guess.
      if (!new_numbering_) return nullptr;
      name = NextVolumeName(names_.back(), false);
      if (!f->Open(name)) return nullptr;
    }
    names_.push_back(name);
  } else if (!f->Open(names_[index])) {
    return nullptr;
  }
  // Keep few files open: close the lowest other ones.
  size_t open = 0;
  for (auto& p : files_) open += p != nullptr;
  for (size_t i = 0; open >= kMaxOpen && i < files_.size(); ++i) {
    if (i != index && files_[i]) {
      if (!files_[i]->Close()) close_failed_ = true;
      files_[i].reset();
      --open;
    }
  }
  if (files_.size() <= index) files_.resize(index + 1);
  files_[index] = std::move(f);
  return files_[index].get();
}

bool VolumeSet::Close() {
  bool ok = !close_failed_;
  for (auto& f : files_) {
    if (f && !f->Close()) ok = false;
  }
  files_.clear();
  return ok;
}

int64_t PartSource::Read(uint8_t* buf, size_t n) {
  while (index_ < parts_->size()) {
    const Part& p = (*parts_)[index_];
    if (done_ >= p.size) {
      ++index_;
      done_ = 0;
      continue;
    }
    InputFile* f = volumes_->Get(p.volume);
    if (f == nullptr) {
      error_ = ERAR_EOPEN;
      return -1;
    }
    uint64_t left = p.size - done_;
    size_t want = left < n ? static_cast<size_t>(left) : n;
    int64_t got = f->ReadAt(p.offset + done_, buf, want);
    if (got < 0) {
      error_ = ERAR_EREAD;
      return -1;
    }
    if (got == 0) {
      // The volume ends inside the part: truncated data.
      error_ = ERAR_BAD_DATA;
      return -1;
    }
    done_ += static_cast<uint64_t>(got);
    return got;
  }
  return 0;
}

}  // namespace rarlib
