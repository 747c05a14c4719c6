// Where the fields of a PE32+ image's headers lie, for the locator that finds
// the payload in a built executable, the writer that builds one and the
// reader of a main program's traits.
#pragma once
#include <cstdint>

namespace onefile {

// Sections, resources and version nodes all start on such boundaries.
inline uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

inline constexpr uint32_t DOS_NEW_HEADER_FIELD = 0x3C;  // the offset of "PE\0\0"
inline constexpr char PE_SIGNATURE[4] = {'P', 'E', '\0', '\0'};
inline constexpr uint32_t FILE_HEADER_SIZE = 20;
inline constexpr uint32_t SECTION_HEADER_SIZE = 40;

inline constexpr uint16_t MACHINE_AMD64 = 0x8664, MACHINE_I386 = 0x14C, MACHINE_ARM64 = 0xAA64;
inline constexpr uint16_t PE32_MAGIC = 0x10B, PE32_PLUS_MAGIC = 0x20B;

// COFF file header fields, from its start.
inline constexpr uint32_t FH_MACHINE = 0, FH_SECTION_COUNT = 2, FH_TIME_STAMP = 4, FH_SYMBOL_TABLE = 8,
                          FH_OPTIONAL_SIZE = 16;
// PE32+ optional header fields, from its start.
inline constexpr uint32_t OH_MAGIC = 0, OH_INITIALIZED_DATA = 8, OH_SECTION_ALIGNMENT = 32, OH_FILE_ALIGNMENT = 36,
                          OH_IMAGE_SIZE = 56, OH_HEADERS_SIZE = 60, OH_CHECKSUM = 64, OH_SUBSYSTEM = 68,
                          OH_DIRECTORY_COUNT = 108,
                          OH_DIRECTORIES = 112;
// The optional header's Subsystem: what kind of program Windows starts.
inline constexpr uint16_t SUBSYSTEM_GUI = 2, SUBSYSTEM_CONSOLE = 3;
inline constexpr uint32_t RESOURCE_DIRECTORY = 2, SECURITY_DIRECTORY = 4;
// Section header fields.
inline constexpr uint32_t SH_VIRTUAL_SIZE = 8, SH_VIRTUAL_ADDRESS = 12, SH_RAW_SIZE = 16, SH_RAW_OFFSET = 20,
                          SH_CHARACTERISTICS = 36;

inline constexpr uint32_t SCN_CNT_INITIALIZED_DATA = 0x40, SCN_MEM_READ = 0x40000000;
// A section that the loader maps and nothing writes to.
inline constexpr uint32_t READ_ONLY_DATA_SECTION = SCN_CNT_INITIALIZED_DATA | SCN_MEM_READ;

}  // namespace onefile
