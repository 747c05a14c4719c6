// The prebuilt bootstrap's PE32+ image, and the headers of an executable made
// from it by appending sections: the stub's own sections stay byte for byte,
// new ones follow its last, and the headers are made whole again.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe-image/pe-layout.h"

namespace onefile {

// The page size of x86-64 Windows, the unit in which a loader maps files.
inline constexpr uint64_t MAPPED_PAGE = 4096;

struct NewSection {
  char name[8];
  uint32_t characteristics = 0;
  uint32_t virtualSize = 0;     // the bytes the section holds
  uint32_t virtualAddress = 0;  // set by StubImage::place
  uint32_t rawOffset = 0;       // set by StubImage::place
};

class StubImage {
 public:
  // Checks that the bytes are a plain PE32+ image that sections can be
  // appended to (room in the headers, nothing after the last section, no
  // signature, no resources); throws PackError naming what is wrong.
  StubImage(std::string bytes, std::string shownName);

  const std::string& bytes() const { return bytes_; }
  uint32_t sectionAlignment() const { return sectionAlignment_; }
  uint32_t fileAlignment() const { return fileAlignment_; }

  // Places the sections one after the other behind the stub's last, in
  // memory and in the file. Their sizes must be final for all but the last.
  void place(std::vector<NewSection>* sections) const;

  // The image size that the sections give (the address past the last one).
  uint64_t imageSize(const std::vector<NewSection>& sections) const;

  // The stub's headers with the sections appended: section table, image size,
  // size of initialised data, the resource directory (resourceSection names
  // which one, or -1), the given subsystem, no time stamp and a checksum of 0
  // (see peChecksum).
  std::string headersWith(const std::vector<NewSection>& sections, int resourceSection, uint16_t subsystem) const;

  // Where the optional header's checksum lies in the file.
  uint32_t checksumOffset() const { return optionalHeader_ + OH_CHECKSUM; }

 private:
  std::string bytes_;
  std::string shown_;
  uint32_t fileHeader_ = 0;      // the COFF header, after "PE\0\0"
  uint32_t optionalHeader_ = 0;
  uint32_t sectionTable_ = 0;
  uint16_t sectionCount_ = 0;
  uint32_t sizeOfHeaders_ = 0;
  uint32_t sectionAlignment_ = 0;
  uint32_t fileAlignment_ = 0;
  uint32_t nextVirtualAddress_ = 0;  // past the stub's last section, aligned
  uint32_t endOfRawData_ = 0;
};

// The optional header's checksum of a whole file, as the loader and signing
// tools compute it: 16-bit words summed with end-around carry, the checksum
// field counted as zero, plus the file's length.
uint32_t peChecksum(const unsigned char* data, size_t size, uint32_t checksumOffset);

}  // namespace onefile
