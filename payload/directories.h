// The directories above the unpacked files, created on demand (directories.cpp).
#pragma once

enum : unsigned { KNOWN_DIRECTORIES_CAPACITY = 1024 };  // directories remembered as existing in one run

// Creates the directory holding the file at path and any missing above it.
void createDirectories(const wchar_t* path);

// True when the directory exists afterwards (or counts as existing).
bool ensureDirectory(const wchar_t* path);

// True when the file's own directory is one that this run created, so that
// the file cannot have been there before this run.
bool isInCreatedDirectory(const wchar_t* filePath);
