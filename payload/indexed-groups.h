// The groups of a payload whose frames each follow an index (format.h),
// unpacked through the record loop's steps (indexed-groups.cpp).
#pragma once

// Unpacks a payload whose frames each follow an index, up to its end record;
// false, having read nothing, when the payload has no index.
bool unpackIndexedGroups(void);
