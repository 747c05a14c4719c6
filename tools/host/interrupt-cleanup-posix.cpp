// The handler runs in whichever thread the signal lands on, between any two
// instructions of the others: it reads only fixed slots published through
// lock-free atomics and makes only async-signal-safe calls (unlink, unlinkat,
// rmdir, lseek, the raw getdents64 system call, sigaction, raise). A folder's
// entries are read through a descriptor opened when it was registered, so
// the handler needs no allocation, no stdio and no directory stream.
//
// The handler takes a slot before it reads it, and stop() takes it back the
// same way, each by one compare-and-swap: whichever comes second leaves the
// slot alone. So stop() never closes a descriptor that the handler is
// listing (its number, reused by the next open, could name another folder,
// whose files the handler would then unlink), and never hands out a path
// that the handler is reading. A slot the handler took stays taken: the
// process ends when the handler returns.
#include "host/interrupt-cleanup.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace onefile {
namespace {

constexpr int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int SLOT_COUNT = 8;
constexpr size_t PATH_CAPACITY = 4096;
// A signing program still running beside the handler may create a file in
// the folder after a pass has read it: each further pass takes those.
constexpr int FOLDER_PASSES = 8;
constexpr size_t ENTRY_BUFFER_SIZE = 4096;

enum SlotState : int { FREE, CHANGING, WATCHED_FILE, WATCHED_FOLDER, REMOVING };

struct Slot {
  std::atomic<int> state{FREE};
  int folder = -1;  // the watched folder's descriptor
  char path[PATH_CAPACITY];
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots' state");

Slot slots[SLOT_COUNT];

// The kernel's record of one directory entry (linux_dirent64).
struct DirectoryEntry {
  uint64_t inode;
  int64_t nextOffset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

bool isDotOrDotDot(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

// Unlinks every entry the folder holds at this pass.
void unlinkEntries(int folder) {
  alignas(8) char buffer[ENTRY_BUFFER_SIZE];
  if (lseek(folder, 0, SEEK_SET) < 0) return;
  for (;;) {
    long filled = syscall(SYS_getdents64, folder, buffer, sizeof buffer);
    if (filled <= 0) return;
    for (long at = 0; at < filled;) {
      const DirectoryEntry* entry = reinterpret_cast<const DirectoryEntry*>(buffer + at);
      at += entry->length;
      if (!isDotOrDotDot(entry->name)) unlinkat(folder, entry->name, 0);
    }
  }
}

void removeFolder(const Slot& slot) {
  for (int pass = 0; pass < FOLDER_PASSES; ++pass) {
    unlinkEntries(slot.folder);
    if (rmdir(slot.path) == 0 || (errno != ENOTEMPTY && errno != EEXIST)) return;
  }
}

// True when the slot watched what state says and is now the handler's.
bool take(Slot& slot, int state) {
  int expected = state;
  return slot.state.compare_exchange_strong(expected, REMOVING, std::memory_order_acq_rel);
}

void removeWatched() {
  // Files first: an output may be pending inside a watched folder.
  for (Slot& slot : slots)
    if (take(slot, WATCHED_FILE)) unlink(slot.path);
  for (Slot& slot : slots)
    if (take(slot, WATCHED_FOLDER)) removeFolder(slot);
}

// The process must still end of the signal it got, as its parent (a shell,
// a CI runner) expects: the default action is restored and the signal
// raised again; it arrives as soon as the handler returns.
extern "C" void removeWatchedAndRaise(int signal) {
  removeWatched();
  struct sigaction defaultAction = {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(signal, &defaultAction, nullptr);
  raise(signal);
}

// Once for the process; a signal ignored when the tool started (nohup)
// stays ignored. With nothing watched, the handler ends the process as the
// default action would.
void installHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action = {};
    action.sa_handler = removeWatchedAndRaise;
    sigemptyset(&action.sa_mask);
    for (int signal : INTERRUPTS) sigaddset(&action.sa_mask, signal);  // one handler at a time
    for (int signal : INTERRUPTS) {
      struct sigaction previous;
      if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
      sigaction(signal, &action, nullptr);
    }
  });
}

// A free slot, now CHANGING, holding path; -1 when there is none or the path
// does not fit.
int claimSlot(const std::filesystem::path& path) {
  const std::string& text = path.native();
  if (text.size() >= PATH_CAPACITY) return -1;
  installHandler();
  for (int index = 0; index < SLOT_COUNT; ++index) {
    int expected = FREE;
    if (!slots[index].state.compare_exchange_strong(expected, CHANGING)) continue;
    std::memcpy(slots[index].path, text.c_str(), text.size() + 1);
    return index;
  }
  return -1;
}

}  // namespace

void InterruptCleanup::watchFile(const std::filesystem::path& file) {
  stop();
  slot_ = claimSlot(file);
  if (slot_ >= 0) slots[slot_].state.store(WATCHED_FILE, std::memory_order_release);
}

void InterruptCleanup::watchFlatFolder(const std::filesystem::path& folder) {
  stop();
  slot_ = claimSlot(folder);
  if (slot_ < 0) return;
  Slot& slot = slots[slot_];
  slot.folder = open(slot.path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (slot.folder < 0) {
    slot.state.store(FREE, std::memory_order_release);
    slot_ = -1;
    return;
  }
  slot.state.store(WATCHED_FOLDER, std::memory_order_release);
}

// A slot that the handler has taken is left to it, descriptor and all.
void InterruptCleanup::stop() {
  if (slot_ < 0) return;
  Slot& slot = slots[slot_];
  slot_ = -1;
  int watched = slot.state.load(std::memory_order_acquire);
  if ((watched != WATCHED_FILE && watched != WATCHED_FOLDER) ||
      !slot.state.compare_exchange_strong(watched, CHANGING, std::memory_order_acq_rel))
    return;
  if (slot.folder >= 0) close(slot.folder);
  slot.folder = -1;
  slot.state.store(FREE, std::memory_order_release);
}

}  // namespace onefile
