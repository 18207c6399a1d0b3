#pragma once
// config.txt's text as the installer gets it, from what a publisher wrote: for build and
// diff alike.

#include <string>

#include "app/game/PatchManifest.h"
#include "vantis-pack/report/CommandOutput.h"
#include "vantis-pack/report/ManifestEncoding.h"

// Converted to code page 936, LF line ends made CR LF, and checked, with notices and
// warnings to `output.err`. False with `problem` (naming config.txt) when the installer
// would refuse it.
bool PrepareManifest(const std::string& raw, NotesEncoding encoding, CommandOutput& output,
                     std::string& manifest, std::string& problem);

// "patch version 1.0.5, rule "<=", required version 1.0.4"
std::string DescribeManifest(const PatchManifest& manifest);
