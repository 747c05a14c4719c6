#include "payload-io/ordered-groups.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "host/host-system.h"
#include "host/pack-error.h"

namespace onefile {
namespace {

constexpr size_t COPY_CHUNK = size_t{1} << 20;

[[noreturn]] void failSpill(const char* what) {
  throw PackError("a temporary file", std::string(what) + ": " + std::strerror(errno));
}

}  // namespace

// A group's bytes: in its spill file until it is the first group not yet
// written out, then straight in the payload.
class OrderedGroups::GroupSink : public ByteSink {
 public:
  GroupSink(OrderedGroups& owner, size_t index) : owner_(owner), index_(index) {}
  ~GroupSink() override { closeSpill(); }

  void write(const void* bytes, size_t size) override {
    if (!placed) owner_.placeIfFirst(*this);
    if (placed) {
      owner_.sink_.write(bytes, size);
      owner_.written_ += size;
      return;
    }
    if (spill == nullptr) spill = owner_.openSpill(index_);
    if (std::fwrite(bytes, 1, size, spill) != size) failSpill("cannot write");
    spilled += size;
  }

  void overwrite(uint64_t offset, const void* bytes, size_t size) override {
    if (placed) return owner_.sink_.overwrite(start + offset, bytes, size);
    // Only the index at the group's start is ever replaced: a plain seek reaches it.
    if (std::fseek(spill, static_cast<long>(offset), SEEK_SET) != 0 || std::fwrite(bytes, 1, size, spill) != size ||
        std::fseek(spill, 0, SEEK_END) != 0)
      failSpill("cannot write");
  }

  // Moves what waits in the spill file into the payload.
  void copySpill() {
    start = owner_.written_;
    placed = true;
    if (spill == nullptr) return;
    std::vector<unsigned char> chunk(COPY_CHUNK);
    if (std::fflush(spill) != 0 || std::fseek(spill, 0, SEEK_SET) != 0) failSpill("cannot read back");
    for (uint64_t left = spilled; left > 0;) {
      size_t got = std::fread(chunk.data(), 1, std::min<uint64_t>(left, chunk.size()), spill);
      if (got == 0) failSpill("cannot read back");
      owner_.sink_.write(chunk.data(), got);
      owner_.written_ += got;
      left -= got;
    }
    closeSpill();
  }

  bool placed = false;    // its bytes go to the payload
  bool finished = false;
  uint64_t start = 0;     // where its first byte lies in the payload, once placed
  std::FILE* spill = nullptr;
  uint64_t spilled = 0;

 private:
  void closeSpill() {
    if (spill != nullptr) std::fclose(spill);
    spill = nullptr;
  }

  OrderedGroups& owner_;
  size_t index_;
};

OrderedGroups::OrderedGroups(ByteSink& sink, uint64_t written, size_t groups) : sink_(sink), written_(written) {
  for (size_t g = 0; g < groups; ++g) groups_.push_back(std::make_unique<GroupSink>(*this, g));
}

OrderedGroups::~OrderedGroups() = default;

ByteSink& OrderedGroups::group(size_t g) { return *groups_[g]; }

// Only the first unfinished group writes to the payload: every group before
// it is out whole, and the ones after it wait for it.
void OrderedGroups::placeIfFirst(GroupSink& group) {
  std::lock_guard<ThreadLock> held(lock_);
  if (&group == groups_[next_].get()) group.copySpill();
}

void OrderedGroups::finish(size_t g) {
  std::lock_guard<ThreadLock> held(lock_);
  groups_[g]->finished = true;
  while (next_ < groups_.size() && groups_[next_]->finished) {
    if (!groups_[next_]->placed) groups_[next_]->copySpill();
    ++next_;
  }
}

std::FILE* OrderedGroups::openSpill(size_t g) {
  std::filesystem::path path;
  {
    std::lock_guard<ThreadLock> held(lock_);
    if (!spillFolder_) spillFolder_.emplace();
    path = spillFolder_->path() / ("group-" + std::to_string(g));
  }
  std::FILE* file = openScratchFile(path);
  if (file == nullptr) failSpill("cannot create");
  return file;
}

}  // namespace onefile
