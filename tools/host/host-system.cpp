#include "host/host-system.h"

#include <memory>

#include "host/pack-error.h"

namespace onefile {

// Read through openForReading, so that Unicode names and long paths work on
// Windows too. An empty file is read as such.
std::string readWholeFile(const std::filesystem::path& path, const std::string& shownName) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openForReading(path), std::fclose);
  if (!file) throw PackError(shownName, "cannot read the file");
  std::string bytes;
  char piece[1 << 16];
  for (size_t got; (got = std::fread(piece, 1, sizeof piece, file.get())) > 0;) bytes.append(piece, got);
  if (std::ferror(file.get())) throw PackError(shownName, "cannot read the file");
  return bytes;
}

}  // namespace onefile
