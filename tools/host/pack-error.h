// The one kind of failure the packer reports: a subject (usually a file) and
// the reason, shown to the user as one line "subject: reason".
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace onefile {

class PackError : public std::runtime_error {
 public:
  PackError(std::string subject, std::string reason)
      : std::runtime_error(subject + ": " + reason), subject_(std::move(subject)), reason_(std::move(reason)) {}

  const std::string& subject() const { return subject_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string subject_;
  std::string reason_;
};

// Several files that cannot be packed, each with its reason, so that the user
// mends them all in one go; the subject is the folder that holds them.
class RefusedFiles : public PackError {
 public:
  RefusedFiles(std::string folder, std::vector<PackError> refusals)
      : PackError(std::move(folder), std::to_string(refusals.size()) + " files cannot be packed"),
        refusals_(std::move(refusals)) {}

  const std::vector<PackError>& refusals() const { return refusals_; }

 private:
  std::vector<PackError> refusals_;
};

}  // namespace onefile
