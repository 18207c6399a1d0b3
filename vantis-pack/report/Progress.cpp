#include "vantis-pack/report/Progress.h"

#include "vantis-pack/host/HostSystem.h"

namespace {

constexpr std::chrono::milliseconds kRedrawInterval(100);
constexpr int kBarWidth = 30;
constexpr size_t kLabelWidth = 40;
// The whole line: the bar, the percentage and the label. Every draw pads to it, so no
// terminal escape is needed to wipe a longer label, and consoles without them work too.
constexpr size_t kLineWidth = kBarWidth + 8 + kLabelWidth;

// Keeps the line shorter than a narrow terminal; the end of a path says the most.
std::string FitLabel(const std::string& label) {
  if (label.size() <= kLabelWidth) return label;
  size_t start = label.size() - (kLabelWidth - 3);
  // Never start inside a UTF-8 sequence.
  while (start < label.size() && (static_cast<unsigned char>(label[start]) & 0xC0) == 0x80) {
    ++start;
  }
  return "..." + label.substr(start);
}

}  // namespace

ProgressBar::ProgressBar(std::FILE* terminal, uint64_t totalLength)
    : terminal_(terminal), totalLength_(totalLength) {}

ProgressBar::~ProgressBar() {
  if (terminal_ && shownPermille_ >= 0) {
    std::fprintf(terminal_, "\r%*s\r", static_cast<int>(kLineWidth), "");
    std::fflush(terminal_);
  }
}

void ProgressBar::Advance(uint64_t length, const std::string& label) {
  doneLength_ += length;
  if (terminal_) Draw(label);
}

void ProgressBar::Draw(const std::string& label) {
  const uint64_t done = doneLength_ < totalLength_ ? doneLength_ : totalLength_;
  const int permille = totalLength_ == 0 ? 1000 : static_cast<int>(done * 1000 / totalLength_);
  // The first state and the finished one are always shown; between them, one a tenth of a
  // second at most.
  const auto now = std::chrono::steady_clock::now();
  const bool first = shownPermille_ < 0;
  const bool finished = permille == 1000 && shownPermille_ != 1000;
  if (!first && !finished && now - shownAt_ < kRedrawInterval) return;
  shownPermille_ = permille;
  shownAt_ = now;

  const int filled = permille * kBarWidth / 1000;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  // Padded by bytes: a label with Chinese characters pads a little short, which is harmless.
  std::fprintf(terminal_, "\r[%s] %3d%% %-*s", bar.c_str(), permille / 10,
               static_cast<int>(kLabelWidth), FitLabel(label).c_str());
  std::fflush(terminal_);
}

std::FILE* ProgressTerminal() { return IsTerminal(stderr) ? stderr : nullptr; }
