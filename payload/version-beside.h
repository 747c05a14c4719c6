// The folder of the newest other version beside the target folder, from
// which an update's first start takes the files that did not change, as hard
// links, instead of writing them (version-beside.cpp). A file taken so has
// the same bytes at the same path as one written: it is checked there by the
// rule that keeps a file of the target folder.
#pragma once
#include <wchar.h>

#include "payload/record-cursor.h"

// Called once before the unpacking, in an executable built to take files.
// Nothing is looked for unless the template ends in \<name>\{VERSION} and
// the version is one; the parent is listed only at the first file that a
// start must make.
void allowTakingFromVersionBeside(const wchar_t* pathTemplate, const wchar_t* versionText);

// Makes targetPath, where no file is (the target folder followed by the
// record's name), a hard link to the same name's file in the folder beside:
// a plain file, no link or reparse point, of the record's size and checksum,
// held against writers from its check until the new name is confirmed to be
// that file. False, leaving the file to be written, whenever any of that
// fails, nothing is beside, the links are refused, or too many of the files
// beside proved changed lately (the checks would cost more than they save).
bool takeFromVersionBeside(const RecordHeader* record, const wchar_t* targetPath);
