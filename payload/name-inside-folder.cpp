// A payload is taken as it comes, so a damaged or crafted one may carry names
// that would lead out of the target directory once Windows resolves the path,
// or that Windows reads as a device (its content would go to a console or a
// serial port). The packer never writes such names; here they are recognised
// before anything of their record is written.
#include "payload/name-inside-folder.h"

#include "payload/device-names.h"

namespace {

// Windows takes the forward slash as a separator too; the packer writes
// neither it nor a colon in any component.
bool isSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

// A component of dots and spaces only: ".", "..", and the forms such as
// ".. " or "..." that Windows trims to them or to nothing (it drops trailing
// dots and spaces). The packer refuses every component ending so.
bool isDotsAndSpaces(const wchar_t* component, const wchar_t* end) {
  for (const wchar_t* unit = component; unit != end; ++unit)
    if (*unit != L'.' && *unit != L' ') return false;
  return true;
}

}  // namespace

bool isNameInsideFolder(const wchar_t* name) {
  const wchar_t* component = name;
  for (const wchar_t* unit = name;; ++unit) {
    if (*unit == L':') return false;
    if (*unit != L'\0' && !isSeparator(*unit)) continue;
    // An empty component is a leading separator, two in a row or one at the end.
    if (unit == component || isDotsAndSpaces(component, unit)) return false;
    if (isReservedDeviceName(component, (size_t)(unit - component))) return false;
    if (*unit == L'\0') return true;
    component = unit + 1;
  }
}
