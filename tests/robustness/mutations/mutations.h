// Deterministic damage to a valid payload: byte-level damage to the bytes a
// bootstrap carries, and record-level damage to the decoded stream, which is
// then compressed again so that only the records are wrong.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

namespace mutations {

struct Mutation {
  std::string kind;         // the group it counts in: "bit-flip-magic", "record-size", ...
  std::string description;  // what exactly was done, for the report of a failing case
  std::string payload;
};

struct AppRecords {
  std::vector<std::u16string> names;  // in payload order, the main program first
  std::vector<std::string> contents;
};

// The files of an application folder in the order the packer writes them.
AppRecords readAppFolder(const std::filesystem::path& folder, const std::string& mainProgram);

// Every mutation, in a fixed order: the same inputs always give the same list.
std::vector<Mutation> byteMutations(const std::string& payload);
std::vector<Mutation> recordMutations(const AppRecords& app);

}  // namespace mutations
