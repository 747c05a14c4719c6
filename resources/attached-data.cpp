#include "resources/embedded.h"

#include <windows.h>
#include <string.h>

#include "resources/attached.h"

const unsigned char* onefilePayload;
uint64_t onefilePayloadSize;
const wchar_t* onefilePathTemplate;
const wchar_t* onefileVersionText;
const wchar_t* onefileApplicationName;
bool onefileShowsProgress;
bool onefileRemovesOldVersions;
unsigned onefileCloseThreads;
bool onefileLinksBetweenVersions;

namespace {

// A text inside the section: its offset in range, even, and its zero unit
// before the section ends.
const wchar_t* textAt(const unsigned char* section, uint64_t size, uint32_t offset) {
  if (offset >= size || offset % sizeof(wchar_t) != 0) return nullptr;
  const wchar_t* text = (const wchar_t*)(section + offset);
  uint64_t units = (size - offset) / sizeof(wchar_t);
  for (uint64_t i = 0; i < units; ++i)
    if (text[i] == L'\0') return text;
  return nullptr;
}

}  // namespace

bool useAttachedSection(const unsigned char* section, uint64_t size) {
  const AttachedDataHeader* header;
  if (!findAttachedDataHeader(section, size, &header)) return false;
  if (header->payloadOffset > size || header->payloadSize > size - header->payloadOffset) return false;
  const wchar_t* pathTemplate = textAt(section, size, header->templateOffset);
  const wchar_t* versionText = textAt(section, size, header->versionOffset);
  const wchar_t* applicationName = textAt(section, size, header->nameOffset);
  if (pathTemplate == nullptr || versionText == nullptr || applicationName == nullptr) return false;
  onefilePayload = section + header->payloadOffset;
  onefilePayloadSize = header->payloadSize;
  onefilePathTemplate = pathTemplate;
  onefileVersionText = versionText;
  onefileApplicationName = applicationName;
  onefileShowsProgress = (header->flags & ATTACHED_FLAG_PROGRESS_WINDOW) != 0;
  onefileRemovesOldVersions = (header->flags & ATTACHED_FLAG_REMOVE_OLD_VERSIONS) != 0;
  onefileCloseThreads = attachedCloseThreads(header->flags);
  onefileLinksBetweenVersions = (header->flags & ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS) != 0;
  return true;
}

// The loader has checked the image's headers; only the section's own
// contents are checked here.
bool locateAttachedData(void) {
  const unsigned char* image = (const unsigned char*)GetModuleHandleW(nullptr);
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image;
  const IMAGE_NT_HEADERS64* headers = (const IMAGE_NT_HEADERS64*)(image + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
  for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
    if (memcmp(section->Name, ATTACHED_SECTION_NAME, sizeof ATTACHED_SECTION_NAME) == 0)
      return useAttachedSection(image + section->VirtualAddress, section->Misc.VirtualSize);
  }
  return false;
}
