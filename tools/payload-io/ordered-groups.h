// Groups of a payload compressed side by side and written in their order.
// The group that comes next in the payload writes straight into it; a group
// that runs ahead of it waits in a temporary file until its turn, so that
// memory does not grow with the groups' sizes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/byte-sink.h"
#include "host/temporary-folder.h"
#include "host/thread-group.h"

namespace onefile {

class OrderedGroups {
 public:
  // written: the bytes sink holds already, which the groups follow.
  OrderedGroups(ByteSink& sink, uint64_t written, size_t groups);
  ~OrderedGroups();
  OrderedGroups(const OrderedGroups&) = delete;
  OrderedGroups& operator=(const OrderedGroups&) = delete;

  // Where group g writes, from one thread at a time. Its overwrite() reaches
  // the group's own bytes, until the group is finished.
  ByteSink& group(size_t g);
  // Group g is complete: it is written out as soon as every group before it
  // is, and the waiting groups after it with it.
  void finish(size_t g);

 private:
  class GroupSink;
  friend class GroupSink;
  void placeIfFirst(GroupSink& group);
  void place(GroupSink& group);
  std::FILE* openSpill(size_t g);

  ByteSink& sink_;
  std::optional<TemporaryFolder> spillFolder_;  // made at the first spill; goes after every spill file
  std::vector<std::unique_ptr<GroupSink>> groups_;
  ThreadLock lock_;
  size_t next_ = 0;      // the first group not yet written out whole
  uint64_t written_ = 0;  // bytes in sink_
};

}  // namespace onefile
