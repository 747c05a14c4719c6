// The record loop's steps for one file record (extract.cpp), which the
// groups of an indexed payload (indexed-groups.cpp) take one by one: a group
// checks its files from its index before its frame is decoded, if it is.
#pragma once
#include "payload/held-files.h"
#include "payload/record-cursor.h"

// The record at hand: its header, read from the stream or from an index.
extern RecordHeader record;

// Checks the record's name and builds its target path; the first file
// record's path becomes firstFilePath.
void prepareRecord(void);

// Whether the prepared record's file is current. *wait keeps what the check
// saw of a held file, for writeRecordFile.
bool isRecordFileCurrent(HeldFileWait* wait);

// Writes the prepared record's content, found not current, from the stream
// (or skips it, if the file proved current in the meantime).
void writeRecordFile(HeldFileWait* wait);

// The three steps for a record whose header has been read from the stream.
void unpackFileRecord(void);

// Unpacks a payload whose frames each follow an index, up to its end record;
// false, having read nothing, when the payload has no index.
bool unpackIndexedGroups(void);
