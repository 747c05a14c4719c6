// The one kind of failure the packer reports: a subject (usually a file) and
// the reason, shown to the user as one line "subject: reason".
#pragma once
#include <stdexcept>
#include <string>

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

}  // namespace onefile
