#include "packer/StagedFile.h"

#include "packer/Interruption.h"

namespace {

constexpr int kMaxSuffixNumber = 99;

}  // namespace

bool StagedFile::Create(const std::filesystem::path& target, std::string& error) {
  Discard();
  for (int number = 0; number <= kMaxSuffixNumber; ++number) {
    std::filesystem::path candidate = target;
    candidate += ".~vantis-pack";
    if (number > 0) candidate += std::to_string(number);
    bool nameTaken = false;
    if (CreateNew(candidate, nameTaken, error)) {
      targetPath_ = target;
      temporaryPath_ = candidate;
      interruptionSlot_ = RememberTemporaryFile(temporaryPath_);
      return true;
    }
    if (!nameTaken) return false;
  }
  error = "cannot create a temporary file beside " + target.u8string() +
          ": every name up to .~vantis-pack" + std::to_string(kMaxSuffixNumber) + " is taken";
  return false;
}
