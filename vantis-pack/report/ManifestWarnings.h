#pragma once
// config.txt as the publisher probably did not mean it, though the installer accepts it.
// These are warnings, not refusals: the installer takes such manifests, so they stay
// possible.

#include <string>
#include <vector>

// `manifest` is the text as stored (code page 936). Each warning fits after
// "config.txt: ": a version number beyond its field (major and minor above 255, build
// above 65535), digits of a version on a later line, text after the required version on
// the first line, and under rule "<=" a patch version not above the required version.
std::vector<std::string> FindManifestWarnings(const std::string& manifest);

// The manifest's first line as UTF-8 in quotes, control bytes as \xNN, for messages.
std::string QuoteFirstLine(const std::string& manifest);
