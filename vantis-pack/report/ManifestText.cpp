#include "vantis-pack/report/ManifestText.h"

#include "package/ManifestName.h"
#include "app/game/PatchManifest.h"
#include "vantis-pack/report/ManifestWarnings.h"
#include "vantis-pack/report/NotesLayout.h"

namespace {


// The notes still install as they are; the player would have to scroll to read them.
void WarnOfNotesLayout(const std::string& notes, CommandOutput& output) {
  const NotesExtent extent = MeasureNotes(notes);
  if (extent.lineCount > kNotesBoxLines) {
    output.err << "vantis-pack: " << kManifestName << ": the notes take " << extent.lineCount
               << " lines; the installer's text box shows " << kNotesBoxLines
               << " without scrolling\n";
  }
  if (extent.widestColumns > kNotesBoxColumns) {
    output.err << "vantis-pack: " << kManifestName << ": line " << extent.widestLine
               << " of the notes is about " << extent.widestColumns
               << " characters wide; the installer's text box shows about " << kNotesBoxColumns
               << " (a Chinese character counts as two)\n";
  }
}

}  // namespace

bool PrepareManifest(const std::string& raw, NotesEncoding encoding, CommandOutput& output,
                     std::string& manifest, std::string& problem) {
  std::string text;
  std::string notice;
  std::string reason;
  if (!EncodeManifestText(raw, encoding, text, notice, reason)) {
    problem = std::string(kManifestName) + ": " + reason;
    return false;
  }
  if (!notice.empty()) output.err << "vantis-pack: " << kManifestName << ": " << notice << "\n";
  if (const size_t converted = ConvertBareLineFeeds(text)) {
    output.err << "vantis-pack: " << kManifestName << ": " << converted
               << " LF line end(s) converted to CR LF; Windows breaks the notes' lines only "
                  "at CR LF\n";
  }

  const PatchManifest summary = ScanPatchManifest(text);
  if (summary.rule == RuleInvalid) {
    problem = std::string(kManifestName) +
              ": the rule must be \"=\" or \"<=\"; the first line reads " +
              QuoteFirstLine(text);
    return false;
  }
  for (const std::string& warning : FindManifestWarnings(text)) {
    output.err << "vantis-pack: warning: " << kManifestName << ": " << warning << "\n";
  }
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) {
    output.err << "vantis-pack: " << kManifestName << ": a zero byte at byte " << zero
               << " ends the notes there; the installer shows nothing after it\n";
  }
  WarnOfNotesLayout(summary.notes, output);
  manifest.swap(text);
  return true;
}

std::string DescribeManifest(const PatchManifest& manifest) {
  return "patch version " + FormatGameVersion(manifest.patchVersion) + ", rule \"" +
         manifest.ruleToken + "\", required version " +
         FormatGameVersion(manifest.requiredVersion);
}
